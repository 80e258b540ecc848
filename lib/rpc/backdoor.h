// The hypervisor call of this program. On 64-bit Arm the stubs trap with a read of MDCCSR_EL0;
// on x64, which has no such trap, the same functions hand the register block to a host simulator
// (the emulation transport of the test build) and behave as bare hardware when none is attached.
#pragma once

#include <windows.h>

#include "lib/rpc/backdoorCall.h"

extern "C" {
// Words 0-5 in and out of x0-x5 around the trap, with the low-bandwidth operation in x7.
void Backdoor_LowBandwidth(BackdoorRegs* regs);
// Words 0-6 in and out of x0-x6 around the trap, with the high-bandwidth operations in x7.
void Backdoor_HighBandwidthOut(BackdoorRegs* regs);
void Backdoor_HighBandwidthIn(BackdoorRegs* regs);
}

// The door through the stubs above.
const BackdoorDoor& Backdoor_HypervisorDoor();

void Backdoor_Call(BackdoorRegs* regs);
void Backdoor_HbCallOut(BackdoorRegs* regs);
void Backdoor_HbCallIn(BackdoorRegs* regs);

// A version request through the probe's own copy of the low-bandwidth stub: true when bx comes
// back as the magic. Without a hypervisor the trap may raise a processor exception, so this is
// only called under VmCheck_ProbeGuarded.
bool Backdoor_Probe();

// When an exception raised at `address` stopped `context` on the probe's trap, moves it past the
// trapping instruction and returns true; any other fault is left alone.
bool Backdoor_StepOverProbeTrap(const void* address, CONTEXT* context);
