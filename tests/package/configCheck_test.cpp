// The configuration check of txpack: what every install would refuse is an error on its line,
// what installs but not as meant a warning; the shipped configuration passes untouched.
#include "tools/txpack/configCheck.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace
{

// One key a line, so that a case replaces a line and keeps every other line's number.
const char* const kShipped[] = {
    "PRODUCTNAME=Tessix Tools",                                                               // 1
    "PRODUCTCODE={8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}",                                     // 2
    "UPGRADECODE={1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B65}",                                     // 3
    "OLDCODES={2A4C6E80-1B3D-4F57-9A1C-3E5F7091B2D4};{3B5D7F91-2C4E-4068-8B2D-4F6081A2C3E5}", // 4
    "OPERATION=INSTALLUPD",                                                                   // 5
    "TX_DATABASE=Tessix Tools.msi",                                                           // 6
    "TXIOPTION=",                                                                             // 7
    "MINIMUM_9X_MSI=200",                                                                     // 8
    "MINIMUM_NT_MSI=300",                                                                     // 9
    "MINORUPGRADE=1",                                                                         // 10
    "CACHEMSI=1",                                                                             // 11
    "LANGUAGES=1034 1036 1041",                                                               // 12
    "VCRUNTIME64=vcredist_arm64.exe",                                                         // 13
    "VCRUNTIME_VER=14",                                                                       // 14
    "ALLOW32ON64=0",                                                                          // 15
};
constexpr unsigned kAppended = 16; // the line of the first appended line

struct Edit {
   unsigned line; // replaced (an empty text blanks it), or kAppended and later: appended
   std::string text;
};

struct Expected {
   FindingKind kind;
   unsigned line;
   std::string text; // a part of the finding's text
};

std::vector<PackFinding> Check(const std::vector<Edit>& edits, const std::optional<std::vector<std::string>>& payload,
                               const PayloadFacts* facts = nullptr)
{
   std::vector<std::string> lines(std::begin(kShipped), std::end(kShipped));
   for (const Edit& edit : edits) {
      if (edit.line >= kAppended) {
         lines.resize(std::max<size_t>(lines.size(), edit.line));
      }
      lines[edit.line - 1] = edit.text;
   }
   std::ostringstream text;
   for (const std::string& line : lines) {
      text << line << "\n";
   }
   std::vector<PackSetting> settings;
   std::string error;
   EXPECT_TRUE(Pack_ParseConfig(text.str(), settings, error)) << error;
   return Pack_CheckConfig(settings, payload, facts);
}

const std::vector<std::string> kPayload = {"Tessix Tools.msi", "vcredist_arm64.exe"};

std::string Describe(const std::vector<PackFinding>& findings)
{
   std::string all;
   for (const PackFinding& f : findings) {
      all += (f.kind == FindingKind::Error ? "error" : "warning") + std::string(" line ") + std::to_string(f.line) +
             ": " + f.text + "\n";
   }
   return all;
}

} // namespace

TEST(ConfigCheck, ShippedConfigurationPasses)
{
   const auto findings = Check({}, kPayload);
   EXPECT_TRUE(findings.empty()) << Describe(findings);
}

