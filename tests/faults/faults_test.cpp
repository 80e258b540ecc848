// Faults injected into packed launchers as they run: a cut container, a disk that fills during
// extraction, a temporary folder nobody can write, a locked log, folders planted or held by
// someone else, a second instance and a runtime installer that never ends. Each refused run
// ends with its line, a non-zero code and no crash, its log archived and nothing left behind;
// what belongs to others is unchanged.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>

#include "tests/e2e/folderSwapper.h"
#include "tests/e2e/payloadDamage.h"
#include "tests/faults/faultSupport.h"
#include "tests/rpc/hostSimProcess.h"

using namespace faults;

namespace
{

// Ends the runtime stand-ins started from below `folder` (and only those) with exit code 1,
// as a user ending the task would. Returns how many it ended.
int EndStandInsBelow(const std::string& folder)
{
   int ended = 0;
   HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
   PROCESSENTRY32W entry{};
   entry.dwSize = sizeof entry;
   for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
      if (_wcsicmp(entry.szExeFile, L"vcredist_arm64.exe") != 0) {
         continue;
      }
      HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
      if (process == nullptr) {
         continue;
      }
      wchar_t path[MAX_PATH];
      DWORD length = MAX_PATH;
      const std::wstring below = Win32U_Wide(folder + "\\");
      if (QueryFullProcessImageNameW(process, 0, path, &length) && length > below.size() &&
          _wcsnicmp(path, below.c_str(), below.size()) == 0 && TerminateProcess(process, 1)) {
         ended++;
      }
      CloseHandle(process);
   }
   CloseHandle(snapshot);
   return ended;
}

// Waits until `file` has some text (the stand-in writes its record before it hangs).
bool WaitForText(const std::string& file, DWORD timeoutMs)
{
   for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
      if (!ReadTextFile(file).empty()) {
         return true;
      }
      Sleep(100);
   }
   return false;
}

// A file held open by the test without any sharing, as another program may hold it.
class HeldFile
{
 public:
   explicit HeldFile(const std::string& path)
       : handle_(
             CreateFileW(Win32U_Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr))
   {
   }
   ~HeldFile()
   {
      if (handle_ != INVALID_HANDLE_VALUE) {
         CloseHandle(handle_);
      }
   }
   bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
   HANDLE handle_;
};

// Runs that install the sample product remove it before and after.
class Installing : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      RemoveSample();
      RemoveTree("C:\\TessixTemp");
   }
   void TearDown() override
   {
      RemoveSample();
      RemoveTree("C:\\TessixTemp");
   }
   ScratchDir images_{"fimg"};
   ScratchDir temp_{"ftemp"};
   ScratchDir cwd_{"fcwd"};
};

class Mounted : public Installing
{
};
class Folders : public Installing
{
};

class Instances : public ::testing::Test
{
 protected:
   void TearDown() override
   {
      EndStandInsBelow(tempA_.path());
      if (a_.hProcess != nullptr) {
         FinishLauncher(a_, 60000, tempA_.path());
      }
   }
   // Starts the first copy; it stops inside the runtime stage, holding the single-instance lock.
   void StartHangingCopy(const std::string& image)
   {
      LauncherOptions options;
      options.image = image;
      options.arguments = kSilentInstall;
      options.environment = {{"TX_STANDIN_HANG", "vcredist_arm64.exe"}, {"TX_STANDIN_LOG", records_ / "standins.log"}};
      ASSERT_TRUE(StartLauncher(options, tempA_.path(), a_));
      ASSERT_TRUE(WaitForText(records_ / "standins.log", 120000)) << "the runtime stand-in never started";
   }
   // Ends the hung stand-in and collects the first copy's run.
   LauncherRun EndHangingCopy()
   {
      EXPECT_EQ(EndStandInsBelow(tempA_.path()), 1);
      return FinishLauncher(a_, 120000, tempA_.path());
   }

