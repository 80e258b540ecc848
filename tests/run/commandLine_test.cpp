#include "apps/install/setup/commandLine.h"

#include <gtest/gtest.h>

namespace
{

bool FakeIsDirectory(const std::u16string& path)
{
   return path == u"C:\\Temp" || path == u"C:\\Logs\\My Logs" || path == u"C:\\My Logs" || path == u"C:\\x-ray";
}

struct Expect {
   const char16_t* line;
   bool accepted;
   bool silent = false;
   uint32_t uiLevel = 5;
   const char16_t* properties = nullptr; // nullptr: none
   const char16_t* arguments = nullptr;
   const char16_t* logPath = nullptr;
   bool admin = false;
   const char16_t* adminPath = nullptr;
   bool printVersions = false;
   bool guestOnly = false;
};

std::string Narrow(const std::u16string& s)
{
   return std::string(s.begin(), s.end());
}

void ExpectOptional(const std::optional<std::u16string>& actual, const char16_t* expected, const char* field,
                    const char16_t* line)
{
   if (expected == nullptr) {
      EXPECT_FALSE(actual) << field << " of " << Narrow(line) << ": " << Narrow(actual.value_or(u""));
   } else {
      ASSERT_TRUE(actual) << field << " of " << Narrow(line);
      EXPECT_EQ(*actual, std::u16string(expected)) << field << " of " << Narrow(line);
   }
}

} // namespace

