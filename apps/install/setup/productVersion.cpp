#include "apps/install/setup/productVersion.h"

#include <array>
#include <cstdint>

namespace
{

constexpr size_t kVersionParts = 4;
constexpr uint64_t kPartCeiling = 0xFFFFFFFFull; // a part never grows past this, however long

// A part is its leading digits; anything after them up to the next dot is ignored.
std::array<uint64_t, kVersionParts> SplitVersion(std::string_view text)
{
   std::array<uint64_t, kVersionParts> parts{};
   size_t part = 0;
   bool inDigits = true;
   for (char c : text) {
      if (c == '.') {
         if (++part == kVersionParts) {
            break;
         }
         inDigits = true;
      } else if (inDigits && c >= '0' && c <= '9') {
         const uint64_t next = parts[part] * 10 + static_cast<uint64_t>(c - '0');
         parts[part] = next > kPartCeiling ? kPartCeiling : next;
      } else {
         inDigits = false;
      }
   }
   return parts;
}

} // namespace

int CompareProductVersions(std::string_view installed, std::string_view offered)
{
   const auto a = SplitVersion(installed);
   const auto b = SplitVersion(offered);
   for (size_t i = 0; i < kVersionParts; i++) {
      if (a[i] != b[i]) {
         return a[i] < b[i] ? -1 : 1;
      }
   }
   return 0;
}
