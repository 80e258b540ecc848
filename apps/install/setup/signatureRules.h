// The rules of the package signature check that need no system call: what a WinVerifyTrust
// verdict means, which question each finding puts, how a finding is answered without a person,
// and which files are examined. Pure code, built natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The trust result of one file; the numbers appear in the log ("Examining ...: %d").
enum class SignatureCheckResult : int {
   WintrustNotOnMachine = 0, // TRUST_E_PROVIDER_UNKNOWN, or WinTrust could not be bound
   NoSignatureFound = 1,     // TRUST_E_NOSIGNATURE
   InvalidArg = 2,           // the caller gave no place for the certificate
   NotTrusted = 3,           // any other failure: bad digest, untrusted root, ...
   Trusted = 4,              // the signer's certificate is returned
};

// VerifyPackageSignature's answer; the caller ends the run with kSignatureRefusedExitCode on Refuse.
enum class SignatureAnswer : int { GoOn = 0, Refuse = 1 };
inline constexpr int kSignatureRefusedExitCode = 13;

inline constexpr char kSignatureVendor[] = "Tessix";
inline constexpr size_t kMaxListedPackages = 256;

// The questions of the check (message catalogue numbers); each is asked with Yes and No.
enum SignatureMessage : unsigned {
   kMsgPackagesNotFound = 52,
   kMsgNoSignature = 53,
   kMsgPackageCorrupted = 54,
   kMsgNotVerified = 55,
   kMsgDifferentPublishers = 56,
};

SignatureCheckResult Signature_ResultFromStatus(int32_t status);
// The question a result other than Trusted puts; 0 for Trusted.
unsigned Signature_MessageFor(SignatureCheckResult result);

struct AnswerRule {
   bool set = false;
   SignatureAnswer answer = SignatureAnswer::GoOn;
};
struct AnswerRules {
   AnswerRule option; // TXIOPTION "one": questions are off and every finding goes on
   AnswerRule silent; // a silent run refuses
};
AnswerRules Signature_AnswerRules(std::string_view txiOption, bool silent);

// The option rule, then the silent rule, then the person: `askUser` is called only when neither
// rule is set, and only Yes (IDYES, 6) goes on.
SignatureAnswer Decide(const AnswerRules& rules, const std::function<int()>& askUser);

// Whether `vendor` occurs in `text`, ignoring ASCII case. An empty vendor occurs nowhere.
bool Signature_ContainsNoCase(std::string_view text, std::string_view vendor);

struct ListedPackage {
   std::string path;
   bool isPackage; // the file about to be handed to Windows Installer
};

// The files to examine: each name found in the folder joined to it with one back-slash, then the
// package path unless it is one of them already. The package is marked: whatever its summary
// information says, it is never skipped.
std::vector<ListedPackage> Signature_PackageList(std::string_view folder, const std::vector<std::string>& names,
                                                 std::string_view packagePath);
