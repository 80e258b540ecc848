#include "apps/install/setup/msiSession.h"

#include <shlobj.h>

#include "apps/install/setup/extractionFolder.h"

#include "apps/install/setup/existingProduct.h"
#include "apps/install/setup/installerError.h"
#include "apps/install/setup/olderProduct.h"
#include "apps/install/setup/propertyString.h"
#include "apps/install/setup/sessionRules.h"
#include "apps/install/setup/signature.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileHandle.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/install/msiUtil.h"
#include "lib/install/rebootUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

const char kCacheSubFolder[] = "\\Tessix\\TessixToolsInstallerCache";
const char kMsiLogName[] = "txmsi.log";
constexpr DWORD kDefaultMsiLogMode = 0x1FDF;
constexpr DWORD kProductCodeBytes = 40;
constexpr DWORD kProductVersionBytes = 260;
constexpr UINT kProgressIncrementMessage = 0x800A;
constexpr LPARAM kProgressIncrement = 5;
constexpr DWORD kHelperUiFilter = INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_INFO;
constexpr UINT kMessagePackageMissing = 13;
constexpr UINT kMessageBadOperation = 34;
constexpr UINT kMessageNewerInstalled = 43;
constexpr int32_t kSignaturesRefused = ERROR_INVALID_DATA; // 13

bool EndRun(SetupContext& ctx, int32_t code)
{
   ctx.exitCode = code;
   return false;
}

// Windows Installer may show its own UI from here on; the progress dialog must be gone first.
void StopProgressThread(SetupContext& ctx)
{
   if (ctx.progressThread == nullptr) {
      return;
   }
   PostThreadMessageW(ctx.progressThreadId, WM_QUIT, 0, 0);
   CloseHandle(ctx.progressThread);
   ctx.progressThread = nullptr;
   stopRequested = true;
}

bool IsSuccess(UINT result)
{
   return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_INITIATED ||
          result == ERROR_SUCCESS_REBOOT_REQUIRED;
}

bool CachePackage(SetupContext& ctx, const SessionSettings& settings, std::string& packagePath)
{
   std::string cached;
   if (const DWORD result = CopyToPackageCache(settings.productCode, packagePath, cached); result != ERROR_SUCCESS) {
      return EndRun(ctx, static_cast<int32_t>(result));
   }
   packagePath = cached;
   return true;
}

struct InstallerLog {
   std::string name = kMsiLogName; // in the temporary folder
   std::string inside;             // where Windows Installer writes it, in the held extraction folder
};

InstallerLog& ChosenInstallerLog()
{
   static InstallerLog log;
   return log;
}

// Windows Installer writes its log by path, elevated. The name in the temporary folder, which the
// user's other programs may change, is opened first without following a link: a link, or a second
// name of someone else's file, is never handed on; the run then takes a new name of its own.
std::string ChooseInstallerLog(const std::string& temp)
{
   InstallerLog& log = ChosenInstallerLog();
   UniqueHandle folder = Util_OpenFolder(temp);
   ChildOpen how;
   how.access = FILE_READ_ATTRIBUTES;
   how.disposition = FILE_OPEN_IF;
   PlainFileRefusal refusal = PlainFileRefusal::Failed;
   UniqueHandle checked;
   if (folder) {
      checked = Util_OpenPlainFile(folder.get(), log.name, how, refusal);
   }
   if (!checked && (refusal == PlainFileRefusal::Link || refusal == PlainFileRefusal::HardLinked)) {
      const std::string own = Util_NameOfOwn(kMsiLogName);
      Inst_LogMsg("WARNING: %s%s is a link or has other names; Windows Installer logs to %s%s instead", temp.c_str(),
                  log.name.c_str(), temp.c_str(), own.c_str());
      log.name = own;
      how.disposition = FILE_CREATE;
      checked = Util_OpenPlainFile(folder.get(), log.name, how, refusal);
   }
   if (!checked) {
      // A name that could not be checked is never handed on.
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Windows Installer's log %s%s cannot be checked; not enabled",
                           temp.c_str(), log.name.c_str());
      return std::string();
   }
   return log.name;
}

