// Repair mode (/r): the forced clean-up of what an interrupted installation or removal of the
// desktop hypervisor product left behind, so that Windows Installer can install or remove it
// again: its component registrations, its driver's packages in the driver store and the
// bridge's network registration.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/repairRules.h"
#include "apps/install/setup/setupContext.h"

// The configuration values repair mode needs.
struct RepairSettings {
   HMODULE module = nullptr; // the launcher's image: its message catalogue
   std::string upgradeCode;  // UPGRADECODE
   std::string productName;  // PRODUCTNAME
   std::string packagePath;  // extractionFolder followed by TX_DATABASE
};

// The whole repair mode, with its messages (only logged when ctx.silent). Writes the exit code
// into ctx.exitCode and sets ctx.repairRebootNeeded when the machine was changed in a way that
// needs a restart; the caller then goes on to the restart offer, otherwise the run ends.
RepairOutcome RepairInstallInfo(SetupContext& ctx, const RepairSettings& settings);

// Deletes the per-machine registration of every component of the package that still has one.
// False when the package cannot be read or a registration found could not be deleted.
bool FixInterruptedMSIDatabase(const std::string& packagePath, unsigned& removedCount);

// The packed form of a component code that names its registration key: 32 upper-case hex
// digits and a NUL. With a size below 33 nothing is written and the answer is false.
bool BuildMSIDatabaseCmpID(const GUID& guid, char* buffer, size_t size);
