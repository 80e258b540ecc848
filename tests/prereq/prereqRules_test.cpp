// The runtime table's path rules and the version rules of the prerequisite checks.
#include <gtest/gtest.h>

#include "apps/install/setup/prereqRules.h"
#include "apps/install/setup/runtimeTable.h"

namespace
{

FourPartVersion V(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision)
{
   return FourPartVersion{major << 16 | minor, build << 16 | revision};
}

std::string Describe(const std::optional<RuntimePackages>& p)
{
   return p ? "[" + p->path32 + "][" + p->path64 + "]" : "skip";
}

} // namespace

TEST(RuntimeTable, PackagePathsPerPassAndRow)
{
   RuntimeSettings shipped;
   shipped.version = 14;
   shipped.runtime64 = "vcredist_arm64.exe";
   RuntimeSettings defaults;
   RuntimeSettings alt = shipped;
   alt.versionAlt = 12;
   alt.runtime32Alt = "alt\\x86.exe";
   alt.runtime64Alt = "alt\\x64.exe";

   const struct {
      const char* name;
      const RuntimeSettings& settings;
      RuntimePass pass;
      uint32_t rowVersion;
      const char* expected;
   } cases[] = {
       {"shipped, row 14", shipped, RuntimePass::Configured, 14, "[][vcredist_arm64.exe]"},
       {"shipped, other row", shipped, RuntimePass::Configured, 12, "skip"},
       {"shipped, second pass", shipped, RuntimePass::Alternate, 14, "skip"},
       {"defaults, row 8 has no sub-folder", defaults, RuntimePass::Configured, 8, "[][vcredist_arm64.exe]"},
       {"defaults, no bare sub-folder as a package", defaults, RuntimePass::Configured, 9,
        "[][vc90\\vcredist_arm64.exe]"},
       {"defaults, second pass", defaults, RuntimePass::Alternate, 14,
        "[vc140\\vcredist_x86.exe][vc140\\vcredist_x64.exe]"},
       {"alt row", alt, RuntimePass::Alternate, 12, "[alt\\x86.exe][alt\\x64.exe]"},
       {"alt, other row", alt, RuntimePass::Alternate, 14, "skip"},
       {"alt, first pass keeps VCRUNTIME_VER", alt, RuntimePass::Configured, 12, "skip"},
   };
   for (const auto& c : cases) {
      const VcRuntimeRow* row = nullptr;
      for (const auto& r : vcRuntimeTable) {
         row = r.version == c.rowVersion ? &r : row;
      }
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(Describe(Runtime_PackagesFor(c.pass, *row, c.settings)), c.expected) << c.name;
   }
}

TEST(PrereqRules, EngineAndUpgraderVersions)
{
   EXPECT_EQ(Prereq_EngineVersion(V(5, 0, 9600, 1)), 500u);
   EXPECT_EQ(Prereq_EngineVersion(V(4, 5, 6001, 22308)), 405u); // Wine's msi.dll
   EXPECT_GE(Prereq_EngineVersion(V(5, 0, 0, 0)), 300u);        // 5.0 meets a minimum of 300
   EXPECT_EQ(Prereq_UpgraderVersion(V(13, 1, 0, 0)), 301u);
   EXPECT_EQ(Prereq_UpgraderVersion(V(10, 0, 0, 0)), 0u);
   EXPECT_GT(Prereq_UpgraderVersion(V(3, 1, 4000, 0)), 0xFFFF0000u) << "below 10.0 wraps around";
}

TEST(PrereqRules, Windows2000KernelFix)
{
   const struct {
      FourPartVersion kernel32;
      bool fixed;
   } cases[] = {
       {V(5, 0, 2195, 6897), true},  {V(5, 0, 2195, 6896), false}, {V(5, 0, 2194, 9999), false},
       {V(5, 0, 2196, 0), true},     {V(5, 1, 0, 0), true},        {V(6, 0, 0, 0), true},
       {V(4, 9, 9999, 9999), false},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(Prereq_HasKernelFix835732(c.kernel32), c.fixed) << Prereq_VersionText(c.kernel32);
   }
}

TEST(PrereqRules, VersionTextAndUpgraderArguments)
{
   EXPECT_EQ(Prereq_VersionText(V(14, 38, 33135, 0)), "14.38.33135.0");
   EXPECT_EQ(Prereq_VersionText(V(65535, 0, 65535, 1)), "65535.0.65535.1");
   EXPECT_EQ(Prereq_UpgraderArguments("InstMsiW.exe", 201), " /quiet /norestart /log:\"%temp%\\tx_wi31.log\"");
   EXPECT_EQ(Prereq_UpgraderArguments("instmsiw.exe", 200), " /c:\"msiinst /delayrebootq\"");
   EXPECT_EQ(Prereq_UpgraderArguments("instmsi2k.exe", 300), " /c:\"msiinst /delayrebootq\"");
}
