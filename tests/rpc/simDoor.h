// A door straight into an in-process simulated host. Each call takes the path the emulation
// transport takes over its pipe (the wire encoding both ways), without the pipe.
#pragma once

#include "lib/rpc/backdoorCall.h"
#include "tools/hostsim/hostSim.h"

// Routes the door's calls to `sim` while the object lives (one at a time).
class CSimDoor {
public:
   explicit CSimDoor(CHostSim& sim);
   ~CSimDoor();
   CSimDoor(const CSimDoor&) = delete;
   CSimDoor& operator=(const CSimDoor&) = delete;

   // A call the simulator answers as faulting bare hardware comes back unchanged: in-process
   // there is no trap to raise.
   const BackdoorDoor& door() const;
};
