// The property strings handed to Windows Installer: the install's, the one the RunOnce command
// carries across a restart, and the removal's. Pure code.
#pragma once

#include <optional>
#include <string>
#include <string_view>

constexpr char kReinstallBase[] = "REINSTALL=ALL REINSTALLMODE=vomus";
constexpr char kPatchReinstallBase[] = "REINSTALL=ALL REINSTALLMODE=omus";
constexpr char kUpgradeInstallProperty[] = " TX_UPGRADE_INSTALL=1";

struct PropertyStringParts {
   bool reinstall = false;
   bool toolsStyle = false;
   std::optional<std::string> properties; // PROPERTIES; absent and empty differ outside tools style
   bool adminInstall = false;
   std::string adminTargetPath;
   std::string languageProperty;    // "ProductLanguage=1033", or empty
   std::string installerArguments;  // the whole /v text
   std::string installerProperties; // the /v text without its /q and /l switches
   bool guestOnlyLogging = false;
};

struct PropertyStrings {
   std::string msiCommandLine;       // for MsiInstallProductW
   std::string reinstallCommandLine; // for the RunOnce command
};

PropertyStrings BuildPropertyStrings(const PropertyStringParts& parts);

// " TX_UPGRADE_UNINSTALL=1 " and the language part.
std::string BuildUninstallProperties(std::string_view languageProperty);

// msiexec /i "package" properties
std::string BuildReinstallCommand(std::string_view msiexecPath, std::string_view packagePath,
                                  std::string_view reinstallCommandLine);