TEST(CommandLine, Table)
{
   const Expect cases[] = {
       {u"", true},
       {u"   ", true},
       {u"/s /v/qn", true, true, 2, u"", u"/qn"},
       {u"/s /v\"/qn REBOOT=ReallySuppress\"", true, true, 2, u"REBOOT=ReallySuppress", u"/qn REBOOT=ReallySuppress"},
       {u"-S -V/qb!", true, true, 0x23, u"", u"/qb!"},
       {u" \t/s", true, true},
       {u"x /s", false, true},
       {u"/a", true, false, 5, nullptr, nullptr, nullptr, true},
       {u"/a \"C:\\Admin Point\"", true, false, 5, nullptr, nullptr, nullptr, true, u"C:\\Admin Point"},
       {u"/a /a", false},
       {u"/l", true},
       {u"/l C:\\Temp\\x.log", true, false, 5, nullptr, nullptr, u"C:\\Temp\\x.log"},
       {u"/l \"C:\\Logs\\My Logs\\x.log\"", true, false, 5, nullptr, nullptr, u"C:\\Logs\\My Logs\\x.log"},
       {u"/l C:\\NoSuchDir\\x.log", false},
       {u"/l x.log", false},
       {u"/l C:\\Temp\\", false},
       {u"/pv", true, false, 5, nullptr, nullptr, nullptr, false, nullptr, true},
       {u"/PV", true, false, 5, nullptr, nullptr, nullptr, false, nullptr, true},
       {u"/p", true},
       {u"/pvx", false},
       {u"/px", false},
       {u"/mg", true, false, 5, nullptr, nullptr, nullptr, false, nullptr, false, true},
       {u"/m", true},
       {u"/w /:", true},
       {u"/v\"/i x.msi\"", false},
       {u"/v\"/norestart\"", false},
       {u"/v", false},
       {u"/v\"\"", false},
       {u"/v/qn /v/qb", false},
       {u"/v\"/qn /l*v C:\\Temp\\x.log\"", true, false, 2, u"", u"/qn /l*v C:\\Temp\\x.log", u"C:\\Temp\\x.log"},
       {u"/v\"/qn /l*v\"", false},
       {u"/v\"/qn /l*v C:\\Nowhere\\x.log\"", false},
       {u"/v\"/qn A=1  B=2\"", true, false, 2, u"A=1 B=2", u"/qn A=1  B=2"},
       {u"/v\"A=\"unbalanced\"", false},
       {u"/s /n /x /r /mg /pv", true, true, 5, nullptr, nullptr, nullptr, false, nullptr, true, true},
       {u"/s /n /x /r /mg /pv /v/qn", false, true}, // a seventh switch is refused, not silently dropped
       {u"/a C:\\x-ray\\share", true, false, 5, nullptr, nullptr, nullptr, true, u"C:\\x-ray\\share"},
       {u"/v\"/qn\"   /s", true, true, 2, u"", u"/qn"},
       {u"/l C:\\x-ray\\x.log", true, false, 5, nullptr, nullptr, u"C:\\x-ray\\x.log"},
       // "/l" with one character after it names no file; "/l x" names a file without a folder.
       {u"/lv", true},
       {u"/l x", false},
       {u"/s /l x", false, true},
       // Lines of deployment tools, which start the launcher unattended. Silence spelled another way
       // still keeps a refused line from waiting for a person; a line typed by hand shows the box.
       {u"/silent /v/qn", false, true},
       {u"/quiet", false, true},
       {u"/sx", false, true},
       {u"-qn", false, true},
       {u"/xyz", false},
       // One argument quoted the usual way (\" for a quote, back-slashes doubled before a quote) is
       // the switch it spells: with blanks, with quotes inside, ending in a back-slash.
       {uR"(/s "/v/qn INSTALLDIR=\"C:\Tessix Custom\"")", true, true, 2, uR"(INSTALLDIR="C:\Tessix Custom")",
        uR"(/qn INSTALLDIR="C:\Tessix Custom")"},
       {uR"(/s "/v/qn REBOOT=ReallySuppress ADDLOCAL=ALL")", true, true, 2, u"REBOOT=ReallySuppress ADDLOCAL=ALL",
        u"/qn REBOOT=ReallySuppress ADDLOCAL=ALL"},
       {uR"(/s "/v\"/qn A=1 B=2\"")", true, true, 2, u"A=1 B=2", u"/qn A=1 B=2"},
       {uR"(/s "/v/qn INSTALLDIR=\"C:\Tessix Custom\\\"")", true, true, 2, uR"(INSTALLDIR="C:\Tessix Custom\")",
        uR"(/qn INSTALLDIR="C:\Tessix Custom\")"},
       {uR"("/a C:\Admin Point\\" /s)", true, true, 5, nullptr, nullptr, nullptr, true, uR"(C:\Admin Point\)"},
       {uR"("/s" "/v/qn")", true, true, 2, u"", u"/qn"},
       // The argument of /v, /a or /l after a blank is theirs, even quoted and beginning with "/".
       {uR"(/s /v "/qn")", true, true, 2, u"", u"/qn"},
       {uR"(/v "/l*v C:\Temp\x.log")", true, false, 5, u"", uR"(/l*v C:\Temp\x.log)", uR"(C:\Temp\x.log)"},
       // Text that opens no switch is never dropped.
       {u"/s /qn", false, true},
       {uR"(/s C:\Temp)", false, true},
       {u"/s extra", false, true},
       {u"/y /s", false, true},
       {uR"(/a "C:\Admin Point" extra)", false},
       {uR"(/x C:\Temp)", false},
       {uR"(/l C:\Temp\x.log extra)", false},
       {u"/w extra", false},
       {u"/w", true},
       {u"/wait /MG", true, false, 5, nullptr, nullptr, nullptr, false, nullptr, false, true},
       {u"/w/s", true, true},
       {u"/wait/s", true, true},
       {u"/p   /s", true, true},
       // The grammar's own /v form, with back-slashes as written, as older scripts use it.
       {uR"(/s /v"/qn INSTALLDIR=C:\Dir\")", true, true, 2, uR"(INSTALLDIR=C:\Dir\)", uR"(/qn INSTALLDIR=C:\Dir\)"},
       {uR"(/v"/qn INSTALLDIR=C:\Dir\" /s)", true, true, 2, uR"(INSTALLDIR=C:\Dir\)", uR"(/qn INSTALLDIR=C:\Dir\)"},
       // "/?" inside a quoted value is text.
       {uR"(/s /v"/qn SERVERURL=https://host/?id=1")", true, true, 2, u"SERVERURL=https://host/?id=1",
        u"/qn SERVERURL=https://host/?id=1"},
       {uR"(/v"/q /l C:\Temp\x.log")", true, false, 2, u"", uR"(/q /l C:\Temp\x.log)", uR"(C:\Temp\x.log)"},
       // A script that quotes only the folder of the log.
       {uR"(/l "C:\My Logs"\x.log)", true, false, 5, nullptr, nullptr, uR"(C:\My Logs\x.log)"},
       // The /l switch quoted whole, as a tool quotes an argument with a blank in it.
       {uR"("/l C:\My Logs\q.log" /s /v/qn)", true, true, 2, u"", u"/qn", uR"(C:\My Logs\q.log)"},
       {uR"("/lC:\My Logs\q.log" /s)", true, true, 5, nullptr, nullptr, uR"(C:\My Logs\q.log)"},
       {uR"("/l C:\My Logs\q.log" extra /s)", false, true},
       // A word inside /v that is neither an option of Windows Installer nor NAME=value would make
       // Windows Installer refuse the whole line after the launcher had started it.
       {u"/s /v/qn extra", false, true},
       {uR"(/s /v"/qn" extra)", false, true},
       {uR"(/s /v"/qn =x")", false, true},
       {uR"(/s /v"/qn A= B=")", true, true, 2, u"A= B=", u"/qn A= B="},
       // Quotes doubled inside the quoted /v text, the older way of writing a value with blanks.
       {uR"(/s /v"/qn INSTALLDIR=""C:\Tessix Custom""")", true, true, 2, uR"(INSTALLDIR="C:\Tessix Custom")",
        uR"(/qn INSTALLDIR=""C:\Tessix Custom"")"},
       {uR"(/s /v"/qn /l*v ""C:\My Logs\x.log""")", true, true, 2, u"", uR"(/qn /l*v ""C:\My Logs\x.log"")",
        uR"(C:\My Logs\x.log)"},
       {uR"(/s /v"/qn TXNOTE=""x y"" A=""")", true, true, 2, uR"(TXNOTE="x y" A="")", uR"(/qn TXNOTE=""x y"" A="")"},
       // An /a path quoted the usual way, and the older way with a back-slash before the quote.
       {uR"(/s /a "C:\Admin Point\\")", true, true, 5, nullptr, nullptr, nullptr, true, uR"(C:\Admin Point\)"},
       {uR"(/s /a "C:\Admin Point\")", true, true, 5, nullptr, nullptr, nullptr, true, uR"(C:\Admin Point\)"},
       {uR"(/s /a "C:\Admin Point\" /x)", true, true, 5, nullptr, nullptr, nullptr, true, uR"(C:\Admin Point\)"},
   };
   for (const Expect& c : cases) {
      CommandLineOptions options;
      EXPECT_EQ(ParseCommandLine(c.line, options, FakeIsDirectory), c.accepted) << Narrow(c.line);
      // A refused line logs its usage text instead of showing it when silent.
      EXPECT_EQ(options.silent, c.silent) << Narrow(c.line);
      if (!c.accepted) {
         continue;
      }
      EXPECT_EQ(options.uiLevel, c.uiLevel) << Narrow(c.line);
      EXPECT_EQ(options.adminInstall, c.admin) << Narrow(c.line);
      EXPECT_EQ(options.printVersions, c.printVersions) << Narrow(c.line);
      EXPECT_EQ(options.guestOnlyLogging, c.guestOnly) << Narrow(c.line);
      ExpectOptional(options.installerProperties, c.properties, "properties", c.line);
      ExpectOptional(options.installerArguments, c.arguments, "arguments", c.line);
      ExpectOptional(options.msiLogPath, c.logPath, "log path", c.line);
      ExpectOptional(options.adminTargetPath, c.adminPath, "admin path", c.line);
      if (c.logPath != nullptr) {
         EXPECT_EQ(options.msiLogMode, kMsiLogModeVerbose) << Narrow(c.line);
      }
   }
}

// No switch an administrator typed is dropped or read as another: switches written together
// are each taken, letters glued to a switch that takes none refuse the line.
TEST(CommandLine, SwitchesWrittenTogether)
{
   struct Case {
      const char16_t* line;
      bool accepted;
      bool silent = false;
      bool unpackOnly = false;
      bool repairMode = false;
      bool noSystemChange = false;
      uint32_t uiLevel = 5;
      bool printVersions = false;
      bool guestOnly = false;
   } cases[] = {
       {u"/s/x", true, true, true},
       {u"/s/r", true, true, false, true},
       {u"/s/n", true, true, false, false, true},
       {u"-s-x", true, true, true},
       {u"/x/s", true, true, true},
       {u"/s/v/qn", true, true, false, false, false, 2},
       {u"/s/v\"/qn\"", true, true, false, false, false, 2},
       {u"/S/V/qb!", true, true, false, false, false, 0x23},
       {u"/pv/s", true, true, false, false, false, 5, true},
       {u"/mg/s", true, true, false, false, false, 5, false, true},
       {u"/s /qn", false}, // a tail after a blank that opens no switch is never ignored
       {u"/mg /qn", false},
       {u"/mx", true},                  // /m other than /mg stays an ignored switch
       {u"/s /v/qn /norestart", false}, // "/norestart" would be /n: skipping the runtimes
       {u"/repair", false},
       {u"/xyz", false},
       {u"/silent", false},
       {u"/s /Nx", false},
       {u"/s1", false},
       {u"/mguest", false},
       {u"/x-ray", false},      // /x, then -r with a tail
       {u"/v\"/qn\"/s", false}, // a switch glued to a quoted /v text is not taken apart
       {u"/a C:\\x-ray\\share /s", true, true},
       {u"/a/s", true, true},
       {u"/l/s", true, true},
       {u"/s/v/l*v C:\\Temp\\x.log", true, true, false, false, false, 5},
   };
   for (const Case& c : cases) {
      CommandLineOptions options;
      const bool accepted = ParseCommandLine(c.line, options, FakeIsDirectory);
      EXPECT_EQ(accepted, c.accepted) << Narrow(c.line);
      if (!accepted || !c.accepted) {
         continue;
      }
      EXPECT_EQ(options.silent, c.silent) << Narrow(c.line);
      EXPECT_EQ(options.unpackOnly, c.unpackOnly) << Narrow(c.line);
      EXPECT_EQ(options.repairMode, c.repairMode) << Narrow(c.line);
      EXPECT_EQ(options.noSystemChange, c.noSystemChange) << Narrow(c.line);
      EXPECT_EQ(options.uiLevel, c.uiLevel) << Narrow(c.line);
      EXPECT_EQ(options.printVersions, c.printVersions) << Narrow(c.line);
      EXPECT_EQ(options.guestOnlyLogging, c.guestOnly) << Narrow(c.line);
   }
}

// Inside the /v text, \" stands for a quote and 2n back-slashes before a quote for n, as
// programs that build command lines write them; quotes written plainly keep working.
TEST(CommandLine, EscapedQuotesInsideTheInstallerText)
{
   struct Case {
      const char16_t* line;
      const char16_t* properties; // nullptr: refused
      const char16_t* logPath = nullptr;
   } cases[] = {
       {uR"(/s /v"/qn INSTALLDIR=\"C:\Tessix Custom\"")", uR"(INSTALLDIR="C:\Tessix Custom")"},
       {uR"(/s /v"/qn INSTALLDIR=\"C:\Tessix Custom\\\"")", uR"(INSTALLDIR="C:\Tessix Custom\")"},
       {uR"(/s /v"/qn DIR=C:\Tessix\\")", uR"(DIR=C:\Tessix\)"},
       {uR"(/s /v"/qn A=C:\x\y B=\\server\share")", uR"(A=C:\x\y B=\\server\share)"},
       {uR"(/s /v"/qn A=\"say \"\"hi\"\"\"")", uR"(A="say ""hi""")"},
       {uR"(/s /v"/qn INSTALLDIR="C:\Tessix Custom"")", uR"(INSTALLDIR="C:\Tessix Custom")"},
       {uR"(/s /v"/qn INSTALLDIR=\"C:\Tessix -x Custom\"")", uR"(INSTALLDIR="C:\Tessix -x Custom")"},
       {uR"(/s /v"/qn /l*v \"C:\Logs\My Logs\x.log\"")", u"", uR"(C:\Logs\My Logs\x.log)"},
       // A plain quote closed by an escaped one leaves a quote without partner: the quotes and
       // back-slashes are then read as written.
       {uR"(/s /v"/qn INSTALLDIR="C:\Tessix Custom\"")", uR"(INSTALLDIR="C:\Tessix Custom\")"},
       {uR"(/s /v"/qn A=\"open")", nullptr},
   };
   for (const Case& c : cases) {
      CommandLineOptions options;
      const bool accepted = ParseCommandLine(c.line, options, FakeIsDirectory);
      EXPECT_EQ(accepted, c.properties != nullptr) << Narrow(c.line);
      if (!accepted || c.properties == nullptr) {
         continue;
      }
      EXPECT_TRUE(options.silent) << Narrow(c.line);
      EXPECT_FALSE(options.unpackOnly) << Narrow(c.line);
      EXPECT_EQ(options.uiLevel, 2u) << Narrow(c.line);
      ExpectOptional(options.installerProperties, c.properties, "properties", c.line);
      ExpectOptional(options.msiLogPath, c.logPath, "log path", c.line);
      // The whole text, as the restart command hands it to Windows Installer again.
      if (c.logPath == nullptr) {
         ExpectOptional(options.installerArguments, (u"/qn " + std::u16string(c.properties)).c_str(), "arguments",
                        c.line);
      }
   }
   // Outside the /v text a back-slash before a quote is what it was: the end of a quoted path.
   CommandLineOptions options;
   ASSERT_TRUE(ParseCommandLine(uR"(/a "C:\Admin Point\" /s)", options, FakeIsDirectory));
   ExpectOptional(options.adminTargetPath, uR"(C:\Admin Point\)", "admin path", u"/a");
   EXPECT_TRUE(options.silent);
}

