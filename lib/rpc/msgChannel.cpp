// The guest half of the message-channel protocol.
#include "lib/rpc/msgChannel.h"

#include <algorithm>
#include <cstdlib>

namespace
{

// A host that reports every attempt as interrupted would otherwise keep the guest in the loop
// for ever; a legitimate host interrupts a transfer a few times at most.
constexpr unsigned kMaxTransferRestarts = 16;

uint64_t Command(uint16_t subcommand)
{
   return kBackdoorCmdMessage | (static_cast<uint64_t>(subcommand) << 16);
}

// One low-bandwidth request of an open channel; returns the answered block.
BackdoorRegs Request(const MsgChannel& channel, uint16_t subcommand, uint32_t bx)
{
   BackdoorRegs regs{};
   regs.bx = bx;
   regs.cx = Command(subcommand);
   regs.dx = static_cast<uint64_t>(channel.id) << 16;
   regs.si = channel.cookieHigh;
   regs.di = channel.cookieLow;
   Backdoor_Call(*channel.door, &regs);
   return regs;
}

uint16_t Status(const BackdoorRegs& regs)
{
   return Backdoor_High16(regs.cx);
}

uint32_t Pack(const char* bytes, size_t count)
{
   uint32_t word = 0;
   for (size_t i = 0; i < count; i++) {
      word |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
   }
   return word;
}

void Unpack(uint32_t word, char* bytes, size_t count)
{
   for (size_t i = 0; i < count; i++) {
      bytes[i] = static_cast<char>(word >> (8 * i));
   }
}

bool OpenRequest(const BackdoorDoor& door, uint32_t protocol, BackdoorRegs* regs)
{
   *regs = BackdoorRegs{};
   regs->bx = protocol;
   regs->cx = Command(kMsgOpen);
   Backdoor_Call(door, regs);
   return (Status(*regs) & kMsgStatusSuccess) != 0;
}

enum class Transfer { Done, Interrupted, Failed };

Transfer Outcome(uint16_t status)
{
   if (status & kMsgStatusSuccess) {
      return Transfer::Done;
   }
   return (status & kMsgStatusInterrupted) ? Transfer::Interrupted : Transfer::Failed;
}

// One attempt at sending the payload after its size was accepted.
Transfer SendPayload(const MsgChannel& channel, uint16_t sizeStatus, const char* bytes, size_t size)
{
   if (sizeStatus & kMsgStatusHighBandwidth) {
      if (size == 0) {
         return Transfer::Done;
      }
      BackdoorRegs regs{};
      regs.bx = kMsgHbCommand;
      regs.cx = size;
      regs.dx = static_cast<uint64_t>(channel.id) << 16;
      regs.si = reinterpret_cast<uintptr_t>(bytes);
      regs.di = channel.cookieLow;
      regs.bp = channel.cookieHigh;
      Backdoor_HbCallOut(*channel.door, &regs);
      return Outcome(Backdoor_High16(regs.bx));
   }
   for (size_t sent = 0; sent < size; sent += 4) {
      const size_t count = std::min<size_t>(4, size - sent);
      const Transfer piece = Outcome(Status(Request(channel, kMsgSendPayload, Pack(bytes + sent, count))));
      if (piece != Transfer::Done) {
         return piece;
      }
   }
   return Transfer::Done;
}

// Fills `into` with `size` bytes of the announced reply, in one transfer or in 4-byte pieces.
// `expected` counts the bytes the host still has to hand over in pieces.
Transfer ReceivePayload(const MsgChannel& channel, uint16_t sizeStatus, char* into, uint32_t size, uint32_t* expected)
{
   if (sizeStatus & kMsgStatusHighBandwidth) {
      BackdoorRegs regs{};
      regs.bx = kMsgHbCommand;
      regs.cx = size;
      regs.dx = static_cast<uint64_t>(channel.id) << 16;
      regs.si = channel.cookieHigh;
      regs.di = reinterpret_cast<uintptr_t>(into);
      regs.bp = channel.cookieLow;
      Backdoor_HbCallIn(*channel.door, &regs);
      return Outcome(Backdoor_High16(regs.bx));
   }
   while (*expected > 0) {
      const BackdoorRegs regs = Request(channel, kMsgReceivePayload, 1);
      const Transfer piece = Outcome(Status(regs));
      if (piece != Transfer::Done) {
         return piece;
      }
      if (Backdoor_High16(regs.dx) != kMsgReplyTypePayload) {
         return Transfer::Failed;
      }
      const uint32_t count = std::min<uint32_t>(4, *expected);
      Unpack(Backdoor_Low32(regs.bx), into + (size - *expected), count);
      *expected -= count;
   }
   return Transfer::Done;
}

} // namespace

