#include "lib/install/fileHandle.h"
#include "lib/install/log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>

#include <sddl.h>
#include <shlobj.h>

#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace
{

const wchar_t kLevelKey[] = L"SOFTWARE\\Wow6432Node\\Tessix, Inc.";

// The owner Windows reports for an existing kept-logs folder (Wine reports the user for all).
std::string KeptLogsFolder()
{
   wchar_t common[MAX_PATH];
   return SUCCEEDED(SHGetFolderPathW(nullptr, 35, nullptr, 0, common)) ? Win32U_Utf8(common) + "\\Tessix\\logs"
                                                                       : std::string();
}

class Logging : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      Inst_ResetLoggingForTest();
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kLevelKey, L"LogLevel");
      ReportedOwner = L"O:BA";
      Util_SetOwnerQueryForTest(OwnerAsWindowsReports);
   }
   void TearDown() override
   {
      Inst_ResetLoggingForTest();
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kLevelKey, L"LogLevel");
      Util_SetOwnerQueryForTest(nullptr);
   }
   static void SetLevel(DWORD value)
   {
      ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kLevelKey, L"LogLevel", REG_DWORD, &value, sizeof value),
                ERROR_SUCCESS);
   }
   std::string Log() const { return ReadTextFile(temp_ / "txinst.log"); }
   std::vector<std::string> Lines() const { return SplitLines(Log()); }

   ScratchDir temp_{"log"};
   TempFolderOverride override_{temp_.path() + "\\"};
};

// The part of a line after the time stamp.
std::string Body(const std::string& line)
{
   const size_t bar = line.find('|');
   return bar == std::string::npos ? line : line.substr(bar);
}

} // namespace

TEST_F(Logging, LinesBeforeSetupCarryTheBuildTag)
{
   Inst_LogMsg("early %d", 1);
   const auto lines = Lines();
   ASSERT_EQ(lines.size(), 1u);
   EXPECT_TRUE(std::regex_match(
       lines[0],
       std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)\| inst-build-\d+\| I0: early 1)")))
       << lines[0];
}

TEST_F(Logging, MissingLevelValueGivesTheDefaultMask)
{
   Inst_SetupLogging("run", "tag", nullptr, nullptr);
   EXPECT_EQ(Inst_GetLogLevelMask(), kLogDefaultMask);
   Inst_Log(LOG_SUCCESS, "service started");
   Inst_Log(LOG_ERROR, "an error");
   Inst_Log(LOG_DETAIL, "a detail");
   Inst_EndLogging();
   const auto lines = Lines();
   ASSERT_EQ(lines.size(), 2u) << Log(); // no G2 line, no Begin or End line
   EXPECT_EQ(Body(lines[0]), "| tag| E1: an error");
   EXPECT_EQ(Body(lines[1]), "| tag| I2: a detail");
}

TEST_F(Logging, LevelZeroWritesNothingAtAll)
{
   SetLevel(0);
   Inst_SetupLogging("run", "tag", nullptr, nullptr);
   Inst_LogMsg("launcher line");
   Inst_Log(LOG_ERROR, "error");
   Inst_EndLogging();
   EXPECT_FALSE(PathExists(temp_ / "txinst.log"));
   EXPECT_TRUE(ListFolder(temp_.path()).empty());
}

TEST_F(Logging, BeginAndEndLinesWhenTheMaskAsksForThem)
{
   SetLevel(0x3FF);
   Inst_SetupLogging(nullptr, "tag", nullptr, nullptr);
   Inst_SetupLogging("second", "other", nullptr, nullptr); // counted: changes nothing
   Inst_Log(LOG_SUCCESS, "ok");
   Inst_EndLogging();
   Inst_LogMsg("still running");
   Inst_EndLogging();
   Inst_LogMsg("after the end");
   const auto lines = Lines();
   ASSERT_EQ(lines.size(), 5u) << Log();
   EXPECT_EQ(Body(lines[0]), "| tag| XX: Inst_SetupLogging: Begin Logging '<unspecified>' (LogLevel 0x000003ff)");
   EXPECT_EQ(Body(lines[1]), "| tag| G2: ok");
   EXPECT_EQ(Body(lines[2]), "| tag| I0: still running");
   EXPECT_EQ(Body(lines[3]), "| tag| XX: Inst_EndLogging: End Logging");
   EXPECT_TRUE(Body(lines[4]).rfind("| inst-build-", 0) == 0) << lines[4];
}

