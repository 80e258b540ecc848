#include "apps/install/setup/sessionRules.h"

#include <algorithm>

#include "lib/string/str.h"

namespace
{

bool EqualsNoCase(std::string_view a, const char* b)
{
   return Str_EqualsNoCase(std::string(a), b);
}

bool IsBlank(char c)
{
   return c == ' ' || c == '\t';
}

constexpr uint32_t kSilentInstallerResults[] = {1602, 1603, 1604, 1641, 1259, 3010};
constexpr uint32_t kPackageNotOpened = 1619;

} // namespace

const char* ExistingProductStateName(ExistingProductState state)
{
   switch (state) {
   case ExistingProductState::Unknown:
      return "Unknown";
   case ExistingProductState::Older:
      return "Older";
   case ExistingProductState::Same:
      return "Same";
   case ExistingProductState::Newer:
      return "Newer";
   case ExistingProductState::MinorUpgradeInPlace:
      return "MinorUpgradeInPlace";
   }
   return "?";
}

bool IsOperationValid(bool patch, std::string_view operation)
{
   if (EqualsNoCase(operation, "DEFAULT")) {
      return true;
   }
   if (patch) {
      return EqualsNoCase(operation, "MINPATCH") || EqualsNoCase(operation, "MAJPATCH");
   }
   return EqualsNoCase(operation, "INSTALL") || EqualsNoCase(operation, "INSTALLUPD");
}

bool InitialReinstall(bool toolsStyle, bool adminInstall, bool patch, std::string_view operation)
{
   if (adminInstall) {
      return false;
   }
   return toolsStyle || EqualsNoCase(operation, "MINPATCH") || EqualsNoCase(operation, "INSTALLUPD") ||
          (patch && EqualsNoCase(operation, "DEFAULT"));
}

ExistingProductPlan PlanForExistingProduct(ExistingProductState state, bool oldCodesSet, bool upgradeSettingPresent)
{
   ExistingProductPlan plan;
   switch (state) {
   case ExistingProductState::Unknown:
      break;
   case ExistingProductState::Older:
      plan.uninstallFirst = !upgradeSettingPresent;
      break;
   case ExistingProductState::Same:
      plan.reinstall = !oldCodesSet;
      break;
   case ExistingProductState::Newer:
      plan.newerInstalled = true;
      break;
   case ExistingProductState::MinorUpgradeInPlace:
      plan.reinstall = true;
      break;
   }
   return plan;
}

ExistingProductState OlderVersionState(bool ownCode, bool oldCodesSet, bool upgradeSettingPresent)
{
   const bool removedFirst = oldCodesSet && !upgradeSettingPresent;
   return ownCode && !removedFirst ? ExistingProductState::MinorUpgradeInPlace : ExistingProductState::Older;
}

std::vector<std::string> SplitOldCodes(std::string_view oldCodes)
{
   std::vector<std::string> codes;
   size_t start = 0;
   while (start <= oldCodes.size()) {
      size_t end = oldCodes.find(';', start);
      if (end == std::string_view::npos) {
         end = oldCodes.size();
      }
      std::string_view code = oldCodes.substr(start, end - start);
      while (!code.empty() && IsBlank(code.front())) {
         code.remove_prefix(1);
      }
      while (!code.empty() && IsBlank(code.back())) {
         code.remove_suffix(1);
      }
      if (!code.empty()) {
         codes.emplace_back(code);
      }
      start = end + 1;
   }
   return codes;
}

bool IsInstallerErrorSilent(uint32_t code)
{
   return std::find(std::begin(kSilentInstallerResults), std::end(kSilentInstallerResults), code) !=
          std::end(kSilentInstallerResults);
}

uint32_t InstallerErrorShownCode(uint32_t code)
{
   return code == 2 || code == 3 || code == 123 ? kPackageNotOpened : code;
}
