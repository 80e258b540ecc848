// RPCs to the host this program runs under, through the hypervisor call.
#pragma once

#include <cstddef>

#include "lib/rpc/rpcOut.h"

bool RpcOut_SendRequest(const char* request, size_t length, char* callerBuffer, size_t callerBufferSize, char** reply,
                        size_t* replyLength);
bool RpcOut_SendFormatted(char** reply, size_t* replyLength, const char* fmt, ...) TX_PRINTF(3, 4);

// Sends one status line with its launcher log lines: "Sending rpc command '%s' to the host",
// then "Failed to send rpc, because we are not in a VM" (nothing sent) or, when the host does
// not carry it out, "Failed to send rpc command '%s'". The command is sent as it is, never used
// as a format. True when the host carried it out.
bool SendRpcToHost(const char* command);
