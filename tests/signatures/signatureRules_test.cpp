#include "apps/install/setup/signatureRules.h"

#include <gtest/gtest.h>

TEST(SignatureRules, VerdictsAndTheirQuestions)
{
   struct Case {
      uint32_t status;
      SignatureCheckResult result;
      unsigned message;
   } cases[] = {
       {0x00000000, SignatureCheckResult::Trusted, 0},
       {0x800B0001, SignatureCheckResult::WintrustNotOnMachine, 55},
       {0x800B0100, SignatureCheckResult::NoSignatureFound, 53},
       {0x80096010, SignatureCheckResult::NotTrusted, 54}, // digest mismatch: altered after signing
       {0x800B0109, SignatureCheckResult::NotTrusted, 54}, // untrusted root
       {0x800B010A, SignatureCheckResult::NotTrusted, 54}, // chain cannot be built
       {0x00000002, SignatureCheckResult::NotTrusted, 54}, // a plain Win32 error is no success either
   };
   for (const auto& c : cases) {
      const SignatureCheckResult result = Signature_ResultFromStatus(static_cast<int32_t>(c.status));
      EXPECT_EQ(result, c.result) << std::hex << c.status;
      EXPECT_EQ(Signature_MessageFor(result), c.message) << std::hex << c.status;
   }
   EXPECT_EQ(Signature_MessageFor(SignatureCheckResult::InvalidArg), 55u);
}

TEST(SignatureRules, DecideAsksOnlyWhenNoRuleAnswers)
{
   constexpr int kYes = 6, kNo = 7, kClosed = 0;
   struct Case {
      const char* option;
      bool silent;
      int button; // what the person would press
      SignatureAnswer answer;
      bool asked;
   } cases[] = {
       {"one", true, kNo, SignatureAnswer::GoOn, false}, // the option rule comes first
       {"one", false, kNo, SignatureAnswer::GoOn, false},
       {"", true, kYes, SignatureAnswer::Refuse, false},
       {"ONE", true, kYes, SignatureAnswer::Refuse, false}, // the option is case-sensitive
       {"one ", false, kNo, SignatureAnswer::Refuse, true},
       {"", false, kYes, SignatureAnswer::GoOn, true},
       {"two", false, kNo, SignatureAnswer::Refuse, true},
       {"", false, kClosed, SignatureAnswer::Refuse, true}, // anything but Yes refuses
   };
   for (const auto& c : cases) {
      bool asked = false;
      const SignatureAnswer answer = Decide(Signature_AnswerRules(c.option, c.silent), [&] {
         asked = true;
         return c.button;
      });
      EXPECT_EQ(answer, c.answer) << '"' << c.option << "\" silent " << c.silent;
      EXPECT_EQ(asked, c.asked) << '"' << c.option << "\" silent " << c.silent;
   }
}

TEST(SignatureRules, VendorTextIgnoresCase)
{
   EXPECT_TRUE(Signature_ContainsNoCase("Tessix, Inc.", "Tessix"));
   EXPECT_TRUE(Signature_ContainsNoCase("Setup of TESSIX TOOLS", "tessix"));
   EXPECT_FALSE(Signature_ContainsNoCase("Tessi x", "Tessix"));
   EXPECT_FALSE(Signature_ContainsNoCase("Tess", "Tessix"));
   EXPECT_FALSE(Signature_ContainsNoCase("Tessix", ""));
}

TEST(SignatureRules, PackageListJoinsOnceAndAlwaysHoldsThePackage)
{
   // Extracted package among the folder's files: listed once, and marked.
   auto list = Signature_PackageList("C:\\x\\", {"other.msi", "TOOLS.MSI"}, "C:\\X\\tools.msi");
   ASSERT_EQ(list.size(), 2u);
   EXPECT_EQ(list[0].path, "C:\\x\\other.msi");
   EXPECT_FALSE(list[0].isPackage);
   EXPECT_EQ(list[1].path, "C:\\x\\TOOLS.MSI");
   EXPECT_TRUE(list[1].isPackage);

   // Cached copy elsewhere: appended after the folder's files.
   list = Signature_PackageList("C:\\x", {"tools.msi"}, "C:\\cache\\{A}.msi");
   ASSERT_EQ(list.size(), 2u);
   EXPECT_EQ(list[0].path, "C:\\x\\tools.msi");
   EXPECT_FALSE(list[0].isPackage);
   EXPECT_EQ(list[1].path, "C:\\cache\\{A}.msi");
   EXPECT_TRUE(list[1].isPackage);
}
