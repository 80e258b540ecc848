#include "lib/string/str.h"

#include <gtest/gtest.h>

TEST(Str, ExactFitAndOneShort)
{
   char buf[6];
   EXPECT_EQ(Str_Snprintf(buf, sizeof buf, "%s", "12345"), 5);
   EXPECT_STREQ(buf, "12345");
   EXPECT_EQ(Str_Snprintf(buf, sizeof buf, "%s", "123456"), -1);
   EXPECT_STREQ(buf, "12345");
}

TEST(Str, TruncationKeepsWholeUtf8Characters)
{
   char buf[5];
   // "ab" then a three-byte character: 5 bytes do not fit in 4, and the cut may not split it.
   EXPECT_EQ(Str_Snprintf(buf, sizeof buf, "ab%s", "\xE6\x97\xA5"), -1);
   EXPECT_STREQ(buf, "ab");
}

TEST(Str, FormatGrowsToAnyLength)
{
   const std::string long_text(5000, 'x');
   EXPECT_EQ(Str_Format("[%s]", long_text.c_str()).size(), 5002u);
}

TEST(Str, EqualsNoCase)
{
   EXPECT_TRUE(Str_EqualsNoCase("{ABCDEF}", "{abcdef}"));
   EXPECT_FALSE(Str_EqualsNoCase("abc", "abcd"));
}
