#include "apps/install/setup/signatureRules.h"

#include <algorithm>
#include <cctype>

#include "lib/string/str.h"

namespace
{

constexpr int32_t kTrustProviderUnknown = static_cast<int32_t>(0x800B0001);
constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100);
constexpr int kIdYes = 6;
constexpr char kOptionQuestionsOff[] = "one";

char Lower(char c)
{
   return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

SignatureCheckResult Signature_ResultFromStatus(int32_t status)
{
   switch (status) {
   case 0:
      return SignatureCheckResult::Trusted;
   case kTrustProviderUnknown:
      return SignatureCheckResult::WintrustNotOnMachine;
   case kTrustNoSignature:
      return SignatureCheckResult::NoSignatureFound;
   default:
      return SignatureCheckResult::NotTrusted;
   }
}

unsigned Signature_MessageFor(SignatureCheckResult result)
{
   switch (result) {
   case SignatureCheckResult::WintrustNotOnMachine:
   case SignatureCheckResult::InvalidArg:
      return kMsgNotVerified;
   case SignatureCheckResult::NoSignatureFound:
      return kMsgNoSignature;
   case SignatureCheckResult::NotTrusted:
      return kMsgPackageCorrupted;
   case SignatureCheckResult::Trusted:
      break;
   }
   return 0;
}

AnswerRules Signature_AnswerRules(std::string_view txiOption, bool silent)
{
   AnswerRules rules;
   rules.option = {txiOption == kOptionQuestionsOff, SignatureAnswer::GoOn};
   rules.silent = {silent, SignatureAnswer::Refuse};
   return rules;
}

SignatureAnswer Decide(const AnswerRules& rules, const std::function<int()>& askUser)
{
   if (rules.option.set) {
      return rules.option.answer;
   }
   if (rules.silent.set) {
      return rules.silent.answer;
   }
   return askUser() == kIdYes ? SignatureAnswer::GoOn : SignatureAnswer::Refuse;
}

bool Signature_ContainsNoCase(std::string_view text, std::string_view vendor)
{
   if (vendor.empty()) {
      return false;
   }
   const auto found = std::search(text.begin(), text.end(), vendor.begin(), vendor.end(),
                                  [](char x, char y) { return Lower(x) == Lower(y); });
   return found != text.end();
}

std::vector<ListedPackage> Signature_PackageList(std::string_view folder, const std::vector<std::string>& names,
                                                 std::string_view packagePath)
{
   // The folder comes with its back-slash; joining with another would give paths that no
   // longer compare equal to the package path formed from the same folder.
   std::string prefix(folder);
   if (prefix.empty() || prefix.back() != '\\') {
      prefix += '\\';
   }
   std::vector<ListedPackage> list;
   bool packageListed = false;
   for (const std::string& name : names) {
      std::string path = prefix + name;
      const bool isPackage = Str_EqualsNoCase(path, std::string(packagePath));
      packageListed = packageListed || isPackage;
      list.push_back({std::move(path), isPackage});
   }
   if (!packageListed && !packagePath.empty()) {
      list.push_back({std::string(packagePath), true});
   }
   return list;
}
