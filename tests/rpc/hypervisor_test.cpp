// The hypervisor channel as the launcher uses it: the x64 emulation transport over a pipe to a
// simulated host in this process, the virtual environment check, the logged host lines and the
// logger's forwarding.
#include <gtest/gtest.h>

#include <memory>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/rpc/backdoor.h"
#include "lib/rpc/guestLog.h"
#include "lib/rpc/hostRpc.h"
#include "lib/rpc/vmCheck.h"
#include "tests/rpc/hostLogKey.h"
#include "tests/unit/testSupport.h"
#include "tools/hostsim/hostSimServer.h"

namespace
{

class Hypervisor : public ::testing::Test
{
 protected:
   // Attaches a simulated host to this process, as the launcher would find one.
   void Attach(const HostSimConfig& config = HostSimConfig())
   {
      static int counter = 0;
      const std::string pipe =
          "\\\\.\\pipe\\txhostsim-unit-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
      server_ = std::make_unique<CHostSimServer>(config, pipe);
      ASSERT_TRUE(server_->Start());
      SetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, Win32U_Wide(pipe).c_str());
   }
   void TearDown() override
   {
      SetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, nullptr);
      server_.reset();
   }
   std::vector<std::string> Commands()
   {
      return server_->With([](CHostSim& sim) { return sim.commands(); });
   }
   size_t Calls()
   {
      return server_->With([](CHostSim& sim) { return sim.calls(); });
   }

   std::unique_ptr<CHostSimServer> server_;
};

// The launcher log of the calls made inside the object's life, from a private temporary folder.
class LogCapture
{
 public:
   LogCapture() { Inst_ResetLoggingForTest(); }
   ~LogCapture() { Inst_ResetLoggingForTest(); }
   std::string Text()
   {
      Inst_ResetLoggingForTest(); // closes the file
      return ReadTextFile(temp_ / "txinst.log");
   }
   // The messages of the launcher's lines, without time stamps and tags.
   std::vector<std::string> Messages()
   {
      std::vector<std::string> messages;
      for (const auto& line : SplitLines(Text())) {
         const size_t at = line.find("| I0: ");
         messages.push_back(at == std::string::npos ? line : line.substr(at + 6));
      }
      return messages;
   }

 private:
   ScratchDir temp_{"rpclog"};
   TempFolderOverride override_{temp_.path() + "\\"};
};

// As the launcher does: the key exists when the logger reads its forwarding flag. The key goes
// again at once, so that no other program of the prefix finds it.
void SwitchForwardingOn()
{
   CHostLogKey key;
   ASSERT_TRUE(key.created());
   Inst_RefreshHostLogging();
   ASSERT_TRUE(Inst_IsHostLoggingOn());
}

HostSimConfig Config(void (*change)(HostSimConfig&))
{
   HostSimConfig config;
   change(config);
   return config;
}

// The emulation's trapping instructions (ud2): the probe's own, and that of every other call.
extern "C" void Backdoor_ProbeTrapSite();
extern "C" void Backdoor_EmulatedTrap();

// Which exception Windows on Arm raises for the trapped read on bare hardware is not known (Wine
// raises an illegal instruction). A handler in front of the guard turns the real fault of the
// trap into the exception a test names; one behind every other catches what the guard passes on
// and steps over the trap itself, so that the test process survives it.
struct TrapAnswer {
   DWORD code = EXCEPTION_ILLEGAL_INSTRUCTION;
   DWORD flags = 0;
   int passedOn = 0;
};
TrapAnswer trapAnswer;

bool IsEmulatedTrap(const EXCEPTION_RECORD* record)
{
   return record->ExceptionAddress == reinterpret_cast<void*>(&Backdoor_ProbeTrapSite) ||
          record->ExceptionAddress == reinterpret_cast<void*>(&Backdoor_EmulatedTrap);
}

