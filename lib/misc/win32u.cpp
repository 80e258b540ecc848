// UTF-8 twins of the wide Win32 calls for files, modules, resources, windows and the C runtime.
#include "lib/misc/win32u.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "lib/misc/panic.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32uInternal.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{
// Without the extended-length form ("\\?\C:\...") Windows takes paths shorter than these only,
// unless its long-path policy is on (it is off by default, whatever the manifest declares).
constexpr size_t kMaxPathChars = 260;      // MAX_PATH: the path and its NUL
constexpr size_t kMaxDirectoryChars = 248; // CreateDirectoryW: MAX_PATH less room for an 8.3 name
} // namespace

// ---- conversion ----------------------------------------------------------------------------

std::optional<std::wstring> Win32U_ToWide(std::string_view utf8)
{
   auto wide = Unicode_Utf8ToUtf16(utf8);
   if (!wide) {
      return std::nullopt;
   }
   return std::wstring(wide->begin(), wide->end());
}

std::optional<std::string> Win32U_ToUtf8(std::wstring_view wide)
{
   return Unicode_Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::wstring Win32U_Wide(std::string_view utf8)
{
   auto wide = Win32U_ToWide(utf8);
   if (!wide) {
      NOT_IMPLEMENTED();
   }
   return *wide;
}

std::string Win32U_Utf8(std::wstring_view wide)
{
   auto utf8 = Win32U_ToUtf8(wide);
   if (!utf8) {
      NOT_IMPLEMENTED();
   }
   return *utf8;
}

DWORD Win32U_Utf16ToUtf8Buffer(std::wstring_view text, char* buf, DWORD bufSize, DWORD* size)
{
   auto utf8 = Win32U_ToUtf8(text);
   if (!utf8) {
      const std::string escaped = Unicode_EscapeBuffer(text.data(), text.size() * sizeof(wchar_t));
      Debug("%s: Failed to convert the UTF-16 string to UTF-8: %s.\n", "Win32UCodeSetUtf16leToUtf8", escaped.c_str());
      return ERROR_INVALID_DATA;
   }
   const DWORD length = static_cast<DWORD>(utf8->size());
   if (size != nullptr) {
      *size = length;
   }
   if (buf == nullptr || static_cast<size_t>(length) + 1 > bufSize) {
      return ERROR_MORE_DATA;
   }
   memcpy(buf, utf8->data(), length);
   buf[length] = '\0';
   return ERROR_SUCCESS;
}

void Win32U_ErrorKeeper::Capture()
{
   win_ = GetLastError();
   crt_ = errno;
   captured_ = true;
}

Win32U_ErrorKeeper::~Win32U_ErrorKeeper()
{
   if (captured_) {
      SetLastError(win_);
      errno = crt_;
   }
}

// ---- long paths ------------------------------------------------------------------------------

namespace
{

Win32U_PathCheck pathCheck = nullptr;

bool IsExtendedLength(std::wstring_view path)
{
   return path.rfind(L"\\\\?\\", 0) == 0;
}

std::wstring FullPathName(const std::wstring& path)
{
   std::vector<wchar_t> buf(path.size() + 1);
   DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
   if (n >= buf.size()) {
      buf.resize(static_cast<size_t>(n) + 1);
      n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
   }
   return n == 0 || n >= buf.size() ? std::wstring() : std::wstring(buf.data(), n);
}

// An absolute path in the extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."), in
// which Windows takes a path of any length. That form is taken literally, so it is made from the
// full path name: dots and forward slashes are resolved first, as Windows would resolve them. A
// find pattern keeps its last part (the wildcards) as written. Empty for any other path.
std::wstring ExtendedLengthPath(std::wstring_view path, PathKind kind)
{
   const auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
   const bool drive = path.size() >= 3 && path[1] == L':' && slash(path[2]) &&
                      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
   const bool unc = path.size() >= 3 && slash(path[0]) && slash(path[1]) && path[2] != L'?' && path[2] != L'.';
   if (!drive && !unc) {
      return std::wstring();
   }
   std::wstring_view resolved = path;
   std::wstring_view mask;
   if (kind == PathKind::Pattern) {
      const size_t last = path.find_last_of(L"\\/");
      if (path.find_first_of(L"*?", last + 1) != std::wstring_view::npos) {
         resolved = path.substr(0, last + 1);
         mask = path.substr(last + 1);
      }
   }
   const std::wstring full = FullPathName(std::wstring(resolved));
   if (drive && full.size() >= 3 && full[1] == L':') {
      return L"\\\\?\\" + full + std::wstring(mask);
   }
   if (unc && full.rfind(L"\\\\", 0) == 0) {
      return L"\\\\?\\UNC\\" + full.substr(2) + std::wstring(mask);
   }
   return std::wstring();
}

} // namespace

PathArg::PathArg(const char* utf8, const PathCall& call) : arg_(utf8)
{
   const wchar_t* p = arg_;
   if (!arg_.ok() || p == nullptr) {
      return;
   }
   const std::wstring_view view(p);
   long_ = view.size() >= call.limit && !IsExtendedLength(view);
   if (long_) {
      const DWORD error = GetLastError();
      extended_ = ExtendedLengthPath(view, call.kind);
      SetLastError(error);
   }
}

bool PathArg::Admit(const PathCall& call) const
{
   if (long_ && extended_.empty() && call.kind == PathKind::CRuntime) {
      // The C runtime's own MAX_PATH handling would overrun.
      errno = ENAMETOOLONG;
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
   }
   const wchar_t* p = get();
   return pathCheck == nullptr || p == nullptr || pathCheck(call.name, p);
}

void Win32U_SetPathCheckForTest(Win32U_PathCheck check)
{
   pathCheck = check;
}

// ---- files and directories -----------------------------------------------------------------

namespace
{
constexpr PathCall kCreateDirectory = {"CreateDirectoryW", kMaxDirectoryChars, PathKind::File};
constexpr PathCall kCreateFile = {"CreateFileW", kMaxPathChars, PathKind::File};
constexpr PathCall kDeleteFile = {"DeleteFileW", kMaxPathChars, PathKind::File};
constexpr PathCall kCopyFile = {"CopyFileW", kMaxPathChars, PathKind::File};
constexpr PathCall kMoveFileEx = {"MoveFileExW", kMaxPathChars, PathKind::File};
constexpr PathCall kRemoveDirectory = {"RemoveDirectoryW", kMaxPathChars, PathKind::File};
constexpr PathCall kGetFileAttributes = {"GetFileAttributesW", kMaxPathChars, PathKind::File};
constexpr PathCall kGetFileAttributesEx = {"GetFileAttributesExW", kMaxPathChars, PathKind::File};
constexpr PathCall kGetFileSecurity = {"GetFileSecurityW", kMaxPathChars, PathKind::File};
constexpr PathCall kGetDiskFreeSpaceEx = {"GetDiskFreeSpaceExW", kMaxPathChars, PathKind::File};
constexpr PathCall kFindFirstFileEx = {"FindFirstFileExW", kMaxPathChars, PathKind::Pattern};
} // namespace

BOOL Win32U_CreateDirectory(const char* path, LPSECURITY_ATTRIBUTES sa)
{
   return Win32UPathCall<BOOL>(
       FALSE, kCreateDirectory, [&](const PathArg& p) { return CreateDirectoryW(p, sa); }, path);
}

HANDLE Win32U_CreateFile(const char* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                         DWORD flags, HANDLE templateFile)
{
   return Win32UPathCall<HANDLE>(
       INVALID_HANDLE_VALUE, kCreateFile,
       [&](const PathArg& p) { return CreateFileW(p, access, share, sa, disposition, flags, templateFile); }, path);
}

BOOL Win32U_DeleteFile(const char* path)
{
   return Win32UPathCall<BOOL>(
       FALSE, kDeleteFile, [](const PathArg& p) { return DeleteFileW(p); }, path);
}

BOOL Win32U_CopyFile(const char* source, const char* target, BOOL failIfExists)
{
   return Win32UPathCall<BOOL>(
       FALSE, kCopyFile, [&](const PathArg& s, const PathArg& t) { return CopyFileW(s, t, failIfExists); }, source,
       target);
}

BOOL Win32U_MoveFileEx(const char* source, const char* target, DWORD flags)
{
   return Win32UPathCall<BOOL>(
       FALSE, kMoveFileEx, [&](const PathArg& s, const PathArg& t) { return MoveFileExW(s, t, flags); }, source,
       target);
}

BOOL Win32U_RemoveDirectory(const char* path)
{
   return Win32UPathCall<BOOL>(
       FALSE, kRemoveDirectory, [](const PathArg& p) { return RemoveDirectoryW(p); }, path);
}

// The process keeps its current directory in a buffer of MAX_PATH whatever form the path is
// given in, so a long one is passed as it is and gets the system's own answer.
BOOL Win32U_SetCurrentDirectory(const char* path)
{
   return Win32UCall<BOOL>(
       FALSE, [](const WideArg& p) { return SetCurrentDirectoryW(p); }, path);
}

std::optional<std::string> Win32U_GetCurrentDirectory()
{
   return Win32UGetText([](wchar_t* buf, DWORD size) { return GetCurrentDirectoryW(size, buf); });
}

DWORD Win32U_GetFileAttributes(const char* path)
{
   return Win32UPathCall<DWORD>(
       INVALID_FILE_ATTRIBUTES, kGetFileAttributes, [](const PathArg& p) { return GetFileAttributesW(p); }, path);
}

BOOL Win32U_GetFileAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data)
{
   return Win32UPathCall<BOOL>(
       FALSE, kGetFileAttributesEx,
       [&](const PathArg& p) { return GetFileAttributesExW(p, GetFileExInfoStandard, data); }, path);
}

