// The shipped arm64 image under arm64 Wine. Launchers packed around it by the x64 txpack run as a
// deployment tool runs them, started by this arm64 driver, which reads their whole exit code;
// each run is judged by that code, its log, what is left on the disk and what Windows Installer
// reports. Wine has no hypervisor, so every host line meets the arm64 probe on what is, to the
// launcher, hardware without one; a test image whose hypervisor call goes to the host simulator
// instead shows what the host hears from an arm64 launcher.
//   arm64_runs_test MSI_FIXTURES SETUP_EXE LAUNCHERS ARTIFACTS HOSTSIM
#include <windows.h>

#include <msi.h>

#include <string>
#include <thread>
#include <vector>

#include "apps/install/setup/ui/messages.h"
#include "resources/resource.h"
#include "tests/e2e/folderSwapper.h"
#include "tests/e2e/payloadDamage.h"
#include "tests/e2e/runSupport.h"
#include "tests/e2e/sampleProduct.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/prereq/prereqSupport.h"
#include "tests/rpc/hostLogKey.h"
#include "tests/rpc/hostSimProcess.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

constexpr wchar_t kTitle[] = L"Tessix Product Installation";
constexpr char kSilentInstall[] = "/s /v\"/qn REBOOT=ReallySuppress\"";
// The test product's launchers carry no runtime installer.
constexpr char kSilentWithoutRuntime[] = "/s /n /v\"/qn\"";
constexpr char kNotInAVm[] = "Failed to send rpc, because we are not in a VM";

class Arm64Run : public InstallerTest
{
 protected:
   void SetUp() override
   {
      InstallerTest::SetUp();
      RemoveSample();
      SetArtifactFolder(TestArg(4));
   }
   void TearDown() override
   {
      RemoveSample();
      InstallerTest::TearDown();
   }

   static std::string Launcher(const std::string& name) { return WinePath(TestArg(3)) + "\\" + name + "\\setup.exe"; }
   static std::string PayloadFile(const std::string& name) { return WinePath(TestArg(3)) + "\\payload\\" + name; }

   // `exitCodes`: the runtime stand-in's exit code, "<file name>=<code>".
   LauncherRun Run(const std::string& image, const std::string& arguments, const ScratchDir& temp,
                   const std::string& exitCodes = "")
   {
      LauncherOptions options;
      options.image = image;
      options.arguments = arguments;
      options.environment = {{"TX_STANDIN_LOG", standIns_}, {"TX_STANDIN_EXITCODES", exitCodes}};
      options.timeoutMs = 120000; // emulated: a run takes seconds, several times x64 Wine's
      return RunLauncher(options, temp);
   }
   std::vector<std::string> StandInRuns() const { return SplitLines(ReadTextFile(standIns_)); }

   ScratchDir records_{"records"};
   std::string standIns_ = records_ / "standins.log";
};

using Arm64Install = Arm64Run;
using Arm64Unpack = Arm64Run;
using Arm64Refusals = Arm64Run;
using Arm64Signatures = Arm64Run;
using Arm64OnScreen = Arm64Run;
using Arm64HostLines = Arm64Run;

bool HasExtractionFolder(const LauncherRun& run)
{
   for (const auto& name : run.tempFiles) {
      if (name == kExtractionFolder) {
         return true;
      }
   }
   return false;
}

// The host lines of a run, each as the launcher logged it before sending; a line that was not
// then refused as "not in a VM" is marked, so that a comparison shows it.
std::vector<std::string> RefusedHostLines(const std::string& log)
{
   const std::string sending = "Sending rpc command '";
   const std::string toHost = "' to the host";
   const std::vector<std::string> lines = SplitLines(log);
   std::vector<std::string> commands;
   for (size_t i = 0; i < lines.size(); i++) {
      const size_t start = lines[i].find(sending);
      const size_t end = lines[i].rfind(toHost);
      if (start == std::string::npos || end == std::string::npos || end < start + sending.size()) {
         continue;
      }
      std::string command = lines[i].substr(start + sending.size(), end - start - sending.size());
      if (i + 1 >= lines.size() || lines[i + 1].find(kNotInAVm) == std::string::npos) {
         command = "(not refused) " + command;
      }
      commands.push_back(command);
   }
   return commands;
}

