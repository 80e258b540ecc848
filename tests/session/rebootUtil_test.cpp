// The restart list: one value under a volatile key, fed by Setup and by marker files.
#include "lib/install/rebootUtil.h"

#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

class RestartList : public InstallerTest
{
};

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
       {"tessixboot.tmp", "a;b", "tessixboot.tmp;a;b"}, // the text is one entry, whatever it holds
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