BOOL Win32U_GetFileSecurity(const char* path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD length,
                            DWORD* needed)
{
   return Win32UPathCall<BOOL>(
       FALSE, kGetFileSecurity, [&](const PathArg& p) { return GetFileSecurityW(p, info, sd, length, needed); }, path);
}

std::optional<std::string> Win32U_GetFullPathName(const char* path)
{
   Win32U_ErrorKeeper keeper;
   WideArg p(path);
   if (!p.ok()) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return std::nullopt;
   }
   auto result = Win32UGetText([&](wchar_t* buf, DWORD size) { return GetFullPathNameW(p, size, buf, nullptr); });
   keeper.Capture();
   return result;
}

BOOL Win32U_GetDiskFreeSpaceEx(const char* root, ULARGE_INTEGER* available, ULARGE_INTEGER* total,
                               ULARGE_INTEGER* totalFree)
{
   return Win32UPathCall<BOOL>(
       FALSE, kGetDiskFreeSpaceEx,
       [&](const PathArg& r) { return GetDiskFreeSpaceExW(r, available, total, totalFree); }, root);
}

UINT Win32U_GetDriveType(const char* root)
{
   return Win32UCall<UINT>(
       DRIVE_UNKNOWN, [](const WideArg& r) { return GetDriveTypeW(r); }, root);
}

