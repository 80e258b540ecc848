#include "apps/install/setup/dllHardening.h"

#include <windows.h>

#include <string>

#include "lib/misc/panic.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

namespace {

constexpr DWORD kFolderChars = 260;

// With SetDefaultDllDirectories in force only this one needs pre-loading.
constexpr const wchar_t* kPreloadHardened[] = {L"sfc_os.dll", nullptr};

// Without it every library that a system component may load by bare name is pre-loaded from
// the system folder, before anything could load it from the launcher's folder.
constexpr const wchar_t* kPreloadLegacy[] = {
   L"ntasn1.dll",   L"msisip.dll",   L"msls31.dll",   L"netutils.dll", L"winnsi.dll",    L"usp10.dll",
   L"riched20.dll", L"bcrypt.dll",   L"wkscli.dll",   L"srvcli.dll",   L"cabinet.dll",   L"cryptnet.dll",
   L"cryptsp.dll",  L"devrtl.dll",   L"dwmapi.dll",   L"gpapi.dll",    L"iphlpapi.dll",  L"dhcpcsvc.dll",
   L"dhcpcsvc6.dll", L"dnsapi.dll",  L"combase.dll",  L"shcore.dll",   L"webio.dll",     L"winhttp.dll",
   L"msi.dll",      L"msihnd.dll",   L"msimsg.dll",   L"ncrypt.dll",   L"profapi.dll",   L"propsys.dll",
   L"RpcRtRemote.dll", L"SensApi.dll", L"userenv.dll", L"version.dll",  L"sfc_os.dll",    L"uxtheme.dll",
   nullptr,
};

std::wstring Folder(UINT (WINAPI* get)(LPWSTR, UINT))
{
   wchar_t buf[kFolderChars];
   const UINT n = get(buf, kFolderChars);
   if (n == 0 || n >= kFolderChars) {
      return std::wstring();
   }
   std::wstring folder(buf, n);
   if (folder.back() != L'\\') {
      folder += L'\\';
   }
   return folder;
}

bool ExistsIn(const std::wstring& folder, const wchar_t* name)
{
   return GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND;
}

void Preload(const wchar_t* const* list)
{
   const std::wstring system = Folder(GetSystemDirectoryW);
   const std::wstring windows = Folder(GetWindowsDirectoryW);
   if (system.empty() || windows.empty()) {
      return;
   }
   Platform_DebugOutput("Start Pre-load DLLs.\n");
   for (; *list != nullptr; list++) {
      const wchar_t* name = *list;
      const std::string narrow = Win32U_Utf8(name);
      if (ExistsIn(system, name)) {
         if (LoadLibraryW((system + name).c_str()) != nullptr) {
            continue;
         }
         Debug("Try to pre-load DLL %s in system directory failed with error, code: %d.", narrow.c_str(),
               static_cast<int>(GetLastError()));
      }
      if (!ExistsIn(windows, name)) {
         continue;
      }
      if (LoadLibraryW((windows + name).c_str()) == nullptr) {
         Debug("Try to pre-load DLL %s in Windows directory failed with error, code: %d.", narrow.c_str(),
               static_cast<int>(GetLastError()));
         return;
      }
   }
}

} // namespace

void HardenLibrarySearch()
{
   using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
   SetDefaultDllDirectoriesFn setDefault = nullptr;
   SysLib_Bind(GetModuleHandleW(L"kernel32"), "SetDefaultDllDirectories", setDefault);
   const bool hardened = setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
   Preload(hardened ? kPreloadHardened : kPreloadLegacy);

   // Common controls are not a KnownDLL: bound here, after the search is restricted.
   using InitCommonControlsFn = void(WINAPI*)();
   InitCommonControlsFn initCommonControls = nullptr;
   if (SysLib_Bind(SysLib_Load(L"comctl32.dll"), "InitCommonControls", initCommonControls)) {
      initCommonControls();
   }
}
