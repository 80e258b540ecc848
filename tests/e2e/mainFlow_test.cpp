// Packed launchers run as an administrator's deployment tool runs them: exit code, log lines,
// what is left in the temporary folder, and what Windows Installer reports afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>

#include "apps/install/setup/buildInfo.h"
#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"
#include "tests/e2e/sampleProduct.h"
#include "tests/gui/driver.h"
#include "tests/rpc/hostLogKey.h"
#include "tests/rpc/hostSimProcess.h"

namespace
{

class MainFlow : public ::testing::Test
{
 protected:
   void SetUp() override { RemoveSample(); }
   void TearDown() override { RemoveSample(); }

   LauncherRun Run(const std::string& arguments) { return RunImage(WinePath(TestArg(1)), arguments); }

   LauncherRun RunImage(const std::string& image, const std::string& arguments)
   {
      LauncherOptions options;
      options.image = image;
      options.arguments = arguments;
      return RunLauncher(options, temp_);
   }

   // A launcher packed with a variant of the shipped configuration.
   static std::string Variant(const char* name) { return WinePath(TestArg(2)) + "\\" + name + "\\setup.exe"; }

   ScratchDir temp_{"flow"};
};

bool TxmLogKeyExists()
{
   HKEY key = nullptr;
   if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessix, Inc.\\TxmLog", 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
       ERROR_SUCCESS) {
      return false;
   }
   RegCloseKey(key);
   return true;
}

bool HasExtractionFolder(const LauncherRun& run)
{
   for (const auto& name : run.tempFiles) {
      if (name == kExtractionFolder) {
         return true;
      }
   }
   return false;
}

// The value Windows Installer received for a property, from the property list at the end of its
// log (the archived txmsi.log of the run in `temp`); "<none>" when it is not listed.
std::string ReceivedValue(const std::string& temp, const std::string& property)
{
   for (const auto& name : ListFolder(temp)) {
      if (name.rfind("txmsi.log_", 0) != 0) {
         continue;
      }
      const std::string prefix = "Property(S): " + property + " = ";
      for (std::string line : SplitLines(ReadTextFile(temp + "\\" + name))) {
         if (!line.empty() && line.back() == '\r') {
            line.pop_back();
         }
         if (line.rfind(prefix, 0) == 0) {
            return line.substr(prefix.size());
         }
      }
   }
   return "<none>";
}

} // namespace

TEST_F(MainFlow, SilentToolsStyleInstall)
{
   // The key that forwards the log to the host, as a run the host asked for leaves it when it is
   // cut short (it is volatile: it lasts until Windows restarts). The end of this run deletes it.
   CHostLogKey hostLogKey;
   ASSERT_TRUE(hostLogKey.created());
   ASSERT_TRUE(TxmLogKeyExists());
   const LauncherRun run = Run("/s /v\"/qn REBOOT=ReallySuppress\"");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   EXPECT_TRUE(HasLine(run.log, "I0: Performing Tessix Tools style install/upgrade"));
   EXPECT_TRUE(HasLine(run.log, "I0: Silent installation = TRUE"));
   EXPECT_TRUE(HasLine(run.log, "I0: ** InstallVCRedist [vcredist_arm64.exe][ /Q /norestart]"));
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: 0"));
   EXPECT_FALSE(HasExtractionFolder(run)) << "the extraction folder is cleaned up";
   EXPECT_EQ(run.logName.find("_Failed"), std::string::npos) << run.logName;
   EXPECT_FALSE(TxmLogKeyExists());
}