LONG CALLBACK AnswerAsTheSystemDoes(EXCEPTION_POINTERS* info)
{
   if (IsEmulatedTrap(info->ExceptionRecord)) {
      info->ExceptionRecord->ExceptionCode = trapAnswer.code;
      info->ExceptionRecord->ExceptionFlags |= trapAnswer.flags;
   }
   return EXCEPTION_CONTINUE_SEARCH;
}

LONG CALLBACK CatchWhatPassesOn(EXCEPTION_POINTERS* info)
{
   if (!IsEmulatedTrap(info->ExceptionRecord)) {
      return EXCEPTION_CONTINUE_SEARCH;
   }
   trapAnswer.passedOn++;
   info->ExceptionRecord->ExceptionFlags = 0;
   info->ContextRecord->Rip += 2;
   return EXCEPTION_CONTINUE_EXECUTION;
}

// Probes as the check does, with the trap's exception answered as the test says.
bool ProbeAnswered()
{
   void* front = AddVectoredExceptionHandler(1, AnswerAsTheSystemDoes);
   const bool answer = Backdoor_Probe();
   RemoveVectoredExceptionHandler(front);
   return answer;
}

// Another call's trap, made while the probe's guard is active.
bool OtherCallAnswered()
{
   void* front = AddVectoredExceptionHandler(1, AnswerAsTheSystemDoes);
   BackdoorRegs regs{};
   Backdoor_Call(&regs);
   RemoveVectoredExceptionHandler(front);
   return true;
}

} // namespace

TEST_F(Hypervisor, OnlyTheExpectedHypervisorVersionIsAVirtualWorld)
{
   struct Case {
      const char* name;
      HostSimConfig config;
      bool virtualWorld;
      size_t calls; // traps that reached the host
   };
   const Case cases[] = {
       {"version 6", HostSimConfig(), true, 2},
       {"version 5", Config([](HostSimConfig& c) { c.version = 5; }), false, 2},
       {"no version", Config([](HostSimConfig& c) { c.version = 0xFFFFFFFF; }), false, 2},
       {"no magic", Config([](HostSimConfig& c) { c.versionMagic = false; }), false, 1},
       {"bare hardware", Config([](HostSimConfig& c) { c.trap = BackdoorAnswer::Unanswered; }), false, 1},
       {"bare hardware that faults", Config([](HostSimConfig& c) { c.trap = BackdoorAnswer::Fault; }), false, 1},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Attach(c.config);
      EXPECT_EQ(VmCheck_IsVirtualWorld(), c.virtualWorld);
      EXPECT_EQ(Calls(), c.calls);
      TearDown();
   }
}

// On bare hardware that faults, the guard steps over any exception raised at the probe's own
// instruction while it is active, and over nothing else.
TEST_F(Hypervisor, TheProbesGuardStepsOverItsTrapWhateverTheException)
{
   Attach(Config([](HostSimConfig& c) { c.trap = BackdoorAnswer::Fault; }));
   void* catcher = AddVectoredExceptionHandler(0, CatchWhatPassesOn);
   ASSERT_NE(catcher, nullptr);
   struct Case {
      const char* what;
      DWORD code;
      DWORD flags;
      bool (*probe)();
      bool guarded;
      int passedOn;
   };
   const Case cases[] = {
       {"illegal instruction", EXCEPTION_ILLEGAL_INSTRUCTION, 0, ProbeAnswered, true, 0},
       {"privileged instruction", EXCEPTION_PRIV_INSTRUCTION, 0, ProbeAnswered, true, 0},
       {"access violation", EXCEPTION_ACCESS_VIOLATION, 0, ProbeAnswered, true, 0},
       {"in-page error", EXCEPTION_IN_PAGE_ERROR, 0, ProbeAnswered, true, 0},
       {"breakpoint", EXCEPTION_BREAKPOINT, 0, ProbeAnswered, true, 0},
       {"single step", EXCEPTION_SINGLE_STEP, 0, ProbeAnswered, true, 0},
       {"a code of no name", 0xE0F00D01, 0, ProbeAnswered, true, 0},
       {"not continuable", EXCEPTION_ILLEGAL_INSTRUCTION, EXCEPTION_NONCONTINUABLE, ProbeAnswered, true, 1},
       {"the probe without its guard", EXCEPTION_ILLEGAL_INSTRUCTION, 0, ProbeAnswered, false, 1},
       {"another call's trap inside the guard", EXCEPTION_ILLEGAL_INSTRUCTION, 0, OtherCallAnswered, true, 1},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      trapAnswer = TrapAnswer{c.code, c.flags, 0};
      const bool answer = c.guarded ? VmCheck_ProbeGuarded(c.probe) : c.probe();
      EXPECT_EQ(trapAnswer.passedOn, c.passedOn);
      if (c.probe == ProbeAnswered) {
         EXPECT_FALSE(answer) << "bare hardware is no virtual world";
      }
   }
   RemoveVectoredExceptionHandler(catcher);
   trapAnswer = TrapAnswer{};
}

