// The engine gate and the VC runtime step, run in this process against the stand-in
// installers and the stand-in tools; and the Windows 11 check from a process that Windows
// reports as older.
#include "apps/install/setup/runtimeStage.h"

#include <gtest/gtest.h>

#include <thread>

#include "apps/install/setup/ui/uiState.h"
#include "lib/install/msiUtil.h"
#include "lib/install/processUtil.h"
#include "lib/install/serviceUtil.h"
#include "lib/misc/win32u.h"
#include "tests/prereq/prereqSupport.h"

namespace
{

constexpr uint32_t kNotAProgram = 0xFFFFFFFF; // a package file that is not a program

RuntimeSettings Settings(uint32_t version, uint32_t versionAlt, const char* r64, const char* r32Alt = "")
{
   RuntimeSettings s;
   s.version = version;
   s.versionAlt = versionAlt;
   s.runtime64 = r64;
   s.runtime32Alt = r32Alt;
   return s;
}

const TestVersion kRuntimeVersion{{14, 38, 33135, 0}, std::string("Microsoft Visual C++ 2022 Redistributable"), true};

std::vector<std::string> hostLines;
void RecordHostLine(const char* line)
{
   hostLines.emplace_back(line);
}

class PrereqStage : public ::testing::Test, protected LoggedTest
{
 protected:
   void SetUp() override
   {
      module_ = LoadLibraryExW(Win32U_Wide(LauncherPath()).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
      ASSERT_NE(module_, nullptr);
      ctx_.isAdmin = true;
      ctx_.silent = true;
      ctx_.windowTitle = "Title";
      silentFlag = &ctx_.silent;
      hostLines.clear();
      CreateDirectoryW(Win32U_Wide(folder_).c_str(), nullptr);
   }
   void TearDown() override
   {
      silentFlag = nullptr;
      FreeLibrary(module_);
   }
   // The extraction folder's name as the launcher keeps it, ending with a back-slash.
   std::string Extraction() const { return folder_ + "\\"; }
   std::string Run(const std::string& path, const std::string& arguments) const
   {
      const std::string name = path.substr(path.find_last_of('\\') + 1);
      return name + "|\"" + Extraction() + path + "\" " + arguments;
   }

   // The shipped step while the tools run (the TXTools service and its user process), with a
   // Restart Manager that stops services or fails at `failAt`.
   StageResult RunWithToolsRunning(InstalledTools& tools, uint32_t packageResult, FakeRestartManager::FailAt failAt)
   {
      EXPECT_TRUE(tools.RegisterService());
      EXPECT_TRUE(Inst_StartService("TXTools"));
      EXPECT_TRUE(tools.StartUserProcess());
      EXPECT_TRUE(PlaceInstaller(folder_, "vcredist_arm64.exe", packageResult, kRuntimeVersion));
      FakeRestartManager::Install(failAt);
      const StageResult result =
          RunRuntimePackagesStep(ctx_, module_, Settings(14, 0, "vcredist_arm64.exe"), Extraction(), nullptr);
      FakeRestartManager::Remove();
      return result;
   }

   HMODULE module_ = nullptr;
   SetupContext ctx_;
   std::string folder_ = temp() / "extracted";
};

} // namespace

TEST_F(PrereqStage, RuntimeStepConfigurations)
{
   struct Package {
      const char* path;
      uint32_t exitCode;
   };
   struct Expected {
      const char* path;
      const char* arguments;
   };
   const struct {
      const char* name;
      RuntimeSettings settings;
      std::vector<Package> packages;
      bool admin;
      bool noSystemChange;
      StageResult result;
      int32_t exitCode;
      std::vector<Expected> runs;
      std::vector<std::string> lines;
   } cases[] = {
       {"shipped: the Arm64 package after the build check",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 0}},
        true,
        false,
        StageResult::Continue,
        0,
        {{"vcredist_arm64.exe", " /Q /norestart"}},
        {"Skipping VC Redist 32-bit installation.", "** InstallVCRedist [vcredist_arm64.exe][ /Q /norestart]"}},
       {"VCRUNTIME_VER 0: the default names of every row, absent ones passed",
        Settings(0, 0, ""),
        {{"vc140\\vcredist_arm64.exe", 0}, {"vc90\\vcredist_x86.exe", 0}, {"vc140\\vcredist_x64.exe", 0}},
        true,
        false,
        StageResult::Continue,
        0,
        {{"vc140\\vcredist_arm64.exe", " /Q /norestart"},
         {"vc90\\vcredist_x86.exe", " /Q"},
         {"vc140\\vcredist_x64.exe", " /Q /norestart"}},
        {"Look for VC 9 x32 runtime libraries.",
         "install state for product code {1F1C2DFC-2D24-3E06-BCB8-725134ADF989} = -1",
         "VC 9 x32 runtime libraries need to be installed", "** InstallVCRedist [vcredist_arm64.exe][ /Q /C:"}},
       {"_ALT row after the configured one",
        Settings(14, 12, "vcredist_arm64.exe", "alt\\vc12_x86.exe"),
        {{"vcredist_arm64.exe", 0}, {"alt\\vc12_x86.exe", 0}},
        true,
        false,
        StageResult::Continue,
        0,
        {{"vcredist_arm64.exe", " /Q /norestart"}, {"alt\\vc12_x86.exe", " /Q"}},
        {"Skipping VC Redist Alt 64-bit installation.", "Look for VC 12 x32 runtime libraries."}},
       {"absent installer file passed silently",
        Settings(14, 0, "vcredist_arm64.exe"),
        {},
        true,
        false,
        StageResult::Continue,
        0,
        {},
        {"** InstallVCRedist [vcredist_arm64.exe][ /Q /norestart]"}},
       {"no row for the configured version",
        Settings(13, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 0}},
        true,
        false,
        StageResult::Continue,
        0,
        {},
        {}},
       {"3010: a restart, before the product",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 3010}},
        true,
        false,
        StageResult::RestartOffer,
        3010,
        {{"vcredist_arm64.exe", " /Q /norestart"}},
        {"vc redist returned ERROR_SUCCESS_REBOOT_REQUIRED",
         "Reboot required by VC Redist installation. Setting return code to ERROR_SUCCESS_REBOOT_REQUIRED"}},
       {"1638: a newer runtime is there",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 1638}},
        true,
        false,
        StageResult::Continue,
        0,
        {{"vcredist_arm64.exe", " /Q /norestart"}},
        {"vc redist returned 1638: A newer version is already installed"}},
       {"5100: a newer runtime is there",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 5100}},
        true,
        false,
        StageResult::Continue,
        0,
        {{"vcredist_arm64.exe", " /Q /norestart"}},
        {"vc redist returned 5100: A newer version is already installed"}},
       {"1603: message 60, and nothing after the failed package",
        Settings(14, 12, "vcredist_arm64.exe", "alt\\vc12_x86.exe"),
        {{"vcredist_arm64.exe", 1603}, {"alt\\vc12_x86.exe", 0}},
        true,
        false,
        StageResult::EndRun,
        1603,
        {{"vcredist_arm64.exe", " /Q /norestart"}},
        {"Launching VC dll installer failed with 1603.",
         "The Microsoft Runtime DLL installer failed to complete installation."}},
       {"a package that cannot be started is a failure, not a success",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", kNotAProgram}},
        true,
        false,
        StageResult::EndRun,
        1603,
        {},
        {"Failed to launch VC redist installer.",
         "The Microsoft Runtime DLL installer failed to complete installation."}},
       {"no administrator rights: message 58",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 0}},
        false,
        false,
        StageResult::EndRun,
        1603,
        {},
        {"Cannot install VC redistributables [vcredist_arm64.exe] as non-admin.",
         "Admin privileges are required for upgrading the Microsoft Runtime DLLs."}},
       {"/n skips the step",
        Settings(14, 0, "vcredist_arm64.exe"),
        {{"vcredist_arm64.exe", 0}},
        true,
        true,
        StageResult::Continue,
        0,
        {},
        {"No system modification specified. Skipping VC Redist installation."}},
   };
   for (const auto& c : cases) {
      RemoveTree(folder_);
      CreateDirectoryW(Win32U_Wide(folder_).c_str(), nullptr);
      DeleteFileW(Win32U_Wide(temp() / "standins.log").c_str());
      for (const Package& p : c.packages) {
         if (p.exitCode == kNotAProgram) {
            ASSERT_TRUE(WriteTextFile(folder_ + "\\" + p.path, "not a program"));
         } else {
            ASSERT_TRUE(PlaceInstaller(folder_, p.path, p.exitCode, kRuntimeVersion)) << c.name;
         }
      }
      SetupContext ctx = ctx_;
      ctx.isAdmin = c.admin;
      ctx.noSystemChange = c.noSystemChange;
      const size_t logStart = Log().size();
      EXPECT_EQ(RunRuntimePackagesStep(ctx, module_, c.settings, Extraction(), RecordHostLine), c.result) << c.name;
      EXPECT_EQ(ctx.exitCode, c.exitCode) << c.name;
      EXPECT_EQ(ctx.vcRebootNeeded, c.exitCode == 3010) << c.name;
      std::vector<std::string> expectedRuns;
      for (const Expected& e : c.runs) {
         expectedRuns.push_back(Run(e.path, e.arguments));
      }
      EXPECT_EQ(Runs(), expectedRuns) << c.name;
      const std::string log = Log().substr(logStart);
      for (const std::string& line : c.lines) {
         EXPECT_TRUE(Contains(log, line)) << c.name << ": " << line << "\n" << log;
      }
      EXPECT_FALSE(Contains(log, "Stop TXTools")) << c.name << ": the tools do not run here";
   }
   EXPECT_EQ(hostLines, std::vector<std::string>{"log Reboot required by VC Redist"});
}

