#include "tests/session/sessionTestSupport.h"

#include <msi.h>

#include <cwchar>

#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileHandle.h"
#include "lib/install/log.h"
#include "lib/install/rebootUtil.h"
#include "lib/install/regUtil.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{
std::wstring systemTemp; // what GetTempPath2W answers while a SystemTempFolder lives
} // namespace

extern "C" __declspec(dllexport) DWORD WINAPI GetTempPath2W(DWORD size, LPWSTR buffer)
{
   const DWORD length = static_cast<DWORD>(systemTemp.size());
   if (size <= length) {
      return length + 1;
   }
   wcscpy(buffer, systemTemp.c_str());
   return length;
}

SystemTempFolder::SystemTempFolder(const wchar_t* fileOwner)
{
   systemTemp = Win32U_Wide(path());
   Win32U_SetTempPathModuleForTest(GetModuleHandleW(nullptr));
   ReportedOwner = fileOwner;
   Util_SetOwnerQueryForTest(OwnerAsWindowsReports);
}

SystemTempFolder::~SystemTempFolder()
{
   Util_SetOwnerQueryForTest(nullptr);
   Win32U_SetTempPathModuleForTest(nullptr);
   systemTemp.clear();
}

std::string FixturePackage(const std::string& name)
{
   return WinePath(TestArg(1)) + "\\" + name;
}

std::string LauncherImage()
{
   return WinePath(TestArg(2));
}

UINT InstallDirectly(const std::string& package, const std::string& properties)
{
   MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
   return MsiInstallProductW(Win32U_Wide(package).c_str(), Win32U_Wide(properties).c_str());
}

void RemoveFixtureProducts()
{
   MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
   for (const char* code : {kToolsCode, kOldCode, kMarkerCode, kProtectedCode}) {
      // A nested registration would keep the product from being removed on its own.
      MsiUtil_UnnestMsi(code);
      if (ProductState(code) != INSTALLSTATE_UNKNOWN) {
         MsiConfigureProductExW(Win32U_Wide(code).c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT, L"");
      }
   }
}

int ProductState(const std::string& code)
{
   return MsiQueryProductStateW(Win32U_Wide(code).c_str());
}

std::string InstalledVersion(const std::string& code)
{
   wchar_t version[64] = L"";
   DWORD chars = 64;
   if (MsiGetProductInfoW(Win32U_Wide(code).c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &chars) != 0) {
      return std::string();
   }
   return Win32U_Utf8(version);
}

std::string Clients(const std::string& code)
{
   HKEY raw = nullptr;
   const std::wstring key = Win32U_Wide(MsiUtil_ProductRegistrationKey(code));
   if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS) {
      return "<no key>";
   }
   wchar_t data[512] = {};
   DWORD size = sizeof data - 2 * sizeof(wchar_t);
   const LONG result = RegQueryValueExW(raw, L"Clients", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
   RegCloseKey(raw);
   if (result != ERROR_SUCCESS) {
      return "<no value>";
   }
   std::string list;
   for (const wchar_t* s = data; *s != L'\0'; s += wcslen(s) + 1) {
      list += Win32U_Utf8(s) + "|";
   }
   return list;
}

std::string ProductRegistryValue(const std::string& folder, const char* name)
{
   HKEY raw = nullptr;
   const std::wstring key = Win32U_Wide("Software\\TessixTest\\" + folder);
   if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS) {
      return "<none>";
   }
   UniqueRegKey k(raw);
   wchar_t data[512] = L"";
   DWORD size = sizeof data - sizeof(wchar_t);
   if (RegQueryValueExW(k.get(), Win32U_Wide(name).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
       ERROR_SUCCESS) {
      return "<none>";
   }
   return Win32U_Utf8(data);
}

std::string RunOnceValue(const std::string& name)
{
   char data[4096] = "";
   DWORD size = sizeof data;
   HKEY raw = nullptr;
   if (Win32U_RegOpenKeyEx(HKEY_CURRENT_USER, kRunOnceKeyPath, 0, KEY_READ, &raw) != ERROR_SUCCESS) {
      return "<none>";
   }
   UniqueRegKey key(raw);
   if (Win32U_RegQueryValueEx(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
       ERROR_SUCCESS) {
      return "<none>";
   }
   return data;
}

void DeleteRunOnceValue(const std::string& name)
{
   HKEY raw = nullptr;
   if (Win32U_RegOpenKeyEx(HKEY_CURRENT_USER, kRunOnceKeyPath, 0, KEY_SET_VALUE, &raw) == ERROR_SUCCESS) {
      UniqueRegKey key(raw);
      Win32U_RegDeleteValue(key.get(), name.c_str());
   }
}

void ClearRestartList()
{
   Util_DeleteKey(HKEY_LOCAL_MACHINE, kRebootListKey);
}

void PressWhenShown(const std::wstring& title, int button)
{
   for (int i = 0; i < 400; i++) {
      if (HWND box = FindWindowW(L"#32770", title.c_str())) {
         PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
         return;
      }
      Sleep(25);
   }
}

void InstallerTest::SetUp()
{
   Inst_ResetLoggingForTest();
   Inst_SetupLogging("test", "t", nullptr, nullptr);
   resources_ = LoadLibraryExW(Win32U_Wide(LauncherImage()).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
   ASSERT_NE(resources_, nullptr);
   RemoveFixtureProducts();
   ClearRestartList();
   userCancelled = false;
}

void InstallerTest::TearDown()
{
   // Wineboot runs what RunOnce holds when the prefix starts next: nothing may be left there.
   for (const char* code : {kToolsCode, kOldCode, kMarkerCode, kProtectedCode}) {
      DeleteRunOnceValue(code);
   }
   RemoveFixtureProducts();
   ClearRestartList();
   MsiUtil_SetApiForTest(nullptr);
   silentFlag = nullptr;
   userCancelled = false;
   FreeLibrary(resources_);
   Inst_ResetLoggingForTest();
}

std::string InstallerTest::Log() const
{
   return ReadTextFile(temp_ / "txinst.log");
}
