#include "apps/install/setup/payloadDigest.h"

#include <cstring>

#include "apps/install/setup/payloadFormat.h"

namespace
{

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;
constexpr size_t kStripeBytes = 32;

uint64_t RotateLeft(uint64_t value, int bits)
{
   return (value << bits) | (value >> (64 - bits));
}

// Little-endian reads, whatever the machine.
uint64_t Read64(const unsigned char* p)
{
   uint64_t value = 0;
   for (int i = 7; i >= 0; i--) {
      value = (value << 8) | p[i];
   }
   return value;
}

uint32_t Read32(const unsigned char* p)
{
   return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
          (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Round(uint64_t lane, uint64_t input)
{
   lane += input * kPrime2;
   lane = RotateLeft(lane, 31);
   return lane * kPrime1;
}

uint64_t MergeRound(uint64_t hash, uint64_t lane)
{
   hash ^= Round(0, lane);
   return hash * kPrime1 + kPrime4;
}

void Stripe(uint64_t lanes[4], const unsigned char* p)
{
   for (int i = 0; i < 4; i++) {
      lanes[i] = Round(lanes[i], Read64(p + 8 * i));
   }
}

bool IsHexDigit(char c)
{
   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c)
{
   if (c >= '0' && c <= '9') {
      return static_cast<unsigned>(c - '0');
   }
   return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

bool SameName(std::string_view a, std::string_view b)
{
   if (a.size() != b.size()) {
      return false;
   }
   for (size_t i = 0; i < a.size(); i++) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; };
      if (lower(a[i]) != lower(b[i])) {
         return false;
      }
   }
   return true;
}

} // namespace

void PayloadHash::Update(const void* data, size_t size)
{
   const auto* p = static_cast<const unsigned char*>(data);
   total_ += size;
   if (pendingBytes_ > 0) {
      const size_t take = size < kStripeBytes - pendingBytes_ ? size : kStripeBytes - pendingBytes_;
      std::memcpy(pending_ + pendingBytes_, p, take);
      pendingBytes_ += take;
      p += take;
      size -= take;
      if (pendingBytes_ < kStripeBytes) {
         return;
      }
      Stripe(lanes_, pending_);
      pendingBytes_ = 0;
   }
   for (; size >= kStripeBytes; p += kStripeBytes, size -= kStripeBytes) {
      Stripe(lanes_, p);
   }
   std::memcpy(pending_, p, size);
   pendingBytes_ = size;
}

uint64_t PayloadHash::Digest() const
{
   uint64_t hash;
   if (total_ >= kStripeBytes) {
      hash = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
             RotateLeft(lanes_[3], 18);
      for (uint64_t lane : lanes_) {
         hash = MergeRound(hash, lane);
      }
   } else {
      hash = kPrime5;
   }
   hash += total_;
   const unsigned char* p = pending_;
   size_t left = pendingBytes_;
   for (; left >= 8; p += 8, left -= 8) {
      hash ^= Round(0, Read64(p));
      hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
   }
   if (left >= 4) {
      hash ^= static_cast<uint64_t>(Read32(p)) * kPrime1;
      hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
      p += 4;
      left -= 4;
   }
   for (; left > 0; p++, left--) {
      hash ^= *p * kPrime5;
      hash = RotateLeft(hash, 11) * kPrime1;
   }
   hash ^= hash >> 33;
   hash *= kPrime2;
   hash ^= hash >> 29;
   hash *= kPrime3;
   hash ^= hash >> 32;
   return hash;
}

uint64_t Payload_Hash(std::string_view bytes)
{
   PayloadHash hash;
   hash.Update(bytes.data(), bytes.size());
   return hash.Digest();
}

std::string Payload_DigestText(uint64_t digest)
{
   static constexpr char kHex[] = "0123456789abcdef";
   std::string text(kPayloadDigestHexChars, '0');
   for (size_t i = kPayloadDigestHexChars; i-- > 0; digest >>= 4) {
      text[i] = kHex[digest & 0xF];
   }
   return text;
}

std::string Payload_FormatDigests(const std::vector<PayloadDigest>& digests)
{
   std::string text;
   for (const PayloadDigest& entry : digests) {
      text += Payload_DigestText(entry.digest) + " " + entry.name + "\n";
   }
   return text;
}

std::optional<std::vector<PayloadDigest>> Payload_ParseDigests(std::string_view text, std::string* problem)
{
   const auto fail = [problem](const std::string& why) {
      if (problem != nullptr) {
         *problem = why;
      }
      return std::nullopt;
   };
   std::vector<PayloadDigest> digests;
   size_t lineNumber = 0;
   while (!text.empty()) {
      lineNumber++;
      const size_t end = text.find('\n');
      if (end == std::string_view::npos) {
         return fail("line " + std::to_string(lineNumber) + " does not end with a line feed");
      }
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end + 1);
      if (!line.empty() && line.back() == '\r') {
         line.remove_suffix(1);
      }
      if (line.size() < kPayloadDigestHexChars + 2 || line[kPayloadDigestHexChars] != ' ') {
         return fail("line " + std::to_string(lineNumber) + " is not 16 hex digits, a blank and a file name");
      }
      uint64_t digest = 0;
      for (size_t i = 0; i < kPayloadDigestHexChars; i++) {
         if (!IsHexDigit(line[i])) {
            return fail("line " + std::to_string(lineNumber) + " does not start with 16 hex digits");
         }
         digest = (digest << 4) | HexValue(line[i]);
      }
      const std::string_view name = line.substr(kPayloadDigestHexChars + 1);
      if (name.find('\0') != std::string_view::npos) {
         // The name check reads up to the first NUL, as in the container's name fields.
         return fail("line " + std::to_string(lineNumber) + ": the name holds a NUL");
      }
      const PayloadName nameProblem = Payload_CheckName(std::string(name) + '\0');
      if (nameProblem != PayloadName::Ok) {
         return fail("line " + std::to_string(lineNumber) + ": " + Payload_NameProblem(nameProblem));
      }
      if (Payload_FindDigest(digests, name) != nullptr) {
         return fail("line " + std::to_string(lineNumber) + " names a file listed before");
      }
      if (digests.size() == kMaxPayloadDigests) {
         return fail("more than 4096 lines");
      }
      digests.push_back({std::string(name), digest});
   }
   if (digests.empty()) {
      return fail("no line");
   }
   return digests;
}

const PayloadDigest* Payload_FindDigest(const std::vector<PayloadDigest>& digests, std::string_view name)
{
   for (const PayloadDigest& entry : digests) {
      if (SameName(entry.name, name)) {
         return &entry;
      }
   }
   return nullptr;
}