std::string Win32U_GetTempPathFrom(HMODULE kernel)
{
   using GetTempPath2Fn = DWORD(WINAPI*)(DWORD, LPWSTR);
   GetTempPath2Fn getTempPath2 = nullptr;
   if (!SysLib_Bind(kernel, "GetTempPath2W", getTempPath2)) {
      getTempPath2 = GetTempPathW;
   }
   return Win32UGetText([getTempPath2](wchar_t* buf, DWORD size) { return getTempPath2(size, buf); })
       .value_or(std::string());
}

namespace
{
HMODULE tempPathModuleForTest = nullptr;
} // namespace

void Win32U_SetTempPathModuleForTest(HMODULE kernel)
{
   tempPathModuleForTest = kernel;
}

std::string Win32U_GetTempPath()
{
   return Win32U_GetTempPathFrom(tempPathModuleForTest != nullptr ? tempPathModuleForTest
                                                                  : GetModuleHandleW(L"kernel32"));
}

std::string Win32U_GetOlderTempPath()
{
   return Win32UGetText([](wchar_t* buf, DWORD size) { return GetTempPathW(size, buf); }).value_or(std::string());
}

std::string Win32U_GetSystemDirectory()
{
   return Win32UGetText([](wchar_t* buf, DWORD size) { return GetSystemDirectoryW(buf, size); })
       .value_or(std::string());
}

std::string Win32U_GetWindowsDirectory()
{
   return Win32UGetText([](wchar_t* buf, DWORD size) { return GetWindowsDirectoryW(buf, size); })
       .value_or(std::string());
}

