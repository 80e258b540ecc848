#include "resedit/versionText.h"

#include <cstdio>

FixedVersionWords ResEdit_ParseVersion(const char* text)
{
   int part[4] = {0, 0, 0, 0};
   if (text != nullptr) {
      // The field width keeps at most five characters of each number: "12345678" gives 12345.
      std::sscanf(text, "%5d.%5d.%5d.%5d", &part[0], &part[1], &part[2], &part[3]);
   }
   const auto word = [&](int i) { return static_cast<uint32_t>(part[i]); };
   return {word(0) << 16 | (word(1) & 0xFFFF), word(2) << 16 | (word(3) & 0xFFFF)};
}
