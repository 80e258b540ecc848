#include "apps/install/setup/productCodes.h"

#include "lib/string/str.h"

const DesktopProduct desktopProductTable[2] = {
   {"{6A3E1F5C-8B2D-4C7E-9F10-2D4B6A8C0E13}", "Tessix Studio"},
   {"{B74C2E91-5D3A-4F68-A1B2-C3D4E5F60718}", "Tessix Viewer"},
};

const char* const printerUpgradeCodes[2] = {
   "{3F9D6B2A-1C4E-4A7B-8D5F-6E7A8B9C0D21}",
   "{C81A4D3E-7F2B-4E6C-9A0D-1B2C3D4E5F62}",
};

bool IsDesktopProductCode(const std::string& code)
{
   for (const DesktopProduct& row : desktopProductTable) {
      if (Str_EqualsNoCase(code, row.upgradeCode)) {
         return true;
      }
   }
   return false;
}

bool IsVirtualPrinterCode(const std::string& code)
{
   for (const char* printer : printerUpgradeCodes) {
      if (Str_EqualsNoCase(code, printer)) {
         return true;
      }
   }
   return false;
}
