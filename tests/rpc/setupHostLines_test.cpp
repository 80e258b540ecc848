// The launcher run as a user runs it, with the hostsim program as the host of its virtual
// machine: what reaches the host, and what happens when the machine turns out to be bare
// hardware whose trap faults.
#include <gtest/gtest.h>

#include "lib/misc/win32u.h"
#include "tests/rpc/hostLogKey.h"
#include "tests/rpc/hostSimProcess.h"
#include "tests/unit/testSupport.h"

namespace {

const char kNotSent[] = "Failed to send above log message to host";
constexpr DWORD kRunWaitMs = 60000;

struct SetupRun {
   DWORD exitCode = 0xFFFFFFFF;
   std::vector<std::string> log; // the archived launcher log
};

SetupRun RunSetup(const ScratchDir& temp)
{
   TempFolderOverride override(temp.path() + "\\");
   const std::string image = WinePath(TestArg(1));
   // Silent: the bare image has no configuration, and its refusal must not wait for a person.
   const std::string line = "\"" + image + "\" /s";
   STARTUPINFOW si{};
   si.cb = sizeof si;
   PROCESS_INFORMATION pi{};
   SetupRun run;
   if (!Win32U_CreateProcess(image.c_str(), line.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
      return run;
   }
   if (WaitForSingleObject(pi.hProcess, kRunWaitMs) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the launcher did not end";
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, INFINITE);
   }
   GetExitCodeProcess(pi.hProcess, &run.exitCode);
   CloseHandle(pi.hProcess);
   CloseHandle(pi.hThread);
   for (const auto& name : ListFolder(temp.path())) {
      if (name.rfind("txinst.log_", 0) == 0) {
         run.log = SplitLines(ReadTextFile(temp / name));
      }
   }
   return run;
}

// The host asked for the launcher's log: the key that turns forwarding on is there at start.
class SetupHostLines : public ::testing::Test {
protected:
   void SetUp() override { ASSERT_TRUE(key_.created()); }

   CHostLogKey key_;
   ScratchDir temp_{"hostrun"};
   ScratchDir records_{"hostrec"};
};

} // namespace

TEST_F(SetupHostLines, EveryLineOfTheLogReachesTheHost)
{
   CHostSimProcess host(WinePath(TestArg(2)), "--log-state info", records_ / "record.txt");
   ASSERT_TRUE(host.ready());
   SetupRun run = RunSetup(temp_);
   DropArchiveNotes(run.log);
   ASSERT_GE(run.log.size(), 5u) << "no log";
   // Forwarding is on from the moment logging starts with the launcher's tag (the key exists
   // then); the configuration lines read before it stay in the guest log only. The run's own
   // status lines reach the host between the forwarded ones.
   std::vector<std::string> expected;
   for (size_t i = FirstTaggedLine(run.log); i < run.log.size(); i++) {
      expected.push_back("guest.log.text ==INSTLOG " + run.log[i]);
   }
   std::vector<std::string> forwarded;
   bool statusLine = false;
   for (const auto& entry : host.Record()) {
      if (entry.rfind("guest.log.text ", 0) == 0) {
         forwarded.push_back(entry);
      } else {
         statusLine |= entry == "log Installing Tessix Tools 13.0.1.0 (build-" + std::to_string(TX_BUILD_NUMBER) + ")";
      }
   }
   EXPECT_EQ(forwarded, expected);
   EXPECT_TRUE(statusLine);
}

TEST_F(SetupHostLines, OnBareHardwareThatFaultsTheRunGoesOnAndTheLogSaysNothingWasSent)
{
   CHostSimProcess host(WinePath(TestArg(2)), "--faulting", records_ / "record.txt");
   ASSERT_TRUE(host.ready());
   SetupRun run = RunSetup(temp_);
   DropArchiveNotes(run.log);
   EXPECT_NE(run.exitCode, static_cast<DWORD>(EXCEPTION_ILLEGAL_INSTRUCTION));
   ASSERT_GE(run.log.size(), 10u) << "no log";
   const size_t first = FirstTaggedLine(run.log);
   ASSERT_EQ((run.log.size() - first) % 2, 0u);
   bool exitLogged = false;
   for (size_t i = first; i < run.log.size(); i += 2) {
      EXPECT_EQ(run.log[i + 1], kNotSent) << "after: " << run.log[i];
      exitLogged |= run.log[i].find("| I0: Setup exit code is: " + std::to_string(run.exitCode)) != std::string::npos;
   }
   EXPECT_TRUE(exitLogged) << "the run reached its end";
   EXPECT_TRUE(host.Record().empty());
}