void EnableInstallerLog(const SetupContext& ctx, const MsiApi& api)
{
   std::string path = ctx.msiLogPath;
   DWORD mode = ctx.msiLogMode;
   if (path.empty()) {
      mode = kDefaultMsiLogMode;
      if (extractionPin.folder && !extractionPin.path.empty()) {
         // Windows Installer writes its log by path, elevated: into the held folder that only
         // Administrators and SYSTEM may change, never through a name in the temporary folder
         // that the user's other programs could turn into a link after any check. The exit
         // sequence copies it out (Session_KeepInstallerLog).
         ChosenInstallerLog().inside = extractionPin.path + kMsiLogName;
         path = ChosenInstallerLog().inside;
      } else {
         const std::string temp = Win32U_GetTempPath();
         if (temp.empty()) {
            Inst_LogMsg("ERROR: Failed to get temp path name for MSI log: %d", static_cast<int>(GetLastError()));
            return;
         }
         const std::string name = ChooseInstallerLog(temp);
         if (name.empty()) {
            return;
         }
         path = temp + name;
      }
   }
   const UINT result = api.enableLog(mode, Win32U_Wide(path).c_str(), 0);
   if (result != ERROR_SUCCESS) {
      Inst_LogMsg("ERROR: Failed to enable MSI logging: %d", static_cast<int>(result));
   } else {
      Inst_LogMsg("MSI logging to \"%s\"", path.c_str());
   }
}

// The package's own code and version. False when the package cannot be read.
bool ReadPackageIdentity(const std::string& packagePath, std::string& code, std::string& version)
{
   MsiHandle database;
   if (MsiUtil_OpenDatabase(packagePath.c_str(), nullptr /* read-only */, database.put()) != ERROR_SUCCESS) {
      return false;
   }
   char codeText[kProductCodeBytes] = "";
   DWORD codeSize = sizeof codeText;
   char versionText[kProductVersionBytes] = "";
   DWORD versionSize = sizeof versionText;
   if (GetMsiProperty(database.get(), "ProductCode", codeText, &codeSize) != ERROR_SUCCESS ||
       GetMsiProperty(database.get(), "ProductVersion", versionText, &versionSize) != ERROR_SUCCESS) {
      return false;
   }
   code = codeText;
   version = versionText;
   return true;
}

// Settles what is installed already. False when the run ends (newer version installed, or the
// installed version cannot be read).
bool DecideExistingProduct(SetupContext& ctx, SessionSettings& settings, const std::string& packagePath,
                           HMODULE resources, bool& reinstall, bool& uninstallFirst, std::string& installedCode)
{
   std::string packageCode;
   std::string packageVersion;
   if (!ReadPackageIdentity(packagePath, packageCode, packageVersion)) {
      Inst_LogMsg("Unable to process product code. Will treat as first time install");
      reinstall = false;
      return true;
   }
   if (!Str_EqualsNoCase(packageCode, settings.productCode)) {
      Inst_LogMsg("WARNING: MSI product code %s doesn't match resource version %s", packageCode.c_str(),
                  settings.productCode.c_str());
   }
   settings.productCode = packageCode;

   // Without OLDCODES the check only learns whether the product is installed at all: the
   // reinstall properties would install nothing on a machine without it.
   const bool oldCodesSet = settings.oldCodes.has_value();
   ExistingProductQuery query;
   query.newProductCode = packageCode;
   query.newVersion = packageVersion;
   query.oldCodes = SplitOldCodes(settings.oldCodes.value_or(std::string()));
   query.oldCodesSet = oldCodesSet;
   query.upgradeSettingPresent = ctx.upgradeSettingPresent;
   ExistingProductState state = ExistingProductState::Unknown;
   if (const UINT result = CheckExistingProduct(query, installedCode, state); result != ERROR_SUCCESS) {
      return EndRun(ctx, static_cast<int32_t>(result));
   }
   const ExistingProductPlan plan = PlanForExistingProduct(state, oldCodesSet, ctx.upgradeSettingPresent);
   switch (state) {
   case ExistingProductState::Unknown:
      Inst_LogMsg("The product code %s is unknown. Use first time install logic.", packageCode.c_str());
      break;
   case ExistingProductState::Older:
      Inst_LogMsg("The product code %s is known.", packageCode.c_str());
      break;
   case ExistingProductState::Same:
      Inst_LogMsg(plan.reinstall ? "Reinstalling the installed version." : "Using first time install logic.");
      break;
   case ExistingProductState::Newer:
   case ExistingProductState::MinorUpgradeInPlace:
      break;
   }
   if (plan.newerInstalled) {
      ShowMessageWithText(resources, messageOwner, ctx.windowTitle.c_str(), kMessageNewerInstalled,
                          settings.productName.c_str(), MB_ICONERROR);
      return EndRun(ctx, ERROR_SUCCESS);
   }
   reinstall = plan.reinstall;
   uninstallFirst = plan.uninstallFirst;
   return true;
}

