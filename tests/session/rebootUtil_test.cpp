// The restart list: one value under a volatile key, fed by Setup and by marker files.
#include "lib/install/rebootUtil.h"

#include <cwchar>
#include <string>
#include <vector>

#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

class RestartList : public InstallerTest
{
};

// The entries waiting for the next restart, one string each.
std::vector<std::string> PendingRenames()
{
   std::vector<std::string> entries;
   HKEY key = nullptr;
   if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                     &key) != ERROR_SUCCESS) {
      return entries;
   }
   DWORD size = 0;
   if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
      RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&text[0]), &size);
      for (const wchar_t* p = text.c_str(); *p != L'\0'; p += wcslen(p) + 1) {
         entries.push_back(Win32U_Utf8(p));
      }
   }
   RegCloseKey(key);
   return entries;
}

std::string List()
{
   std::string list;
   Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kRebootListKey, kRebootListValue, list, false, false);
   return list;
}

} // namespace

TEST_F(RestartList, NothingRecorded)
{
   EXPECT_FALSE(Util_NeedReboot());
   EXPECT_TRUE(LogHas("I1: Util_NeedReboot: Reboot not needed.\n"));
}

TEST_F(RestartList, MarkerFilesJoinTheList)
{
   struct Case {
      const char* file;
      const char* text; // null: no marker
      const char* list;
   };
   const Case cases[] = {
       {"txreboot.tmp", "driverA", "txreboot.tmp;driverA"},
       {"txreboot.tmp", "", "txreboot.tmp"},
       {"tessixboot.tmp", "a;b", "tessixboot.tmp;a;b"},
       {"txreboot.tmp", "driver-A.sys\r\n drv_2\n", "txreboot.tmp;driver-A.sys;drv_2"},
   };
   for (const Case& c : cases) {
      ClearRestartList();
      ASSERT_TRUE(WriteTextFile(TempFolder() + c.file, c.text));
      std::string list;
      EXPECT_TRUE(Util_GetRebootComponents(list)) << c.file;
      EXPECT_EQ(list, c.list);
      EXPECT_FALSE(PathExists(TempFolder() + c.file)) << "a marker is counted once";
   }
   EXPECT_TRUE(Util_NeedReboot());
   EXPECT_TRUE(LogHas("I1: Util_NeedReboot: Reboot required!\n"));
}

// A run as SYSTEM has a temporary folder of its own, while the package's custom actions write
// their markers where the older call points: the markers of both folders count, each once.
TEST_F(RestartList, AsSystemTheMarkersOfBothTemporaryFoldersCount)
{
   SystemTempFolder system;
   ASSERT_EQ(Win32U_GetTempPath(), system.path());
   ASSERT_TRUE(WriteTextFile(system.path() + "txreboot.tmp", "launcher"));
   ASSERT_TRUE(WriteTextFile(TempFolder() + "txreboot.tmp", "driverA"));
   ASSERT_TRUE(WriteTextFile(TempFolder() + "tessixboot.tmp", ""));
   std::string list;
   EXPECT_TRUE(Util_GetRebootComponents(list));
   EXPECT_EQ(list, "txreboot.tmp;launcher;txreboot.tmp;driverA;tessixboot.tmp");
   for (const std::string& marker :
        {system.path() + "txreboot.tmp", TempFolder() + "txreboot.tmp", TempFolder() + "tessixboot.tmp"}) {
      EXPECT_FALSE(PathExists(marker)) << marker;
   }
}

// Any user can make files in the Windows temporary folder: there a marker that a user wrote (not
// SYSTEM or an administrator) asks a SYSTEM run for nothing, and is left as it is.
TEST_F(RestartList, AsSystemAUsersMarkerInTheSharedFolderIsNotUsed)
{
   SystemTempFolder system(L"O:S-1-5-21-1004336348-1177238915-682003330-1001");
   ASSERT_TRUE(WriteTextFile(TempFolder() + "txreboot.tmp", "driverA"));
   std::string list;
   EXPECT_FALSE(Util_GetRebootComponents(list));
   EXPECT_EQ(list, "");
   EXPECT_TRUE(PathExists(TempFolder() + "txreboot.tmp"));
   EXPECT_TRUE(LogHas("txreboot.tmp is not owned by Administrators or SYSTEM; not used\n"));
   DeleteFileW(Win32U_Wide(TempFolder() + "txreboot.tmp").c_str());
}

