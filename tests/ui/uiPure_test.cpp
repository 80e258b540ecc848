// The user interface's pure rules: installer record and action texts, the HelperUI protocol and
// its divisor, the extraction's share of the bar, the splash language.
#include <gtest/gtest.h>

#include "apps/install/setup/ui/extractProgress.h"
#include "apps/install/setup/ui/helperUiText.h"
#include "apps/install/setup/ui/msiRecord.h"
#include "apps/install/setup/ui/splashLanguage.h"

namespace
{

struct RecordCase {
   const char* text;
   bool ok;
   int64_t f1, f2, f3, f4;
};

} // namespace

TEST(MsiRecord, ProgressRecords)
{
   const RecordCase cases[] = {
       {"1: 0 2: 24022 3: 0 4: 0 ", true, 0, 24022, 0, 0},  // forward reset, as Wine sends it
       {"1: 0 2: 100000 3: 1 4: 1", true, 0, 100000, 1, 1}, // backward reset, script in progress
       {"1: 1 2: 512 3: 1 4: 9", true, 1, 512, 1, 0},       // action information stops after field 3
       {"1: 2 2: 4096 3: 0 4: 0", true, 2, 4096, 0, 0},     // a report stops after field 2
       {"1: 3 2: 77", true, 3, 77, 0, 0},                   // add to total
       {"1: 2 2: -5 ", true, 2, -5, 0, 0},
       {"1: 0", true, 0, 0, 0, 0},                                    // the end of the text ends the record
       {"1: 0 2: 99999999999999999999999", true, 0, INT64_MAX, 0, 0}, // held at the 64-bit edge
       {"", false, 0, 0, 0, 0},
       {"0: 1", false, 0, 0, 0, 0},       // fields are named 1 to 4
       {"1: 12 2: 3", false, 0, 0, 0, 0}, // field 1 is a single digit
       {"1: x 2: 3", false, 0, 0, 0, 0},
       {"1: 0 5: 3", false, 0, 0, 0, 0},
       {"1: 0 2", false, 0, 0, 0, 0}, // a name with no room for its value
       {"1", false, 0, 0, 0, 0},
   };
   for (const auto& c : cases) {
      MsiRecordFields f;
      EXPECT_EQ(ParseProgressRecord(c.text, f), c.ok) << c.text;
      if (c.ok) {
         EXPECT_EQ(f.value[0], c.f1) << c.text;
         EXPECT_EQ(f.value[1], c.f2) << c.text;
         EXPECT_EQ(f.value[2], c.f3) << c.text;
         EXPECT_EQ(f.value[3], c.f4) << c.text;
      }
   }
}

TEST(MsiRecord, BarTicksOfTheRemovalWindow)
{
   struct Case {
      int64_t value;
      bool backward;
      int32_t ticks;
   } const cases[] = {
       {512, false, 512},
       {512, true, -512},
       {-5, true, 5},
       {-2147483648LL, true, INT32_MIN}, // negated before the cut: no 32-bit overflow
       {2147483648LL, false, INT32_MIN}, // the bar's message carries the low 32 bits
       {(1LL << 32) + 7, true, -7},
       {INT64_MAX, true, 1},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(MsiRecord_BarTicks(c.value, c.backward), c.ticks) << c.value << (c.backward ? " backward" : "");
   }
}

TEST(MsiRecord, CommonData)
{
   const RecordCase cases[] = {
       {"1: 0 2: 1033 3: 0 ", true, 0, 1033, 0, 0}, // language
       {"1: 2 2: 0", true, 2, 0, 0, 0},             // cancel button hidden
       {"1: 2 2: 1 ", true, 2, 1, 0, 0},
       {"1: 0", true, 0, 0, 0, 0},            // field 1 only
       {"1: 1 2: Tessix", false, 0, 0, 0, 0}, // caption record
       {"2: 1041", true, 0, 1041, 0, 0},
       {"3: 1", false, 0, 0, 0, 0},
       {"1: 0 3: 1", false, 0, 0, 0, 0},
       {"1: x", false, 0, 0, 0, 0},
       {"1:", false, 0, 0, 0, 0},
       {"", false, 0, 0, 0, 0},
   };
   for (const auto& c : cases) {
      MsiRecordFields f;
      EXPECT_EQ(ParseCommonData(c.text, f), c.ok) << c.text;
      if (c.ok) {
         EXPECT_EQ(f.value[0], c.f1) << c.text;
         EXPECT_EQ(f.value[1], c.f2) << c.text;
      }
   }
}

