#include "apps/install/setup/configValues.h"

#include <gtest/gtest.h>

TEST(ConfigValues, WholeNumbers)
{
   struct Case {
      const char* text;
      std::optional<uint32_t> value;
   } const cases[] = {
       {"1431552", 1431552u},
       {" 123", 123u},
       {"\t+7", 7u},
       {"0", 0u},
       {"4294967295", 4294967295u},
       {"123 ", std::nullopt},
       {"12x", std::nullopt},
       {"", std::nullopt},
       {" ", std::nullopt},
       {"-1", std::nullopt},
       {"0x10", std::nullopt},
       {"4294967296", std::nullopt},
       {"99999999999999999999999", std::nullopt},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(Config_ParseNumber(c.text), c.value) << '"' << c.text << '"';
   }
}

TEST(ConfigValues, LeadingNumbersAsTheCLibraryReadsThem)
{
   EXPECT_EQ(Config_LeadingNumber("100MB"), 100u);
   EXPECT_EQ(Config_LeadingNumber(""), 0u);
   EXPECT_EQ(Config_LeadingNumber("abc"), 0u);
   EXPECT_EQ(Config_LeadingNumber("  14"), 14u);
   EXPECT_EQ(Config_LeadingNumber("-1"), 4294967295u);
   EXPECT_EQ(Config_LeadingNumber("99999999999"), 4294967295u);
}

// The product code also names the extraction folder and the product's lock.
TEST(ConfigValues, ProductCodeIsABracedGuid)
{
   struct Case {
      const char* code;
      bool valid;
   } const cases[] = {
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}", true},
       {"{8c3e6f2a-4b1d-4e7a-9f05-3d2c1b0a9e81}", true},
       {"", false},
       {"..\\..\\Windows", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}\\..", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}:x", false},
       {"CON", false},
       {"8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81} ", false},
       {"{8C3E6F2A 4B1D-4E7A-9F05-3D2C1B0A9E81}", false},
       {"{8C3E6F2G-4B1D-4E7A-9F05-3D2C1B0A9E81}", false},
       {"{8c3e6f2g-4b1d-4e7a-9f05-3d2c1b0a9e81}", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81)", false},
       {"(8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E8}}", false},
       {"{8C3E6F2A4-B1D-4E7A-9F05-3D2C1B0A9E81}", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05_3D2C1B0A9E81}", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E8}", false},
       {"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E811}", false},
       {"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEFFFFFF}", true},
       {"{00000000-0000-0000-0000-000000000000}", true},
   };
   for (const Case& c : cases) {
      EXPECT_EQ(Config_IsValidProductCode(c.code), c.valid) << '"' << c.code << '"';
   }
}

TEST(ConfigValues, MsiVersionsStartAt150)
{
   EXPECT_EQ(Config_ParseMsiVersion("149"), std::nullopt);
   EXPECT_EQ(Config_ParseMsiVersion("150"), 150u);
   EXPECT_EQ(Config_ParseMsiVersion("300"), 300u);
   EXPECT_EQ(Config_ParseMsiVersion("3.0"), std::nullopt);
}

TEST(ConfigValues, CacheMsiLooksAtTheFirstCharacterOnly)
{
   EXPECT_TRUE(Config_CacheMsiOn("1"));
   EXPECT_TRUE(Config_CacheMsiOn("10"));
   EXPECT_FALSE(Config_CacheMsiOn("yes"));
   EXPECT_FALSE(Config_CacheMsiOn("0"));
   EXPECT_FALSE(Config_CacheMsiOn(""));
}

TEST(ChooseLanguage, Table)
{
   struct Case {
      const char* list;
      uint16_t user;
      uint32_t language;
      LanguageMatch match;
   } const cases[] = {
       {"", 1036, 1033, LanguageMatch::NoList},
       {"1034 1036 1041", 1036, 1036, LanguageMatch::Exact},
       {"1034 1036 1041", 0xC0C, 1036, LanguageMatch::Close}, // French (Canada)
       {"1034 1036 1041", 0x80A, 1034, LanguageMatch::Close}, // Spanish (Mexico)
       {"1034 1036 1041", 1033, 1033, LanguageMatch::Fallback},
       {"1034 1036 1041", 0x404, 1033, LanguageMatch::Fallback}, // Chinese (Taiwan): no close match
       {"2052", 0xC04, 1033, LanguageMatch::Fallback},           // Chinese (Hong Kong) either
       {"2052", 0x1004, 2052, LanguageMatch::Close},             // Chinese (Singapore) takes Simplified
       {"1034 1041", 0x0C0A, 1034, LanguageMatch::Close},
       {"3082 1034", 1034, 1034, LanguageMatch::Exact},  // exact wins over an earlier close one
       {"1034  1036", 1036, 1036, LanguageMatch::Exact}, // double blank: an empty piece between
       {"1034  1036", 0x400, 0, LanguageMatch::Close},   // ... which counts as 0
       {"1036x 1041", 1036, 1036, LanguageMatch::Exact}, // leading digits of a piece
   };
   for (const Case& c : cases) {
      const LanguageChoice choice = Config_ChooseLanguage(c.list, c.user);
      EXPECT_EQ(choice.language, c.language) << '"' << c.list << "\" for " << c.user;
      EXPECT_EQ(choice.match, c.match) << '"' << c.list << "\" for " << c.user;
   }
}