TEST_F(RestartList, SetRebootAppendsWithoutDeduplicating)
{
   EXPECT_TRUE(Util_SetReboot("driverA"));
   EXPECT_TRUE(Util_SetReboot("driverA"));
   EXPECT_EQ(List(), "driverA;driverA");
   EXPECT_FALSE(Util_SetReboot(nullptr));
   EXPECT_FALSE(Util_SetReboot(""));
   EXPECT_EQ(List(), "driverA;driverA");
   EXPECT_TRUE(LogHas("E1: Util_SetReboot: Null parameter detected.\n"));
   EXPECT_TRUE(LogHas("E1: Util_SetReboot: Empty string detected\n"));
   EXPECT_TRUE(LogHas("I1: Util_SetReboot:   List of components [driverA;driverA]\n"));

   // The key goes with the restart it asks for: Windows refuses a lasting key below it.
   HKEY child = nullptr;
   EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessix, Inc.\\NeedReboot\\Lasting", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &child, nullptr),
             ERROR_CHILD_MUST_BE_VOLATILE);
}

// Any program of the user can write a marker; its text reaches a value under HKLM. Only a short
// list of plain names is taken, and a marker whose text is anything else still asks for the
// restart under its own name.
TEST_F(RestartList, AMarkerTextThatIsNotAListOfNamesIsIgnored)
{
   const std::string tooMany = [] {
      std::string text;
      for (int i = 0; i < 17; i++) {
         text += "n" + std::to_string(i) + ";";
      }
      return text;
   }();
   const std::string texts[] = {
       "a;b\r\nSOFTWARE\\x", std::string(5000, 'a'), "a\"b", std::string(65, 'n'), tooMany, "ok;caf\xc3\xa9",
   };
   for (const std::string& text : texts) {
      SCOPED_TRACE(text.substr(0, 40));
      ClearRestartList();
      ASSERT_TRUE(WriteTextFile(TempFolder() + "txreboot.tmp", text));
      std::string list;
      EXPECT_TRUE(Util_GetRebootComponents(list));
      EXPECT_EQ(list, "txreboot.tmp");
      EXPECT_FALSE(PathExists(TempFolder() + "txreboot.tmp"));
      EXPECT_TRUE(LogHas("W1: Util_ConvertRebootFileToRebootComponent: The text of " + TempFolder() +
                         "txreboot.tmp is not a list of component names; ignored\n"));
   }
}

// A marker held by a program that does not share its deletion cannot go now. It stays: deletion
// at the restart would act on whatever the name is by then, a link to a system file included.
TEST_F(RestartList, AMarkerThatCannotBeDeletedIsLeftNotScheduled)
{
   const std::string marker = TempFolder() + "tessixboot.tmp";
   ASSERT_TRUE(WriteTextFile(marker, "driverB"));
   HANDLE held =
       CreateFileW(Win32U_Wide(marker).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
   ASSERT_NE(held, INVALID_HANDLE_VALUE);
   std::string list;
   EXPECT_TRUE(Util_GetRebootComponents(list));
   CloseHandle(held);
   EXPECT_EQ(list, "tessixboot.tmp;driverB");
   EXPECT_TRUE(PathExists(marker));
   EXPECT_TRUE(LogHas("W1: Util_ConvertRebootFileToRebootComponent: Cannot delete " + marker + "; left in place"));
   for (const std::string& entry : PendingRenames()) {
      EXPECT_EQ(entry.find(marker), std::string::npos) << entry;
   }
}

// A marker name made a link to, or a second name of, another file: that file is neither read
// into the list nor deleted.
TEST_F(RestartList, AMarkerThatLeadsToAnotherFileIsNotUsed)
{
   ScratchDir elsewhere("victim");
   const std::string victim = elsewhere / "victim.sys";
   const std::string marker = TempFolder() + "txreboot.tmp";
   struct Case {
      const char* name;
      bool (*plant)(const std::string& target, const std::string& marker);
   };
   const Case cases[] = {
       {"symbolic link", [](const std::string& target,
                            const std::string& name) { return PlantUnixLink(UnixPath(target), UnixPath(name)); }},
       {"hard link",
        [](const std::string& target, const std::string& name) {
           return CreateHardLinkW(Win32U_Wide(name).c_str(), Win32U_Wide(target).c_str(), nullptr) != FALSE;
        }},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ClearRestartList();
      ASSERT_TRUE(WriteTextFile(victim, "victimName"));
      ASSERT_TRUE(c.plant(victim, marker));
      std::string list;
      EXPECT_FALSE(Util_GetRebootComponents(list));
      EXPECT_EQ(list, "");
      EXPECT_EQ(ReadTextFile(victim), "victimName");
      EXPECT_TRUE(
          LogHas("W1: Util_ConvertRebootFileToRebootComponent: " + marker + " is a link or has other names; not used"));
      if (!RemoveUnixLink(UnixPath(marker))) {
         DeleteFileW(Win32U_Wide(marker).c_str());
      }
   }
}