TEST_F(Hypervisor, BothVersionRequestsCarryTheSignExtendedComplement)
{
   Attach();
   ASSERT_TRUE(VmCheck_IsVirtualWorld());
   const auto trace = server_->With([](CHostSim& sim) { return sim.trace(); });
   ASSERT_EQ(trace.size(), 2u);
   for (const auto& request : trace) {
      EXPECT_EQ(request.step, HostSimStep::Version);
      EXPECT_EQ(request.bx, kBackdoorMagicComplement);
   }
}

TEST_F(Hypervisor, WithoutASimulatorTheCallIsBareHardware)
{
   SetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, nullptr);
   EXPECT_FALSE(VmCheck_IsVirtualWorld());
   BackdoorRegs regs{1, 2, 3, 4, 5, 6, 7};
   Backdoor_LowBandwidth(&regs);
   EXPECT_EQ(regs.bx, 2u);
   EXPECT_EQ(regs.bp, 7u);
}

TEST_F(Hypervisor, TheLegacyProbeNeverAsksTheHypervisor)
{
   Attach();
   uint32_t values[3] = {9, 9, 9};
   VmCheck_LegacyQuery(values);
   EXPECT_EQ(values[0] + values[1] + values[2], 0u);
   EXPECT_FALSE(VmCheck_LegacyProbe());
   EXPECT_EQ(Calls(), 0u);
}

