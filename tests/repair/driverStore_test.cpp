// Driver-store clean-up against the prefix's real system folder.
#include "lib/install/driverStore.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/gui/driver.h"
#include "tests/unit/testSupport.h"

namespace
{

class DriverStore : public UiTest
{
 protected:
   DriverStore() : UiTest("drvstore") {}
   void SetUp() override
   {
      UiTest::SetUp();
      ASSERT_FALSE(PathExists(store_)) << "the prefix has a driver store of its own";
   }
   void TearDown() override
   {
      RemoveTree(store_);
      UiTest::TearDown();
   }
   void MakeFolder(const std::string& name)
   {
      CreateDirectoryW(Win32U_Wide(store_).c_str(), nullptr);
      ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(store_ + "\\" + name).c_str(), nullptr)) << name;
   }
   std::vector<std::string> Listing() const
   {
      auto names = ListFolder(store_);
      std::sort(names.begin(), names.end());
      return names;
   }

   const std::string store_ = Win32U_GetSystemDirectory() + "\\DRVSTORE";
};

} // namespace

TEST_F(DriverStore, RemovesEveryPackageFolderOfTheDriverAndNothingElse)
{
   for (const char* name : {"txm86_1a2b3c", "txm86_4d5e6f", "txm86_old", "txm86x_other", "txm8_short", "other_1"}) {
      MakeFolder(name);
   }
   ASSERT_TRUE(WriteTextFile(store_ + "\\txm86_old\\txm86.sys", "driver"));
   MakeFolder("txm86_old\\amd64");
   ASSERT_TRUE(WriteTextFile(store_ + "\\txm86_old\\amd64\\txm86.cat", "catalog"));
   ASSERT_TRUE(WriteTextFile(store_ + "\\txm86_notes.txt", "a file that matches is not a package"));
   bool reboot = true;
   EXPECT_TRUE(RemoveDriverPackageInDrvStore("txm86", reboot));
   EXPECT_FALSE(reboot);
   EXPECT_EQ(Listing(), (std::vector<std::string>{"other_1", "txm86_notes.txt", "txm86x_other", "txm8_short"}));
   const std::string log = Log();
   EXPECT_NE(log.find("I0: Enter RemoveDriverPackageInDrvStore for txm86\n"), std::string::npos);
   EXPECT_NE(log.find("I0: RemoveDriverPackageInDrvStore: try to delete directory " + store_ + "\\txm86_old.\n"),
             std::string::npos)
       << log;
   EXPECT_NE(log.find("I0: RemoveDriverPackageInDrvStore: removed 3 driver package for txm86\n"), std::string::npos);
}

TEST_F(DriverStore, NothingLeftToRemove)
{
   // A store without the driver's folders, and no store at all: either way no package is left.
   for (bool storeExists : {true, false}) {
      SCOPED_TRACE(storeExists ? "empty store" : "no store");
      if (storeExists) {
         MakeFolder("other_1");
      }
      bool reboot = false;
      EXPECT_TRUE(RemoveDriverPackageInDrvStore("txm86", reboot));
      EXPECT_NE(Log().find("I0: RemoveDriverPackageInDrvStore: There has no remained driver package in drvstore.\n"),
                std::string::npos);
      RemoveTree(store_);
   }
}

TEST_F(DriverStore, PackageInUseFailsTheAction)
{
   MakeFolder("txm86_busy");
   ASSERT_TRUE(WriteTextFile(store_ + "\\txm86_busy\\txm86.sys", "driver"));
   HANDLE open = CreateFileW(Win32U_Wide(store_ + "\\txm86_busy\\txm86.sys").c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, 0, nullptr);
   ASSERT_NE(open, INVALID_HANDLE_VALUE);
   bool reboot = true;
   EXPECT_FALSE(RemoveDriverPackageInDrvStore("txm86", reboot));
   CloseHandle(open);
   EXPECT_TRUE(PathExists(store_ + "\\txm86_busy"));
   const std::string log = Log();
   EXPECT_NE(log.find("RemoveDriverPackageInDrvStore: delete driver package in [" + store_ + "\\txm86_busy] failed.\n"),
             std::string::npos)
       << log;
   EXPECT_NE(log.find("RemoveDriverPackageInDrvStore: removed 0 driver package for txm86\n"), std::string::npos);
}

TEST_F(DriverStore, NamesThatWouldWidenTheSearchAreRefused)
{
   MakeFolder("txm86_keep");
   for (const char* name : {"", "*", "..\\txm86", "txm?6"}) {
      bool reboot = true;
      EXPECT_FALSE(RemoveDriverPackageInDrvStore(name, reboot)) << name;
   }
   EXPECT_TRUE(PathExists(store_ + "\\txm86_keep"));
}