namespace
{
void FillFindData(const WIN32_FIND_DATAW& wide, Win32U_FindData* data)
{
   data->attributes = wide.dwFileAttributes;
   data->reparseTag = (wide.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? wide.dwReserved0 : 0;
   data->size = (static_cast<ULONGLONG>(wide.nFileSizeHigh) << 32) | wide.nFileSizeLow;
   auto name = Win32U_ToUtf8(wide.cFileName);
   data->nameConverted = name.has_value();
   data->fileName = name.value_or(std::string());
}
} // namespace

HANDLE Win32U_FindFirstFileEx(const char* pattern, Win32U_FindData* data)
{
   WIN32_FIND_DATAW wide;
   HANDLE find = Win32UPathCall<HANDLE>(
       INVALID_HANDLE_VALUE, kFindFirstFileEx,
       [&](const PathArg& p) { return FindFirstFileExW(p, FindExInfoBasic, &wide, FindExSearchNameMatch, nullptr, 0); },
       pattern);
   if (find != INVALID_HANDLE_VALUE) {
      FillFindData(wide, data); // no system call: the find's own last error stays
   }
   return find;
}

BOOL Win32U_FindNextFile(HANDLE find, Win32U_FindData* data)
{
   Win32U_ErrorKeeper keeper;
   WIN32_FIND_DATAW wide;
   BOOL ok = FindNextFileW(find, &wide);
   keeper.Capture();
   if (ok) {
      FillFindData(wide, data);
   }
   return ok;
}

// ---- C-runtime path calls ------------------------------------------------------------------

namespace
{
constexpr PathCall kAccess = {"_waccess", kMaxPathChars, PathKind::CRuntime};
constexpr PathCall kChmod = {"_wchmod", kMaxPathChars, PathKind::CRuntime};
constexpr PathCall kFopen = {"_wfopen", kMaxPathChars, PathKind::CRuntime};
constexpr PathCall kOpen = {"_wsopen", kMaxPathChars, PathKind::CRuntime};
} // namespace

int Win32U_Access(const char* path, int mode)
{
   return Win32UPathCall<int>(
       -1, kAccess, [&](const PathArg& p) { return _waccess(p, mode); }, path);
}

int Win32U_Chmod(const char* path, int mode)
{
   return Win32UPathCall<int>(
       -1, kChmod, [&](const PathArg& p) { return _wchmod(p, mode); }, path);
}

FILE* Win32U_Fopen(const char* path, const char* mode)
{
   WideArg m(mode);
   return Win32UPathCall<FILE*>(
       nullptr, kFopen,
       [&](const PathArg& p) -> FILE* {
          if (!m.ok()) {
             errno = EILSEQ;
             SetLastError(ERROR_NO_UNICODE_TRANSLATION);
             return nullptr;
          }
          return _wfopen(p, m);
       },
       path);
}

int Win32U_Open(const char* path, int flags, int share, int pmode)
{
   return Win32UPathCall<int>(
       -1, kOpen, [&](const PathArg& p) { return _wsopen(p, flags, share, pmode); }, path);
}

// ---- modules, processes, resources -----------------------------------------------------------

std::optional<std::string> Win32U_GetModuleFileName(HMODULE module)
{
   std::vector<wchar_t> buf(MAX_PATH);
   for (;;) {
      const DWORD n = GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) {
         return std::nullopt;
      }
      if (n < buf.size()) {
         auto text = Win32U_ToUtf8(std::wstring_view(buf.data(), n));
         if (!text) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
         }
         return text;
      }
      if (buf.size() >= 32768) {
         SetLastError(ERROR_INSUFFICIENT_BUFFER);
         return std::nullopt;
      }
      buf.resize(buf.size() * 2);
   }
}

HMODULE Win32U_GetModuleHandle(const char* name)
{
   return Win32UCall<HMODULE>(
       nullptr, [](const WideArg& n) { return GetModuleHandleW(n); }, name);
}

HMODULE Win32U_LoadLibraryEx(const char* path, DWORD flags)
{
   return Win32UCall<HMODULE>(
       nullptr, [&](const WideArg& p) { return LoadLibraryExW(p, nullptr, flags); }, path);
}

BOOL Win32U_CreateProcess(const char* application, const char* commandLine, LPSECURITY_ATTRIBUTES pa,
                          LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, void* environment, const char* directory,
                          STARTUPINFOW* si, PROCESS_INFORMATION* pi)
{
   return Win32UCall<BOOL>(
       FALSE,
       [&](const WideArg& a, const WideArg& c, const WideArg& d) {
          // CreateProcessW may write into its command line: hand it a private copy.
          std::wstring line = c.get() ? std::wstring(c.get()) : std::wstring();
          return CreateProcessW(a, c.get() ? line.data() : nullptr, pa, ta, inherit, flags, environment, d, si, pi);
       },
       application, commandLine, directory);
}

