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
   };
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

TEST(PackInput, EntryNameIsTheLastComponent)
{
   EXPECT_EQ(Pack_EntryName("Z:/out/samples/Tessix Tools.msi"), "Tessix Tools.msi");
   EXPECT_EQ(Pack_EntryName("C:\\a\\vcredist_arm64.exe"), "vcredist_arm64.exe");
   EXPECT_EQ(Pack_EntryName("plain.bin"), "plain.bin");
}
