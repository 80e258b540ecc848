// The helper window's information messages ("HelperUI:enable:<title>:<total>") and the divisor
// that fits a total to the progress bar. Checks that the title is one piece of the text, and
// that the divisor is the smallest that brings the total into the bar's signed 32-bit range.
#include <string>

#include "apps/install/setup/ui/helperUiText.h"
#include "fuzz/fuzzCheck.h"

namespace
{

constexpr uint64_t kMaxRange = 0x7FFFFFFF;

void CheckScale(uint64_t total)
{
   const HelperUiScale scale = ScaleHelperUiTotal(total);
   FUZZ_CHECK(scale.divisor >= 1 && scale.range >= 0);
   const uint64_t divisor = static_cast<uint64_t>(scale.divisor);
   FUZZ_CHECK(static_cast<uint64_t>(scale.range) == total / divisor && total / divisor <= kMaxRange);
   FUZZ_CHECK(divisor == 1 || total / (divisor - 1) > kMaxRange);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   std::string_view text(reinterpret_cast<const char*>(data), size);
   text = text.substr(0, text.find('\0'));

   const HelperUiCommand command = ParseHelperUiText(text);
   switch (command.kind) {
   case HelperUiCommand::Kind::None:
      FUZZ_CHECK(command.title.empty() && command.total == 0);
      break;
   case HelperUiCommand::Kind::Close:
   case HelperUiCommand::Kind::Incomplete:
      FUZZ_CHECK(text.find("HelperUI") != std::string_view::npos && command.title.empty());
      break;
   case HelperUiCommand::Kind::Enable:
      FUZZ_CHECK(text.find("enable") != std::string_view::npos);
      FUZZ_CHECK(command.title.find(':') == std::string::npos && text.find(command.title) != std::string_view::npos);
      CheckScale(command.total);
      break;
   }
   // Totals near the edges, where the direct divisor could be off by one.
   if (size >= 8) {
      uint64_t total = 0;
      for (int i = 0; i < 8; i++) {
         total = total << 8 | data[i];
      }
      CheckScale(total);
   }
   return 0;
}
