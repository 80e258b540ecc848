// The launcher run as a user runs it: a separate process, its real exit code, its log.
#include <gtest/gtest.h>

#include <regex>

#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"

namespace {

// Runs the bare launcher silently: it has no configuration, so it stops early, but only after
// its start-up logging, and archives its log as a failed run's.
LauncherRun RunSetup(const ScratchDir& temp)
{
   LauncherOptions options;
   options.image = WinePath(TestArg(1));
   options.arguments = "/s";
   options.timeoutMs = 60000;
   return RunLauncher(options, temp);
}

// A left-over of an earlier run was last written then, not now.
void AgeByAnHour(const std::string& path)
{
   HANDLE file = CreateFileW(Win32U_Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
   FILETIME t;
   GetSystemTimeAsFileTime(&t);
   ULARGE_INTEGER v{{t.dwLowDateTime, t.dwHighDateTime}};
   v.QuadPart -= 36000000000ULL;
   t = FILETIME{v.LowPart, v.HighPart};
   SetFileTime(file, nullptr, nullptr, &t);
   CloseHandle(file);
}

} // namespace

TEST(SetupRun, RunsLogsAndArchivesItsLog)
{
   ScratchDir temp("run");
   const LauncherRun run = RunSetup(temp);
   EXPECT_EQ(run.exitCode, 1610u) << "an unconfigured launcher is refused";
   ASSERT_EQ(run.tempFiles.size(), 1u) << "the live log is archived, nothing else is left";
   EXPECT_TRUE(std::regex_match(run.tempFiles[0], std::regex(R"(txinst\.log_\d{8}_\d{6}_Failed\.log)"))) << run.tempFiles[0];
   const auto lines = SplitLines(run.log);
   ASSERT_GE(lines.size(), 10u) << run.log;
   const std::regex tagged(R"(\d{4}-.*\| (BootStrapper|inst)-build-\d+\| [A-Z][0-9]: .*)"); // the log names are read before logging starts
   for (const auto& line : lines) {
      EXPECT_TRUE(std::regex_match(line, tagged)) << line;
   }
   EXPECT_NE(run.log.find("I0: Operating system info:\n"), std::string::npos);
   EXPECT_NE(run.log.find("I0:    Major version = 10\n"), std::string::npos);
   EXPECT_NE(run.log.find("I0:    Build number  = 22000\n"), std::string::npos) << "the prefix is not Windows 11";
   EXPECT_NE(run.log.find("I0:    Bitness       = 64-bit\n"), std::string::npos);
   EXPECT_NE(run.log.find("I0:    Platform      = NT\n"), std::string::npos);
   EXPECT_NE(run.log.find("I0: Running from: \"" + WinePath(TestArg(1)) + "\"\n"), std::string::npos);
   EXPECT_NE(run.log.find("I0: ERROR: Setup is not configured and is unable to continue.\n"), std::string::npos);
   EXPECT_NE(run.log.find("| I0: Setup exit code is: 1610\n"), std::string::npos);
}

TEST(SetupRun, ArchivesALeftOverLogFromAnEarlierRun)
{
   ScratchDir temp("left");
   ASSERT_TRUE(WriteTextFile(temp / "txinst.log", "an interrupted run\n"));
   ASSERT_TRUE(WriteTextFile(temp / "txmsi.log", "its installer log\n"));
   AgeByAnHour(temp / "txinst.log");
   AgeByAnHour(temp / "txmsi.log");
   RunSetup(temp);
   size_t failedLogs = 0;
   for (const auto& name : ListFolder(temp.path())) {
      const std::string text = ReadTextFile(temp / name);
      if (std::regex_match(name, std::regex(R"(txmsi\.log_\d{8}_\d{6}_Failed\.log)"))) {
         EXPECT_EQ(text, "its installer log\n");
         failedLogs++;
      }
      if (text == "an interrupted run\n") {
         EXPECT_TRUE(std::regex_match(name, std::regex(R"(txinst\.log_\d{8}_\d{6}_Failed\.log)"))) << name;
         failedLogs++;
      }
   }
   EXPECT_EQ(failedLogs, 2u);
   EXPECT_FALSE(PathExists(temp / "txinst.log"));
}
