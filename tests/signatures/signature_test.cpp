// The signature check against real files signed at build time with osslsigncode, under Wine's
// real WinVerifyTrust. The verdicts Wine cannot give are put behind the real call through the
// WinTrust table the check takes: an untrusted root (Wine trusts any well-formed signature) and
// the digest of an altered package (Wine checks the digest of programs, not of packages).
//   signature_test FIXTURE_DIR SETUP_EXE
#include "apps/install/setup/signature.h"

#include <gtest/gtest.h>

#include <softpub.h>

#include <atomic>
#include <thread>
#include <vector>

#include "apps/install/setup/fileSummary.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/gui/driver.h"
#include "tests/unit/testSupport.h"

namespace
{

constexpr char kTitle[] = "Tessix Tools Setup (signature test)";
constexpr LONG kUntrustedRoot = static_cast<LONG>(0x800B0109);
constexpr LONG kBadDigest = static_cast<LONG>(0x80096010);

std::string Fixture(const std::string& name)
{
   return WinePath(TestArg(1)) + "\\" + name;
}

std::wstring WideFixture(const std::string& name)
{
   return Win32U_Wide(Fixture(name));
}

// A stand-in that asks the real WinVerifyTrust and then, for the files named, gives the verdict
// Windows would give: an untrusted root for a signature from a root the machine does not trust,
// a bad digest for a package altered after signing.
struct Verdict {
   const wchar_t* fileName;
   LONG status;
};
struct VerdictSeam {
   static std::vector<Verdict> verdicts;
   static int verifies;
   static int closes;

   static LONG WINAPI Verify(HWND window, GUID* action, void* data)
   {
      auto* trust = static_cast<WINTRUST_DATA*>(data);
      const LONG real = SigLib_Wintrust().winVerifyTrust(window, action, data);
      if (trust->dwStateAction == WTD_STATEACTION_CLOSE) {
         closes++;
         return real;
      }
      verifies++;
      const std::wstring path = trust->pFile->pcwszFilePath;
      for (const Verdict& verdict : verdicts) {
         const std::wstring name = verdict.fileName;
         if (path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0) {
            return verdict.status;
         }
      }
      return real;
   }

   static WintrustApi Table()
   {
      WintrustApi api = SigLib_Wintrust();
      api.winVerifyTrust = &Verify;
      return api;
   }
};
std::vector<Verdict> VerdictSeam::verdicts;
int VerdictSeam::verifies = 0;
int VerdictSeam::closes = 0;

LONG WINAPI ProviderUnknown(HWND, GUID*, void*)
{
   return static_cast<LONG>(0x800B0001);
}

// Answers the check's message boxes as a person would, one after the other: reads each box's
// text, presses the next scripted button (No once the script is used up) and waits for the box
// to close before it looks for the next.
class BoxAnswerer
{
 public:
   explicit BoxAnswerer(std::vector<int> answers) : answers_(std::move(answers))
   {
      thread_ = std::thread([this] { Run(); });
   }
   ~BoxAnswerer() { Stop(); }
   const std::vector<std::string>& Stop()
   {
      stop_ = true;
      if (thread_.joinable()) {
         thread_.join();
      }
      return seen_;
   }

 private:
   void Run()
   {
      constexpr int kMessageTextId = 0xFFFF;
      const std::wstring title = Win32U_Wide(kTitle);
      size_t next = 0;
      while (!stop_) {
         HWND box = FindWindowW(L"#32770", title.c_str());
         if (box == nullptr || !IsWindowVisible(box)) {
            Sleep(20);
            continue;
         }
         seen_.push_back(WindowText(GetDlgItem(box, kMessageTextId)));
         ClickButton(box, next < answers_.size() ? answers_[next++] : IDNO);
         WaitUntil([box] { return !IsWindow(box); });
      }
   }