bool MsgChannel_Open(const BackdoorDoor& door, uint32_t protocol, MsgChannel* channel, char* buffer, size_t bufferSize)
{
   *channel = MsgChannel{};
   BackdoorRegs regs;
   if (!OpenRequest(door, protocol | kMsgAskForCookies, &regs) && !OpenRequest(door, protocol, &regs)) {
      return false;
   }
   channel->id = Backdoor_High16(regs.dx);
   channel->cookieHigh = Backdoor_Low32(regs.si);
   channel->cookieLow = Backdoor_Low32(regs.di);
   channel->buffer = buffer;
   channel->bufferSize = bufferSize;
   channel->callerOwnsBuffer = buffer != nullptr;
   channel->door = &door;
   return true;
}

bool MsgChannel_Send(MsgChannel* channel, const char* bytes, size_t size)
{
   if (size > UINT32_MAX) {
      return false; // the size travels in 32 bits
   }
   for (unsigned attempt = 0; attempt <= kMaxTransferRestarts; attempt++) {
      const uint16_t sizeStatus = Status(Request(*channel, kMsgSendSize, static_cast<uint32_t>(size)));
      if (!(sizeStatus & kMsgStatusSuccess)) {
         return false;
      }
      const Transfer sent = SendPayload(*channel, sizeStatus, bytes, size);
      if (sent != Transfer::Interrupted) {
         return sent == Transfer::Done;
      }
   }
   return false;
}

bool MsgChannel_Receive(MsgChannel* channel, char** bytes, size_t* size)
{
   static char empty[1] = "";
   uint32_t expected = 0;
   for (unsigned attempt = 0; attempt <= kMaxTransferRestarts; attempt++) {
      expected = 0;
      const BackdoorRegs sizeRegs = Request(*channel, kMsgReceiveSize, 0);
      const uint16_t sizeStatus = Status(sizeRegs);
      if (!(sizeStatus & kMsgStatusSuccess)) {
         return false;
      }
      if (!(sizeStatus & kMsgStatusReplyWaiting)) {
         *bytes = empty;
         *size = 0;
         return true;
      }
      if (Backdoor_High16(sizeRegs.dx) != kMsgReplyTypeSize) {
         return false; // not a size announcement: nothing was taken, so the host is not told
      }
      const uint32_t announced = Backdoor_Low32(sizeRegs.bx);
      expected = announced;
      const uint64_t needed = static_cast<uint64_t>(announced) + 1;
      if (channel->bufferSize < needed) {
         if (channel->callerOwnsBuffer) {
            break;
         }
         char* grown = static_cast<char*>(realloc(channel->buffer, needed));
         if (grown == nullptr) {
            break;
         }
         channel->buffer = grown;
         channel->bufferSize = needed;
      }
      *bytes = channel->buffer;
      *size = announced;
      if (announced > 0) {
         const Transfer got = ReceivePayload(*channel, sizeStatus, channel->buffer, announced, &expected);
         if (got == Transfer::Interrupted) {
            continue;
         }
         if (got == Transfer::Failed) {
            break;
         }
      }
      channel->buffer[announced] = '\0';
      const Transfer done = Outcome(Status(Request(*channel, kMsgReceiveStatus, 1)));
      if (done == Transfer::Done) {
         return true;
      }
      if (done == Transfer::Failed) {
         break;
      }
   }
   // Tell the host the reply was not taken: on the payload step while bytes are still expected.
   Request(*channel, expected != 0 ? kMsgReceivePayload : kMsgReceiveStatus, 0);
   return false;
}

bool MsgChannel_Close(MsgChannel* channel)
{
   const uint16_t status = Status(Request(*channel, kMsgClose, 0));
   if (!channel->callerOwnsBuffer) {
      free(channel->buffer);
      channel->bufferSize = 0;
   }
   channel->buffer = nullptr;
   return (status & kMsgStatusSuccess) != 0;
}