namespace
{

// Windows Installer as a machine with the second VC 8 x86 runtime and the VC 12 x64 runtime.
INSTALLSTATE WINAPI FakeProductState(LPCWSTR productCode)
{
   const std::wstring code = productCode;
   return code == L"{837B34E3-7C30-493C-8F6A-2B0F04E2912C}" || code == L"{A749D8E6-B613-3BE3-8F5F-045C84EBA29B}"
              ? INSTALLSTATE_DEFAULT
              : INSTALLSTATE_UNKNOWN;
}

} // namespace

TEST_F(PrereqStage, AnInstalledRuntimeIsNotInstalledAgain)
{
   ASSERT_NE(MsiUtil_Api(), nullptr);
   MsiApi fake = *MsiUtil_Api();
   fake.queryProductState = FakeProductState;
   MsiUtil_SetApiForTest(&fake);
   RuntimeSettings settings = Settings(12, 8, "vc12_x64.exe");
   settings.runtime32 = "vc12_x86.exe";
   settings.runtime32Alt = "vc8_x86.exe";
   for (const char* path : {"vc12_x64.exe", "vc12_x86.exe", "vc8_x86.exe"}) {
      ASSERT_TRUE(PlaceInstaller(folder_, path, 0, kRuntimeVersion));
   }
   const StageResult result = RunRuntimePackagesStep(ctx_, module_, settings, Extraction(), nullptr);
   MsiUtil_SetApiForTest(nullptr);

   EXPECT_EQ(result, StageResult::Continue);
   EXPECT_EQ(Runs(), std::vector<std::string>{Run("vc12_x86.exe", " /Q")});
   const std::string log = Log();
   ExpectLines(log, {"VC 12 x64 runtimes are already installed", "VC 8 x32 runtimes are already installed",
                     "install state for product code {7299052b-02a4-4627-81f2-1818da5d550d} = -1"});
   EXPECT_FALSE(Contains(log, "install state for product code {710F4C1C-CC18-4C49-8CBF-51240C89A1A2}"))
       << "the first installed code ends the search";
}