TEST_F(Logging, ErrorSuffixesAndTheCallersErrorState)
{
   Inst_SetupLogging("run", "tag", nullptr, nullptr);
   SetLastError(1234);
   errno = 7;
   Inst_LogWinError(LOG_ERROR, ERROR_ACCESS_DENIED, "open failed");
   Inst_LogLastWinError(LOG_ERROR, 0, "nothing");
   Inst_LogPosixError(LOG_ERROR, ENOENT, "no file");
   Inst_LogLastPosixError(LOG_ERROR, 0, "erased");
   EXPECT_EQ(GetLastError(), 1234u);
   EXPECT_EQ(errno, 7);
   const auto lines = Lines();
   ASSERT_EQ(lines.size(), 4u);
   EXPECT_TRUE(
       std::regex_match(Body(lines[0]), std::regex(R"(\| tag\| E1: open failed\| winerror code 5 \(.+[^\r\n]\))")))
       << lines[0];
   EXPECT_EQ(Body(lines[1]), "| tag| E1: nothing| winerror code 0 (code was erased)");
   EXPECT_TRUE(std::regex_match(Body(lines[2]), std::regex(R"(\| tag\| E1: no file\| posix code 2 \(.+\))")))
       << lines[2];
   EXPECT_EQ(Body(lines[3]), "| tag| E1: erased| posix code 0 (code was erased)");
}

TEST_F(Logging, LongMessageGetsTheNoticeAndAFullLine)
{
   Inst_SetupLogging("run", "tag", nullptr, nullptr);
   const std::string message(3000, 'x');
   Inst_Log(LOG_INFO, "%s", message.c_str());
   const std::string log = Log();
   const std::string notice = "The following message is truncated:\n";
   ASSERT_EQ(log.rfind(notice, 0), 0u);
   EXPECT_EQ(log.size() - notice.size(), 2046u);
}

TEST_F(Logging, FallsBackWhenTheLogCannotBeOpened)
{
   ScratchDir cwd("cwd");
   const auto previous = Win32U_GetCurrentDirectory();
   ASSERT_TRUE(Win32U_SetCurrentDirectory(cwd.path().c_str()));
   {
      TempFolderOverride missing(temp_.path() + "\\no\\such\\folder\\");
      Inst_SetupLogging("run", "tag", nullptr, nullptr);
      Inst_LogMsg("into the fallback");
      Inst_EndLogging();
   }
   Win32U_SetCurrentDirectory(previous->c_str());
   const auto lines = SplitLines(ReadTextFile(cwd / "txinstutil.log"));
   ASSERT_EQ(lines.size(), 2u);
   EXPECT_NE(lines[0].find("| E1: InstCreateLogFile: Unable to log to intended file "), std::string::npos) << lines[0];
   EXPECT_NE(lines[0].find("| winerror code "), std::string::npos);
   EXPECT_EQ(Body(lines[1]), "| tag| I0: into the fallback");
}

// ---- archiving ----

TEST_F(Logging, ArchiveWithNothingToArchive)
{
   EXPECT_TRUE(Util_ArchiveLogFile(false, "txinst.log", true, nullptr));
   EXPECT_TRUE(ListFolder(temp_.path()).empty());
   EXPECT_FALSE(Util_ArchiveLogFile(true, nullptr, true, nullptr));
}

