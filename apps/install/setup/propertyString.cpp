#include "apps/install/setup/propertyString.h"

namespace
{

std::string Base(const PropertyStringParts& parts)
{
   if (parts.reinstall && (parts.toolsStyle || !parts.properties)) {
      return kReinstallBase;
   }
   return parts.properties.value_or(std::string());
}

} // namespace

PropertyStrings BuildPropertyStrings(const PropertyStringParts& parts)
{
   std::string text = Base(parts);
   if (parts.adminInstall) {
      text += " ACTION=ADMIN";
   }
   if (!parts.adminTargetPath.empty()) {
      text += " TARGETDIR=\"" + parts.adminTargetPath + "\"";
   }
   if (!parts.languageProperty.empty()) {
      text += " " + parts.languageProperty;
   }
   PropertyStrings strings{text, text};
   if (!parts.installerArguments.empty()) {
      strings.reinstallCommandLine += " " + parts.installerArguments;
   }
   if (!parts.installerProperties.empty()) {
      strings.msiCommandLine += " " + parts.installerProperties;
   }
   if (parts.guestOnlyLogging) {
      strings.msiCommandLine += " LOGMODE=G";
   }
   return strings;
}

std::string BuildUninstallProperties(std::string_view languageProperty)
{
   return " TX_UPGRADE_UNINSTALL=1 " + std::string(languageProperty);
}

std::string BuildReinstallCommand(std::string_view msiexecPath, std::string_view packagePath,
                                  std::string_view reinstallCommandLine)
{
   return std::string(msiexecPath) + " /i \"" + std::string(packagePath) + "\" " + std::string(reinstallCommandLine);
}