   ScratchDir copies_{"fcopies"};
   ScratchDir records_{"frecords"};
   ScratchDir tempA_{"ftempa"};
   PROCESS_INFORMATION a_{};
};

} // namespace

TEST(Container, CutAtEvery4KiBoundaryFailsCleanly)
{
   const std::string source = ReadTextFile(CutLauncher());
   const uint64_t offset = ContainerOffset(CutLauncher());
   ASSERT_GT(offset, 0u);
   ASSERT_LT(offset + 8 + 2 * 268, source.size());
   std::vector<uint64_t> cuts;
   for (uint64_t at = 4096; at < source.size(); at += 4096) {
      cuts.push_back(at);
   }
   // The container's own edges: no magic, half a magic, no count, inside the first entry, the
   // table without data, one byte short.
   for (uint64_t edge : {offset, offset + 2, offset + 4, offset + 8 + 100, offset + 8 + 2 * 268,
                         static_cast<uint64_t>(source.size() - 1)}) {
      cuts.push_back(edge);
   }
   ScratchDir images("fcut");
   const std::string image = images / "tx-cut.exe";
   int refusedByLoader = 0;
   for (const uint64_t cut : cuts) {
      const std::string what = "cut at " + std::to_string(cut) + " of " + std::to_string(source.size()) +
                               " (container at " + std::to_string(offset) + ")";
      ASSERT_TRUE(WriteTextFile(image, source.substr(0, cut))) << what;
      ScratchDir temp("fcutrun");
      LauncherOptions options;
      options.image = image;
      options.arguments = kSilentInstall;
      PROCESS_INFORMATION started;
      if (!StartLauncher(options, temp.path(), started)) {
         // A cut inside the image: the loader refuses it and nothing of ours runs.
         EXPECT_LT(cut, offset) << what << ": not started, error " << GetLastError();
         refusedByLoader++;
         continue;
      }
      const LauncherRun run = FinishLauncher(started, 60000, temp.path());
      if (cut < offset) {
         // The image ran without its container (or without part of its resources).
         EXPECT_NE(run.exitCode, 0u) << what << "\n" << run.log;
         EXPECT_FALSE(IsCrash(run.exitCode)) << what << ": exit " << std::hex << run.exitCode;
         EXPECT_TRUE(run.log.empty() || run.logName.find("_Failed.log") != std::string::npos) << what;
         EXPECT_LE(run.tempFiles.size(), 1u) << what;
      } else if (cut < offset + 4) {
         ExpectCleanFailure(run, 87, "I0: ERROR: Failed to extract SFX files: 7", what);
      } else {
         ExpectCleanFailure(run, 1603, "I0: ERROR: The SFX file size is incorrect", what);
      }
   }
   std::printf("%d of %zu cut images refused by the loader\n", refusedByLoader, cuts.size());

   // Unpacking only keeps the files of a finished extraction, not of a refused one.
   ScratchDir temp("fcutx");
   ASSERT_TRUE(WriteTextFile(image, source.substr(0, source.size() - 1)));
   ExpectCleanFailure(RunCopy(image, temp.path(), "/s /x"), 1603, "I0: ERROR: The SFX file size is incorrect",
                      "unpack only, one byte short");
}

