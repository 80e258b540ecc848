#include "apps/install/setup/configValues.h"

#include "lib/install/msiGuid.h"

namespace
{

constexpr uint32_t kPrimaryLanguageMask = 0x3FF;
// Chinese (Taiwan) and Chinese (Hong Kong) share their primary language with Simplified
// Chinese; a close match would hand them the wrong script.
constexpr uint16_t kNoCloseMatch[] = {0x404, 0xC04};

bool IsCSpace(char c)
{
   return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
   return c >= '0' && c <= '9';
}

struct Scanned {
   uint64_t value; // saturated just past 32 bits
   bool negative;
   bool hasDigits;
   size_t end; // index after the last digit
};

Scanned Scan(std::string_view text)
{
   Scanned s{0, false, false, 0};
   size_t i = 0;
   while (i < text.size() && IsCSpace(text[i])) {
      i++;
   }
   if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      s.negative = text[i] == '-';
      i++;
   }
   for (; i < text.size() && IsDigit(text[i]); i++) {
      s.hasDigits = true;
      if (s.value <= UINT32_MAX) {
         s.value = s.value * 10 + static_cast<uint64_t>(text[i] - '0');
      }
   }
   s.end = i;
   return s;
}

} // namespace

std::optional<uint32_t> Config_ParseNumber(std::string_view text)
{
   const Scanned s = Scan(text);
   if (!s.hasDigits || s.negative || s.end != text.size() || s.value > UINT32_MAX) {
      return std::nullopt;
   }
   return static_cast<uint32_t>(s.value);
}

uint32_t Config_LeadingNumber(std::string_view text)
{
   const Scanned s = Scan(text);
   if (!s.hasDigits) {
      return 0;
   }
   if (s.value > UINT32_MAX) {
      return UINT32_MAX;
   }
   const uint32_t value = static_cast<uint32_t>(s.value);
   return s.negative ? 0u - value : value;
}

std::optional<uint32_t> Config_ParseMsiVersion(std::string_view text)
{
   const auto value = Config_ParseNumber(text);
   if (!value || *value < kMinimumMsiVersion) {
      return std::nullopt;
   }
   return value;
}

bool Config_IsValidProductCode(std::string_view productCode)
{
   return MsiUtil_IsBracedGuid(productCode);
}

bool Config_CacheMsiOn(std::string_view value)
{
   return !value.empty() && value[0] == '1';
}

LanguageChoice Config_ChooseLanguage(std::string_view languages, uint16_t userLanguage)
{
   if (languages.empty()) {
      return {kDefaultProductLanguage, LanguageMatch::NoList};
   }
   // Each blank ends a piece, so two blanks in a row give an empty piece, which counts as 0.
   auto forEachPiece = [&](auto&& visit) {
      size_t start = 0;
      for (;;) {
         const size_t blank = languages.find(' ', start);
         const std::string_view piece =
             languages.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start);
         if (visit(Config_LeadingNumber(piece))) {
            return true;
         }
         if (blank == std::string_view::npos) {
            return false;
         }
         start = blank + 1;
      }
   };

   if (forEachPiece([&](uint32_t id) { return id == userLanguage; })) {
      return {userLanguage, LanguageMatch::Exact};
   }
   for (uint16_t excluded : kNoCloseMatch) {
      if (userLanguage == excluded) {
         return {kDefaultProductLanguage, LanguageMatch::Fallback};
      }
   }
   uint32_t close = 0;
   if (forEachPiece([&](uint32_t id) {
          close = id & 0xFFFF;
          return (id & kPrimaryLanguageMask) == (userLanguage & kPrimaryLanguageMask);
       })) {
      return {close, LanguageMatch::Close};
   }
   return {kDefaultProductLanguage, LanguageMatch::Fallback};
}
