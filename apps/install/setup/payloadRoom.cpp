#include "apps/install/setup/payloadRoom.h"

namespace
{
constexpr uint64_t kMiB = 0x100000;
constexpr uint64_t kFixedExtra = 0x600000;     // 6 MiB
constexpr uint64_t kRuntime32Room = 0x1400000; // 20 MiB per 32-bit runtime package
constexpr uint64_t kRuntime64Room = 0x1800000; // 24 MiB per 64-bit runtime package
constexpr double kPayloadFactor = 1.2;

uint64_t AddSaturated(uint64_t a, uint64_t b)
{
   return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}
} // namespace

uint64_t Room_Required(uint64_t payloadSize, std::optional<uint32_t> requiredMegabytes,
                       const RuntimeResources& runtimes)
{
   const double scaled = static_cast<double>(payloadSize) * kPayloadFactor;
   // 2^64 is exactly representable; anything at or above it does not fit.
   uint64_t room = scaled >= 18446744073709551616.0 ? UINT64_MAX : scaled <= 0 ? 0 : static_cast<uint64_t>(scaled);
   room = AddSaturated(room, kFixedExtra);
   if (requiredMegabytes) {
      return AddSaturated(room, static_cast<uint64_t>(*requiredMegabytes) * kMiB);
   }
   for (bool present : {runtimes.vcRuntime32, runtimes.vcRuntime32Alt}) {
      room = present ? AddSaturated(room, kRuntime32Room) : room;
   }
   for (bool present : {runtimes.vcRuntime64, runtimes.vcRuntime64Alt}) {
      room = present ? AddSaturated(room, kRuntime64Room) : room;
   }
   return room;
}

uint64_t Room_Megabytes(uint64_t bytes)
{
   return bytes == 0 ? 0 : bytes / kMiB + 1;
}
