// The session's decisions that need no system call: version order, property strings, the
// operation rule, older codes, which installer errors are shown, the restart offer, and the
// packed form of product codes.
#include <gtest/gtest.h>

#include "apps/install/setup/productVersion.h"
#include "apps/install/setup/propertyString.h"
#include "apps/install/setup/restartDecision.h"
#include "apps/install/setup/sessionRules.h"
#include "lib/install/msiGuid.h"

TEST(ProductVersion, ComparesNumericallyPartByPart)
{
   struct Case {
      const char* installed;
      const char* offered;
      int order;
   };
   const Case cases[] = {
       {"13.0.10", "13.0.9", 1}, // numeric, not text order
       {"13.0", "13.0.0.0", 0},  // missing parts are 0
       {"13.0.0", "13.0.1", -1},
       {"12.9.9.9", "13.0.0", -1},      // the first differing part decides
       {"13.0.1.5", "13.0.1.4", 1},     // the fourth part counts
       {"13.0.1.4.9", "13.0.1.4.1", 0}, // a fifth does not
       {"", "0.0.0.0", 0},
       {"13.0.1beta", "13.0.1", 0},           // trailing text of a part is ignored
       {"99999999999.0", "4294967295.1", -1}, // a huge part stops growing instead of wrapping
   };
   for (const Case& c : cases) {
      const int order = CompareProductVersions(c.installed, c.offered);
      EXPECT_EQ((order > 0) - (order < 0), c.order) << c.installed << " vs " << c.offered;
   }
}

TEST(PropertyString, PartsInTheirOrder)
{
   struct Case {
      const char* name;
      PropertyStringParts parts;
      const char* install;
      const char* runOnce;
   };
   PropertyStringParts first; // tools style, first install: nothing but the language and /v
   first.toolsStyle = true;
   first.languageProperty = "ProductLanguage=1033";
   first.installerArguments = "/qn TXPROBE=1";
   first.installerProperties = "TXPROBE=1";
   PropertyStringParts upgrade = first;
   upgrade.reinstall = true;
   upgrade.properties = std::string("IGNORED=1"); // tools style: the reinstall base wins
   PropertyStringParts standard;                  // outside tools style PROPERTIES is the base even when reinstalling
   standard.reinstall = true;
   standard.properties = std::string("ADDLOCAL=ALL");
   standard.languageProperty = "ProductLanguage=1031";
   standard.guestOnlyLogging = true;
   PropertyStringParts standardNoProperties = standard;
   standardNoProperties.properties.reset();
   PropertyStringParts admin;
   admin.adminInstall = true;
   admin.adminTargetPath = "C:\\admin image";
   admin.languageProperty = "ProductLanguage=1033";
   admin.installerArguments = "/qb";
   PropertyStringParts bare; // no /v text, no PROPERTIES, no language: empty

   const Case cases[] = {
       {"first", first, " ProductLanguage=1033 TXPROBE=1", " ProductLanguage=1033 /qn TXPROBE=1"},
       {"upgrade", upgrade, "REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1033 TXPROBE=1",
        "REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1033 /qn TXPROBE=1"},
       {"standard", standard, "ADDLOCAL=ALL ProductLanguage=1031 LOGMODE=G", "ADDLOCAL=ALL ProductLanguage=1031"},
       {"standard without PROPERTIES", standardNoProperties,
        "REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1031 LOGMODE=G",
        "REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1031"},
       {"admin", admin, " ACTION=ADMIN TARGETDIR=\"C:\\admin image\" ProductLanguage=1033",
        " ACTION=ADMIN TARGETDIR=\"C:\\admin image\" ProductLanguage=1033 /qb"},
       {"bare", bare, "", ""},
   };
   for (const Case& c : cases) {
      const PropertyStrings strings = BuildPropertyStrings(c.parts);
      EXPECT_EQ(strings.msiCommandLine, c.install) << c.name;
      EXPECT_EQ(strings.reinstallCommandLine, c.runOnce) << c.name;
   }
}