TEST_F(Logging, ArchiveRenamesAndKeepsACopy)
{
   ASSERT_TRUE(WriteTextFile(temp_ / "txmsi.log", "installer log\n"));
   ASSERT_TRUE(Util_ArchiveLogFile(true, "txmsi.log", false, "product-msi"));
   const auto names = ListFolder(temp_.path());
   ASSERT_EQ(names.size(), 1u);
   EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(product-msi_\d{8}_\d{6}_Failed\.log)"))) << names[0];
   EXPECT_EQ(ReadTextFile(temp_ / names[0]), "installer log\n");

   wchar_t common[MAX_PATH];
   ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, 35, nullptr, 0, common)));
   const std::string kept = Win32U_Utf8(common) + "\\Tessix\\logs\\" + names[0];
   EXPECT_EQ(ReadTextFile(kept), "installer log\n");
   DeleteFileW(Win32U_Wide(kept).c_str());

   ASSERT_TRUE(WriteTextFile(temp_ / "txinst.log", "ok\n"));
   ASSERT_TRUE(Util_ArchiveLogFile(true, "txinst.log", true, nullptr));
   bool found = false;
   for (const auto& name : ListFolder(temp_.path())) {
      if (std::regex_match(name, std::regex(R"(txinst\.log_\d{8}_\d{6}\.log)"))) {
         found = true;
         DeleteFileW(Win32U_Wide(Win32U_Utf8(common) + "\\Tessix\\logs\\" + name).c_str());
      }
   }
   EXPECT_TRUE(found);
}