TEST(CommandLine, QuietLevels)
{
   struct Case {
      const char16_t* level;
      int expected; // -1: rejected
   } cases[] = {
       {u"", 2},      {u"n", 2},      {u"n+", 2},     {u"b", 3},      {u"b+", 0x83},  {u"b-", 0x43},
       {u"b!", 0x23}, {u"b+!", 0xA3}, {u"b!+", 0xA3}, {u"b-!", 0x63}, {u"b!-", 0x63}, {u"r", 4},
       {u"r+", 4},    {u"f", 5},      {u"f+", 5},     {u"b!x", 0x23}, {u"b+x", 0x83}, {u"b+-", -1},
       {u"b-+", -1},  {u"bx", -1},    {u"b+!x", -1},  {u"x", -1},     {u"N", -1},     {u"n-", -1},
   };
   for (const auto& c : cases) {
      const auto level = ParseQuietLevel(c.level);
      if (c.expected < 0) {
         EXPECT_FALSE(level) << Narrow(c.level);
      } else {
         ASSERT_TRUE(level) << Narrow(c.level);
         EXPECT_EQ(*level, static_cast<uint32_t>(c.expected)) << Narrow(c.level);
      }
   }
   CommandLineOptions options;
   EXPECT_TRUE(ParseCommandLine(u"/v/Qb+", options, FakeIsDirectory));
   EXPECT_EQ(options.uiLevel, 0x83u);
}

