// The texts Windows Installer hands the external UI handler and the helper window: progress and
// common-data records and action-start lines. Checks that values stay where the handlers can
// negate and scale them, and that the description is the text after the third blank.
#include <algorithm>
#include <cstdint>
#include <string>

#include "apps/install/setup/ui/msiRecord.h"
#include "fuzz/fuzzCheck.h"

namespace
{

// The handlers negate values for a backward phase: INT64_MIN would overflow.
bool Negatable(const MsiRecordFields& fields)
{
   return std::none_of(std::begin(fields.value), std::end(fields.value), [](int64_t v) { return v == INT64_MIN; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   // The handlers get the text as a NUL-terminated string: only the part before a NUL is seen.
   std::string_view text(reinterpret_cast<const char*>(data), size);
   text = text.substr(0, text.find('\0'));

   MsiRecordFields progress;
   if (ParseProgressRecord(text, progress)) {
      FUZZ_CHECK(!text.empty() && text[0] >= '1' && text[0] <= '4');
      FUZZ_CHECK(progress.value[0] >= 0 && progress.value[0] <= 9);
      FUZZ_CHECK(Negatable(progress));
      // What the removal window sends its bar, either way round (UBSan watches the arithmetic).
      for (int64_t value : progress.value) {
         FUZZ_CHECK(MsiRecord_BarTicks(value, true) == static_cast<int32_t>(0u - static_cast<uint32_t>(value)));
      }
   }

   MsiRecordFields common;
   if (ParseCommonData(text, common)) {
      FUZZ_CHECK(common.value[0] >= 0 && common.value[0] <= 9 && common.value[0] != 1);
      FUZZ_CHECK(common.value[2] == 0 && common.value[3] == 0 && Negatable(common));
   }

   const ActionStartText action = ParseActionStart(text);
   const size_t blanks = static_cast<size_t>(std::count(text.begin(), text.end(), ' '));
   switch (action.outcome) {
   case ActionStartText::Outcome::MissingBlank:
      FUZZ_CHECK(blanks < 3 && action.blanksFound == static_cast<int>(blanks));
      break;
   case ActionStartText::Outcome::NoDescription:
      FUZZ_CHECK(blanks >= 3 && text.back() == ' ');
      break;
   case ActionStartText::Outcome::Ok: {
      FUZZ_CHECK(blanks >= 3 && !action.description.empty());
      // The description is the tail of the text behind exactly three blanks.
      const size_t at = static_cast<size_t>(action.description.data() - text.data());
      FUZZ_CHECK(at + action.description.size() == text.size());
      FUZZ_CHECK(std::count(text.begin(), text.begin() + at, ' ') == 3 && text[at - 1] == ' ');
      break;
   }
   }
   return 0;
}
