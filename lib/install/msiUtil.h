// Windows Installer from the rest of the launcher: the run-time bound entry points of msi.dll,
// the nesting of a product's registration under another product, and UTF-8 twins of the
// database calls.
#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "lib/install/msiGuid.h"

// msi.dll is not a KnownDLL: a static import would be resolved from the application's folder
// before any hardening runs. Every call goes through this table, bound once from the system
// folder.
struct MsiApi {
   decltype(&MsiSetInternalUI) setInternalUI;
   decltype(&MsiSetExternalUIW) setExternalUI;
   decltype(&MsiEnableLogW) enableLog;
   decltype(&MsiQueryProductStateW) queryProductState;
   decltype(&MsiGetProductInfoW) getProductInfo;
   decltype(&MsiConfigureProductExW) configureProductEx;
   decltype(&MsiInstallProductW) installProduct;
   decltype(&MsiApplyPatchW) applyPatch;
   decltype(&MsiOpenDatabaseW) openDatabase;
   decltype(&MsiDatabaseOpenViewW) databaseOpenView;
   decltype(&MsiViewExecute) viewExecute;
   decltype(&MsiViewFetch) viewFetch;
   decltype(&MsiRecordGetStringW) recordGetString;
   decltype(&MsiCloseHandle) closeHandle;
   decltype(&MsiEnumRelatedProductsA) enumRelatedProducts;
};

// Null when msi.dll or one of the entries cannot be had (last error set).
const MsiApi* MsiUtil_Api();
// Tests put a table of their own in front of the bound one (null restores it), for results
// Wine's installer never gives.
void MsiUtil_SetApiForTest(const MsiApi* api);

// An installer handle closed on every return.
class MsiHandle
{
 public:
   MsiHandle() = default;
   explicit MsiHandle(MSIHANDLE handle) : handle_(handle) {}
   MsiHandle(const MsiHandle&) = delete;
   MsiHandle& operator=(const MsiHandle&) = delete;
   ~MsiHandle() { reset(); }
   MSIHANDLE get() const { return handle_; }
   MSIHANDLE* put()
   {
      reset();
      return &handle_;
   }
   void reset();

 private:
   MSIHANDLE handle_ = 0;
};

// Registration key of a product under HKEY_CLASSES_ROOT; empty when the code cannot be packed.
std::string MsiUtil_ProductRegistrationKey(const std::string& productCode);

// True when the product is registered as nested; `parentOut` (optional) then receives the
// parent's product code as the registration names it.
bool MsiUtil_IsMsiNested(std::string productCode, std::string* parentOut = nullptr);
bool MsiUtil_NestMsi(std::string productCode, std::string parentProductCode);
// True when the product is stand-alone afterwards, including when it already was.
bool MsiUtil_UnnestMsi(std::string productCode);

// `persist` is one of the narrow predefined modes (MSIDBOPEN_READONLY ... MSIDBOPEN_CREATEDIRECT,
// optionally with MSIDBOPEN_PATCHFILE) or an output path in UTF-8.
UINT MsiUtil_OpenDatabase(const char* path, const char* persist, MSIHANDLE* handleOut);
UINT MsiUtil_DatabaseOpenView(MSIHANDLE database, const char* query, MSIHANDLE* viewOut);
// `size` is in UTF-8 bytes: in, the buffer's size; out, the text's length without its NUL, or
// on ERROR_MORE_DATA a length that is enough.
UINT MsiUtil_RecordGetString(MSIHANDLE record, UINT field, char* buffer, DWORD* size);
