// The Windows Installer session: from the extracted package to the installer's result. It
// checks the operation, finds (and optionally caches) the package, decides between a first
// install, an in-place upgrade and the removal of an older product, builds the property string,
// and installs or patches. Runs on the main thread once per run.
#pragma once

#include <windows.h>

#include <msi.h>

#include <optional>
#include <string>

#include "apps/install/setup/setupContext.h"

// The configuration values the session reads (type-40 resource names in the comments).
struct SessionSettings {
   std::string operation = "DEFAULT";     // OPERATION
   bool patch = false;                    // PATCH
   bool cacheMsi = false;                 // CACHEMSI "1"
   std::string productCode;               // PRODUCTCODE; the package's own code replaces it
   std::string productName;               // PRODUCTNAME
   std::string database;                  // TX_DATABASE, the package file in the extraction folder
   std::optional<std::string> properties; // PROPERTIES
   std::optional<std::string> oldCodes;   // OLDCODES
   bool helperUi = false;                 // HELPER_UI
   bool desktopProduct = false;           // UPGRADECODE is a desktop hypervisor product's code
   std::string txiOption;                 // TXIOPTION: "one" switches the signature questions off
};

// The removal's own window (CExternalUI) and the helper UI (CHelperUI) belong to the user
// interface; the session only calls them (SessionHooksFor fills these from the two objects). A
// window hook left empty is skipped: the removal then runs with the installer's UI switched
// off, as it does at UI level 2.
struct SessionHooks {
   // Empty: the launcher's Authenticode check of its packages (VerifyPackageSignature), which
   // is what the product uses. Tests answer here instead. False refuses the packages (exit
   // code 13). Not called in tools style.
   bool (*verifySignatures)(void* context, const std::string& packagePath) = nullptr;
   void* verifyContext = nullptr;

   // Creates the removal window titled with the product name for the old product's name.
   bool (*createUninstallUi)(void* object, const char* title, const char* oldProductName) = nullptr;
   void (*destroyUninstallUi)(void* object) = nullptr;
   INSTALLUI_HANDLERW uninstallHandler = nullptr;
   void* uninstallObject = nullptr;

   // Registered for progress and information messages around the install when not silent and
   // HELPER_UI is set. The window the package may have opened is closed once the installer
   // returns, whether or not the package closed it.
   INSTALLUI_HANDLERW helperHandler = nullptr;
   void* helperObject = nullptr;
   void (*destroyHelperUi)(void* object) = nullptr;
};

// Runs the session and writes ctx.exitCode, installAttempted, installSucceeded and
// rebootPendingFromUninstall. True when the installer was called for the package (the restart
// offer follows); false when the run ended before that (the exit sequence follows).
// `extractionFolder` ends with a back-slash; `resources` holds the message catalogue.
bool RunMsiSession(SetupContext& ctx, SessionSettings& settings, const std::string& extractionFolder, HMODULE resources,
                   const SessionHooks& hooks);

// Copies the package into the package cache (the common program files folder, then
// "Tessix\TessixToolsInstallerCache"), named after the product code with ".msi", making the
// folder as needed, and gives the copy's path. 0, or the error that stopped it.
DWORD CopyToPackageCache(const std::string& productCode, const std::string& packagePath, std::string& cachedPath);

// The name of Windows Installer's log in the temporary folder: "txmsi.log", or one of the run's
// own when that name was a link or already taken.
std::string Session_InstallerLogName();

// When Windows Installer wrote its log inside the held extraction folder, copies it into the
// temporary folder under a name made new by this call (never through a name someone else made).
// Called before the extraction folder is released.
void Session_KeepInstallerLog();
