// The message channel to the host: a channel opened for one protocol carries whole messages
// both ways over the hypervisor call, in 4-byte pieces or, when the host offers it, in one
// high-bandwidth transfer. Pure code over the door it is opened through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/rpc/backdoorCall.h"

constexpr uint32_t kMsgProtocolRpci = 0x49435052; // "RPCI"

// The words of the protocol, shared by the guest below and by the simulated host of the tests.
// Message requests are command 30 with one of these in bits 16-31 of cx.
enum MsgSubcommand : uint16_t {
   kMsgOpen = 0,
   kMsgSendSize = 1,
   kMsgSendPayload = 2,
   kMsgReceiveSize = 3,
   kMsgReceivePayload = 4,
   kMsgReceiveStatus = 5,
   kMsgClose = 6,
};
// Status bits, answered in bits 16-31 of cx (of bx after a high-bandwidth transfer).
constexpr uint16_t kMsgStatusSuccess = 0x0001;
constexpr uint16_t kMsgStatusReplyWaiting = 0x0002;
constexpr uint16_t kMsgStatusInterrupted = 0x0010; // restart the transfer from its size step
constexpr uint16_t kMsgStatusHighBandwidth = 0x0080;
// Reply types in bits 16-31 of dx.
constexpr uint16_t kMsgReplyTypeSize = 1;
constexpr uint16_t kMsgReplyTypePayload = 2;
constexpr uint32_t kMsgAskForCookies = 0x80000000; // with the protocol number of an open
constexpr uint64_t kMsgHbCommand = 0x00010000;     // bx of a transfer: command 0, success in bits 16-31

// A value on the caller's stack; zero-filled before open.
struct MsgChannel {
   uint16_t id;
   char* buffer; // receive buffer; null until the first receive when the channel owns it
   uint64_t bufferSize;
   uint8_t callerOwnsBuffer; // such a buffer is never grown or freed by the channel
   uint32_t cookieHigh;
   uint32_t cookieLow;
   const BackdoorDoor* door; // the door the channel was opened through
};

bool MsgChannel_Open(const BackdoorDoor& door, uint32_t protocol, MsgChannel* channel, char* buffer, size_t bufferSize);
bool MsgChannel_Send(MsgChannel* channel, const char* bytes, size_t size);
// The bytes point into the channel's buffer, are followed by a NUL and stay valid until the next
// receive or the close. Nothing waiting gives true with a size of 0.
bool MsgChannel_Receive(MsgChannel* channel, char** bytes, size_t* size);
bool MsgChannel_Close(MsgChannel* channel);
