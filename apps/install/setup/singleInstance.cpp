#include "apps/install/setup/singleInstance.h"

#include <vector>

#include "apps/install/setup/configValues.h"
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

std::wstring MutexBase(DWORD majorVersion, bool terminalServices)
{
   return (majorVersion >= 5 || terminalServices) ? std::wstring(L"Global\\") + kMutexBase : kMutexBase;
}

// True when the mutex was made here; the handle is deliberately kept open, so that the lock
// lasts as long as the process.
bool TakeMutex(const std::wstring& name)
{
   HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
   return mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}
// The lock of one product: the same prefix, "*" (which no file name holds, so no launcher's
// file name gives this name) and the product code in upper case.
std::wstring ProductInstanceMutexName(DWORD majorVersion, bool terminalServices, const std::string& productCode)
{
   std::wstring name = MutexBase(majorVersion, terminalServices) + L"*";
   for (const char c : productCode) {
      name.push_back(static_cast<wchar_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
   }
   return name;
}
} // namespace

std::wstring SingleInstanceMutexName(DWORD majorVersion, bool terminalServices, const std::wstring& modulePath)
{
   std::wstring name = MutexBase(majorVersion, terminalServices);
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

bool AcquireSingleInstanceLock(DWORD majorVersion, const std::string& productCode)
{
   std::vector<wchar_t> path(kModuleNameChars, L'\0');
   const DWORD length = GetModuleFileNameW(nullptr, path.data(), kModuleNameChars);
   const bool terminalServices = majorVersion < 5 && TerminalServicesInstalled();
   if (!TakeMutex(SingleInstanceMutexName(majorVersion, terminalServices, std::wstring(path.data(), length)))) {
      return false;
   }
   // A product code that is not one ends the run at the configuration, before any folder.
   return !Config_IsValidProductCode(productCode) ||
          TakeMutex(ProductInstanceMutexName(majorVersion, terminalServices, productCode));
}
