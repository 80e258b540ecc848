#include "lib/install/msiUtil.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

namespace
{

const char kProductsKey[] = "Installer\\Products\\";
const char kClientsValue[] = "Clients";
const char kStandAloneClients[] = ":"; // with its NUL: the 2 bytes of a one-string list ":"
constexpr DWORD kClientsBytes = 260;
constexpr uintptr_t kNarrowPatchFile = 32; // MSIDBOPEN_PATCHFILE of the narrow API
constexpr uintptr_t kLastPredefinedMode = 4;

const MsiApi* testApi = nullptr;

bool BindMsi(MsiApi& api)
{
   HMODULE msi = SysLib_Load(L"msi.dll"); // kept for the life of the process
   return SysLib_Bind(msi, "MsiSetInternalUI", api.setInternalUI) &&
          SysLib_Bind(msi, "MsiSetExternalUIW", api.setExternalUI) &&
          SysLib_Bind(msi, "MsiEnableLogW", api.enableLog) &&
          SysLib_Bind(msi, "MsiQueryProductStateW", api.queryProductState) &&
          SysLib_Bind(msi, "MsiGetProductInfoW", api.getProductInfo) &&
          SysLib_Bind(msi, "MsiConfigureProductExW", api.configureProductEx) &&
          SysLib_Bind(msi, "MsiInstallProductW", api.installProduct) &&
          SysLib_Bind(msi, "MsiApplyPatchW", api.applyPatch) &&
          SysLib_Bind(msi, "MsiOpenDatabaseW", api.openDatabase) &&
          SysLib_Bind(msi, "MsiDatabaseOpenViewW", api.databaseOpenView) &&
          SysLib_Bind(msi, "MsiViewExecute", api.viewExecute) && SysLib_Bind(msi, "MsiViewFetch", api.viewFetch) &&
          SysLib_Bind(msi, "MsiRecordGetStringW", api.recordGetString) &&
          SysLib_Bind(msi, "MsiCloseHandle", api.closeHandle) &&
          SysLib_Bind(msi, "MsiEnumRelatedProductsA", api.enumRelatedProducts);
}

} // namespace

const MsiApi* MsiUtil_Api()
{
   if (testApi != nullptr) {
      return testApi;
   }
   static MsiApi api{};
   static const bool bound = BindMsi(api);
   return bound ? &api : nullptr;
}

void MsiUtil_SetApiForTest(const MsiApi* api)
{
   testApi = api;
}

void MsiHandle::reset()
{
   if (handle_ != 0) {
      if (const MsiApi* api = MsiUtil_Api()) {
         api->closeHandle(handle_);
      }
      handle_ = 0;
   }
}

std::string MsiUtil_ProductRegistrationKey(const std::string& productCode)
{
   char packed[kPackedGuidBytes];
   if (!MsiUtil_PackGuid(productCode, packed, sizeof packed)) {
      return std::string();
   }
   return std::string(kProductsKey) + packed;
}

bool MsiUtil_IsMsiNested(std::string productCode, std::string* parentOut)
{
   Inst_Log(LOG_INFO, "MsiUtil_IsMsiNested: Checking Nested-ness of ProductCode: %s", productCode.c_str());
   if (productCode.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_IsMsiNested: Error in ProductCode");
      return false;
   }
   const std::string key = MsiUtil_ProductRegistrationKey(productCode);
   if (key.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_IsMsiNested: Error munging ProductCode");
      return false;
   }
   if (!Util_DoesKeyExist(HKEY_CLASSES_ROOT, key.c_str(), true)) {
      Inst_Log(LOG_ERROR, "MsiUtil_IsMsiNested: MSI reg info for %s does not exist", key.c_str());
      return false;
   }
   // The first string of the list is all that is read; the bytes past it stay zero.
   char clients[kClientsBytes + 2] = {};
   DWORD size = kClientsBytes;
   if (!Util_GetKeyValueString(HKEY_CLASSES_ROOT, key.c_str(), kClientsValue, clients, &size, true, false)) {
      Inst_Log(LOG_ERROR, "MsiUtil_IsMsiNested: Error getting registry key %s for value %s", key.c_str(),
               kClientsValue);
      return false;
   }
   if (clients[0] == ':') {
      Inst_Log(LOG_ERROR, "MsiUtil_IsMsiNested: MSI reg info for %s indicates it is not nested", productCode.c_str());
      return false;
   }
   if (parentOut != nullptr) {
      *parentOut = clients;
   }
   return true;
}

bool MsiUtil_NestMsi(std::string productCode, std::string parentProductCode)
{
   Inst_Log(LOG_INFO, "MsiUtil_NestMsi: Nesting ProductCode: %s with parent %s", productCode.c_str(),
            parentProductCode.c_str());
   if (productCode.empty() || parentProductCode.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_NestMsi: Error in ProductCode/parentProductCode");
      return false;
   }
   if (MsiUtil_IsMsiNested(productCode)) {
      return false;
   }
   const std::string key = MsiUtil_ProductRegistrationKey(productCode);
   if (key.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_NestMsi: Error munging ProductCode");
      return false;
   }
   if (!Util_DoesKeyExist(HKEY_CLASSES_ROOT, key.c_str(), true)) {
      Inst_Log(LOG_ERROR, "MsiUtil_NestMsi: MSI reg info for %s does not exist", key.c_str());
      return false;
   }
   // parent NUL ";" NUL ";" NUL NUL
   std::string clients = parentProductCode;
   clients.append(1, '\0').append(";").append(1, '\0').append(";").append(2, '\0');
   if (!Util_SetKeyValue(HKEY_CLASSES_ROOT, key.c_str(), kClientsValue, REG_MULTI_SZ, clients.data(),
                         static_cast<DWORD>(clients.size()), REG_OPTION_NON_VOLATILE, true)) {
      Inst_Log(LOG_ERROR, "MsiUtil_NestMsi: Error setting registry key %s for value %s", key.c_str(), kClientsValue);
      return false;
   }
   return true;
}