TEST(CommandLine, TokensRespectQuotes)
{
   const std::u16string line = u"/s /v\"/qn /l*v C:\\Temp\\x.log\"";
   std::vector<OptionToken> tokens;
   ASSERT_EQ(SplitOptionTokens(line, tokens), 0u);
   ASSERT_EQ(tokens.size(), 2u);
   EXPECT_EQ(line.substr(tokens[0].first, tokens[0].last - tokens[0].first + 1), u"/s");
   EXPECT_EQ(line.substr(tokens[1].first, tokens[1].last - tokens[1].first + 1), u"/v\"/qn /l*v C:\\Temp\\x.log\"");
   EXPECT_EQ(SplitOptionTokens(u"x", tokens), 87u);
   EXPECT_EQ(SplitOptionTokens(u"/y", tokens), 87u);
}

TEST(CommandLine, ParameterItems)
{
   const std::u16string text = u"  B=\"two words\" \"C:\\My Logs\\x.log\"\tD=\"say \"\"hi\"\"\"";
   std::vector<std::u16string> items;
   ParameterItem item;
   size_t pos = 0;
   while (NextParameterItem(text, pos, item) == 0) {
      items.push_back(text.substr(item.start, item.end - item.start));
      pos = item.end;
   }
   ASSERT_EQ(items.size(), 3u);
   EXPECT_EQ(items[0], u"B=\"two words\"");
   EXPECT_EQ(items[1], u"\"C:\\My Logs\\x.log\"");
   EXPECT_EQ(items[2], u"D=\"say \"\"hi\"\"\"");
   EXPECT_EQ(NextParameterItem(u"A=\"open", 0, item), 87u);
   EXPECT_EQ(NextParameterItem(u"   ", 0, item), 259u);
}

