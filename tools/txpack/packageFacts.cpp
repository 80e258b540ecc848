#include "tools/txpack/packageFacts.h"

#include <windows.h>

#include "apps/install/setup/existingProduct.h"
#include "apps/install/setup/fileSummary.h"
#include "apps/install/setup/signature.h"
#include "lib/install/msiGuid.h"
#include "lib/install/msiUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "tools/txpack/packFiles.h"
#include "tools/txpack/trust.h"

namespace
{

constexpr DWORD kPropertyBytes = 256;
constexpr PROPID kTemplateProperty = 7; // PIDSI_TEMPLATE: a patch's target product codes
const char kPackageSuffix[] = ".msi";

std::string InstallerErrorText(UINT code)
{
   return Str_Format("error %u (%s)", code, Win32U_FormatMessage(code, 0).c_str());
}

// Reads one property; false with `problem` when the package cannot be read, true with an empty
// `value` when it has no such property.
bool ReadProperty(MSIHANDLE database, const char* name, std::string& value, std::string& problem)
{
   char text[kPropertyBytes] = "";
   DWORD size = sizeof text;
   const UINT result = GetMsiProperty(database, name, text, &size);
   value.clear();
   if (result == ERROR_NO_MORE_ITEMS) {
      return true;
   }
   if (result != ERROR_SUCCESS) {
      problem = std::string("its ") + name + " cannot be read: " + InstallerErrorText(result);
      return false;
   }
   value = text;
   return true;
}

void ReadProduct(const std::string& path, PackageFacts& facts)
{
   MsiHandle database;
   const UINT opened = MsiUtil_OpenDatabase(path.c_str(), nullptr /* read-only */, database.put());
   if (opened != ERROR_SUCCESS) {
      facts.unreadable = "it cannot be opened as an installer database: " + InstallerErrorText(opened);
      return;
   }
   std::string upgradeCode;
   if (ReadProperty(database.get(), "ProductCode", facts.productCode, facts.unreadable) &&
       ReadProperty(database.get(), "UpgradeCode", upgradeCode, facts.unreadable) && !upgradeCode.empty()) {
      facts.upgradeCode = upgradeCode;
   }
}

// A patch names the products it applies to in its summary information's template property,
// separated by ";".
void ReadPatch(const std::string& path, PackageFacts& facts)
{
   FileSummary summary;
   const HRESULT read = summary.Read(path.c_str());
   if (FAILED(read)) {
      facts.unreadable =
          Str_Format("its summary information cannot be read: 0x%08lX", static_cast<unsigned long>(read));
      return;
   }
   const std::string& targets = summary.Get(kTemplateProperty);
   for (size_t start = 0; start <= targets.size();) {
      const size_t end = std::min(targets.find(';', start), targets.size());
      const std::string code = targets.substr(start, end - start);
      if (MsiUtil_IsBracedGuid(code)) {
         facts.targets.push_back(code);
      }
      start = end + 1;
   }
}

bool EndsWithNoCase(const std::string& text, const std::string& end)
{
   return text.size() >= end.size() && Str_EqualsNoCase(text.substr(text.size() - end.size()), end);
}

} // namespace

PayloadFacts Pack_ReadPayloadFacts(const std::vector<PackSetting>& settings, const std::vector<PayloadPath>& files)
{
   PayloadFacts facts;
   const auto key = Pack_PackageSetting(settings);
   for (const PayloadPath& file : files) {
      const bool isPackage = key && Str_EqualsNoCase(key->value, file.name);
      const std::string path = Pack_UsablePath(file.path);
      if (isPackage && !facts.package) {
         PackageFacts package;
         package.name = file.name;
         package.patch = key->key == "PATCH";
         (package.patch ? ReadPatch : ReadProduct)(path, package);
         facts.package = package;
      }
      // The files the launcher examines: its package, and every *.msi that names the vendor.
      if (!Pack_RefusesUnsignedPackages(settings) ||
          !(isPackage || (EndsWithNoCase(file.name, kPackageSuffix) &&
                          (IsVendorAppFromVersionInfo(kSignatureVendor, path.c_str()) ||
                           IsVendorAppFromSummaryInfo(kSignatureVendor, path.c_str()))))) {
         continue;
      }
      const FileTrust trust = Pack_CheckTrust(path);
      if (trust.result != SignatureCheckResult::Trusted) {
         facts.unsignedPackages.push_back({file.name, Pack_TrustProblem(trust)});
      }
   }
   return facts;
}
