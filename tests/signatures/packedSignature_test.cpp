// The signature check as a user meets it: packed launchers signed in the release order (package,
// pack, launcher) run as their own processes, silently and with a person answering the question.
// Each run is judged by its real exit code, its log and what Windows Installer has installed.
//   signature_e2e_test MSI_FIXTURES SETUP_EXE SIGNED_LAUNCHERS ARTIFACTS
#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "apps/install/setup/ui/messages.h"
#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

constexpr wchar_t kBoxTitle[] = L"Tessix Product Installation";
constexpr DWORD kRefused = 13;
// A silent run without the VC runtime stage; the package's own UI off.
constexpr char kSilent[] = "/s /n /v\"/qn\"";
constexpr char kWithAPerson[] = "/n /v\"/qn\"";

std::string CachedPackage()
{
   wchar_t common[MAX_PATH] = L"";
   SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, common);
   return Win32U_Utf8(common) + "\\Tessix\\TessixToolsInstallerCache\\" + std::string(kToolsCode) + ".msi";
}

class PackedSignatures : public InstallerTest
{
 protected:
   void SetUp() override
   {
      InstallerTest::SetUp();
      SetArtifactFolder(TestArg(4));
      Win32U_DeleteFile(CachedPackage().c_str());
   }
   void TearDown() override
   {
      Win32U_DeleteFile(CachedPackage().c_str());
      InstallerTest::TearDown();
   }
   static std::string Launcher(const std::string& name) { return WinePath(TestArg(3)) + "\\" + name + "\\setup.exe"; }
   LauncherRun Run(const std::string& name, const std::string& arguments)
   {
      LauncherOptions options;
      options.image = Launcher(name);
      options.arguments = arguments;
      ScratchDir temp("sigrun");
      return RunLauncher(options, temp);
   }
};

struct SilentCase {
   const char* launcher;
   DWORD exitCode;
   std::vector<std::string> lines;  // log texts that must appear, in this order
   std::vector<std::string> absent; // log texts that must not appear
};

} // namespace

TEST_F(PackedSignatures, SilentRuns)
{
   // The launcher's own path as the check logs it, before the verdict.
   const auto self = [](const char* name) { return Launcher(name) + " - "; };
   // clang-format off
   const SilentCase cases[] = {
      // Nothing signed, every question on: refused without a box.
      {"unsigned", kRefused,
       {self("unsigned") + "NoSignatureFound", "VerifyPackageSignature() returned: 1", "Setup exit code is: 13"},
       {"Verifying", "DisplayMessageBox", "InstallProduct()"}},
      // TXIOPTION "one": both findings are logged and the install goes on.
      {"option", 0,
       {self("option") + "NoSignatureFound", "tools.msi is Tessix's App - continue verification",
        "tools.msi - NoSignatureFound", "VerifyPackageSignature() returned: 0", "InstallProduct() returned: 0"},
       {"DisplayMessageBox"}},
      // Launcher and package signed with one certificate.
      {"same", 0,
       {self("same") + "Trusted", "tools.msi - Trusted", "VerifyPackageSignature() returned: 0",
        "InstallProduct() returned: 0", "Setup exit code is: 0"},
       {"certificates are different"}},
      // The package signed with another certificate.
      {"other", kRefused,
       {self("other") + "Trusted", "tools.msi - Trusted", "tools.msi certificates are different",
        "VerifyPackageSignature() returned: 1", "Setup exit code is: 13"},
       {"InstallProduct()"}},
      // One byte of the launcher changed after it was signed (in its DOS stub, which nothing
      // runs): the launcher itself no longer verifies.
      {"altered", kRefused,
       {self("altered") + "NotTrusted", "VerifyPackageSignature() returned: 1"},
       {"Verifying", "InstallProduct()"}},
      // CACHEMSI: the extracted package and the cached copy are both examined.
      {"cached", 0,
       {"MSI cached as: ", self("cached") + "Trusted", "tools.msi - Trusted", "5E01}.msi - Trusted",
        "InstallProduct() returned: 0"},
       {}},
      // The tools style makes no check at all.
      {"tools", 0, {"Performing Tessix Tools style install/upgrade", "InstallProduct() returned: 0"},
       {"VerifyPackageSignature"}},
   };
   // clang-format on
   for (const SilentCase& c : cases) {
      SCOPED_TRACE(c.launcher);
      const LauncherRun run = Run(c.launcher, kSilent);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      EXPECT_EQ(ProductState(kToolsCode), c.exitCode == 0 ? INSTALLSTATE_DEFAULT : INSTALLSTATE_UNKNOWN);
      ExpectLinesInOrder(run.log, c.lines);
      for (const std::string& text : c.absent) {
         EXPECT_FALSE(HasLine(run.log, text)) << "\"" << text << "\" logged\n" << run.log;
      }
      RemoveFixtureProducts();
   }
}

TEST_F(PackedSignatures, PatchOnlyPayloadIsExaminedNotRefused)
{
   // The payload holds a signed patch and no product package: the check examines the patch and
   // hands it on (Windows Installer then finds that the stand-in is no real patch).
   const LauncherRun run = Run("patch", kSilent);
   EXPECT_NE(run.exitCode, kRefused) << run.log;
   ExpectLinesInOrder(run.log, {Launcher("patch") + " - Trusted", "Can't find any .msi files",
                                "tools.msp is Tessix's App - continue verification", "tools.msp - Trusted",
                                "VerifyPackageSignature() returned: 0",
                                "Calling MsiApplyPatch with:", "Setup exit code is: " + std::to_string(run.exitCode)});
}

TEST_F(PackedSignatures, QuestionAnsweredByAPerson)
{
   // The unsigned launcher asks message 53 while its progress window is up. Yes decides the
   // whole check and the product is installed; No stops the run with the refusal's code.
   const std::string question = LoadMessageAlloc(resources_, 53).value_or("(missing)");
   struct Case {
      int button;
      DWORD exitCode;
      int state;
      const char* shot;
   } cases[] = {
       {IDYES, 0, INSTALLSTATE_DEFAULT, "signature-question-yes"},
       {IDNO, kRefused, INSTALLSTATE_UNKNOWN, "signature-question-no"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.shot);
      BoxPresser presser(kBoxTitle, c.button, c.shot);
      const LauncherRun run = Run("unsigned", kWithAPerson);
      const SeenBox& seen = presser.Join();
      EXPECT_NE(seen.box, nullptr) << "no question was put";
      EXPECT_EQ(seen.text, question);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      EXPECT_EQ(ProductState(kToolsCode), c.state);
      EXPECT_TRUE(HasLine(run.log, "DisplayMessageBox: \"Tessix Product Installation\" - \"" + question + "\""));
      EXPECT_FALSE(HasLine(run.log, "Verifying")) << "the launcher's finding decides the whole check";
      RemoveFixtureProducts();
   }
}