TEST_F(PrereqStage, ProgressAdvancesOncePerPackageAndFourTimesAfter)
{
   ASSERT_TRUE(PlaceInstaller(folder_, "vcredist_arm64.exe", 0, kRuntimeVersion));
   MSG message;
   PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // this thread gets a message queue
   ctx_.progressThreadId = GetCurrentThreadId();
   EXPECT_EQ(RunRuntimePackagesStep(ctx_, module_, Settings(14, 0, "vcredist_arm64.exe"), Extraction(), nullptr),
             StageResult::Continue);
   int increments = 0;
   while (PeekMessageW(&message, nullptr, 0x800A, 0x800A, PM_REMOVE)) {
      EXPECT_EQ(message.lParam, 5);
      increments++;
   }
   EXPECT_EQ(increments, 5);
}

TEST_F(PrereqStage, ToolsAreStoppedBeforeAndStartedAfter)
{
   InstalledTools tools;
   const StageResult result = RunWithToolsRunning(tools, 0, FakeRestartManager::FailAt::Nothing);

   EXPECT_EQ(result, StageResult::Continue);
   EXPECT_TRUE(ctx_.toolsServicesStopped);
   EXPECT_EQ(FakeRestartManager::registered, (std::vector<std::wstring>{L"TXTools", L"TGAuthService", L"txvss"}));
   EXPECT_FALSE(tools.UserProcessRunning());
   EXPECT_EQ(tools.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
   const std::string log = Log();
   const size_t stop = log.find("Stop TXTools system and user process for VC redistributable package install.");
   const size_t install = log.find("** InstallVCRedist [vcredist_arm64.exe]");
   const size_t restart = log.find("Restart TXTools service after VC redistributable install");
   ASSERT_NE(stop, std::string::npos) << log;
   ASSERT_NE(restart, std::string::npos) << log;
   EXPECT_LT(stop, install);
   EXPECT_LT(install, restart);
   EXPECT_FALSE(Contains(log, "Failed to stop TXTools")) << log;
}

TEST_F(PrereqStage, EveryWayOutOfTheStageStartsTheToolsAgain)
{
   const struct {
      const char* what;
      uint32_t packageResult;
      bool admin;
      int32_t exitCode;
      const char* line;
   } cases[] = {
       {"the runtime installer fails", 1603, true, 1603, "Launching VC dll installer failed with 1603."},
       {"no administrator rights: message 58", 0, false, 1603,
        "Cannot install VC redistributables [vcredist_arm64.exe] as non-admin."},
   };
   for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      InstalledTools tools;
      ctx_ = SetupContext{};
      ctx_.isAdmin = c.admin;
      ctx_.silent = true;
      ctx_.windowTitle = "Title";
      const size_t logStart = Log().size();
      const StageResult result = RunWithToolsRunning(tools, c.packageResult, FakeRestartManager::FailAt::Nothing);

      EXPECT_EQ(result, StageResult::EndRun);
      EXPECT_EQ(ctx_.exitCode, c.exitCode);
      EXPECT_EQ(tools.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
      EXPECT_FALSE(tools.UserProcessRunning()) << "the user process is not started again";
      const std::string log = Log().substr(logStart);
      ExpectLines(log, {"Stop TXTools system and user process for VC redistributable package install.", c.line,
                        "Restart TXTools service after VC redistributable install"});
      EXPECT_LT(log.find(c.line), log.find("Restart TXTools service")) << log;
   }
}

TEST_F(PrereqStage, WhenStoppingFailsTheRunLogsAndGoesOn)
{
   InstalledTools tools;
   const StageResult result = RunWithToolsRunning(tools, 0, FakeRestartManager::FailAt::Shutdown);

   EXPECT_EQ(result, StageResult::Continue);
   EXPECT_EQ(Runs().size(), 1u);
   const std::string log = Log();
   EXPECT_TRUE(Contains(log, "Failed to stop TXTools services for VC redistributable install.")) << log;
   EXPECT_FALSE(Contains(log, "Failed to stop TXTools user process")) << log;
   // The service never stopped, so its process still runs and nothing is restarted.
   EXPECT_EQ(tools.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
   EXPECT_FALSE(Contains(log, "Restart TXTools service")) << log;
}

TEST_F(PrereqStage, EngineGate)
{
   const TestVersion upgrader15{{15, 0, 0, 0}, std::string("Windows Installer"), true};
   const TestVersion upgrader101{{10, 1, 0, 0}, std::string("Windows Installer"), true};
   const TestVersion upgrader31{{3, 1, 4000, 0}, std::string("Windows Installer"), true};
   const struct {
      const char* name;
      uint32_t minimum;
      bool admin;
      const char* upgrader; // configured name, null: none
      bool placed;          // the upgrader is in the payload
      std::optional<TestVersion> version;
      uint32_t upgraderResult;
      StageResult result;
      int32_t exitCode;
      bool reboot;
      const char* arguments; // the upgrader's expected arguments, null: it does not run
      std::vector<std::string> lines;
   } cases[] = {
       {"Wine's 4.5 meets 300",
        300,
        true,
        "instmsiw.exe",
        true,
        upgrader15,
        0,
        StageResult::Continue,
        0,
        false,
        nullptr,
        {"IsMsiUpgradeNecessary: No upgrade is necessary. Windows Installer version 405 meets minimum requirements"}},
       {"not administrator: message 26",
        500,
        false,
        "instmsiw.exe",
        true,
        upgrader15,
        0,
        StageResult::EndRun,
        1603,
        false,
        nullptr,
        {"IsMsiUpgradeNecessary: Windows Installer upgrade is required. System Version = 405, Minimum Version = 500",
         "Upgrade of Windows Installer is requested",
         "Admin privileges are required for upgrading the Windows Installer."}},
       {"no upgrader configured",
        500,
        true,
        nullptr,
        false,
        std::nullopt,
        0,
        StageResult::EndRun,
        1603,
        false,
        nullptr,
        {"ERROR: OS requires MSI upgrade, but upgrader not available"}},
       {"upgrader missing: 2 and message 28",
        500,
        true,
        "instmsiw.exe",
        false,
        std::nullopt,
        0,
        StageResult::EndRun,
        2,
        false,
        nullptr,
        {"Setup was unable to find the instmsi file '"}},
       {"upgrader too old: 87 and message 31",
        500,
        true,
        "instmsiw.exe",
        true,
        upgrader101,
        0,
        StageResult::EndRun,
        87,
        false,
        nullptr,
        {"IsInstMsiRequiredVersion: InstMsi is improper version for upgrade. InstMsi Version = 1, Minimum Version = "
         "500",
         "The provided instmsi upgrade executable '"}},
       {"upgrader without a version: 87",
        500,
        true,
        "instmsiw.exe",
        true,
        std::nullopt,
        0,
        StageResult::EndRun,
        87,
        false,
        nullptr,
        {"IsInstMsiRequiredVersion: Can't obtain version information for instmsi; assuming it is not the proper "
         "version"}},
       {"upgrader 3010: the reason MSI",
        500,
        true,
        "instmsiw.exe",
        true,
        upgrader15,
        3010,
        StageResult::Continue,
        3010,
        true,
        " /quiet /norestart /log:\"%temp%\\tx_wi31.log\"",
        {"ExecuteUpgradeMsi: Running instmsi from --> ", "MSI Upgrade required a reboot",
         "Windows Installer has been upgraded"}},
       {"an upgrader below 10.0 passes the version check",
        500,
        true,
        "instmsi2k.exe",
        true,
        upgrader31,
        0,
        StageResult::Continue,
        0,
        false,
        " /c:\"msiinst /delayrebootq\"",
        {"Windows Installer has been upgraded"}},
       {"upgrader fails: message 29",
        500,
        true,
        "instmsiw.exe",
        true,
        upgrader15,
        1603,
        StageResult::EndRun,
        1603,
        false,
        " /quiet /norestart /log:\"%temp%\\tx_wi31.log\"",
        {"Setup was unable to upgrade the Windows Installer."}},
       {"upgrader cancelled: message 24",
        500,
        true,
        "instmsiw.exe",
        true,
        upgrader15,
        1602,
        StageResult::EndRun,
        1602,
        false,
        " /quiet /norestart /log:\"%temp%\\tx_wi31.log\"",
        {"Setup was canceled"}},
   };
   for (const auto& c : cases) {
      RemoveTree(folder_);
      CreateDirectoryW(Win32U_Wide(folder_).c_str(), nullptr);
      DeleteFileW(Win32U_Wide(temp() / "standins.log").c_str());
      if (c.placed) {
         ASSERT_TRUE(PlaceInstaller(folder_, c.upgrader, c.upgraderResult, c.version)) << c.name;
      }
      SetupContext ctx = ctx_;
      ctx.isAdmin = c.admin;
      EngineSettings engine;
      engine.minimumMsi9x = 200;
      engine.minimumMsiNt = c.minimum;
      if (c.upgrader != nullptr) {
         engine.upgrader = c.upgrader;
      }
      const size_t logStart = Log().size();
      EXPECT_EQ(RunEngineStage(ctx, module_, engine, Extraction()), c.result) << c.name;
      EXPECT_EQ(ctx.exitCode, c.exitCode) << c.name;
      EXPECT_EQ(ctx.engineRebootNeeded, c.reboot) << c.name;
      // The upgrader's command has no blank of its own before the arguments.
      const std::vector<std::string> expectedRuns =
          c.arguments != nullptr ? std::vector<std::string>{std::string(c.upgrader) + "|\"" + Extraction() +
                                                            c.upgrader + "\"" + c.arguments}
                                 : std::vector<std::string>{};
      EXPECT_EQ(Runs(), expectedRuns) << c.name;
      const std::string log = Log().substr(logStart);
      for (const std::string& line : c.lines) {
         EXPECT_TRUE(Contains(log, line)) << c.name << ": " << line << "\n" << log;
      }
   }
}

TEST_F(PrereqStage, DecliningTheEngineUpgradeCancelsTheRun)
{
   ASSERT_TRUE(PlaceInstaller(folder_, "instmsiw.exe", 0, TestVersion{{15, 0, 0, 0}, std::string("x"), true}));
   silentFlag = nullptr;
   ctx_.silent = false;
   // Answer No to the question, then close the notice that follows.
   std::thread answer([] {
      for (const int button : {IDNO, IDOK}) {
         for (int i = 0; i < 200; i++) {
            HWND box = FindWindowW(L"#32770", L"Title");
            if (box != nullptr) {
               PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
               while (IsWindow(box)) {
                  Sleep(20);
               }
               break;
            }
            Sleep(50);
         }
      }
   });
   EngineSettings engine;
   engine.minimumMsiNt = 500;
   engine.upgrader = "instmsiw.exe";
   EXPECT_EQ(RunEngineStage(ctx_, module_, engine, Extraction()), StageResult::EndRun);
   answer.join();
   EXPECT_EQ(ctx_.exitCode, 1602);
   EXPECT_TRUE(Runs().empty());
   EXPECT_TRUE(Contains(Log(), "This package requires a newer version of the Windows Installer.")) << Log();
   EXPECT_TRUE(Contains(Log(), "Setup was canceled")) << Log();
}

TEST_F(PrereqStage, WindowsBuildCheck)
{
   // This test program's manifest lets Wine report the prefix's Windows 11, build 22000.
   EXPECT_TRUE(IsWindowsBuildAtLeast(22000));
   EXPECT_TRUE(IsWindowsBuildAtLeast(19041));
   EXPECT_FALSE(IsWindowsBuildAtLeast(22001));
}

TEST_F(PrereqStage, TheVersion14RuntimeNeedsWindows11)
{
   // stage_host has no manifest: Windows reports version 6.2 to it. The refusal comes before
   // anything is stopped: the tools running in the guest are left alone.
   InstalledTools tools;
   ASSERT_TRUE(tools.RegisterService());
   ASSERT_TRUE(Inst_StartService("TXTools"));
   ASSERT_TRUE(tools.StartUserProcess());
   ASSERT_TRUE(PlaceInstaller(folder_, "vcredist_arm64.exe", 0, kRuntimeVersion));
   const std::string command = "\"" + StageHostPath() + "\" \"" + folder_ + "\" 14 vcredist_arm64.exe 0";
   STARTUPINFOW startup{};
   startup.cb = sizeof startup;
   PROCESS_INFORMATION info{};
   ASSERT_TRUE(
       Win32U_CreateProcess(nullptr, command.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
   WaitForSingleObject(info.hProcess, 60000);
   DWORD exitCode = 0;
   GetExitCodeProcess(info.hProcess, &exitCode);
   CloseHandle(info.hProcess);
   CloseHandle(info.hThread);
   EXPECT_EQ(exitCode, 15613u);
   EXPECT_TRUE(Runs().empty());
   EXPECT_TRUE(Contains(Log(), "ERROR: This version of Windows is not supported by this product! Minimum supported OS "
                               "version is Windows 11 (OS Build 10.0.22000.0)."))
       << Log();
   EXPECT_FALSE(Contains(Log(), "Stop TXTools")) << Log();
   EXPECT_TRUE(tools.UserProcessRunning());
   EXPECT_EQ(tools.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
}
