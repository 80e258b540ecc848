#include "apps/install/setup/signature.h"

#include <softpub.h>

#include <vector>

#include "apps/install/setup/fileSummary.h"
#include "apps/install/setup/fileVersion.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr const char* kVersionNames[] = {"CompanyName", "ProductName", "FileDescription"};
constexpr PROPID kSummaryVendorFields[] = {PIDSI_AUTHOR, PIDSI_APPNAME, PIDSI_TITLE, PIDSI_SUBJECT};

struct FolderListing {
   std::vector<std::string> names;
   bool failed = false;
   bool full = false; // kMaxListedPackages names were taken and the search stopped there
};

// The "*.msi" files directly in the folder; directories are skipped. A name that is not valid
// UTF-16 cannot be the package (whose path the caller formed from UTF-8), so it is passed over.
FolderListing ListPackages(const std::string& folder)
{
   FolderListing listing;
   std::string pattern = folder;
   if (pattern.empty() || pattern.back() != '\\') {
      pattern += '\\';
   }
   pattern += "*.msi";
   Win32U_FindData data{};
   UniqueFindHandle find(Win32U_FindFirstFileEx(pattern.c_str(), &data));
   if (!find) {
      listing.failed = GetLastError() != ERROR_FILE_NOT_FOUND;
      return listing;
   }
   do {
      if (data.attributes & FILE_ATTRIBUTE_DIRECTORY) {
         continue;
      }
      if (!data.nameConverted) {
         Inst_LogMsg("VerifyPackageSignature: Passing over a file in %s whose name is not valid UTF-16",
                     folder.c_str());
         continue;
      }
      if (listing.names.size() == kMaxListedPackages) {
         listing.full = true;
         break;
      }
      listing.names.push_back(data.fileName);
   } while (Win32U_FindNextFile(find.get(), &data));
   return listing;
}

void LogResult(const char* path, SignatureCheckResult result)
{
   switch (result) {
   case SignatureCheckResult::WintrustNotOnMachine:
   case SignatureCheckResult::InvalidArg:
      Inst_LogMsg("VerifyPackageSignature: WintrustNotOnMachine or InvalidArg when calling %s", path);
      break;
   case SignatureCheckResult::NoSignatureFound:
      Inst_LogMsg("VerifyPackageSignature: %s - NoSignatureFound", path);
      break;
   case SignatureCheckResult::NotTrusted:
      Inst_LogMsg("VerifyPackageSignature: %s - NotTrusted", path);
      break;
   case SignatureCheckResult::Trusted:
      Inst_LogMsg("VerifyPackageSignature: %s - Trusted", path);
      break;
   }
}

bool SameCertificate(const UniqueCertContext& a, const UniqueCertContext& b)
{
   const auto compare = SigLib_Crypt32().compareCertificate;
   return compare != nullptr && compare(kCertificateEncoding, a.get()->pCertInfo, b.get()->pCertInfo);
}

class Verification
{
 public:
   Verification(const WintrustApi& wintrust, const std::string& option, bool silent, HMODULE module, const char* title)
       : wintrust_(wintrust), rules_(Signature_AnswerRules(option, silent)), module_(module), title_(title)
   {
   }

   SignatureAnswer Run(const std::string& selfPath, const std::string& packagePath, const std::string& extractionFolder,
                       PackageKind kind);

 private:
   SignatureAnswer Ask(unsigned message) const
   {
      return Decide(rules_,
                    [&] { return ShowMessage(module_, messageOwner, title_, message, MB_YESNO | MB_ICONQUESTION); });
   }
   SignatureCheckResult Examine(const std::string& path, const std::wstring& widePath,
                                UniqueCertContext* certificate) const
   {
      const SignatureCheckResult result = CheckFileTrustWith(wintrust_, widePath.c_str(), certificate);
      Inst_LogMsg("VerifyPackageSignature: Examining \"%s\": %d", path.c_str(), static_cast<int>(result));
      LogResult(path.c_str(), result);
      return result;
   }
   bool ExaminePackage(const ListedPackage& package, const std::string& selfPath,
                       const UniqueCertContext& selfCertificate) const;

   const WintrustApi& wintrust_;
   const AnswerRules rules_;
   const HMODULE module_;
   const char* const title_;
};

