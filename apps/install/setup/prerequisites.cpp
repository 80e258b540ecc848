#include "apps/install/setup/prerequisites.h"

#include "apps/install/setup/extractionFolder.h"

#include "apps/install/setup/fileVersion.h"
#include "apps/install/setup/prereqRules.h"
#include "apps/install/setup/runtimeTable.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileUtil.h"
#include "lib/install/launch.h"
#include "lib/install/log.h"
#include "lib/install/msiUtil.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{

enum PrereqMessage : UINT {
   kMsgPathInvalid = 23,
   kMsgCanceled = 24,
   kMsgUpgradeNeedsAdmin = 26,
   kMsgUpgraderMissing = 28,
   kMsgUpgradeFailed = 29,
   kMsgUpgraderInvalid = 31,
   kMsgUpgradeQuestion = 33,
   kMsgRuntimeNeedsAdmin = 58,
   kMsgRuntimeFailed = 60,
   kMsgOsTooOld = 62,
   kMsgKernelFixMissing = 64,
};

constexpr uint32_t kErrorTopmost = MB_ICONERROR | MB_TOPMOST;                  // 0x40010
constexpr uint32_t kQuestionTopmost = MB_YESNO | MB_ICONQUESTION | MB_TOPMOST; // 0x40024
constexpr uint32_t kWarningTopmost = MB_ICONWARNING | MB_TOPMOST;              // 0x40030

constexpr DWORD kWindows11Build = 22000;
constexpr char kWindows11Text[] = "Windows 11 (OS Build 10.0.22000.0)";
constexpr int32_t kErrorOsTooOld = 15613;
constexpr uint32_t kFirstRuntimeWithBuildCheck = 14;
constexpr uint32_t kRuntimeNeedingKernelFix = 9;
constexpr DWORD kResultNewerInstalled = 5100;

std::string FileName(const std::string& path)
{
   const size_t slash = path.find_last_of("\\/");
   return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Runtimes before version 14 are recognised by Microsoft's product codes.
bool IsRuntimeInstalled(uint32_t version, uint32_t bits)
{
   Inst_LogMsg("Look for VC %d x%d runtime libraries.", static_cast<int>(version), static_cast<int>(bits));
   const MsiApi* msi = MsiUtil_Api();
   bool anyRow = false;
   for (const InstalledRuntimeRow& row : installedRuntimeTable) {
      if (row.version != version || row.bits != bits) {
         continue;
      }
      anyRow = true;
      const INSTALLSTATE state =
          msi != nullptr ? msi->queryProductState(Win32U_Wide(row.productCode).c_str()) : INSTALLSTATE_UNKNOWN;
      Inst_LogMsg("install state for product code %s = %d", row.productCode, static_cast<int>(state));
      if (state == INSTALLSTATE_DEFAULT) {
         Inst_LogMsg("VC %d x%d runtimes are already installed", static_cast<int>(version), static_cast<int>(bits));
         return true;
      }
   }
   if (!anyRow) {
      Inst_LogMsg("No product code found for VCrt ver %d for x%d", static_cast<int>(version), static_cast<int>(bits));
   }
   Inst_LogMsg("VC %d x%d runtime libraries need to be installed", static_cast<int>(version), static_cast<int>(bits));
   return false;
}

bool Kernel32HasFix835732()
{
   const std::string system = Win32U_GetSystemDirectory();
   const auto version = system.empty() ? std::nullopt : FileVersion_Read(system + "\\kernel32.dll");
   return version && Prereq_HasKernelFix835732(*version);
}

// Waits for the child while dispatching the launcher's window messages.
DWORD WaitPumpingMessages(HANDLE process)
{
   for (;;) {
      const DWORD wait = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
      if (wait == WAIT_OBJECT_0) {
         return ERROR_SUCCESS;
      }
      if (wait != WAIT_OBJECT_0 + 1) {
         return GetLastError();
      }
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
         TranslateMessage(&message);
         DispatchMessageW(&message);
      }
   }
}

} // namespace

bool IsWindowsBuildAtLeast(DWORD build)
{
   OSVERSIONINFOEXW wanted{};
   wanted.dwOSVersionInfoSize = sizeof wanted;
   wanted.dwMajorVersion = 10;
   wanted.dwMinorVersion = 0;
   wanted.dwBuildNumber = build;
   ULONGLONG condition = 0;
   condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
   condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
   condition = VerSetConditionMask(condition, VER_BUILDNUMBER, VER_GREATER_EQUAL);
   return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_BUILDNUMBER, condition) != FALSE;
}

