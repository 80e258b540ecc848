// RPC out: one text command to the host over a fresh RPCI channel (open, send, receive, close)
// and the host's one-line reply. Pure code over the door it is given.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "lib/misc/panic.h"
#include "lib/rpc/backdoorCall.h"

// True only when the command went through and the host answered it as carried out ("1 ").
// `callerBuffer` (optional) receives the reply instead of a channel-owned buffer; a reply that
// does not fit fails the receive. When `reply` is given it gets a NUL-terminated copy of the
// reply text (the text after the two status bytes, or the text of what went wrong), allocated
// with malloc and freed by the caller with free(); null when memory ran out or the channel could
// not be opened.
bool RpcOut_SendRequest(const BackdoorDoor& door, const char* request, size_t length, char* callerBuffer,
                        size_t callerBufferSize, char** reply, size_t* replyLength);

// Formats the command (printf conventions, UTF-8) and sends it with its own length. A format that
// cannot be produced sets the reply (when asked for) to null and gives false.
bool RpcOut_SendFormatted(const BackdoorDoor& door, char** reply, size_t* replyLength, const char* fmt, ...)
    TX_PRINTF(4, 5);
bool RpcOut_SendFormattedV(const BackdoorDoor& door, char** reply, size_t* replyLength, const char* fmt, va_list args);

inline constexpr char kRpcOutOpenFailed[] = "RpcOut: Unable to open the communication channel";
inline constexpr char kRpcOutSendFailed[] = "RpcOut: Unable to send the RPCI command";
inline constexpr char kRpcOutReceiveFailed[] = "RpcOut: Unable to receive the result of the RPCI command";
inline constexpr char kRpcOutInvalidReply[] = "RpcOut: Invalid format for the result of the RPCI command";
