#include "tools/txpack/packInput.h"

#include <gtest/gtest.h>

TEST(PackInput, Arguments)
{
   PackOptions o;
   std::string error;
   ASSERT_TRUE(Pack_ParseArguments({"--base", "setup.exe", "--config", "p.cfg", "--payload", "a.msi", "b.exe",
                                    "--version-file", "13.0.1.0", "--string", "ProductName=Tessix Tools", "--bitmap",
                                    "5000=splash.bmp", "-o", "out.exe"},
                                   o, error))
       << error;
   EXPECT_EQ(o.base, "setup.exe");
   EXPECT_EQ(o.payloads, (std::vector<std::string>{"a.msi", "b.exe"}));
   EXPECT_EQ(o.fileVersion, "13.0.1.0");
   ASSERT_EQ(o.versionStrings.size(), 1u);
   EXPECT_EQ(o.versionStrings[0].second, "Tessix Tools");
   ASSERT_EQ(o.bitmaps.size(), 1u);
   EXPECT_EQ(o.bitmaps[0].first, "5000");
   EXPECT_EQ(o.output, "out.exe");

   struct Bad {
      std::vector<std::string> args;
      const char* message;
   } const bad[] = {
       {{"--base", "s", "--config", "c"}, "required"},
       {{"--base", "s", "--config", "c", "-o"}, "needs a value"},
       {{"--base", "s", "--config", "c", "-o", "x", "--payload"}, "at least one file"},
       {{"--base", "s", "--config", "c", "-o", "x", "--string", "novalue"}, "KEY=VALUE"},
       {{"--base", "s", "--config", "c", "-o", "x", "--frobnicate"}, "unknown argument"},
       {{"--show", "setup.exe", "-o", "x"}, "--show takes one file and no other option"},
       {{"--base", "s", "--config", "c", "-o", "x", "--strict", "--allow-refused-config"}, "contradict"},
       // A pipeline's unset $VERSION, a version string that would not match the fixed numbers.
       {{"--base", "s", "--config", "c", "-o", "x", "--version-file", ""}, "--version-file takes a version text"},
       {{"--base", "s", "--config", "c", "-o", "x", "--string", "FileVersion=banana"}, "--version-file"},
       {{"--base", "s", "--config", "c", "-o", "x", "--string", "productversion=3.4"}, "--version-product"},
   };
   // The usage names every option the parser takes.
   for (const char* option :
        {"--base", "--config", "--payload", "--version-file", "--version-product", "--string", "--bitmap", "-o",
         "--output", "--show", "--verify", "--allow-refused-config", "--strict", "--help"}) {
      EXPECT_NE(std::string(kPackUsage).find(option), std::string::npos) << option;
   }
   ASSERT_TRUE(Pack_ParseArguments({"--base", "s", "--config", "c", "-o", "x", "--strict"}, o, error)) << error;
   EXPECT_TRUE(o.strict);
   ASSERT_TRUE(Pack_ParseArguments({"--show", "setup.exe"}, o, error)) << error;
   EXPECT_EQ(o.show, "setup.exe");
   for (const Bad& b : bad) {
      EXPECT_FALSE(Pack_ParseArguments(b.args, o, error));
      EXPECT_NE(error.find(b.message), std::string::npos) << error;
   }
}

TEST(PackInput, ConfigurationFile)
{
   std::vector<PackSetting> settings;
   std::string error;
   ASSERT_TRUE(Pack_ParseConfig("\xEF\xBB\xBF# comment\r\n\nPRODUCTNAME=Tessix Tools\r\nTXIOPTION=\n"
                                "LANGUAGES=1034  1036\nPROPERTIES=A=1 B=\"2\"\n  # indented comment\nX_1= lead",
                                settings, error))
       << error;
   ASSERT_EQ(settings.size(), 5u);
   EXPECT_EQ(settings[0].key, "PRODUCTNAME");
   EXPECT_EQ(settings[0].value, "Tessix Tools");
   EXPECT_EQ(settings[0].line, 3u);
   EXPECT_EQ(settings[1].value, "");
   EXPECT_EQ(settings[2].value, "1034  1036");
   EXPECT_EQ(settings[3].value, "A=1 B=\"2\"");
   EXPECT_EQ(settings[4].value, " lead");

   struct Bad {
      const char* text;
      const char* message;
   } const bad[] = {
       {"PRODUCTNAME Tessix", "line 1: expected KEY=VALUE"},
       {"A=1\nproductname=x", "line 2: the key \"productname\""},
       {" KEY=x", "line 1: the key \" KEY\""},
       {"=x", "line 1: the key \"\""},
       {"SFXINSERT=123", "computed by txpack"},
       {"A=1\nA=2", "line 2: A is already set on line 1"},
       {"A=\xC3\x28", "line 1: not UTF-8"},
   };
   for (const Bad& b : bad) {
      EXPECT_FALSE(Pack_ParseConfig(b.text, settings, error)) << b.text;
      EXPECT_NE(error.find(b.message), std::string::npos) << error;
   }
}