bool IsMsiUpgradeNecessary(uint32_t minimum)
{
   const std::string system = Win32U_GetSystemDirectory();
   if (system.empty()) {
      Inst_LogMsg("IsMsiUpgradeNecessary: Can't obtain system directory; assuming upgrade is necessary");
      return true;
   }
   const std::string path = system + "\\MSI.DLL";
   if (path.size() >= MAX_PATH) {
      Inst_LogMsg("IsMsiUpgradeNecessary: Can't obtain msi.dll path assuming upgrade is necessary");
      return true;
   }
   UniqueModule engine(Win32U_LoadLibraryEx(path.c_str(), LOAD_LIBRARY_SEARCH_SYSTEM32));
   if (!engine) {
      Inst_LogMsg("IsMsiUpgradeNecessary: Can't load msi.dll; assuming upgrade is necessary");
      return true;
   }
   const auto version = FileVersion_Read(path);
   if (!version) {
      Inst_LogMsg("IsMsiUpgradeNecessary: Can't obtain version information; assuming upgrade is necessary");
      return true;
   }
   const uint32_t installed = Prereq_EngineVersion(*version);
   if (installed >= minimum) {
      // The engine that serves the session: it stays loaded, so that the session finds it ready
      // instead of loading it and its libraries a second time.
      engine.release();
      Inst_LogMsg("IsMsiUpgradeNecessary: No upgrade is necessary. Windows Installer version %u meets minimum "
                  "requirements",
                  static_cast<unsigned>(installed));
      return false;
   }
   Inst_LogMsg(
       "IsMsiUpgradeNecessary: Windows Installer upgrade is required. System Version = %u, Minimum Version = %u",
       static_cast<unsigned>(installed), static_cast<unsigned>(minimum));
   return true;
}

DWORD IsInstMsiRequiredVersion(HMODULE module, HWND owner, const char* title, const std::string& folder,
                               const std::string& upgraderName, uint32_t minimum, uint32_t minimumMsiNt)
{
   auto fullFolder = Win32U_GetFullPathName(folder.c_str());
   const size_t slash = fullFolder ? fullFolder->find_last_of('\\') : std::string::npos;
   if (slash == std::string::npos) {
      const DWORD error = fullFolder ? static_cast<DWORD>(ERROR_BAD_PATHNAME) : GetLastError();
      ShowMessageWithInsert(module, owner, title, kMsgPathInvalid, folder.c_str(), MB_ICONERROR);
      return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_BAD_PATHNAME);
   }
   const std::string upgraderPath = fullFolder->substr(0, slash) + "\\" + upgraderName;
   if (!Util_FileExists(upgraderPath)) {
      ShowMessageWithInsert(module, owner, title, kMsgUpgraderMissing, upgraderPath.c_str(), MB_ICONERROR);
      return ERROR_FILE_NOT_FOUND;
   }
   const auto version = FileVersion_Read(upgraderPath);
   if (!version) {
      Inst_LogMsg("IsInstMsiRequiredVersion: Can't obtain version information for instmsi; assuming it is not the "
                  "proper version");
      ShowMessageWithInsert(module, owner, title, kMsgUpgraderInvalid, upgraderPath.c_str(), MB_ICONERROR);
      return ERROR_INVALID_PARAMETER;
   }
   const uint32_t upgraderVersion = Prereq_UpgraderVersion(*version);
   if (upgraderVersion < minimum) {
      Inst_LogMsg("IsInstMsiRequiredVersion: InstMsi is improper version for upgrade. InstMsi Version = %d, Minimum "
                  "Version = %d",
                  static_cast<int>(upgraderVersion), static_cast<int>(minimum));
      ShowMessageWithInsert(module, owner, title, kMsgUpgraderInvalid, upgraderPath.c_str(), MB_ICONERROR);
      return ERROR_INVALID_PARAMETER;
   }
   const DWORD result = ExecuteUpgradeMsi(upgraderPath, minimumMsiNt);
   switch (result) {
   case ERROR_SUCCESS:
   case ERROR_SUCCESS_REBOOT_INITIATED:
   case ERROR_SUCCESS_REBOOT_REQUIRED:
      break;
   case ERROR_INSTALL_USEREXIT:
      ShowMessage(module, owner, title, kMsgCanceled, MB_ICONWARNING);
      break;
   case ERROR_FILE_NOT_FOUND:
      ShowMessageWithInsert(module, owner, title, kMsgUpgraderMissing, upgraderPath.c_str(), MB_ICONERROR);
      break;
   default:
      ShowMessage(module, owner, title, kMsgUpgradeFailed, MB_ICONERROR);
      break;
   }
   return result;
}

