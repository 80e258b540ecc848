// A door straight into an in-process simulated host. Each call takes the path the emulation
// transport takes over its pipe (the wire encoding both ways), without the pipe; or, for the
// fuzzer that drives thousands of calls an input, straight to the simulator (the wire's round
// trip has a fuzz target of its own).
#pragma once

#include "lib/rpc/backdoorCall.h"
#include "tools/hostsim/hostSim.h"

// Routes the door's calls to `sim` while the object lives (one at a time).
class CSimDoor {
public:
   enum class Wire { Encoded, Direct };
   explicit CSimDoor(CHostSim& sim, Wire wire = Wire::Encoded);
   ~CSimDoor();
   CSimDoor(const CSimDoor&) = delete;
   CSimDoor& operator=(const CSimDoor&) = delete;

   // A call the simulator answers as faulting bare hardware comes back unchanged: in-process
   // there is no trap to raise.
   const BackdoorDoor& door() const;
};
