// The launcher log's line builder: any clock, tag, level, message and error suffix. Checks the
// 2046-byte budget, the single line feed at the end, whole UTF-8 characters after a cut, and
// that a line that was not cut ends with the whole message and suffix.
#include <cstdarg>
#include <string>

#include "fuzz/fuzzCheck.h"
#include "lib/install/logFormat.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

LogLine Format(const LogClock& clock, std::string_view tag, uint32_t level, std::string_view suffix, const char* fmt,
               ...)
{
   va_list args;
   va_start(args, fmt);
   LogLine line = Log_FormatLine(clock, tag, 24680135, level, fmt, args, suffix);
   va_end(args);
   return line;
}

std::string UpToNul(std::string text)
{
   return text.substr(0, text.find('\0'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   LogClock clock{};
   clock.year = input.ConsumeIntegral<int>();
   clock.month = input.ConsumeIntegral<int>();
   clock.day = input.ConsumeIntegral<int>();
   clock.hour = input.ConsumeIntegral<int>();
   clock.minute = input.ConsumeIntegral<int>();
   clock.second = input.ConsumeIntegral<int>();
   clock.millis = input.ConsumeIntegral<int>();
   clock.zoneMinutes = input.ConsumeIntegral<int>();
   const uint32_t level = input.ConsumeIntegral<uint32_t>();
   const auto kind = static_cast<LogSuffixKind>(input.ConsumeIntegralInRange<int>(0, 3));
   const uint32_t code = input.ConsumeIntegral<uint32_t>();
   const bool withSuffix = input.ConsumeBool();
   const std::string tag = UpToNul(input.ConsumeRandomLengthString(64));
   const std::string errorText = input.ConsumeRandomLengthString(3000);
   const std::string message = UpToNul(input.ConsumeRemainingBytesAsString());

   const std::string suffix = withSuffix ? Log_ErrorSuffix(kind, code, errorText) : "";
   const LogLine line = Format(clock, tag, level, suffix, "%s", message.c_str());

   FUZZ_CHECK(line.text.size() <= kLogLineBudget && !line.text.empty() && line.text.back() == '\n');
   if (line.formatError) {
      FUZZ_CHECK(line.text == kLogFormatError);
      return 0;
   }
   const std::string letters = std::string("| ") + Log_LevelLetters(level) + ": ";
   FUZZ_CHECK(line.text.find(letters) != std::string::npos);
   if (Unicode_IsValidUtf8(tag) && Unicode_IsValidUtf8(message) && Unicode_IsValidUtf8(suffix)) {
      FUZZ_CHECK(Unicode_IsValidUtf8(line.text));
   }
   if (!line.truncated) {
      std::string whole = message;
      while (!whole.empty() && (whole.back() == '\r' || whole.back() == '\n')) {
         whole.pop_back();
      }
      whole += suffix;
      whole += '\n';
      FUZZ_CHECK(line.text.size() >= whole.size() &&
                 line.text.compare(line.text.size() - whole.size(), whole.size(), whole) == 0);
   }
   return 0;
}