TEST(MsiRecord, ActionStartTexts)
{
   using O = ActionStartText::Outcome;
   const struct {
      const char* text;
      O outcome;
      int blanks;
      const char* description;
   } cases[] = {
       {"Action 16:03:49: InstallFiles. Copying new files", O::Ok, 3, "Copying new files"},
       {"Action 16:03:49: RemoveFiles. ", O::NoDescription, 3, ""},
       {"Action 16:03:49: RemoveFiles.", O::MissingBlank, 2, ""},
       {"Action 16:03:49:", O::MissingBlank, 1, ""},
       {"Action", O::MissingBlank, 0, ""},
       {"", O::MissingBlank, 0, ""},
       {"   x", O::Ok, 3, "x"},
   };
   for (const auto& c : cases) {
      const ActionStartText a = ParseActionStart(c.text);
      EXPECT_EQ(a.outcome, c.outcome) << c.text;
      EXPECT_EQ(a.blanksFound, c.blanks) << c.text;
      EXPECT_EQ(std::string(a.description), c.description) << c.text;
   }
}

TEST(HelperUiText, Pieces)
{
   using K = HelperUiCommand::Kind;
   const struct {
      const char* text;
      K kind;
      const char* title;
      uint64_t total;
   } cases[] = {
       {"HelperUI:enable:Tessix Tools Setup:1000", K::Enable, "Tessix Tools Setup", 1000},
       {"Progress: HelperUI: enable:\tOwner:5000000000 ticks", K::Enable, "Owner", 5000000000ull},
       {"HelperUI::enable::Owner::12", K::Enable, "Owner", 12}, // empty pieces dropped
       {"HelperUI:enable:Owner:99999999999999999999999", K::Enable, "Owner", UINT64_MAX},
       {"HelperUI:disable", K::Close, "", 0},
       {"HelperUI:enable ", K::Close, "", 0}, // only leading blanks are skipped
       {"HelperUI:enable:Owner", K::Incomplete, "", 0},
       {"HelperUI:enable", K::Incomplete, "", 0},
       {"HelperUI", K::None, "", 0},
       {"Copying files: 3 of 10", K::None, "", 0},
       {"", K::None, "", 0},
   };
   for (const auto& c : cases) {
      const HelperUiCommand command = ParseHelperUiText(c.text);
      EXPECT_EQ(command.kind, c.kind) << c.text;
      if (c.kind == K::Enable) {
         EXPECT_EQ(command.title, c.title) << c.text;
         EXPECT_EQ(command.total, c.total) << c.text;
      }
   }
}

TEST(HelperUiText, Divisor)
{
   const struct {
      uint64_t total;
      int64_t divisor;
      int32_t range;
   } cases[] = {
       {0, 1, 0},
       {1000, 1, 1000},
       {0x7FFFFFFF, 1, 0x7FFFFFFF},
       {0x80000000, 2, 0x40000000},
       {5000000000ull, 3, 1666666666},
       {UINT64_MAX, 0x200000000, 0x7FFFFFFF},
   };
   for (const auto& c : cases) {
      const HelperUiScale scale = ScaleHelperUiTotal(c.total);
      EXPECT_EQ(scale.divisor, c.divisor) << c.total;
      EXPECT_EQ(scale.range, c.range) << c.total;
      if (c.divisor > 1) { // the smallest such divisor
         EXPECT_GT(c.total / static_cast<uint64_t>(c.divisor - 1), 0x7FFFFFFFull) << c.total;
      }
   }
}