// A launcher damaged after it was packed (one byte of a file, one digit of a recorded digest) is
// refused before anything is installed: the damaged file is never handed on, not even by /x.
// Without its digests' key it extracts unchecked, as a launcher of an older packer does.
TEST(Container, ADamagedPayloadIsRefusedBeforeAnythingIsInstalled)
{
   const std::string source = ReadWholeFile(BigLauncher());
   const std::vector<PackedEntry> entries = PackedEntries(source, ContainerOffset(BigLauncher()));
   ASSERT_EQ(entries.size(), 3u);
   ASSERT_EQ(entries[0].name, "Tessix Tools.msi");
   const size_t digestAt = FindUtf16(source, " Tessix Tools.msi\n");
   const size_t keyAt = FindUtf16(source, "PAYLOAD_XXH64");
   ASSERT_NE(digestAt, std::string::npos) << "no recorded digest";
   ASSERT_NE(keyAt, std::string::npos) << "no digests' key";
   struct Case {
      const char* what;
      uint64_t at;
      const char* arguments;
      const char* line; // the entry named, or empty when no entry is
   };
   const Case cases[] = {
       {"the first byte of the first file", entries[0].dataStart, kSilentInstall, "\"Tessix Tools.msi\" is damaged"},
       {"the middle byte of the middle file", entries[1].dataStart + entries[1].size / 2, kSilentInstall,
        "\"vcredist_arm64.exe\" is damaged"},
       {"the last byte of the last file", entries[2].dataStart + entries[2].size - 1, kSilentInstall,
        "\"filler.bin\" is damaged"},
       {"the first byte of the first file, unpacking only", entries[0].dataStart, "/s /x",
        "\"Tessix Tools.msi\" is damaged"},
       {"a digit of the first file's recorded digest", digestAt - 2, kSilentInstall, "\"Tessix Tools.msi\" is damaged"},
   };
   ScratchDir images("fdamage");
   RemoveSample();
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      std::string bytes = source;
      // A hex digit stays a hex digit, so that the recorded value still reads.
      bytes[c.at] = c.at == digestAt - 2 ? (bytes[c.at] == '0' ? '1' : '0') : static_cast<char>(bytes[c.at] ^ 0x01);
      const std::string image = images / "tx-damaged.exe";
      ASSERT_TRUE(WriteWholeFile(image, bytes));
      ScratchDir temp("fdtemp");
      const LauncherRun run = RunCopy(image, temp.path(), c.arguments);
      ExpectCleanFailure(run, 1603, "I0: ERROR: The SFX file is damaged", c.what);
      EXPECT_NE(run.log.find(std::string("E1: ExtractPayload: ") + c.line + ": its digest is "), std::string::npos)
          << run.log;
      EXPECT_FALSE(SampleInstalled());
   }
   // The key's name changed: the launcher finds no digests, says so, and extracts as before.
   std::string bytes = source;
   bytes[keyAt + 2 * 12] = 'Y';
   const std::string image = images / "tx-nodigests.exe";
   ASSERT_TRUE(WriteWholeFile(image, bytes));
   ScratchDir temp("fdtemp");
   const LauncherRun run = RunCopy(image, temp.path(), kSilentInstall);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(
       HasLine(run.log, "W1: ExtractPayload: The launcher records no payload digests; the files are not checked"))
       << run.log;
   EXPECT_TRUE(SampleInstalled());
   RemoveSample();
}

TEST_F(Mounted, ADiskThatFillsDuringExtraction)
{
   // The temporary folder is a 2 MiB file system mounted below drive Z:, whose root reports
   // plenty of room: the room check passes and the disk fills inside the third file.
   const std::string small = FixtureRoot() + "\\small";
   if (PathExists(small + "\\unavailable")) {
      GTEST_SKIP() << "the small file system could not be mounted here";
   }
   const std::string image = CopyLauncher(BigLauncher(), images_.path(), "tx-full.exe");
   const LauncherRun run = RunCopy(image, small, kSilentInstall);
   ExpectCleanFailure(run, 87, "I0: ERROR: Failed to extract SFX files: 13", "disk full");
   EXPECT_TRUE(HasLine(run.log, "E1: ExtractPayload: Cannot write")) << run.log;
   EXPECT_FALSE(SampleInstalled());
   RemoveTree(small + "\\" + run.logName);
}

