// The launcher's entry: one run on the main thread, from library hardening to the exit code.
// Every path, refused or finished, ends in the exit sequence: progress thread stopped, folder
// cleaned, host told, logs archived.
#include <windows.h>

#include <string>

#include "apps/install/setup/adminCheck.h"
#include "apps/install/setup/buildInfo.h"
#include "apps/install/setup/commandLine.h"
#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/dllHardening.h"
#include "apps/install/setup/exitCodes.h"
#include "apps/install/setup/extractionFolder.h"
#include "apps/install/setup/msiSession.h"
#include "apps/install/setup/payload.h"
#include "apps/install/setup/payloadFormat.h"
#include "apps/install/setup/payloadRoom.h"
#include "apps/install/setup/prerequisites.h"
#include "apps/install/setup/productCodes.h"
#include "apps/install/setup/reboot.h"
#include "apps/install/setup/repair.h"
#include "apps/install/setup/runtimeStage.h"
#include "apps/install/setup/runtimeTable.h"
#include "apps/install/setup/sessionHooks.h"
#include "apps/install/setup/setupContext.h"
#include "apps/install/setup/singleInstance.h"
#include "apps/install/setup/ui/externalUI.h"
#include "apps/install/setup/ui/extractCallbacks.h"
#include "apps/install/setup/ui/extractProgress.h"
#include "apps/install/setup/ui/helperUI.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/setupUI.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "lib/rpc/guestLog.h"
#include "lib/rpc/hostRpc.h"
#include "lib/rpc/vmCheck.h"
#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

constexpr size_t kBannerBytes = 1024;

bool IsSuccessExitCode(int32_t code)
{
   return code == ERROR_SUCCESS || code == ERROR_SUCCESS_REBOOT_REQUIRED || code == ERROR_SUCCESS_REBOOT_INITIATED;
}

constexpr DWORD kVersionInfoExBytes = 284;
constexpr DWORD kVersionInfoBytes = 276;
constexpr UINT kProgressIncrementMessage = 0x800A;
constexpr int kProgressStep = 5;
constexpr int kNoPayloadSteps = 15;
constexpr DWORD kNoPayloadPauseMs = 200;
constexpr uint32_t kHostLogLevelForwarding = 5;

const char kTxmLogKey[] = "SOFTWARE\\Tessix, Inc.\\TxmLog";
const char kInstLogName[] = "txinst.log";
const char kVendorKey[] = "SOFTWARE\\Tessix, Inc.";

// Message flags of the main flow's boxes.
constexpr uint32_t kErrorBox = MB_ICONERROR;                                   // 16
constexpr uint32_t kCanceledBox = MB_TOPMOST | MB_ICONWARNING;                 // 0x40030

// The command line as text for the log and the host: invalid UTF-16 is shown, not dropped.
std::string CommandLineText(const std::wstring& raw)
{
   if (auto text = Win32U_ToUtf8(raw)) {
      return *text;
   }
   return "<" + std::to_string(raw.size()) + " characters, not valid UTF-16>";
}

std::string Utf8OrEmpty(const std::optional<std::u16string>& text, bool* ok)
{
   if (!text) {
      return std::string();
   }
   auto utf8 = Unicode_Utf16ToUtf8(*text);
   if (!utf8) {
      *ok = false;
      return std::string();
   }
   return *utf8;
}

class SetupRun
{
 public:
   SetupRun(HINSTANCE instance, const wchar_t* commandLine)
       : instance_(instance), rawCommandLine_(commandLine != nullptr ? commandLine : L"")
   {
   }

   int Run()
   {
      RunSteps();
      return RunExitSequence();
   }

 private:
   // ---- the steps; each returns false when the run ends there ----------------------------------

