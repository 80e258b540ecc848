// Finding processes by image name, the tools' install path, and stopping the tools' per-user
// process with the stand-in.
#include "lib/install/processUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lib/misc/win32u.h"
#include "tests/prereq/prereqSupport.h"

namespace
{

std::string OwnImageName()
{
   const std::string path = Win32U_GetModuleFileName(nullptr).value_or("");
   return path.substr(path.find_last_of('\\') + 1);
}

void SetInstallPath(const char* value, REGSAM view)
{
   HKEY key = nullptr;
   if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(kToolsKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                       &key, nullptr) == ERROR_SUCCESS) {
      const std::wstring text = Win32U_Wide(value);
      RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
   }
}

void DeleteToolsKeys()
{
   RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(kToolsKey).c_str(), KEY_WOW64_64KEY, 0);
   RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(kToolsKey).c_str(), KEY_WOW64_32KEY, 0);
}

class Processes : public ::testing::Test, protected LoggedTest
{
};

} // namespace

TEST_F(Processes, FindsRunningProcessesByImageName)
{
   const std::string own = OwnImageName();
   std::string upper = own;
   std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(toupper(c)); });
   EXPECT_TRUE(Util_IsProcessRunning(upper.c_str()));
   EXPECT_FALSE(Util_IsProcessRunning("no-such-program.exe"));
   EXPECT_FALSE(Util_IsProcessRunning(own.substr(0, own.size() - 1).c_str())) << "the whole name must match";
   const std::string log = Log();
   EXPECT_TRUE(
       Contains(log, "Util_IsProcessRunning: Found running process: " + std::to_string(GetCurrentProcessId()) + ":"))
       << log;
   EXPECT_TRUE(Contains(log, "Util_IsProcessRunning: Could not find running process: no-such-program.exe")) << log;

   // The id list takes every image name that begins with the text.
   std::vector<uint32_t> ids{42};
   ASSERT_TRUE(Util_GetProcessIdList(own.substr(0, 6).c_str(), ids));
   EXPECT_EQ(ids.front(), 42u) << "the list is appended to";
   EXPECT_NE(std::find(ids.begin(), ids.end(), GetCurrentProcessId()), ids.end());
   ids.clear();
   ASSERT_TRUE(Util_GetProcessIdList("no-such-program", ids));
   EXPECT_TRUE(ids.empty());
}

TEST_F(Processes, ToolsInstallPathFromEitherView)
{
   const struct {
      const char* native;
      const char* wow32;
      const char* expected;
   } cases[] = {
       {"C:\\Program Files\\Tessix\\Tools", nullptr, "C:\\Program Files\\Tessix\\Tools\\"},
       {"C:\\Tools\\", nullptr, "C:\\Tools\\"},
       {"C:/Tools/", nullptr, "C:/Tools/"},
       {nullptr, "C:\\Tools32", "C:\\Tools32\\"},
       {nullptr, nullptr, ""},
   };
   for (const auto& c : cases) {
      DeleteToolsKeys();
      if (c.native != nullptr) {
         SetInstallPath(c.native, KEY_WOW64_64KEY);
      }
      if (c.wow32 != nullptr) {
         SetInstallPath(c.wow32, KEY_WOW64_32KEY);
      }
      EXPECT_EQ(Util_GetToolsInstallPath(), c.expected);
   }
   DeleteToolsKeys();
}

TEST_F(Processes, StopsTheToolsUserProcess)
{
   InstalledTools tools;
   ASSERT_TRUE(tools.StartUserProcess());
   for (int i = 0; i < 100 && !Util_IsProcessRunning(kToolsProcessName); i++) {
      Sleep(20);
   }
   EXPECT_TRUE(StopTXToolsUserProcess()) << Log();
   EXPECT_FALSE(tools.UserProcessRunning());
   EXPECT_TRUE(Contains(Log(), "-n txusr --kill")) << Log();

   // Not running any more: nothing to do.
   EXPECT_TRUE(StopTXToolsUserProcess());
   EXPECT_TRUE(Contains(Log(), "txtoolsd.exe process is not running, no need to stop.")) << Log();
}

TEST_F(Processes, WithoutTheToolsFolderNothingIsRun)
{
   InstalledTools tools;
   ASSERT_TRUE(tools.StartUserProcess());
   for (int i = 0; i < 100 && !Util_IsProcessRunning(kToolsProcessName); i++) {
      Sleep(20);
   }
   DeleteToolsKeys();
   // A program of the tools' name in the current folder must not be what runs.
   ASSERT_TRUE(PlaceInstaller(temp().path(), "txtoolsd.exe", 0, std::nullopt));
   const std::string oldFolder = Win32U_GetCurrentDirectory().value_or("");
   Win32U_SetCurrentDirectory(temp().path().c_str());
   const bool stopped = StopTXToolsUserProcess();
   Win32U_SetCurrentDirectory(oldFolder.c_str());
   EXPECT_FALSE(stopped);
   EXPECT_TRUE(Runs().empty()) << Runs().front();
   EXPECT_TRUE(tools.UserProcessRunning());
   EXPECT_TRUE(Contains(Log(), "Fail to run 'txtoolsd.exe' to terminate tools user process")) << Log();
}
