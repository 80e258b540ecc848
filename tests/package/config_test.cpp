#include "apps/install/setup/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "apps/install/setup/ui/uiState.h"
#include "lib/misc/win32u.h"
#include "tests/package/packageSupport.h"

namespace
{

const char kTitle[] = "Tessix Product Installation";

// A complete configuration in the standard (not tools) style.
const KeyValues kBase = {
    {"SFXINSERT", "0"},
    {"PRODUCTNAME", "Tessix Tools"},
    {"UPGRADECODE", "{1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B65}"},
    {"PRODUCTCODE", "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}"},
    {"TX_DATABASE", "Tessix Tools.msi"},
    {"TXIOPTION", ""},
    {"MINIMUM_9X_MSI", "200"},
    {"MINIMUM_NT_MSI", "300"},
};

struct Edit {
   KeyValues set;
   std::vector<std::string> remove;
};

class Configuration : public ::testing::Test
{
 protected:
   void SetUp() override { silentFlag = &silent_; }
   void TearDown() override { silentFlag = nullptr; }

   // Reads the configuration of a launcher holding the base values with `edit` applied.
   bool Read(const Edit& edit, InstallStyle style = {})
   {
      KeyValues values;
      for (const auto& [key, value] : kBase) {
         if (std::find(edit.remove.begin(), edit.remove.end(), key) == edit.remove.end()) {
            values.emplace_back(key, value);
         }
      }
      values.insert(values.end(), edit.set.begin(), edit.set.end());
      const std::string image = dir_ / "setup.exe";
      EXPECT_TRUE(CopyLauncher(image));
      EXPECT_EQ(SetConfigValues(image, values), "");
      ImageResources module(image);
      EXPECT_NE(module.get(), nullptr);
      config_ = SetupConfig{};
      return ReadConfiguration(config_, module.get(), kTitle, true, style);
   }

   // The box a silent run logs instead of showing.
   std::string Box(const std::string& text) const
   {
      return "DisplayMessageBox: \"" + std::string(kTitle) + "\" - \"" + text + "\"";
   }

   ScratchDir dir_{"cfg"};
   LogCapture log_;
   bool silent_ = true;
   SetupConfig config_;
};

} // namespace

TEST_F(Configuration, ReadsEveryKeyAndLogsEachOnce)
{
   ASSERT_TRUE(Read({{{"LANGUAGES", "1034 1036 1041"},
                      {"OPERATION", "INSTALLUPD"},
                      {"OLDCODES", "{A};{B}"},
                      {"VCRUNTIME64", "vcredist_arm64.exe"},
                      {"HELPER_UI", ""},
                      {"SKIPADMINCHECK", "0"},
                      {"INSTMSIW", "instmsi.exe"}},
                     {}}));
   EXPECT_EQ(config_.windowTitle, kTitle);
   EXPECT_EQ(config_.operation, "INSTALLUPD");
   EXPECT_EQ(config_.productName, "Tessix Tools");
   EXPECT_EQ(config_.productCode, "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}");
   EXPECT_EQ(config_.languages, "1034 1036 1041");
   EXPECT_EQ(config_.database, "Tessix Tools.msi");
   EXPECT_FALSE(config_.isPatch);
   EXPECT_EQ(config_.payloadOffset, 0u);
   EXPECT_EQ(config_.txiOption, "");
   EXPECT_EQ(config_.minimumMsi9x, 200u);
   EXPECT_EQ(config_.minimumMsiNt, 300u);
   EXPECT_EQ(config_.upgrader, "instmsi.exe");
   EXPECT_EQ(config_.vcRuntime64, "vcredist_arm64.exe");
   EXPECT_EQ(config_.vcRuntime32, std::nullopt);
   EXPECT_EQ(config_.properties, std::nullopt) << "absent outside the tools style";
   EXPECT_EQ(config_.oldCodes, "{A};{B}");
   EXPECT_TRUE(config_.helperUi);
   EXPECT_TRUE(config_.skipAdminCheck);
   EXPECT_FALSE(config_.cacheMsi);

   for (const auto& [key, value] : kBase) {
      EXPECT_EQ(log_.Count("[Resource] " + key + " = " + value), 1u) << key;
   }
   EXPECT_EQ(log_.Count("[Resource] VCRUNTIME32 = <not defined>"), 1u);
   EXPECT_EQ(log_.Count("[Resource] PROPERTIES = <not defined>"), 1u);
   EXPECT_FALSE(log_.Text().find("Cache MSI") != std::string::npos) << "no line when CACHEMSI is absent";
}

