#include "lib/install/regUtil.h"

#include <gtest/gtest.h>

#include <cstring>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace
{

const char kBase[] = "SOFTWARE\\TessixTest\\RegUtil";

class RegUtil : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      Inst_ResetLoggingForTest();
      Inst_SetupLogging("test", "t", nullptr, nullptr);
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest");
   }
   void TearDown() override
   {
      Inst_ResetLoggingForTest();
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest");
   }
   std::string Log() const { return ReadTextFile(logDir_ / "txinst.log"); }
   static std::string Key(const char* sub) { return std::string(kBase) + "\\" + sub; }

   ScratchDir logDir_{"rlog"};
   TempFolderOverride override_{logDir_.path() + "\\"};
};

// Windows' answers for a key that resists deletion: the caller may not delete it, or not even
// open it (its security says so; Wine keeps no registry security), or it opens as missing while
// it is still enumerated (a link to a missing key). A registry call returns its error and leaves
// the last error as it was: here, something stale.
enum class Resisting { DeleteRefused, NeitherOpenedNorDeleted, OpensAsMissing };
const char* resistingName = ""; // the last part of the key's path
Resisting resisting = Resisting::DeleteRefused;
unsigned enumerations = 0;        // how often sub-key 0 was asked for
constexpr unsigned kLooping = 50; // far more than any tree here needs

bool Resists(const char* subKey)
{
   const size_t length = subKey ? strlen(subKey) : 0;
   const size_t end = strlen(resistingName);
   return length >= end && strcmp(subKey + length - end, resistingName) == 0;
}

LONG OpenLikeWindows(HKEY root, const char* subKey, DWORD options, REGSAM sam, HKEY* key)
{
   if (Resists(subKey) && resisting == Resisting::NeitherOpenedNorDeleted) {
      return ERROR_ACCESS_DENIED;
   }
   if (Resists(subKey) && resisting == Resisting::OpensAsMissing) {
      return ERROR_FILE_NOT_FOUND;
   }
   return Win32U_RegOpenKeyEx(root, subKey, options, sam, key);
}

LONG EnumCountingLoops(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* className,
                       DWORD* classSize, FILETIME* lastWrite)
{
   if (++enumerations > kLooping) {
      return ERROR_NO_MORE_ITEMS; // ends a loop that would never end by itself
   }
   return Win32U_RegEnumKeyEx(key, index, name, nameSize, reserved, className, classSize, lastWrite);
}

LONG DeleteLikeWindows(HKEY root, const char* subKey)
{
   if (Resists(subKey)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return resisting == Resisting::OpensAsMissing ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
   }
   return Win32U_RegDeleteKey(root, subKey);
}

} // namespace

TEST_F(RegUtil, CreateTestAndDeleteADeepTree)
{
   EXPECT_TRUE(Util_CreateKey(HKEY_LOCAL_MACHINE, Key("a\\b\\c").c_str(), REG_OPTION_NON_VOLATILE, true));
   EXPECT_TRUE(Util_CreateKey(HKEY_LOCAL_MACHINE, Key("a\\b2").c_str(), REG_OPTION_NON_VOLATILE, false));
   const DWORD one = 1;
   EXPECT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, Key("a\\b\\c").c_str(), "v", REG_DWORD, &one, sizeof one, 0, true));
   EXPECT_TRUE(Util_DoesKeyExist(HKEY_LOCAL_MACHINE, Key("a\\b\\c").c_str(), true));
   EXPECT_FALSE(Util_IsKeyEmpty(HKEY_LOCAL_MACHINE, Key("a").c_str()));
   EXPECT_TRUE(Util_IsKeyEmpty(HKEY_LOCAL_MACHINE, Key("a\\b2").c_str()));

   EXPECT_TRUE(Util_DeleteKey(HKEY_LOCAL_MACHINE, Key("a").c_str()));
   EXPECT_FALSE(Util_DoesKeyExist(HKEY_LOCAL_MACHINE, Key("a").c_str(), false));
   EXPECT_NE(
       Log().find("W1: Util_DeleteKey: Deleting a key that isn't empty: \"HKEY_LOCAL_MACHINE\\" + Key("a") + "\""),
       std::string::npos);
}

