// The emulation transport's messages. Where no hypervisor traps the call (the x64 test build under
// Wine), a call is handed to a host simulator as one message and its answer applied to the block:
// the words the call carries and, for high-bandwidth calls, the bytes at the block's addresses.
// Shared by the transport and the simulator so that both read the same format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/rpc/backdoorCall.h"

// The environment variable naming the simulator's pipe (\\.\pipe\...). Unset: bare hardware.
#define BACKDOOR_SIMULATOR_VARIABLE "TX_HOSTSIM_PIPE"
constexpr char kBackdoorSimulatorVariable[] = BACKDOOR_SIMULATOR_VARIABLE;

// What became of the trap.
enum class BackdoorAnswer : uint32_t {
   Answered = 0,   // the host performed the request; the registers carry its answer
   Unanswered = 1, // bare hardware that ignores the trap: the registers come back unchanged
   Fault = 2,      // bare hardware that raises a processor exception in the calling thread
};

struct BackdoorWireCall {
   uint64_t op = 0;            // the x7 operation word
   BackdoorRegs regs{};        // words the call does not carry are zero
   std::vector<uint8_t> bytes; // high-bandwidth out: the payload at si
};

struct BackdoorWireAnswer {
   BackdoorAnswer action = BackdoorAnswer::Unanswered;
   BackdoorRegs regs{};
   std::vector<uint8_t> bytes; // high-bandwidth in: the payload for the buffer at di
};

// 6 for a low-bandwidth call, 7 for a high-bandwidth one, 0 for an unknown operation.
size_t BackdoorWire_WordCount(uint64_t op);

// The call as the host sees it: only the words it carries, and for a high-bandwidth send the
// cx bytes at si.
BackdoorWireCall BackdoorWire_MakeCall(uint64_t op, const BackdoorRegs& regs);
// Copies an answered call back: the carried words and, for a high-bandwidth receive, at most cx
// bytes into the buffer at di (the guest's buffer is never written past what it offered).
BackdoorAnswer BackdoorWire_Apply(uint64_t op, const BackdoorWireAnswer& answer, BackdoorRegs* regs);

std::vector<uint8_t> BackdoorWire_EncodeCall(const BackdoorWireCall& call);
bool BackdoorWire_DecodeCall(const uint8_t* data, size_t size, BackdoorWireCall* call);
std::vector<uint8_t> BackdoorWire_EncodeAnswer(const BackdoorWireAnswer& answer);
bool BackdoorWire_DecodeAnswer(const uint8_t* data, size_t size, BackdoorWireAnswer* answer);
// The largest encoded answer the call can get (a high-bandwidth receive brings up to cx bytes).
size_t BackdoorWire_AnswerCapacity(uint64_t op, const BackdoorRegs& regs);
