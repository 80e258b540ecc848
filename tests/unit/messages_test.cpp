#include "apps/install/setup/ui/messages.h"

#include <gtest/gtest.h>

#include <regex>

#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace {

constexpr LANGID kLanguages[] = {0x0409, 0x0007, 0x000A, 0x000C, 0x0010, 0x0411, 0x0412, 0x0404, 0x0804};

std::vector<UINT> MessageIds()
{
   std::vector<UINT> ids;
   for (UINT id = 11; id <= 80; id++) {
      if (id != 18 && id != 19 && (id < 44 || id > 47)) {
         ids.push_back(id);
      }
   }
   return ids;
}

// Reads one string of one language straight from the string-table block.
std::optional<std::wstring> TableString(HMODULE module, UINT id, LANGID language)
{
   HRSRC block = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), language);
   if (block == nullptr) {
      return std::nullopt;
   }
   const auto* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, block)));
   for (UINT i = 0; i < id % 16; i++) {
      p += *p + 1;
   }
   if (*p == 0) {
      return std::nullopt;
   }
   return std::wstring(p + 1, *p);
}

// Every % of a text with what follows it, in order, as the text's readers take it: the
// environment reference %TEMP% of the usage texts, a printf conversion (flags, width, precision,
// length, conversion letter, or %%), a FormatMessage insert (%1), and a % that starts none of
// these on its own. The texts are formats: a translator's "100 % des" holds a conversion.
std::string Placeholders(const std::string& text)
{
   static const std::regex pattern(R"(%TEMP%|%[-+ #0]*(\*|[0-9]+)?(\.(\*|[0-9]*))?)"
                                   R"((hh|h|ll|l|j|z|t|L|I64|I32|I)?[diouxXeEfFgGaAcCsSpn%]|%[0-9]+|%)");
   std::string out;
   for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
      out += it->str() + " ";
   }
   return out;
}

class Messages : public ::testing::Test {
protected:
   void SetUp() override
   {
      module_ = LoadLibraryExW(Win32U_Wide(WinePath(TestArg(1))).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
      ASSERT_NE(module_, nullptr) << "cannot load the launcher image " << TestArg(1);
   }
   void TearDown() override { FreeLibrary(module_); }
   HMODULE module_ = nullptr;
};

} // namespace

TEST(MessagePlaceholders, TranslationsThatChangeTheFormatAreTold)
{
   const struct {
      const char* english;
      const char* translation;
      bool same;
   } cases[] = {
       {"at least %d MB of free space", "au moins %d Mo d'espace libre", true},
       {"The path '%1' is invalid.", "Der Pfad '%1' ist ungültig.", true},
       {"Unpack into %TEMP% folder.", "Décompresser dans le dossier %TEMP%.", true},
       {"%d MB free", "%d Mo libres (100 %)", false},
       {"%d MB free", "%d Mo, 100 % disponibles", false}, // "% d" is a conversion
       {"%s cannot", "%S kann nicht", false},
       {"%s (%d)", "%d (%s)", false},
       {"%d%% done", "%d% fait", false},
       {"%I64u bytes", "%u octets", false},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(Placeholders(c.english) == Placeholders(c.translation), c.same) << c.translation;
   }
}

TEST_F(Messages, EveryMessageInEveryLanguageWithTheSamePlaceholders)
{
   for (UINT id : MessageIds()) {
      const auto english = TableString(module_, id, 0x0409);
      ASSERT_TRUE(english) << "message " << id;
      const std::string expected = Placeholders(Win32U_Utf8(*english));
      for (LANGID language : kLanguages) {
         const auto text = TableString(module_, id, language);
         ASSERT_TRUE(text) << "message " << id << " language " << std::hex << language;
         EXPECT_EQ(Placeholders(Win32U_Utf8(*text)), expected) << "message " << id << " language " << std::hex << language;
      }
   }
}

