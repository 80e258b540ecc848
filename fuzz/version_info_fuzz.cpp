// txpack's reading of version information: a launcher's VS_VERSIONINFO block (from any file given
// to --show) and the version texts of --version-file and --version-product. Input: one byte (bit
// 0: a version text), then the bytes. Checks that every string read fits the room it reports, and
// that an accepted version text printed as its numbers reads back to the same numbers.
#include <string>

#include "fuzz/fuzzCheck.h"
#include "lib/unicode/unicodeSimple.h"
#include "tools/txpack/packInput.h"
#include "tools/txpack/versionInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   const bool text = (input.ConsumeIntegral<uint8_t>() & 1) != 0;
   const std::string bytes = input.ConsumeRemainingBytesAsString();
   if (text) {
      std::array<uint16_t, 4> numbers{};
      std::string problem;
      if (!Pack_ParseVersionText(bytes, numbers, problem)) {
         FUZZ_CHECK(!problem.empty());
         return 0;
      }
      std::array<uint16_t, 4> again{};
      FUZZ_CHECK(Pack_ParseVersionText(Pack_VersionNumbersText(numbers), again, problem) && again == numbers);
      return 0;
   }
   const auto info = Pack_ReadVersionInfo(bytes);
   if (!info) {
      return 0;
   }
   for (const VersionString& string : info->strings) {
      const auto wide = Unicode_Utf8ToUtf16(string.value);
      FUZZ_CHECK(!wide || wide->size() <= string.room);
      FUZZ_CHECK(Pack_FindVersionString(*info, string.key) != nullptr);
   }
   return 0;
}