// The working directory leaves the extraction folder again, so that the folder can be deleted.
void ReturnToDirectory(const std::string& saved)
{
   if (saved.empty()) {
      return;
   }
   const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
   if (Win32U_SetCurrentDirectory(saved.c_str())) {
      Inst_LogMsg("Returned to [%s]", saved.c_str());
   } else {
      Inst_LogMsg("WARNING: Unable to return to the previous working directory");
      if (!Win32U_SetCurrentDirectory("..")) {
         Inst_LogMsg("WARNING: Also unable to return to parent directory");
      }
   }
   SetErrorMode(previousMode);
}

bool InstallProduct(SetupContext& ctx, const SessionSettings& settings, const std::string& extractionFolder,
                    const std::string& packagePath, const std::string& commandLine, HMODULE resources,
                    const SessionHooks& hooks)
{
   const MsiApi& api = *MsiUtil_Api();
   std::string savedDirectory;
   if (ctx.payloadExtracted) {
      savedDirectory = Win32U_GetCurrentDirectory().value_or(std::string());
      if (Win32U_SetCurrentDirectory(extractionFolder.c_str())) {
         Inst_LogMsg("CWD is now \"%s\"", extractionFolder.c_str());
      } else {
         Inst_LogMsg("WARNING: Unable to change current path");
      }
   }
   Inst_LogMsg("Calling InstallProduct():");
   Inst_LogMsg("  MSI file  : \"%s\"", packagePath.c_str());
   // What Windows Installer is handed, the /v properties among it, where the launcher's command
   // line may be logged at all.
   if (ctx.logCommandLine) {
      Inst_LogMsg("  Properties: \"%s\"", commandLine.c_str());
   }
   const bool helper = !ctx.silent && settings.helperUi && hooks.helperHandler != nullptr;
   INSTALLUI_HANDLERW previousHandler = nullptr;
   if (helper) {
      previousHandler = api.setExternalUI(hooks.helperHandler, kHelperUiFilter, hooks.helperObject);
   }
   const UINT result = api.installProduct(Win32U_Wide(packagePath).c_str(), Win32U_Wide(commandLine).c_str());
   if (helper) {
      api.setExternalUI(previousHandler, 0, nullptr);
      if (hooks.destroyHelperUi != nullptr) {
         hooks.destroyHelperUi(hooks.helperObject);
      }
   }
   Inst_LogMsg("InstallProduct() returned: %d", static_cast<int>(result));
   ctx.installAttempted = true;
   ctx.exitCode = static_cast<int32_t>(result);
   if (IsSuccess(result)) {
      ctx.installSucceeded = true;
      if (settings.desktopProduct) {
         SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
      }
   } else {
      ShowInstallerError(resources, messageOwner, ctx.windowTitle.c_str(), result, MB_ICONERROR);
   }
   if (Util_NeedReboot() && result == ERROR_SUCCESS) {
      Inst_LogMsg("Setting return code to ERROR_SUCCESS_REBOOT_REQUIRED");
      ctx.exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
   }
   ReturnToDirectory(savedDirectory);
   return true;
}