TEST_F(RegUtil, DeleteOfAMissingKey)
{
   EXPECT_TRUE(Util_DeleteKey(HKEY_LOCAL_MACHINE, Key("missing").c_str()));
   const std::string log = Log();
   EXPECT_NE(log.find("I1: Util_IsKeyEmpty: Failed to open key " + Key("missing")), std::string::npos);
   EXPECT_NE(log.find("W1: Util_DeleteKey: Deleting a key that isn't empty"), std::string::npos);
   EXPECT_FALSE(Util_DeleteKey(HKEY_LOCAL_MACHINE, ""));
   EXPECT_FALSE(Util_DeleteKey(HKEY_LOCAL_MACHINE, nullptr));
}

// A key that resists deletion ends the deletion: one line with the registry's own code (not
// the stale last error), and failure for the caller.
TEST_F(RegUtil, AResistingKeyEndsTheDeletionWithOneLineAndFailure)
{
   struct Case {
      const char* name;
      Resisting how;
      const char* created; // the tree made first
      const char* deleted; // the key given to Util_DeleteKey
      const char* line;    // the end of the one "Failed to delete key" line
   };
   const Case cases[] = {
       {"a key whose deletion is refused", Resisting::DeleteRefused, "Leaf", "Leaf", "Leaf| winerror code 5"},
       {"a sub-key that can be neither opened nor deleted", Resisting::NeitherOpenedNorDeleted, "Parent\\Stuck",
        "Parent", "key Stuck| winerror code 5"},
       {"a sub-key that opens as missing", Resisting::OpensAsMissing, "Other\\Ghost", "Other",
        "key Ghost| winerror code 1013"},
   };
   const RegUtilCalls calls = {OpenLikeWindows, EnumCountingLoops, DeleteLikeWindows};
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(Util_CreateKey(HKEY_LOCAL_MACHINE, Key(c.created).c_str(), REG_OPTION_NON_VOLATILE, true));
      const std::string created = c.created;
      resistingName = c.created + (created.rfind('\\') == std::string::npos ? 0 : created.rfind('\\') + 1);
      resisting = c.how;
      enumerations = 0;
      const size_t before = Log().size();
      Util_SetRegistryCallsForTest(&calls);
      const bool deleted = Util_DeleteKey(HKEY_LOCAL_MACHINE, Key(c.deleted).c_str());
      Util_SetRegistryCallsForTest(nullptr);
      EXPECT_FALSE(deleted);
      EXPECT_LE(enumerations, kLooping) << "the deletion went round in circles";
      size_t refusals = 0;
      for (const auto& line : SplitLines(Log().substr(before))) {
         if (line.find("Util_DeleteKey: Failed to delete key") != std::string::npos) {
            refusals++;
            EXPECT_NE(line.find("E1: "), std::string::npos) << line;
            EXPECT_NE(line.find(c.line), std::string::npos) << line;
         }
      }
      EXPECT_EQ(refusals, 1u);
   }
}

TEST_F(RegUtil, ReadStringValues)
{
   const char text[] = "C:\\Program Files\\Tessix\\";
   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "Path", REG_SZ, text, sizeof text, 0, true));
   std::string out = "stale";
   EXPECT_TRUE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "Path", out, true, false));
   EXPECT_EQ(out, text);
   EXPECT_NE(Log().find("I2: Util_GetKeyValueString: (HKEY_LOCAL_MACHINE\\" + std::string(kBase) + "\\Path) = \"" +
                        text + "\""),
             std::string::npos);

   const char empty[] = "";
   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "Empty", REG_SZ, empty, sizeof empty, 0, true));
   EXPECT_TRUE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "Empty", out, false, false));
   EXPECT_EQ(out, "");

   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "NoData", REG_BINARY, nullptr, 0, 0, true));
   out = "stale";
   const size_t before = Log().size();
   EXPECT_FALSE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "NoData", out, false, false));
   EXPECT_EQ(out, "");
   EXPECT_EQ(Log().size(), before); // no line for a value without data

   const char multi[] = "first\0second\0";
   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "Multi", REG_MULTI_SZ, multi, sizeof multi, 0, true));
   EXPECT_TRUE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "Multi", out, false, false));
   EXPECT_EQ(out, "first");
}

