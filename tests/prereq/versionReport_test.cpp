// The version report (/pv) as a user sees it: printed on the console of the program that
// started the launcher, with the exit code read by that program.
#include <gtest/gtest.h>

#include "lib/install/processUtil.h"
#include "lib/misc/win32u.h"
#include "tests/prereq/prereqSupport.h"

namespace
{

class VersionReport : public ::testing::Test, protected LoggedTest
{
 protected:
   // Runs the runtime step with /pv in a process of its own; its exit code.
   // `alternate`: VCRUNTIME_VER_ALT and VCRUNTIME64_ALT, e.g. "14 \"alt\\x64.exe\"".
   DWORD Report(const std::string& runtime64, DWORD creationFlags, const char* version = "14",
                const std::string& alternate = "")
   {
      const std::string command = "\"" + StageHostPath() + "\" \"" + folder_ + "\" " + version + " \"" + runtime64 +
                                  "\" 1" + (alternate.empty() ? "" : " " + alternate);
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION info{};
      if (!Win32U_CreateProcess(nullptr, command.c_str(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                                &startup, &info)) {
         ADD_FAILURE() << "stage_host did not start: " << GetLastError();
         return 0xFFFFFFFF;
      }
      WaitForSingleObject(info.hProcess, 60000);
      DWORD exitCode = 0xFFFFFFFF;
      GetExitCodeProcess(info.hProcess, &exitCode);
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
      return exitCode;
   }
   std::string folder_ = temp() / "extracted";
};

} // namespace

TEST_F(VersionReport, PrintsTheLauncherAndTheRuntimeOnTheParentsConsole)
{
   ASSERT_TRUE(
       PlaceInstaller(folder_, "vcredist_arm64.exe", 0,
                      TestVersion{{14, 38, 33135, 0}, std::string("Microsoft Visual C++ 2022 Redistributable"), true}));
   std::vector<std::string> expected = ReportHeader();
   expected.push_back("Name    : Microsoft Visual C++ 2022 Redistributable");
   expected.push_back("Version : 14.38.33135.0");
   expected.push_back("File    : " + folder_ + "\\vcredist_arm64.exe");
   // Detached, as Windows starts a GUI program from a command prompt; and inheriting the
   // console, as Wine starts it.
   for (const DWORD flags : {static_cast<DWORD>(DETACHED_PROCESS), 0ul}) {
      TestConsole console;
      EXPECT_EQ(Report("vcredist_arm64.exe", flags), 0u) << flags;
      EXPECT_EQ(console.Lines(), expected) << flags;
   }
   EXPECT_TRUE(Runs().empty()) << "the report installs nothing";
   EXPECT_TRUE(Contains(Log(), "GetVCRedistVer " + folder_ +
                                   "\\vcredist_arm64.exe: Microsoft Visual C++ 2022 "
                                   "Redistributable: Version 14.38.33135.0 (returning: 0)"))
       << Log();
}

TEST_F(VersionReport, NoConfiguredRowReportsTheAlternatePackage)
{
   // The configured pass gives no 64-bit package: VCRUNTIME_VER names no row of the table, or
   // its row has no VCRUNTIME64. VCRUNTIME_VER_ALT's row has one, as in the runtime stage.
   ASSERT_TRUE(PlaceInstaller(folder_, "alt\\vcredist_x64.exe", 0,
                              TestVersion{{14, 40, 33810, 0}, std::string("Alternate Runtime"), true}));
   std::vector<std::string> expected = ReportHeader();
   expected.push_back("Name    : Alternate Runtime");
   expected.push_back("Version : 14.40.33810.0");
   expected.push_back("File    : " + folder_ + "\\alt\\vcredist_x64.exe");
   const struct {
      const char* runtime64;
      const char* version;
   } cases[] = {{"vcredist_arm64.exe", "13"}, {"", "14"}};
   for (const auto& c : cases) {
      TestConsole console;
      EXPECT_EQ(Report(c.runtime64, DETACHED_PROCESS, c.version, "14 \"alt\\vcredist_x64.exe\""), 0u) << Log();
      EXPECT_EQ(console.Lines(), expected) << c.version << " \"" << c.runtime64 << "\"";
   }
   EXPECT_TRUE(Runs().empty()) << "the report installs nothing";
}

TEST_F(VersionReport, AnUnreadableRuntimeIsReportedWithItsError)
{
   CreateDirectoryW(Win32U_Wide(folder_).c_str(), nullptr);
   ASSERT_TRUE(PlaceInstaller(folder_, "noname.exe", 0, TestVersion{{14, 0, 0, 0}, std::nullopt, true}));
   std::vector<std::string> expected = ReportHeader();
   expected.push_back("ERROR: Failed to get the VC Redist version.");
   expected.push_back("Please refer to txinst.log for the details and check the file version manually.");
   const struct {
      const char* runtime64;
      const char* version;
      const char* line;
   } cases[] = {
       {"vcredist_arm64.exe", "14", "GetVersionInfo ERROR: Failed to get info size of "},
       {"noname.exe", "14",
        "ProductName - Retrieved data is not a string, or poorly formatted (language=1033, "
        "codePage=1200)."},
       {"vcredist_arm64.exe", "13", "GetVCRedistVer ERROR: Failed to get "}, // no row for the version
   };
   for (const auto& c : cases) {
      TestConsole console;
      const DWORD exitCode = Report(c.runtime64, DETACHED_PROCESS, c.version);
      EXPECT_NE(exitCode, 0u) << c.runtime64;
      EXPECT_EQ(console.Lines(), expected) << c.runtime64;
      EXPECT_TRUE(Contains(Log(), c.line)) << c.line << "\n" << Log();
   }
   EXPECT_TRUE(Contains(Log(), "GetVCRedistVer ERROR: Failed to get " + folder_ +
                                   "\\vcredist_arm64.exe file info "
                                   "data."))
       << Log();
}

TEST_F(VersionReport, WithoutAConsoleTheAttachErrorIsTheExitCode)
{
   FreeConsole();
   const DWORD exitCode = Report("vcredist_arm64.exe", DETACHED_PROCESS);
   EXPECT_NE(exitCode, 0u);
   EXPECT_TRUE(Contains(Log(), "Failed to attach parent's console (err = " + std::to_string(exitCode) + ").")) << Log();
}

TEST_F(VersionReport, LeavesTheInstalledToolsRunning)
{
   InstalledTools tools;
   ASSERT_TRUE(tools.StartUserProcess());
   for (int i = 0; i < 100 && !tools.UserProcessRunning(); i++) {
      Sleep(20);
   }
   ASSERT_TRUE(
       PlaceInstaller(folder_, "vcredist_arm64.exe", 0, TestVersion{{14, 38, 33135, 0}, std::string("Runtime"), true}));
   TestConsole console;
   EXPECT_EQ(Report("vcredist_arm64.exe", DETACHED_PROCESS), 0u);
   EXPECT_TRUE(tools.UserProcessRunning());
   EXPECT_FALSE(Contains(Log(), "Stop TXTools")) << Log();
}