bool MsiUtil_UnnestMsi(std::string productCode)
{
   if (productCode.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_UnnestMsi: Empty product code");
      return false;
   }
   std::string parent;
   if (!MsiUtil_IsMsiNested(productCode, &parent)) {
      Inst_Log(LOG_INFO, "MsiUtil_UnnestMsi: product code '%s' is not nested.  Nothing to be done.",
               productCode.c_str());
      return true;
   }
   const std::string key = MsiUtil_ProductRegistrationKey(productCode);
   if (key.empty()) {
      Inst_Log(LOG_ERROR, "MsiUtil_UnnestMsi: Failed to munge product code '%s'", productCode.c_str());
      return false;
   }
   if (!Util_DoesKeyExist(HKEY_CLASSES_ROOT, key.c_str(), true)) {
      Inst_Log(LOG_ERROR, "MsiUtil_UnnestMsi: MSI registry info for '%s' does not exist", key.c_str());
      return false;
   }
   if (!Util_SetKeyValue(HKEY_CLASSES_ROOT, key.c_str(), kClientsValue, REG_MULTI_SZ, kStandAloneClients,
                         sizeof kStandAloneClients, REG_OPTION_NON_VOLATILE, true)) {
      Inst_Log(LOG_ERROR, "MsiUtil_UnnestMsi: Failed to write %s\\%s", key.c_str(), kClientsValue);
      return false;
   }
   const std::string sourceList = key + "\\SourceList";
   if (!Util_CreateKey(HKEY_CLASSES_ROOT, sourceList.c_str(), REG_OPTION_NON_VOLATILE, false)) {
      Inst_Log(LOG_ERROR, "MsiUtil_UnnestMsi: Failed to create registry key %s", sourceList.c_str());
      return false;
   }
   Inst_Log(LOG_INFO, "MsiUtil_UnnestMsi: Successfully decoupled %s from parent installer %s", productCode.c_str(),
            parent.c_str());
   return true;
}

UINT MsiUtil_OpenDatabase(const char* path, const char* persist, MSIHANDLE* handleOut)
{
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      return ERROR_INSTALL_SERVICE_FAILURE;
   }
   const auto widePath = Win32U_ToWide(path != nullptr ? path : "");
   if (!widePath) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   const uintptr_t mode = reinterpret_cast<uintptr_t>(persist);
   if ((mode & ~kNarrowPatchFile) <= kLastPredefinedMode) {
      // The patch-file flag is a character offset: 32 in the narrow API, 16 in the wide one.
      const uintptr_t wideMode =
          (mode & ~kNarrowPatchFile) +
          ((mode & kNarrowPatchFile) != 0 ? reinterpret_cast<uintptr_t>(MSIDBOPEN_PATCHFILE) : 0);
      return api->openDatabase(widePath->c_str(), reinterpret_cast<LPCWSTR>(wideMode), handleOut);
   }
   const auto widePersist = Win32U_ToWide(persist);
   if (!widePersist) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   return api->openDatabase(widePath->c_str(), widePersist->c_str(), handleOut);
}

UINT MsiUtil_DatabaseOpenView(MSIHANDLE database, const char* query, MSIHANDLE* viewOut)
{
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      return ERROR_INSTALL_SERVICE_FAILURE;
   }
   const auto wideQuery = Win32U_ToWide(query != nullptr ? query : "");
   if (!wideQuery) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   return api->databaseOpenView(database, wideQuery->c_str(), viewOut);
}

UINT MsiUtil_RecordGetString(MSIHANDLE record, UINT field, char* buffer, DWORD* size)
{
   const MsiApi* api = MsiUtil_Api();
   if (api == nullptr) {
      return ERROR_INSTALL_SERVICE_FAILURE;
   }
   std::vector<wchar_t> wide(static_cast<size_t>(*size) + 1);
   DWORD chars = *size;
   const UINT result = api->recordGetString(record, field, wide.data(), &chars);
   if (result == ERROR_MORE_DATA) {
      *size = chars * 4; // no UTF-16 unit takes more than four bytes of UTF-8
      return ERROR_MORE_DATA;
   }
   if (result != ERROR_SUCCESS) {
      return result;
   }
   const auto text = Win32U_ToUtf8(std::wstring_view(wide.data(), chars));
   if (!text) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   if (buffer == nullptr || text->size() + 1 > *size) {
      *size = static_cast<DWORD>(text->size());
      return ERROR_MORE_DATA;
   }
   memcpy(buffer, text->c_str(), text->size() + 1);
   *size = static_cast<DWORD>(text->size());
   return ERROR_SUCCESS;
}