TEST_F(MainFlow, UnpackOnlyKeepsTheFiles)
{
   const LauncherRun run = Run("/s /x");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   ASSERT_TRUE(HasExtractionFolder(run)) << run.log;
   const auto files = ListFolder(temp_ / kExtractionFolder);
   EXPECT_EQ(files.size(), 2u);
   EXPECT_EQ(run.logName.find("_Failed"), std::string::npos) << "a run that ends 0 is no failure: " << run.logName;
   EXPECT_NE(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   RemoveTree(temp_ / kExtractionFolder);
}

TEST_F(MainFlow, RefusedCommandLinesInstallNothing)
{
   // Deployment tools spell silence many ways; every refused line that asks for it ends by itself
   // (a box would wait until the run's time-out), says which word was refused, installs nothing.
   for (const char* line :
        {"/s /a /a", "/s /v\"/i x.msi\"", "/s /n /x /r /mg /pv /v/qn", "/silent /v/qn", "/quiet", "/sx", "/s /qn",
         "/s extra", "-q", "/s /v/qn /norestart", "/s /v/qn extra", "/s /v\"/qn\" extra", "/x/s extra", "/w/s extra"}) {
      const LauncherRun run = Run(line);
      EXPECT_EQ(run.exitCode, 1639u) << line;
      EXPECT_TRUE(HasLine(run.log, "I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Usage:")) << line;
      EXPECT_TRUE(HasLine(run.log, "I0: Command line refused at \"")) << line << "\n" << run.log;
      EXPECT_FALSE(HasExtractionFolder(run)) << line;
      EXPECT_NE(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT) << line;
   }
}

// Each refusal: its line in the log, its exit code (never 0, and never the error of an absent
// optional key), no folder left behind, the log archived as a failed run's, no product.
TEST_F(MainFlow, RefusalsEndCleanlyWithTheirExitCodes)
{
   struct Case {
      const char* variant;
      const char* arguments;
      DWORD exitCode;
      std::vector<std::string> lines;
   };
   const Case cases[] = {
       {"printer",
        "/s",
        1633,
        {"I0: Going to install virtual printer products",
         "I0: DisplayMessageBox: \"Tessix Product Installation\" - \"This product should only be installed inside a "
         "virtual machine.\""}},
       // Without MINORUPGRADE the standard style runs: the absent key is no error of the run's.
       {"printer-standard",
        "/s",
        1633,
        {"I0: [Resource] MINORUPGRADE = <not defined>", "I0: Going to install virtual printer products"}},
       {"unnamed", "/s", 1610, {"I0: ERROR: The required resource 'PRODUCTNAME' is missing"}},
       // A product code that cannot name the extraction folder is no full disk.
       {"badcode",
        "/s",
        1610,
        {"I0: ERROR: The required resource 'PRODUCTCODE' is not a product code: \"..\\..\\Windows\"",
         "I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Setup is not configured and is unable to "
         "continue.\""}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.variant);
      ScratchDir temp(c.variant);
      LauncherOptions options;
      options.image = Variant(c.variant);
      options.arguments = c.arguments;
      const LauncherRun run = RunLauncher(options, temp);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      for (const auto& line : c.lines) {
         EXPECT_TRUE(HasLine(run.log, line)) << line << "\n" << run.log;
      }
      EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: " + std::to_string(c.exitCode)));
      EXPECT_NE(run.logName.find("_Failed.log"), std::string::npos) << run.logName;
      EXPECT_EQ(run.tempFiles.size(), 1u) << "only the archived log is left";
      EXPECT_FALSE(TxmLogKeyExists());
      EXPECT_NE(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   }
}

// Property values in the /v text written the way deployment tools write them, quotes escaped
// with a back-slash: what Windows Installer received, and the product in a folder with a blank.
TEST_F(MainFlow, QuotedPropertyValuesAsDeploymentToolsWriteThem)
{
   struct Case {
      const char* arguments;
      const char* installDir;
      const char* note; // TXNOTE
   } const cases[] = {
       {R"(/s /v"/qn INSTALLDIR=\"C:\Tessix Custom\"")", R"(C:\Tessix Custom\)", "<none>"},
       {R"(/s /v"/qn INSTALLDIR=\"C:\Tessix Custom\\\" TXNOTE=\"say \"\"hi\"\"\"")", R"(C:\Tessix Custom\)",
        R"(say "hi")"},
       {R"(/s /v"/qn INSTALLDIR="C:\Tessix Custom" TXNOTE=C:\Note\\")", R"(C:\Tessix Custom\)", R"(C:\Note\)"},
       // The whole switch quoted as one argument, as PowerShell and most tools quote an argument
       // with blanks.
       {R"(/s "/v/qn INSTALLDIR=\"C:\Tessix Custom\"")", R"(C:\Tessix Custom\)", "<none>"},
       // A back-slash before the closing quote, as scripts written for the plain reading have it.
       {R"(/s /v"/qn INSTALLDIR="C:\Tessix Custom" TXNOTE=C:\Note\")", R"(C:\Tessix Custom\)", R"(C:\Note\)"},
       // Quotes doubled inside the /v text, the older way.
       {R"(/s /v"/qn INSTALLDIR=""C:\Tessix Custom""")", R"(C:\Tessix Custom\)", "<none>"},
       // A value holding "/?" is a value, not a request for the usage text.
       {R"(/s /v"/qn INSTALLDIR=\"C:\Tessix Custom\" TXNOTE=https://host/?id=1")", R"(C:\Tessix Custom\)",
        "https://host/?id=1"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.arguments);
      ScratchDir temp("flowquote");
      LauncherOptions options;
      options.image = WinePath(TestArg(1));
      options.arguments = c.arguments;
      const LauncherRun run = RunLauncher(options, temp);
      EXPECT_EQ(run.exitCode, 0u) << run.log;
      EXPECT_EQ(ReceivedValue(temp.path(), "INSTALLDIR"), c.installDir);
      // The log shows what Windows Installer was handed.
      EXPECT_NE(run.log.find("I0:   Properties: \""), std::string::npos) << run.log;
      EXPECT_NE(run.log.find("INSTALLDIR=\"C:\\Tessix Custom"), std::string::npos) << run.log;
      EXPECT_EQ(ReceivedValue(temp.path(), "TXNOTE"), c.note);
      EXPECT_TRUE(PathExists("C:\\Tessix Custom\\readme.txt"));
      RemoveSample();
      RemoveTree("C:\\Tessix Custom");
   }
}

// A person who asks for the usage text sees it; a deployment tool that asks for it on a silent
// line finds it in the log, and neither run waits for anyone or installs anything.
TEST_F(MainFlow, UsageIsShownToAPersonAndLoggedWhenSilent)
{
   {
      BoxPresser presser(L"Tessix Product Installation", IDOK, "usage");
      const LauncherRun run = Run("/?");
      const SeenBox& box = presser.Join();
      EXPECT_EQ(box.text.rfind("Usage:", 0), 0u) << box.text;
      EXPECT_EQ(run.exitCode, 1639u) << run.log;
      EXPECT_FALSE(HasExtractionFolder(run));
   }
   for (const char* line : {"/s /?", "/quiet /?", "/w/s /?"}) {
      const LauncherRun run = Run(line);
      EXPECT_EQ(run.exitCode, 1639u) << line << "\n" << run.log;
      EXPECT_TRUE(HasLine(run.log, "I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Usage:")) << line;
      EXPECT_TRUE(HasLine(run.log, "I0: Command line asks for the usage text (/?): nothing is installed")) << line;
      EXPECT_FALSE(HasExtractionFolder(run)) << line;
   }
}

// The /l switch quoted whole, as tools quote an argument with a blank in it, writes Windows
// Installer's log where it names.
TEST_F(MainFlow, AQuotedLogSwitchWithABlankInItsPath)
{
   RemoveTree("C:\\My Logs");
   ASSERT_TRUE(CreateDirectoryW(L"C:\\My Logs", nullptr));
   const LauncherRun run = Run(R"("/l C:\My Logs\q.log" /s /v/qn)");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(PathExists("C:\\My Logs\\q.log")) << run.log;
   RemoveSample();
   RemoveTree("C:\\My Logs");
}

// Without a payload the package beside the launcher is installed, and nothing of that folder
// is deleted.
TEST_F(MainFlow, WithoutAPayloadTheLaunchersFolderServes)
{
   ScratchDir release("release");
   ASSERT_TRUE(CopyFileW(Win32U_Wide(Variant("nopayload")).c_str(), Win32U_Wide(release / "setup.exe").c_str(), FALSE));
   ASSERT_TRUE(
       CopyFileW(Win32U_Wide(WinePath(TestArg(4))).c_str(), Win32U_Wide(release / "Tessix Tools.msi").c_str(), FALSE));
   ASSERT_TRUE(CopyFileW(Win32U_Wide(WinePath(TestArg(5))).c_str(), Win32U_Wide(release / "vcredist_arm64.exe").c_str(),
                         FALSE));
   const auto before = ListFolder(release.path());

   const LauncherRun run = RunImage(release / "setup.exe", "/s /v\"/qn REBOOT=ReallySuppress\"");

   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   EXPECT_EQ(ListFolder(release.path()), before);
   EXPECT_FALSE(HasLine(run.log, "Cleaning up temp dir")) << run.log;
}

// What the host learns of a silent tools-style install, in order.
TEST_F(MainFlow, TheHostHearsTheRunInOrder)
{
   ScratchDir records("flowhost");
   CHostSimProcess host(WinePath(TestArg(3)), "", records / "record.txt");
   ASSERT_TRUE(host.ready());
   const LauncherRun run = Run("/s /v\"/qn REBOOT=ReallySuppress\"");
   ASSERT_EQ(run.exitCode, 0u) << run.log;

   // The arguments, as the program receives them.
   const std::vector<std::string> expected = SampleInstallHostLines("/s /v\"/qn REBOOT=ReallySuppress\"");
   std::vector<std::string> statusLines;
   for (const auto& entry : host.Record()) {
      if (entry.rfind("guest.log.text ", 0) != 0) {
         statusLines.push_back(entry);
      }
   }
   EXPECT_EQ(statusLines, expected);
}