TEST_F(Configuration, ALongValueIsReadInTwoStepsAndLoggedOnce)
{
   const std::string properties = "A=" + std::string(300, 'x') + " B=\"\xC3\xA9t\xC3\xA9\"";
   ASSERT_TRUE(Read({{{"PROPERTIES", properties}}, {}}));
   EXPECT_EQ(config_.properties, properties);
   EXPECT_EQ(log_.Count("[Resource] PROPERTIES = " + properties), 1u);

   ImageResources module(dir_ / "setup.exe");
   char small[16];
   DWORD size = sizeof small;
   EXPECT_EQ(ReadConfigValue(module.get(), kConfigResourceType, "PROPERTIES", small, &size),
             static_cast<DWORD>(ERROR_MORE_DATA));
   EXPECT_EQ(size, properties.size() + 1);
   DWORD none = 0;
   EXPECT_EQ(ReadConfigValue(module.get(), kConfigResourceType, "NOSUCHKEY", small, &none),
             static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Configuration, AValueWithoutItsTerminatorEndsWithTheResource)
{
   const std::string image = dir_ / "setup.exe";
   ASSERT_TRUE(CopyLauncher(image));
   HANDLE update = Win32U_BeginUpdateResource(image.c_str(), FALSE);
   ASSERT_NE(update, nullptr);
   wchar_t unterminated[] = {L'a', L'b', L'c'};
   ASSERT_TRUE(Win32U_UpdateResource(update, MAKEINTRESOURCEA(40), "RAW", 0, unterminated, sizeof unterminated));
   ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
   ImageResources module(image);
   char value[256];
   DWORD size = sizeof value;
   ASSERT_EQ(ReadConfigValue(module.get(), kConfigResourceType, "RAW", value, &size), 0u);
   EXPECT_STREQ(value, "abc");
   EXPECT_EQ(size, 4u);
}

TEST_F(Configuration, ToolsStyleDefaults)
{
   ASSERT_TRUE(Read({}, InstallStyle{true, false}));
   EXPECT_EQ(config_.operation, "DEFAULT");
   EXPECT_EQ(config_.properties, "");
   EXPECT_EQ(config_.upgrader, "instmsiw.exe");
   EXPECT_EQ(config_.languages, "");

   ASSERT_TRUE(Read({}, InstallStyle{true, true}));
   EXPECT_EQ(config_.upgrader, std::nullopt) << "a single-file build reads INSTMSIW, which is absent";
}

TEST_F(Configuration, ValueRules)
{
   struct Case {
      const char* what;
      Edit edit;
      bool ok;
      std::function<void(const SetupConfig&)> check;
      std::string logLine; // a line the read must have logged
   };
   const Case cases[] = {
       {"offset with a leading blank",
        {{{"SFXINSERT", " 123"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_EQ(c.payloadOffset, 123u); },
        ""},
       {"offset with a trailing blank",
        {{{"SFXINSERT", "123 "}}, {}},
        false,
        nullptr,
        Box("This is not a valid self-extracting executable.")},
       {"offset with a letter",
        {{{"SFXINSERT", "12x"}}, {}},
        false,
        nullptr,
        Box("This is not a valid self-extracting executable.")},
       {"engine version 149",
        {{{"MINIMUM_NT_MSI", "149"}}, {}},
        false,
        nullptr,
        Box("'149' is an invalid Msi version. Be sure that it is numeric and is at least '150'.")},
       {"engine version 150",
        {{{"MINIMUM_NT_MSI", "150"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_EQ(c.minimumMsiNt, 150u); },
        ""},
       {"engine version not a number",
        {{{"MINIMUM_9X_MSI", "2.0"}}, {}},
        false,
        nullptr,
        Box("'2.0' is an invalid Msi version. Be sure that it is numeric and is at least '150'.")},
       {"CACHEMSI 10",
        {{{"CACHEMSI", "10"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_TRUE(c.cacheMsi); },
        "Cache MSI set to TRUE"},
       {"CACHEMSI yes",
        {{{"CACHEMSI", "yes"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_FALSE(c.cacheMsi); },
        "Cache MSI set to FALSE"},
       {"LANGUAGES with a double blank",
        {{{"LANGUAGES", "1034  1036"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_EQ(c.languages, "1034  1036"); },
        ""},
       {"TX_DATABASE and PATCH",
        {{{"PATCH", "fix.msp"}}, {}},
        true,
        [](const SetupConfig& c) {
           EXPECT_EQ(c.database, "Tessix Tools.msi");
           EXPECT_FALSE(c.isPatch);
        },
        ""},
       {"PATCH only",
        {{{"PATCH", "fix.msp"}}, {"TX_DATABASE"}},
        true,
        [](const SetupConfig& c) {
           EXPECT_EQ(c.database, "fix.msp");
           EXPECT_TRUE(c.isPatch);
        },
        ""},
       {"the 64-bit package first",
        {{{"TX_DATABASE64", "Tessix Tools x64.msi"}}, {}},
        true,
        [](const SetupConfig& c) { EXPECT_EQ(c.database, "Tessix Tools x64.msi"); },
        ""},
       {"empty TXIOPTION",
        {},
        true,
        [](const SetupConfig& c) { EXPECT_EQ(c.txiOption, ""); },
        "[Resource] TXIOPTION = "},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      LogCapture log;
      EXPECT_EQ(Read(c.edit), c.ok);
      if (c.check) {
         c.check(config_);
      }
      if (!c.logLine.empty()) {
         EXPECT_TRUE(log.Has(c.logLine)) << log.Text();
      }
   }
}

TEST_F(Configuration, MissingRequiredKeys)
{
   const char* const required[] = {"PRODUCTNAME", "UPGRADECODE",    "PRODUCTCODE",   "SFXINSERT",
                                   "TXIOPTION",   "MINIMUM_9X_MSI", "MINIMUM_NT_MSI"};
   for (const char* key : required) {
      SCOPED_TRACE(key);
      LogCapture log;
      EXPECT_FALSE(Read({{}, {key}}));
      EXPECT_TRUE(log.Has(std::string("ERROR: The required resource '") + key + "' is missing")) << log.Text();
      EXPECT_TRUE(log.Has("ERROR: Setup is not configured and is unable to continue."));
      EXPECT_TRUE(log.Has(Box("Setup is not configured and is unable to continue.")));
   }
   LogCapture log;
   EXPECT_FALSE(Read({{}, {"TX_DATABASE"}}));
   EXPECT_TRUE(log.Has("ERROR: The required resource 'TX_DATABASE' is missing"))
       << "named when no package key is there";
   EXPECT_EQ(log.Count("[Resource] PATCH = <not defined>"), 1u);
}

TEST_F(Configuration, ChooseLanguageLogsTheUsersLanguageAndTheMatch)
{
   config_.languages = "";
   EXPECT_EQ(ChooseLanguage(config_), 1033u);
   EXPECT_EQ(log_.Text().find("default locale"), std::string::npos) << "nothing is logged without a list";

   const unsigned user = GetUserDefaultLangID();
   config_.languages = "1 " + std::to_string(user);
   EXPECT_EQ(ChooseLanguage(config_), user);
   EXPECT_TRUE(log_.Has("The user's default locale is " + std::to_string(user)));
   EXPECT_TRUE(log_.Has("Found an exact match, returning " + std::to_string(user)));
}
