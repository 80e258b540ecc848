#include "apps/install/setup/prereqRules.h"

#include "lib/string/str.h"

namespace
{

uint32_t Major(FourPartVersion v)
{
   return v.high >> 16;
}

uint32_t Minor(FourPartVersion v)
{
   return v.high & 0xFFFF;
}

} // namespace

uint32_t Prereq_EngineVersion(FourPartVersion version)
{
   return Major(version) * 100 + Minor(version);
}

uint32_t Prereq_UpgraderVersion(FourPartVersion version)
{
   return Prereq_EngineVersion(version) - 1000u;
}

bool Prereq_HasKernelFix835732(FourPartVersion kernel32)
{
   constexpr FourPartVersion fixed{5u << 16 | 0u, 2195u << 16 | 6897u};
   return kernel32.high != fixed.high ? kernel32.high > fixed.high : kernel32.low >= fixed.low;
}

std::string Prereq_VersionText(FourPartVersion version)
{
   char text[48];
   Str_Snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(version.high >> 16),
                static_cast<int>(version.high & 0xFFFF), static_cast<int>(version.low >> 16),
                static_cast<int>(version.low & 0xFFFF));
   return text;
}

std::string Prereq_UpgraderArguments(std::string_view upgraderFileName, uint32_t minimumMsiNt)
{
   if (Str_EqualsNoCase(std::string(upgraderFileName), "instmsiw.exe") && minimumMsiNt >= kMsiWithQuietUpgrader) {
      return " /quiet /norestart /log:\"%temp%\\tx_wi31.log\"";
   }
   return " /c:\"msiinst /delayrebootq\"";
}