// The log from the launcher's own logging on (tag "BootStrapper-build-"), where forwarding to
// the host starts.
std::vector<std::string> TaggedLines(const std::string& log)
{
   std::vector<std::string> lines = SplitLines(log);
   lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(FirstTaggedLine(lines)));
   DropArchiveNotes(lines);
   return lines;
}

} // namespace

// The shipped configuration: the arm64 runtime stand-in runs before the product, and each of
// the run's host lines meets the probe, which finds no hypervisor and does not crash. Under qemu
// the probe's debug-register read passes unseen (the registers come back unchanged); in the
// other two images it raises an exception, which the probe's guard must step over.
TEST_F(Arm64Install, SilentInstallOfTheSample)
{
   const std::vector<std::string> hostLines = SampleInstallHostLines(kSilentInstall);
   for (const char* launcher : {"sample", "sample-trapping", "sample-faulting"}) {
      SCOPED_TRACE(launcher);
      ScratchDir temp("sample");
      ScratchDir records("standins");
      standIns_ = records / "standins.log";
      const LauncherRun run = Run(Launcher(launcher), kSilentInstall, temp);
      EXPECT_EQ(run.exitCode, 0u) << run.log;
      EXPECT_TRUE(SampleInstalled());
      EXPECT_EQ(StandInRuns(), std::vector<std::string>{"vcredist_arm64.exe|\"" + (temp / kExtractionFolder) +
                                                        "\\vcredist_arm64.exe\"  /Q /norestart"});
      ExpectLinesInOrder(run.log, {"I0: Performing Tessix Tools style install/upgrade",
                                   "I0: ** InstallVCRedist [vcredist_arm64.exe][ /Q /norestart]",
                                   "I0: InstallProduct() returned: 0", "I0: Setup exit code is: 0"});
      EXPECT_EQ(RefusedHostLines(run.log), hostLines);
      EXPECT_FALSE(HasExtractionFolder(run)) << "the extraction folder is cleaned up";
      EXPECT_EQ(run.logName.find("_Failed"), std::string::npos) << run.logName;
      RemoveSample();
   }
}

// A program of the user renames the extraction folder, then its first file, the moment that
// file is complete: the launcher holds both, so both renames fail and it installs its own bytes.
TEST_F(Arm64Install, TheExtractionFolderSwappedTheMomentItsFirstFileIsComplete)
{
   ScratchDir temp("swap");
   Swapper swapper(temp.path(), "Tessix Tools.msi", FileSize(PayloadFile("Tessix Tools.msi")));
   const LauncherRun run = Run(Launcher("sample"), kSilentInstall, temp);
   ExpectTheSwapRefused(swapper, run);
   EXPECT_EQ(StandInRuns(), std::vector<std::string>{"vcredist_arm64.exe|\"" + (temp / kExtractionFolder) +
                                                     "\\vcredist_arm64.exe\"  /Q /norestart"});
   EXPECT_FALSE(HasExtractionFolder(run)) << "the extraction folder is cleaned up";
}

// The stand-in's restart request crosses two arm64 processes whole: 3010 does not fit in the
// eight bits a Linux exit status keeps.
TEST_F(Arm64Install, ARuntimeThatAsksForARestartStopsBeforeTheProduct)
{
   ScratchDir temp("restart");
   const LauncherRun run = Run(Launcher("sample"), kSilentInstall, temp, "vcredist_arm64.exe=3010");
   EXPECT_EQ(run.exitCode, 3010u) << run.log;
   EXPECT_FALSE(SampleInstalled());
   ExpectLinesInOrder(run.log, {"I0: vc redist returned ERROR_SUCCESS_REBOOT_REQUIRED",
                                "I0: Reboot required by VC Redist installation. Setting return code to "
                                "ERROR_SUCCESS_REBOOT_REQUIRED",
                                "I0: Setup exit code is: 3010"});
   EXPECT_FALSE(HasLine(run.log, "InstallProduct()"));
}