TEST(ConfigCheck, RefusalsAndWarnings)
{
   const auto E = FindingKind::Error;
   const auto W = FindingKind::Warning;
   struct Case {
      const char* what;
      std::vector<Edit> edits;
      std::vector<Expected> expected;
   } const cases[] = {
       {"misspelt required key",
        {{1, ""}, {kAppended, "PRODUCT_NAME=Tessix Tools"}},
        {{W, kAppended, "PRODUCT_NAME is not a key the launcher reads; the nearest is PRODUCTNAME"},
         {E, 0, "the required key PRODUCTNAME is missing (line 16 sets PRODUCT_NAME)"}}},
       {"TXIOPTION absent", {{7, ""}}, {{E, 0, "the required key TXIOPTION is missing"}}},
       {"no package key", {{6, ""}}, {{E, 0, "none of TX_DATABASE64, TX_DATABASE or PATCH names the package"}}},
       {"version with a dot", {{9, "MINIMUM_NT_MSI=3.0"}}, {{E, 9, "MINIMUM_NT_MSI \"3.0\" is not"}}},
       {"version below 150", {{8, "MINIMUM_9X_MSI=149"}}, {{E, 8, "at least 150"}}},
       {"version of 150", {{8, "MINIMUM_9X_MSI=150"}}, {}},
       {"product code without braces",
        {{2, "PRODUCTCODE=8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81"}},
        {{E, 2, "PRODUCTCODE \"8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81\" is not a braced GUID"}}},
       {"product code that is no folder name",
        {{2, "PRODUCTCODE={8C3E6F2A/4B1D-4E7A-9F05-3D2C1B0A9E81}"}},
        {{E, 2, "cannot name the extraction folder: the name holds a path separator"}}},
       {"product code with a trailing blank",
        {{2, "PRODUCTCODE={8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81} "}},
        {{E, 2, "is not a braced GUID"}}},
       {"upgrade code", {{3, "UPGRADECODE=tools"}}, {{E, 3, "UPGRADECODE \"tools\" is not a braced GUID"}}},
       {"an older product code",
        {{4, "OLDCODES={2A4C6E80-1B3D-4F57-9A1C-3E5F7091B2D4}; 3B5D7F91"}},
        {{E, 4, "OLDCODES holds \"3B5D7F91\", which is not a braced GUID"}}},
       {"operation unknown", {{5, "OPERATION=UPGRADE"}}, {{E, 5, "OPERATION \"UPGRADE\" is not valid for a package"}}},
       {"patch operation for a package",
        {{5, "OPERATION=MINPATCH"}},
        {{E, 5, "OPERATION \"MINPATCH\" is not valid for a package (INSTALL, INSTALLUPD or DEFAULT)"}}},
       {"patch operation for a patch", {{5, "OPERATION=minpatch"}, {6, "PATCH=Tessix Tools.msi"}}, {}},
       {"package not in the payload",
        {{6, "TX_DATABASE=tools.msi"}},
        {{E, 6,
          "TX_DATABASE \"tools.msi\" is not a file of the payload (\"Tessix Tools.msi\", \"vcredist_arm64.exe\")"}}},
       {"package named in another case", {{6, "TX_DATABASE=tessix tools.MSI"}}, {}},
       {"empty package name", {{6, "TX_DATABASE="}}, {{E, 6, "TX_DATABASE is empty"}}},
       {"runtime not in the payload",
        {{13, "VCRUNTIME64=vcredist_x64.exe"}},
        {{E, 13, "VCRUNTIME64 \"vcredist_x64.exe\" is not a file of the payload"}}},
       // The upgrader keys as the launcher reads them on Windows 10 and 11: INSTMSIA never, INSTMSIW
       // not in the tools style without SINGLE_FILE, and the upgrader only runs above 500.
       {"upgrader of the 9x systems",
        {{kAppended, "INSTMSIA=instmsia.exe"}},
        {{W, kAppended, "INSTMSIA is not used: the launcher reads it on Windows 9x only"}}},
       {"upgrader key in the tools style",
        {{kAppended, "INSTMSIW=up.exe"}},
        {{W, kAppended,
          "INSTMSIW is not used: in the tools style without SINGLE_FILE the launcher runs instmsiw.exe"}}},
       {"upgrader key in the tools style, engine above",
        {{9, "MINIMUM_NT_MSI=3000"}, {kAppended, "INSTMSIW=up.exe"}},
        {{E, 9, "the payload holds no instmsiw.exe"}, {W, kAppended, "INSTMSIW is not used"}}},
       {"single-file tools style, upgrader not in the payload",
        {{kAppended, "SINGLE_FILE=1"}, {kAppended + 1, "INSTMSIW=instmsiw.exe"}},
        {{W, kAppended + 1, "INSTMSIW \"instmsiw.exe\" is not a file of the payload"}}},
       {"standard style, empty upgrader",
        {{10, "MINORUPGRADE=0"}, {kAppended, "INSTMSIW="}},
        {{W, kAppended, "INSTMSIW is empty"}}},
       {"shadowed patch",
        {{kAppended, "PATCH=Tessix Tools.msi"}},
        {{W, kAppended, "PATCH is not used: TX_DATABASE names the package"}}},
       {"unknown key",
        {{15, "ALOW32ON64=0"}},
        {{W, 15, "ALOW32ON64 is not a key the launcher reads; the nearest is ALLOW32ON64"}}},
       {"caching word", {{11, "CACHEMSI=yes"}}, {{W, 11, "CACHEMSI \"yes\" turns caching off"}}},
       {"option in capitals", {{7, "TXIOPTION=One"}}, {{W, 7, "TXIOPTION \"One\" is not \"one\""}}},
       {"presence key set to 0", {{kAppended, "SKIPADMINCHECK=0"}}, {{W, kAppended, "SKIPADMINCHECK \"0\" still"}}},
       {"style word",
        {{10, "MINORUPGRADE=yes"}},
        {{W, 10, "MINORUPGRADE \"yes\" is not a whole number: the launcher reads it as 0"}}},
       {"language name", {{12, "LANGUAGES=en-US 1036"}}, {{W, 12, "\"en-US\" is not a language identifier"}}},
       // Windows 10 and 11 ship Windows Installer 5.0 (500): a higher minimum upgrades the engine on
       // every install, which fails with 1603 unless the payload holds the upgrader the launcher runs.
       {"engine above every supported system's, tools style without instmsiw.exe",
        {{9, "MINIMUM_NT_MSI=3000"}},
        {{E, 9, "MINIMUM_NT_MSI \"3000\" is above 500 (Windows Installer 5.0, which Windows 10 and 11 ship)"}}},
       {"engine of 501, tools style without instmsiw.exe",
        {{9, "MINIMUM_NT_MSI=501"}},
        {{E, 9, "the payload holds no instmsiw.exe, the upgrader the launcher runs in the tools style"}}},
       {"engine of 500", {{9, "MINIMUM_NT_MSI=500"}}, {}},
       {"engine above, standard style without INSTMSIW",
        {{9, "MINIMUM_NT_MSI=3000"}, {10, "MINORUPGRADE=0"}},
        {{E, 9, "INSTMSIW names no upgrader: every install would end with exit code 1603"}}},
       {"engine above, standard style with an upgrader not in the payload",
        {{9, "MINIMUM_NT_MSI=3000"}, {10, "MINORUPGRADE=0"}, {kAppended, "INSTMSIW=up.exe"}},
        {{E, 9, "INSTMSIW \"up.exe\" is not a file of the payload: every install would end with exit code 1603"}}},
       {"runtime without its version",
        {{14, ""}},
        {{W, 13, "VCRUNTIME64 is not used: VCRUNTIME_VER names no VC runtime the launcher installs"}}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const auto findings = Check(c.edits, kPayload);
      ASSERT_EQ(findings.size(), c.expected.size()) << Describe(findings);
      for (size_t i = 0; i < findings.size(); i++) {
         EXPECT_EQ(findings[i].kind, c.expected[i].kind) << Describe(findings);
         EXPECT_EQ(findings[i].line, c.expected[i].line) << Describe(findings);
         EXPECT_NE(findings[i].text.find(c.expected[i].text), std::string::npos) << Describe(findings);
      }
   }
}

// With the upgrader the launcher runs in the payload, a minimum above Windows Installer 5.0 only
// warns: every install upgrades the engine first.
TEST(ConfigCheck, EngineAboveTheSupportedSystemsWithItsUpgrader)
{
   std::vector<std::string> payload = kPayload;
   payload.push_back("InstMsiW.exe");
   payload.push_back("up.exe");
   const struct {
      const char* what;
      std::vector<Edit> edits;
      const char* upgrader;
   } cases[] = {
       {"tools style", {{9, "MINIMUM_NT_MSI=3000"}}, "\"instmsiw.exe\""},
       {"standard style",
        {{9, "MINIMUM_NT_MSI=3000"}, {10, "MINORUPGRADE=0"}, {kAppended, "INSTMSIW=up.exe"}},
        "\"up.exe\""},
   };
   for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      const auto findings = Check(c.edits, payload);
      ASSERT_EQ(findings.size(), 1u) << Describe(findings);
      EXPECT_EQ(findings[0].kind, FindingKind::Warning);
      EXPECT_EQ(findings[0].line, 9u);
      EXPECT_NE(findings[0].text.find(std::string("every install would first run the engine upgrader ") + c.upgrader),
                std::string::npos)
          << Describe(findings);
   }
}

