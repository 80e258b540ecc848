// The version information txpack reads from a launcher: the fixed numbers, the strings of the
// table the resource editor rewrites, and the room each string has. The blocks are laid out as
// the resource compiler lays them out.
#include "tools/txpack/versionInfo.h"

#include <gtest/gtest.h>

namespace
{

void Pad(std::string& bytes)
{
   bytes.resize((bytes.size() + 3) & ~size_t{3}, '\0');
}

std::string Utf16(const std::u16string& text)
{
   std::string bytes;
   for (char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
   }
   return bytes;
}

std::string Word(uint16_t value)
{
   return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

// One node: wLength, wValueLength, wType, the key, the value, the children, each aligned.
std::string Node(const std::u16string& key, uint16_t type, uint16_t valueLength, const std::string& value,
                 const std::string& children = std::string())
{
   std::string body = Word(valueLength) + Word(type) + Utf16(key) + Word(0);
   std::string bytes = Word(0) + body;
   Pad(bytes);
   bytes += value;
   if (!children.empty()) {
      Pad(bytes);
      bytes += children;
   }
   const uint16_t length = static_cast<uint16_t>(bytes.size());
   bytes.replace(0, 2, Word(length));
   Pad(bytes);
   return bytes;
}

// A String as windres writes it: the text and its NUL, counted in characters.
std::string String(const std::u16string& key, const std::u16string& value)
{
   return Node(key, 1, static_cast<uint16_t>(value.size() + 1), Utf16(value) + Word(0));
}

std::string Fixed(uint32_t fileMs, uint32_t fileLs, uint32_t productMs, uint32_t productLs)
{
   std::string bytes(52, '\0');
   const auto put = [&](size_t at, uint32_t value) {
      bytes.replace(at, 2, Word(value & 0xFFFF));
      bytes.replace(at + 2, 2, Word(value >> 16));
   };
   put(0, 0xFEEF04BD);
   put(8, fileMs);
   put(12, fileLs);
   put(16, productMs);
   put(20, productLs);
   return bytes;
}

std::string Block(const std::string& tables, const std::string& translation)
{
   const std::string vars = Node(u"VarFileInfo", 1, 0, "", Node(u"Translation", 0, 4, translation));
   return Node(u"VS_VERSION_INFO", 0, 52, Fixed(0x000D0000, 0x00010000, 0x000D0000, 0x00020007),
               Node(u"StringFileInfo", 1, 0, "", tables) + vars);
}

const std::string kEnglish = Word(0x0409) + Word(0x04B0);

} // namespace

TEST(VersionInfo, StringsAndTheirRoom)
{
   const std::string table =
       Node(u"040904b0", 1, 0, "",
            String(u"CompanyName", u"Tessix, Inc.") + String(u"FileVersion", u"13.0.1.0               ") +
                String(u"ProductName", u"Tessix Tools") +
                // A value rewritten in place: the new text, then NULs up to the old length.
                Node(u"ProductVersion", 1, 24, Utf16(u"13.0.2") + std::string(36, '\0')));
   const auto info = Pack_ReadVersionInfo(Block(table, kEnglish));
   ASSERT_TRUE(info);
   EXPECT_EQ(Pack_VersionNumbersText(info->fileVersion), "13.0.1.0");
   EXPECT_EQ(Pack_VersionNumbersText(info->productVersion), "13.0.2.7");
   EXPECT_EQ(info->table, "040904b0");
   ASSERT_EQ(info->strings.size(), 4u);
   struct Expected {
      const char* key;
      const char* value;
      size_t room;
   } const expected[] = {
       {"CompanyName", "Tessix, Inc.", 12},
       {"FileVersion", "13.0.1.0               ", 23},
       {"ProductName", "Tessix Tools", 12},
       {"ProductVersion", "13.0.2", 23},
   };
   for (size_t i = 0; i < info->strings.size(); i++) {
      EXPECT_EQ(info->strings[i].key, expected[i].key);
      EXPECT_EQ(info->strings[i].value, expected[i].value);
      EXPECT_EQ(info->strings[i].room, expected[i].room) << expected[i].key;
   }
   // Names are found as the version functions find them, in any case.
   ASSERT_NE(Pack_FindVersionString(*info, "productname"), nullptr);
   EXPECT_EQ(Pack_FindVersionString(*info, "productname")->key, "ProductName");
   EXPECT_EQ(Pack_FindVersionString(*info, "ProdcutName"), nullptr);
}

// The resource editor rewrites the table the first translation names.
TEST(VersionInfo, TheTranslationPicksTheTable)
{
   const std::string tables = Node(u"040704b0", 1, 0, "", String(u"ProductName", u"Deutsch")) +
                              Node(u"040904B0", 1, 0, "", String(u"ProductName", u"English"));
   const auto english = Pack_ReadVersionInfo(Block(tables, kEnglish));
   ASSERT_TRUE(english);
   EXPECT_EQ(english->strings.at(0).value, "English");
   const auto first = Pack_ReadVersionInfo(Block(tables, Word(0x0411) + Word(0x04B0)));
   ASSERT_TRUE(first);
   EXPECT_EQ(first->strings.at(0).value, "Deutsch");
}

TEST(VersionInfo, WhatIsNoVersionInformation)
{
   const std::string good = Block(Node(u"040904b0", 1, 0, "", String(u"ProductName", u"Tessix Tools")), kEnglish);
   ASSERT_TRUE(Pack_ReadVersionInfo(good));
   std::string badSignature = good;
   badSignature[40] = 0; // the fixed part's signature, after the 6-byte header and the 32-byte key
   std::string longerThanItself = good;
   longerThanItself[0] = static_cast<char>(0xFF);
   longerThanItself[1] = static_cast<char>(0xFF);
   for (const std::string& bytes :
        {std::string(), good.substr(0, 5), good.substr(0, 60), good.substr(0, good.size() - 8), badSignature,
         longerThanItself, std::string(200, '\xFF')}) {
      EXPECT_FALSE(Pack_ReadVersionInfo(bytes)) << bytes.size() << " bytes";
   }
}
