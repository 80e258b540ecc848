#include "lib/install/fileUtil.h"

#include <gtest/gtest.h>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace {

class FileUtil : public ::testing::Test {
protected:
   void SetUp() override
   {
      Inst_ResetLoggingForTest();
      Inst_SetupLogging("test", "t", nullptr, nullptr);
   }
   void TearDown() override { Inst_ResetLoggingForTest(); }
   std::string Log() const { return ReadTextFile(logDir_ / "txinst.log"); }

   ScratchDir logDir_{"flog"};
   TempFolderOverride override_{logDir_.path() + "\\"};
   ScratchDir dir_{"file"};
};

} // namespace

TEST_F(FileUtil, CreateFullPath)
{
   EXPECT_TRUE(Util_CreateFullPath(dir_ / "a\\b\\f.txt"));
   EXPECT_TRUE(Util_IsDirectory(dir_ / "a\\b"));
   EXPECT_FALSE(PathExists(dir_ / "a\\b\\f.txt"));

   EXPECT_TRUE(Util_CreateFullPath(dir_ / "c\\d\\"));
   EXPECT_TRUE(Util_IsDirectory(dir_ / "c\\d"));

   EXPECT_TRUE(Util_CreateFullPath(""));
   EXPECT_TRUE(Util_CreateFullPath("C:"));
   EXPECT_TRUE(Util_CreateFullPath("C:\\"));

   ASSERT_TRUE(WriteTextFile(dir_ / "file", "x"));
   EXPECT_FALSE(Util_CreateFullPath(dir_ / "file\\sub\\")); // a file stands where a folder must be
   EXPECT_NE(Log().find("Util_CreateFullPath: Could not create directory"), std::string::npos);
}

TEST_F(FileUtil, CopyCreatesTheTargetFolder)
{
   ASSERT_TRUE(WriteTextFile(dir_ / "src.txt", "payload"));
   EXPECT_TRUE(Util_CopyFile(dir_ / "src.txt", dir_ / "new\\deeper\\dst.txt", true));
   EXPECT_EQ(ReadTextFile(dir_ / "new\\deeper\\dst.txt"), "payload");
   EXPECT_FALSE(Util_CopyFile(dir_ / "src.txt", dir_ / "new\\deeper\\dst.txt", true));
   EXPECT_FALSE(Util_CopyFile(dir_ / "missing.txt", dir_ / "x.txt", false));
   EXPECT_NE(Log().find("Util_CopyFile: Cannot copy non-existent file: "), std::string::npos);
}

