// The product registration as Wine's Windows Installer writes it: packed codes, nesting and
// un-nesting of a real registration, and the database twins.
#include "lib/install/msiUtil.h"

#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

class Registration : public InstallerTest
{
};

std::string Packed(const char* code)
{
   char packed[kPackedGuidBytes];
   EXPECT_TRUE(MsiUtil_PackGuid(code, packed, sizeof packed));
   return packed;
}

} // namespace

TEST_F(Registration, PackedCodesNameWhatTheInstallerRegistered)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("tools-13.0.0.msi")), 0u);
   EXPECT_EQ(MsiUtil_ProductRegistrationKey(kToolsCode), "Installer\\Products\\03A2E1F6C4B8E5D4F906A1B2C3D4E510");
   EXPECT_TRUE(Util_DoesKeyExist(HKEY_CLASSES_ROOT, MsiUtil_ProductRegistrationKey(kToolsCode).c_str(), true));
   EXPECT_EQ(Clients(kToolsCode), ":|");
   for (const char* component : {kToolsMainComponent, kToolsSecondComponent}) {
      const std::string key =
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\" +
          Packed(component);
      EXPECT_TRUE(Util_DoesKeyExist(HKEY_LOCAL_MACHINE, key.c_str(), true)) << component;
   }
}

TEST_F(Registration, NestingRoundTrip)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("tools-13.0.0.msi")), 0u);
   std::string parent = "unchanged";
   EXPECT_FALSE(MsiUtil_IsMsiNested(kToolsCode, &parent));
   EXPECT_EQ(parent, "unchanged");
   EXPECT_TRUE(MsiUtil_UnnestMsi(kToolsCode)) << "a stand-alone product is left as it is";
   EXPECT_EQ(Clients(kToolsCode), ":|");

   ASSERT_TRUE(MsiUtil_NestMsi(kToolsCode, kOldCode));
   EXPECT_EQ(Clients(kToolsCode), std::string(kOldCode) + "|;|;|");
   EXPECT_FALSE(MsiUtil_NestMsi(kToolsCode, kMarkerCode)) << "already nested: nothing is written";
   EXPECT_EQ(Clients(kToolsCode), std::string(kOldCode) + "|;|;|");
   ASSERT_TRUE(MsiUtil_IsMsiNested(kToolsCode, &parent));
   EXPECT_EQ(parent, kOldCode);

   ASSERT_TRUE(MsiUtil_UnnestMsi(kToolsCode));
   EXPECT_EQ(Clients(kToolsCode), ":|");
   EXPECT_TRUE(Util_DoesKeyExist(HKEY_CLASSES_ROOT,
                                 (MsiUtil_ProductRegistrationKey(kToolsCode) + "\\SourceList").c_str(), true));
   ASSERT_TRUE(MsiUtil_NestMsi(kToolsCode, parent));
   EXPECT_TRUE(MsiUtil_IsMsiNested(kToolsCode, &parent));
   EXPECT_EQ(parent, kOldCode);
   EXPECT_TRUE(MsiUtil_UnnestMsi(kToolsCode));

   // Codes that name no registration, or cannot name one at all.
   EXPECT_FALSE(MsiUtil_IsMsiNested(kMarkerCode));
   EXPECT_FALSE(MsiUtil_NestMsi(kMarkerCode, kOldCode));
   EXPECT_FALSE(MsiUtil_UnnestMsi(""));
   EXPECT_FALSE(MsiUtil_IsMsiNested("{short}"));
   EXPECT_TRUE(LogHas("E1: MsiUtil_IsMsiNested: Error munging ProductCode\n"));
}

TEST_F(Registration, DatabaseTwins)
{
   MSIHANDLE database = 0;
   ASSERT_EQ(MsiUtil_OpenDatabase(FixturePackage("tools-13.0.1.msi").c_str(), nullptr, &database), 0u);
   MSIHANDLE view = 0;
   ASSERT_EQ(MsiUtil_DatabaseOpenView(database, "SELECT `Value` FROM `Property` WHERE `Property`='ProductName'", &view),
             0u);
   ASSERT_EQ(MsiViewExecute(view, 0), 0u);
   MSIHANDLE record = 0;
   ASSERT_EQ(MsiViewFetch(view, &record), 0u);

   char text[64];
   DWORD size = 5;
   EXPECT_EQ(MsiUtil_RecordGetString(record, 1, text, &size), 234u);
   EXPECT_GE(size, 17u) << "enough for \"Tessix Test Tools\"";
   size = 17; // the text fits, its NUL does not
   EXPECT_EQ(MsiUtil_RecordGetString(record, 1, text, &size), 234u);
   EXPECT_GE(size, 17u);
   size = sizeof text;
   ASSERT_EQ(MsiUtil_RecordGetString(record, 1, text, &size), 0u);
   EXPECT_STREQ(text, "Tessix Test Tools");
   EXPECT_EQ(size, 17u);
   MsiCloseHandle(record);
   MsiCloseHandle(view);
   MsiCloseHandle(database);

   EXPECT_NE(MsiUtil_OpenDatabase(FixturePackage("bad.msi").c_str(), nullptr, &database), 0u);
}
