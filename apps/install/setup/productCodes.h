// Our own products' upgrade codes that change what the launcher does: the desktop hypervisor
// products (repair mode, the Windows 8 gate) and the virtual printers (the virtual machine gate).
#pragma once

#include <string>

struct DesktopProduct {
   const char* upgradeCode;
   const char* name;
};

// Row 0 is the desktop product whose launcher may run the forced repair.
extern const DesktopProduct desktopProductTable[2];
extern const char* const printerUpgradeCodes[2];

// Braced GUID texts compared ignoring case.
bool IsDesktopProductCode(const std::string& code);
bool IsVirtualPrinterCode(const std::string& code);