DWORD ExecuteUpgradeMsi(const std::string& upgraderPath, uint32_t minimumMsiNt)
{
   Inst_LogMsg("ExecuteUpgradeMsi: Running instmsi from --> %s", upgraderPath.c_str());
   const std::string commandLine =
       "\"" + upgraderPath + "\"" + Prereq_UpgraderArguments(FileName(upgraderPath), minimumMsiNt);
   Inst_LogMsg("ExecuteUpgradeMsi: MSI Upgrade command line --> %s", commandLine.c_str());

   STARTUPINFOW startup{};
   startup.cb = sizeof startup;
   startup.dwFlags = STARTF_USESHOWWINDOW;
   startup.wShowWindow = SW_SHOW;
   PROCESS_INFORMATION info{};
   if (!Win32U_CreateProcess(nullptr, commandLine.c_str(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                             nullptr, &startup, &info)) {
      return GetLastError();
   }
   UniqueHandle process(info.hProcess);
   UniqueHandle thread(info.hThread);
   const DWORD waitError = WaitPumpingMessages(process.get());
   if (waitError != ERROR_SUCCESS) {
      return waitError;
   }
   DWORD exitCode = 0;
   if (!GetExitCodeProcess(process.get(), &exitCode)) {
      return GetLastError();
   }
   return exitCode;
}

StageResult RunEngineStage(SetupContext& ctx, HMODULE module, const EngineSettings& engine,
                           const std::string& extractionFolder)
{
   const uint32_t minimum = ctx.isWindows2000 ? engine.minimumMsi9x : engine.minimumMsiNt;
   if (!IsMsiUpgradeNecessary(minimum)) {
      return StageResult::Continue;
   }
   Inst_LogMsg(ctx.isWindows2000 ? "Upgrade of Windows Installer is requested for Win2K"
                                 : "Upgrade of Windows Installer is requested");
   const char* title = ctx.windowTitle.c_str();
   if (!ctx.isAdmin) {
      ShowMessage(module, messageOwner, title, kMsgUpgradeNeedsAdmin, kErrorTopmost);
      ctx.exitCode = ERROR_INSTALL_FAILURE;
      return StageResult::EndRun;
   }
   if (!ctx.silent && !ctx.toolsStyle &&
       ShowMessage(module, messageOwner, title, kMsgUpgradeQuestion, kQuestionTopmost) != IDYES) {
      ShowMessage(module, messageOwner, title, kMsgCanceled, kWarningTopmost);
      ctx.exitCode = ERROR_INSTALL_USEREXIT;
      return StageResult::EndRun;
   }
   if (!engine.upgrader || engine.upgrader->empty()) {
      Inst_LogMsg("ERROR: OS requires MSI upgrade, but upgrader not available");
      ctx.exitCode = ERROR_INSTALL_FAILURE;
      return StageResult::EndRun;
   }
   if (!ExtractedFile_IsIntact(extractionFolder + *engine.upgrader)) {
      ctx.exitCode = ERROR_INSTALL_FAILURE;
      return StageResult::EndRun;
   }
   const DWORD result = IsInstMsiRequiredVersion(module, messageOwner, title, extractionFolder, *engine.upgrader,
                                                 minimum, engine.minimumMsiNt);
   ctx.exitCode = static_cast<int32_t>(result);
   if (result == ERROR_SUCCESS_REBOOT_REQUIRED) {
      Inst_LogMsg("MSI Upgrade required a reboot");
      ctx.engineRebootNeeded = true;
   } else if (result != ERROR_SUCCESS) {
      return StageResult::EndRun;
   }
   Inst_LogMsg("Windows Installer has been upgraded");
   return StageResult::Continue;
}

bool IsRuntimeWindowsSupported(HMODULE module, const SetupContext& ctx, uint32_t version, int32_t& exitCode)
{
   if (version < kFirstRuntimeWithBuildCheck || IsWindowsBuildAtLeast(kWindows11Build)) {
      return true;
   }
   Inst_LogMsg("ERROR: This version of Windows is not supported by this product! Minimum supported OS version is %s.",
               kWindows11Text);
   ShowTaskMessage(module, messageOwner, ctx.windowTitle.c_str(), kMsgOsTooOld, kWindows11Text, TD_ERROR_ICON, 0,
                   TDCBF_OK_BUTTON, IDOK);
   exitCode = kErrorOsTooOld;
   return false;
}

bool InstallVCRedist(HMODULE module, const SetupContext& ctx, const std::string& extractionFolder, bool& rebootNeeded,
                     const std::string& installerPath, const char* arguments, uint32_t version, uint32_t bits,
                     int32_t& exitCode)
{
   rebootNeeded = false;
   const char* title = ctx.windowTitle.c_str();
   if (version < kFirstRuntimeWithBuildCheck) {
      if (IsRuntimeInstalled(version, bits)) {
         return true;
      }
   } else if (!IsRuntimeWindowsSupported(module, ctx, version, exitCode)) {
      return false;
   }
   const WORD servicePack = ctx.osVersion.wServicePackMajor;
   if (version == kRuntimeNeedingKernelFix && ctx.isWindows2000 && servicePack >= 2 && servicePack <= 4 &&
       !Kernel32HasFix835732()) {
      Inst_LogMsg("ERROR: Windows 2000 SP4 must have KB835732 installed or vcredist_x86.exe will fail.");
      Inst_LogMsg("See http://www.microsoft.com/technet/security/bulletin/MS04-011.mspx for details.");
      ShowMessage(module, messageOwner, title, kMsgKernelFixMissing, kErrorTopmost);
      // The run ends here; it must not end with the success it would otherwise report.
      exitCode = ERROR_INSTALL_FAILURE;
      return false;
   }

   const std::string fullPath = extractionFolder + installerPath;
   Inst_LogMsg("** InstallVCRedist [%s][%s]", installerPath.c_str(), arguments);
   if (!Util_FileExists(fullPath)) {
      return true;
   }
   if (!ctx.isAdmin) {
      Inst_LogMsg("Cannot install VC redistributables [%s] as non-admin.", installerPath.c_str());
      ShowMessage(module, messageOwner, title, kMsgRuntimeNeedsAdmin, kErrorTopmost);
      exitCode = ERROR_INSTALL_FAILURE;
      return false;
   }
   const std::string temp = Win32U_GetTempPath();
   const auto wideTemp = Win32U_ToWide(temp);
   wchar_t shortTemp[MAX_PATH];
   const DWORD shortLength = temp.empty() || !wideTemp ? 0 : GetShortPathNameW(wideTemp->c_str(), shortTemp, MAX_PATH);
   if (shortLength == 0 || shortLength >= MAX_PATH) {
      Inst_LogMsg("Cannot get short temp path for VC redist installer.");
      ShowMessage(module, messageOwner, title, kMsgRuntimeFailed, kErrorTopmost);
      exitCode = ERROR_INSTALL_FAILURE;
      return false;
   }

   const auto failed = [&](uint32_t code) {
      Inst_LogMsg("Launching VC dll installer failed with %d.", static_cast<int>(code));
      ShowMessage(module, messageOwner, title, kMsgRuntimeFailed, kErrorTopmost);
      exitCode = ERROR_INSTALL_FAILURE;
      return false;
   };
   if (!ExtractedFile_IsIntact(fullPath)) {
      return failed(ERROR_INSTALL_FAILURE);
   }
   const std::string commandLine = "\"" + fullPath + "\" " + arguments;
   uint32_t result = 0;
   if (!Util_Launch(std::string(), commandLine, true, true, &result)) {
      // Nothing ran, so nothing was installed: a failure, never the success of an exit code 0.
      const DWORD error = GetLastError();
      Inst_LogMsg("Failed to launch VC redist installer.");
      return failed(error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_INSTALL_FAILURE));
   }
   switch (result) {
   case ERROR_SUCCESS_REBOOT_REQUIRED:
      Inst_LogMsg("vc redist returned ERROR_SUCCESS_REBOOT_REQUIRED");
      rebootNeeded = true;
      return true;
   case ERROR_SUCCESS:
      return true;
   case ERROR_PRODUCT_VERSION:
   case kResultNewerInstalled:
      Inst_LogMsg("vc redist returned %d: A newer version is already installed", static_cast<int>(result));
      return true;
   default:
      return failed(result);
   }
}