SignatureAnswer Verification::Run(const std::string& selfPath, const std::string& packagePath,
                                  const std::string& extractionFolder, PackageKind kind)
{
   const auto wideSelf = Win32U_ToWide(selfPath);
   if (!wideSelf) {
      Inst_LogMsg("VerifyPackageSignature: Failed to convert %s to wide char", selfPath.c_str());
      return SignatureAnswer::Refuse;
   }
   UniqueCertContext selfCertificate;
   const SignatureCheckResult selfResult = Examine(selfPath, *wideSelf, &selfCertificate);
   // Without a sound signature of its own the launcher has no publisher to compare the packages
   // with: the answer to its own finding is the answer of the whole check.
   if (selfResult != SignatureCheckResult::Trusted && !rules_.option.set) {
      return Ask(Signature_MessageFor(selfResult));
   }

   const FolderListing listing = ListPackages(extractionFolder);
   if (listing.failed) {
      Inst_LogMsg("VerifyPackageSignature: Error searching .msi files");
      if (Ask(kMsgPackagesNotFound) == SignatureAnswer::Refuse) {
         return SignatureAnswer::Refuse;
      }
   }
   if (listing.full) {
      Inst_LogMsg("WARNING: Verify: Get than %d .msi files to process", static_cast<int>(kMaxListedPackages));
   }
   if (listing.names.empty()) {
      Inst_LogMsg("VerifyPackageSignature: Can't find any .msi files");
      // A patch comes without a product package; it is examined on its own below.
      if (kind != PackageKind::Patch || packagePath.empty()) {
         return Ask(kMsgPackagesNotFound);
      }
   }

   for (const ListedPackage& package : Signature_PackageList(extractionFolder, listing.names, packagePath)) {
      if (!ExaminePackage(package, selfPath, selfCertificate)) {
         return SignatureAnswer::Refuse;
      }
   }
   return SignatureAnswer::GoOn;
}

// True when the check goes on with the next file. A Yes to a package's finding goes on with the
// next one too, so that accepting one file never waives the check of the others.
bool Verification::ExaminePackage(const ListedPackage& package, const std::string& selfPath,
                                  const UniqueCertContext& selfCertificate) const
{
   const char* path = package.path.c_str();
   Inst_LogMsg("VerifyPackageSignature: Verifying %s", path);
   const bool vendor =
       IsVendorAppFromVersionInfo(kSignatureVendor, path) || IsVendorAppFromSummaryInfo(kSignatureVendor, path);
   if (vendor) {
      Inst_LogMsg("VerifyPackageSignature: %s is Tessix's App - continue verification", path);
   } else if (package.isPackage) {
      // Its summary information is whatever its author wrote: a package that hides the vendor's
      // name must not escape the check that would find it unsigned.
      Inst_LogMsg("VerifyPackageSignature: %s is the package to install - continue verification", path);
   } else {
      Inst_LogMsg("VerifyPackageSignature: %s is not a Tessix's App - skipping", path);
      return true;
   }

   const auto goesOnAfter = [this](unsigned message) { return Ask(message) == SignatureAnswer::GoOn; };
   const auto widePath = Win32U_ToWide(package.path);
   if (!widePath) {
      Inst_LogMsg("VerifyPackageSignature: Failed to convert %s to wide char", path);
      return goesOnAfter(kMsgNotVerified);
   }
   UniqueCertContext certificate;
   const SignatureCheckResult result = Examine(package.path, *widePath, &certificate);
   if (result != SignatureCheckResult::Trusted && !rules_.option.set) {
      return goesOnAfter(Signature_MessageFor(result));
   }
   if (!selfCertificate || !certificate) {
      Inst_LogMsg("VerifyPackageSignature: Unable to retrieve at least one of the certificates");
      return goesOnAfter(kMsgNotVerified);
   }
   if (!SameCertificate(selfCertificate, certificate)) {
      Inst_LogMsg("VerifyPackageSignature: %s-%s certificates are different", selfPath.c_str(), path);
      return goesOnAfter(kMsgDifferentPublishers);
   }
   return true;
}

} // namespace

SignatureCheckResult CheckFileTrustWith(const WintrustApi& wintrust, const wchar_t* path,
                                        UniqueCertContext* certificate)
{
   if (certificate == nullptr) {
      return SignatureCheckResult::InvalidArg;
   }
   certificate->reset();
   if (wintrust.winVerifyTrust == nullptr) {
      Inst_LogMsg("CheckFileTrust: WinVerifyTrust is not available");
      return SignatureCheckResult::WintrustNotOnMachine;
   }

   WINTRUST_FILE_INFO file{};
   file.cbStruct = sizeof file;
   file.pcwszFilePath = path;
   WINTRUST_DATA data{};
   data.cbStruct = sizeof data;
   data.dwUIChoice = WTD_UI_NONE;
   data.fdwRevocationChecks = WTD_REVOKE_NONE;
   data.dwUnionChoice = WTD_CHOICE_FILE;
   data.pFile = &file;
   data.dwStateAction = WTD_STATEACTION_VERIFY;
   GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
   const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);

   const LONG status = wintrust.winVerifyTrust(noWindow, &action, &data);
   Inst_LogMsg("CheckFileTrust: WinVerifyTrust returned 0x%08X", static_cast<unsigned>(status));
   const SignatureCheckResult result = Signature_ResultFromStatus(status);
   if (result == SignatureCheckResult::Trusted && wintrust.provDataFromStateData != nullptr &&
       wintrust.provSignerFromChain != nullptr && wintrust.provCertFromChain != nullptr) {
      CRYPT_PROVIDER_DATA* provider = wintrust.provDataFromStateData(data.hWVTStateData);
      CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? wintrust.provSignerFromChain(provider, 0, FALSE, 0) : nullptr;
      CRYPT_PROVIDER_CERT* signerCertificate = signer != nullptr ? wintrust.provCertFromChain(signer, 0) : nullptr;
      const auto duplicate = SigLib_Crypt32().duplicateCertificate;
      if (signerCertificate != nullptr && signerCertificate->pCert != nullptr && duplicate != nullptr) {
         certificate->reset(duplicate(signerCertificate->pCert));
      }
   }
   // The state is released whatever the verdict: a failed verification may hold it too.
   data.dwStateAction = WTD_STATEACTION_CLOSE;
   wintrust.winVerifyTrust(noWindow, &action, &data);
   return result;
}

