#include "apps/install/setup/payloadDigest.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// Known answers of XXH64 (seed 0), as the reference tool prints them.
TEST(PayloadDigest, KnownAnswers)
{
   EXPECT_EQ(Payload_DigestText(Payload_Hash("")), "ef46db3751d8e999");
   EXPECT_EQ(Payload_DigestText(Payload_Hash("abc")), "44bc2cf5ad770999");
   EXPECT_EQ(Payload_DigestText(Payload_Hash(std::string(100, '\0'))), "17bb1103c92c502f");
}

// The launcher feeds 64 KiB chunks, the last one short; any split gives the whole's digest.
TEST(PayloadDigest, PiecesOfAnySizeGiveTheDigestOfTheWhole)
{
   std::string bytes;
   for (int i = 0; i < 1000; i++) {
      bytes.push_back(static_cast<char>(i * 7 + 3));
   }
   const uint64_t whole = Payload_Hash(bytes);
   for (size_t piece : {1u, 3u, 31u, 32u, 33u, 64u, 999u}) {
      SCOPED_TRACE(piece);
      PayloadHash hash;
      for (size_t at = 0; at < bytes.size(); at += piece) {
         hash.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
      }
      EXPECT_EQ(hash.Digest(), whole);
   }
   bytes[500] ^= 1;
   EXPECT_NE(Payload_Hash(bytes), whole);
}

TEST(PayloadDigest, TheKeyReadsBackWhatWasWritten)
{
   const std::vector<PayloadDigest> written = {{"Tessix Tools.msi", 0x0123456789abcdefULL},
                                               {"vcredist_arm64.exe", 0xfedcba9876543210ULL}};
   const std::string text = Payload_FormatDigests(written);
   EXPECT_EQ(text, "0123456789abcdef Tessix Tools.msi\nfedcba9876543210 vcredist_arm64.exe\n");
   const auto read = Payload_ParseDigests(text, nullptr);
   ASSERT_TRUE(read);
   ASSERT_EQ(read->size(), 2u);
   EXPECT_EQ((*read)[1].name, "vcredist_arm64.exe");
   EXPECT_EQ((*read)[1].digest, 0xfedcba9876543210ULL);
   ASSERT_NE(Payload_FindDigest(*read, "TESSIX TOOLS.MSI"), nullptr);
   EXPECT_EQ(Payload_FindDigest(*read, "other.msi"), nullptr);
   EXPECT_TRUE(Payload_ParseDigests("0123456789ABCDEF a.msi\r\n", nullptr)) << "upper case and CR-LF";
}

TEST(PayloadDigest, AValueWithAnyFaultGivesNothing)
{
   const struct {
      const char* text;
      const char* problem;
   } cases[] = {
       {"", "no line"},
       {"0123456789abcdef a.msi", "line 1 does not end with a line feed"},
       {"0123456789abcde a.msi\n", "line 1 is not 16 hex digits, a blank and a file name"},
       {"0123456789abcdefa a.msi\n", "line 1 is not 16 hex digits, a blank and a file name"},
       {"0123456789abcdeg a.msi\n", "line 1 does not start with 16 hex digits"},
       {"0123456789abcdef \n", "line 1 is not 16 hex digits, a blank and a file name"},
       {"0123456789abcdef ..\\evil.exe\n", "line 1: the name holds a path separator"},
       {"0123456789abcdef a.msi\n0123456789abcdef A.MSI\n", "line 2 names a file listed before"},
   };
   for (const auto& c : cases) {
      SCOPED_TRACE(c.text);
      std::string problem;
      EXPECT_FALSE(Payload_ParseDigests(c.text, &problem));
      EXPECT_EQ(problem, c.problem);
   }
   // A NUL inside a name would end it early for the name check (found by the fuzz target).
   std::string problem;
   EXPECT_FALSE(Payload_ParseDigests(std::string("0123456789abcdef a.msi\0x\n", 25), &problem));
   EXPECT_EQ(problem, "line 1: the name holds a NUL");
   std::string many;
   for (int i = 0; i <= 4096; i++) {
      many += "0123456789abcdef f" + std::to_string(i) + "\n";
   }
   EXPECT_FALSE(Payload_ParseDigests(many, &problem));
   EXPECT_EQ(problem, "more than 4096 lines");
}

} // namespace