TEST_F(Logging, ArchiveOfTwoLogsWrittenInTheSameSecondKeepsBoth)
{
   ASSERT_TRUE(WriteTextFile(temp_ / "txinst.log", "run 1\n"));
   ASSERT_TRUE(Util_ArchiveLogFile(false, "txinst.log", true, nullptr));
   const std::string first = ListFolder(temp_.path()).at(0);
   // Later logs whose last write falls in the same second would get the same archive name.
   const auto sameTime = [&] {
      HANDLE a = CreateFileW(Win32U_Wide(temp_ / first).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
      HANDLE b = CreateFileW(Win32U_Wide(temp_ / "txinst.log").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      FILETIME t;
      ASSERT_TRUE(GetFileTime(a, nullptr, nullptr, &t));
      ASSERT_TRUE(SetFileTime(b, nullptr, nullptr, &t));
      CloseHandle(a);
      CloseHandle(b);
   };
   ASSERT_TRUE(WriteTextFile(temp_ / "txinst.log", "run 2\n"));
   sameTime();
   ASSERT_TRUE(Util_ArchiveLogFile(false, "txinst.log", true, nullptr));
   ASSERT_TRUE(WriteTextFile(temp_ / "txinst.log", "run 3\n"));
   sameTime();
   ASSERT_TRUE(Util_ArchiveLogFile(false, "txinst.log", true, nullptr));

   const std::string stamp = first.substr(0, first.size() - std::string("_Failed.log").size());
   EXPECT_FALSE(PathExists(temp_ / "txinst.log"));
   EXPECT_EQ(ReadTextFile(temp_ / first), "run 1\n");
   EXPECT_EQ(ReadTextFile(temp_ / (stamp + "_2_Failed.log")), "run 2\n");
   EXPECT_EQ(ReadTextFile(temp_ / (stamp + "_3_Failed.log")), "run 3\n");
   wchar_t common[MAX_PATH];
   SHGetFolderPathW(nullptr, 35, nullptr, 0, common);
   for (const std::string& name : {first, stamp + "_2_Failed.log", stamp + "_3_Failed.log"}) {
      const std::string kept = Win32U_Utf8(common) + "\\Tessix\\logs\\" + name;
      EXPECT_TRUE(PathExists(kept)) << kept;
      DeleteFileW(Win32U_Wide(kept).c_str());
   }
}

TEST_F(Logging, ArchiveOfTheOpenLogFails)
{
   Inst_SetupLogging("run", "tag", nullptr, nullptr);
   Inst_LogMsg("holding the file");
   EXPECT_FALSE(Util_ArchiveLogFile(true, "txinst.log", true, nullptr));
   EXPECT_TRUE(PathExists(temp_ / "txinst.log"));
}

// Another user's program of the temporary folder makes the log's name a link to, or a second
// name of, a file only administrators can read: the launcher neither writes into that file nor
// archives it where others read the logs; it logs under a name of its own and says why.
TEST_F(Logging, ALogNameThatLeadsToAnotherFileIsNeitherWrittenNorArchived)
{
   ScratchDir secrets("secret");
   const std::string secret = secrets / "secret.txt";
   const std::string kept = KeptLogsFolder();
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(kept.substr(0, kept.rfind('\\'))).c_str(), nullptr) ||
               GetLastError() == ERROR_ALREADY_EXISTS);
   CreateDirectoryW(Win32U_Wide(kept).c_str(), nullptr);
   struct Case {
      const char* name;
      bool (*plant)(const std::string& secret, const std::string& log);
   };
   const Case cases[] = {
       {"symbolic link", [](const std::string& target,
                            const std::string& log) { return PlantUnixLink(UnixPath(target), UnixPath(log)); }},
       {"hard link",
        [](const std::string& target, const std::string& log) {
           return CreateHardLinkW(Win32U_Wide(log).c_str(), Win32U_Wide(target).c_str(), nullptr) != FALSE;
        }},
   };
   const std::string own = temp_ / ("txinst_" + std::to_string(GetCurrentProcessId()) + ".log");
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(WriteTextFile(secret, "the secret\n"));
      ASSERT_TRUE(c.plant(secret, temp_ / "txinst.log"));
      const auto keptBefore = ListFolder(kept);

      Inst_SetupLogging("run", "tag", nullptr, nullptr);
      Inst_LogMsg("a line of this run");
      Inst_EndLogging();
      EXPECT_FALSE(Util_ArchiveLogFile(false, "txinst.log", true, nullptr));
      EXPECT_FALSE(Util_ArchiveLogFile(true, "txinst.log", true, nullptr));

      EXPECT_EQ(ReadTextFile(secret), "the secret\n");
      EXPECT_EQ(ListFolder(kept), keptBefore);
      for (const std::string& name : ListFolder(temp_.path())) {
         if (name != "txinst.log") {
            EXPECT_EQ(ReadTextFile(temp_ / name).find("the secret"), std::string::npos) << name;
         }
      }
      const std::string log = ReadTextFile(own);
      EXPECT_NE(log.find("W1: InstCreateLogFile: " + (temp_ / "txinst.log") +
                         " is a link or has other names; logging to " + own + " instead"),
                std::string::npos)
          << log;
      EXPECT_NE(log.find("I0: a line of this run"), std::string::npos) << log;
      EXPECT_NE(log.find("W1: Util_ArchiveLogFile: " + (temp_ / "txinst.log") +
                         " is a link or has other names; left as it is"),
                std::string::npos)
          << log;
      if (!RemoveUnixLink(UnixPath(temp_ / "txinst.log"))) {
         DeleteFileW(Win32U_Wide(temp_ / "txinst.log").c_str());
      }
      DeleteFileW(Win32U_Wide(own).c_str());
      Inst_ResetLoggingForTest();
   }
}

TEST_F(Logging, TheFallbackLogIsNeverWrittenThroughALink)
{
   ScratchDir cwd("cwd");
   ScratchDir elsewhere("victim");
   ASSERT_TRUE(WriteTextFile(elsewhere / "victim.txt", "untouched\n"));
   ASSERT_TRUE(PlantUnixLink(UnixPath(elsewhere / "victim.txt"), UnixPath(cwd / "txinstutil.log")));
   const auto previous = Win32U_GetCurrentDirectory();
   ASSERT_TRUE(Win32U_SetCurrentDirectory(cwd.path().c_str()));
   {
      TempFolderOverride missing(temp_.path() + "\\no\\such\\folder\\");
      Inst_SetupLogging("run", "tag", nullptr, nullptr);
      Inst_LogMsg("into the fallback");
      Inst_EndLogging();
   }
   Win32U_SetCurrentDirectory(previous->c_str());
   EXPECT_EQ(ReadTextFile(elsewhere / "victim.txt"), "untouched\n");
   RemoveUnixLink(UnixPath(cwd / "txinstutil.log"));
}

