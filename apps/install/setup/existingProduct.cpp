#include "apps/install/setup/existingProduct.h"

#include "apps/install/setup/productVersion.h"
#include "lib/install/log.h"
#include "lib/install/msiUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

constexpr DWORD kVersionChars = 256;

} // namespace

UINT GetMsiProperty(MSIHANDLE database, const char* propertyName, char* buffer, DWORD* size)
{
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      return ERROR_INSTALL_SERVICE_FAILURE;
   }
   const std::string query = Str_Format("SELECT `Value` FROM `Property` WHERE `Property`='%s'", propertyName);
   MsiHandle view;
   UINT result = MsiUtil_DatabaseOpenView(database, query.c_str(), view.put());
   if (result != ERROR_SUCCESS) {
      return result;
   }
   result = api->viewExecute(view.get(), 0);
   if (result != ERROR_SUCCESS) {
      return result;
   }
   MsiHandle record;
   result = api->viewFetch(view.get(), record.put());
   if (result != ERROR_SUCCESS) {
      return result;
   }
   return MsiUtil_RecordGetString(record.get(), 1, buffer, size);
}

bool IsProductInstalled(const std::string& productCode)
{
   const MsiApi* api = MsiUtil_Api();
   const auto code = Win32U_ToWide(productCode);
   if (api == nullptr || !code) {
      return false;
   }
   const INSTALLSTATE state = api->queryProductState(code->c_str());
   return state == INSTALLSTATE_DEFAULT || state == INSTALLSTATE_ADVERTISED;
}

UINT CheckExistingProduct(const ExistingProductQuery& query, std::string& installedCode, ExistingProductState& state)
{
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      return ERROR_INSTALL_SERVICE_FAILURE;
   }
   installedCode.clear();
   state = ExistingProductState::Unknown;
   std::string foundCode;

   Inst_LogMsg("Checking for existing product %s", query.newProductCode.c_str());
   if (!IsProductInstalled(query.newProductCode)) {
      for (const std::string& oldCode : query.oldCodes) {
         Inst_LogMsg("Checking for existing product %s", oldCode.c_str());
         if (IsProductInstalled(oldCode)) {
            Inst_LogMsg("Found existing product %s", oldCode.c_str());
            foundCode = oldCode;
            state = ExistingProductState::Older;
            break;
         }
      }
      if (foundCode.empty()) {
         Inst_LogMsg("No existing products found");
         return ERROR_SUCCESS;
      }
   } else {
      wchar_t version[kVersionChars] = L"";
      DWORD chars = kVersionChars;
      const UINT result = api->getProductInfo(Win32U_Wide(query.newProductCode).c_str(), INSTALLPROPERTY_VERSIONSTRING,
                                              version, &chars);
      if (result != ERROR_SUCCESS) {
         Inst_LogMsg("ERROR: Can't get version for installed product %s (%d)", query.newProductCode.c_str(),
                     static_cast<int>(result));
         return result;
      }
      const std::string installedVersion = Win32U_ToUtf8(version).value_or(std::string());
      Inst_LogMsg("Found existing product %s with version %s", query.newProductCode.c_str(), installedVersion.c_str());
      Inst_LogMsg("New product version number is %s", query.newVersion.c_str());
      const int order = CompareProductVersions(installedVersion, query.newVersion);
      if (order < 0) {
         Inst_LogMsg("Existing product version is older");
         state = ExistingProductState::Older;
         foundCode = query.newProductCode;
      } else if (order > 0) {
         Inst_LogMsg("Existing product version is newer");
         state = ExistingProductState::Newer;
      } else {
         Inst_LogMsg("Existing product version is the same");
         state = ExistingProductState::Same;
      }
   }

   if (state == ExistingProductState::Older) {
      state = OlderVersionState(Str_EqualsNoCase(foundCode, query.newProductCode), query.oldCodesSet,
                                query.upgradeSettingPresent);
      if (state == ExistingProductState::Older) {
         installedCode = foundCode;
         Inst_LogMsg("Will %s %s", query.upgradeSettingPresent ? "upgrade" : "uninstall", installedCode.c_str());
      }
   }
   return ERROR_SUCCESS;
}
