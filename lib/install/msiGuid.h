// The packed form of a product or component code, as Windows Installer names its registration
// keys with it. Pure code: no Windows header.
#pragma once

#include <cstddef>
#include <string_view>

constexpr size_t kBracedGuidChars = 38;
constexpr size_t kPackedGuidBytes = 33; // 32 hex digits and a NUL

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} with hex digits of either case.
bool MsiUtil_IsBracedGuid(std::string_view text);

// Reverses the first three groups and swaps the digits of each of the last eight bytes; letter
// case is kept. False when `out` is too small or the code is not a braced GUID (the packing
// reads fixed positions, so anything shorter would be read past its end).
bool MsiUtil_PackGuid(std::string_view productCode, char* out, size_t outSize);
