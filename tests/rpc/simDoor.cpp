#include "tests/rpc/simDoor.h"

#include <cstdlib>

#include "lib/rpc/backdoorWire.h"

namespace {

CHostSim* g_sim = nullptr;
bool g_encoded = true;

void Exchange(uint64_t op, BackdoorRegs* regs)
{
   if (!g_encoded) {
      BackdoorWire_Apply(op, g_sim->Handle(BackdoorWire_MakeCall(op, *regs)), regs);
      return;
   }
   const std::vector<uint8_t> request = BackdoorWire_EncodeCall(BackdoorWire_MakeCall(op, *regs));
   BackdoorWireCall call;
   if (!BackdoorWire_DecodeCall(request.data(), request.size(), &call)) {
      abort();
   }
   const std::vector<uint8_t> reply = BackdoorWire_EncodeAnswer(g_sim->Handle(call));
   BackdoorWireAnswer answer;
   if (!BackdoorWire_DecodeAnswer(reply.data(), reply.size(), &answer)) {
      abort();
   }
   BackdoorWire_Apply(op, answer, regs);
}

void Low(BackdoorRegs* regs)
{
   Exchange(kBackdoorOpLowBandwidth, regs);
}

void HbOut(BackdoorRegs* regs)
{
   Exchange(kBackdoorOpHbOut, regs);
}

void HbIn(BackdoorRegs* regs)
{
   Exchange(kBackdoorOpHbIn, regs);
}

const BackdoorDoor kSimDoor = {Low, HbOut, HbIn};

} // namespace

CSimDoor::CSimDoor(CHostSim& sim, Wire wire)
{
   g_sim = &sim;
   g_encoded = wire == Wire::Encoded;
}

CSimDoor::~CSimDoor()
{
   g_sim = nullptr;
}

const BackdoorDoor& CSimDoor::door() const
{
   return kSimDoor;
}
