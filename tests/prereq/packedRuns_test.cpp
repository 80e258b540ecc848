// Packed launchers run as an administrator's deployment tool runs them, with stand-ins in their
// payload for the VC runtime installer and the engine upgrader, on a guest whose tools may be
// running: what the run does around the product install, and its exit code.
#include <windows.h>

#include <msi.h>

#include <gtest/gtest.h>

#include "lib/install/processUtil.h"
#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"
#include "tests/e2e/sampleProduct.h"
#include "tests/prereq/prereqSupport.h"

namespace
{

const char kSilentInstall[] = "/s /v\"/qn REBOOT=ReallySuppress\"";

std::string ToolsLauncher()
{
   return WinePath(TestArg(5));
}

std::string EngineLauncher()
{
   return WinePath(TestArg(6));
}

class PackedRuns : public ::testing::Test
{
 protected:
   void SetUp() override { RemoveSample(); }
   void TearDown() override { RemoveSample(); }

   // `exitCodes`: the stand-ins' exit codes, "<file name>=<code>;...".
   LauncherRun Run(const std::string& image, const std::string& arguments, const std::string& exitCodes = "")
   {
      LauncherOptions options;
      options.image = image;
      options.arguments = arguments;
      options.environment = {{"TX_STANDIN_LOG", standIns_}, {"TX_STANDIN_EXITCODES", exitCodes}};
      return RunLauncher(options, temp_);
   }
   std::vector<std::string> StandInRuns() const { return SplitLines(ReadTextFile(standIns_)); }
   // The runtime stand-in's record for a run of the launcher in temp_.
   std::string RuntimeRun() const
   {
      return "vcredist_arm64.exe|\"" + (temp_ / kExtractionFolder) + "\\vcredist_arm64.exe\"  /Q /norestart";
   }

   ScratchDir temp_{"packed"};
   ScratchDir records_{"records"};
   std::string standIns_ = records_ / "standins.log";
};

} // namespace

TEST_F(PackedRuns, SilentInstallRunsTheRuntimeBeforeTheProduct)
{
   const LauncherRun run = Run(ToolsLauncher(), kSilentInstall);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_EQ(StandInRuns(), std::vector<std::string>{RuntimeRun()});
   ExpectLines(run.log, {"I0: Skipping VC Redist 32-bit installation.",
                         "I0: IsMsiUpgradeNecessary: No upgrade is necessary. Windows Installer version 405 meets "
                         "minimum requirements"});
   EXPECT_FALSE(Contains(run.log, "Stop TXTools")) << "the tools do not run in this guest";
}

TEST_F(PackedRuns, ARuntimeThatAsksForARestartStopsBeforeTheProduct)
{
   const LauncherRun run = Run(ToolsLauncher(), kSilentInstall, "vcredist_arm64.exe=3010");
   EXPECT_EQ(run.exitCode, 3010u) << run.log;
   EXPECT_FALSE(SampleInstalled());
   ExpectLines(run.log, {"I0: vc redist returned ERROR_SUCCESS_REBOOT_REQUIRED",
                         "I0: Reboot required by VC Redist installation. Setting return code to "
                         "ERROR_SUCCESS_REBOOT_REQUIRED",
                         "I0: Setup exit code is: 3010"});
}

TEST_F(PackedRuns, AFailingRuntimeEndsTheRun)
{
   for (const char* codes : {"vcredist_arm64.exe=1603", "vcredist_arm64.exe=1"}) {
      const LauncherRun run = Run(ToolsLauncher(), kSilentInstall, codes);
      EXPECT_EQ(run.exitCode, 1603u) << codes << "\n" << run.log;
      EXPECT_FALSE(SampleInstalled()) << codes;
      ExpectLines(run.log, {"I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Setup cannot continue.  The "
                            "Microsoft Runtime DLL installer failed to complete installation.\""});
   }
}

TEST_F(PackedRuns, ANewerRuntimeIsNoFailure)
{
   for (const char* codes : {"vcredist_arm64.exe=1638", "vcredist_arm64.exe=5100"}) {
      const LauncherRun run = Run(ToolsLauncher(), kSilentInstall, codes);
      EXPECT_EQ(run.exitCode, 0u) << codes << "\n" << run.log;
      EXPECT_TRUE(SampleInstalled()) << codes;
      RemoveSample();
   }
}

TEST_F(PackedRuns, NoSystemChangeSkipsOnlyTheRuntime)
{
   const LauncherRun run = Run(ToolsLauncher(), "/s /n /v\"/qn REBOOT=ReallySuppress\"");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_TRUE(StandInRuns().empty());
   ExpectLines(run.log, {"I0: No system modification specified. Skipping VC Redist installation."});
}

TEST_F(PackedRuns, PrintVersionsReportsWithoutInstalling)
{
   TestConsole console;
   const LauncherRun run = Run(ToolsLauncher(), "/pv");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(console.Lines(), StandInVersionReport(temp_ / kExtractionFolder)) << run.log;
   EXPECT_FALSE(SampleInstalled());
   EXPECT_TRUE(StandInRuns().empty());
}

TEST_F(PackedRuns, TheToolsServiceRunsAgainAfterTheRuntime)
{
   // The tools' service is registered but stopped, their user process runs: Wine's Restart
   // Manager stops nothing, so what the run stops is the user process, and afterwards it
   // starts the service.
   InstalledTools tools;
   ASSERT_TRUE(tools.RegisterService());
   ASSERT_TRUE(tools.StartUserProcess());
   const LauncherRun run = Run(ToolsLauncher(), kSilentInstall);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_FALSE(tools.UserProcessRunning());
   EXPECT_EQ(tools.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
   ExpectLines(run.log, {"I0: Stop TXTools system and user process for VC redistributable package install.",
                         "I0: Restart TXTools service after VC redistributable install"});
   EXPECT_FALSE(Contains(run.log, "Failed to stop TXTools")) << run.log;
   EXPECT_FALSE(Contains(run.log, "Failed to start TXTools")) << run.log;
}

TEST_F(PackedRuns, AnOldEngineIsUpgradedFirst)
{
   // MINIMUM_NT_MSI 500 against Wine's 4.5, and "instmsiw.exe" in the payload.
   // The engine's restart need outlives the product install: a silent run ends with 3010.
   const LauncherRun run = Run(EngineLauncher(), kSilentInstall, "instmsiw.exe=3010");
   EXPECT_EQ(run.exitCode, 3010u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   const std::string folder = temp_ / kExtractionFolder;
   EXPECT_EQ(StandInRuns(),
             (std::vector<std::string>{"instmsiw.exe|\"" + folder +
                                           "\\instmsiw.exe\" /quiet /norestart /log:\"%temp%\\tx_wi31.log\"",
                                       RuntimeRun()}));
   ExpectLines(run.log, {"I0: Upgrade of Windows Installer is requested", "I0: MSI Upgrade required a reboot",
                         "I0: Windows Installer has been upgraded", "I0: InstallProduct() returned: 0",
                         "I0: Reboot required by [MSI], prompting user", "I0: Setup exit code is: 3010"});

   RemoveSample();
   const LauncherRun failed = Run(EngineLauncher(), kSilentInstall, "instmsiw.exe=1603");
   EXPECT_EQ(failed.exitCode, 1603u) << failed.log;
   EXPECT_FALSE(SampleInstalled());
}