TEST(CommandLine, RejectedLineKeepsWhatWasSet)
{
   CommandLineOptions options;
   EXPECT_FALSE(ParseCommandLine(u"/s /a /a", options, FakeIsDirectory));
   EXPECT_TRUE(options.silent); // the usage text is then logged, not shown
   EXPECT_TRUE(options.adminInstall);
}

// An unattended run never waits for a person: a refused line with a word that asks for silence
// anywhere (/s, /silent, /q...), even after the switch that refused it, is silent, so its usage
// text is logged rather than shown.
TEST(CommandLine, RefusedLineWithSilentAnywhereIsSilent)
{
   const struct {
      const char16_t* line;
      bool silent;
   } cases[] = {
       {u"/xyz /s", true},
       {u"/repair -S", true},
       {u"/s /v/qn /norestart", true},
       {u"/norestart /s/x", true},
       {u"/n /s /x /r /mg /pv /s", true}, // a seventh switch
       {u"/xyz /silent", true},           // silence in another spelling
       {u"/xyz /a C:\\x-ray\\s", false},
       // A word before the first switch: the program name repeated, with or without its path.
       {u"setup.exe /s /v/qn", true},
       {u"C:\\Tools\\setup.exe -S/x", true},
       {u"setup.exe \"/s\" /x", true}, // a quoted /s is the argument /s
       {u"setup.exe /silent", true},
       {u"/xyz /v\"/qn SERVER=/srv\"", false}, // inside quotes, no word of the line
       // A /s written directly after another switch.
       {u"/x/s extra", true},
       {u"/w/s extra", true},
       {uR"(/wait/s C:\Temp)", true},
       {u"/a/s extra", true},
   };
   for (const auto& c : cases) {
      CommandLineOptions options;
      EXPECT_FALSE(ParseCommandLine(c.line, options, FakeIsDirectory)) << Narrow(c.line);
      EXPECT_EQ(options.silent, c.silent) << Narrow(c.line);
   }
}