TEST_F(Arm64Install, InPlaceUpgrade)
{
   ScratchDir first("first");
   LauncherRun run = Run(Launcher("tools-13.0.0"), kSilentWithoutRuntime, first);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.0");
   EXPECT_TRUE(HasLine(run.log, "I0: No existing products found")) << run.log;

   ScratchDir second("second");
   run = Run(Launcher("tools-13.0.1"), kSilentWithoutRuntime, second);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   ExpectLinesInOrder(run.log, {"I0: Found existing product {6F1E2A30-8B4C-4D5E-9F60-1A2B3C4D5E01} with version 13.0.0",
                                "I0: Existing product version is older", "I0: InstallProduct() returned: 0",
                                "I0: Setup exit code is: 0"});
}

// The test image: the shipped launcher with the host simulator in place of the hypervisor (the
// emulation transport of the x64 build). The host hears the run's status lines in order, and the
// log line by line once it has asked for it, through the message channel built for arm64.
TEST_F(Arm64HostLines, TheHostHearsTheRunInOrder)
{
   CHostLogKey logKey; // the host asked for the launcher's log
   ASSERT_TRUE(logKey.created());
   ScratchDir records("hostrec");
   CHostSimProcess host(WinePath(TestArg(5)), "--log-state info", records / "record.txt");
   ASSERT_TRUE(host.ready());
   ScratchDir temp("hosted");
   const LauncherRun run = Run(Launcher("sample-hosted"), kSilentInstall, temp);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_FALSE(HasLine(run.log, kNotInAVm)) << run.log;

   const std::vector<std::string> expected = SampleInstallHostLines(kSilentInstall);
   std::vector<std::string> statusLines;
   std::vector<std::string> forwarded;
   for (const auto& entry : host.Record()) {
      (entry.rfind("guest.log.text ", 0) == 0 ? forwarded : statusLines).push_back(entry);
   }
   EXPECT_EQ(statusLines, expected);
   std::vector<std::string> logged;
   for (const auto& line : TaggedLines(run.log)) {
      logged.push_back("guest.log.text ==INSTLOG " + line);
   }
   EXPECT_GE(logged.size(), 20u) << run.log;
   EXPECT_EQ(forwarded, logged);
   RemoveSample();
}

// A host that plays bare hardware whose trap faults: each hypervisor call of the test image then
// executes a real undefined instruction. The probe's guard steps over its own (a step of the
// wrong size lands on another trap or past the stub's return and crashes the run), the probe
// finds no hypervisor, and every line the launcher would forward says it was not sent.
TEST_F(Arm64HostLines, OnBareHardwareThatFaultsTheRunGoesOn)
{
   CHostLogKey logKey;
   ASSERT_TRUE(logKey.created());
   ScratchDir records("hostrec");
   CHostSimProcess host(WinePath(TestArg(5)), "--faulting", records / "record.txt");
   ASSERT_TRUE(host.ready());
   ScratchDir temp("faulting");
   const LauncherRun run = Run(Launcher("sample-hosted"), "/s /x", temp);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(HasExtractionFolder(run)) << run.log;
   const std::vector<std::string> lines = TaggedLines(run.log);
   ASSERT_GE(lines.size(), 20u) << run.log;
   ASSERT_EQ(lines.size() % 2, 0u) << run.log;
   for (size_t i = 0; i < lines.size(); i += 2) {
      EXPECT_EQ(lines[i + 1], "Failed to send above log message to host") << "after: " << lines[i];
   }
   EXPECT_TRUE(host.Record().empty());
   RemoveTree(temp / kExtractionFolder);
}

TEST_F(Arm64Unpack, UnpackOnlyKeepsFilesIdenticalToThePayload)
{
   ScratchDir temp("unpack");
   const LauncherRun run = Run(Launcher("sample"), "/s /x", temp);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   ASSERT_TRUE(HasExtractionFolder(run)) << run.log;
   const std::string folder = temp / kExtractionFolder;
   EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe"}));
   for (const char* name : {"Tessix Tools.msi", "vcredist_arm64.exe"}) {
      const std::string extracted = ReadTextFile(folder + "\\" + name);
      EXPECT_FALSE(extracted.empty()) << name;
      EXPECT_TRUE(extracted == ReadTextFile(PayloadFile(name))) << name << " differs from the payload";
   }
   EXPECT_FALSE(SampleInstalled());
   EXPECT_TRUE(StandInRuns().empty());
   RemoveTree(folder);
}

