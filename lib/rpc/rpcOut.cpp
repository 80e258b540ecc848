// The guest's RPC: the command, then a reply that starts with "1 " (carried out) or "0 "
// (refused) followed by the reply text.
#include "lib/rpc/rpcOut.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/rpc/msgChannel.h"
#include "lib/rpc/rpcDebug.h"

namespace {

// For "%.*s" in the reports: they never read past the given length.
int Shown(size_t length)
{
   return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

char* CopyReply(const char* text, size_t length)
{
   char* copy = static_cast<char*>(malloc(length + 1));
   if (copy != nullptr) {
      memcpy(copy, text, length);
      copy[length] = '\0';
   }
   return copy;
}

} // namespace

bool RpcOut_SendRequest(const BackdoorDoor& door, const char* request, size_t length, char* callerBuffer,
                        size_t callerBufferSize, char** reply, size_t* replyLength)
{
   Rpc_Debug("Rpci: Sending request='%.*s'\n", Shown(length), request);
   MsgChannel channel{};
   if (!MsgChannel_Open(door, kMsgProtocolRpci, &channel, callerBuffer, callerBufferSize)) {
      Rpc_Debug("RpcOut: couldn't open channel with RPCI protocol\n");
      if (callerBuffer != nullptr && callerBufferSize > 0) {
         const size_t n = std::min(sizeof kRpcOutOpenFailed - 1, callerBufferSize - 1);
         memcpy(callerBuffer, kRpcOutOpenFailed, n);
         callerBuffer[n] = '\0';
      }
      if (reply != nullptr) {
         *reply = nullptr;
      }
      return false;
   }

   const char* text = nullptr;
   size_t textLength = 0;
   bool status = false;
   bool rpcStatus = false;
   char* received = nullptr;
   size_t receivedLength = 0;
   if (!MsgChannel_Send(&channel, request, length)) {
      text = kRpcOutSendFailed;
   } else if (!MsgChannel_Receive(&channel, &received, &receivedLength)) {
      text = kRpcOutReceiveFailed;
   } else if (receivedLength < 2 || (received[0] != '0' && received[0] != '1') || received[1] != ' ') {
      text = kRpcOutInvalidReply;
   } else {
      status = true;
      rpcStatus = received[0] == '1';
      text = received + 2;
      textLength = receivedLength - 2;
   }
   if (!status) {
      textLength = strlen(text);
   }
   Rpc_Debug("Rpci: Sent request='%.*s', reply='%.*s', len=%llu, status=%d, rpcStatus=%d\n", Shown(length), request,
             Shown(textLength), text, static_cast<unsigned long long>(textLength), status, rpcStatus);

   if (reply != nullptr) {
      *reply = CopyReply(text, textLength);
      if (*reply != nullptr && replyLength != nullptr) {
         *replyLength = textLength;
      }
   }
   if (!MsgChannel_Close(&channel)) {
      Rpc_Debug("RpcOut: couldn't close channel\n");
      if (reply != nullptr) {
         free(*reply);
         *reply = nullptr;
      }
      Rpc_Debug("Rpci: unable to close the communication channel\n");
      return false;
   }
   return status && rpcStatus;
}

bool RpcOut_SendFormattedV(const BackdoorDoor& door, char** reply, size_t* replyLength, const char* fmt, va_list args)
{
   va_list copy;
   va_copy(copy, args);
   const int n = vsnprintf(nullptr, 0, fmt, copy);
   va_end(copy);
   if (n < 0) {
      if (reply != nullptr) {
         *reply = nullptr;
      }
      return false;
   }
   std::string request(static_cast<size_t>(n) + 1, '\0');
   vsnprintf(request.data(), request.size(), fmt, args);
   request.resize(static_cast<size_t>(n));
   return RpcOut_SendRequest(door, request.data(), request.size(), nullptr, 0, reply, replyLength);
}

bool RpcOut_SendFormatted(const BackdoorDoor& door, char** reply, size_t* replyLength, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   const bool sent = RpcOut_SendFormattedV(door, reply, replyLength, fmt, args);
   va_end(args);
   return sent;
}