bool ApplyPatch(SetupContext& ctx, SessionSettings& settings, const std::string& packagePath, bool reinstall,
                HMODULE resources)
{
   const MsiApi& api = *MsiUtil_Api();
   if (!settings.properties && reinstall) {
      Inst_LogMsg("Patch is a MINPATCH (small or minor update patch). Using default command line '%s'",
                  kPatchReinstallBase);
      settings.properties = kPatchReinstallBase;
   }
   Inst_LogMsg("Calling MsiApplyPatch with:");
   Inst_LogMsg("  PatchPackage = \"%s\"", packagePath.c_str());
   Inst_LogMsg("  InstallPackage = ''");
   Inst_LogMsg("  InstallType = INSTALLTYPE_DEFAULT");
   Inst_LogMsg("  CommandLine = %s", settings.properties ? settings.properties->c_str() : "''");
   const std::wstring properties = Win32U_Wide(settings.properties.value_or(std::string()));
   const UINT result = api.applyPatch(Win32U_Wide(packagePath).c_str(), nullptr, INSTALLTYPE_DEFAULT,
                                      settings.properties ? properties.c_str() : nullptr);
   // A patch that only needs a restart has been applied, as with an install.
   if (IsSuccess(result)) {
      ctx.installSucceeded = true;
   } else {
      ShowInstallerError(resources, messageOwner, ctx.windowTitle.c_str(), result, MB_ICONERROR);
   }
   Inst_LogMsg("MsiApplyPatch returned %d", static_cast<int>(result));
   ctx.installAttempted = true;
   ctx.exitCode = static_cast<int32_t>(result);
   return true;
}

} // namespace

// The copy stays in the cache for later repairs and removals; the launcher never deletes it.
DWORD CopyToPackageCache(const std::string& productCode, const std::string& packagePath, std::string& cachedPath)
{
   wchar_t common[MAX_PATH] = L"";
   if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, common))) {
      return ERROR_FILE_NOT_FOUND;
   }
   const std::string folder = Win32U_Utf8(common) + kCacheSubFolder;
   Inst_LogMsg("Caching installer in: %s", folder.c_str());
   const int created = SHCreateDirectoryExW(nullptr, Win32U_Wide(folder).c_str(), nullptr);
   if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS) {
      return static_cast<DWORD>(created);
   }
   const std::string cached = folder + "\\" + productCode + ".msi";
   if (!Util_CopyFile(packagePath, cached, false)) {
      return ERROR_FILE_NOT_FOUND;
   }
   cachedPath = cached;
   Inst_LogMsg("MSI cached as: %s", cachedPath.c_str());
   return ERROR_SUCCESS;
}

