#include "lib/install/logFormat.h"

#include <cstdlib>
#include <cstring>

#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace {

struct LevelLetters {
   uint32_t level;
   const char* letters;
};

constexpr LevelLetters kLetters[] = {
   {LOG_ERROR, "E1"},   {LOG_INFO, "I1"},   {LOG_ERROR2, "E2"}, {LOG_WARNING, "W1"},
   {LOG_SUCCESS, "G2"}, {LOG_DETAIL, "I2"}, {LOG_P1, "P1"},     {LOG_LAUNCHER, "I0"},
};

} // namespace

const char* Log_LevelLetters(uint32_t level)
{
   for (const auto& row : kLetters) {
      if (row.level == level) {
         return row.letters;
      }
   }
   return "XX";
}

bool Log_LevelPasses(uint32_t mask, uint32_t level)
{
   return mask != 0 && ((mask | LOG_LAUNCHER) & level) != 0;
}

std::string Log_ZoneText(int zoneMinutes)
{
   if (zoneMinutes == 0) {
      return "Z";
   }
   const int magnitude = std::abs(zoneMinutes);
   return Str_Format("%c%02d:%02d", zoneMinutes > 0 ? '+' : '-', magnitude / 60, magnitude % 60);
}

std::string Log_ErrorSuffix(LogSuffixKind kind, uint32_t code, std::string_view text)
{
   const bool erased = code == 0 && (kind == LogSuffixKind::LastWinError || kind == LogSuffixKind::LastPosixError);
   std::string out;
   switch (kind) {
   case LogSuffixKind::WinError:
   case LogSuffixKind::LastWinError:
      out = Str_Format("| winerror code %u", code);
      break;
   case LogSuffixKind::PosixError:
      out = Str_Format("| posix code %d", static_cast<int>(code));
      break;
   case LogSuffixKind::LastPosixError:
      out = Str_Format("| posix code %u", code);
      break;
   }
   if (erased) {
      out += " (code was erased)";
   } else if (!text.empty()) {
      out += " (";
      out += text;
      out += ")";
   }
   return out;
}

LogLine Log_FormatLine(const LogClock& clock, std::string_view tag, unsigned buildNumber,
                       uint32_t level, const char* fmt, va_list args, std::string_view suffix)
{
   char buf[kLogLineBudget + 2];
   const char* letters = Log_LevelLetters(level);
   LogLine result{std::string(), false, false};

   const std::string zone = Log_ZoneText(clock.zoneMinutes);
   int n = Str_Snprintf(buf, kLogLineBudget, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%s", clock.year,
                        clock.month, clock.day, clock.hour, clock.minute, clock.second, clock.millis,
                        zone.c_str());
   size_t pos = n < 0 ? strlen(buf) : static_cast<size_t>(n);

   const std::string tagText(tag);
   n = tag.empty() ? Str_Snprintf(buf + pos, kLogLineBudget - pos, "| inst-build-%u| %c%c: ",
                                  buildNumber, letters[0], letters[1])
                   : Str_Snprintf(buf + pos, kLogLineBudget - pos, "| %s| %c%c: ", tagText.c_str(),
                                  letters[0], letters[1]);
   if (n <= 0) {
      result.text = kLogFormatError;
      result.formatError = true;
      return result;
   }
   pos += static_cast<size_t>(n);

   n = Str_Vsnprintf(buf + pos, kLogLineBudget - pos, fmt, args);
   if (n < 0) {
      result.truncated = true;
   }
   pos += strlen(buf + pos);
   while (pos > 0 && (buf[pos - 1] == '\r' || buf[pos - 1] == '\n')) {
      pos--;
   }

   const size_t room = kLogLineBudget - pos - 1; // bytes of text that still fit before the NUL
   const size_t take = Unicode_Utf8CutPoint(suffix, room);
   if (take < suffix.size()) {
      result.truncated = true;
   }
   memcpy(buf + pos, suffix.data(), take);
   pos += take;
   buf[pos++] = '\n';
   result.text.assign(buf, pos);
   return result;
}
