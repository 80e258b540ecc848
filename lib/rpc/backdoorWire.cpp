// Encoding of the emulation transport's messages: fixed little-endian headers, then the bytes.
#include "lib/rpc/backdoorWire.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kCallTag = 0x31574243;   // "CBW1"
constexpr uint32_t kAnswerTag = 0x31574241; // "ABW1"
// tag, op or action, byte count, then the seven words
constexpr size_t kHeaderBytes = 4 + 8 + 4 + sizeof(BackdoorRegs);

uint64_t* Words(BackdoorRegs& regs)
{
   return &regs.ax;
}

const uint64_t* Words(const BackdoorRegs& regs)
{
   return &regs.ax;
}

void Put(std::vector<uint8_t>& out, const void* data, size_t size)
{
   const auto* bytes = static_cast<const uint8_t*>(data);
   out.insert(out.end(), bytes, bytes + size);
}

std::vector<uint8_t> Encode(uint32_t tag, uint64_t head, const BackdoorRegs& regs, const std::vector<uint8_t>& bytes)
{
   std::vector<uint8_t> out;
   out.reserve(kHeaderBytes + bytes.size());
   const uint32_t count = static_cast<uint32_t>(bytes.size());
   Put(out, &tag, sizeof tag);
   Put(out, &head, sizeof head);
   Put(out, &count, sizeof count);
   Put(out, Words(regs), sizeof regs);
   Put(out, bytes.data(), bytes.size());
   return out;
}

bool Decode(const uint8_t* data, size_t size, uint32_t tag, uint64_t* head, BackdoorRegs* regs,
            std::vector<uint8_t>* bytes)
{
   if (data == nullptr || size < kHeaderBytes) {
      return false;
   }
   uint32_t seenTag = 0;
   uint32_t count = 0;
   std::memcpy(&seenTag, data, 4);
   std::memcpy(head, data + 4, 8);
   std::memcpy(&count, data + 12, 4);
   if (seenTag != tag || size - kHeaderBytes != count) {
      return false;
   }
   std::memcpy(Words(*regs), data + 16, sizeof *regs);
   bytes->assign(data + kHeaderBytes, data + size);
   return true;
}

} // namespace

size_t BackdoorWire_WordCount(uint64_t op)
{
   switch (op) {
   case kBackdoorOpLowBandwidth:
      return 6;
   case kBackdoorOpHbOut:
   case kBackdoorOpHbIn:
      return 7;
   default:
      return 0;
   }
}

BackdoorWireCall BackdoorWire_MakeCall(uint64_t op, const BackdoorRegs& regs)
{
   BackdoorWireCall call;
   call.op = op;
   std::copy_n(Words(regs), BackdoorWire_WordCount(op), Words(call.regs));
   if (op == kBackdoorOpHbOut && regs.si != 0) {
      const auto* payload = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(regs.si));
      call.bytes.assign(payload, payload + Backdoor_Low32(regs.cx));
   }
   return call;
}

BackdoorAnswer BackdoorWire_Apply(uint64_t op, const BackdoorWireAnswer& answer, BackdoorRegs* regs)
{
   if (answer.action != BackdoorAnswer::Answered) {
      return answer.action;
   }
   if (op == kBackdoorOpHbIn && regs->di != 0) {
      auto* buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(regs->di));
      const size_t n = std::min<size_t>(answer.bytes.size(), Backdoor_Low32(regs->cx));
      // An answer without bytes has no data pointer, which memcpy must not get even for 0 bytes.
      if (n > 0) {
         std::memcpy(buffer, answer.bytes.data(), n);
      }
   }
   std::copy_n(Words(answer.regs), BackdoorWire_WordCount(op), Words(*regs));
   return BackdoorAnswer::Answered;
}

std::vector<uint8_t> BackdoorWire_EncodeCall(const BackdoorWireCall& call)
{
   return Encode(kCallTag, call.op, call.regs, call.bytes);
}

bool BackdoorWire_DecodeCall(const uint8_t* data, size_t size, BackdoorWireCall* call)
{
   return Decode(data, size, kCallTag, &call->op, &call->regs, &call->bytes);
}

std::vector<uint8_t> BackdoorWire_EncodeAnswer(const BackdoorWireAnswer& answer)
{
   return Encode(kAnswerTag, static_cast<uint64_t>(answer.action), answer.regs, answer.bytes);
}

bool BackdoorWire_DecodeAnswer(const uint8_t* data, size_t size, BackdoorWireAnswer* answer)
{
   uint64_t action = 0;
   if (!Decode(data, size, kAnswerTag, &action, &answer->regs, &answer->bytes) ||
       action > static_cast<uint64_t>(BackdoorAnswer::Fault)) {
      return false;
   }
   answer->action = static_cast<BackdoorAnswer>(action);
   return true;
}

size_t BackdoorWire_AnswerCapacity(uint64_t op, const BackdoorRegs& regs)
{
   return kHeaderBytes + (op == kBackdoorOpHbIn ? Backdoor_Low32(regs.cx) : 0);
}