TEST(PropertyString, RemovalAndRunOnceCommand)
{
   EXPECT_EQ(BuildUninstallProperties("ProductLanguage=1033"), " TX_UPGRADE_UNINSTALL=1 ProductLanguage=1033");
   EXPECT_EQ(
       BuildReinstallCommand("C:\\windows\\system32\\msiexec.exe", "C:\\Temp\\x y\\tools.msi",
                             " ProductLanguage=1033 TX_UPGRADE_INSTALL=1"),
       "C:\\windows\\system32\\msiexec.exe /i \"C:\\Temp\\x y\\tools.msi\"  ProductLanguage=1033 TX_UPGRADE_INSTALL=1");
}

TEST(SessionRules, OperationAgainstPackageKind)
{
   struct Case {
      bool patch;
      const char* operation;
      bool valid;
   };
   const Case cases[] = {
       {false, "DEFAULT", true},   {false, "INSTALL", true}, {false, "installupd", true}, {false, "MAJPATCH", false},
       {false, "MINPATCH", false}, {false, "", false},       {true, "default", true},     {true, "MinPatch", true},
       {true, "MAJPATCH", true},   {true, "INSTALL", false}, {true, "INSTALLUPD", false},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(IsOperationValid(c.patch, c.operation), c.valid) << c.patch << " " << c.operation;
   }
}

TEST(SessionRules, FirstGuessAtReinstall)
{
   struct Case {
      bool toolsStyle, admin, patch;
      const char* operation;
      bool reinstall;
   };
   const Case cases[] = {
       {true, false, false, "DEFAULT", true},   {true, true, false, "DEFAULT", false}, // an image never reinstalls
       {false, false, false, "DEFAULT", false}, {false, false, false, "InstallUpd", true},
       {false, false, true, "MINPATCH", true},  {false, false, true, "DEFAULT", true},
       {false, false, true, "MAJPATCH", false}, {false, true, true, "MINPATCH", false},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(InitialReinstall(c.toolsStyle, c.admin, c.patch, c.operation), c.reinstall)
          << c.toolsStyle << c.admin << c.patch << " " << c.operation;
   }
}

// An older installed version, by configuration: upgraded in place with the reinstall
// properties, removed by the launcher first, or left to the package's own upgrade logic.
TEST(SessionRules, OlderInstalledVersion)
{
   enum Outcome { InPlace, RemovedFirst, LeftToThePackage };
   struct Case {
      const char* what;
      bool ownCode, oldCodesSet, upgradeSettingPresent;
      Outcome outcome;
   };
   const Case cases[] = {
       {"own code, MINORUPGRADE, OLDCODES", true, true, true, InPlace}, // a first install would end with 1638
       {"own code, MINORUPGRADE", true, false, true, InPlace},
       {"own code, no MINORUPGRADE, OLDCODES", true, true, false, RemovedFirst},
       {"own code, no MINORUPGRADE", true, false, false, InPlace},
       {"OLDCODES product, MINORUPGRADE", false, true, true, LeftToThePackage},
       {"OLDCODES product, no MINORUPGRADE", false, true, false, RemovedFirst},
   };
   for (const Case& c : cases) {
      const ExistingProductState state = OlderVersionState(c.ownCode, c.oldCodesSet, c.upgradeSettingPresent);
      const ExistingProductPlan plan = PlanForExistingProduct(state, c.oldCodesSet, c.upgradeSettingPresent);
      const Outcome outcome = plan.reinstall ? InPlace : plan.uninstallFirst ? RemovedFirst : LeftToThePackage;
      EXPECT_EQ(outcome, c.outcome) << c.what;
      EXPECT_FALSE(plan.reinstall && plan.uninstallFirst) << c.what;
      EXPECT_FALSE(plan.newerInstalled) << c.what;
   }
}

TEST(SessionRules, OlderCodesList)
{
   EXPECT_EQ(SplitOldCodes("{A};{B}"), (std::vector<std::string>{"{A}", "{B}"}));
   EXPECT_EQ(SplitOldCodes(" {A} ;;{B};"), (std::vector<std::string>{"{A}", "{B}"}));
   EXPECT_TRUE(SplitOldCodes("").empty());
   EXPECT_TRUE(SplitOldCodes(" ; ").empty());
}