// Each text of each language against the buffer the launcher loads it into; the title also
// against the 256 bytes the configuration keeps of it for its own boxes.
TEST_F(Messages, EveryTextFitsItsBufferInEveryLanguage)
{
   constexpr size_t kConfigTitleBytes = 256;
   for (UINT id : MessageIds()) {
      for (LANGID language : kLanguages) {
         const auto text = TableString(module_, id, language);
         ASSERT_TRUE(text) << "message " << id << " language " << std::hex << language;
         const size_t bytes = Win32U_Utf8(*text).size();
         EXPECT_LT(bytes, id == MSG_TITLE ? kConfigTitleBytes : kMessageTextBytes)
             << "message " << id << " language " << std::hex << language;
      }
   }
}

TEST_F(Messages, LongMessagesLoadWhole)
{
   for (UINT id : {35u, 66u, 71u, 72u, 73u, 79u}) {
      const auto english = TableString(module_, id, 0x0409);
      ASSERT_TRUE(english);
      ASSERT_GT(english->size(), 255u) << id;
      const auto loaded = LoadMessageAlloc(module_, id);
      ASSERT_TRUE(loaded) << id;
      EXPECT_EQ(*loaded, Win32U_Utf8(*english)) << id;
      char buf[kMessageTextBytes] = "";
      LoadMessage(module_, id, buf, sizeof buf);
      EXPECT_EQ(std::string(buf), *loaded);
   }
   const auto usage = LoadMessageAlloc(module_, MSG_USAGE);
   ASSERT_TRUE(usage);
   EXPECT_EQ(usage->rfind("Usage:\n   /? :  Show this dialog.\n", 0), 0u);
   EXPECT_NE(usage->find("   /mg : Log mode is guest only.\n"), std::string::npos);
}

TEST_F(Messages, MissingMessageLeavesTheBufferAlone)
{
   char buf[16] = "";
   LoadMessage(module_, 18, buf, sizeof buf);
   EXPECT_STREQ(buf, "");
   EXPECT_FALSE(LoadMessageAlloc(module_, 18));
   EXPECT_FALSE(LoadMessageAlloc(module_, 44));
}

TEST_F(Messages, SmallBufferCutsOnACharacterBoundary)
{
   char buf[12];
   LoadMessage(module_, MSG_TITLE, buf, sizeof buf);
   EXPECT_STREQ(buf, "Tessix Prod");
}

// The test runs once per user-interface language (LC_ALL under Wine): the loader picks the
// exact table, else the neutral table of the primary language, else English.
TEST_F(Messages, UserInterfaceLanguageChoosesTheTable)
{
   const LANGID ui = GetUserDefaultUILanguage();
   LANGID expected = 0x0409;
   for (LANGID language : kLanguages) {
      if (language == ui || language == PRIMARYLANGID(ui)) {
         expected = language;
      }
   }
   const std::string wanted = TestArg(2);
   if (!wanted.empty()) {
      ASSERT_EQ(expected, static_cast<LANGID>(std::stoul(wanted, nullptr, 16))) << "UI language " << std::hex << ui;
   }
   const auto table = TableString(module_, MSG_TITLE, expected);
   ASSERT_TRUE(table);
   const auto loaded = LoadMessageAlloc(module_, MSG_TITLE);
   ASSERT_TRUE(loaded);
   EXPECT_EQ(*loaded, Win32U_Utf8(*table)) << "UI language " << std::hex << ui;
}

// The usage text as a refused command line shows it, in the user-interface language of the run
// (a silent run logs the box): whole, to its last line.
TEST_F(Messages, UserInterfaceLanguageUsageShownWhole)
{
   ScratchDir logDir("musage");
   TempFolderOverride temp(logDir.path() + "\\");
   Inst_ResetLoggingForTest();
   Inst_SetupLogging("test", "t", nullptr, nullptr);
   bool silent = true;
   silentFlag = &silent;
   ShowUsage(module_, nullptr, "T");
   silentFlag = nullptr;
   Inst_ResetLoggingForTest();
   const auto usage = LoadMessageAlloc(module_, MSG_USAGE);
   ASSERT_TRUE(usage);
   const std::string log = ReadTextFile(logDir / "txinst.log");
   EXPECT_NE(log.find("DisplayMessageBox: \"T\" - \"" + *usage + "\"\n"), std::string::npos)
       << "UI language " << std::hex << GetUserDefaultUILanguage() << "\n"
       << log;
}
