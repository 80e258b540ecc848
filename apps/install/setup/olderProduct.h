// Removal of an older product before the install: asked, remembered across a restart by a
// RunOnce command, decoupled from a parent product, and with two shared libraries of earlier
// releases kept safe.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/msiSession.h"
#include "apps/install/setup/propertyString.h"

struct OlderProductRemoval {
   std::string installedCode; // the product to remove
   std::string productCode;   // the package's code: names the RunOnce value
   std::string productName;   // PRODUCTNAME
   std::string packagePath;
   std::string msiexecPath;
   bool packageInExtractionFolder = false; // deleted with the folder at the end of the run
};

// Removes the older product. " TX_UPGRADE_INSTALL=1" is appended to both property strings
// first. True when the install follows; otherwise ctx.exitCode says why the run ends.
bool RemoveOlderProduct(SetupContext& ctx, const OlderProductRemoval& removal, PropertyStrings& strings,
                        HMODULE resources, const SessionHooks& hooks);

// The product codes of earlier releases whose removal takes msvcp71.dll and atl71.dll along.
extern const char* const kLibraryProtectionCodes[2];
