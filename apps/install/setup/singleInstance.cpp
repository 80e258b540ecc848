#include "apps/install/setup/singleInstance.h"

#include <vector>

#include "lib/install/regUtil.h"

namespace {
constexpr wchar_t kMutexBase[] = L"_MSISETUP_{5D1C7E42-3A9B-4F06-9C2D-7B8E1A4F6C30}";
constexpr size_t kMutexNameChars = 260;
constexpr DWORD kModuleNameChars = 261;

bool TerminalServicesInstalled()
{
   std::string suite;
   Util_GetKeyValueString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ProductOptions", "ProductSuite",
                          suite, false, false);
   return suite.find("Terminal Server") != std::string::npos;
}
} // namespace

std::wstring SingleInstanceMutexName(DWORD majorVersion, bool terminalServices, const std::wstring& modulePath)
{
   std::wstring name = (majorVersion >= 5 || terminalServices) ? std::wstring(L"Global\\") + kMutexBase : kMutexBase;
   const size_t slash = modulePath.find_last_of(L"\\/");
   std::wstring file = slash == std::wstring::npos ? modulePath : modulePath.substr(slash + 1);
   const size_t dot = file.rfind(L'.');
   if (dot != std::wstring::npos) {
      file.resize(dot);
   }
   name += file;
   if (name.size() > kMutexNameChars) {
      name.resize(kMutexNameChars);
   }
   return name;
}

bool AcquireSingleInstanceLock(DWORD majorVersion)
{
   std::vector<wchar_t> path(kModuleNameChars, L'\0');
   const DWORD length = GetModuleFileNameW(nullptr, path.data(), kModuleNameChars);
   const bool terminalServices = majorVersion < 5 && TerminalServicesInstalled();
   const std::wstring name = SingleInstanceMutexName(majorVersion, terminalServices, std::wstring(path.data(), length));
   HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
   // The handle is deliberately kept open: the lock lasts as long as the process.
   return mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}
