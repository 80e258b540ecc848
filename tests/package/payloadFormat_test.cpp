#include "apps/install/setup/payloadFormat.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

std::string Field(const std::string& name)
{
   std::string field = name;
   field.resize(kPayloadNameBytes, '\0');
   return field;
}

struct Bytes {
   std::string data;
   size_t pos = 0;
   size_t reads = 0;
   PayloadReadFn Reader()
   {
      return [this](void* buf, size_t size) {
         reads++;
         if (data.size() - pos < size) {
            return false;
         }
         std::memcpy(buf, data.data() + pos, size);
         pos += size;
         return true;
      };
   }
};

PayloadTable Read(const std::string& container, PayloadTableData& table)
{
   Bytes bytes{container};
   return Payload_ReadTable(bytes.Reader(), container.size(), table);
}

} // namespace

TEST(PayloadFormat, EntryNames)
{
   struct Case {
      std::string name;
      PayloadName expected;
   } const cases[] = {
       {"Tessix Tools.msi", PayloadName::Ok},
       {"vcredist_arm64.exe", PayloadName::Ok},
       {"r\xC3\xA9sum\xC3\xA9.txt", PayloadName::Ok},
       {"..msi", PayloadName::Ok},
       {"console.txt", PayloadName::Ok},
       {"COM10", PayloadName::Ok},
       {"", PayloadName::Empty},
       {"..\\evil.exe", PayloadName::PathSeparator},
       {"sub/evil.exe", PayloadName::PathSeparator},
       {"C:evil.exe", PayloadName::Colon},
       {"setup.msi:stream", PayloadName::Colon},
       {".", PayloadName::DotName},
       {"..", PayloadName::DotName},
       {"evil.exe.", PayloadName::TrailingDotOrBlank},
       {"evil.exe ", PayloadName::TrailingDotOrBlank},
       {"CON", PayloadName::ReservedDevice},
       {"nul.txt", PayloadName::ReservedDevice},
       {"Com1", PayloadName::ReservedDevice},
       {"LPT9.log", PayloadName::ReservedDevice},
       {"AUX .txt", PayloadName::ReservedDevice},
       {"COM\xC2\xB9", PayloadName::ReservedDevice},
       {"CONOUT$", PayloadName::ReservedDevice},
       {"a\x01.txt", PayloadName::BadCharacter},
       {"what?.txt", PayloadName::BadCharacter},
       {"a*b", PayloadName::BadCharacter},
       {"bad\xC3(.txt", PayloadName::NotUtf8},
       {"\xC0\xAF.txt", PayloadName::NotUtf8}, // an overlong '/'
   };
   for (const Case& c : cases) {
      EXPECT_EQ(Payload_CheckName(Field(c.name)), c.expected) << Payload_NameProblem(c.expected) << ": " << c.name;
   }
   EXPECT_EQ(Payload_CheckName(std::string(259, 'a') + '\0'), PayloadName::Ok);
   EXPECT_EQ(Payload_CheckName(std::string(260, 'a')), PayloadName::NotTerminated);
}

TEST(PayloadFormat, ReadsTheTableItEncodes)
{
   const std::string container = Payload_EncodeHeader(2) + Payload_EncodeEntry("Tessix Tools.msi", 36544512) +
                                 Payload_EncodeEntry("vcredist_arm64.exe", 11585656) + "data...";
   EXPECT_EQ(container.substr(0, 4), "KSXT");
   PayloadTableData table;
   ASSERT_EQ(Read(container, table), PayloadTable::Ok);
   ASSERT_EQ(table.entries.size(), 2u);
   EXPECT_STREQ(table.entries[0].name, "Tessix Tools.msi");
   EXPECT_EQ(table.entries[0].size, 36544512u);
   EXPECT_STREQ(table.entries[1].name, "vcredist_arm64.exe");
   EXPECT_EQ(table.totalSize, 48130168u);
   EXPECT_EQ(table.dataOffset, 544u); // the shipped layout: data at container offset 544
}

TEST(PayloadFormat, RefusesBrokenTables)
{
   const std::string one = Payload_EncodeHeader(1) + Payload_EncodeEntry("a.msi", 10);
   struct Case {
      const char* what;
      std::string container;
      PayloadTable expected;
   } const cases[] = {
       {"nothing at the offset", "", PayloadTable::BadMagic},
       {"wrong magic", "KSXU" + one.substr(4), PayloadTable::BadMagic},
       {"count 0", Payload_EncodeHeader(0), PayloadTable::NoEntries},
       {"count missing", "KSXT", PayloadTable::CutShort},
       {"table cut short", one.substr(0, one.size() - 1), PayloadTable::CutShort},
       {"second entry missing", Payload_EncodeHeader(2) + Payload_EncodeEntry("a.msi", 1), PayloadTable::CutShort},
       {"sizes wrap round",
        Payload_EncodeHeader(2) + Payload_EncodeEntry("a", UINT64_MAX) + Payload_EncodeEntry("b", 1),
        PayloadTable::SizeWraps},
       {"path in a name", Payload_EncodeHeader(1) + Payload_EncodeEntry("..\\x.exe", 1), PayloadTable::BadName},
   };
   for (const Case& c : cases) {
      PayloadTableData table;
      EXPECT_EQ(Read(c.container, table), c.expected) << c.what;
   }
}

TEST(PayloadFormat, AHugeCountIsRefusedBeforeAnythingIsAllocatedOrRead)
{
   Bytes bytes{Payload_EncodeHeader(0xFFFFFFFF) + Payload_EncodeEntry("a", 1)};
   PayloadTableData table;
   EXPECT_EQ(Payload_ReadTable(bytes.Reader(), bytes.data.size(), table), PayloadTable::CutShort);
   EXPECT_EQ(bytes.reads, 2u); // magic and count only
   EXPECT_TRUE(table.entries.empty());
}

TEST(PayloadFormat, NamesTheBadEntry)
{
   const std::string container = Payload_EncodeHeader(3) + Payload_EncodeEntry("a.msi", 1) +
                                 Payload_EncodeEntry("b.exe", 1) + Payload_EncodeEntry("NUL", 1);
   PayloadTableData table;
   ASSERT_EQ(Read(container, table), PayloadTable::BadName);
   EXPECT_EQ(table.badEntry, 2u);
   EXPECT_EQ(table.nameProblem, PayloadName::ReservedDevice);
}
