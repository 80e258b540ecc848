// The version-number text of the resource editor ("13.0.1.24680135") as the two 32-bit words of
// a fixed version record. Pure code.
#pragma once

#include <cstdint>

struct FixedVersionWords {
   uint32_t mostSignificant;  // first << 16 | second
   uint32_t leastSignificant; // third << 16 | fourth
};

// Reads up to four numbers of at most five characters each ("%5d.%5d.%5d.%5d"); missing
// numbers are 0 and only the low 16 bits of the second and fourth count.
FixedVersionWords ResEdit_ParseVersion(const char* text);
