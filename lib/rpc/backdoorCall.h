// The register block of a hypervisor call and the door it goes through. Pure code: what is built
// on the door (the message channel, RPC out, log forwarding) is given the door to use, so it runs
// over the real trap in the product and over a host simulator in tests and fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>

// Words 0 to 6, carried in x0 to x6. Low-bandwidth calls carry only the first six.
struct BackdoorRegs {
   uint64_t ax; // magic on input; result on output
   uint64_t bx; // first argument; result or status
   uint64_t cx; // command (bits 0-15), subcommand (16-31); status (16-31) on output
   uint64_t dx; // port (bits 0-15), channel identifier (16-31)
   uint64_t si;
   uint64_t di;
   uint64_t bp; // high-bandwidth calls only
};
static_assert(sizeof(BackdoorRegs) == 56, "the stubs address the words by their offsets");

constexpr uint32_t kBackdoorMagic = 0x54584D68; // "TXMh"
// The complement of the magic, sign-extended to 64 bits, as the version request sends it.
constexpr uint64_t kBackdoorMagicComplement = 0xFFFFFFFFABA7B297ULL;
constexpr uint16_t kBackdoorPort = 0x5458;
constexpr uint16_t kBackdoorHbPort = 0x5459;
constexpr uint16_t kBackdoorCmdGetVersion = 10;
constexpr uint16_t kBackdoorCmdMessage = 30;

// The operation word in x7 that tells the hypervisor which kind of call this is.
constexpr uint64_t kBackdoorOpLowBandwidth = 0x000000860000000EULL;
constexpr uint64_t kBackdoorOpHbOut = 0x0000008600000018ULL;
constexpr uint64_t kBackdoorOpHbIn = 0x000000860000001CULL;

// The three raw calls. Each copies the words it carries into the registers, traps, and copies
// them back; none of them sets the magic or the port.
struct BackdoorDoor {
   void (*lowBandwidth)(BackdoorRegs* regs);
   void (*highBandwidthOut)(BackdoorRegs* regs);
   void (*highBandwidthIn)(BackdoorRegs* regs);
};

// Magic in ax (low 32 bits) and the low-bandwidth port in dx (bits 0-15), then the call.
void Backdoor_Call(const BackdoorDoor& door, BackdoorRegs* regs);
// Magic in ax and the high-bandwidth port in dx, then the high-bandwidth call.
void Backdoor_HbCallOut(const BackdoorDoor& door, BackdoorRegs* regs);
void Backdoor_HbCallIn(const BackdoorDoor& door, BackdoorRegs* regs);

inline uint32_t Backdoor_Low32(uint64_t word)
{
   return static_cast<uint32_t>(word);
}

// Bits 16 to 31: the status in cx, the channel identifier or reply type in dx.
inline uint16_t Backdoor_High16(uint64_t word)
{
   return static_cast<uint16_t>(word >> 16);
}