TEST(ExtractProgress, Percentage)
{
   EXPECT_EQ(ExtractPercent(30, 100), 30u);
   EXPECT_EQ(ExtractPercent(100, 0), 0u);
   EXPECT_EQ(ExtractPercent(10000000, 10000000), 100u);
   // Scaled by 8 while done is above 10,000,000: no overflow near the top of the range.
   EXPECT_EQ(ExtractPercent(UINT64_MAX / 2, UINT64_MAX), 49u);
   EXPECT_EQ(ExtractPercent(48156168, 48130168), 100u);
   EXPECT_EQ(ExtractPercent(20000000, 7), 0u); // the total scales to 0
}

TEST(ExtractProgress, ChunkReports)
{
   struct Report {
      uint64_t bytes;
      bool posts;
      int32_t increment;
      bool disableCancel;
   };
   const struct {
      const char* name;
      uint64_t total;
      std::vector<Report> reports;
   } cases[] = {
       {"30, 30, 60", 100, {{30, true, 30, false}, {0, false, 0, false}, {30, true, 30, false}}},
       {"94 then 96, then nothing", 100, {{94, true, 94, true}, {2, true, 2, true}, {4, false, 0, true}}},
       {"90 keeps Cancel, 91 disables it", 100, {{90, true, 90, false}, {1, true, 1, true}}},
       {"a first report of 0 % posts 0", 1000, {{1, true, 0, false}, {1, true, 0, false}, {10, true, 1, false}}},
       {"no total", 0, {{100, true, 0, false}}},
       {"large payload", 48130168ull * 10, {{48130168ull * 5, true, 50, false}, {48130168ull * 5, true, 50, true}}},
   };
   for (const auto& c : cases) {
      ProgressRecord record;
      record.threadId = 7;
      record.totalBytes = c.total;
      for (const Report& r : c.reports) {
         const ExtractProgressStep step = NextExtractProgress(record, r.bytes);
         EXPECT_EQ(step.postIncrement, r.posts) << c.name;
         EXPECT_EQ(step.increment, r.increment) << c.name;
         EXPECT_EQ(step.disableCancel, r.disableCancel) << c.name;
      }
   }
}

TEST(SplashLanguage, Choice)
{
   const struct {
      const char* languages;
      uint16_t system;
      uint16_t chosen;
   } cases[] = {
       {"", 1036, 1033},
       {"1034 1036 1041", 1036, 1036}, // listed
       {"1034 1036 1041", 3084, 1036}, // French (Canada) finds French by its primary language
       {"1028 2052", 1028, 1033},      // Simplified Chinese listed: Traditional gets English
       {"2052", 3076, 1033},
       {"2052", 2052, 2052},
       {"1034 1036 1041", 1031, 1033}, // no match
       {"1034  1041", 1033, 1033},     // an empty piece counts as 0
   };
   for (const auto& c : cases) {
      EXPECT_EQ(ChooseSplashLanguage(c.languages, c.system), c.chosen) << c.languages << " / " << c.system;
   }
   EXPECT_EQ(SplashBitmapPath("C:\\media\\setup.exe", 1036).value_or(""), "C:\\media\\1036.bmp");
   EXPECT_FALSE(SplashBitmapPath("setup.exe", 1033));
}

TEST(SplashLanguage, MessageTextInsert)
{
   EXPECT_EQ(FormatMessageText("Uninstalling %s...", "Tessix Tools", 1024), "Uninstalling Tessix Tools...");
   // A translation is never a format: other placeholders stay as they are.
   EXPECT_EQ(FormatMessageText("%d%% %s %s %n", "x", 1024), "%d% x %s %n");
   // Cut on a whole character: "é" is two bytes.
   EXPECT_EQ(FormatMessageText("%s", "ab\xC3\xA9", 4), "ab");
}
