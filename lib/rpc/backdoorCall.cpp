// Placing the magic and the port, the part of a call that is the same through every door.
#include "lib/rpc/backdoorCall.h"

namespace {

void Prepare(BackdoorRegs* regs, uint16_t port)
{
   regs->ax = (regs->ax & ~0xFFFFFFFFULL) | kBackdoorMagic;
   regs->dx = (regs->dx & ~0xFFFFULL) | port;
}

} // namespace

void Backdoor_Call(const BackdoorDoor& door, BackdoorRegs* regs)
{
   Prepare(regs, kBackdoorPort);
   door.lowBandwidth(regs);
}

void Backdoor_HbCallOut(const BackdoorDoor& door, BackdoorRegs* regs)
{
   Prepare(regs, kBackdoorHbPort);
   door.highBandwidthOut(regs);
}

void Backdoor_HbCallIn(const BackdoorDoor& door, BackdoorRegs* regs)
{
   Prepare(regs, kBackdoorHbPort);
   door.highBandwidthIn(regs);
}
