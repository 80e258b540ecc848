// What the package is and what of it is installed already: the package's own properties and
// the installed version of its product (or of an older product it replaces).
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>
#include <vector>

#include "apps/install/setup/sessionRules.h"

// Field 1 of the Property table's row `propertyName`, into `buffer` (UTF-8; `size` in bytes as
// MsiUtil_RecordGetString has it). 0 or a Windows Installer error; 259 when there is no row.
UINT GetMsiProperty(MSIHANDLE database, const char* propertyName, char* buffer, DWORD* size);

struct ExistingProductQuery {
   std::string newProductCode;
   std::string newVersion;
   std::vector<std::string> oldCodes; // older products that count as installed versions
   bool oldCodesSet = false;          // the OLDCODES resource is present
   bool upgradeSettingPresent = false;
};

// 0 or a Windows Installer error. `installedCode` is set for the state Older only.
UINT CheckExistingProduct(const ExistingProductQuery& query, std::string& installedCode, ExistingProductState& state);

// Installed or advertised, as Windows Installer reports it.
bool IsProductInstalled(const std::string& productCode);