bool RunMsiSession(SetupContext& ctx, SessionSettings& settings, const std::string& extractionFolder, HMODULE resources,
                   const SessionHooks& hooks)
{
   const char* title = ctx.windowTitle.c_str();
   if (!IsOperationValid(settings.patch, settings.operation)) {
      Inst_LogMsg(settings.patch ? "ERROR: Operation %s is not valid for a patch"
                                 : "ERROR: Operation %s is not valid for a package",
                  settings.operation.c_str());
      ShowMessageWithText(resources, messageOwner, title, kMessageBadOperation, settings.operation.c_str(),
                          MB_ICONERROR | MB_TOPMOST);
      return EndRun(ctx, ERROR_INVALID_PARAMETER);
   }
   if (settings.patch && ctx.adminInstall) {
      // MsiApplyPatch patches installed products; an administrative image is not one.
      Inst_LogMsg("ERROR: An administrative install (/a) cannot apply a patch");
      ShowInstallerError(resources, messageOwner, title, ERROR_INVALID_COMMAND_LINE, MB_ICONERROR);
      return EndRun(ctx, ERROR_INVALID_COMMAND_LINE);
   }
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "RunMsiSession: Windows Installer (msi.dll) is not available");
      return EndRun(ctx, ERROR_INSTALL_SERVICE_FAILURE);
   }

   bool reinstall = InitialReinstall(ctx.toolsStyle, ctx.adminInstall, settings.patch, settings.operation);
   bool uninstallFirst = false;

   std::string packagePath = extractionFolder + settings.database;
   if (settings.database.empty() || !Util_FileExists(packagePath)) {
      ShowMessageWithInsert(resources, messageOwner, title, kMessagePackageMissing, packagePath.c_str(),
                            MB_ICONERROR | MB_TOPMOST);
      return EndRun(ctx, ERROR_FILE_NOT_FOUND);
   }
   if (!ExtractedFile_IsIntact(packagePath)) {
      return EndRun(ctx, ERROR_INSTALL_FAILURE);
   }
   if (settings.cacheMsi && !CachePackage(ctx, settings, packagePath)) {
      return false;
   }

   if (!ctx.toolsStyle) {
      const int refused =
          hooks.verifySignatures != nullptr
              ? (hooks.verifySignatures(hooks.verifyContext, packagePath) ? 0 : 1)
              : VerifyPackageSignature(ctx.modulePath, packagePath, extractionFolder, settings.txiOption, ctx.silent,
                                       resources, title, settings.patch ? PackageKind::Patch : PackageKind::Product);
      Inst_LogMsg("VerifyPackageSignature() returned: %d", refused);
      if (refused != 0) {
         return EndRun(ctx, kSignaturesRefused);
      }
      if (ctx.progressThreadId != 0) {
         PostThreadMessageW(ctx.progressThreadId, kProgressIncrementMessage, 0, kProgressIncrement);
      }
   } else {
      StopProgressThread(ctx);
   }

   if (userCancelled) {
      return EndRun(ctx, ERROR_INSTALL_USEREXIT);
   }
   Inst_LogMsg("Setting Internal UI level to %u", static_cast<unsigned>(ctx.uiLevel));
   api->setInternalUI(static_cast<INSTALLUILEVEL>(ctx.uiLevel), nullptr);
   if (settings.patch) {
      StopProgressThread(ctx);
      return ApplyPatch(ctx, settings, packagePath, reinstall, resources);
   }
   Inst_LogMsg("CommandLine Properties = \"%s\"", settings.properties.value_or(std::string()).c_str());

   std::string installedCode;
   if (reinstall &&
       !DecideExistingProduct(ctx, settings, packagePath, resources, reinstall, uninstallFirst, installedCode)) {
      return false;
   }

   PropertyStringParts parts;
   parts.reinstall = reinstall;
   parts.toolsStyle = ctx.toolsStyle;
   parts.properties = settings.properties;
   parts.adminInstall = ctx.adminInstall;
   parts.adminTargetPath = ctx.adminTargetPath;
   parts.languageProperty = ctx.languageProperty;
   parts.installerArguments = ctx.installerArguments;
   parts.installerProperties = ctx.installerProperties;
   parts.guestOnlyLogging = ctx.guestOnlyLogging;
   PropertyStrings strings = BuildPropertyStrings(parts);

   EnableInstallerLog(ctx, *api);

   const std::string systemFolder = Win32U_GetSystemDirectory();
   if (systemFolder.empty()) {
      const DWORD error = GetLastError();
      Inst_LogMsg("ERROR: Failed to get system directory: %d", static_cast<int>(error));
      return EndRun(ctx, static_cast<int32_t>(error));
   }
   const std::string msiexecPath = systemFolder + "\\msiexec.exe";

   if (uninstallFirst) {
      OlderProductRemoval removal{installedCode, settings.productCode, settings.productName, packagePath, msiexecPath};
      removal.packageInExtractionFolder = ctx.payloadExtracted && !settings.cacheMsi;
      if (!RemoveOlderProduct(ctx, removal, strings, resources, hooks)) {
         return false;
      }
   }
   StopProgressThread(ctx);
   return InstallProduct(ctx, settings, extractionFolder, packagePath, strings.msiCommandLine, resources, hooks);
}

std::string Session_InstallerLogName()
{
   return ChosenInstallerLog().name;
}

void Session_KeepInstallerLog()
{
   InstallerLog& log = ChosenInstallerLog();
   if (log.inside.empty()) {
      return;
   }
   const std::string inside = log.inside;
   log.inside.clear();
   UniqueHandle source(CreateFileW(Win32U_Wide(inside).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
   if (!source) {
      return; // Windows Installer wrote none
   }
   const std::string temp = Win32U_GetTempPath();
   UniqueHandle folder = temp.empty() ? UniqueHandle() : Util_OpenFolder(temp);
   ChildOpen how;
   how.access = GENERIC_WRITE;
   how.disposition = FILE_CREATE; // fails on any name already there, a link included
   PlainFileRefusal refusal = PlainFileRefusal::Failed;
   UniqueHandle kept = folder ? Util_OpenPlainFile(folder.get(), log.name, how, refusal) : UniqueHandle();
   if (!kept && folder) {
      log.name = Util_NameOfOwn(kMsiLogName);
      kept = Util_OpenPlainFile(folder.get(), log.name, how, refusal);
   }
   if (!kept) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Windows Installer's log cannot be kept as %s%s", temp.c_str(),
                           log.name.c_str());
      log.name = kMsiLogName;
      return;
   }
   if (!Util_CopyByHandle(source.get(), kept.get())) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Windows Installer's log could not be copied whole to %s%s",
                           temp.c_str(), log.name.c_str());
   }
}
