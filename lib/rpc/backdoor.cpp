// The door through this program's stubs, and the probe that may meet bare hardware.
#include "lib/rpc/backdoor.h"

extern "C" {
// The probe's copy of the low-bandwidth stub, and the instruction in it that traps.
void Backdoor_ProbeLowBandwidth(BackdoorRegs* regs);
void Backdoor_ProbeTrapSite();
}

namespace {

#if defined(__aarch64__)
constexpr DWORD64 kTrapBytes = 4; // mrs xzr, mdccsr_el0 (udf #0 in the emulation of a test image)
#else
constexpr DWORD64 kTrapBytes = 2; // the emulation's ud2
#endif

const BackdoorDoor kHypervisorDoor = {Backdoor_LowBandwidth, Backdoor_HighBandwidthOut, Backdoor_HighBandwidthIn};

} // namespace

const BackdoorDoor& Backdoor_HypervisorDoor()
{
   return kHypervisorDoor;
}

void Backdoor_Call(BackdoorRegs* regs)
{
   Backdoor_Call(kHypervisorDoor, regs);
}

void Backdoor_HbCallOut(BackdoorRegs* regs)
{
   Backdoor_HbCallOut(kHypervisorDoor, regs);
}

void Backdoor_HbCallIn(BackdoorRegs* regs)
{
   Backdoor_HbCallIn(kHypervisorDoor, regs);
}

bool Backdoor_Probe()
{
   // Full 64-bit words, unlike the requests built on Backdoor_Call.
   BackdoorRegs regs{};
   regs.ax = kBackdoorMagic;
   regs.bx = kBackdoorMagicComplement;
   regs.cx = kBackdoorCmdGetVersion;
   regs.dx = kBackdoorPort;
   Backdoor_ProbeLowBandwidth(&regs);
   return Backdoor_Low32(regs.bx) == kBackdoorMagic;
}

bool Backdoor_StepOverProbeTrap(const void* address, CONTEXT* context)
{
#if defined(__aarch64__)
   DWORD64& pc = context->Pc;
#else
   DWORD64& pc = context->Rip;
#endif
   const auto trap = reinterpret_cast<DWORD64>(&Backdoor_ProbeTrapSite);
   if (reinterpret_cast<DWORD64>(address) != trap || pc != trap) {
      return false;
   }
   pc += kTrapBytes;
   return true;
}
