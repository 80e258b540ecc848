// The emulation transport: the hypervisor call of the x64 build (x64 has no hypervisor trap, and
// Wine no hypervisor), and of the arm64 test image that lets runs under arm64 Wine reach the
// host simulator. Each call goes as one message to the host simulator named in the environment
// and its answer is applied to the block. With no simulator (or one that cannot be reached) the
// call behaves as bare hardware that ignores the trap: the registers come back unchanged. A
// simulator playing bare hardware that faults makes the call execute a real trapping
// instruction instead.
#include <windows.h>

#include <vector>

#include "lib/misc/win32u.h"
#include "lib/rpc/backdoor.h"
#include "lib/rpc/backdoorWire.h"

#if defined(__x86_64__)
#define TX_TRAP_INSTRUCTION "ud2" // 2 bytes, as the probe's guard steps over
#elif defined(__aarch64__)
#define TX_TRAP_INSTRUCTION "udf #0" // 4 bytes, as the probe's guard steps over
#else
#error "the emulation transport is built for x64 and 64-bit Arm"
#endif

extern "C" {
void Backdoor_ProbeLowBandwidth(BackdoorRegs* regs);
// Trapping instructions: the probe's, which the exception guard may step over, and the one of
// every other call, which nothing guards.
void Backdoor_ProbeTrapSite();
void Backdoor_EmulatedTrap();
}

// clang-format off
asm("   .text\n"
    "   .globl Backdoor_ProbeTrapSite\n"
    "   .def Backdoor_ProbeTrapSite; .scl 2; .type 32; .endef\n"
    "   .p2align 2\n"
    "Backdoor_ProbeTrapSite:\n"
    "   " TX_TRAP_INSTRUCTION "\n"
    "   ret\n"
    "   .globl Backdoor_EmulatedTrap\n"
    "   .def Backdoor_EmulatedTrap; .scl 2; .type 32; .endef\n"
    "   .p2align 2\n"
    "Backdoor_EmulatedTrap:\n"
    "   " TX_TRAP_INSTRUCTION "\n"
    "   ret\n");
// clang-format on

namespace {

constexpr DWORD kPipeNameChars = 256;
constexpr DWORD kSimulatorWaitMs = 10000;

BackdoorAnswer Exchange(uint64_t op, BackdoorRegs* regs)
{
   Win32U_ErrorKeeper keeper; // a real trap leaves the caller's last error alone
   keeper.Capture();
   wchar_t pipe[kPipeNameChars];
   const DWORD n = GetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, pipe, kPipeNameChars);
   if (n == 0 || n >= kPipeNameChars) {
      return BackdoorAnswer::Unanswered;
   }
   std::vector<uint8_t> request = BackdoorWire_EncodeCall(BackdoorWire_MakeCall(op, *regs));
   std::vector<uint8_t> reply(BackdoorWire_AnswerCapacity(op, *regs));
   DWORD got = 0;
   BackdoorWireAnswer answer;
   if (!CallNamedPipeW(pipe, request.data(), static_cast<DWORD>(request.size()), reply.data(),
                       static_cast<DWORD>(reply.size()), &got, kSimulatorWaitMs) ||
       !BackdoorWire_DecodeAnswer(reply.data(), got, &answer)) {
      return BackdoorAnswer::Unanswered;
   }
   return BackdoorWire_Apply(op, answer, regs);
}

void Emulate(uint64_t op, BackdoorRegs* regs, void (*trap)())
{
   if (Exchange(op, regs) == BackdoorAnswer::Fault) {
      trap();
   }
}

} // namespace

extern "C" void Backdoor_LowBandwidth(BackdoorRegs* regs)
{
   Emulate(kBackdoorOpLowBandwidth, regs, Backdoor_EmulatedTrap);
}

extern "C" void Backdoor_HighBandwidthOut(BackdoorRegs* regs)
{
   Emulate(kBackdoorOpHbOut, regs, Backdoor_EmulatedTrap);
}

extern "C" void Backdoor_HighBandwidthIn(BackdoorRegs* regs)
{
   Emulate(kBackdoorOpHbIn, regs, Backdoor_EmulatedTrap);
}

extern "C" void Backdoor_ProbeLowBandwidth(BackdoorRegs* regs)
{
   Emulate(kBackdoorOpLowBandwidth, regs, Backdoor_ProbeTrapSite);
}