TEST(SessionRules, InstallerErrorsTheLauncherReports)
{
   for (uint32_t code : {1602u, 1603u, 1604u, 1641u, 1259u, 3010u}) {
      EXPECT_TRUE(IsInstallerErrorSilent(code)) << code;
   }
   for (uint32_t code : {0u, 2u, 1618u, 1619u, 1627u, 1638u}) {
      EXPECT_FALSE(IsInstallerErrorSilent(code)) << code;
   }
   EXPECT_EQ(InstallerErrorShownCode(2), 1619u);
   EXPECT_EQ(InstallerErrorShownCode(3), 1619u);
   EXPECT_EQ(InstallerErrorShownCode(123), 1619u);
   EXPECT_EQ(InstallerErrorShownCode(1618), 1618u);
}

TEST(RestartDecision, WhoIsAskedAndWithWhat)
{
   struct Case {
      RestartReasons reasons;
      bool updateAgent;
      int32_t exitCode;
      RestartOffer offer;
      const char* list;
      unsigned message;
   };
   const Case cases[] = {
       {{false, false, false}, false, 3010, RestartOffer::None, "", 30}, // Windows Installer's UI asks
       {{false, false, false}, true, 3010, RestartOffer::UpdateAgentPrompt, "", 30},
       {{false, false, false}, true, 0, RestartOffer::None, "", 30},
       {{true, false, false}, false, 3010, RestartOffer::Prompt, "VC Redist", 72},
       {{false, true, false}, true, 3010, RestartOffer::Prompt, "MSI", 30}, // the engine reason wins
       {{false, false, true}, false, 0, RestartOffer::Prompt, "Repair", 30},
       {{true, true, true}, false, 0, RestartOffer::Prompt, "VC Redist, MSI, Repair", 72},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(DecideRestartOffer(c.reasons, c.updateAgent, c.exitCode), c.offer) << c.list;
      EXPECT_EQ(RestartReasonList(c.reasons), c.list);
      EXPECT_EQ(RestartPromptMessage(c.reasons), c.message) << c.list;
   }
   EXPECT_TRUE(UpdateAgentAnswerRestarts(6));     // Yes
   EXPECT_TRUE(UpdateAgentAnswerRestarts(32000)); // nobody answered in time
   EXPECT_FALSE(UpdateAgentAnswerRestarts(7));    // No
   EXPECT_FALSE(UpdateAgentAnswerRestarts(0));
}

TEST(RestartDecision, ExitCodeOfARunThatNeedsARestart)
{
   struct Case {
      int32_t exitCode;
      bool needed;  // the engine, a runtime, a repair or a removal asked for a restart
      bool started; // the launcher asked Windows to restart
      int32_t result;
   };
   const Case cases[] = {
       {0, false, false, 0},      {0, true, false, 3010},    {3010, false, false, 3010},
       {0, true, true, 1641},     {3010, false, true, 1641}, {1641, false, false, 1641},
       {1603, true, false, 1603}, {1603, true, true, 1603},  {1602, true, false, 1602},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(ExitCodeAfterRestartOffer(c.exitCode, c.needed, c.started), c.result)
          << c.exitCode << " needed " << c.needed << " started " << c.started;
   }
}

TEST(MsiGuid, PacksByFixedPositions)
{
   char packed[kPackedGuidBytes];
   ASSERT_TRUE(MsiUtil_PackGuid("{01234567-89AB-CDEF-0123-456789ABCDEF}", packed, sizeof packed));
   EXPECT_STREQ(packed, "76543210BA98FEDC1032547698BADCFE");
   ASSERT_TRUE(MsiUtil_PackGuid("{6f1e2a30-8b4c-4d5e-9f60-1a2b3c4d5e01}", packed, sizeof packed));
   EXPECT_STREQ(packed, "03a2e1f6c4b8e5d4f906a1b2c3d4e510"); // case kept

   char small[kPackedGuidBytes - 1];
   EXPECT_FALSE(MsiUtil_PackGuid("{01234567-89AB-CDEF-0123-456789ABCDEF}", small, sizeof small));
   for (const char* bad : {"", "{01234567-89AB-CDEF-0123-456789ABCDE}", "01234567-89AB-CDEF-0123-456789ABCDEF00",
                           "{01234567-89AB-CDEF-0123-456789ABCDEG}", "{01234567+89AB-CDEF-0123-456789ABCDEF}"}) {
      EXPECT_FALSE(MsiUtil_PackGuid(bad, packed, sizeof packed)) << bad;
   }
}