   void RunSteps()
   {
      HardenLibrarySearch();
      ReadOsFacts();
      TakeSingleInstanceLock();
      if (!anotherInstance_) {
         ArchiveLeftOverLogs();
      }
      if (!PrepareRunState() || !ReadEarlySettings() || !ReadCommandLine() || !ApplyConfigurationGates() ||
          !RefuseAnotherInstanceOrNonAdmin()) {
         return;
      }
      StartProgress();
      if (userCancelled) {
         ShowSetupCanceled(instance_, messageOwner, ctx_.windowTitle.c_str(), kCanceledBox);
         ctx_.exitCode = ExitUserCancelled;
         return;
      }
      ChooseProductLanguage();
      if (!PreparePayload() || ctx_.unpackOnly) {
         return;
      }
      if (ctx_.repairMode) {
         // Step 15: the forced repair instead of an installation; a restart it needs is offered.
         RepairInstallInfo(ctx_, RepairSettings{instance_, config_.upgradeCode, config_.productName,
                                                extractionFolder + config_.database});
         if (ctx_.repairRebootNeeded) {
            restartStarted_ = OfferRestart(ctx_, instance_, config_.productName);
         }
         return;
      }
      const StageResult engine =
          RunEngineStage(ctx_, instance_, EngineSettings{config_.minimumMsi9x, config_.minimumMsiNt, config_.upgrader},
                         extractionFolder);
      if (engine == StageResult::EndRun) {
         return;
      }
      const StageResult runtimes = engine == StageResult::RestartOffer ? engine : RunRuntimes();
      if (runtimes == StageResult::EndRun) {
         return;
      }
      if (runtimes == StageResult::Continue && !RunInstallerSession()) {
         return;
      }
      restartStarted_ = OfferRestart(ctx_, instance_, config_.productName);
   }

   // Step 17: the VC runtime packages (skipped with /n inside the step).
   StageResult RunRuntimes()
   {
      RuntimeSettings settings;
      std::string version;
      if (ReadConfigValueAlloc(instance_, "VCRUNTIME_VER", version, MAX_PATH) == ERROR_SUCCESS) {
         settings.version = Config_LeadingNumber(version);
      }
      std::string versionAlt;
      const DWORD altRead = ReadConfigValueAlloc(instance_, "VCRUNTIME_VER_ALT", versionAlt, MAX_PATH);
      if (altRead == ERROR_SUCCESS) {
         settings.versionAlt = Config_LeadingNumber(versionAlt);
      } else {
         NoteOptionalReadError(altRead);
      }
      settings.runtime32 = config_.vcRuntime32.value_or(std::string());
      settings.runtime64 = config_.vcRuntime64.value_or(std::string());
      settings.runtime32Alt = config_.vcRuntime32Alt.value_or(std::string());
      settings.runtime64Alt = config_.vcRuntime64Alt.value_or(std::string());
      return RunRuntimePackagesStep(ctx_, instance_, settings, extractionFolder,
                                    [](const char* line) { SendRpcToHost(line); });
   }

   // Step 18: the Windows Installer session, with the signature check, the removal window and
   // the helper window wired in.
   bool RunInstallerSession()
   {
      SessionSettings settings;
      settings.operation = config_.operation;
      settings.patch = config_.isPatch;
      settings.cacheMsi = config_.cacheMsi;
      settings.productCode = config_.productCode;
      settings.productName = config_.productName;
      settings.database = config_.database;
      settings.properties = config_.properties;
      settings.oldCodes = config_.oldCodes;
      settings.helperUi = config_.helperUi;
      settings.desktopProduct = IsDesktopProductCode(config_.upgradeCode);

      settings.txiOption = config_.txiOption;
      const SessionHooks hooks = SessionHooksFor(uninstallUi_, helperUi_);
      return RunMsiSession(ctx_, settings, extractionFolder, instance_, hooks);
   }

