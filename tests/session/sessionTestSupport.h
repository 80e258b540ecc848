// Shared by the session's Windows-side tests: the fixture packages, their product codes, a
// private temporary folder with the launcher log in it, and what Windows Installer reports.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/install/msiUtil.h"
#include "tests/unit/testSupport.h"

inline constexpr char kToolsCode[] = "{6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5E01}";
inline constexpr char kOldCode[] = "{6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5E02}";
inline constexpr char kMarkerCode[] = "{6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5E03}";
inline constexpr char kProtectedCode[] = "{8C6A1B2E-4F3D-4A5B-9C7D-1E2F3A4B5C61}";
inline constexpr char kToolsMainComponent[] = "{6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5EA1}";
inline constexpr char kToolsSecondComponent[] = "{6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5EA2}";
inline constexpr char kRunOnceKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// A fixture package by file name (first test argument: the folder they were built into).
std::string FixturePackage(const std::string& name);
// The launcher image whose string tables hold the message catalogue (second argument).
std::string LauncherImage();

// Installs a fixture package directly, without the session; 0 on success.
UINT InstallDirectly(const std::string& package, const std::string& properties = "");
// Removes every product of the fixtures that is installed.
void RemoveFixtureProducts();

int ProductState(const std::string& code);
std::string InstalledVersion(const std::string& code); // empty when not installed
// A value under HKLM\Software\TessixTest\<folder> (64-bit view); "<none>" when missing.
std::string ProductRegistryValue(const std::string& folder, const char* name);
// The strings of a product registration's "Clients" list, each followed by "|" (":|" for a
// product of its own, the parent's code, ";" and ";" for a nested one); "<no key>" or
// "<no value>" when missing.
std::string Clients(const std::string& code);
// The RunOnce value named after a product code; "<none>" when missing.
std::string RunOnceValue(const std::string& name);
void DeleteRunOnceValue(const std::string& name);
void ClearRestartList();
// Presses a button of the first dialog box with this title once it shows (from another thread).
void PressWhenShown(const std::wstring& title, int button);

// A run as SYSTEM, as Windows answers it: GetTempPath2W names a protected folder of the
// account's own (C:\Windows\SystemTemp), while GetTempPathW, which the package's custom actions
// use, names the Windows temporary folder (here the test's). Wine has no GetTempPath2W: this
// program exports one, handed to the launcher in kernel32's place for the life of the object.
// Files then read as owned by `fileOwner` (SDDL: "O:SY", the custom actions' markers), as Windows
// would report them; Wine keeps no owners.
class SystemTempFolder
{
 public:
   explicit SystemTempFolder(const wchar_t* fileOwner = L"O:SY");
   ~SystemTempFolder();
   SystemTempFolder(const SystemTempFolder&) = delete;
   SystemTempFolder& operator=(const SystemTempFolder&) = delete;
   std::string path() const { return folder_.path() + "\\"; }

 private:
   ScratchDir folder_{"systemtemp"};
};

// Every test starts with its own temporary folder (TMP/TEMP), the launcher log in it, no
// fixture product installed and no restart recorded; the same holds again afterwards.
class InstallerTest : public ::testing::Test
{
 protected:
   void SetUp() override;
   void TearDown() override;
   std::string Log() const;
   bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
   std::string TempFolder() const { return temp_.path() + "\\"; }

   ScratchDir temp_{"msitemp"};
   TempFolderOverride override_{temp_.path() + "\\"};
   HMODULE resources_ = nullptr;
};