TEST_F(Mounted, AnUnwritableTemporaryFolder)
{
   // Read-only for everyone, root included. The log falls back to the working folder, the
   // payload goes to the first fixed drive, and Windows Installer, which cannot write its own
   // log there either, refuses: its result is the exit code, shown and logged.
   const std::string readonly = FixtureRoot() + "\\readonly";
   if (PathExists(readonly + "\\unavailable")) {
      GTEST_SKIP() << "the read-only file system could not be mounted here";
   }
   const std::string image = CopyLauncher(SmallLauncher(), images_.path(), "tx-readonly.exe");
   const LauncherRun run = RunCopy(image, readonly, kSilentInstall, cwd_.path());
   const std::string log = ReadTextFile(cwd_ / "txinstutil.log");
   EXPECT_TRUE(run.tempFiles.empty());
   EXPECT_TRUE(HasLine(log, "E1: InstCreateLogFile: Unable to log to intended file " + readonly + "\\txinst.log"))
       << log;
   EXPECT_TRUE(HasLine(log, "I0: Selecting \"C:\\TessixTemp\\" + std::string(kExtractionFolder) + "\\\"")) << log;
   const std::string code = std::to_string(static_cast<int>(run.exitCode));
   EXPECT_NE(run.exitCode, 0u) << log;
   EXPECT_FALSE(IsCrash(run.exitCode)) << log;
   EXPECT_TRUE(HasLine(log, "I0: InstallProduct() returned: " + code)) << log;
   EXPECT_TRUE(HasLine(log, "Windows Installer returned '" + code + "'.")) << log;
   EXPECT_TRUE(HasLine(log, "I0: Setup exit code is: " + code)) << log;
   EXPECT_FALSE(SampleInstalled());
   EXPECT_FALSE(PathExists("C:\\TessixTemp")) << "cleaned up";
}

TEST_F(Folders, ALockedLogFile)
{
   // Someone holds txinst.log without sharing: this run's lines go to the fallback log in the
   // working folder, the held file is left as it was, and the installation itself goes on.
   const std::string held = temp_ / "txinst.log";
   ASSERT_TRUE(WriteTextFile(held, "someone else's\n"));
   LauncherRun run;
   {
      HeldFile lock(held);
      ASSERT_TRUE(lock.held());
      run = RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-locked.exe"), temp_.path(), kSilentInstall,
                    cwd_.path());
   }
   const std::string log = ReadTextFile(cwd_ / "txinstutil.log");
   EXPECT_TRUE(HasLine(log, "E1: InstCreateLogFile: Unable to log to intended file " + held)) << log;
   EXPECT_EQ(run.exitCode, 0u) << log;
   EXPECT_TRUE(HasLine(log, "I0: Setup exit code is: 0")) << log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_EQ(ReadTextFile(held), "someone else's\n");
   EXPECT_FALSE(PathExists(temp_ / kExtractionFolder)) << "cleaned up";
}

// Windows Installer writes its log by path and elevated, so no name of the temporary folder that
// the user's other programs can change is ever handed to it: a link to someone else's file (made
// by the kernel: Windows programs under Wine cannot make one) planted at txmsi.log before the
// run, swapped in for it the moment it appears, or planted at every name of the run's own
// (txmsi_<process>.log) never has that file written.
TEST_F(Folders, TheInstallerLogPlantedAsALink)
{
   enum class Plant { Before, WhenItAppears, AtEveryOwnName };
   for (const Plant plant : {Plant::Before, Plant::WhenItAppears, Plant::AtEveryOwnName}) {
      SCOPED_TRACE(static_cast<int>(plant));
      const std::string victim = cwd_ / "victim.txt";
      ASSERT_TRUE(WriteTextFile(victim, "someone else's\n"));
      const std::string log = temp_ / "txmsi.log";
      std::vector<std::string> planted;
      if (plant != Plant::WhenItAppears) {
         ASSERT_TRUE(PlantUnixLink(UnixPath(victim), UnixPath(log)));
         planted.push_back(log);
      }
      if (plant == Plant::AtEveryOwnName) {
         for (unsigned pid = 4; pid < 4000; pid += 4) {
            const std::string own = temp_ / ("txmsi_" + std::to_string(pid) + ".log");
            ASSERT_TRUE(PlantUnixLink(UnixPath(victim), UnixPath(own)));
            planted.push_back(own);
         }
      }
      std::atomic<bool> done{false};
      std::thread swapper([&] {
         while (plant == Plant::WhenItAppears && !done) {
            if (GetFileAttributesW(Win32U_Wide(log).c_str()) != INVALID_FILE_ATTRIBUTES &&
                DeleteFileW(Win32U_Wide(log).c_str())) {
               PlantUnixLink(UnixPath(victim), UnixPath(log));
               return;
            }
            Sleep(1);
         }
      });
      const LauncherRun run =
          RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-msilink.exe"), temp_.path(), kSilentInstall);
      done = true;
      swapper.join();
      EXPECT_EQ(run.exitCode, 0u) << run.log;
      EXPECT_TRUE(SampleInstalled());
      EXPECT_EQ(ReadTextFile(victim), "someone else's\n") << run.log;
      planted.push_back(log);
      for (const std::string& link : planted) {
         RemoveUnixLink(UnixPath(link));
      }
      RemoveSample();
   }
}