// The kept copies go under ProgramData, where any user may make folders before the launcher
// first runs: a folder made a link is not followed, and one that Administrators or SYSTEM do not
// own is not written to.
TEST_F(Logging, KeptCopiesOnlyInAFolderOfAdministrators)
{
   const std::string kept = KeptLogsFolder();
   const std::string aside = kept + "-aside-" + std::to_string(GetCurrentProcessId());
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(kept.substr(0, kept.rfind('\\'))).c_str(), nullptr) ||
               GetLastError() == ERROR_ALREADY_EXISTS);
   CreateDirectoryW(Win32U_Wide(kept).c_str(), nullptr);
   ASSERT_TRUE(MoveFileExW(Win32U_Wide(kept).c_str(), Win32U_Wide(aside).c_str(), 0));
   const std::string tessix = kept.substr(0, kept.rfind('\\'));
   ScratchDir victim("victim");
   Inst_SetupLogging("run", "tag", nullptr, nullptr); // the refusals are logged
   Inst_EndLogging();

   struct Case {
      const char* name;
      const wchar_t* owner;
      bool link;
      const char* line; // the refusal, or null when a copy is kept
   };
   const Case cases[] = {
       {"a link to another folder", L"O:BA", true, "\\logs is a link; no copy kept"},
       // Tessix, the first folder on the way, already exists
       {"owned by another user", L"O:S-1-5-21-1-2-3-1001", false,
        " is not owned by Administrators or SYSTEM; no copy kept"},
       {"owned by Administrators", L"O:BA", false, nullptr},
       {"owned by SYSTEM", L"O:SY", false, nullptr},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ReportedOwner = c.owner;
      if (c.link) {
         ASSERT_TRUE(PlantUnixLink(UnixPath(victim.path()), UnixPath(tessix) + "/logs"));
      } else {
         ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(kept).c_str(), nullptr));
      }
      ASSERT_TRUE(WriteTextFile(temp_ / "txmsi.log", "installer log\n"));
      EXPECT_TRUE(Util_ArchiveLogFile(true, "txmsi.log", true, "product-msi"));
      EXPECT_TRUE(ListFolder(victim.path()).empty());
      std::string lines; // of the archive: the line goes into the log it is about
      for (const std::string& name : ListFolder(temp_.path())) {
         if (name != "txinst.log") {
            lines += ReadTextFile(temp_ / name);
         }
      }
      lines = lines.substr(std::string("installer log\n").size());
      if (c.line != nullptr) {
         EXPECT_NE(lines.find("W1: Util_ArchiveLogFile: " + tessix + c.line), std::string::npos) << lines;
      } else {
         EXPECT_EQ(lines, "");
      }
      if (c.link) {
         RemoveUnixLink(UnixPath(tessix) + "/logs");
      } else {
         const auto copies = ListFolder(kept);
         EXPECT_EQ(copies.size(), c.line ? 0u : 1u);
         for (const std::string& name : copies) {
            EXPECT_EQ(ReadTextFile(kept + "\\" + name), "installer log\n");
         }
         RemoveTree(kept);
      }
      for (const std::string& name : ListFolder(temp_.path())) {
         if (name != "txinst.log") {
            DeleteFileW(Win32U_Wide(temp_ / name).c_str());
         }
      }
   }
   MoveFileExW(Win32U_Wide(aside).c_str(), Win32U_Wide(kept).c_str(), 0);
}
