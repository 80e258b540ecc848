// UTF-8 twins of the wide Win32 calls. Each takes and returns UTF-8, converts at the call and
// returns the wide function's own result with the wide call's last error (and errno) intact.
// A UTF-8 argument that is not valid UTF-8 is refused like a bad argument of the call itself:
// the failure value of that call with ERROR_NO_UNICODE_TRANSLATION.
#pragma once

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t is assumed at every Windows call");

// ---- conversion ----------------------------------------------------------------------------
std::optional<std::wstring> Win32U_ToWide(std::string_view utf8);
std::optional<std::string> Win32U_ToUtf8(std::wstring_view wide);
// Unchecked for program-internal constants: a conversion failure here is a program fault.
std::wstring Win32U_Wide(std::string_view utf8);
std::string Win32U_Utf8(std::wstring_view wide);

// UTF-16 into a caller's UTF-8 buffer: ERROR_MORE_DATA with *size = needed length when the text
// and its NUL do not fit, ERROR_INVALID_DATA (logged) when the text cannot be converted.
DWORD Win32U_Utf16ToUtf8Buffer(std::wstring_view text, char* buf, DWORD bufSize, DWORD* size);

// Keeps the last Win32 error and errno of the wrapped call across clean-up: construct before
// the temporaries, Capture() right after the call.
class Win32U_ErrorKeeper
{
 public:
   Win32U_ErrorKeeper() = default;
   Win32U_ErrorKeeper(const Win32U_ErrorKeeper&) = delete;
   Win32U_ErrorKeeper& operator=(const Win32U_ErrorKeeper&) = delete;
   void Capture();
   ~Win32U_ErrorKeeper();

 private:
   DWORD win_ = 0;
   int crt_ = 0;
   bool captured_ = false;
};

// ---- files and directories -----------------------------------------------------------------
BOOL Win32U_CreateDirectory(const char* path, LPSECURITY_ATTRIBUTES sa);
HANDLE Win32U_CreateFile(const char* path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                         DWORD flags, HANDLE templateFile);
BOOL Win32U_DeleteFile(const char* path);
BOOL Win32U_CopyFile(const char* source, const char* target, BOOL failIfExists);
BOOL Win32U_MoveFileEx(const char* source, const char* target, DWORD flags);
BOOL Win32U_RemoveDirectory(const char* path);
BOOL Win32U_SetCurrentDirectory(const char* path);
std::optional<std::string> Win32U_GetCurrentDirectory();
DWORD Win32U_GetFileAttributes(const char* path);
BOOL Win32U_GetFileAttributesEx(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data);
BOOL Win32U_GetFileSecurity(const char* path, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD length,
                            DWORD* needed);
std::optional<std::string> Win32U_GetFullPathName(const char* path);
BOOL Win32U_GetDiskFreeSpaceEx(const char* root, ULARGE_INTEGER* available, ULARGE_INTEGER* total,
                               ULARGE_INTEGER* totalFree);
UINT Win32U_GetDriveType(const char* root);
// Empty on failure (last error set). No length limit is applied here; callers apply theirs.
// GetTempPath2W where kernel32 has it, GetTempPathW otherwise: for a process of the SYSTEM
// account the former gives a folder of its own instead of the one every user may write to.
std::string Win32U_GetTempPath();
// The same choice made against `kernel` (a module that may export GetTempPath2W).
std::string Win32U_GetTempPathFrom(HMODULE kernel);
// GetTempPathW's folder alone: for SYSTEM the Windows temporary folder, where programs of that
// account that use the older call (a package's custom actions) write.
std::string Win32U_GetOlderTempPath();
// Tests put a module of their own in kernel32's place for Win32U_GetTempPath (null restores
// it): Wine has no GetTempPath2W, and no SYSTEM account whose two folders differ.
void Win32U_SetTempPathModuleForTest(HMODULE kernel);
std::string Win32U_GetSystemDirectory();
std::string Win32U_GetWindowsDirectory();

struct Win32U_FindData {
   DWORD attributes;
   DWORD reparseTag; // valid when attributes has FILE_ATTRIBUTE_REPARSE_POINT
   ULONGLONG size;
   std::string fileName; // UTF-8
   bool nameConverted;   // false: the name is not valid UTF-16 and fileName is empty
};
HANDLE Win32U_FindFirstFileEx(const char* pattern, Win32U_FindData* data);
BOOL Win32U_FindNextFile(HANDLE find, Win32U_FindData* data);