TEST_F(Folders, TheExtractionFolderPlantedAsALink)
{
   // <temp>\<folder> is a link to someone else's folder. It is never followed: Wine cannot
   // remove a directory link, so the run passes it over and unpacks on drive C:.
   const std::string temp = FixtureRoot() + "\\linktemp";
   const std::string link = temp + "\\" + kExtractionFolder;
   ASSERT_NE(Win32U_GetFileAttributes(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "fixture missing";
   const std::vector<std::string> canary = Snapshot(FixtureRoot() + "\\canary");
   ASSERT_EQ(canary.size(), 2u);
   const LauncherRun run = RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-link.exe"), temp, kSilentInstall);
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_EQ(Snapshot(FixtureRoot() + "\\canary"), canary);
   EXPECT_TRUE(HasLine(run.log, "I0: Selecting \"C:\\TessixTemp\\")) << run.log;
   EXPECT_FALSE(PathExists("C:\\TessixTemp")) << "cleaned up";
}

TEST_F(Folders, AFilePlantedInTheExtractionFolder)
{
   // A folder of the extraction folder's name made beforehand, holding a "runtime installer"
   // of someone else's: the folder is emptied and made again, so only the payload's runs.
   const std::string folder = temp_ / kExtractionFolder;
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(folder).c_str(), nullptr));
   ASSERT_TRUE(WriteTextFile(folder + "\\vcredist_arm64.exe", "planted"));
   ASSERT_TRUE(WriteTextFile(folder + "\\planted.txt", "planted"));
   const LauncherRun run =
       RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-planted.exe"), temp_.path(), "/s /x");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_EQ(ListFolder(folder), (std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe"}));
   EXPECT_EQ(ReadTextFile(folder + "\\vcredist_arm64.exe"), ReadTextFile(RuntimeStandIn()));
}

TEST_F(Folders, FoldersHeldBySomeoneElse)
{
   // A file in the extraction folder is held open, so the folder cannot be emptied and is
   // passed over; a "TessixTemp" made beforehand by someone else on drive C: takes the payload.
   // Its other contents stay, and so does the folder itself.
   ASSERT_TRUE(CreateDirectoryW(L"C:\\TessixTemp", nullptr));
   ASSERT_TRUE(WriteTextFile("C:\\TessixTemp\\theirs.txt", "theirs"));
   const std::string folder = temp_ / kExtractionFolder;
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(folder).c_str(), nullptr));
   LauncherRun run;
   {
      HeldFile held(folder + "\\held.txt");
      ASSERT_TRUE(held.held());
      run = RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-held.exe"), temp_.path(), kSilentInstall);
   }
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
   EXPECT_TRUE(HasLine(run.log, "I0: Can't use \"" + folder + "\\\" because is too small")) << run.log;
   EXPECT_TRUE(HasLine(run.log, "I0: Selecting \"C:\\TessixTemp\\" + std::string(kExtractionFolder) + "\\\""))
       << run.log;
   EXPECT_TRUE(HasLine(run.log, "I0: Failed to cleanup directory \"C:\\TessixTemp\"")) << run.log;
   EXPECT_EQ(ListFolder("C:\\TessixTemp"), std::vector<std::string>{"theirs.txt"});
   EXPECT_EQ(ReadTextFile("C:\\TessixTemp\\theirs.txt"), "theirs");
   EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"held.txt"});
}