TEST_F(RegUtil, BothViewFlagsAreRefusedBeforeTouchingTheRegistry)
{
   std::string out;
   EXPECT_FALSE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "Path", out, true, true));
   char buf[8];
   DWORD size = sizeof buf;
   EXPECT_FALSE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "Path", buf, &size, true, true));
   EXPECT_NE(Log().find("E1: Util_GetKeyValueString: Cannot set both use64BitRegistry and use32BitRegistry to TRUE"),
             std::string::npos);
}

TEST_F(RegUtil, BufferFormTooSmall)
{
   const char text[] = "0123456789";
   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "S", REG_SZ, text, sizeof text, 0, true));
   char buf[8];
   DWORD size = sizeof buf;
   EXPECT_FALSE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "S", buf, &size, false, false));
   EXPECT_NE(Log().find("E1: Util_GetKeyValueString: Cannot query key value HKEY_LOCAL_MACHINE\\" + std::string(kBase) +
                        "\\S| winerror code 234"),
             std::string::npos);
}

// A value that is no string may fill the caller's buffer to its last byte: the log line shows
// the bytes read and nothing behind them.
TEST_F(RegUtil, BufferFormLogsOnlyTheBytesRead)
{
   const char bytes[] = {'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A'};
   ASSERT_TRUE(Util_SetKeyValue(HKEY_LOCAL_MACHINE, kBase, "B", REG_BINARY, bytes, sizeof bytes, 0, true));
   char buf[64];
   memset(buf, 'Z', sizeof buf - 1);
   buf[sizeof buf - 1] = '\0';
   DWORD size = sizeof bytes;
   EXPECT_TRUE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kBase, "B", buf, &size, false, false));
   EXPECT_EQ(size, sizeof bytes);
   const std::string line = "I2: Util_GetKeyValueString: (HKEY_LOCAL_MACHINE\\" + std::string(kBase) + "\\B) = \"";
   const std::string log = Log();
   const size_t at = log.find(line);
   ASSERT_NE(at, std::string::npos) << log;
   EXPECT_EQ(log.substr(at + line.size(), 10), "AAAAAAAA\"\n");
}

TEST_F(RegUtil, ViewsAreSeparate)
{
   // A 64-bit process sees the 32-bit view through KEY_WOW64_32KEY only.
   HKEY key = nullptr;
   ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest\\Only32", 0, nullptr, 0,
                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
             ERROR_SUCCESS);
   const wchar_t value[] = L"32";
   RegSetValueExW(key, L"V", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
   RegCloseKey(key);
   std::string out;
   EXPECT_TRUE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, "SOFTWARE\\TessixTest\\Only32", "V", out, false, true));
   EXPECT_EQ(out, "32");
   EXPECT_FALSE(Util_GetKeyValueString(HKEY_LOCAL_MACHINE, "SOFTWARE\\TessixTest\\Only32", "V", out, true, false));
   RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest\\Only32", KEY_WOW64_32KEY, 0);
   RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest", KEY_WOW64_32KEY, 0);
}

TEST_F(RegUtil, VolatileKeyIsMarkedVolatile)
{
   ASSERT_TRUE(Util_CreateKey(HKEY_LOCAL_MACHINE, kBase, REG_OPTION_NON_VOLATILE, true));
   ASSERT_TRUE(Util_CreateKey(HKEY_LOCAL_MACHINE, Key("Volatile").c_str(), REG_OPTION_VOLATILE, true));
   // A non-volatile key cannot live under a volatile one: that is how Windows tells them apart.
   HKEY child = nullptr;
   EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TessixTest\\RegUtil\\Volatile\\Child", 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child, nullptr),
             ERROR_CHILD_MUST_BE_VOLATILE);
}
