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

// With OLDCODES naming another product. MINORUPGRADE "0": an older version of the package's own
// product is upgraded in place (Windows Installer refuses a first install of a changed package
// over its own installed code with 1638), an installed product of OLDCODES is left to the
// package's own upgrade logic, the same version gets the first-install properties. Without the
// resource the package's own older version is removed first, as an OLDCODES product is.
TEST_F(PackedSession, StandardStyleWithOldCodesUpgradesItsOwnOlderVersion)
{
   struct Case {
      const char* launcher;
      const char* installed; // the fixture package installed beforehand
      const char* what;
      const char* logLine; // a line the decision writes
      bool runProperties;  // the run's properties reach the product (the same version keeps its own)
      bool removedFirst;
   };
   const std::string willUpgradeOld = std::string("I0: Will upgrade ") + kOldCode;
   const std::string willUninstallOwn = std::string("I0: Will uninstall ") + kToolsCode;
   const Case cases[] = {
       {"minorupgrade-0-oldcodes", "tools-13.0.0.msi", "own older version", "I0: Existing product version is older",
        true, false},
       {"minorupgrade-0-oldcodes", "old-12.0.0.msi", "product of OLDCODES", willUpgradeOld.c_str(), true, false},
       {"minorupgrade-0-oldcodes", "tools-13.0.1.msi", "same version", "I0: Using first time install logic.", false,
        false},
       {"standard", "tools-13.0.0.msi", "own older version, no MINORUPGRADE", willUninstallOwn.c_str(), true, true},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.launcher) + ": " + c.what);
      const bool oldCodesProduct = std::string(c.installed) == "old-12.0.0.msi";
      ASSERT_EQ(InstallDirectly(FixturePackage(c.installed), "TXPROBE=before"), 0u);
      const LauncherRun run = Run(c.launcher);
      EXPECT_EQ(run.exitCode, 0u) << run.log;
      EXPECT_TRUE(HasLine(run.log, "I0: InstallProduct() returned: 0")) << run.log;
      EXPECT_TRUE(HasLine(run.log, c.logLine)) << run.log;
      EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
      EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Version"), "13.0.1");
      if (c.runProperties) {
         EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Probe"), "e2e");
      }
      EXPECT_EQ(HasLine(run.log, "Uninstalling with props"), c.removedFirst) << run.log;
      EXPECT_EQ(ProductRegistryValue("TessixTestTools", "UpgradeInstall") == "1", c.removedFirst);
      if (oldCodesProduct) {
         EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_DEFAULT) << "the package's own upgrade logic decides";
      }
      RemoveFixtureProducts();
   }
}
