// The message channel to the host: a channel opened for one protocol carries whole messages
// both ways over the hypervisor call, in 4-byte pieces or, when the host offers it, in one
// high-bandwidth transfer. Pure code over the door it is opened through.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/rpc/backdoorCall.h"

constexpr uint32_t kMsgProtocolRpci = 0x49435052; // "RPCI"

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