SignatureCheckResult CheckFileTrust(const wchar_t* path, UniqueCertContext* certificate)
{
   return CheckFileTrustWith(SigLib_Wintrust(), path, certificate);
}

int VerifyPackageSignatureWith(const WintrustApi& wintrust, const std::string& selfPath, const std::string& packagePath,
                               const std::string& extractionFolder, const std::string& option, bool silent,
                               HMODULE module, const char* title, PackageKind kind)
{
   Verification verification(wintrust, option, silent, module, title);
   return static_cast<int>(verification.Run(selfPath, packagePath, extractionFolder, kind));
}

int VerifyPackageSignature(const std::string& selfPath, const std::string& packagePath,
                           const std::string& extractionFolder, const std::string& option, bool silent, HMODULE module,
                           const char* title, PackageKind kind)
{
   return VerifyPackageSignatureWith(SigLib_Wintrust(), selfPath, packagePath, extractionFolder, option, silent, module,
                                     title, kind);
}

bool IsVendorAppFromVersionInfo(const char* vendor, const char* path)
{
   if (path == nullptr || *path == '\0') {
      Inst_LogMsg("IsVendorAppFromVersionInfo: Nothing to be done. Empty filename string.");
      return false;
   }
   if (vendor == nullptr || *vendor == '\0') {
      Inst_LogMsg("IsVendorAppFromVersionInfo: Nothing to be done. Empty vendor name string.");
      return false;
   }
   if (Win32U_GetFileAttributes(path) == INVALID_FILE_ATTRIBUTES) {
      Inst_LogMsg("IsVendorAppFromVersionInfo: Cannot get vendor name - '%s' does not exist", path);
      return false;
   }
   // A package has no version resource: its summary information decides.
   VersionBlock block;
   const VersionApi* version = FileVersion_Api();
   if (version != nullptr && FileVersion_LoadBlock(path, block, nullptr) == ERROR_SUCCESS) {
      WORD* translations = nullptr;
      UINT translationBytes = 0;
      if (!version->verQueryValue(block.data.data(), L"\\VarFileInfo\\Translation",
                                  reinterpret_cast<void**>(&translations), &translationBytes)) {
         translationBytes = 0;
      }
      for (UINT i = 0; i + 1 < translationBytes / sizeof(WORD); i += 2) {
         for (const char* name : kVersionNames) {
            const std::wstring subBlock =
                Win32U_Wide(Str_Format("\\StringFileInfo\\%04x%04x\\%s", static_cast<unsigned>(translations[i]),
                                       static_cast<unsigned>(translations[i + 1]), name));
            wchar_t* value = nullptr;
            UINT chars = 0;
            if (!version->verQueryValue(block.data.data(), subBlock.c_str(), reinterpret_cast<void**>(&value),
                                        &chars) ||
                value == nullptr) {
               continue;
            }
            const std::string text = Win32U_ToUtf8(std::wstring_view(value, wcsnlen(value, chars))).value_or("");
            if (Signature_ContainsNoCase(text, vendor)) {
               Inst_LogMsg("IsVendorAppFromVersionInfo: Get vendor name found from Version Info : %s: %s", name,
                           text.c_str());
               return true;
            }
         }
      }
   }
   Inst_LogMsg("IsVendorAppFromVersionInfo: Cannot get vendor name - Can't find the specified vendor");
   return false;
}

bool IsVendorAppFromSummaryInfo(const char* vendor, const char* path)
{
   FileSummary summary;
   const HRESULT hr = summary.Read(path);
   if (FAILED(hr)) {
      Inst_LogMsg("IsVendorAppFromSummaryInfo: Unable to retrieve Summary Info from %s: %u", path,
                  static_cast<unsigned>(hr));
      return false;
   }
   for (const PROPID field : kSummaryVendorFields) {
      if (Signature_ContainsNoCase(summary.Get(field), vendor != nullptr ? vendor : "")) {
         Inst_LogMsg("IsVendorAppFromSummaryInfo: Get vendor name found from Summary Info");
         return true;
      }
   }
   Inst_LogMsg("IsVendorAppFromSummaryInfo: Get vendor name not found from Summary Info");
   return false;
}