// --version-file and --version-product: what inventory tools read as the fixed numbers is exactly
// the text given, or the text is refused with the rule it breaks.
TEST(PackInput, VersionTexts)
{
   struct Good {
      const char* text;
      std::array<uint16_t, 4> numbers;
   } const good[] = {
       {"13.0.1.0", {13, 0, 1, 0}},
       {"13.0.1", {13, 0, 1, 0}},
       {"7", {7, 0, 0, 0}},
       {"0.0.0.0", {0, 0, 0, 0}},
       {"65535.65535.65535.65535", {65535, 65535, 65535, 65535}},
       {"013.00.000001.0", {13, 0, 1, 0}}, // more than five digits, the value counts
   };
   for (const Good& g : good) {
      std::array<uint16_t, 4> numbers{};
      std::string problem;
      EXPECT_TRUE(Pack_ParseVersionText(g.text, numbers, problem)) << g.text << ": " << problem;
      EXPECT_EQ(numbers, g.numbers) << g.text;
   }
   struct Bad {
      const char* text;
      const char* problem;
   } const bad[] = {
       {"70000.1.2.3", "70000 is above 65535"},
       {"1.2.3.65536", "65536 is above 65535"},
       {"99999999999", "99999999999 is above 65535"},
       {"v1.0.0", "it holds \"v\", which is neither a digit nor a dot"},
       {"1.0.0.0-beta", "it holds \"-\""},
       {"13.0.1.0 ", "it holds \" \""},
       {"-1.0", "it holds \"-\""},
       {"1.2.3.4.5", "more than four numbers"},
       {"1..2", "a number is missing between two dots"},
       {".1", "a number is missing before the first dot"},
       {"13.", "a number is missing after the last dot"},
       {"", "it is empty"},
   };
   for (const Bad& b : bad) {
      std::array<uint16_t, 4> numbers{};
      std::string problem;
      EXPECT_FALSE(Pack_ParseVersionText(b.text, numbers, problem)) << b.text;
      EXPECT_NE(problem.find(b.problem), std::string::npos) << b.text << ": " << problem;
   }
}

TEST(PackInput, NearestName)
{
   const std::vector<std::string> names = {"CompanyName", "FileDescription", "ProductName", "ProductVersion"};
   EXPECT_EQ(Pack_Nearest("ProdcutName", names), "ProductName");
   EXPECT_EQ(Pack_Nearest("Company", names), "CompanyName");
   EXPECT_EQ(Pack_Nearest("x", {}), "");
}

TEST(PackInput, EntryNameIsTheLastComponent)
{
   EXPECT_EQ(Pack_EntryName("Z:/out/samples/Tessix Tools.msi"), "Tessix Tools.msi");
   EXPECT_EQ(Pack_EntryName("C:\\a\\vcredist_arm64.exe"), "vcredist_arm64.exe");
   EXPECT_EQ(Pack_EntryName("plain.bin"), "plain.bin");
}

// A base must be a program image; where its sections end is where appended data would start.
TEST(PackInput, ImageLayout)
{
   // "MZ", the program header at 0x40, no optional header, one section of 0x200 bytes at 0x200.
   std::string image(0x400, '\0');
   image.replace(0, 2, "MZ");
   image[0x3C] = 0x40;
   image.replace(0x40, 4, std::string("PE\0\0", 4));
   image[0x46] = 1;      // one section
   image[0x56] = 2;      // an executable image
   image[0x58 + 17] = 2; // raw size 0x200
   image[0x58 + 21] = 2; // at 0x200
   std::string notExecutable = image;
   notExecutable[0x56] = 0;
   std::string noPe = image;
   noPe[0x40] = 'X';

   struct Case {
      const char* what;
      std::string head;
      uint64_t fileSize;
      const char* problem; // nullptr: a program image ending at 0x400
   } const cases[] = {
       {"image", image, 0x400, nullptr},
       {"image with appended data", image, 0x900, nullptr},
       {"text", "PRODUCTNAME=Tessix Tools\n", 25, "does not start with a program header"},
       {"empty", "", 0, "does not start with a program header"},
       {"no PE header", noPe, 0x400, "no Windows program header"},
       {"object file", notExecutable, 0x400, "not an executable image"},
       {"headers only", image.substr(0, 0x60), 0x60, "section table is missing or cut short"},
       {"sections cut short", image, 0x300, "cut short"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      uint64_t end = 0;
      std::string problem;
      const bool ok = Pack_ReadImageLayout(c.head, c.fileSize, end, problem);
      EXPECT_EQ(ok, c.problem == nullptr) << problem;
      if (c.problem == nullptr) {
         EXPECT_EQ(end, 0x400u);
      } else {
         EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
      }
   }
}
