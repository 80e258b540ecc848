#include "lib/install/msiGuid.h"

namespace
{

// Source positions of each packed character, in output order.
constexpr unsigned char kPackOrder[32] = {8,  7,  6,  5,  4,  3,  2,  1,  13, 12, 11, 10, 18, 17, 16, 15,
                                          21, 20, 23, 22, 26, 25, 28, 27, 30, 29, 32, 31, 34, 33, 36, 35};

bool IsHexDigit(char c)
{
   return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

bool MsiUtil_IsBracedGuid(std::string_view text)
{
   if (text.size() != kBracedGuidChars || text.front() != '{' || text.back() != '}') {
      return false;
   }
   for (size_t i = 1; i + 1 < text.size(); i++) {
      const bool hyphenPlace = i == 9 || i == 14 || i == 19 || i == 24;
      if (hyphenPlace ? text[i] != '-' : !IsHexDigit(text[i])) {
         return false;
      }
   }
   return true;
}

bool MsiUtil_PackGuid(std::string_view productCode, char* out, size_t outSize)
{
   if (out == nullptr || outSize < kPackedGuidBytes || !MsiUtil_IsBracedGuid(productCode)) {
      return false;
   }
   for (size_t i = 0; i < sizeof kPackOrder; i++) {
      out[i] = productCode[kPackOrder[i]];
   }
   out[sizeof kPackOrder] = '\0';
   return true;
}