HRSRC Win32U_FindResource(HMODULE module, const char* name, const char* type)
{
   Win32U_ErrorKeeper keeper;
   ResourceArg n(name);
   ResourceArg t(type);
   if (!n.ok() || !t.ok()) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return nullptr;
   }
   HRSRC result = FindResourceW(module, n, t);
   keeper.Capture();
   return result;
}

HANDLE Win32U_BeginUpdateResource(const char* path, BOOL deleteExisting)
{
   return Win32UCall<HANDLE>(
       nullptr, [&](const WideArg& p) { return BeginUpdateResourceW(p, deleteExisting); }, path);
}

BOOL Win32U_UpdateResource(HANDLE update, const char* type, const char* name, WORD language, void* data, DWORD size)
{
   Win32U_ErrorKeeper keeper;
   ResourceArg n(name);
   ResourceArg t(type);
   if (!n.ok() || !t.ok()) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return FALSE;
   }
   BOOL result = UpdateResourceW(update, t, n, language, data, size);
   keeper.Capture();
   return result;
}

std::optional<std::string> Win32U_LoadString(HINSTANCE module, UINT id)
{
   const wchar_t* text = nullptr;
   // With a zero buffer size LoadStringW hands back a read-only pointer to the resource text.
   const int length = LoadStringW(module, id, reinterpret_cast<wchar_t*>(&text), 0);
   if (length <= 0 || text == nullptr) {
      return std::nullopt;
   }
   return Win32U_ToUtf8(std::wstring_view(text, static_cast<size_t>(length)));
}

// ---- windows ---------------------------------------------------------------------------------

HWND Win32U_CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                           int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param)
{
   Win32U_ErrorKeeper keeper;
   ResourceArg c(className);
   WideArg w(windowName);
   if (!c.ok() || !w.ok()) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return nullptr;
   }
   HWND result = CreateWindowExW(exStyle, c, w, style, x, y, width, height, parent, menu, instance, param);
   keeper.Capture();
   return result;
}

BOOL Win32U_SetWindowText(HWND window, const char* text)
{
   return Win32UCall<BOOL>(
       FALSE, [&](const WideArg& t) { return SetWindowTextW(window, t); }, text);
}

int Win32U_MessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
   return Win32UCall<int>(
       0, [&](const WideArg& t, const WideArg& c) { return MessageBoxW(owner, t, c, type); }, text, caption);
}

std::string Win32U_FormatMessage(DWORD code, DWORD language)
{
   Win32U_ErrorKeeper keeper;
   wchar_t* text = nullptr;
   const DWORD n =
       FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                      nullptr, code, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
   keeper.Capture();
   std::wstring wide = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
   if (text != nullptr) {
      LocalFree(text);
   }
   while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n')) {
      wide.pop_back();
   }
   return Win32U_ToUtf8(wide).value_or(std::string());
}

// ---- WOW64 redirection -----------------------------------------------------------------------

namespace
{
// kernel32 and the function are found once; concurrent first callers race with a
// compare-and-exchange and the loser releases its own module reference.
void* LookupKernel32(const char* name, void* volatile* slot)
{
   static HMODULE volatile kernel32 = nullptr;
   if (*slot != nullptr) {
      return *slot;
   }
   if (kernel32 == nullptr) {
      HMODULE mine = LoadLibraryExW(L"kernel32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
      if (mine == nullptr) {
         return nullptr;
      }
      if (InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&kernel32), mine, nullptr) != nullptr) {
         FreeLibrary(mine);
      }
   }
   void* proc = reinterpret_cast<void*>(GetProcAddress(kernel32, name));
   if (proc == nullptr) {
      return nullptr;
   }
   InterlockedCompareExchangePointer(slot, proc, nullptr);
   return *slot;
}
} // namespace

BOOL Win32U_Wow64DisableWow64FsRedirection(void** oldValue)
{
   static void* volatile slot = nullptr;
   using Fn = BOOL(WINAPI*)(void**);
   auto fn = reinterpret_cast<Fn>(LookupKernel32("Wow64DisableWow64FsRedirection", &slot));
   return fn != nullptr && fn(oldValue);
}

BOOL Win32U_Wow64RevertWow64FsRedirection(void* oldValue)
{
   static void* volatile slot = nullptr;
   using Fn = BOOL(WINAPI*)(void*);
   auto fn = reinterpret_cast<Fn>(LookupKernel32("Wow64RevertWow64FsRedirection", &slot));
   return fn != nullptr && fn(oldValue);
}
