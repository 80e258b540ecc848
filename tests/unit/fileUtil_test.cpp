#include "lib/install/fileUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "lib/install/fileHandle.h"
#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace
{

class FileUtil : public ::testing::Test
{
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

// Puts a table of system calls in front of the real ones for the life of the object.
class FileCallsOverride
{
 public:
   explicit FileCallsOverride(const FileUtilCalls& calls) : calls_(calls) { Util_SetFileCallsForTest(&calls_); }
   ~FileCallsOverride() { Util_SetFileCallsForTest(nullptr); }

 private:
   FileUtilCalls calls_;
};

// Windows' answers for folder creation: CreateDirectoryW answers "access denied" for a volume root.
enum class Creation {
   RootDenied,        // as Windows answers
   AppearsThenDenied, // another process makes the folder first; this call is refused
   EverythingDenied,  // no right to create anything
};
Creation creation;
std::vector<std::string> createCalls;

BOOL CreateLikeWindows(const char* path, LPSECURITY_ATTRIBUTES sa)
{
   createCalls.push_back(path);
   const bool root = strlen(path) == 3 && path[1] == ':' && path[2] == '\\';
   if (creation == Creation::AppearsThenDenied) {
      Win32U_CreateDirectory(path, sa);
   }
   if (creation != Creation::RootDenied || root) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
   }
   return Win32U_CreateDirectory(path, sa);
}

// The program racing a deletion: at the moment the deletion is about to open `swapAt`, the
// folder there is renamed aside (as any program of the user may) and a link to the victim takes
// its name (a junction on Windows, which needs no privilege; a symbolic link stands in here).
std::string swapAt;     // Windows path
std::string swapAside;  // Windows path
std::string swapLink;   // Unix path of the link to make
std::string swapTarget; // Unix path it points to
bool swapped = false;

void SwapForALink(const std::string& path)
{
   if (swapped || path != swapAt) {
      return;
   }
   swapped = MoveFileExW(Win32U_Wide(swapAt).c_str(), Win32U_Wide(swapAside).c_str(), 0) &&
             PlantUnixLink(swapTarget, swapLink);
}

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

// The kept copies of the logs go to a folder under an existing one: only the missing folders may
// be created, so that a refusal for a folder that is already there (the volume root above all)
// cannot fail the chain.
TEST_F(FileUtil, CreateFullPathCreatesOnlyWhatIsMissing)
{
   struct Case {
      const char* name;
      Creation creation;
      std::string path;
      bool result;
      std::vector<std::string> created;
   };
   const Case cases[] = {
       {"one missing folder", Creation::RootDenied, dir_ / "logs\\", true, {dir_ / "logs\\"}},
       {"two missing folders", Creation::RootDenied, dir_ / "a\\b\\f.txt", true, {dir_ / "a\\", dir_ / "a\\b\\"}},
       {"the volume root", Creation::RootDenied, "C:\\", true, {}},
       {"a folder that appears during the call", Creation::AppearsThenDenied, dir_ / "late\\", true, {dir_ / "late\\"}},
       {"a refusal for a missing folder", Creation::EverythingDenied, dir_ / "denied\\", false, {dir_ / "denied\\"}},
   };
   FileUtilCalls calls = {Win32U_GetFileAttributes, CreateLikeWindows};
   FileCallsOverride override(calls);
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      creation = c.creation;
      createCalls.clear();
      EXPECT_EQ(Util_CreateFullPath(c.path), c.result);
      EXPECT_EQ(createCalls, c.created);
   }
   EXPECT_TRUE(Util_IsDirectory(dir_ / "a\\b"));
   EXPECT_TRUE(Util_IsDirectory(dir_ / "late"));
   EXPECT_NE(
       Log().find("E1: Util_CreateFullPath: Could not create directory " + (dir_ / "denied\\") + "| winerror code 5"),
       std::string::npos);
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
   HANDLE held =
       CreateFileW(Win32U_Wide(dir_ / "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
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

// A folder is emptied through handles: what the listing showed is opened relative to the folder
// and must still be the entry listed, so a subfolder (or the folder itself) swapped for a link
// while the deletion runs leads it nowhere.
TEST_F(FileUtil, DeleteDirectoryNeverFollowsALinkSwappedInWhileItRuns)
{
   const std::string unixRoot = TestArg(1);
   const std::string root = WinePath(unixRoot);
   struct Case {
      const char* name;
      const char* swapped; // relative to the root
   };
   const Case cases[] = {{"a subfolder, after the listing was read", "race\\sub"},
                         {"the folder itself, after its parent was read", "race"}};
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(Util_CreateFullPath(root + "\\race\\sub\\"));
      ASSERT_TRUE(WriteTextFile(root + "\\race\\sub\\inner.txt", "inner"));
      ASSERT_TRUE(WriteTextFile(root + "\\race\\ordinary.txt", "ordinary"));
      swapAt = root + "\\" + c.swapped;
      swapAside = root + "\\aside";
      std::string unixSwapped = c.swapped;
      std::replace(unixSwapped.begin(), unixSwapped.end(), '\\', '/');
      swapLink = unixRoot + "/" + unixSwapped;
      swapTarget = unixRoot + "/outside/keep";
      swapped = false;
      Util_SetDeletionHookForTest(SwapForALink);
      Util_DeleteDirectory((root + "\\race").c_str(), DeleteDirRecurse | DeleteDirFiles);
      Util_SetDeletionHookForTest(nullptr);
      EXPECT_TRUE(swapped) << "the swap could not be planted";
      EXPECT_EQ(ReadTextFile(root + "\\outside\\keep\\precious.txt"), "precious\n");
      EXPECT_EQ(ListFolder(root + "\\outside\\keep").size(), 1u);
      RemoveUnixLink(swapLink);
      RemoveTree(root + "\\race");
      RemoveTree(root + "\\aside");
   }
   EXPECT_NE(Log().find("] was replaced while "), std::string::npos) << Log();
}

namespace
{

// Windows' answer to a long path while its long-path policy is off (the default): a path of 260
// or more characters (248 for a new folder) is refused unless it is in the extended-length form.
// Wine takes such paths either way. Refusals are listed, for the failure message.
std::vector<std::string> refusedPaths;

bool LongPathsLikeWindows(const char* call, const wchar_t* path)
{
   const size_t limit = strcmp(call, "CreateDirectoryW") == 0 ? 248 : 260;
   if (wcslen(path) < limit || wcsncmp(path, L"\\\\?\\", 4) == 0) {
      return true;
   }
   refusedPaths.push_back(std::string(call) + " " + Win32U_Utf8(path));
   SetLastError(ERROR_FILENAME_EXCED_RANGE);
   return false;
}

class LongPathLimits
{
 public:
   LongPathLimits()
   {
      refusedPaths.clear();
      Win32U_SetPathCheckForTest(LongPathsLikeWindows);
   }
   ~LongPathLimits() { Win32U_SetPathCheckForTest(nullptr); }
};

} // namespace

// Files deeper than 260 characters: a tree the launcher makes there (folders, files written,
// copied and moved) is found and deleted by the clean-up, read-only files included.
TEST_F(FileUtil, FilesAtLongPathsAreDeleted)
{
   LongPathLimits windows;
   std::string folder = dir_ / "long";
   while (folder.size() < 300) {
      folder += "\\" + std::string(40, 'd');
   }
   ASSERT_TRUE(Util_CreateFullPath(folder + "\\"));
   const std::string file = folder + "\\" + std::string(100, 'f') + ".txt";
   {
      UniqueHandle written(
          Win32U_CreateFile(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(written);
      DWORD count = 0;
      ASSERT_TRUE(WriteFile(written.get(), "payload", 7, &count, nullptr));
   }
   ASSERT_TRUE(Util_CopyFile(file, folder + "\\copied\\copy.txt", true));
   ASSERT_TRUE(Win32U_MoveFileEx((folder + "\\copied\\copy.txt").c_str(), (folder + "\\moved.txt").c_str(), 0));
   WIN32_FILE_ATTRIBUTE_DATA data;
   ASSERT_TRUE(Win32U_GetFileAttributesEx((folder + "\\moved.txt").c_str(), &data));
   EXPECT_EQ(data.nFileSizeLow, 7u);
   EXPECT_EQ(Util_GetFileContents(folder + "\\moved.txt"), "payload");
   EXPECT_TRUE(Util_IsWritableDir(folder));
   ASSERT_TRUE(SetFileAttributesW(Win32U_Wide(file).c_str(), FILE_ATTRIBUTE_READONLY));
   EXPECT_TRUE(Util_FileExists(file));

   EXPECT_TRUE(Util_DeleteDirectory((dir_ / "long").c_str(), DeleteDirRecurse | DeleteDirFiles));
   EXPECT_FALSE(PathExists(dir_ / "long"));

   ASSERT_TRUE(Util_CreateFullPath(folder + "\\"));
   ASSERT_TRUE(WriteTextFile(file, "x"));
   EXPECT_TRUE(Util_DeleteFile(file, 0, false));
   EXPECT_FALSE(PathExists(file));
   EXPECT_EQ(refusedPaths, std::vector<std::string>());
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
