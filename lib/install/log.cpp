// The launcher log. No lock: each line leaves in one write to a file opened for appending, so
// the main and progress threads never mix inside a line.
#include "lib/install/log.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlobj.h>
#include <sys/stat.h>
#include <windows.h>

#include <aclapi.h>
#include <cerrno>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/install/fileHandle.h"
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
   std::string folder;      // the log's folder when not the temporary folder
   std::string startFolder; // the working folder when logging was set up
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

// A descriptor for appending to `name` in `folder`, or -1. Another user's program can put a link
// or a second name of a file it cannot read in the temporary folder and the working folder: such
// a name is refused (`refusal`), never written through.
int OpenLogIn(HANDLE folder, const std::string& name, PlainFileRefusal& refusal)
{
   refusal = PlainFileRefusal::Failed;
   if (folder == nullptr) {
      return -1;
   }
   ChildOpen how;
   how.access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
   how.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
   how.disposition = FILE_OPEN_IF;
   UniqueHandle file = Util_OpenPlainFile(folder, name, how, refusal);
   if (!file) {
      return -1;
   }
   const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND);
   if (fd >= 0) {
      file.release();
   }
   return fd;
}

bool IsLinkRefusal(PlainFileRefusal refusal)
{
   return refusal == PlainFileRefusal::Link || refusal == PlainFileRefusal::HardLinked;
}

