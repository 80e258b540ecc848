#include "lib/install/logFormat.h"

#include <gtest/gtest.h>

namespace {

LogLine Format(const LogClock& clock, const char* tag, uint32_t level, const std::string& suffix, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   LogLine line = Log_FormatLine(clock, tag, 4242, level, fmt, args, suffix);
   va_end(args);
   return line;
}

constexpr LogClock kClock{2024, 5, 1, 10, 11, 12, 345, 0};

} // namespace

TEST(LogFormat, LineLayoutByteForByte)
{
   LogClock clock = kClock;
   clock.zoneMinutes = 120;
   EXPECT_EQ(Format(clock, "BootStrapper-build-4242", LOG_LAUNCHER, "", "Setup exit code is: %d", 0).text,
             "2024-05-01T10:11:12.345+02:00| BootStrapper-build-4242| I0: Setup exit code is: 0\n");
   EXPECT_EQ(Format(kClock, "", LOG_ERROR, "", "x").text, "2024-05-01T10:11:12.345Z| inst-build-4242| E1: x\n");
}

TEST(LogFormat, ZoneTexts)
{
   struct Case {
      int minutes;
      const char* text;
   } cases[] = {{0, "Z"}, {330, "+05:30"}, {-210, "-03:30"}, {-30, "-00:30"}, {600, "+10:00"}, {-720, "-12:00"}};
   for (const auto& c : cases) {
      EXPECT_EQ(Log_ZoneText(c.minutes), c.text) << c.minutes;
   }
}

TEST(LogFormat, LevelLettersAndFilter)
{
   struct Case {
      uint32_t level;
      const char* letters;
   } cases[] = {{0x1, "E1"}, {0x2, "I1"},  {0x4, "E2"},  {0x8, "W1"},   {0x10, "G2"}, {0x20, "I2"},
                {0x40, "XX"}, {0x80, "P1"}, {0x100, "XX"}, {0x200, "XX"}, {0x400, "I0"}, {0x3, "XX"}};
   for (const auto& c : cases) {
      EXPECT_STREQ(Log_LevelLetters(c.level), c.letters) << c.level;
   }
   EXPECT_FALSE(Log_LevelPasses(0, LOG_LAUNCHER)); // mask 0 silences even the launcher's lines
   EXPECT_TRUE(Log_LevelPasses(kLogDefaultMask, LOG_LAUNCHER));
   EXPECT_FALSE(Log_LevelPasses(kLogDefaultMask, LOG_SUCCESS));
   EXPECT_FALSE(Log_LevelPasses(kLogDefaultMask, LOG_BEGIN));
   EXPECT_TRUE(Log_LevelPasses(LOG_UNCHOSEN, LOG_UNCHOSEN));
   EXPECT_FALSE(Log_LevelPasses(LOG_UNCHOSEN, LOG_ERROR));
}

TEST(LogFormat, TrailingLineBreaksCollapseToOne)
{
   EXPECT_EQ(Format(kClock, "t", LOG_INFO, "", "done\r\n\r\n").text, "2024-05-01T10:11:12.345Z| t| I1: done\n");
   EXPECT_EQ(Format(kClock, "t", LOG_INFO, "| winerror code 5 (Access is denied.)", "failed\n").text,
             "2024-05-01T10:11:12.345Z| t| I1: failed| winerror code 5 (Access is denied.)\n");
}

TEST(LogFormat, LongMessageIsCutToTheBudget)
{
   const std::string message(3000, 'm');
   const LogLine line = Format(kClock, "t", LOG_INFO, "", "%s", message.c_str());
   EXPECT_TRUE(line.truncated);
   EXPECT_EQ(line.text.size(), kLogLineBudget);
   EXPECT_EQ(line.text.back(), '\n');

   const std::string fits(100, 'm');
   EXPECT_FALSE(Format(kClock, "t", LOG_INFO, "", "%s", fits.c_str()).truncated);
}

TEST(LogFormat, CutNeverSplitsAUtf8Character)
{
   std::string message;
   while (message.size() < 3000) {
      message += "\xE6\x97\xA5"; // three bytes each
   }
   const LogLine line = Format(kClock, "t", LOG_INFO, "", "%s", message.c_str());
   EXPECT_TRUE(line.truncated);
   EXPECT_LE(line.text.size(), kLogLineBudget);
   const size_t prefix = std::string("2024-05-01T10:11:12.345Z| t| I1: ").size();
   EXPECT_EQ((line.text.size() - 1 - prefix) % 3, 0u);
}

TEST(LogFormat, SuffixThatDoesNotFitMarksTheLine)
{
   const std::string message(2000, 'm');
   const std::string suffix(100, 's');
   const LogLine line = Format(kClock, "t", LOG_INFO, suffix, "%s", message.c_str());
   EXPECT_TRUE(line.truncated);
   EXPECT_EQ(line.text.size(), kLogLineBudget);
}

TEST(LogFormat, ErrorSuffixVariants)
{
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::WinError, 5, "Access is denied."), "| winerror code 5 (Access is denied.)");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::WinError, 0, ""), "| winerror code 0");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::WinError, 0, "done"), "| winerror code 0 (done)");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::LastWinError, 0, "done"), "| winerror code 0 (code was erased)");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::PosixError, 2, "No such file or directory"),
             "| posix code 2 (No such file or directory)");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::LastPosixError, 0, "x"), "| posix code 0 (code was erased)");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::PosixError, static_cast<uint32_t>(-1), ""), "| posix code -1");
   EXPECT_EQ(Log_ErrorSuffix(LogSuffixKind::LastPosixError, static_cast<uint32_t>(-1), ""), "| posix code 4294967295");
}
