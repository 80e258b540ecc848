// The payload's digests: XXH64 of every entry, recorded by the packer in the configuration key
// PAYLOAD_XXH64 and checked by the launcher while it streams each entry to disk. The threat is
// damage (a bad disk image, a flaky share, a copy cut short but padded), not tampering, which
// the signatures cover: a fast 64-bit hash checks every byte at about the speed of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr char kPayloadDigestKey[] = "PAYLOAD_XXH64";
constexpr size_t kPayloadDigestHexChars = 16;
constexpr size_t kMaxPayloadDigests = 4096;

// XXH64 with seed 0, fed in pieces of any size.
class PayloadHash
{
 public:
   void Update(const void* data, size_t size);
   uint64_t Digest() const;

 private:
   uint64_t lanes_[4] = {0x9E3779B185EBCA87ULL + 0xC2B2AE3D27D4EB4FULL, 0xC2B2AE3D27D4EB4FULL, 0,
                         0 - 0x9E3779B185EBCA87ULL};
   unsigned char pending_[32] = {};
   size_t pendingBytes_ = 0;
   uint64_t total_ = 0;
};

uint64_t Payload_Hash(std::string_view bytes);
std::string Payload_DigestText(uint64_t digest); // 16 lower-case hex digits

struct PayloadDigest {
   std::string name;
   uint64_t digest = 0;
};

// The key's value: one line per entry, "<16 hex digits> <name>", lines ending with "\n" (a
// "\r\n" is accepted too), in the container's order.
std::string Payload_FormatDigests(const std::vector<PayloadDigest>& digests);

// Reads the key's value. Nothing is taken from a value with any fault: a line that is not 16
// hex digits, one blank and a plain file name, a name listed twice, more than 4096 lines, or no
// line at all. `problem` says which fault, for the log.
std::optional<std::vector<PayloadDigest>> Payload_ParseDigests(std::string_view text, std::string* problem);

// The recorded digest of `name` (file names compare without regard to case, as Windows opens
// them), or null.
const PayloadDigest* Payload_FindDigest(const std::vector<PayloadDigest>& digests, std::string_view name);