// Without a payload the names are not checked (the files lie beside the launcher), but a
// forgotten --payload is one warning: a launcher shipped alone ends with 2 on every machine.
TEST(ConfigCheck, WithoutPayload)
{
   const auto findings = Check({{6, "TX_DATABASE=tools.msi"}}, std::nullopt);
   ASSERT_EQ(findings.size(), 1u) << Describe(findings);
   EXPECT_EQ(findings[0].kind, FindingKind::Warning);
   EXPECT_EQ(findings[0].source, FindingSource::Payload);
   EXPECT_NE(findings[0].text.find("no payload is packed (no --payload): SFXINSERT is 0, and every install looks for "
                                   "\"tools.msi\" beside the launcher and ends with exit code 2"),
             std::string::npos)
       << Describe(findings);
}

// A code of any wrong shape is refused in each key that holds codes: the launcher would refuse
// PRODUCTCODE at start (it names the extraction folder and the product's lock), and would never
// find an older product or the product family by such a code.
TEST(ConfigCheck, CodesOfEveryWrongShape)
{
   const char* const wrong[] = {
       "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81)",  // no closing brace
       "(8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}",  // no opening brace
       "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E8}}",  // a brace for the last digit
       "{8c3e6f2g-4b1d-4e7a-9f05-3d2c1b0a9e81}",  // g is no hexadecimal digit
       "{8C3E6F2G-4B1D-4E7A-9F05-3D2C1B0A9E81}",  // nor G
       "{8C3E6F2A4-B1D-4E7A-9F05-3D2C1B0A9E81}",  // a hyphen one place late
       "{8C3E6F2A-4B1D-4E7A-9F05_3D2C1B0A9E81}",  // another mark for a hyphen
       "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E8 }",  // a blank for a digit
       "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E8}",   // a digit short
       "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E811}", // a digit too many
       "8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81",    // no braces
   };
   struct Key {
      unsigned line;
      const char* prefix;
      const char* message; // how the finding begins
   } const keys[] = {
       {2, "PRODUCTCODE=", "PRODUCTCODE \""},
       {3, "UPGRADECODE=", "UPGRADECODE \""},
       {4, "OLDCODES={2A4C6E80-1B3D-4F57-9A1C-3E5F7091B2D4};", "OLDCODES holds \""},
   };
   for (const Key& key : keys) {
      for (const char* code : wrong) {
         SCOPED_TRACE(std::string(key.prefix) + code);
         const auto findings = Check({{key.line, std::string(key.prefix) + code}}, kPayload);
         ASSERT_EQ(findings.size(), 1u) << Describe(findings);
         EXPECT_EQ(findings[0].kind, FindingKind::Error);
         EXPECT_EQ(findings[0].line, key.line);
         EXPECT_EQ(findings[0].text.find(key.message + std::string(code) + "\""), 0u) << Describe(findings);
         EXPECT_NE(findings[0].text.find("braced GUID"), std::string::npos) << Describe(findings);
      }
   }
   // Either case of the hexadecimal digits is a code.
   EXPECT_TRUE(Check({{2, "PRODUCTCODE={8c3e6f2a-4b1d-4e7a-9f05-3d2c1b0a9e81}"}}, kPayload).empty());
}

