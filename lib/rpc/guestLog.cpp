// Guest log forwarding through the hypervisor door, behind the virtual environment check.
#include "lib/rpc/guestLog.h"

#include "lib/rpc/backdoor.h"
#include "lib/rpc/vmCheck.h"

uint32_t GuestLog_GetHostLevel()
{
   if (!VmCheck_IsVirtualWorld()) {
      return kGuestLogLevelOff;
   }
   return GuestLog_GetHostLevel(Backdoor_HypervisorDoor());
}

bool GuestLog_ForwardText(const char* text, size_t length)
{
   if (!VmCheck_IsVirtualWorld()) {
      return false;
   }
   return GuestLog_ForwardText(Backdoor_HypervisorDoor(), text, length);
}