// The arm64 start-up code is the launcher's own: it hands the launcher the command line without
// the program name however a caller wrote it (quoted or not, blanks, tabs or nothing after it).
TEST_F(Arm64Unpack, TheProgramNameIsLeftOffTheCommandLineHoweverItIsWritten)
{
   const std::string image = Launcher("sample");
   struct Case {
      const char* name;
      std::string programName;
      const char* arguments;
   };
   const Case cases[] = {
       {"quoted, blanks and a tab after it", "\"" + image + "\"", " \t /s /x"},
       {"quoted, nothing after it", "\"" + image + "\"/s", "/x"},
       {"unquoted, as cmd starts it", image, "/s /x"},
       {"unquoted, a tab after it", image + "\t/s", "/x"},
       // The name is the caller's word only (the image is started by its path): blanks inside quotes.
       {"quoted, with blanks inside", "\"C:\\Program Files\\Tessix Tools\\setup.exe\"", " /s /x"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ScratchDir temp("startup");
      LauncherOptions options;
      options.image = image;
      options.programName = c.programName;
      options.arguments = c.arguments;
      options.timeoutMs = 120000;
      const LauncherRun run = RunLauncher(options, temp);
      EXPECT_EQ(run.exitCode, 0u) << run.log;
      std::string commandLine = "(not logged)";
      for (const auto& line : SplitLines(run.log)) {
         const size_t at = line.find("| I0: Command line: ");
         if (at != std::string::npos) {
            commandLine = line.substr(at + 20);
            break;
         }
      }
      EXPECT_EQ(commandLine, "/s /x");
      EXPECT_TRUE(HasExtractionFolder(run)) << run.log;
      RemoveTree(temp / kExtractionFolder);
   }
}

TEST_F(Arm64Unpack, PrintVersionsReportsWithoutInstalling)
{
   TestConsole console;
   ScratchDir temp("versions");
   const LauncherRun run = Run(Launcher("sample"), "/pv", temp);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(console.Lines(), StandInVersionReport(temp / kExtractionFolder)) << run.log;
   EXPECT_FALSE(SampleInstalled());
   EXPECT_TRUE(StandInRuns().empty());
}

// Each refusal: its exit code and log lines, nothing left but the log archived as a failed
// run's, nothing installed.
TEST_F(Arm64Refusals, EndCleanlyWithTheirExitCodes)
{
   struct Case {
      const char* name;
      std::string image;
      const char* arguments;
      DWORD exitCode;
      std::vector<std::string> lines;
   };
   const Case cases[] = {
       {"a refused command line",
        Launcher("sample"),
        "/s /a /a",
        1639,
        {"I0: DisplayMessageBox: \"Tessix Product Installation\" - \"Usage:"}},
       // The image as built, without configuration: also the arm64 prefix's Windows 11.
       {"an unconfigured image",
        LauncherImage(),
        "/s",
        1610,
        {"I0:    Major version = 10", "I0:    Build number  = 22000",
         "I0: ERROR: Setup is not configured and is unable to continue."}},
       {"a container cut short", Launcher("cut"), "/s", 1603, {"I0: ERROR: The SFX file size is incorrect"}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ScratchDir temp("refusal");
      const LauncherRun run = Run(c.image, c.arguments, temp);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      std::vector<std::string> lines = c.lines;
      lines.push_back("I0: Setup exit code is: " + std::to_string(c.exitCode));
      ExpectLinesInOrder(run.log, lines);
      EXPECT_NE(run.logName.find("_Failed.log"), std::string::npos) << run.logName;
      EXPECT_EQ(run.tempFiles.size(), 1u) << "only the archived log is left";
      EXPECT_FALSE(SampleInstalled());
      EXPECT_TRUE(StandInRuns().empty());
   }
}

// A launcher damaged after it was packed: one byte of its package changed. The arm64 image finds
// it by the package's digest while unpacking and installs nothing.
TEST_F(Arm64Refusals, ADamagedPackageIsRefused)
{
   ScratchDir temp("damaged");
   std::string bytes = ReadWholeFile(Launcher("sample"));
   const std::vector<PackedEntry> entries = PackedEntries(bytes, ContainerOffset(Launcher("sample")));
   ASSERT_FALSE(entries.empty());
   ASSERT_EQ(entries[0].name, "Tessix Tools.msi");
   bytes[entries[0].dataStart + entries[0].size / 2] ^= 0x01;
   const std::string image = temp / "setup.exe";
   ASSERT_TRUE(WriteWholeFile(image, bytes));
   const LauncherRun run = Run(image, kSilentInstall, temp);
   EXPECT_EQ(run.exitCode, 1603u) << run.log;
   ExpectLinesInOrder(run.log, {"ExtractPayload: \"Tessix Tools.msi\" is damaged: its digest is ",
                                "I0: ERROR: The SFX file is damaged", "I0: Setup exit code is: 1603"});
   EXPECT_FALSE(SampleInstalled());
   EXPECT_FALSE(HasExtractionFolder(run)) << "the extraction folder is cleaned up";
}

// The standard style checks the launcher's own signature and its package's (WinVerifyTrust
// bound at run time on arm64); a byte changed after signing is found.
TEST_F(Arm64Signatures, SignedLauncherCheckedAgainstItsOwnSignature)
{
   struct Case {
      const char* launcher;
      DWORD exitCode;
      std::vector<std::string> lines;
   };
   const auto self = [](const char* name) { return Launcher(std::string("signed\\") + name) + " - "; };
   const Case cases[] = {
       {"same",
        0,
        {self("same") + "Trusted", "tools.msi - Trusted", "VerifyPackageSignature() returned: 0",
         "InstallProduct() returned: 0", "Setup exit code is: 0"}},
       {"altered",
        13,
        {self("altered") + "NotTrusted", "VerifyPackageSignature() returned: 1", "Setup exit code is: 13"}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.launcher);
      ScratchDir temp("signed");
      const LauncherRun run = Run(Launcher(std::string("signed\\") + c.launcher), kSilentWithoutRuntime, temp);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      EXPECT_EQ(ProductState(kToolsCode), c.exitCode == 0 ? INSTALLSTATE_DEFAULT : INSTALLSTATE_UNKNOWN);
      ExpectLinesInOrder(run.log, c.lines);
      RemoveFixtureProducts();
   }
}

// With a person at the screen: the progress window comes up and stays while the launcher asks
// for room that no drive has; Cancel ends the run.
TEST_F(Arm64OnScreen, ProgressWindowWhileTheLauncherAsks)
{
   HWND dialog = nullptr;
   std::string banner;
   std::string question;
   bool saved = false;
   std::thread user([&] {
      dialog = WaitForDialog(kTitle, IDC_PROGRESS, 120000);
      if (dialog == nullptr) {
         return;
      }
      HWND box = WaitForMessageBox(kTitle, 120000); // the dialog's texts are set by now
      banner = WindowText(GetDlgItem(dialog, IDC_BANNER));
      Sleep(500); // painted before the picture
      saved = SaveScreenshot(dialog, "arm64-progress-window");
      SaveScreenshot(nullptr, "arm64-progress-window-and-question");
      if (box != nullptr) {
         question = WindowText(GetDlgItem(box, 0xFFFF));
         ClickButton(box, IDCANCEL);
      }
   });
   ScratchDir temp("onscreen");
   const LauncherRun run = Run(Launcher("space"), "/n /v\"/qn\"", temp);
   user.join();

   ASSERT_NE(dialog, nullptr) << "no progress window\n" << run.log;
   EXPECT_EQ(banner, "Preparing 'Tessix Test Tools' for installation...");
   EXPECT_TRUE(saved) << "no screenshot of the progress window";
   const std::string megabytes = Between(run.log, "Total space required to unpack is ", " MB");
   std::string expected = LoadMessageAlloc(resources_, 49).value_or("(missing)");
   const size_t at = expected.find("%d");
   if (at != std::string::npos) {
      expected.replace(at, 2, megabytes);
   }
   EXPECT_EQ(question, expected);
   EXPECT_EQ(run.exitCode, 1602u) << run.log;
   ExpectLinesInOrder(run.log,
                      {"UI thread started successfully", "Install cancelled by the user.", "Setup exit code is: 1602"});
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
}
