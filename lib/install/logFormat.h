// The launcher log's line format: level letters, the level filter, the zone text and the line
// builder with its 2046-byte budget. Pure code; the logger supplies the clock and the file.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/misc/panic.h"

enum LogLevel : uint32_t {
   LOG_ERROR = 0x1,        // E1
   LOG_INFO = 0x2,         // I1
   LOG_ERROR2 = 0x4,       // E2: the logger's own level diagnostics
   LOG_WARNING = 0x8,      // W1
   LOG_SUCCESS = 0x10,     // G2
   LOG_DETAIL = 0x20,      // I2
   LOG_UNCHOSEN = 0x40,    // mask value: not chosen yet
   LOG_P1 = 0x80,          // P1
   LOG_BEGIN = 0x100,      // XX: "Begin Logging"
   LOG_END = 0x200,        // XX: "End Logging"
   LOG_LAUNCHER = 0x400,   // I0: the launcher's own lines
};

constexpr uint32_t kLogDefaultMask = 0x2F;
constexpr size_t kLogLineBudget = 2046; // a line with its line feed never exceeds this

struct LogClock {
   int year, month, day, hour, minute, second, millis;
   int zoneMinutes; // local time minus UTC, whole minutes
};

const char* Log_LevelLetters(uint32_t level);
bool Log_LevelPasses(uint32_t mask, uint32_t level);
std::string Log_ZoneText(int zoneMinutes);

enum class LogSuffixKind { WinError, LastWinError, PosixError, LastPosixError };

// "| winerror code %u (text)" and its siblings; `text` is the system's message (may be empty).
std::string Log_ErrorSuffix(LogSuffixKind kind, uint32_t code, std::string_view text);

struct LogLine {
   std::string text;   // the line, ending in one line feed
   bool truncated;     // the message or suffix was cut to the budget
   bool formatError;   // the tag part could not be formatted
};

// An empty tag prints "inst-build-<buildNumber>" in its place.
LogLine Log_FormatLine(const LogClock& clock, std::string_view tag, unsigned buildNumber,
                       uint32_t level, const char* fmt, va_list args, std::string_view suffix);

inline constexpr char kLogTruncatedNotice[] = "The following message is truncated:\n";
inline constexpr char kLogFormatError[] = "Serious format error in logging code\n";
inline constexpr char kLogForwardFailed[] = "Failed to send above log message to host\n";