TEST_F(Folders, TheExtractionFolderSwappedTheMomentItsFirstFileIsComplete)
{
   // The launcher holds the folder it unpacks into, and every file it wrote, so that neither
   // can be renamed while the run lasts: both renames fail on a sharing violation, and the run
   // installs its own package with its own runtime installer.
   Swapper swapper(temp_.path(), "Tessix Tools.msi", FileSize(SamplePackage()));
   const LauncherRun run =
       RunCopy(CopyLauncher(SmallLauncher(), images_.path(), "tx-swap.exe"), temp_.path(), kSilentInstall);
   ExpectTheSwapRefused(swapper, run);
   EXPECT_FALSE(PathExists(temp_ / "aside"));
   EXPECT_FALSE(PathExists(temp_ / kExtractionFolder)) << "cleaned up";
}

TEST_F(Instances, ARuntimeInstallerThatHangsUntilKilled)
{
   StartHangingCopy(CopyLauncher(SmallLauncher(), copies_.path(), "tx-hang.exe"));
   Sleep(1000);
   DWORD code = 0;
   ASSERT_TRUE(GetExitCodeProcess(a_.hProcess, &code));
   EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE)) << "the launcher waits for its runtime installer";
   const LauncherRun run = EndHangingCopy();
   ExpectCleanFailure(run, 1603, "I0: Launching VC dll installer failed with 1.", "runtime killed");
   EXPECT_FALSE(SampleInstalled());
}

TEST_F(Instances, AnotherInstanceRunning)
{
   ScratchDir hostRecords("fhost");
   CHostSimProcess host(HostSim(), "", hostRecords / "record.txt");
   ASSERT_TRUE(host.ready());
   StartHangingCopy(CopyLauncher(SmallLauncher(), copies_.path(), "tx-instance.exe"));

   // The same file name in another folder meets the lock, and leaves the host's installer
   // status to the copy that runs.
   ScratchDir other("fother");
   ScratchDir tempB("ftempb");
   const LauncherRun second =
       RunCopy(CopyLauncher(SmallLauncher(), other.path(), "tx-instance.exe"), tempB.path(), kSilentInstall);
   ExpectCleanFailure(second, 1618, "I0: ERROR: Another instance of setup is already running", "same name");
   EXPECT_TRUE(HasLine(second.log, "I0: DisplayMessageBox:")) << second.log;
   const std::vector<std::string> heard = host.Record();
   EXPECT_EQ(std::count(heard.begin(), heard.end(), "toolinstall.installerActive 1"), 1);
   EXPECT_EQ(std::count(heard.begin(), heard.end(), "toolinstall.installerActive 0"), 0);
   EXPECT_EQ(std::count(heard.begin(), heard.end(), "info-set guestinfo.toolsInstallErrCode 1618"), 0);

   // Another product, under another name, does not: it unpacks into its own folder.
   ScratchDir tempC("ftempc");
   const LauncherRun otherProduct =
       RunCopy(CopyLauncher(OtherProductLauncher(), other.path(), "tx-other.exe"), tempC.path(), "/s /x");
   EXPECT_EQ(otherProduct.exitCode, 0u) << otherProduct.log;
   EXPECT_EQ(ListFolder(tempC / "{2B7D4E19-6C3A-4F58-A1E2-9D0C8B7A6F54}~setup").size(), 2u);

   EXPECT_NE(EndHangingCopy().exitCode, 0u);
}