// Opens the log file under the stored names; failure leaves fd at -1 and drops this line.
void CreateLogFile()
{
   LoggerState& s = State();
   const std::string temp = s.folder.empty() ? Win32U_GetTempPath() : s.folder;
   if (temp.empty() || temp.size() > kTempPathChars - 1) {
      return;
   }
   const std::string name = s.logFileName.empty() ? kDefaultLogName : s.logFileName;
   const std::string path = temp + name;
   UniqueHandle tempFolder = Util_OpenFolder(temp);
   PlainFileRefusal refusal;
   s.fd = OpenLogIn(tempFolder.get(), name, refusal);
   if (s.fd >= 0) {
      return;
   }
   DWORD firstError = GetLastError();
   if (IsLinkRefusal(refusal)) {
      // The name is someone else's way into another file: this run logs under one of its own.
      const std::string own = Util_NameOfOwn(name);
      s.fd = OpenLogIn(tempFolder.get(), own, refusal);
      if (s.fd >= 0) {
         s.logFileName = own; // also where the end of the run finds it to archive
         Inst_Log(LOG_WARNING, "InstCreateLogFile: %s is a link or has other names; logging to %s%s instead",
                  path.c_str(), temp.c_str(), own.c_str());
         return;
      }
      firstError = GetLastError();
   }
   const std::string fallback = s.fallbackFileName.empty() ? kDefaultFallbackName : s.fallbackFileName;
   const size_t slash = fallback.find_last_of("\\/");
   // A bare name lies in the working folder the run started in, not in whatever folder is current
   // now (the extraction folder, while Windows Installer runs).
   const std::string folder = slash == std::string::npos ? (s.startFolder.empty() ? std::string(".") : s.startFolder)
                                                         : fallback.substr(0, slash + 1);
   UniqueHandle fallbackFolder = Util_OpenFolder(folder);
   s.fd = OpenLogIn(fallbackFolder.get(), slash == std::string::npos ? fallback : fallback.substr(slash + 1), refusal);
   if (s.fd >= 0) {
      Inst_LogWinError(LOG_ERROR, firstError, "InstCreateLogFile: Unable to log to intended file %s", path.c_str());
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
   s.startFolder = Win32U_GetCurrentDirectory().value_or(std::string());
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

std::string Inst_GetLogFileName()
{
   return State().logFileName.empty() ? kDefaultLogName : State().logFileName;
}

void Inst_UseLogFile(const char* logFileName)
{
   ErrorStateGuard guard;
   CloseLogFile();
   State().logFileName = logFileName != nullptr ? logFileName : "";
}

void Inst_SetLogFolder(const std::string& folder)
{
   ErrorStateGuard guard;
   CloseLogFile();
   State().folder = folder;
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

namespace
{

// What archiving has to say: the logger is paused while it runs, so the lines wait for its end.
using ArchiveNotes = std::vector<std::string>;

// Opens "Tessix\logs" under the common application-data folder, each step relative to the last
// and never through a link, making what is missing for administrators only.
UniqueHandle OpenKeptLogsFolder(ArchiveNotes& notes)
{
   wchar_t common[MAX_PATH];
   if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) {
      return UniqueHandle();
   }
   const std::string root = Win32U_ToUtf8(common).value_or(std::string());
   UniqueHandle folder = Util_OpenFolder(root);
   AdminOnlySecurity security;
   if (!folder || !Util_BuildAdminOnlySecurity(security)) {
      return UniqueHandle();
   }
   std::string shown = root;
   for (const char* leaf : {"Tessix", "logs"}) {
      shown += Str_Format("\\%s", leaf);
      ChildOpen how;
      how.access = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | READ_CONTROL |
                   FILE_READ_ATTRIBUTES;
      how.disposition = FILE_OPEN_IF;
      how.kind = ChildOpen::Folder;
      how.security = &security.descriptor;
      bool created = false;
      UniqueHandle child = Util_OpenChild(folder.get(), leaf, how, &created);
      if (!child) {
         notes.push_back(Str_Format("Util_ArchiveLogFile: Cannot open %s; no copy kept (error %lu)", shown.c_str(),
                                    static_cast<unsigned long>(GetLastError())));
         return UniqueHandle();
      }
      if (!Util_IsPlainChild(folder.get(), leaf, child.get(), ChildOpen::Folder)) {
         notes.push_back(Str_Format("Util_ArchiveLogFile: %s is a link; no copy kept", shown.c_str()));
         return UniqueHandle();
      }
      if (!created && !Util_IsOwnedByAdminsOrSystem(child.get())) {
         notes.push_back(Str_Format("Util_ArchiveLogFile: %s is not owned by Administrators or SYSTEM; no copy kept",
                                    shown.c_str()));
         return UniqueHandle();
      }
      folder = std::move(child);
   }
   return folder;
}

// The names an archive may take: the plain one, then "_2" to "_99".
std::string ArchiveName(const std::string& stamped, const char* ending, unsigned n)
{
   return n < 2 ? stamped + ending : Str_Format("%s_%u%s", stamped.c_str(), n, ending);
}

// The kept copy is a new file of its own in the held folder, its text read from the launcher's
// handle of the archived log: nothing found under a name is written through or over.
void KeepCopy(HANDLE log, HANDLE logs, const std::string& stamped, const char* ending)
{
   for (unsigned n = 1; n <= kArchiveNameTries; n++) {
      ChildOpen how;
      how.access = FILE_WRITE_DATA;
      how.share = 0;
      how.disposition = FILE_CREATE;
      how.kind = ChildOpen::File;
      UniqueHandle copy = Util_OpenChild(logs, ArchiveName(stamped, ending, n), how);
      if (copy) {
         Util_CopyByHandle(log, copy.get());
         return;
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
         return;
      }
   }
}

// Why no copy is kept goes into the log being archived: a line through the logger after the end
// of logging would start a new log in the temporary folder.
void AppendNote(HANDLE log, const char* fmt, ...) TX_PRINTF(2, 3);
void AppendNote(HANDLE log, const char* fmt, ...)
{
   if (!Log_LevelPasses(State().mask, LOG_WARNING)) {
      return;
   }
   va_list args;
   va_start(args, fmt);
   const LogLine line = Log_FormatLine(Now(), State().tag, TX_BUILD_NUMBER, LOG_WARNING, fmt, args, std::string());
   va_end(args);
   LARGE_INTEGER end{};
   DWORD written = 0;
   if (SetFilePointerEx(log, end, nullptr, FILE_END)) {
      WriteFile(log, line.text.data(), static_cast<DWORD>(line.text.size()), &written, nullptr);
   }
}

bool ArchiveLog(bool atEnd, const char* logFileName, bool succeeded, const char* archiveBaseName, ArchiveNotes& notes)
{
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
   UniqueHandle folder = Util_OpenFolder(temp);
   if (!folder) {
      return false;
   }
   // No other writer while the log is copied, and a name another user's program made a link to
   // a file it cannot read is left alone: archiving it would copy that file for everyone.
   ChildOpen how;
   how.access = GENERIC_READ | FILE_APPEND_DATA | DELETE;
   how.share = FILE_SHARE_READ;
   PlainFileRefusal refusal;
   UniqueHandle file = Util_OpenPlainFile(folder.get(), logFileName, how, refusal);
   if (refusal == PlainFileRefusal::Missing) {
      return true;
   }
   if (refusal == PlainFileRefusal::Link || refusal == PlainFileRefusal::HardLinked) {
      notes.push_back(Str_Format("Util_ArchiveLogFile: %s%s is a link or has other names; left as it is", temp.c_str(),
                                 logFileName));
      return false;
   }
   const bool failed = !atEnd || !succeeded;
   SYSTEMTIME written;
   FILETIME lastWrite;
   FILETIME local;
   if (!file || !GetFileTime(file.get(), nullptr, nullptr, &lastWrite) ||
       !FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToSystemTime(&local, &written)) {
      return false;
   }
   // Two runs whose logs were last written in the same second would get the same name: the later
   // one takes the first free "_2", "_3", ... after the time rather than staying in place, where
   // the next run would append to it and the two runs' lines would end up in one archive.
   const std::string stamped =
       Str_Format("%s_%02d%02d%02d_%02d%02d%02d", archiveBaseName ? archiveBaseName : logFileName, written.wYear,
                  written.wMonth, written.wDay, written.wHour, written.wMinute, written.wSecond);
   const char* ending = failed ? "_Failed.log" : ".log";
   ArchiveNotes keptNotes;
   UniqueHandle logs = OpenKeptLogsFolder(keptNotes);
   for (const std::string& note : keptNotes) {
      AppendNote(file.get(), "%s", note.c_str());
   }
   for (unsigned n = 1;; n++) {
      if (n > kArchiveNameTries) {
         return false;
      }
      if (Util_RenameByHandle(file.get(), folder.get(), ArchiveName(stamped, ending, n))) {
         break;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
         return false;
      }
   }
   if (logs) {
      KeepCopy(file.get(), logs.get(), stamped, ending);
   }
   return true;
}

} // namespace

bool Util_ArchiveLogFile(bool atEnd, const char* logFileName, bool succeeded, const char* archiveBaseName)
{
   ArchiveNotes notes;
   bool archived = false;
   {
      LogPause pause;
      archived = ArchiveLog(atEnd, logFileName, succeeded, archiveBaseName, notes);
   }
   for (const std::string& note : notes) {
      Inst_Log(LOG_WARNING, "%s", note.c_str());
   }
   return archived;
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