// Long paths: the calls above that take a file, a folder or a find pattern hand an absolute path
// of 260 or more characters (248 for a new folder) to the system in the extended-length form
// "\\?\C:\..." or "\\?\UNC\...", made from its full path name. Windows takes a longer path in any
// other form only while its long-path policy is on (off by default, whatever the manifest says).
// A relative path goes as it is, and so do the current directory (kept in MAX_PATH characters
// whatever the form) and drive roots.

// ---- C-runtime path calls ----------------------------------------------------------------------
// The same for the C runtime, which is given no relative path of 260 or more characters: that
// is refused before the call (ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE).
int Win32U_Access(const char* path, int mode);
int Win32U_Chmod(const char* path, int mode);
FILE* Win32U_Fopen(const char* path, const char* mode);
int Win32U_Open(const char* path, int flags, int share, int pmode);

// ---- modules, processes, resources -----------------------------------------------------------
std::optional<std::string> Win32U_GetModuleFileName(HMODULE module);
HMODULE Win32U_GetModuleHandle(const char* name);
HMODULE Win32U_LoadLibraryEx(const char* path, DWORD flags);
BOOL Win32U_CreateProcess(const char* application, const char* commandLine, LPSECURITY_ATTRIBUTES pa,
                          LPSECURITY_ATTRIBUTES ta, BOOL inherit, DWORD flags, void* environment, const char* directory,
                          STARTUPINFOW* si, PROCESS_INFORMATION* pi);
// Names and types may be integer resources (MAKEINTRESOURCEA); those pass through unchanged.
HRSRC Win32U_FindResource(HMODULE module, const char* name, const char* type);
HANDLE Win32U_BeginUpdateResource(const char* path, BOOL deleteExisting);
BOOL Win32U_UpdateResource(HANDLE update, const char* type, const char* name, WORD language, void* data, DWORD size);
std::optional<std::string> Win32U_LoadString(HINSTANCE module, UINT id);

// ---- windows ---------------------------------------------------------------------------------
HWND Win32U_CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style, int x, int y,
                           int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
BOOL Win32U_SetWindowText(HWND window, const char* text);
int Win32U_MessageBox(HWND owner, const char* text, const char* caption, UINT type);
// The system's text for a message (inserts ignored), trailing line breaks cut; empty if none.
std::string Win32U_FormatMessage(DWORD code, DWORD language);

// ---- registry --------------------------------------------------------------------------------
LONG Win32U_RegCreateKeyEx(HKEY root, const char* subKey, DWORD reserved, const char* className, DWORD options,
                           REGSAM sam, LPSECURITY_ATTRIBUTES sa, HKEY* key, DWORD* disposition);
LONG Win32U_RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM sam, HKEY* key);
LONG Win32U_RegDeleteKey(HKEY root, const char* subKey);
LONG Win32U_RegDeleteKeyEx(HKEY root, const char* subKey, REGSAM sam, DWORD reserved);
LONG Win32U_RegDeleteValue(HKEY key, const char* valueName);
// name/nameSize as RegEnumKeyExW but in UTF-8 bytes (rule of Win32U_Utf16ToUtf8Buffer).
LONG Win32U_RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* className,
                         DWORD* classSize, FILETIME* lastWrite);
// String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are read and written as UTF-8.
LONG Win32U_RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* dataSize);
LONG Win32U_RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG Win32U_RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

// ---- test seam ---------------------------------------------------------------------------------
// Called with the system call's name ("CreateFileW", "_wfopen", ...) and the exact path each
// path-taking file twin is about to hand it; a false answer fails the twin with the last error
// the check set, without the call. Tests give Windows' answers with it where Wine's differ.
// Null removes it.
using Win32U_PathCheck = bool (*)(const char* call, const wchar_t* path);
void Win32U_SetPathCheckForTest(Win32U_PathCheck check);

// ---- WOW64 file-system redirection, looked up at run time --------------------------------------
BOOL Win32U_Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Win32U_Wow64RevertWow64FsRedirection(void* oldValue);