// A refused line is logged with the word refused and the rule it broke.
TEST(CommandLine, RefusalNamesTheWordAndTheRule)
{
   const struct {
      const char16_t* line;
      const char16_t* word;
      const char* rule; // a part of the rule
   } cases[] = {
       {u"/s /v/qn /norestart", u"/norestart", "REBOOT=ReallySuppress"},
       {uR"(/s /v/qn /l C:\nodir\x.log)", uR"(C:\nodir\x.log)", "does not exist"},
       {u"/s /qn", u"/qn", "belongs inside /v, as in /v/qn"},
       {u"-qn", u"-qn", "belongs inside /v"},
       {u"/s extra words", u"extra", "belongs to no switch"},
       {u"setup.exe /s", u"setup.exe", "begin with a switch"},
       {u"/silent", u"/silent", "not a switch"},
       {u"/a /a", u"/a", "one /a"},
       {u"/v/qn /v/qb", u"/v/qb", "one /v"},
       {u"/v\"/i x.msi\"", u"/i", "inside /v"},
       {u"/v/qz", u"/qz", "UI level"},
       {u"/v\"A=\"open\"", u"/v\"A=\"open\"", "quote"},
       {u"/s /n /x /r /mg /pv /v/qn", u"/v/qn", "six"},
       {u"/l x.log", u"x.log", "folder"},
       {uR"(/s /v"/qn" extra)", u"extra", "belongs to no switch"},
       {u"/s /v/qn extra", u"extra", "NAME=value"},
       {uR"(/s /v"/qn INSTALLDIR=C:\Dir" C:\Other)", uR"(C:\Other)", "belongs to no switch"},
       {uR"(/s /v"/qn INSTALLDIR=C:\Dir\" extra)", u"extra", "belongs to no switch"},
       {uR"(/s /a "C:\Admin" extra)", u"extra", "belongs to no switch"},
       {uR"(/s /v/qn /l*v C:\Logs\x.log)", u"/l*v", "inside /v"},
   };
   for (const auto& c : cases) {
      CommandLineOptions options;
      CommandLineRefusal refusal;
      EXPECT_FALSE(ParseCommandLine(c.line, options, FakeIsDirectory, &refusal)) << Narrow(c.line);
      EXPECT_EQ(refusal.word, c.word) << Narrow(c.line);
      EXPECT_NE(std::string(refusal.rule).find(c.rule), std::string::npos) << Narrow(c.line) << ": " << refusal.rule;
   }
}

