#include "apps/install/setup/ui/splashLanguage.h"

#include "lib/unicode/unicodeSimple.h"

namespace
{

constexpr uint16_t kEnglish = 1033;
constexpr uint16_t kPrimaryMask = 0x3FF;
constexpr uint16_t kChineseTaiwan = 1028;
constexpr uint16_t kChineseHongKong = 3076;

// The C library's decimal conversion of a piece: leading digits, none gives 0.
uint32_t LeadingNumber(std::string_view piece)
{
   uint32_t value = 0;
   for (char c : piece) {
      if (c < '0' || c > '9' || value > 0xFFFFFF) {
         break;
      }
      value = value * 10 + static_cast<uint32_t>(c - '0');
   }
   return value;
}

} // namespace

uint16_t ChooseSplashLanguage(std::string_view languages, uint16_t systemLanguage)
{
   if (languages.empty()) {
      return kEnglish;
   }
   // Simplified Chinese art is not shown to Traditional Chinese systems.
   if (languages.find("2052") != std::string_view::npos &&
       (systemLanguage == kChineseTaiwan || systemLanguage == kChineseHongKong)) {
      return kEnglish;
   }
   if (languages.find(std::to_string(systemLanguage)) != std::string_view::npos) {
      return systemLanguage;
   }
   size_t pos = 0;
   while (pos <= languages.size()) {
      size_t blank = languages.find(' ', pos);
      if (blank == std::string_view::npos) {
         blank = languages.size();
      }
      const uint32_t candidate = LeadingNumber(languages.substr(pos, blank - pos));
      if ((candidate & kPrimaryMask) == (systemLanguage & kPrimaryMask)) {
         return static_cast<uint16_t>(candidate);
      }
      pos = blank + 1;
   }
   return kEnglish;
}

std::optional<std::string> SplashBitmapPath(std::string_view modulePath, uint16_t language)
{
   const size_t slash = modulePath.rfind('\\');
   if (slash == std::string_view::npos) {
      return std::nullopt;
   }
   return std::string(modulePath.substr(0, slash + 1)) + std::to_string(language) + ".bmp";
}

std::string FormatMessageText(std::string_view pattern, std::string_view insert, size_t maxBytes)
{
   std::string text;
   bool inserted = false;
   for (size_t i = 0; i < pattern.size(); i++) {
      if (pattern[i] == '%' && i + 1 < pattern.size()) {
         if (pattern[i + 1] == '%') {
            text += '%';
            i++;
            continue;
         }
         if (pattern[i + 1] == 's' && !inserted) {
            text += insert;
            inserted = true;
            i++;
            continue;
         }
      }
      text += pattern[i];
   }
   if (maxBytes == 0) {
      return std::string();
   }
   text.resize(Unicode_Utf8CutPoint(text, maxBytes - 1));
   return text;
}