   // The lock is taken before anything of the run touches a shared file: a second copy of the
   // same product, whatever its file name, would empty the first one's extraction folder and
   // archive or write into its live logs. Such a copy logs into a file of its own, archived as
   // a failed run's, and leaves the Windows Installer log and the host's installer status alone;
   // it is refused at the place of the lock in the run's order of steps.
   void TakeSingleInstanceLock()
   {
      std::string productCode;
      ReadConfigValueUnlogged(instance_, "PRODUCTCODE", productCode);
      anotherInstance_ = !AcquireSingleInstanceLock(ctx_.osVersion.dwMajorVersion, productCode);
      if (anotherInstance_) {
         instLogFile_ = Str_Format("txinst_%lu.log", static_cast<unsigned long>(GetCurrentProcessId()));
         Inst_UseLogFile(instLogFile_.c_str());
      }
   }

   // The logs of an earlier run that never reached its end are archived as failed ones before
   // this run writes its first line: once a line is written the live log is open, and the
   // left-over would take this run's lines and could no longer be archived.
   void ArchiveLeftOverLogs()
   {
      std::string instName;
      std::string msiName;
      ReadConfigValueUnlogged(instance_, "LOG_INST_NAME", instName);
      ReadConfigValueUnlogged(instance_, "LOG_MSI_NAME", msiName);
      Util_ArchiveLogFile(false, kInstLogName, true, OptionalName(instName));
      Util_ArchiveLogFile(false, "txmsi.log", true, OptionalName(msiName));
   }

   bool PrepareRunState()
   {
      activeConfig = &config_;
      silentFlag = &config_.silent;
      ctx_.isAdmin = IsUserAdmin(false, ctx_.osVersion.dwMajorVersion);
      char title[kMessageTextBytes] = "";
      LoadMessage(instance_, MSG_TITLE, title, sizeof title);
      ctx_.windowTitle = title;
      auto modulePath = Win32U_GetModuleFileName(nullptr);
      if (!modulePath) {
         ctx_.exitCode = static_cast<int32_t>(GetLastError());
         return false;
      }
      ctx_.modulePath = *modulePath;
      return true;
   }

   void ReadOsFacts()
   {
      OSVERSIONINFOEXW& v = ctx_.osVersion;
      v = OSVERSIONINFOEXW{};
      v.dwOSVersionInfoSize = kVersionInfoExBytes;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v))) {
         v = OSVERSIONINFOEXW{};
         v.dwOSVersionInfoSize = kVersionInfoBytes;
         GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v));
         v.wServicePackMajor = 0;
      }
