#include "apps/install/setup/olderProduct.h"

#include <vector>

#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/install/msiUtil.h"
#include "lib/install/rebootUtil.h"
#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

const char* const kLibraryProtectionCodes[2] = {
    "{8C6A1B2E-4F3D-4A5B-9C7D-1E2F3A4B5C61}",
    "{8C6A1B2E-4F3D-4A5B-9C7D-1E2F3A4B5C62}",
};

namespace
{

const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kProtectedLibraries[] = {"msvcp71", "atl71"};
constexpr DWORD kProductNameChars = 1024;
constexpr size_t kMessageBytes = kMessageTextBytes;
constexpr UINT kMessageUninstallFirst = 38;
constexpr UINT kMessageRestartToContinue = 57;
constexpr DWORD kRemovalMessageFilter = 0x7FDF; // every kind but files-in-use
constexpr int32_t kRemovalAbandoned = ERROR_INSTALL_FAILURE;

UINT CannotUninstallMessage(const SetupContext& ctx)
{
   return ctx.isPreVista ? 36 : 37; // they differ in how the control panel is named
}

void ShowCannotUninstall(const SetupContext& ctx, HMODULE resources, const std::string& name)
{
   ShowMessageWithText(resources, messageOwner, ctx.windowTitle.c_str(), CannotUninstallMessage(ctx), name.c_str(),
                       MB_ICONERROR);
}

std::string OldProductName(const MsiApi& api, HMODULE resources, const std::string& code)
{
   wchar_t name[kProductNameChars] = L"";
   DWORD chars = kProductNameChars;
   if (api.getProductInfo(Win32U_Wide(code).c_str(), INSTALLPROPERTY_PRODUCTNAME, name, &chars) == ERROR_SUCCESS) {
      if (auto text = Win32U_ToUtf8(name)) {
         return *text;
      }
   }
   Inst_LogMsg("ERROR: Can't get name of installed product %s", code.c_str());
   char fallback[kMessageBytes] = "";
   LoadMessage(resources, MSG_A_TESSIX_PRODUCT, fallback, sizeof fallback);
   return fallback;
}

bool ConfirmRemoval(const SetupContext& ctx, HMODULE resources, const std::string& oldName)
{
   if (ctx.silent) {
      return true;
   }
   char pattern[kMessageBytes] = "";
   LoadMessage(resources, kMessageUninstallFirst, pattern, sizeof pattern);
   std::string text = pattern;
   const size_t insert = text.find("%s");
   if (insert != std::string::npos) {
      text.replace(insert, 2, oldName);
   }
   return DisplayMessageBox(messageOwner, text.c_str(), ctx.windowTitle.c_str(), MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

// The RunOnce command restarts the install after a restart that the removal asks for. It is
// only worth keeping while such a restart is pending: left behind otherwise, it would run a
// package from a folder the exit sequence deletes.
class RunOnceEntry
{
 public:
   LONG Write(const std::string& name, const std::string& command)
   {
      LONG result = Win32U_RegCreateKeyEx(HKEY_CURRENT_USER, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          KEY_READ | KEY_SET_VALUE, nullptr, key_.put(), nullptr);
      if (result != ERROR_SUCCESS) {
         Inst_LogMsg("ERROR: Failed to open run once key %d", static_cast<int>(result));
         return result;
      }
      result = Win32U_RegSetValueEx(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>(command.size() + 1));
      if (result != ERROR_SUCCESS) {
         Inst_LogMsg("ERROR: Failed to set run once key %d", static_cast<int>(result));
         return result;
      }
      name_ = name;
      return ERROR_SUCCESS;
   }
   void Delete()
   {
      if (name_.empty()) {
         return;
      }
      const LONG result = Win32U_RegDeleteValue(key_.get(), name_.c_str());
      if (result != ERROR_SUCCESS) {
         Inst_LogMsg("ERROR: Failed to delete run once value %d", static_cast<int>(result));
      }
      name_.clear();
   }
   void Keep() { name_.clear(); }
   ~RunOnceEntry() { Delete(); }

 private:
   UniqueRegKey key_;
   std::string name_;
};

// Two libraries of earlier releases are removed with them although other programs use them:
// copies are kept beside them and put back after the removal. Returns the folder, or empty
// when nothing was protected.
std::string ProtectLibraries(const SetupContext& ctx, const std::string& installedCode)
{
   if (installedCode != kLibraryProtectionCodes[0] && installedCode != kLibraryProtectionCodes[1]) {
      return std::string();
   }
   using GetSystemWow64DirectoryFn = UINT(WINAPI*)(LPWSTR, UINT);
   GetSystemWow64DirectoryFn getFolder = nullptr;
   if (!SysLib_Bind(GetModuleHandleW(L"kernel32.dll"), "GetSystemWow64DirectoryW", getFolder)) {
      Inst_LogMsg("[Error] GetSystemWow64DirectoryW not exists");
      return std::string();
   }
   wchar_t folder[MAX_PATH] = L"";
   const UINT length = getFolder(folder, MAX_PATH);
   if (length == 0 || length >= MAX_PATH) {
      Inst_LogMsg("[Error] Get system directory system call failed");
      return std::string();
   }
   const std::string systemFolder = Win32U_Utf8(folder);
   for (const char* name : kProtectedLibraries) {
      const std::string library = systemFolder + "\\" + name + ".dll";
      if (!Util_FileExists(library)) {
         continue;
      }
      if (!Util_CopyFile(library, systemFolder + "\\Copy_" + name, false)) {
         Inst_LogMsg("[Error] Copying %s.dll failed", name);
         if (!ctx.silent) {
            const std::string text = Str_Format(
                "The uninstalltion of tools will delete %s which may cause third party applications to fail. So please "
                "take a backup of the same dll before continue.",
                library.c_str());
            DisplayMessageBox(messageOwner, text.c_str(), ctx.windowTitle.c_str(), MB_OK | MB_ICONWARNING);
         }
      }
   }
   return systemFolder;
}

void RestoreLibraries(const std::string& systemFolder)
{
   for (const char* name : kProtectedLibraries) {
      const std::string library = systemFolder + "\\" + name + ".dll";
      const std::string copy = systemFolder + "\\Copy_" + name;
      if (!Util_PathExistsQuiet(library.c_str()) && Util_PathExistsQuiet(copy.c_str())) {
         Inst_LogMsg("[Info] Restoring %s.", library.c_str());
         if (!Util_CopyFile(copy, library, false)) {
            Inst_LogMsg("[Error] Restoring %s failed.", library.c_str());
         }
      }
      if (Util_PathExistsQuiet(copy.c_str())) {
         Util_DeleteFile(copy, 0, false);
      }
   }
}

// The command kept for the restart runs at the next logon, long after the exit sequence has
// deleted the extraction folder: a package from there is copied into the package cache first
// and the command names the copy. Should that fail, the extraction folder is kept instead, as
// for a removal that asks for the restart itself.
void KeepForNextLogon(SetupContext& ctx, const OlderProductRemoval& removal, const PropertyStrings& strings,
                      RunOnceEntry& runOnce)
{
   if (removal.packageInExtractionFolder) {
      std::string cached;
      LONG result = static_cast<LONG>(CopyToPackageCache(removal.productCode, removal.packagePath, cached));
      if (result == ERROR_SUCCESS) {
         const std::string command = BuildReinstallCommand(removal.msiexecPath, cached, strings.reinstallCommandLine);
         Inst_LogMsg("Reinstall command is: %s", command.c_str());
         result = runOnce.Write(removal.productCode, command);
      }
      if (result != ERROR_SUCCESS) {
         Inst_LogMsg("ERROR: Failed to keep the package for the run once command (%d); the extraction folder stays",
                     static_cast<int>(result));
         ctx.rebootPendingFromUninstall = true;
      }
   }
   runOnce.Keep();
}

} // namespace

bool RemoveOlderProduct(SetupContext& ctx, const OlderProductRemoval& removal, PropertyStrings& strings,
                        HMODULE resources, const SessionHooks& hooks)
{
   const MsiApi& api = *MsiUtil_Api();
   const std::string oldName = OldProductName(api, resources, removal.installedCode);
   if (!ConfirmRemoval(ctx, resources, oldName)) {
      ctx.exitCode = ERROR_INSTALL_USEREXIT;
      return false;
   }
   const std::string uninstallProperties = BuildUninstallProperties(ctx.languageProperty);
   strings.reinstallCommandLine += kUpgradeInstallProperty;
   strings.msiCommandLine += kUpgradeInstallProperty;

   const std::string command =
       BuildReinstallCommand(removal.msiexecPath, removal.packagePath, strings.reinstallCommandLine);
   Inst_LogMsg("Reinstall command is: %s", command.c_str());
   RunOnceEntry runOnce;
   if (const LONG result = runOnce.Write(removal.productCode, command); result != ERROR_SUCCESS) {
      ShowCannotUninstall(ctx, resources, removal.productName);
      ctx.exitCode = result;
      return false;
   }

   const bool ownWindow = ctx.uiLevel != INSTALLUILEVEL_NONE && hooks.createUninstallUi != nullptr;
   INSTALLUI_HANDLERW previousHandler = nullptr;
   if (ctx.uiLevel != INSTALLUILEVEL_NONE) {
      api.setInternalUI(INSTALLUILEVEL_NONE, nullptr);
      if (ownWindow) {
         if (!hooks.createUninstallUi(hooks.uninstallObject, removal.productName.c_str(), oldName.c_str())) {
            Inst_LogMsg("ERROR: Failed to create uninstallation UI");
            ShowCannotUninstall(ctx, resources, removal.productName);
            ctx.exitCode = kRemovalAbandoned;
            return false;
         }
         previousHandler = api.setExternalUI(hooks.uninstallHandler, kRemovalMessageFilter, hooks.uninstallObject);
      }
   }
   const auto closeWindow = [&] {
      if (ownWindow) {
         api.setExternalUI(previousHandler, 0, nullptr);
         if (hooks.destroyUninstallUi != nullptr) {
            hooks.destroyUninstallUi(hooks.uninstallObject);
         }
      }
   };

   std::string parent;
   const bool unnested = MsiUtil_IsMsiNested(removal.installedCode, &parent);
   if (unnested && !MsiUtil_UnnestMsi(removal.installedCode)) {
      Inst_LogMsg("ERROR: Can't un-nest installer");
      closeWindow();
      ShowCannotUninstall(ctx, resources, oldName);
      ctx.exitCode = kRemovalAbandoned;
      return false;
   }
   const auto renest = [&] {
      if (unnested && !MsiUtil_NestMsi(removal.installedCode, parent)) {
         Inst_LogMsg("ERROR: Can't re-nest installer");
      }
   };

   const std::string protectedFolder = ProtectLibraries(ctx, removal.installedCode);
   Inst_LogMsg("Uninstalling with props: %s", uninstallProperties.c_str());
   const UINT result = api.configureProductEx(Win32U_Wide(removal.installedCode).c_str(), INSTALLLEVEL_DEFAULT,
                                              INSTALLSTATE_ABSENT, Win32U_Wide(uninstallProperties).c_str());
   closeWindow();
   if (!protectedFolder.empty()) {
      RestoreLibraries(protectedFolder);
   }

   switch (result) {
   case ERROR_SUCCESS_REBOOT_INITIATED:
      Inst_LogMsg("Uninstall reboot initiated");
      ctx.rebootPendingFromUninstall = true;
      runOnce.Keep();
      ctx.exitCode = ERROR_SUCCESS_REBOOT_INITIATED;
      return false;
   case ERROR_SUCCESS:
      Inst_LogMsg("Uninstall successful");
      Inst_LogMsg("Uninstalled %s", removal.productName.c_str());
      // The old product's uninstaller leaves the marker when it needs a restart itself.
      if (Util_RebootMarkerPresent(kRebootMarkerFile)) {
         KeepForNextLogon(ctx, removal, strings, runOnce);
      } else {
         runOnce.Delete();
      }
      api.setInternalUI(static_cast<INSTALLUILEVEL>(ctx.uiLevel), nullptr);
      return true;
   case ERROR_INSTALL_USEREXIT:
      Inst_LogMsg("User cancelled uninstall");
      renest();
      ctx.exitCode = ERROR_INSTALL_USEREXIT;
      return false;
   case ERROR_SUCCESS_REBOOT_REQUIRED:
      Inst_LogMsg("Uninstall reboot required");
      ctx.rebootPendingFromUninstall = true;
      runOnce.Keep();
      ShowMessage(resources, messageOwner, ctx.windowTitle.c_str(), kMessageRestartToContinue, MB_ICONERROR);
      ctx.exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
      return false;
   default:
      Inst_LogMsg("ERROR: Failed to uninstall product (%d)", static_cast<int>(result));
      renest();
      ShowCannotUninstall(ctx, resources, oldName);
      ctx.exitCode = static_cast<int32_t>(result);
      return false;
   }
}
