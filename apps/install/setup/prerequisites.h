// What must be on the machine before the product package is touched: a recent enough Windows
// Installer engine (upgraded from the payload when it is not) and the VC runtime packages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "apps/install/setup/setupContext.h"

// What a stage tells the main flow to do next.
enum class StageResult : int {
   Continue = 0,     // go on with the next step
   EndRun = 1,       // go to the exit sequence with ctx.exitCode as it stands
   RestartOffer = 2, // skip the installer session and go to the restart offer
};

// The engine settings of the configuration: MINIMUM_9X_MSI and MINIMUM_NT_MSI (the engine
// version times 100) and the upgrader's file name inside the extraction folder, if any.
struct EngineSettings {
   uint32_t minimumMsi9x = 0;
   uint32_t minimumMsiNt = 0;
   std::optional<std::string> upgrader;
};

// Windows 10.0 with at least this build number.
bool IsWindowsBuildAtLeast(DWORD build);

// True when the system's msi.dll is older than `minimum` (or cannot be examined).
bool IsMsiUpgradeNecessary(uint32_t minimum);

// Runs the engine upgrader `upgraderName` from `folder` after checking that it is there and is
// recent enough. Returns 0, 3010 or 1641 from the upgrader, or the error that stopped it (each
// shown to the user first).
DWORD IsInstMsiRequiredVersion(HMODULE module, HWND owner, const char* title, const std::string& folder,
                               const std::string& upgraderName, uint32_t minimum, uint32_t minimumMsiNt);

// Runs the upgrader with a visible window, keeping the launcher's own windows responsive, and
// returns its exit code (or the Windows error that kept it from running).
DWORD ExecuteUpgradeMsi(const std::string& upgraderPath, uint32_t minimumMsiNt);

// Step 16 of the run: the engine gate, and the upgrade when the engine is too old.
StageResult RunEngineStage(SetupContext& ctx, HMODULE module, const EngineSettings& engine,
                           const std::string& extractionFolder);

// The runtimes from version 14 on need Windows 11 (build 22000). False after the refusal (logged,
// message 62 shown, `exitCode` 15613); true for older runtimes or a system that has the build.
bool IsRuntimeWindowsSupported(HMODULE module, const SetupContext& ctx, uint32_t version, int32_t& exitCode);

// Installs one VC runtime package, `installerPath` relative to `extractionFolder` (which ends
// with a back-slash). True to go on (installed, already present, or no such file in the
// payload); false to end the run with `exitCode`.
bool InstallVCRedist(HMODULE module, const SetupContext& ctx, const std::string& extractionFolder, bool& rebootNeeded,
                     const std::string& installerPath, const char* arguments, uint32_t version, uint32_t bits,
                     int32_t& exitCode);
