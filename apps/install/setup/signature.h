// Authenticode checks of the launcher and of the packages it hands to Windows Installer: every
// package must carry a valid signature from the launcher's own signer. Each finding is a Yes/No
// question, or a fixed answer in a silent run or when TXIOPTION switches questions off.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/signatureLibs.h"
#include "apps/install/setup/signatureRules.h"

// What the run hands Windows Installer. A patch run's payload may hold no "*.msi" at all: the
// patch itself is then what is examined, not a reason to refuse.
enum class PackageKind : int { Product = 0, Patch = 1 };

// Returns 1 (refuse: the caller ends the run with exit code 13) or 0 (go on).
//   selfPath          the launcher's own file (UTF-8)
//   packagePath       the package about to be installed: the extracted one, or its cached copy
//   extractionFolder  the payload folder, ending in a back-slash; its "*.msi" files are examined
//   option            TXIOPTION ("one" switches the questions off; anything else does not)
//   silent            /s: every finding refuses without a box
//   module, title     where the message texts come from, and the boxes' title
//   kind              whether packagePath is a product package or a patch
int VerifyPackageSignature(const std::string& selfPath, const std::string& packagePath,
                           const std::string& extractionFolder, const std::string& option, bool silent, HMODULE module,
                           const char* title, PackageKind kind = PackageKind::Product);

// The trust verdict of one file (WinVerifyTrust, Authenticode policy, no UI, no revocation
// checks). On Trusted, `certificate` holds a duplicate of the signer's certificate when the
// state data yields one.
SignatureCheckResult CheckFileTrust(const wchar_t* path, UniqueCertContext* certificate);

// Whether the version resource's CompanyName, ProductName or FileDescription names the vendor.
bool IsVendorAppFromVersionInfo(const char* vendor, const char* path);
// Whether the summary information's Author, application name, Title or Subject names the vendor.
bool IsVendorAppFromSummaryInfo(const char* vendor, const char* path);

// The same checks over a WinTrust table of the caller's. The product passes SigLib_Wintrust();
// tests put a verdict that Wine cannot give (an untrusted root) behind the real WinVerifyTrust.
SignatureCheckResult CheckFileTrustWith(const WintrustApi& wintrust, const wchar_t* path,
                                        UniqueCertContext* certificate);
int VerifyPackageSignatureWith(const WintrustApi& wintrust, const std::string& selfPath, const std::string& packagePath,
                               const std::string& extractionFolder, const std::string& option, bool silent,
                               HMODULE module, const char* title, PackageKind kind = PackageKind::Product);
