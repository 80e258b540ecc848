// The decisions of the Windows Installer session that need no system call: which operation a
// package allows, the first guess at a reinstall, the list of older product codes, and which
// installer results the launcher reports itself. Pure code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ExistingProductState : int {
   Unknown = 0,             // neither the package's code nor an older code is installed
   Older = 1,               // an older version of the code, or an older code, is installed
   Same = 2,                // the installed version equals the package's
   Newer = 3,               // the installed version is newer than the package's
   MinorUpgradeInPlace = 4, // the same code in an older version, upgraded in place
};

const char* ExistingProductStateName(ExistingProductState state);

// OPERATION against the package kind, ignoring case.
bool IsOperationValid(bool patch, std::string_view operation);

// An administrative install never reinstalls: it writes an image and leaves installed products
// alone, whatever the style.
bool InitialReinstall(bool toolsStyle, bool adminInstall, bool patch, std::string_view operation);

// What the session does about what is installed: install with the reinstall properties (an
// in-place upgrade or reinstall), remove the older product first, or end the run because a
// newer version is installed.
struct ExistingProductPlan {
   bool reinstall = false;
   bool uninstallFirst = false;
   bool newerInstalled = false;
};

// With OLDCODES the state decides as the upgrade rules of the configuration say. Without it
// the check only guards the reinstall: the reinstall properties on a product that is not
// installed would install nothing, so that gets a first install; any other installed version
// is reinstalled in place (a newer one is still refused).
ExistingProductPlan PlanForExistingProduct(ExistingProductState state, bool oldCodesSet, bool upgradeSettingPresent);

// The state of an older installed version. The package's own product code is upgraded in place
// (MinorUpgradeInPlace) unless the configuration has older products removed first (no
// MINORUPGRADE resource, with OLDCODES): Windows Installer refuses a first install of a changed
// package over its own installed code (1638), and no upgrade table removes a product that
// carries the package's own code. Another product (of OLDCODES) stays Older.
ExistingProductState OlderVersionState(bool ownCode, bool oldCodesSet, bool upgradeSettingPresent);

// OLDCODES: product codes separated by ";", blanks around each ignored, empty entries dropped.
std::vector<std::string> SplitOldCodes(std::string_view oldCodes);

// Results the installer has already told the user about, or that are no failure.
bool IsInstallerErrorSilent(uint32_t code);
// The code whose text is shown: a missing or unreadable package file reads as "cannot open".
uint32_t InstallerErrorShownCode(uint32_t code);
