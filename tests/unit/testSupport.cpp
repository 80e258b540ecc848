#include "tests/unit/testSupport.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <atomic>

#include "lib/misc/win32u.h"

std::string TestArg(size_t index)
{
   const auto& args = ::testing::internal::GetArgvs();
   return index < args.size() ? args[index] : std::string();
}

std::string WinePath(const std::string& unixPath)
{
   std::string path = "Z:" + unixPath;
   for (char& c : path) {
      if (c == '/') {
         c = '\\';
      }
   }
   return path;
}

ScratchDir::ScratchDir(const char* tag)
{
   static std::atomic<int> counter{0};
   std::string base = Win32U_GetTempPath();
   path_ = base + "txtest-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
   RemoveTree(path_);
   CreateDirectoryW(Win32U_Wide(path_).c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
   RemoveTree(path_);
}

namespace
{
std::wstring GetEnv(const wchar_t* name)
{
   wchar_t buf[4096];
   const DWORD n = GetEnvironmentVariableW(name, buf, 4096);
   return n > 0 && n < 4096 ? std::wstring(buf, n) : std::wstring();
}
} // namespace

TempFolderOverride::TempFolderOverride(const std::string& folder) : oldTmp_(GetEnv(L"TMP")), oldTemp_(GetEnv(L"TEMP"))
{
   const std::wstring wide = Win32U_Wide(folder);
   SetEnvironmentVariableW(L"TMP", wide.c_str());
   SetEnvironmentVariableW(L"TEMP", wide.c_str());
}

TempFolderOverride::~TempFolderOverride()
{
   SetEnvironmentVariableW(L"TMP", oldTmp_.empty() ? nullptr : oldTmp_.c_str());
   SetEnvironmentVariableW(L"TEMP", oldTemp_.empty() ? nullptr : oldTemp_.c_str());
}

bool WriteTextFile(const std::string& path, const std::string& text)
{
   HANDLE file = CreateFileW(Win32U_Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
   if (file == INVALID_HANDLE_VALUE) {
      return false;
   }
   DWORD written = 0;
   const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
   CloseHandle(file);
   return ok && written == text.size();
}

std::string ReadTextFile(const std::string& path)
{
   HANDLE file =
       CreateFileW(Win32U_Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   nullptr, OPEN_EXISTING, 0, nullptr);
   if (file == INVALID_HANDLE_VALUE) {
      return std::string();
   }
   std::string text;
   char buf[65536];
   DWORD got = 0;
   while (ReadFile(file, buf, sizeof buf, &got, nullptr) && got > 0) {
      text.append(buf, got);
   }
   CloseHandle(file);
   return text;
}

bool PathExists(const std::string& path)
{
   return GetFileAttributesW(Win32U_Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
   std::vector<std::string> names;
   WIN32_FIND_DATAW data;
   HANDLE find = FindFirstFileW(Win32U_Wide(folder + "\\*").c_str(), &data);
   if (find == INVALID_HANDLE_VALUE) {
      return names;
   }
   do {
      const std::string name = Win32U_Utf8(data.cFileName);
      if (name != "." && name != "..") {
         names.push_back(name);
      }
   } while (FindNextFileW(find, &data));
   FindClose(find);
   return names;
}

void RemoveTree(const std::string& path)
{
   const std::wstring wide = Win32U_Wide(path);
   const DWORD attributes = GetFileAttributesW(wide.c_str());
   if (attributes == INVALID_FILE_ATTRIBUTES) {
      return;
   }
   if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      for (const auto& name : ListFolder(path)) {
         RemoveTree(path + "\\" + name);
      }
      RemoveDirectoryW(wide.c_str());
   } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveDirectoryW(wide.c_str());
   } else {
      SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(wide.c_str());
   }
}

std::vector<std::string> SplitLines(const std::string& text)
{
   std::vector<std::string> lines;
   size_t start = 0;
   while (start < text.size()) {
      const size_t end = text.find('\n', start);
      if (end == std::string::npos) {
         lines.push_back(text.substr(start));
         break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
   }
   return lines;
}

void ExpectLinesInOrder(const std::string& log, const std::vector<std::string>& lines)
{
   size_t from = 0;
   for (const std::string& line : lines) {
      const size_t at = log.find(line, from);
      EXPECT_NE(at, std::string::npos) << "\"" << line << "\" missing or out of order\n" << log;
      from = at == std::string::npos ? from : at + 1;
   }
}

namespace
{
#if defined(__x86_64__)
long long LinuxCall(long long number, const void* a, const void* b)
{
   long long result;
   asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b) : "rcx", "r11", "memory");
   return result;
}
constexpr long long kLinuxUnlink = 87;
constexpr long long kLinuxSymlink = 88;
#endif
} // namespace

bool PlantUnixLink(const std::string& target, const std::string& link)
{
#if defined(__x86_64__)
   return LinuxCall(kLinuxSymlink, target.c_str(), link.c_str()) == 0;
#else
   (void)target;
   (void)link;
   return false;
#endif
}

std::string UnixPath(const std::string& windowsPath)
{
   using WineUnixNameFn = char*(CDECL*)(const wchar_t*);
   const auto unixName = reinterpret_cast<WineUnixNameFn>(
       reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
   char* name = unixName != nullptr ? unixName(Win32U_Wide(windowsPath).c_str()) : nullptr;
   if (name == nullptr) {
      return std::string();
   }
   std::string path(name);
   HeapFree(GetProcessHeap(), 0, name);
   return path;
}

bool RemoveUnixLink(const std::string& link)
{
#if defined(__x86_64__)
   return LinuxCall(kLinuxUnlink, link.c_str(), nullptr) == 0;
#else
   (void)link;
   return false;
#endif
}

const wchar_t* ReportedOwner = L"O:BA";

DWORD OwnerAsWindowsReports(HANDLE, PSID* owner, PSECURITY_DESCRIPTOR* descriptor)
{
   BOOL defaulted = FALSE;
   if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(ReportedOwner, SDDL_REVISION_1, descriptor, nullptr) ||
       !GetSecurityDescriptorOwner(*descriptor, owner, &defaulted)) {
      return GetLastError();
   }
   return ERROR_SUCCESS;
}
