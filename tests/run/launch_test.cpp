#include "lib/install/launch.h"

#include <gtest/gtest.h>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace
{

class Launch : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      Inst_ResetLoggingForTest();
      Inst_SetupLogging("test", "t", nullptr, nullptr);
   }
   void TearDown() override { Inst_ResetLoggingForTest(); }
   std::string Log() const { return ReadTextFile(logDir_ / "txinst.log"); }
   static std::string Child() { return WinePath(TestArg(1)); }

   ScratchDir logDir_{"launch"};
   TempFolderOverride override_{logDir_.path() + "\\"};
};

} // namespace

TEST_F(Launch, ExitCodeComesBackUnchanged)
{
   uint32_t code = 0;
   EXPECT_TRUE(Util_Launch(Child(), "3010", true, true, &code));
   EXPECT_EQ(code, 3010u);
   EXPECT_NE(Log().find("Util_Launch: Child exited with code 3010"), std::string::npos);
   EXPECT_NE(Log().find("Util_Launch: Process returned 3010"), std::string::npos);
}

TEST_F(Launch, PathEndsUpInExactlyOnePairOfQuotes)
{
   for (const std::string& path : {Child(), "\"" + Child() + "\"", "\"" + Child(), Child() + "\"\""}) {
      uint32_t code = 99;
      EXPECT_TRUE(Util_Launch(path, "7", true, true, &code)) << path;
      EXPECT_EQ(code, 7u);
   }
   const std::string expected = "Util_Launch: Attempting to launch \"\"" + Child() + "\" 7\"";
   size_t count = 0;
   for (const auto& line : SplitLines(Log())) {
      count += line.find(expected) != std::string::npos;
   }
   EXPECT_EQ(count, 4u) << Log();
}

TEST_F(Launch, MissingProgramStartsNothing)
{
   uint32_t code = 123;
   EXPECT_FALSE(Util_Launch(logDir_ / "nothing.exe", "", true, true, &code));
   EXPECT_EQ(code, 123u);
   EXPECT_NE(Log().find("Util_Launch: File \"" + (logDir_ / "nothing.exe") + "\" doesn't exist"), std::string::npos);
}

TEST_F(Launch, WithoutWaitingThereIsNoExitCode)
{
   uint32_t code = 123;
   EXPECT_TRUE(Util_Launch(Child(), "5 2000", false, true, &code));
   EXPECT_EQ(code, 123u);
   EXPECT_NE(Log().find("Util_Launch: No exit code returned from async/timeout process"), std::string::npos);
}

TEST_F(Launch, TimeoutAndProcessInformation)
{
   PROCESS_INFORMATION pi{};
   uint32_t code = 0;
   EXPECT_EQ(Util_LaunchEx(Child(), "0 3000", 50, true, &code, &pi), LaunchStillRunning);
   ASSERT_NE(pi.hProcess, nullptr);
   TerminateProcess(pi.hProcess, 1);
   CloseHandle(pi.hThread);
   CloseHandle(pi.hProcess);

   // An empty path: the arguments are the whole command line.
   EXPECT_EQ(Util_LaunchEx("", "\"" + Child() + "\" 4", INFINITE, true, &code, nullptr), LaunchFinished);
   EXPECT_EQ(code, 4u);
}

TEST_F(Launch, OverlongProgramPathIsRefused)
{
   // A real file whose quoted path does not fit the command line's room for a path.
   std::string folder = logDir_.path();
   while (folder.size() < 250) {
      folder += "\\dddddddddddddddddddd";
      CreateDirectoryW(Win32U_Wide(folder).c_str(), nullptr);
   }
   const std::string program = "\\\\?\\" + folder + "\\child.exe";
   ASSERT_TRUE(CopyFileW(Win32U_Wide(Child()).c_str(), Win32U_Wide(program).c_str(), FALSE));
   EXPECT_EQ(Util_LaunchEx(program, "", INFINITE, true, nullptr, nullptr), LaunchFailed);
   EXPECT_NE(Log().find("Util_Launch: Program path is too long"), std::string::npos);
}

// The room for the program path is counted in characters: a path of under 200 characters that
// needs over 300 bytes in UTF-8 still runs.
TEST_F(Launch, NonAsciiProgramPathWithinTheLimitRuns)
{
   std::string folder = logDir_.path();
   size_t characters = folder.size();
   const std::string name =
       "\xC3\xBC\xC3\xBC\xE6\x97\xA5\xE6\x9C\xAC\xC3\xBC\xC3\xBC\xE6\x97\xA5\xE6\x9C\xAC"; // 8 characters, 20 bytes
   while (characters < 180) {
      folder += "\\" + name;
      characters += 9;
      ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(folder).c_str(), nullptr));
   }
   const std::string program = folder + "\\child.exe";
   ASSERT_GT(program.size(), 300u);
   ASSERT_LT(Win32U_Wide(program).size(), 259u);
   ASSERT_TRUE(CopyFileW(Win32U_Wide(Child()).c_str(), Win32U_Wide(program).c_str(), FALSE));
   uint32_t code = 0;
   EXPECT_TRUE(Util_Launch(program, "11", true, true, &code));
   EXPECT_EQ(code, 11u);
}

TEST_F(Launch, LoadAndFreeLibrary)
{
   HMODULE module = Util_LoadLibrary("version.dll", false);
   ASSERT_NE(module, nullptr);
   EXPECT_TRUE(Util_FreeLibrary(module));
   EXPECT_FALSE(Util_FreeLibrary(nullptr));
   EXPECT_EQ(Util_LoadLibrary("no-such-library.dll", false), nullptr);
   const std::string log = Log();
   EXPECT_NE(log.find("Util_LoadLibrary: Loaded library version.dll("), std::string::npos);
   EXPECT_NE(log.find("W1: Util_FreeLibrary: Cannot free NULL library"), std::string::npos);
   EXPECT_NE(log.find("E1: Util_LoadLibrary: Failed to load library no-such-library.dll| winerror code 126"),
             std::string::npos);
}
