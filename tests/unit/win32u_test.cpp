#include "lib/misc/win32u.h"
#include "lib/misc/windowsu.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <utility>
#include <vector>

#include "lib/misc/handle.h"
#include "tests/unit/testSupport.h"

TEST(Win32U, Utf8OutputExactFitAndOneShort)
{
   const std::wstring text = L"h\u00E9llo"; // 6 bytes of UTF-8
   char buf[7];
   DWORD size = 0;
   EXPECT_EQ(Win32U_Utf16ToUtf8Buffer(text, buf, 7, &size), static_cast<DWORD>(ERROR_SUCCESS));
   EXPECT_EQ(size, 6u);
   EXPECT_STREQ(buf, "h\xC3\xA9llo");
   size = 0;
   EXPECT_EQ(Win32U_Utf16ToUtf8Buffer(text, buf, 6, &size), static_cast<DWORD>(ERROR_MORE_DATA));
   EXPECT_EQ(size, 6u);
   const std::wstring broken(1, static_cast<wchar_t>(0xD800));
   EXPECT_EQ(Win32U_Utf16ToUtf8Buffer(broken, buf, 7, &size), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST(Win32U, PathGuardOfCRuntimeCalls)
{
   ScratchDir dir("guard");
   auto pathOfLength = [&](size_t length) {
      std::string path = dir.path() + "\\";
      path.append(length - path.size(), 'p');
      return path;
   };
   errno = 0;
   SetLastError(0);
   EXPECT_EQ(Win32U_Access(pathOfLength(259).c_str(), 0), -1);
   EXPECT_EQ(errno, ENOENT); // passed on: the file just is not there

   // A relative path is not made into the extended-length form: it is refused.
   errno = 0;
   EXPECT_EQ(Win32U_Access(std::string(260, 'p').c_str(), 0), -1);
   EXPECT_EQ(errno, ENAMETOOLONG);
   EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
   EXPECT_EQ(Win32U_Fopen(std::string(300, 'p').c_str(), "r"), nullptr);
   EXPECT_EQ(errno, ENAMETOOLONG);

   errno = 0;
   const std::string prefixed = "\\\\?\\" + pathOfLength(260);
   EXPECT_EQ(Win32U_Access(prefixed.c_str(), 0), -1);
   EXPECT_NE(errno, ENAMETOOLONG);
}

// The extraction writes the folder plus an entry name of up to 259 bytes, which together pass
// 260 characters: an absolute path goes to the C runtime in its extended-length form.
TEST(Win32U, LongAbsolutePathsReachTheCRuntime)
{
   ScratchDir dir("long");
   const std::string name = std::string(250, 'n') + ".msi";
   const std::string path = dir / name;
   ASSERT_GE(path.size(), 260u);
   FILE* file = Win32U_Fopen(path.c_str(), "wb");
   ASSERT_NE(file, nullptr) << "errno " << errno;
   fputs("payload", file);
   fclose(file);
   EXPECT_EQ(ReadTextFile(path), "payload");
   EXPECT_EQ(Win32U_Access(path.c_str(), 0), 0);

   // The extended form takes the path as it is: dots and forward slashes are resolved first.
   const std::string winding = dir.path() + "\\sub\\..\\.\\" + name;
   EXPECT_EQ(Win32U_Access(winding.c_str(), 0), 0);
   std::string forward = dir / name;
   std::replace(forward.begin(), forward.end(), '\\', '/');
   EXPECT_EQ(Win32U_Chmod(forward.c_str(), _S_IREAD), 0);
   EXPECT_NE(GetFileAttributesW(Win32U_Wide(path).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
   EXPECT_EQ(Win32U_Chmod(path.c_str(), _S_IREAD | _S_IWRITE), 0);
   EXPECT_TRUE(Win32U_DeleteFile(path.c_str()));
}

namespace
{

// What each file call was handed. Refused calls fail with access denied before reaching the
// system; allowed ones go on to it.
std::vector<std::pair<std::string, std::wstring>> handed;
bool refuseCalls = false;

bool RecordPath(const char* call, const wchar_t* path)
{
   handed.emplace_back(call, path);
   if (refuseCalls) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
   }
   return true;
}

class RecordedPaths
{
 public:
   explicit RecordedPaths(bool refuse)
   {
      handed.clear();
      refuseCalls = refuse;
      Win32U_SetPathCheckForTest(RecordPath);
   }
   ~RecordedPaths() { Win32U_SetPathCheckForTest(nullptr); }
};

std::wstring Extended(const std::string& path)
{
   return L"\\\\?\\" + Win32U_Wide(path);
}

} // namespace

// Unless its long-path policy is on (it is off by default), Windows takes a path of 260 or more
// characters (248 for a new folder) only in the extended-length form; Wine takes it either way,
// so these tests look at what the system was handed.
TEST(Win32U, EveryFileCallHandsOnLongAbsolutePathsInTheExtendedForm)
{
   ScratchDir dir("handed");
   std::string path = dir / "missing";
   while (path.size() < 300) {
      path += "\\" + std::string(40, 'm');
   }
   const char* p = path.c_str();
   WIN32_FILE_ATTRIBUTE_DATA data;
   ULARGE_INTEGER space;
   DWORD needed = 0;
   Win32U_FindData found;
   struct Case {
      const char* call;
      std::function<void()> invoke;
      size_t paths; // how many of its arguments are the path
   };
   const Case cases[] = {
       {"CreateDirectoryW", [&] { Win32U_CreateDirectory(p, nullptr); }, 1},
       {"CreateFileW", [&] { Win32U_CreateFile(p, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); }, 1},
       {"DeleteFileW", [&] { Win32U_DeleteFile(p); }, 1},
       {"CopyFileW", [&] { Win32U_CopyFile(p, p, TRUE); }, 2},
       {"MoveFileExW", [&] { Win32U_MoveFileEx(p, p, 0); }, 2},
       {"RemoveDirectoryW", [&] { Win32U_RemoveDirectory(p); }, 1},
       {"GetFileAttributesW", [&] { Win32U_GetFileAttributes(p); }, 1},
       {"GetFileAttributesExW", [&] { Win32U_GetFileAttributesEx(p, &data); }, 1},
       {"GetFileSecurityW", [&] { Win32U_GetFileSecurity(p, DACL_SECURITY_INFORMATION, nullptr, 0, &needed); }, 1},
       {"GetDiskFreeSpaceExW", [&] { Win32U_GetDiskFreeSpaceEx(p, &space, nullptr, nullptr); }, 1},
       {"FindFirstFileExW", [&] { Win32U_FindFirstFileEx(p, &found); }, 1},
       {"_waccess", [&] { Win32U_Access(p, 0); }, 1},
       {"_wchmod", [&] { Win32U_Chmod(p, _S_IREAD | _S_IWRITE); }, 1},
       {"_wfopen", [&] { Win32U_Fopen(p, "rb"); }, 1},
       {"_wsopen", [&] { Win32U_Open(p, _O_RDONLY, _SH_DENYNO, 0); }, 1},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.call);
      RecordedPaths recorded(false); // the folder is missing: every call fails harmlessly
      c.invoke();
      const std::vector<std::pair<std::string, std::wstring>> expected(c.paths, {c.call, Extended(path)});
      EXPECT_EQ(handed, expected);
   }
}

TEST(Win32U, WhichPathsTakeTheExtendedForm)
{
   const auto ofLength = [](std::string path, size_t length) {
      while (path.size() < length) {
         path += path.size() % 50 == 0 ? '\\' : 'x';
      }
      path.resize(length);
      return path;
   };
   const std::string deep = ofLength("C:\\a", 300);
   const auto removeDirectory = [](const std::string& path) { Win32U_RemoveDirectory(path.c_str()); };
   const auto createDirectory = [](const std::string& path) { Win32U_CreateDirectory(path.c_str(), nullptr); };
   const auto find = [](const std::string& path) {
      Win32U_FindData data;
      Win32U_FindFirstFileEx(path.c_str(), &data);
   };
   struct Case {
      const char* name;
      std::function<void(const std::string&)> invoke;
      std::string path;
      std::wstring handed;
   };
   const Case cases[] = {
       {"259 characters", removeDirectory, ofLength("C:\\a", 259), Win32U_Wide(ofLength("C:\\a", 259))},
       {"260 characters", removeDirectory, ofLength("C:\\a", 260), Extended(ofLength("C:\\a", 260))},
       {"a new folder of 247 characters", createDirectory, ofLength("C:\\a", 247), Win32U_Wide(ofLength("C:\\a", 247))},
       {"a new folder of 248 characters", createDirectory, ofLength("C:\\a", 248), Extended(ofLength("C:\\a", 248))},
       {"a new folder given with its back-slash", createDirectory, deep + "\\", Extended(deep + "\\")},
       {"dots and forward slashes", removeDirectory, "C:/skip/.././" + deep.substr(3), Extended(deep)},
       {"a share", removeDirectory, "\\\\server\\share\\" + deep.substr(3),
        L"\\\\?\\UNC\\server\\share\\" + Win32U_Wide(deep.substr(3))},
       {"a share with forward slashes", removeDirectory, "//server/share/" + deep.substr(3),
        L"\\\\?\\UNC\\server\\share\\" + Win32U_Wide(deep.substr(3))},
       {"already in the extended form", removeDirectory, "\\\\?\\" + deep, Extended(deep)},
       {"a device path", removeDirectory, "\\\\.\\" + deep, Win32U_Wide("\\\\.\\" + deep)},
       {"a relative path", removeDirectory, deep.substr(3), Win32U_Wide(deep.substr(3))},
       {"a find pattern", find, deep + "\\*", Extended(deep + "\\*")},
       {"a find pattern keeps its wildcards as written", find, deep + "\\skip\\..\\*.", Extended(deep + "\\*.")},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      RecordedPaths recorded(true);
      c.invoke(c.path);
      ASSERT_EQ(handed.size(), 1u);
      EXPECT_EQ(handed[0].second, c.handed);
   }
}

TEST(Win32U, WrapperKeepsTheWrappedCallsError)
{
   ScratchDir dir("err");
   SetLastError(0);
   EXPECT_FALSE(Win32U_DeleteFile((dir / "missing.txt").c_str()));
   EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
   EXPECT_FALSE(Win32U_CreateDirectory((dir / "no\\such\\parent").c_str(), nullptr));
   EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Win32U, InvalidUtf8ArgumentIsAFailureNotAStop)
{
   SetLastError(0);
   EXPECT_FALSE(Win32U_DeleteFile("C:\\bad\xFFname.txt"));
   EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
   EXPECT_EQ(Win32U_GetFileAttributes("\xC0\xAF"), INVALID_FILE_ATTRIBUTES);
   HKEY key = nullptr;
   EXPECT_EQ(Win32U_RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\\xFF", 0, KEY_READ, &key), ERROR_NO_UNICODE_TRANSLATION);
}

class Win32URegistry : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      ASSERT_EQ(
          Win32U_RegCreateKeyEx(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr),
          ERROR_SUCCESS);
   }
   void TearDown() override
   {
      key_.reset();
      RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TessixTest\\Win32U");
   }
   static constexpr const char* kKey = "Software\\TessixTest\\Win32U";
   UniqueRegKey key_;
};

TEST_F(Win32URegistry, StringValuesCrossAsUtf8)
{
   const char text[] = "caf\xC3\xA9 \xE6\x97\xA5"; // 9 bytes + NUL
   ASSERT_EQ(Win32U_RegSetValueEx(key_.get(), "S", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
             ERROR_SUCCESS);
   // The wide value really holds the UTF-16 text.
   wchar_t wide[32];
   DWORD wideSize = sizeof wide;
   ASSERT_EQ(RegQueryValueExW(key_.get(), L"S", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &wideSize),
             ERROR_SUCCESS);
   EXPECT_EQ(std::wstring(wide), L"caf\u00E9 \u65E5");

   DWORD type = 0;
   DWORD size = 0;
   ASSERT_EQ(Win32U_RegQueryValueEx(key_.get(), "S", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
   EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
   EXPECT_EQ(size, wideSize * 2); // an upper bound of the UTF-8 size

   char buf[10];
   size = sizeof buf;
   ASSERT_EQ(Win32U_RegQueryValueEx(key_.get(), "S", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
             ERROR_SUCCESS);
   EXPECT_STREQ(buf, text);
   EXPECT_EQ(size, 9u); // exact fit: text and NUL
   size = 9;
   EXPECT_EQ(Win32U_RegQueryValueEx(key_.get(), "S", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
             ERROR_MORE_DATA);
   EXPECT_EQ(size, 9u);
}

TEST_F(Win32URegistry, MultiStringKeepsEveryString)
{
   const char text[] = "one\0t\xC3\xA9o\0\0";
   ASSERT_EQ(
       Win32U_RegSetValueEx(key_.get(), "M", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text), sizeof text - 1),
       ERROR_SUCCESS);
   char buf[32];
   DWORD size = sizeof buf;
   ASSERT_EQ(Win32U_RegQueryValueEx(key_.get(), "M", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
             ERROR_SUCCESS);
   EXPECT_EQ(std::string(buf, size + 1), std::string("one\0t\xC3\xA9o\0\0", 10));
}

TEST_F(Win32URegistry, OtherTypesAreCopiedUnchanged)
{
   const DWORD value = 0x2F;
   ASSERT_EQ(Win32U_RegSetValueEx(key_.get(), "D", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
             ERROR_SUCCESS);
   BYTE small[2];
   DWORD size = sizeof small;
   EXPECT_EQ(Win32U_RegQueryValueEx(key_.get(), "D", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
   EXPECT_EQ(size, 4u);
   DWORD read = 0;
   size = sizeof read;
   EXPECT_EQ(Win32U_RegQueryValueEx(key_.get(), "D", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
             ERROR_SUCCESS);
   EXPECT_EQ(read, value);
}

TEST(W32Util, AdminsOnlyAclInMemory)
{
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   ASSERT_TRUE(admins);
   const std::vector<BYTE> bytes = W32Util_BuildAdminsOnlyAcl(admins.get());
   ASSERT_FALSE(bytes.empty());
   auto* acl = reinterpret_cast<PACL>(const_cast<BYTE*>(bytes.data()));
   EXPECT_EQ(acl->AclRevision, ACL_REVISION);
   EXPECT_EQ(acl->AclSize, GetLengthSid(admins.get()) + 16);
   ASSERT_EQ(acl->AceCount, 1);
   void* raw = nullptr;
   ASSERT_TRUE(GetAce(acl, 0, &raw));
   auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
   EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
   EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
   EXPECT_EQ(ace->Mask, 0x101F0000u);
   EXPECT_TRUE(EqualSid(&ace->SidStart, admins.get()));
}

TEST(W32Util, SetAdminsGrpAccessOnly)
{
   ScratchDir dir("acl");
   EXPECT_TRUE(W32Util_SetAdminsGrpAccessOnly((dir.path() + "\\").c_str()));
   EXPECT_FALSE(W32Util_SetAdminsGrpAccessOnly((dir / "missing").c_str()));
   // A link cannot be secured: what it points to could change under us.
   const std::string links = WinePath(TestArg(1));
   EXPECT_FALSE(W32Util_SetAdminsGrpAccessOnly((links + "\\toplink").c_str()));
}