// Only a "/?" outside quotes asks for the usage text.
TEST(CommandLine, UsageAskedOutsideQuotes)
{
   const struct {
      const char16_t* line;
      bool asks;
   } cases[] = {
       {u"/?", true},
       {u"/s /?", true},
       {u"/s/?", true},
       {uR"(/v"/qn" /?)", true},
       {uR"(/s /v"/qn SERVERURL=https://host/?id=1")", false},
       {uR"(/s "/v/qn URL=https://host/?id=1")", false},
       {uR"(/s /v"/qn A=\"x\" URL=https://host/?id=1")", false},
       {u"/s", false},
       // Only at the start of a word, as a switch: inside an unquoted value it is text.
       {u"/s /v/qn SERVERURL=https://host/?id=1", false},
       {u"/w/?", true},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(AsksForUsage(c.line), c.asks) << Narrow(c.line);
   }
}

// A request for the usage text on a line that asks for silence is answered in the log: a
// deployment tool that runs "setup.exe /s /?" must not wait for a person at a box.
TEST(CommandLine, UsageAskedOnASilentLine)
{
   const struct {
      const char16_t* line;
      bool silent;
   } cases[] = {
       {u"/s /?", true},   {u"/?", false},           {u"/quiet /?", true},
       {u"/? -S", true},   {uR"(/v"/s" /?)", false}, // a /s inside the /v text is no word of the line
       {u"/w/s /?", true},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(AsksForSilence(c.line), c.silent) << Narrow(c.line);
   }
}