#pragma GCC diagnostic pop
      ctx_.isNt5OrLater = v.dwMajorVersion >= 5 && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
      ctx_.isWindows2000 = v.dwMajorVersion == 5 && v.dwMinorVersion == 0;
      ctx_.isPreVista = v.dwMajorVersion < 6;
      ctx_.isPreWindows8 = v.dwMajorVersion < 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion < 2);
   }

   // Steps 3 to 6: host log level, log files, the command-line echo and the install style.
   bool ReadEarlySettings()
   {
      if (VmCheck_LegacyProbe()) {
         SetUpHostLogLevel();
      }
      ReadOptional("LOG_INST_NAME", ctx_.logInstName);
      ReadOptional("LOG_MSI_NAME", ctx_.logMsiName);
      Inst_InitHostLogging(kLauncherLogTag);
      LogOsInfo();

      const std::string commandLine = CommandLineText(rawCommandLine_);
      std::string logCmd;
      if (ReadConfigValueAlloc(instance_, "LOG_CMD", logCmd) != ERROR_SUCCESS) {
         Inst_LogMsg("Setup feature: %s is %s", "LOG_CMD", "enabled");
         Inst_LogMsg("Command line: %s", commandLine.c_str());
      } else {
         ctx_.logCommandLine = Config_LeadingNumber(logCmd) != 0;
         Inst_LogMsg("Setup feature: %s is %s", "LOG_CMD", ctx_.logCommandLine ? "enabled" : "disabled");
         if (ctx_.logCommandLine) {
            Inst_LogMsg("Command line: %s", commandLine.c_str());
         }
      }
      Inst_LogMsg("Installing Tessix Tools %s (%s)", kProductVersion, kBuildText);
      SendRpcToHost(Str_Format("log Command line: %s", commandLine.c_str()).c_str());
      SendRpcToHost(Str_Format("log Installing Tessix Tools %s (%s)", kProductVersion, kBuildText).c_str());

      std::string minorUpgrade;
      const DWORD styleRead =
          ReadConfigValueAlloc(instance_, "MINORUPGRADE", minorUpgrade, 0, ctx_.windowTitle.c_str());
      if (styleRead != ERROR_SUCCESS) {
         // An absent MINORUPGRADE is the standard style, not an error of the run.
         NoteOptionalReadError(styleRead);
      } else {
         ctx_.upgradeSettingPresent = true;
         ctx_.toolsStyle = Config_LeadingNumber(minorUpgrade) != 0;
         if (ctx_.toolsStyle) {
            Inst_LogMsg("Performing Tessix Tools style install/upgrade");
            if (!anotherInstance_) {
               SendRpcToHost("info-set guestinfo.toolsInstallErrCode Invalid");
               SendRpcToHost("toolinstall.installerActive 1");
            }
         } else {
            Inst_LogMsg("Performing standard MSI install/major upgrade");
         }
      }
      if (ctx_.toolsStyle) {
         std::string singleFile;
         const DWORD read = ReadConfigValueAlloc(instance_, "SINGLE_FILE", singleFile, 0, ctx_.windowTitle.c_str());
         if (read != ERROR_SUCCESS) {
            NoteOptionalReadError(read);
         } else {
            ctx_.singleFile = Config_LeadingNumber(singleFile) != 0;
         }
      }
      std::string productRegName;
      ReadConfigValueAlloc(instance_, "PRODUCT_REG_NAME", productRegName);
      return true;
   }

   // Step 3, reached only when the legacy probe finds a virtual machine.
   void SetUpHostLogLevel()
   {
      ctx_.hostLogLevel = static_cast<int>(GuestLog_GetHostLevel());
      if (static_cast<uint32_t>(ctx_.hostLogLevel) < kHostLogLevelForwarding) {
         Util_DeleteKey(HKEY_LOCAL_MACHINE, kTxmLogKey);
      } else {
         if (!Util_CreateKey(HKEY_LOCAL_MACHINE, kVendorKey, REG_OPTION_NON_VOLATILE, true)) {
            Inst_LogMsg("Failed to create registry key: %s", kVendorKey);
         }
         if (!Util_CreateKey(HKEY_LOCAL_MACHINE, kTxmLogKey, REG_OPTION_VOLATILE, true)) {
            Inst_LogMsg("Failed to create registry key: %s", kTxmLogKey);
         }
      }
      Inst_RefreshHostLogging();
      Inst_LogMsg("Log to TXM logging level = %d", ctx_.hostLogLevel);
   }

   // Only memory exhaustion reaches the exit code; an absent optional key does not.
   void NoteOptionalReadError(DWORD error)
   {
      if (error == ERROR_OUTOFMEMORY) {
         ctx_.exitCode = static_cast<int32_t>(error);
      }
   }

   void ReadOptional(const char* key, std::string& value)
   {
      if (ReadConfigValueAlloc(instance_, key, value) != ERROR_SUCCESS) {
         value.clear();
      }
   }

   void LogOsInfo()
   {
      const OSVERSIONINFOEXW& v = ctx_.osVersion;
      Inst_LogMsg("Operating system info:");
      Inst_LogMsg("   Admin install = %s", ctx_.isAdmin ? "TRUE" : "FALSE");
      Inst_LogMsg("   Major version = %d", static_cast<int>(v.dwMajorVersion));
      Inst_LogMsg("   Minor version = %d", static_cast<int>(v.dwMinorVersion));
      Inst_LogMsg("   Service pack  = %d", static_cast<int>(v.wServicePackMajor));
      Inst_LogMsg("   Build number  = %d", static_cast<int>(v.dwBuildNumber));
      Inst_LogMsg("   Bitness       = %d-bit", 64);
      Inst_LogMsg("   Platform      = %s", v.dwPlatformId == VER_PLATFORM_WIN32_NT ? "NT" : "9X");
      Inst_LogMsg("Running from: \"%s\"", ctx_.modulePath.c_str());
   }

   // Step 7.
   bool ReadCommandLine()
   {
      CommandLineOptions options;
      const std::u16string line(rawCommandLine_.begin(), rawCommandLine_.end());
      const DirectoryTest isDirectory = [](const std::u16string& path) {
         const std::wstring wide(path.begin(), path.end());
         const DWORD attributes = GetFileAttributesW(wide.c_str());
         return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      };
      // Only a "/?" outside quotes asks for the usage text: "/v"/qn URL=https://host/?id=1"" does not.
      const bool askedForUsage = AsksForUsage(line);
      CommandLineRefusal refusal;
      const bool accepted = !askedForUsage && ParseCommandLine(line, options, isDirectory, &refusal);
      if (askedForUsage) {
         Inst_LogMsg("Command line asks for the usage text (/?): nothing is installed");
      } else if (!accepted) {
         bool wordOk = true;
         Inst_LogMsg("Command line refused at \"%s\": %s", Utf8OrEmpty(refusal.word, &wordOk).c_str(), refusal.rule);
      }
      // A request for the usage text on a line that asks for silence ("/s /?") is answered in
      // the log: an unattended run never waits for a person.
      ctx_.silent = askedForUsage ? AsksForSilence(line) : options.silent;
      config_.silent = ctx_.silent;
      bool textOk = true;
      ctx_.installerArguments = Utf8OrEmpty(options.installerArguments, &textOk);
      ctx_.msiLogPath = Utf8OrEmpty(options.msiLogPath, &textOk);
      ctx_.installerProperties = Utf8OrEmpty(options.installerProperties, &textOk);
      ctx_.adminTargetPath = Utf8OrEmpty(options.adminTargetPath, &textOk);
      if (!accepted || !textOk) {
         // A refused line, or a request for the usage text, installs nothing: never report 0.
         ctx_.showUsage = true;
         ctx_.exitCode = ExitBadCommandLine;
         return false;
      }
      ctx_.adminInstall = options.adminInstall;
      ctx_.repairMode = options.repairMode;
      ctx_.unpackOnly = options.unpackOnly;
      ctx_.noSystemChange = options.noSystemChange;
      ctx_.guestOnlyLogging = options.guestOnlyLogging;
      ctx_.printVersions = options.printVersions;
      ctx_.uiLevel = static_cast<int>(options.uiLevel);
      ctx_.msiLogMode = options.msiLogMode;

      const std::string& properties = ctx_.installerProperties;
      if (ctx_.guestOnlyLogging || properties.find("LOGMODE=G") != std::string::npos ||
          properties.find("LOGMODE=g") != std::string::npos) {
         Inst_LogMsg("Suppress logging to TXM");
         Util_DeleteKey(HKEY_LOCAL_MACHINE, kTxmLogKey);
         Inst_RefreshHostLogging();
      }
      Inst_LogMsg("Silent installation = %s", ctx_.silent ? "TRUE" : "FALSE");
      ctx_.updateAgent = !rawCommandLine_.empty() && rawCommandLine_.find(L"UPDATEAGENT=Y") != std::wstring::npos;
      ctx_.upgradeAtShutdown = ctx_.toolsStyle && properties.find("UPGRADE_AT_SHUTDOWN=") != std::string::npos;
      Inst_LogMsg("Upgrade at shutdown = %s", ctx_.upgradeAtShutdown ? "TRUE" : "FALSE");
      return true;
   }

   // Step 8: the full configuration, the virtual-printer gate and the operating-system gates.
   bool ApplyConfigurationGates()
   {
      if (!ReadConfiguration(config_, instance_, ctx_.windowTitle.c_str(), true,
                             InstallStyle{ctx_.toolsStyle, ctx_.singleFile})) {
         ctx_.exitCode = ExitBadConfiguration;
         return false;
      }
      config_.silent = ctx_.silent;
      if (IsVirtualPrinterCode(config_.upgradeCode)) {
         Inst_LogMsg("Going to install virtual printer products");
         if (!VmCheck_LegacyProbe()) {
            ShowMessage(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_ONLY_IN_VM, kErrorBox);
            ctx_.exitCode = ExitUnsupportedSystem;
            return false;
         }
      }
      if (!ctx_.isNt5OrLater) {
         Inst_LogMsg("ERROR: This OS is not supported by this product!");
         ShowTaskMessage(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_OS_TOO_OLD_VM, "Windows 2000",
                         TD_ERROR_ICON, 0, TDCBF_OK_BUTTON, IDOK);
         ctx_.exitCode = ExitUnsupportedSystem;
         return false;
      }
      if (IsDesktopProductCode(config_.upgradeCode) && ctx_.isPreWindows8) {
         Inst_LogMsg("ERROR: This OS is not supported by this product!");
         ShowTaskMessage(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_OS_TOO_OLD, "Windows 8", TD_ERROR_ICON,
                         0, TDCBF_OK_BUTTON, IDOK);
         ctx_.exitCode = ExitUnsupportedSystem;
         return false;
      }
      return true;
   }

   // Step 9: the lock itself was taken first thing (TakeSingleInstanceLock).
   bool RefuseAnotherInstanceOrNonAdmin()
   {
      if (!ctx_.silent) {
         const std::string pattern = LoadMessageAlloc(instance_, MSG_PREPARING).value_or(std::string());
         char banner[kBannerBytes] = "";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
         Str_Snprintf(banner, sizeof banner, pattern.c_str(), config_.productName.c_str());
#pragma GCC diagnostic pop
         bannerText_ = banner;
      }
      if (anotherInstance_) {
         Inst_LogMsg("ERROR: Another instance of setup is already running");
         ShowMessage(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_ANOTHER_INSTANCE, kErrorBox);
         ctx_.exitCode = ExitAnotherInstance;
         return false;
      }
      if (!config_.skipAdminCheck && !ctx_.isAdmin) {
         Inst_LogMsg("ERROR: User doesn't have required admin privileges");
         ShowMessage(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_NEED_ADMIN, kErrorBox);
         ctx_.exitCode = ExitNoAdminRights;
         return false;
      }
      return true;
   }

   // Step 10.
   void StartProgress()
   {
      readyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (ctx_.silent || ctx_.printVersions) {
         return;
      }
      uiConfig_ = SetupUiConfig{instance_, config_.languages, ctx_.modulePath};
      progressParams_ = SetupProgressParams{ctx_.windowTitle.c_str(), bannerText_.c_str(), &uiConfig_};
      StartProgressThread(&progressParams_, &ctx_.progressThread, &ctx_.progressThreadId);
   }

   // Step 12.
   void ChooseProductLanguage()
   {
      ctx_.languageProperty = Str_Format("ProductLanguage=%u", ChooseLanguage(config_));
   }

   void PostIncrement(int amount)
   {
      Inst_LogMsg("%s: Incrementing progress by %d.", "wWinMain", amount);
      if (ctx_.progressThreadId != 0) {
         PostThreadMessageW(ctx_.progressThreadId, kProgressIncrementMessage, 0, amount);
      }
   }

   // Step 13.
   bool PreparePayload()
   {
      const uint64_t offset = config_.payloadOffset;
      if (offset == 0) {
         for (int i = 0; i < kNoPayloadSteps; i++) {
            PostIncrement(kProgressStep);
            Sleep(kNoPayloadPauseMs);
         }
         const size_t slash = ctx_.modulePath.rfind('\\');
         if (slash == std::string::npos) {
            ctx_.exitCode = ExitModulePathWithoutFolder;
            return false;
         }
         extractionFolder = ctx_.modulePath.substr(0, slash + 1);
         Inst_LogMsg("Running setup files from \"%s\"", extractionFolder.c_str());
         return true;
      }

      ctx_.payloadExtracted = true;
      ctx_.payloadSize = GetPayloadSize(ctx_.modulePath.c_str(), offset);
      ProgressRecord progress;
      progress.threadId = ctx_.progressThreadId;
      progress.totalBytes = ctx_.payloadSize;
      Inst_LogMsg("Total unpacked size will be %llu MB (%llu bytes)",
                  static_cast<unsigned long long>(Room_Megabytes(ctx_.payloadSize)),
                  static_cast<unsigned long long>(ctx_.payloadSize));
      ctx_.requiredBytes = ComputeRequiredBytes(instance_, ctx_.payloadSize, ctx_.windowTitle.c_str());
      Inst_LogMsg("Total space required to unpack is %llu MB (%llu bytes)",
                  static_cast<unsigned long long>(Room_Megabytes(ctx_.requiredBytes)),
                  static_cast<unsigned long long>(ctx_.requiredBytes));

      const int32_t folderResult =
          SetUpExtractionFolder(ctx_.requiredBytes, ctx_.silent, ctx_.windowTitle.c_str(), instance_);
      if (folderResult != ExitSuccess) {
         ctx_.exitCode = folderResult;
         return false;
      }

      ExtractCallbacks callbacks;
      callbacks.onFile = ExtractFileCallback;
      callbacks.onChunk = ctx_.silent ? nullptr : ExtractProgressCallback;
      callbacks.context = &progress;
      partialPayload_ = true;
      const ExtractResult result =
          ExtractPayload(ctx_.modulePath.c_str(), extractionFolder.c_str(), offset, callbacks, config_.payloadDigests);
      switch (result) {
      case ExtractResult::ExtractOk:
         partialPayload_ = false;
         return true;
      case ExtractResult::ExtractCancelled:
         Inst_LogMsg("User cancelled bootstrapper.");
         ctx_.exitCode = ExitUserCancelled;
         return false;
      case ExtractResult::ExtractSizeMismatch:
      case ExtractResult::ExtractDamaged:
         Inst_LogMsg(result == ExtractResult::ExtractDamaged ? "ERROR: The SFX file is damaged"
                                                             : "ERROR: The SFX file size is incorrect");
         ShowMessageWithText(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_SFX_CORRUPTED,
                             config_.productName.c_str(), kErrorBox);
         ctx_.exitCode = ExitFatal;
         return false;
      default:
         Inst_LogMsg("ERROR: Failed to extract SFX files: %d", static_cast<int>(result));
         ShowMessageWithText(instance_, messageOwner, ctx_.windowTitle.c_str(), MSG_EXTRACT_FAILED,
                             config_.productName.c_str(), kErrorBox);
         ctx_.exitCode = ExitExtractionFailed;
         return false;
      }
   }

   // ---- step 20 -------------------------------------------------------------------------------

   int RunExitSequence()
   {
      StopProgressThread(&ctx_.progressThread, &ctx_.progressThreadId);
      if (readyEvent != nullptr) {
         CloseHandle(readyEvent);
         readyEvent = nullptr;
      }
      SettleRestartExitCode();
      // Unpacking only keeps the files it was asked for, never a partial set left by a cancelled
      // or failed extraction: that would be an incomplete package, and the folder, named after
      // the product, would refuse every later run as not empty.
      const bool keepFiles = ctx_.unpackOnly && !partialPayload_;
      Session_KeepInstallerLog();
      ReleaseExtractionFolder(!ctx_.payloadExtracted || ctx_.rebootPendingFromUninstall || keepFiles);
      if (ctx_.toolsStyle && !anotherInstance_) {
         SendRpcToHost(
             Str_Format("info-set guestinfo.toolsInstallErrCode %u", static_cast<unsigned>(ctx_.exitCode)).c_str());
         SendRpcToHost("toolinstall.installerActive 0");
         if (ctx_.vcRebootNeeded) {
            SendRpcToHost("toolinstall.end 1");
         } else if (!ctx_.installAttempted) {
            SendRpcToHost("toolinstall.end 0");
         }
      }
      if (ctx_.showUsage) {
         ShowUsage(instance_, nullptr, ctx_.windowTitle.c_str());
      }

      Inst_LogMsg("Setup exit code is: %d", static_cast<int>(ctx_.exitCode));
      Util_DeleteKey(HKEY_LOCAL_MACHINE, kTxmLogKey);
      const std::string logName = Inst_GetLogFileName();
      Inst_EndLogging();

      UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
      if (anotherInstance_) {
         // Archived under the usual name, beside the other run's logs, which are not ours.
         Util_ArchiveLogFile(true, instLogFile_.c_str(), false,
                             ctx_.logInstName.empty() ? kInstLogName : ctx_.logInstName.c_str());
         SetErrorMode(previous);
         return ctx_.exitCode;
      }
      // A log is archived as a failed run's exactly when the exit code says the run failed: /x,
      // /pv, a repair and "a newer version is installed" end 0 and are no failures to collectors.
      const bool succeeded = IsSuccessExitCode(ctx_.exitCode);
      Util_ArchiveLogFile(true, logName.c_str(), succeeded,
                          ctx_.logInstName.empty() ? kInstLogName : ctx_.logInstName.c_str());
      SetErrorMode(previous);
      previous = SetErrorMode(SEM_FAILCRITICALERRORS);
      Util_ArchiveLogFile(true, Session_InstallerLogName().c_str(), succeeded,
                          ctx_.logMsiName.empty() ? "txmsi.log" : ctx_.logMsiName.c_str());
      SetErrorMode(previous);
      return ctx_.exitCode;
   }

   // A deployment tool learns of a restart only from the exit code: a run that succeeded but
   // leaves a restart to be done ends with 3010, one whose restart the launcher started with
   // 1641, before the host is told the result.
   void SettleRestartExitCode()
   {
      const int32_t settled = ExitCodeAfterRestartOffer(ctx_.exitCode, RestartNeeded(ctx_), restartStarted_);
      if (settled == ctx_.exitCode) {
         return;
      }
      Inst_LogMsg(settled == ERROR_SUCCESS_REBOOT_INITIATED ? "Setting return code to ERROR_SUCCESS_REBOOT_INITIATED"
                                                            : "Setting return code to ERROR_SUCCESS_REBOOT_REQUIRED");
      ctx_.exitCode = settled;
   }

   static const char* OptionalName(const std::string& value)
   {
      return value.empty() ? nullptr : value.c_str();
   }

   HINSTANCE instance_;
   std::wstring rawCommandLine_;
   SetupContext ctx_;
   SetupConfig config_;
   std::string bannerText_;
   SetupUiConfig uiConfig_;
   SetupProgressParams progressParams_{};
   CExternalUI uninstallUi_{instance_};
   CHelperUI helperUi_{instance_};
   bool partialPayload_ = false;  // an extraction began and did not finish
   bool restartStarted_ = false;  // Windows took the launcher's request to restart
   bool anotherInstance_ = false; // another copy of this launcher or product holds the lock
   std::string instLogFile_;      // this run's own log file when another run owns "txinst.log"
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR commandLine, int /*show*/)
{
   SetupRun run(instance, commandLine);
   return run.Run();
}
