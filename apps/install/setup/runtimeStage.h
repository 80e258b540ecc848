// Step 17 of the run: the VC runtime packages, with the installed tools' services and user
// process stopped around them, and the version report (/pv) that stands in for it.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/prerequisites.h"
#include "apps/install/setup/runtimeTable.h"
#include "apps/install/setup/setupContext.h"

// Sends one status line to the host (the main flow's "send a host line"); may be null.
using HostLineSender = void (*)(const char* line);

// The whole step: skipped with /n; ends the run on a failed package or after the version
// report; RestartOffer (exit code 3010) when a package asked for a restart. `extractionFolder`
// ends with a back-slash.
StageResult RunRuntimePackagesStep(SetupContext& ctx, HMODULE module, const RuntimeSettings& settings,
                                   const std::string& extractionFolder, HostLineSender sendHostLine);

// The runtime stage alone: the Windows 11 check of the runtimes it would install, then both
// passes over the runtime table with the tools stopped before and their service started again
// after, however the passes end. Continue or EndRun; ctx.vcRebootNeeded tells of a restart
// request.
StageResult RunRuntimeStage(SetupContext& ctx, HMODULE module, const RuntimeSettings& settings,
                            const std::string& extractionFolder);