TEST_F(Hypervisor, AHostLineIsLoggedSentOrExplained)
{
   struct Case {
      const char* name;
      HostSimConfig config;
      bool sent;
      std::vector<std::string> log;
      std::vector<std::string> recorded;
   };
   // A command line may hold anything, format directives included; it is sent as it is.
   const std::string command = "log Command line: /s /v\"/qn %s %d\"";
   const std::string sending = "Sending rpc command '" + command + "' to the host";
   const Case cases[] = {
       {"carried out", HostSimConfig(), true, {sending}, {command}},
       {"refused",
        Config([](HostSimConfig& c) { c.replies["log Command line: /s /v\"/qn %s %d\""] = "0 no"; }),
        false,
        {sending, "Failed to send rpc command '" + command + "'"},
        {command}},
       {"not in a VM",
        Config([](HostSimConfig& c) { c.trap = BackdoorAnswer::Fault; }),
        false,
        {sending, "Failed to send rpc, because we are not in a VM"},
        {}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Attach(c.config);
      LogCapture log;
      EXPECT_EQ(SendRpcToHost(command.c_str()), c.sent);
      EXPECT_EQ(log.Messages(), c.log);
      EXPECT_EQ(Commands(), c.recorded);
      TearDown();
   }
}

TEST_F(Hypervisor, LongCommandsAndRepliesCrossThePipeWhole)
{
   const std::string command(70000, 'c'); // more than one pipe buffer
   const std::string reply(70000, 'r');
   for (const bool highBandwidth : {true, false}) {
      SCOPED_TRACE(highBandwidth ? "high bandwidth" : "4-byte pieces");
      HostSimConfig config;
      config.highBandwidth = highBandwidth;
      const size_t length = highBandwidth ? command.size() : 100;
      config.replies[command.substr(0, length)] = "1 " + reply.substr(0, length);
      Attach(config);
      char* got = nullptr;
      size_t gotLength = 0;
      SetLastError(4321);
      EXPECT_TRUE(RpcOut_SendRequest(command.data(), length, nullptr, 0, &got, &gotLength));
      EXPECT_EQ(GetLastError(), 4321u) << "a hypervisor call leaves the caller's last error";
      ASSERT_NE(got, nullptr);
      EXPECT_EQ(std::string(got, gotLength), reply.substr(0, length));
      free(got);
      EXPECT_EQ(Commands(), std::vector<std::string>{command.substr(0, length)});
      TearDown();
   }
}

TEST_F(Hypervisor, TheHostLevelIsAskedOnlyInsideTheVirtualWorld)
{
   Attach(Config([](HostSimConfig& c) { c.logState = "verbose"; }));
   EXPECT_EQ(GuestLog_GetHostLevel(), kGuestLogLevelVerbose);
   TearDown();
   Attach(Config([](HostSimConfig& c) {
      c.logState = "verbose";
      c.trap = BackdoorAnswer::Fault;
   }));
   EXPECT_EQ(GuestLog_GetHostLevel(), kGuestLogLevelOff);
}

TEST_F(Hypervisor, EveryLogLineGoesToTheHost)
{
   Attach();
   LogCapture log;
   SwitchForwardingOn();
   Inst_LogMsg("first %d", 1);
   Inst_LogMsg("second");
   const auto lines = SplitLines(log.Text());
   ASSERT_EQ(lines.size(), 2u);
   EXPECT_EQ(Commands(), (std::vector<std::string>{kGuestLogLinePrefix + lines[0], kGuestLogLinePrefix + lines[1]}));
}

// The notice that a line failed to reach the host follows that line, never a fixed notice, so a
// truncation notice stays right above the line it announces.
TEST_F(Hypervisor, OnBareHardwareThatFaultsTheLoggerSaysTheLineWasNotSent)
{
   struct Case {
      const char* name;
      std::string tag; // empty: the build-number tag
      std::string message;
      std::vector<std::string> lines; // the file's lines; "" stands for the logged line itself
      size_t probes;                  // one guarded probe for each text handed to the host
   };
   const std::string notice = "The following message is truncated:";
   const std::string failed = "Failed to send above log message to host";
   const Case cases[] = {
       {"a line", "", "a line", {"", failed}, 1},
       {"a line past the budget", "", std::string(3000, 'x'), {notice, "", failed}, 2},
       {"a tag past the budget", std::string(3000, 't'), "a line", {"Serious format error in logging code"}, 1},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Attach(Config([](HostSimConfig& config) { config.trap = BackdoorAnswer::Fault; }));
      LogCapture log;
      SwitchForwardingOn();
      if (!c.tag.empty()) {
         Inst_SetupLogging(nullptr, c.tag.c_str(), nullptr, nullptr);
      }
      Inst_LogMsg("%s", c.message.c_str());
      const auto lines = SplitLines(log.Text());
      ASSERT_EQ(lines.size(), c.lines.size());
      for (size_t i = 0; i < lines.size(); i++) {
         if (c.lines[i].empty()) {
            EXPECT_NE(lines[i].find("I0: " + c.message.substr(0, 100)), std::string::npos) << lines[i];
         } else {
            EXPECT_EQ(lines[i], c.lines[i]);
         }
      }
      EXPECT_EQ(Calls(), c.probes) << "only the guarded probes met the fault";
      TearDown();
   }
}
