// RPC out through the hypervisor door, and the logged status line of the launcher.
#include "lib/rpc/hostRpc.h"

#include <cstring>

#include "lib/install/log.h"
#include "lib/rpc/backdoor.h"
#include "lib/rpc/vmCheck.h"

bool RpcOut_SendRequest(const char* request, size_t length, char* callerBuffer, size_t callerBufferSize, char** reply,
                        size_t* replyLength)
{
   return RpcOut_SendRequest(Backdoor_HypervisorDoor(), request, length, callerBuffer, callerBufferSize, reply,
                             replyLength);
}

bool RpcOut_SendFormatted(char** reply, size_t* replyLength, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   const bool sent = RpcOut_SendFormattedV(Backdoor_HypervisorDoor(), reply, replyLength, fmt, args);
   va_end(args);
   return sent;
}

bool SendRpcToHost(const char* command)
{
   Inst_LogMsg("Sending rpc command '%s' to the host", command);
   if (!VmCheck_IsVirtualWorld()) {
      Inst_LogMsg("Failed to send rpc, because we are not in a VM");
      return false;
   }
   if (!RpcOut_SendRequest(command, strlen(command), nullptr, 0, nullptr, nullptr)) {
      Inst_LogMsg("Failed to send rpc command '%s'", command);
      return false;
   }
   return true;
}