   std::vector<int> answers_;
   std::vector<std::string> seen_;
   std::atomic<bool> stop_{false};
   std::thread thread_;
};

class Signatures : public UiTest
{
 protected:
   Signatures() : UiTest("sig") {}
   void SetUp() override
   {
      UiTest::SetUp();
      module_ = LoadLibraryExW(Win32U_Wide(WinePath(TestArg(2))).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
      ASSERT_NE(module_, nullptr);
   }
   void TearDown() override
   {
      silentFlag = nullptr;
      VerdictSeam::verdicts.clear();
      FreeLibrary(module_);
      UiTest::TearDown();
   }
   std::string Message(UINT id) const { return LoadMessageAlloc(module_, id).value_or("(missing)"); }

   HMODULE module_ = nullptr;
};

} // namespace

TEST_F(Signatures, WinVerifyTrustVerdictsOnRealFiles)
{
   struct Case {
      const char* file;
      SignatureCheckResult result;
      const char* status; // as CheckFileTrust logs it
   } cases[] = {
       {"launcher-unsigned.exe", SignatureCheckResult::NoSignatureFound, "0x800B0100"},
       {"launcher-signed.exe", SignatureCheckResult::Trusted, "0x00000000"},
       {"launcher-packed.exe", SignatureCheckResult::Trusted, "0x00000000"}, // payload appended, then signed
       {"launcher-altered.exe", SignatureCheckResult::NotTrusted, "0x80096010"},
       {"launcher-packed-altered.exe", SignatureCheckResult::NotTrusted, "0x80096010"}, // the payload is covered
       {"launcher-appended.exe", SignatureCheckResult::NoSignatureFound, "0x800B0100"},
       {"package-signed.msi", SignatureCheckResult::Trusted, "0x00000000"},
       {"package-unsigned.msi", SignatureCheckResult::NoSignatureFound, "0x800B0100"},
   };
   for (const auto& c : cases) {
      UniqueCertContext certificate;
      EXPECT_EQ(CheckFileTrust(WideFixture(c.file).c_str(), &certificate), c.result) << c.file;
      EXPECT_EQ(static_cast<bool>(certificate), c.result == SignatureCheckResult::Trusted) << c.file;
      const auto lines = SplitLines(Log());
      ASSERT_FALSE(lines.empty());
      EXPECT_NE(lines.back().find(std::string("CheckFileTrust: WinVerifyTrust returned ") + c.status),
                std::string::npos)
          << c.file << ": " << lines.back();
   }
   EXPECT_EQ(CheckFileTrust(WideFixture("launcher-signed.exe").c_str(), nullptr), SignatureCheckResult::InvalidArg);
}

TEST_F(Signatures, SignerCertificatesCompareByPublisher)
{
   UniqueCertContext launcher, package, other;
   ASSERT_EQ(CheckFileTrust(WideFixture("launcher-packed.exe").c_str(), &launcher), SignatureCheckResult::Trusted);
   ASSERT_EQ(CheckFileTrust(WideFixture("package-signed.msi").c_str(), &package), SignatureCheckResult::Trusted);
   ASSERT_EQ(CheckFileTrust(WideFixture("package-other.msi").c_str(), &other), SignatureCheckResult::Trusted);
   wchar_t name[256] = L"";
   CertGetNameStringW(launcher.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
   EXPECT_EQ(Win32U_Utf8(name), "Tessix, Inc. (test)") << "the signer, not the root";
   const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
   EXPECT_TRUE(CertCompareCertificate(encoding, launcher.get()->pCertInfo, package.get()->pCertInfo));
   EXPECT_FALSE(CertCompareCertificate(encoding, launcher.get()->pCertInfo, other.get()->pCertInfo));
}

TEST_F(Signatures, VerdictsWineCannotGiveBehindTheSeam)
{
   // An untrusted root: the real call succeeds, the policy says no; no certificate, state closed.
   VerdictSeam::verdicts = {{L"launcher-signed.exe", kUntrustedRoot}};
   VerdictSeam::verifies = VerdictSeam::closes = 0;
   UniqueCertContext certificate;
   EXPECT_EQ(CheckFileTrustWith(VerdictSeam::Table(), WideFixture("launcher-signed.exe").c_str(), &certificate),
             SignatureCheckResult::NotTrusted);
   EXPECT_FALSE(certificate);
   EXPECT_EQ(CheckFileTrustWith(VerdictSeam::Table(), WideFixture("launcher-altered.exe").c_str(), &certificate),
             SignatureCheckResult::NotTrusted);
   EXPECT_EQ(VerdictSeam::verifies, 2);
   EXPECT_EQ(VerdictSeam::closes, 2) << "the trust state is released whatever the verdict";

   WintrustApi unknown = SigLib_Wintrust();
   unknown.winVerifyTrust = &ProviderUnknown;
   EXPECT_EQ(CheckFileTrustWith(unknown, WideFixture("launcher-signed.exe").c_str(), &certificate),
             SignatureCheckResult::WintrustNotOnMachine);
   EXPECT_EQ(CheckFileTrustWith(WintrustApi{}, WideFixture("launcher-signed.exe").c_str(), &certificate),
             SignatureCheckResult::WintrustNotOnMachine)
       << "wintrust.dll that cannot be bound";
}

TEST_F(Signatures, VendorFromVersionInformation)
{
   struct Case {
      const char* vendor;
      std::string path;
      bool holds;
      std::string line;
   } cases[] = {
       {"Tessix", Fixture("launcher-signed.exe"), true,
        "IsVendorAppFromVersionInfo: Get vendor name found from Version Info : CompanyName: Tessix, Inc."},
       {"tessix tools", Fixture("launcher-unsigned.exe"), true, "Version Info : ProductName: Tessix Tools"},
       {"Tessix", Win32U_GetSystemDirectory() + "\\notepad.exe", false,
        "IsVendorAppFromVersionInfo: Cannot get vendor name - Can't find the specified vendor"},
       {"Tessix", Fixture("package-signed.msi"), false, "Can't find the specified vendor"}, // no version resource
       {"Tessix", Fixture("missing.exe"), false,
        "Cannot get vendor name - '" + Fixture("missing.exe") + "' does not exist"},
       {"Tessix", "", false, "IsVendorAppFromVersionInfo: Nothing to be done. Empty filename string."},
       {"", Fixture("launcher-signed.exe"), false,
        "IsVendorAppFromVersionInfo: Nothing to be done. Empty vendor name string."},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(IsVendorAppFromVersionInfo(c.vendor, c.path.c_str()), c.holds) << c.path;
      const auto lines = SplitLines(Log());
      ASSERT_FALSE(lines.empty());
      EXPECT_NE(lines.back().find(c.line), std::string::npos) << lines.back();
   }
}

TEST_F(Signatures, VendorFromSummaryInformation)
{
   FileSummary summary;
   ASSERT_EQ(summary.Read(Fixture("package-signed.msi").c_str()), S_OK);
   EXPECT_EQ(summary.Get(PIDSI_AUTHOR), "Tessix, Inc.");
   EXPECT_EQ(summary.Get(PIDSI_SUBJECT), "Tessix Tools package");
   EXPECT_EQ(summary.Get(PIDSI_TITLE), "Installation Database");
   EXPECT_EQ(summary.Get(PIDSI_PAGECOUNT), "200");
   EXPECT_EQ(summary.Get(1), "") << "only the properties 2 to 19 are kept";

   EXPECT_TRUE(IsVendorAppFromSummaryInfo("TESSIX", Fixture("package-signed.msi").c_str()));
   EXPECT_NE(Log().find("IsVendorAppFromSummaryInfo: Get vendor name found from Summary Info"), std::string::npos);
   EXPECT_FALSE(IsVendorAppFromSummaryInfo("Tessix", Fixture("other-vendor.msi").c_str()));
   EXPECT_NE(Log().find("IsVendorAppFromSummaryInfo: Get vendor name not found from Summary Info"), std::string::npos);
   EXPECT_FALSE(IsVendorAppFromSummaryInfo("Tessix", Fixture("launcher-signed.exe").c_str()));
   EXPECT_NE(Log().find("IsVendorAppFromSummaryInfo: Unable to retrieve Summary Info from " +
                        Fixture("launcher-signed.exe") + ": "),
             std::string::npos);
}

namespace
{

struct Scenario {
   const char* name;
   const char* launcher;
   std::vector<std::pair<const char*, const char*>> folder; // fixture, name in the extraction folder
   const char* cached; // the cached copy the package path names, or nullptr for the extracted one
   const char* option;
   bool silent;
   std::vector<Verdict> verdicts; // what Windows would say where Wine cannot
   std::vector<int> answers;      // buttons pressed, in a run with a person
   int expected;
   std::vector<UINT> boxes;         // the questions put, in order
   std::vector<const char*> lines;  // log texts that must appear
   std::vector<const char*> absent; // log texts that must not appear
};

const char kPackage[] = "tools.msi";
const char kProductCode[] = "{6E9C1E44-0D43-4C39-9A53-0E4C7B1A2F01}.msi";

// One row per run of the check; the columns follow Scenario's fields.
// clang-format off
std::vector<Scenario> Scenarios()
{
   const std::vector<std::pair<const char*, const char*>> signedPackage = {{"package-signed.msi", kPackage}};
   return {
      {"unsigned launcher, silent: refused without a box",
       "launcher-unsigned.exe", signedPackage, nullptr, "", true, {}, {}, 1, {},
       {"launcher-unsigned.exe\": 1", "launcher-unsigned.exe - NoSignatureFound"},
       {"Verifying", "DisplayMessageBox", "PickButton"}},
      {"TXIOPTION one: every finding logged, the install goes on",
       "launcher-unsigned.exe",
       {{"package-other.msi", "a.msi"}, {"package-altered.msi", "b.msi"}, {"package-unsigned.msi", kPackage}},
       nullptr, "one", true, {{L"b.msi", kBadDigest}}, {}, 0, {},
       {"launcher-unsigned.exe - NoSignatureFound", "a.msi - Trusted",
        "Unable to retrieve at least one of the certificates", "b.msi - NotTrusted", "tools.msi - NoSignatureFound"},
       {"DisplayMessageBox"}},
      {"launcher and package from the same publisher",
       "launcher-packed.exe", signedPackage, nullptr, "", true, {}, {}, 0, {},
       {"launcher-packed.exe - Trusted", "tools.msi is Tessix's App", "tools.msi - Trusted"},
       {"certificates are different", "DisplayMessageBox"}},
      {"package from another publisher, silent",
       "launcher-signed.exe", {{"package-other.msi", kPackage}}, nullptr, "", true, {}, {}, 1, {},
       {"tools.msi - Trusted", "launcher-signed.exe-", "tools.msi certificates are different"},
       {"DisplayMessageBox"}},
      {"package altered after signing, silent",
       "launcher-signed.exe", {{"package-altered.msi", kPackage}}, nullptr, "", true,
       {{L"tools.msi", kBadDigest}}, {}, 1, {},
       {"returned 0x80096010", "tools.msi - NotTrusted"}, {}},
      {"unsigned package, silent",
       "launcher-signed.exe", {{"package-unsigned.msi", kPackage}}, nullptr, "", true, {}, {}, 1, {},
       {"tools.msi - NoSignatureFound"}, {}},
      {"launcher altered after signing, silent",
       "launcher-packed-altered.exe", signedPackage, nullptr, "", true, {}, {}, 1, {},
       {"launcher-packed-altered.exe - NotTrusted"}, {"Verifying"}},
      {"another vendor's package in the folder is skipped",
       "launcher-signed.exe", {{"other-vendor.msi", "contoso.msi"}, {"package-signed.msi", kPackage}},
       nullptr, "", true, {}, {}, 0, {},
       {"contoso.msi is not a Tessix's App - skipping", "tools.msi - Trusted"},
       {"contoso.msi - ", "DisplayMessageBox"}},
      {"a package hiding the vendor's name is checked all the same",
       "launcher-signed.exe", {{"other-vendor.msi", kPackage}}, nullptr, "", true, {}, {}, 1, {},
       {"tools.msi is the package to install - continue verification", "tools.msi - NoSignatureFound"}, {}},
      {"CACHEMSI: the extracted package and its cached copy",
       "launcher-signed.exe", signedPackage, "package-signed.msi", "", true, {}, {}, 0, {},
       {"tools.msi - Trusted", "F01}.msi - Trusted"}, {}},
      {"CACHEMSI: a cached copy from another publisher",
       "launcher-signed.exe", signedPackage, "package-other.msi", "", true, {}, {}, 1, {},
       {"tools.msi - Trusted", "F01}.msi certificates are different"}, {}},
      {"no package in the folder, silent",
       "launcher-signed.exe", {}, "package-signed.msi", "", true, {}, {}, 1, {},
       {"VerifyPackageSignature: Can't find any .msi files"}, {"Verifying", "Error searching"}},
      {"untrusted root on the package, silent",
       "launcher-signed.exe", signedPackage, nullptr, "", true, {{L"tools.msi", kUntrustedRoot}}, {}, 1, {},
       {"returned 0x800B0109", "tools.msi - NotTrusted"}, {}},
      {"untrusted root on the launcher, silent",
       "launcher-signed.exe", signedPackage, nullptr, "", true, {{L"launcher-signed.exe", kUntrustedRoot}}, {}, 1, {},
       {"launcher-signed.exe - NotTrusted"}, {"Verifying"}},

      // With a person to answer. The cached copy comes after the folder's files, whatever order
      // the folder lists them in.
      {"another publisher: No ends the check",
       "launcher-signed.exe", {{"package-other.msi", kPackage}}, nullptr, "", false, {}, {IDNO}, 1, {56},
       {"certificates are different"}, {}},
      {"another publisher: Yes goes on with the next package",
       "launcher-signed.exe", {{"package-other.msi", kPackage}}, "package-unsigned.msi", "", false, {},
       {IDYES, IDNO}, 1, {56, 53},
       {"tools.msi certificates are different", "F01}.msi - NoSignatureFound"}, {}},
      {"Yes to every finding",
       "launcher-signed.exe", {{"package-other.msi", kPackage}}, "package-altered.msi", "", false,
       {{L"F01}.msi", kBadDigest}}, {IDYES, IDYES}, 0, {56, 54}, {}, {}},
      {"unsigned launcher: Yes decides the whole check",
       "launcher-unsigned.exe", {{"package-unsigned.msi", kPackage}}, nullptr, "", false, {}, {IDYES}, 0, {53},
       {}, {"Verifying"}},
      {"untrusted root on the package: No",
       "launcher-signed.exe", signedPackage, nullptr, "", false, {{L"tools.msi", kUntrustedRoot}}, {IDNO}, 1, {54},
       {"tools.msi - NotTrusted"}, {}},
   };
}
// clang-format on

} // namespace

TEST_F(Signatures, VerifyPackageSignatureScenarios)
{
   for (const Scenario& s : Scenarios()) {
      SCOPED_TRACE(s.name);
      Inst_ResetLoggingForTest();
      RemoveTree(logDir_ / "txinst.log");
      Inst_SetupLogging("test", "t", nullptr, nullptr);
      ScratchDir extraction("ext");
      ScratchDir cache("cache");
      for (const auto& [fixture, name] : s.folder) {
         ASSERT_TRUE(Win32U_CopyFile(Fixture(fixture).c_str(), (extraction / name).c_str(), FALSE));
      }
      std::string packagePath = extraction / kPackage;
      if (s.cached != nullptr) {
         packagePath = cache / kProductCode;
         ASSERT_TRUE(Win32U_CopyFile(Fixture(s.cached).c_str(), packagePath.c_str(), FALSE));
      }
      bool silent = s.silent;
      silentFlag = &silent; // as the main flow sets it from /s
      VerdictSeam::verdicts = s.verdicts;

      BoxAnswerer answerer(s.answers);
      const std::string folder = extraction.path() + "\\";
      const int answer =
          s.verdicts.empty()
              ? VerifyPackageSignature(Fixture(s.launcher), packagePath, folder, s.option, s.silent, module_, kTitle)
              : VerifyPackageSignatureWith(VerdictSeam::Table(), Fixture(s.launcher), packagePath, folder, s.option,
                                           s.silent, module_, kTitle);
      const auto& seen = answerer.Stop();
      EXPECT_EQ(answer, s.expected);

      ASSERT_EQ(seen.size(), s.boxes.size());
      for (size_t i = 0; i < seen.size(); i++) {
         EXPECT_EQ(seen[i], Message(s.boxes[i])) << "box " << i << " should ask message " << s.boxes[i];
      }
      const std::string log = Log();
      for (const char* text : s.lines) {
         EXPECT_NE(log.find(text), std::string::npos) << s.name << ": \"" << text << "\" not logged\n" << log;
      }
      for (const char* text : s.absent) {
         EXPECT_EQ(log.find(text), std::string::npos) << s.name << ": \"" << text << "\" logged\n" << log;
      }
   }
}

TEST_F(Signatures, FolderThatCannotBeSearched)
{
   // Message 52 is put for the failed search and again for the empty list.
   ScratchDir cache("cache");
   const std::string packagePath = cache / kProductCode;
   ASSERT_TRUE(Win32U_CopyFile(Fixture("package-signed.msi").c_str(), packagePath.c_str(), FALSE));
   const std::string missing = cache / "no-such-folder\\";

   BoxAnswerer answerer({IDYES, IDYES});
   EXPECT_EQ(VerifyPackageSignature(Fixture("launcher-signed.exe"), packagePath, missing, "", false, module_, kTitle),
             0);
   const auto& seen = answerer.Stop();
   ASSERT_EQ(seen.size(), 2u);
   EXPECT_EQ(seen[0], Message(52));
   EXPECT_EQ(seen[1], Message(52));
   {
      SCOPED_TRACE("search");
      ExpectLinesInOrder(Log(), {"Error searching .msi files", "Can't find any .msi files"});
   }

   bool silent = true;
   silentFlag = &silent;
   EXPECT_EQ(VerifyPackageSignature(Fixture("launcher-signed.exe"), packagePath, missing, "", true, module_, kTitle),
             1);
   EXPECT_EQ(VerifyPackageSignature("C:\\bad\xff.exe", packagePath, missing, "one", true, module_, kTitle), 1)
       << "a path that is not UTF-8 is refused";
   EXPECT_NE(Log().find("VerifyPackageSignature: Failed to convert C:\\bad\xff.exe to wide char"), std::string::npos);
}

TEST_F(Signatures, PackageBeyondTheListLimitIsStillChecked)
{
   // The folder's list stops at 256 names; the package (here its cached copy) is examined all
   // the same.
   ScratchDir extraction("many");
   ScratchDir cache("cache");
   for (int i = 0; i < 300; i++) {
      ASSERT_TRUE(WriteTextFile(extraction / ("junk" + std::to_string(i) + ".msi"), "not a package"));
   }
   const std::string packagePath = cache / kProductCode;
   ASSERT_TRUE(Win32U_CopyFile(Fixture("package-unsigned.msi").c_str(), packagePath.c_str(), FALSE));
   bool silent = true;
   silentFlag = &silent;
   EXPECT_EQ(VerifyPackageSignature(Fixture("launcher-signed.exe"), packagePath, extraction.path() + "\\", "", true,
                                    module_, kTitle),
             1);
   const std::string log = Log();
   EXPECT_NE(log.find("WARNING: Verify: Get than 256 .msi files to process"), std::string::npos);
   EXPECT_NE(log.find("F01}.msi - NoSignatureFound"), std::string::npos);
}

TEST_F(Signatures, PatchRunExaminesThePatch)
{
   // A patch's payload holds no "*.msi": the patch is examined in its place, never waved
   // through or refused for the missing product package.
   struct Case {
      const char* fixture;
      bool silent;
      std::vector<int> answers;
      int expected;
      std::vector<UINT> boxes;
      const char* line;
   };
   const Case cases[] = {
       {"package-signed.msi", true, {}, 0, {}, "tools.msp - Trusted"},
       {"package-unsigned.msi", true, {}, 1, {}, "tools.msp - NoSignatureFound"},
       {"package-unsigned.msi", false, {IDNO}, 1, {53}, "tools.msp - NoSignatureFound"},
       {"package-other.msi", false, {IDYES}, 0, {56}, "tools.msp certificates are different"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.fixture) + (c.silent ? ", silent" : ", with a person"));
      Inst_ResetLoggingForTest();
      RemoveTree(logDir_ / "txinst.log");
      Inst_SetupLogging("test", "t", nullptr, nullptr);
      ScratchDir extraction("patch");
      const std::string patch = extraction / "tools.msp";
      ASSERT_TRUE(Win32U_CopyFile(Fixture(c.fixture).c_str(), patch.c_str(), FALSE));
      bool silent = c.silent;
      silentFlag = &silent;

      BoxAnswerer answerer(c.answers);
      EXPECT_EQ(VerifyPackageSignature(Fixture("launcher-signed.exe"), patch, extraction.path() + "\\", "", c.silent,
                                       module_, kTitle, PackageKind::Patch),
                c.expected);
      const auto& seen = answerer.Stop();
      ASSERT_EQ(seen.size(), c.boxes.size());
      for (size_t i = 0; i < seen.size(); i++) {
         EXPECT_EQ(seen[i], Message(c.boxes[i]));
      }
      EXPECT_NE(Log().find(c.line), std::string::npos) << Log();
   }
}