// The package's own codes against the configuration's, and in the standard style its signature.
TEST(ConfigCheck, ThePackagesOwnCodes)
{
   const auto E = FindingKind::Error;
   const auto W = FindingKind::Warning;
   const std::string code = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
   const std::string upgrade = "{1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B65}";
   const std::string newCode = "{9D4F7A3B-5C2E-4F8A-8B16-4E3D2C1B0A92}";
   const auto product = [&](std::string productCode, std::optional<std::string> upgradeCode) {
      PayloadFacts facts;
      facts.package = PackageFacts{"Tessix Tools.msi", false, "", std::move(productCode), std::move(upgradeCode), {}};
      return facts;
   };
   const auto patch = [&](std::vector<std::string> targets) {
      PayloadFacts facts;
      facts.package = PackageFacts{"Tessix Tools.msp", true, "", "", std::nullopt, std::move(targets)};
      return facts;
   };
   PayloadFacts unreadable = product("", std::nullopt);
   unreadable.package->unreadable = "error 1620 (not a Windows Installer package)";
   PayloadFacts unsignedPackage = product(code, upgrade);
   unsignedPackage.unsignedPackages = {{"Tessix Tools.msi", "it carries no signature (WinVerifyTrust 0x800B0100)"}};
   const std::vector<Edit> standard = {{10, "MINORUPGRADE=0"}};
   const std::vector<Edit> asPatch = {{6, "PATCH=Tessix Tools.msp"}, {5, "OPERATION=MINPATCH"}};
   const std::vector<std::string> patchPayload = {"Tessix Tools.msp", "vcredist_arm64.exe"};

   struct Case {
      const char* what;
      std::vector<Edit> edits;
      PayloadFacts facts;
      std::vector<Expected> expected;
      std::vector<std::string> payload = kPayload;
   } const cases[] = {
       {"the same codes", {}, product(code, upgrade), {}},
       {"codes in another case", {}, product("{8c3e6f2a-4b1d-4e7a-9f05-3d2c1b0a9e81}", upgrade), {}},
       // A major release packed with last release's configuration: the package has a new code.
       {"last release's product code",
        {},
        product(newCode, upgrade),
        {{E, 2,
          "PRODUCTCODE \"" + code + "\" is not the product code of the package \"Tessix Tools.msi\", " + newCode +
              ": the launcher would install " + newCode + " as a new product beside an installed " + code}}},
       {"another upgrade code",
        {},
        product(code, "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}"),
        {{E, 3,
          "UPGRADECODE \"" + upgrade +
              "\" is not the upgrade code of the package \"Tessix Tools.msi\", "
              "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}"}}},
       {"a package without an upgrade code", {}, product(code, std::nullopt), {{W, 3, "has no UpgradeCode property"}}},
       {"a package without a product code", {}, product("", upgrade), {{W, 6, "has no ProductCode property"}}},
       {"not a package",
        {},
        unreadable,
        {{W, 6, "\"Tessix Tools.msi\" cannot be read as a Windows Installer package (error 1620"}}},
       {"a patch for the product", asPatch, patch({newCode, code}), {}, patchPayload},
       {"a patch naming no product", asPatch, patch({}), {}, patchPayload},
       {"a patch for other products",
        asPatch,
        patch({newCode}),
        {{E, 2,
          "PRODUCTCODE \"" + code + "\" is not a product the patch \"Tessix Tools.msp\" targets (" + newCode + ")"}},
        patchPayload},
       {"an unsigned package in the standard style",
        standard,
        unsignedPackage,
        {{W, 6,
          "\"Tessix Tools.msi\" carries no valid signature (it carries no signature (WinVerifyTrust 0x800B0100)): "
          "in the standard style (MINORUPGRADE absent or 0) the launcher checks it, and every silent install "
          "would end with exit code 13"}}},
       {"an unsigned package in the tools style", {}, unsignedPackage, {}},
       {"an unsigned package with TXIOPTION one", {{10, "MINORUPGRADE=0"}, {7, "TXIOPTION=one"}}, unsignedPackage, {}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const auto findings = Check(c.edits, c.payload, &c.facts);
      ASSERT_EQ(findings.size(), c.expected.size()) << Describe(findings);
      for (size_t i = 0; i < findings.size(); i++) {
         EXPECT_EQ(findings[i].kind, c.expected[i].kind) << Describe(findings);
         EXPECT_EQ(findings[i].line, c.expected[i].line) << Describe(findings);
         EXPECT_NE(findings[i].text.find(c.expected[i].text), std::string::npos) << Describe(findings);
      }
   }
}

// The extraction folder is up to 120 characters long ("C:\Users\...\Temp\" of 75, PRODUCTCODE
// and "~setup\"), and the whole path must stay within 259: a name may have 139 characters.
TEST(ConfigCheck, PayloadNamesMustFitTheExtractionPath)
{
   EXPECT_EQ(Pack_LongestExtractionFolder("{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}"), 120u);
   const std::string fits = std::string(135, 'a') + ".msi";
   EXPECT_TRUE(Check({}, std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe", fits}).empty());

   // Counted in UTF-16 characters, as the path reaches Windows: "é" is two bytes but one character.
   const std::string accented = std::string(133, 'a') + "\xC3\xA9" + ".msi";
   EXPECT_TRUE(Check({}, std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe", accented}).empty());

   const std::string tooLong = std::string(136, 'a') + ".msi";
   const auto findings = Check({}, std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe", tooLong});
   ASSERT_EQ(findings.size(), 1u) << Describe(findings);
   EXPECT_EQ(findings[0].kind, FindingKind::Error);
   EXPECT_EQ(findings[0].line, 0u);
   EXPECT_NE(findings[0].text.find("the payload file \"" + tooLong + "\" has 140 characters"), std::string::npos)
       << findings[0].text;
   EXPECT_NE(findings[0].text.find("keep payload names to 139 characters"), std::string::npos) << findings[0].text;
}

// Every key the launcher's sources read (the reader's calls, the configuration reads, the package
// key lists) is one the check knows: a key added to the launcher but not to the check would be
// reported as unknown, and its value never checked.
TEST(ConfigCheck, KnowsEveryKeyTheLauncherReads)
{
#ifdef _WIN32
   const std::string root = std::string("Z:") + TX_SOURCE_DIR; // the Unix path, under Wine
#else
   const std::string root = TX_SOURCE_DIR;
#endif
   const std::regex reads(R"(reader\.|ReadConfigValue|ReadOptional\(|const char\* const keys)");
   const std::regex key(R"re("([A-Z][A-Z0-9_]+)")re");
   std::set<std::string> found;
   for (const char* file : {"config.cpp", "setup.cpp", "payload.cpp"}) {
      std::ifstream in(root + "/apps/install/setup/" + file);
      ASSERT_TRUE(in) << file;
      std::stringstream text;
      text << in.rdbuf();
      std::string statement;
      std::istringstream statements(text.str());
      while (std::getline(statements, statement, ';')) {
         if (!std::regex_search(statement, reads)) {
            continue;
         }
         for (std::sregex_iterator it(statement.begin(), statement.end(), key), end; it != end; ++it) {
            found.insert((*it)[1]);
         }
      }
   }
   for (const char* sure : {"INSTMSIA", "INSTMSIW", "TX_DATABASE64", "PATCH", "MINORUPGRADE", "REQ_MB_SPACE"}) {
      EXPECT_EQ(found.count(sure), 1u) << sure << ": the scan of the launcher's reads missed it";
   }
   for (const std::string& read : found) {
      EXPECT_EQ(Pack_NearestKey(read), read) << read << " is read by the launcher but unknown to the check";
   }
}

TEST(ConfigCheck, NearestKey)
{
   EXPECT_EQ(Pack_NearestKey("PRODUCT_NAME"), "PRODUCTNAME");
   EXPECT_EQ(Pack_NearestKey("TX_DATABSE"), "TX_DATABASE");
   EXPECT_EQ(Pack_NearestKey("VCRUNTIME_64"), "VCRUNTIME64");
   EXPECT_EQ(Pack_NearestKey("MINIMUMNTMSI"), "MINIMUM_NT_MSI");
}
