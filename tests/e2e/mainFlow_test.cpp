// Packed launchers run as an administrator's deployment tool runs them: exit code, log lines,
// what is left in the temporary folder, and what Windows Installer reports afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>

#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"

namespace {

const wchar_t kSampleProduct[] = L"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
const char kExtractionFolder[] = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}~setup";

class MainFlow : public ::testing::Test {
protected:
   void SetUp() override { RemoveSample(); }
   void TearDown() override { RemoveSample(); }

   static void RemoveSample()
   {
      MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
      if (MsiQueryProductStateW(kSampleProduct) == INSTALLSTATE_DEFAULT) {
         MsiConfigureProductExW(kSampleProduct, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT, L"");
      }
   }

   LauncherRun Run(const std::string& arguments)
   {
      LauncherOptions options;
      options.image = WinePath(TestArg(1));
      options.arguments = arguments;
      return RunLauncher(options, temp_);
   }

   ScratchDir temp_{"flow"};
};

bool HasExtractionFolder(const LauncherRun& run)
{
   for (const auto& name : run.tempFiles) {
      if (name == kExtractionFolder) {
         return true;
      }
   }
   return false;
}

} // namespace

TEST_F(MainFlow, SilentToolsStyleInstall)
{
   const LauncherRun run = Run("/s /v\"/qn REBOOT=ReallySuppress\"");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   EXPECT_TRUE(HasLine(run.log, "I0: Performing Tessix Tools style install/upgrade"));
   EXPECT_TRUE(HasLine(run.log, "I0: Silent installation = TRUE"));
   EXPECT_TRUE(HasLine(run.log, "I0: ** InstallVCRedist [vcredist_arm64.exe][ /Q /norestart]"));
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: 0"));
   EXPECT_FALSE(HasExtractionFolder(run)) << "the extraction folder is cleaned up";
   EXPECT_EQ(run.logName.find("_Failed"), std::string::npos) << run.logName;
   HKEY key = nullptr;
   EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessix, Inc.\\TxmLog", 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(MainFlow, UnpackOnlyKeepsTheFiles)
{
   const LauncherRun run = Run("/s /x");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   ASSERT_TRUE(HasExtractionFolder(run)) << run.log;
   const auto files = ListFolder(temp_ / kExtractionFolder);
   EXPECT_EQ(files.size(), 2u);
   EXPECT_NE(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT);
   RemoveTree(temp_ / kExtractionFolder);
}

TEST_F(MainFlow, RefusedCommandLinesInstallNothing)
{
   for (const char* line : {"/s /a /a", "/s /v\"/i x.msi\"", "/s /n /x /r /mg /pv /v/qn"}) {
      const LauncherRun run = Run(line);
      EXPECT_EQ(run.exitCode, 1639u) << line;
      EXPECT_TRUE(HasLine(run.log, "I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Usage:")) << line;
      EXPECT_FALSE(HasExtractionFolder(run)) << line;
      EXPECT_NE(MsiQueryProductStateW(kSampleProduct), INSTALLSTATE_DEFAULT) << line;
   }
}
