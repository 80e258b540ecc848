// The launcher log. No lock: each line leaves in one write to a file opened for appending, so
// the main and progress threads never mix inside a line.
#include "lib/install/log.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "lib/install/fileUtil.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"
#include "lib/rpc/guestLog.h"
#include "lib/string/str.h"

namespace
{

constexpr size_t kTempPathChars = 2048;
constexpr size_t kArchiveTempPathChars = 1024;
constexpr unsigned kArchiveNameTries = 99; // names with the same time: the plain one, then _2 to _99
constexpr size_t kCrtMessageChars = 1024;
constexpr DWORD kEnglishUs = 1033;
const char kDefaultLogName[] = "txinst.log";
const char kDefaultFallbackName[] = "txinstutil.log";
const char kLogLevelKey[] = "SOFTWARE\\Wow6432Node\\Tessix, Inc.";
const char kHostLogKey[] = "SOFTWARE\\Tessix, Inc.\\TxmLog";

struct LoggerState {
   uint32_t mask = LOG_UNCHOSEN;
   int fd = -1;
   std::string tag;
   std::string logFileName;
   std::string fallbackFileName;
   uint32_t setupCount = 0;
   uint32_t hostForwarding = 0;
   uint32_t paused = 0; // lines are dropped while a log file is being archived
};

LoggerState& State()
{
   static LoggerState state;
   return state;
}

class ErrorStateGuard
{
 public:
   ErrorStateGuard() : win_(GetLastError()), crt_(errno) {}
   ~ErrorStateGuard()
   {
      SetLastError(win_);
      errno = crt_;
   }

