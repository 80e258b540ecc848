#include "apps/install/setup/runtimeStage.h"

#include "apps/install/setup/versionReport.h"
#include "lib/install/log.h"
#include "lib/install/processUtil.h"
#include "lib/install/serviceUtil.h"

namespace
{

constexpr UINT kProgressIncrementMessage = 0x800A;
constexpr int kProgressStep = 5;
constexpr int kClosingIncrements = 4;
constexpr DWORD kClosingIncrementPauseMs = 500;

const wchar_t* const toolsServices[] = {L"TXTools", L"TGAuthService", L"txvss"};
constexpr char kToolsService[] = "TXTools";

void PostProgressIncrement(DWORD progressThreadId)
{
   Inst_LogMsg("%s: Incrementing progress by %d.", "wWinMain", kProgressStep);
   if (progressThreadId != 0) {
      PostThreadMessageW(progressThreadId, kProgressIncrementMessage, 0, kProgressStep);
   }
}

void StopTools(SetupContext& ctx)
{
   ctx.toolsServicesStopped = true;
   Inst_LogMsg("Stop TXTools system and user process for VC redistributable package install.");
   if (!Util_StopFilesInUse(sizeof toolsServices / sizeof toolsServices[0], toolsServices)) {
      Inst_LogMsg("Failed to stop TXTools services for VC redistributable install.");
   }
   if (!StopTXToolsUserProcess()) {
      Inst_LogMsg("Failed to stop TXTools user process for VC redistributable install.");
   }
}

// One row's two packages; false when a package failed and the run must end.
bool InstallRowPackages(SetupContext& ctx, HMODULE module, const std::string& extractionFolder, const VcRuntimeRow& row,
                        const RuntimePackages& packages, RuntimePass pass)
{
   const char* kind = pass == RuntimePass::Alternate ? "Alt " : "";
   const struct {
      const std::string& path;
      uint32_t bits;
   } installs[] = {{packages.path32, 32}, {packages.path64, 64}};
   for (const auto& install : installs) {
      if (install.path.empty()) {
         Inst_LogMsg("Skipping VC Redist %s%u-bit installation.", kind, static_cast<unsigned>(install.bits));
         continue;
      }
      bool rebootNeeded = false;
      int32_t exitCode = ctx.exitCode;
      if (!InstallVCRedist(module, ctx, extractionFolder, rebootNeeded, install.path, row.arguments, row.version,
                           install.bits, exitCode)) {
         ctx.exitCode = exitCode;
         return false;
      }
      ctx.vcRebootNeeded = ctx.vcRebootNeeded || rebootNeeded;
      PostProgressIncrement(ctx.progressThreadId);
   }
   return true;
}

// The report stands in for the stage at the first row either pass would install a 64-bit
// package from, as the stage itself would meet it; a row with no 64-bit package has nothing
// to report.
void ReportVersions(SetupContext& ctx, const RuntimeSettings& settings, const std::string& extractionFolder)
{
   for (const RuntimePass pass : {RuntimePass::Configured, RuntimePass::Alternate}) {
      for (const VcRuntimeRow& row : vcRuntimeTable) {
         if (const auto packages = Runtime_PackagesFor(pass, row, settings); packages && !packages->path64.empty()) {
            RunVersionReport(ctx, extractionFolder + packages->path64);
            return;
         }
      }
   }
   // No row matches either version: report that no package can be read rather than go on and
   // install the product.
   RunVersionReport(ctx, extractionFolder);
}

StageResult InstallBothPasses(SetupContext& ctx, HMODULE module, const RuntimeSettings& settings,
                              const std::string& extractionFolder)
{
   for (const RuntimePass pass : {RuntimePass::Configured, RuntimePass::Alternate}) {
      for (const VcRuntimeRow& row : vcRuntimeTable) {
         const auto packages = Runtime_PackagesFor(pass, row, settings);
         if (packages && !InstallRowPackages(ctx, module, extractionFolder, row, *packages, pass)) {
            return StageResult::EndRun;
         }
      }
   }
   return StageResult::Continue;
}

} // namespace

StageResult RunRuntimeStage(SetupContext& ctx, HMODULE module, const RuntimeSettings& settings,
                            const std::string& extractionFolder)
{
   // The report installs nothing, so it leaves the tools running: stopping them here would
   // leave the guest without its tools, as nothing after the report starts them again.
   if (ctx.printVersions) {
      ReportVersions(ctx, settings, extractionFolder);
      return StageResult::EndRun;
   }
   // A system too old for a runtime the stage would install is refused before anything is
   // stopped, so that the refusal leaves the guest's tools as they were.
   int32_t exitCode = ctx.exitCode;
   if (!IsRuntimeWindowsSupported(module, ctx, Runtime_NewestToInstall(settings), exitCode)) {
      ctx.exitCode = exitCode;
      return StageResult::EndRun;
   }
   if (Util_IsProcessRunning(kToolsProcessName)) {
      StopTools(ctx);
   }
   const StageResult result = InstallBothPasses(ctx, module, settings, extractionFolder);
   // Whichever way the stage ends, a failed or refused package included, the tools' service
   // runs again afterwards (the user process is not started again, as after a stage that
   // installed everything).
   if (ctx.toolsServicesStopped && !Util_IsProcessRunning(kToolsProcessName)) {
      Inst_LogMsg("Restart TXTools service after VC redistributable install");
      if (!Inst_StartService(kToolsService)) {
         Inst_LogMsg("Failed to start TXTools service after VC redistributable install.");
      }
   }
   return result;
}

StageResult RunRuntimePackagesStep(SetupContext& ctx, HMODULE module, const RuntimeSettings& settings,
                                   const std::string& extractionFolder, HostLineSender sendHostLine)
{
   if (ctx.noSystemChange) {
      Inst_LogMsg("No system modification specified. Skipping VC Redist installation.");
      return StageResult::Continue;
   }
   if (RunRuntimeStage(ctx, module, settings, extractionFolder) == StageResult::EndRun) {
      return StageResult::EndRun;
   }
   if (ctx.vcRebootNeeded) {
      if (sendHostLine != nullptr) {
         sendHostLine("log Reboot required by VC Redist");
      }
      Inst_LogMsg("Reboot required by VC Redist installation. Setting return code to ERROR_SUCCESS_REBOOT_REQUIRED");
      ctx.exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
      return StageResult::RestartOffer;
   }
   for (int i = 0; i < kClosingIncrements; i++) {
      PostProgressIncrement(ctx.progressThreadId);
      if (ctx.progressThreadId != 0 && i + 1 < kClosingIncrements) {
         Sleep(kClosingIncrementPauseMs);
      }
   }
   return StageResult::Continue;
}