// Two copies of one product under two names, as a browser saves a second download, started
// together with one temporary folder: the copy that takes the lock stops in its runtime stage;
// the other ends as another instance does and leaves the first one's extraction folder and its
// live log alone.
TEST_F(Instances, TwoCopiesOfOneProductUnderTwoNamesStartedTogether)
{
   const std::string images[] = {CopyLauncher(SmallLauncher(), copies_.path(), "tx-together.exe"),
                                 CopyLauncher(SmallLauncher(), copies_.path(), "tx-together (1).exe")};
   PROCESS_INFORMATION runs[2] = {};
   for (int i = 0; i < 2; i++) {
      LauncherOptions options;
      options.image = images[i];
      options.arguments = kSilentInstall;
      options.environment = {{"TX_STANDIN_HANG", "vcredist_arm64.exe"}, {"TX_STANDIN_LOG", records_ / "standins.log"}};
      ASSERT_TRUE(StartLauncher(options, tempA_.path(), runs[i]));
   }
   const HANDLE processes[] = {runs[0].hProcess, runs[1].hProcess};
   const DWORD ended = WaitForMultipleObjects(2, processes, FALSE, 120000) - WAIT_OBJECT_0;
   if (ended > 1) {
      for (PROCESS_INFORMATION& run : runs) {
         FinishLauncher(run, 0, tempA_.path());
      }
      FAIL() << "neither copy ended: both passed the lock";
   }
   const int winner = ended == 0 ? 1 : 0;
   a_ = runs[winner]; // ended with its stand-in when the test ends
   const LauncherRun refused = FinishLauncher(runs[ended], 10000, tempA_.path());
   ASSERT_TRUE(WaitForText(records_ / "standins.log", 120000)) << "the first copy never reached its runtime stage";

   EXPECT_EQ(refused.exitCode, 1618u);
   std::vector<std::string> archived;
   for (const std::string& name : ListFolder(tempA_.path())) {
      if (std::regex_match(name, std::regex(R"(txinst\.log_\d{8}_\d{6}(_\d+)?_Failed\.log)"))) {
         archived.push_back(name);
      }
   }
   ASSERT_EQ(archived.size(), 1u) << "the refused copy's own log";
   std::vector<std::string> expectedFiles = {archived[0], kExtractionFolder, "txinst.log"};
   std::sort(expectedFiles.begin(), expectedFiles.end());
   std::vector<std::string> files = ListFolder(tempA_.path());
   std::sort(files.begin(), files.end());
   EXPECT_EQ(files, expectedFiles);
   const std::string refusedLog = ReadTextFile(tempA_ / archived[0]);
   EXPECT_TRUE(HasLine(refusedLog, "I0: Running from: \"" + images[ended] + "\"")) << refusedLog;
   EXPECT_TRUE(HasLine(refusedLog, "I0: ERROR: Another instance of setup is already running")) << refusedLog;
   EXPECT_TRUE(HasLine(refusedLog, "I0: Setup exit code is: 1618")) << refusedLog;

   const std::string liveLog = ReadTextFile(tempA_ / "txinst.log");
   EXPECT_TRUE(HasLine(liveLog, "I0: Running from: \"" + images[winner] + "\"")) << liveLog;
   EXPECT_FALSE(HasLine(liveLog, images[ended])) << liveLog;
   EXPECT_FALSE(HasLine(liveLog, "Another instance")) << liveLog;
   EXPECT_EQ(ListFolder(tempA_ / kExtractionFolder),
             (std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe"}));

   const LauncherRun first = EndHangingCopy();
   EXPECT_EQ(first.exitCode, 1603u);
   EXPECT_FALSE(PathExists(tempA_ / kExtractionFolder));
}
