// The resource editor's version text ("13.0.1.24680135") into the two words of the fixed
// version record, over any text. Checks that the words, printed as four numbers, read back to
// the same words.
#include <cstdio>
#include <string>

#include "fuzz/fuzzCheck.h"
#include "resedit/versionText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   // The editor is handed a C string: the text ends at the first NUL.
   const std::string text(reinterpret_cast<const char*>(data), size);
   const FixedVersionWords words = ResEdit_ParseVersion(text.c_str());

   char printed[48];
   std::snprintf(printed, sizeof printed, "%u.%u.%u.%u", words.mostSignificant >> 16, words.mostSignificant & 0xFFFF,
                 words.leastSignificant >> 16, words.leastSignificant & 0xFFFF);
   const FixedVersionWords again = ResEdit_ParseVersion(printed);
   FUZZ_CHECK(again.mostSignificant == words.mostSignificant && again.leastSignificant == words.leastSignificant);

   const FixedVersionWords none = ResEdit_ParseVersion(nullptr);
   FUZZ_CHECK(none.mostSignificant == 0 && none.leastSignificant == 0);
   return 0;
}