TEST_F(FileUtil, DeleteFile)
{
   ASSERT_TRUE(WriteTextFile(dir_ / "ro.txt", "x"));
   SetFileAttributesW(Win32U_Wide(dir_ / "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
   EXPECT_TRUE(Util_DeleteFile(dir_ / "ro.txt", 0, false));
   EXPECT_FALSE(PathExists(dir_ / "ro.txt"));
   EXPECT_FALSE(Util_DeleteFile(dir_ / "ro.txt", 0, false));
   EXPECT_NE(Log().find("Util_DeleteFile: Already removed: "), std::string::npos);
}

TEST_F(FileUtil, DeleteOfALockedFileRetriesThenGivesUp)
{
   ASSERT_TRUE(WriteTextFile(dir_ / "locked.txt", "x"));
   HANDLE held = CreateFileW(Win32U_Wide(dir_ / "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
   ASSERT_NE(held, INVALID_HANDLE_VALUE);
   const DWORD start = GetTickCount();
   EXPECT_FALSE(Util_DeleteFile(dir_ / "locked.txt", 2, false));
   const DWORD elapsed = GetTickCount() - start;
   CloseHandle(held);
   EXPECT_GE(elapsed, 1900u); // two pauses between three attempts
   size_t attempts = 0;
   for (const auto& line : SplitLines(Log())) {
      attempts += line.find("W1: Util_DeleteFile: Failed to delete ") != std::string::npos;
   }
   EXPECT_EQ(attempts, 3u);
   EXPECT_TRUE(PathExists(dir_ / "locked.txt"));
}

TEST_F(FileUtil, DeleteDirectoryFlags)
{
   ASSERT_TRUE(Util_CreateFullPath(dir_ / "tree\\sub\\"));
   ASSERT_TRUE(WriteTextFile(dir_ / "tree\\a.txt", "a"));
   ASSERT_TRUE(WriteTextFile(dir_ / "tree\\sub\\b.txt", "b"));

   EXPECT_FALSE(Util_DeleteDirectory((dir_ / "tree").c_str(), 0));
   EXPECT_NE(Log().find("Util_DeleteDirectory: Failed to remove directory"), std::string::npos);
   EXPECT_FALSE(Util_DeleteDirectory((dir_ / "tree").c_str(), DeleteDirFiles)); // the sub-folder stays
   EXPECT_FALSE(PathExists(dir_ / "tree\\a.txt"));
   EXPECT_TRUE(Util_DeleteDirectory((dir_ / "tree").c_str(), DeleteDirRecurse | DeleteDirFiles));
   EXPECT_FALSE(PathExists(dir_ / "tree"));
   EXPECT_FALSE(Util_DeleteDirectory("", DeleteDirFiles));
}

// The launcher deletes folders in places other users can write to: a link planted inside
// must go without taking its target with it.
TEST_F(FileUtil, DeleteDirectoryNeverFollowsLinks)
{
   const std::string root = WinePath(TestArg(1));
   ASSERT_NE(Win32U_GetFileAttributes((root + "\\victim\\dirlink").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u)
      << "Wine does not show the fixture's symbolic link as a reparse point";
   // Wine cannot remove a link (Windows can), so the folder itself may stay; what matters is
   // that nothing behind the link was touched.
   Util_DeleteDirectory((root + "\\victim").c_str(), DeleteDirRecurse | DeleteDirFiles);
   EXPECT_FALSE(PathExists(root + "\\victim\\ordinary.txt"));
   EXPECT_EQ(ReadTextFile(root + "\\outside\\keep\\precious.txt"), "precious\n");
   EXPECT_NE(Log().find("Util_DeleteDirectory: Removing link [" + root + "\\victim\\dirlink] without following it"),
             std::string::npos);

   Util_DeleteDirectory((root + "\\toplink").c_str(), DeleteDirRecurse | DeleteDirFiles);
   EXPECT_EQ(ReadTextFile(root + "\\outside\\keep\\precious.txt"), "precious\n");
}

TEST_F(FileUtil, GetFileContentsReadsEveryByte)
{
   const std::string bytes = std::string("line1\r\nline2\xFF\x01", 14);
   ASSERT_TRUE(WriteTextFile(dir_ / "c.txt", bytes));
   const std::string text = Util_GetFileContents(dir_ / "c.txt");
   EXPECT_EQ(text, std::string("line1\nline2\xFF\x01", 13)); // text mode: CR LF becomes LF
   EXPECT_EQ(Util_GetFileContents(dir_ / "missing.txt"), "");
   EXPECT_NE(Log().find("Util_GetFileContents: Failed to open file for reading: "), std::string::npos);
}

TEST_F(FileUtil, FreeSpaceAndWritableDir)
{
   EXPECT_GT(Util_GetFreeDriveSpace('C', DRIVE_FIXED), 0u);
   EXPECT_EQ(Util_GetFreeDriveSpace('C', DRIVE_REMOVABLE), 0u);
   EXPECT_EQ(Util_GetFreeDriveSpace('1', DRIVE_FIXED), 0u);
   EXPECT_NE(Log().find("Util_GetFreeDriveSpace: Drive 1:\\ is not a valid character."), std::string::npos);
   EXPECT_TRUE(Util_IsWritableDir(dir_.path()));
   EXPECT_FALSE(Util_IsWritableDir(dir_ / "missing"));
}
