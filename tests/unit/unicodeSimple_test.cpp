#include "lib/unicode/unicodeSimple.h"

#include <gtest/gtest.h>

TEST(UnicodeSimple, RoundTripsEveryPlane)
{
   const std::string text = "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"; // A, e-acute, a CJK ideograph, an emoji
   const auto wide = Unicode_Utf8ToUtf16(text);
   ASSERT_TRUE(wide);
   EXPECT_EQ(*wide, std::u16string(u"A\u00E9\u65E5\U0001F600"));
   EXPECT_EQ(Unicode_Utf16ToUtf8(*wide), text);
}

TEST(UnicodeSimple, RefusesMalformedUtf8)
{
   const char* bad[] = {
      "\xC0\xAF",         // overlong '/'
      "\xE0\x80\xAF",     // overlong, three bytes
      "\xED\xA0\x80",     // an encoded surrogate
      "\xF4\x90\x80\x80", // past U+10FFFF
      "\xC3",             // cut short
      "\x80",             // a lone continuation byte
      "ok\xFF",           // never valid
   };
   for (const char* text : bad) {
      EXPECT_FALSE(Unicode_Utf8ToUtf16(text)) << Unicode_EscapeBuffer(text, strlen(text));
      EXPECT_FALSE(Unicode_IsValidUtf8(text));
   }
}

TEST(UnicodeSimple, RefusesUnpairedSurrogates)
{
   EXPECT_FALSE(Unicode_Utf16ToUtf8(std::u16string(1, char16_t(0xD800))));
   EXPECT_FALSE(Unicode_Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))));
   EXPECT_FALSE(Unicode_Utf16ToUtf8(std::u16string{char16_t(0xD800), u'a'}));
}

TEST(UnicodeSimple, CutPointNeverSplitsACharacter)
{
   const std::string text = "ab\xE6\x97\xA5"; // 5 bytes, the last 3 one character
   EXPECT_EQ(Unicode_Utf8CutPoint(text, 5), 5u);
   EXPECT_EQ(Unicode_Utf8CutPoint(text, 4), 2u);
   EXPECT_EQ(Unicode_Utf8CutPoint(text, 3), 2u);
   EXPECT_EQ(Unicode_Utf8CutPoint(text, 2), 2u);
   EXPECT_EQ(Unicode_Utf8CutPoint(text, 0), 0u);
}

TEST(UnicodeSimple, TrimIncompleteDropsOnlyACutCharacter)
{
   EXPECT_EQ(Unicode_Utf8TrimIncomplete("ab\xE6\x97"), 2u);
   EXPECT_EQ(Unicode_Utf8TrimIncomplete("ab\xE6"), 2u);
   EXPECT_EQ(Unicode_Utf8TrimIncomplete("ab\xE6\x97\xA5"), 5u);
   EXPECT_EQ(Unicode_Utf8TrimIncomplete("ab\xF0\x9F\x98"), 2u);
   EXPECT_EQ(Unicode_Utf8TrimIncomplete("abc"), 3u);
   EXPECT_EQ(Unicode_Utf8TrimIncomplete(""), 0u);
}

TEST(UnicodeSimple, EscapesForDiagnostics)
{
   const char bytes[] = {'a', '\\', '\0', '\xFF'};
   EXPECT_EQ(Unicode_EscapeBuffer(bytes, sizeof bytes), "a\\x5C\\x00\\xFF");
}