 private:
   DWORD win_;
   int crt_;
};

LogClock Now()
{
   FILETIME utc;
   FILETIME local;
   SYSTEMTIME fields;
   GetSystemTimeAsFileTime(&utc);
   FileTimeToLocalFileTime(&utc, &local);
   FileTimeToSystemTime(&local, &fields);
   const auto ticks = [](const FILETIME& ft) {
      return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
   };
   const int64_t minutes = (ticks(local) - ticks(utc)) / 600000000LL; // 100 ns units
   return LogClock{fields.wYear,   fields.wMonth,  fields.wDay,          fields.wHour,
                   fields.wMinute, fields.wSecond, fields.wMilliseconds, static_cast<int>(minutes)};
}

void WriteRaw(int fd, const char* text, size_t length)
{
   if (fd >= 0) {
      _write(fd, text, static_cast<unsigned>(length));
   }
}

void WriteLine(uint32_t level, const std::string& suffix, const char* fmt, va_list args);

void LogInternal(uint32_t level, const char* fmt, ...) TX_PRINTF(2, 3);
void LogInternalV(uint32_t level, const std::string& suffix, const char* fmt, va_list args)
{
   if (!Log_LevelPasses(State().mask, level)) {
      return;
   }
   WriteLine(level, suffix, fmt, args);
}

void LogInternal(uint32_t level, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   LogInternalV(level, std::string(), fmt, args);
   va_end(args);
}

std::string WinErrorText(uint32_t code)
{
   return Win32U_FormatMessage(code, kEnglishUs);
}

std::string PosixErrorText(int code)
{
   wchar_t text[kCrtMessageChars];
   if (_wcserror_s(text, kCrtMessageChars, code) != 0) {
      return std::string();
   }
   return Win32U_ToUtf8(text).value_or(std::string());
}

// Opens the log file under the stored names; failure leaves fd at -1 and drops this line.
void CreateLogFile()
{
   LoggerState& s = State();
   const std::string temp = Win32U_GetTempPath();
   if (temp.empty() || temp.size() > kTempPathChars - 1) {
      return;
   }
   const std::string path = temp + (s.logFileName.empty() ? kDefaultLogName : s.logFileName.c_str());
   const int flags = _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY;
   s.fd = Win32U_Open(path.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
   if (s.fd >= 0) {
      return;
   }
   const int firstError = errno;
   const char* fallback = s.fallbackFileName.empty() ? kDefaultFallbackName : s.fallbackFileName.c_str();
   s.fd = Win32U_Open(fallback, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
   if (s.fd >= 0) {
      Inst_LogPosixError(LOG_ERROR, firstError, "InstCreateLogFile: Unable to log to intended file %s", path.c_str());
   }
}

// False when forwarding is on and the host did not take the text.
bool Forward(const char* text, size_t length)
{
   return State().hostForwarding == 0 || GuestLog_ForwardText(text, length);
}

void WriteLine(uint32_t level, const std::string& suffix, const char* fmt, va_list args)
{
   LoggerState& s = State();
   if (s.paused > 0) {
      return;
   }
   if (s.fd < 0 && s.mask != 0) {
      CreateLogFile();
   }
   if (s.fd < 0) {
      return;
   }
   const LogLine line = Log_FormatLine(Now(), s.tag, TX_BUILD_NUMBER, level, fmt, args, suffix);
   if (line.truncated) {
      WriteRaw(s.fd, kLogTruncatedNotice, sizeof kLogTruncatedNotice - 1);
      Forward(kLogTruncatedNotice, sizeof kLogTruncatedNotice - 1);
   }
   WriteRaw(s.fd, line.text.data(), line.text.size());
   // The failure notice follows log lines only, never the fixed notices: it must not come
   // between a truncation notice and the line it announces.
   if (!Forward(line.text.data(), line.text.size()) && !line.formatError) {
      WriteRaw(s.fd, kLogForwardFailed, sizeof kLogForwardFailed - 1);
   }
}

void ChooseLogLevel()
{
   LoggerState& s = State();
   HKEY raw = nullptr;
   const LONG open = Win32U_RegOpenKeyEx(HKEY_LOCAL_MACHINE, kLogLevelKey, 0, KEY_QUERY_VALUE, &raw);
   UniqueRegKey key(raw);
   if (open == ERROR_FILE_NOT_FOUND) {
      LogInternal(LOG_ERROR2, "Inst_GetDefaultLogLevel: Log level path doesn't exist so can't open");
      s.mask = kLogDefaultMask;
      return;
   }
   if (open != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR2, static_cast<uint32_t>(open),
                       "Inst_GetDefaultLogLevel: Could not open log level path");
      s.mask = kLogDefaultMask;
      return;
   }
   DWORD type = 0;
   DWORD value = 0;
   DWORD size = sizeof value;
   const LONG read =
       Win32U_RegQueryValueEx(key.get(), "LogLevel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
   if (read != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR2, static_cast<uint32_t>(read),
                       "Inst_GetDefaultLogLevel: Could not read log level value");
   }
   if (read != ERROR_SUCCESS || type != REG_DWORD) {
      LogInternal(LOG_ERROR2, "Inst_GetDefaultLogLevel: Log level value is the wrong type: 0x%08x",
                  static_cast<unsigned>(read != ERROR_SUCCESS ? 0 : type));
      s.mask = kLogDefaultMask;
      return;
   }
   s.mask = value;
}

void CloseLogFile()
{
   LoggerState& s = State();
   if (s.fd >= 0) {
      _close(s.fd);
   }
   s.fd = -1;
}

void LogWithSuffix(uint32_t level, LogSuffixKind kind, uint32_t code, const std::string& text, const char* fmt,
                   va_list args)
{
   LogInternalV(level, Log_ErrorSuffix(kind, code, text), fmt, args);
}

} // namespace

void Inst_SetupLogging(const char* name, const char* tag, const char* logFileName, const char* fallbackFileName)
{
   ErrorStateGuard guard;
   LoggerState& s = State();
   if (s.setupCount++ > 0) {
      return;
   }
   CloseLogFile();
   s.tag = tag ? tag : "";
   if (logFileName != nullptr) {
      s.logFileName = logFileName;
   }
   s.fallbackFileName = fallbackFileName ? fallbackFileName : "";
   if (s.mask == LOG_UNCHOSEN) {
      ChooseLogLevel();
   }
   LogInternal(LOG_BEGIN, "Inst_SetupLogging: Begin Logging '%s' (LogLevel 0x%08x)", name ? name : "<unspecified>",
               static_cast<unsigned>(s.mask));
}

void Inst_EndLogging()
{
   ErrorStateGuard guard;
   LoggerState& s = State();
   if (s.setupCount == 0 || --s.setupCount > 0) {
      return;
   }
   LogInternal(LOG_END, "Inst_EndLogging: End Logging");
   s.tag.clear();
   CloseLogFile();
}

void Inst_RefreshHostLogging()
{
   ErrorStateGuard guard;
   HKEY raw = nullptr;
   const LONG open = Win32U_RegOpenKeyEx(HKEY_LOCAL_MACHINE, kHostLogKey, 0, KEY_READ | KEY_WOW64_64KEY, &raw);
   UniqueRegKey key(raw);
   State().hostForwarding = open == ERROR_SUCCESS ? 1 : 0;
}

void Inst_UseLogFile(const char* logFileName)
{
   ErrorStateGuard guard;
   CloseLogFile();
   State().logFileName = logFileName != nullptr ? logFileName : "";
}

void Inst_InitHostLogging(const char* tag)
{
   Inst_RefreshHostLogging();
   Inst_SetupLogging(nullptr, tag, nullptr, nullptr);
}

void Inst_Log(uint32_t level, const char* fmt, ...)
{
   ErrorStateGuard guard;
   va_list args;
   va_start(args, fmt);
   LogInternalV(level, std::string(), fmt, args);
   va_end(args);
}

void Inst_LogMsg(const char* fmt, ...)
{
   ErrorStateGuard guard;
   va_list args;
   va_start(args, fmt);
   LogInternalV(LOG_LAUNCHER, std::string(), fmt, args);
   va_end(args);
}

void Inst_LogWinError(uint32_t level, uint32_t code, const char* fmt, ...)
{
   ErrorStateGuard guard;
   if (!Log_LevelPasses(State().mask, level)) {
      return;
   }
   va_list args;
   va_start(args, fmt);
   LogWithSuffix(level, LogSuffixKind::WinError, code, WinErrorText(code), fmt, args);
   va_end(args);
}

void Inst_LogLastWinError(uint32_t level, uint32_t code, const char* fmt, ...)
{
   ErrorStateGuard guard;
   if (!Log_LevelPasses(State().mask, level)) {
      return;
   }
   va_list args;
   va_start(args, fmt);
   LogWithSuffix(level, LogSuffixKind::LastWinError, code, code != 0 ? WinErrorText(code) : std::string(), fmt, args);
   va_end(args);
}

void Inst_LogPosixError(uint32_t level, int code, const char* fmt, ...)
{
   ErrorStateGuard guard;
   if (!Log_LevelPasses(State().mask, level)) {
      return;
   }
   va_list args;
   va_start(args, fmt);
   LogWithSuffix(level, LogSuffixKind::PosixError, static_cast<uint32_t>(code), PosixErrorText(code), fmt, args);
   va_end(args);
}

void Inst_LogLastPosixError(uint32_t level, int code, const char* fmt, ...)
{
   ErrorStateGuard guard;
   if (!Log_LevelPasses(State().mask, level)) {
      return;
   }
   va_list args;
   va_start(args, fmt);
   LogWithSuffix(level, LogSuffixKind::LastPosixError, static_cast<uint32_t>(code),
                 code != 0 ? PosixErrorText(code) : std::string(), fmt, args);
   va_end(args);
}

namespace
{
// The file utilities that archiving uses log their steps; a line written then would open the
// very file being archived again (a line after the end of logging reopens the log), and the
// archive would fail on its own log. Those lines are dropped while archiving.
class LogPause
{
 public:
   LogPause() { State().paused++; }
   ~LogPause() { State().paused--; }
};
} // namespace

bool Util_ArchiveLogFile(bool atEnd, const char* logFileName, bool succeeded, const char* archiveBaseName)
{
   LogPause pause;
   if (logFileName == nullptr) {
      return false;
   }
   std::string temp = Win32U_GetTempPath();
   if (temp.empty() || temp.size() > kArchiveTempPathChars - 1) {
      return false;
   }
   if (temp.back() != '\\') {
      temp += '\\';
   }
   const std::string current = temp + logFileName;
   if (!Util_FileExists(current)) {
      return true;
   }
   const bool failed = !atEnd || !succeeded;

   SYSTEMTIME written;
   {
      UniqueHandle file(
          Win32U_CreateFile(current.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      FILETIME lastWrite;
      FILETIME local;
      if (!file || !GetFileTime(file.get(), nullptr, nullptr, &lastWrite) ||
          !FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToSystemTime(&local, &written)) {
         return false;
      }
   }
   // Two runs whose logs were last written in the same second would get the same name: the later
   // one takes the first free "_2", "_3", ... after the time rather than staying in place, where
   // the next run would append to it and the two runs' lines would end up in one archive.
   const std::string stamped =
       Str_Format("%s_%02d%02d%02d_%02d%02d%02d", archiveBaseName ? archiveBaseName : logFileName, written.wYear,
                  written.wMonth, written.wDay, written.wHour, written.wMinute, written.wSecond);
   const char* ending = failed ? "_Failed.log" : ".log";
   std::string newName = stamped + ending;
   for (unsigned n = 2; Win32U_GetFileAttributes((temp + newName).c_str()) != INVALID_FILE_ATTRIBUTES; n++) {
      if (n > kArchiveNameTries) {
         return false;
      }
      newName = Str_Format("%s_%u%s", stamped.c_str(), n, ending);
   }
   const std::string newPath = temp + newName;
   if (!Util_CopyFile(current, newPath, false)) {
      return false;
   }
   if (!Util_DeleteFile(current, 2, false)) {
      return false;
   }
   wchar_t common[MAX_PATH];
   if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
      if (auto folder = Win32U_ToUtf8(common)) {
         Util_CopyFile(newPath, Str_Format("%s\\Tessix\\logs\\%s", folder->c_str(), newName.c_str()), true);
      }
   }
   return true;
}

void Inst_ResetLoggingForTest()
{
   CloseLogFile();
   State() = LoggerState();
}

uint32_t Inst_GetLogLevelMask()
{
   return State().mask;
}

bool Inst_IsHostLoggingOn()
{
   return State().hostForwarding != 0;
}
