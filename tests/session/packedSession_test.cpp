// The session through packed launchers, run as a deployment tool runs them: the real exit code
// (read by this Windows-side driver, not cut to 8 bits), the launcher's log, and what Windows
// Installer reports afterwards.
#include <windows.h>

#include <msi.h>

#include "tests/e2e/runSupport.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

class PackedSession : public InstallerTest
{
 protected:
   // /n leaves the VC runtime stage out: these launchers carry the test package only.
   LauncherRun Run(const std::string& launcher, const std::string& arguments = "/s /n /v\"/qn TXPROBE=e2e\"")
   {
      LauncherOptions options;
      options.image = WinePath(TestArg(3)) + "\\" + launcher + "\\setup.exe";
      options.arguments = arguments;
      ScratchDir temp("run");
      return RunLauncher(options, temp);
   }
};

} // namespace

TEST_F(PackedSession, SilentInstallThenInPlaceUpgrade)
{
   LauncherRun run = Run("tools-13.0.0");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.0");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Probe"), "e2e");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Language"), "1033");
   EXPECT_TRUE(HasLine(run.log, "I0: No existing products found"));

   run = Run("tools-13.0.1");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   EXPECT_TRUE(HasLine(run.log, "I0: Existing product version is older"));
   EXPECT_TRUE(HasLine(run.log, "I0: InstallProduct() returned: 0"));
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: 0"));
}

TEST_F(PackedSession, NewerVersionInstalledIsLeftAlone)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("tools-13.0.1.msi")), 0u);
   const LauncherRun run = Run("tools-13.0.0");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   EXPECT_TRUE(HasLine(run.log, "A newer version of Tessix Test Tools is already installed."));
   EXPECT_FALSE(HasLine(run.log, "InstallProduct()"));
}

TEST_F(PackedSession, FailingPackageGivesItsCode)
{
   const LauncherRun run = Run("failing");
   EXPECT_EQ(run.exitCode, 1603u) << run.log;
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
   EXPECT_TRUE(HasLine(run.log, "I0: InstallProduct() returned: 1603"));
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: 1603"));
   // Nothing left but the two logs, archived as failed.
   EXPECT_NE(run.logName.find("_Failed.log"), std::string::npos) << run.logName;
   for (const auto& name : run.tempFiles) {
      EXPECT_NE(name.find("_Failed.log"), std::string::npos) << "left in the temporary folder: " << name;
   }
}

TEST_F(PackedSession, StandardStyleRemovesTheOlderProductFirst)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
   const LauncherRun run = Run("standard");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_UNKNOWN);
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "UpgradeInstall"), "1");
   EXPECT_TRUE(HasLine(run.log, "I0: Uninstalling with props:  TX_UPGRADE_UNINSTALL=1 ProductLanguage=1033"));
   EXPECT_EQ(RunOnceValue(kToolsCode), "<none>");
}

// The standard style without OLDCODES, with MINORUPGRADE "0" and without the resource: the
// package's own product is upgraded in place, the same version reinstalled (the new properties
// reach it), and a machine without it gets a first install. Nothing is removed first.
TEST_F(PackedSession, StandardStyleWithoutOldCodesUpgradesInPlace)
{
   struct Case {
      const char* installed; // the fixture package installed beforehand, or null
      const char* what;
   };
   const Case cases[] = {
       {"tools-13.0.0.msi", "older version installed"},
       {"tools-13.0.1.msi", "same version installed"},
       {nullptr, "not installed"},
   };
   for (const char* launcher : {"minorupgrade-0", "no-minorupgrade"}) {
      for (const Case& c : cases) {
         SCOPED_TRACE(std::string(launcher) + ": " + c.what);
         if (c.installed != nullptr) {
            ASSERT_EQ(InstallDirectly(FixturePackage(c.installed), "TXPROBE=before"), 0u);
         }
         const LauncherRun run = Run(launcher);
         EXPECT_EQ(run.exitCode, 0u) << run.log;
         EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
         EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Version"), "13.0.1");
         EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Probe"), "e2e") << "the run's properties reach the product";
         EXPECT_NE(ProductRegistryValue("TessixTestTools", "UpgradeInstall"), "1") << "no removal came first";
         EXPECT_FALSE(HasLine(run.log, "Uninstalling with props")) << run.log;
         EXPECT_TRUE(HasLine(run.log, "I0: InstallProduct() returned: 0")) << run.log;
         RemoveFixtureProducts();
      }
   }
}
