// Strict UTF-8 and UTF-16 codecs.
#include "lib/unicode/unicodeSimple.h"

#include <cstdint>

namespace {

// Decodes one scalar value at utf8[pos]; returns the number of bytes used, or 0 when the
// sequence is not well-formed UTF-8.
size_t DecodeUtf8(std::string_view utf8, size_t pos, char32_t& out)
{
   const auto byte = [&](size_t i) { return static_cast<uint8_t>(utf8[i]); };
   const uint8_t b0 = byte(pos);
   const size_t left = utf8.size() - pos;
   if (b0 < 0x80) {
      out = b0;
      return 1;
   }
   size_t need;
   char32_t cp;
   char32_t min;
   if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 2; cp = b0 & 0x1F; min = 0x80;
   } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 3; cp = b0 & 0x0F; min = 0x800;
   } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 4; cp = b0 & 0x07; min = 0x10000;
   } else {
      return 0;
   }
   if (left < need) {
      return 0;
   }
   for (size_t i = 1; i < need; i++) {
      const uint8_t b = byte(pos + i);
      if ((b & 0xC0) != 0x80) {
         return 0;
      }
      cp = (cp << 6) | (b & 0x3F);
   }
   if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return 0;
   }
   out = cp;
   return need;
}

} // namespace

std::optional<std::u16string> Unicode_Utf8ToUtf16(std::string_view utf8)
{
   std::u16string out;
   out.reserve(utf8.size());
   for (size_t pos = 0; pos < utf8.size();) {
      char32_t cp;
      const size_t used = DecodeUtf8(utf8, pos, cp);
      if (used == 0) {
         return std::nullopt;
      }
      pos += used;
      if (cp < 0x10000) {
         out.push_back(static_cast<char16_t>(cp));
      } else {
         cp -= 0x10000;
         out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
         out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      }
   }
   return out;
}

std::optional<std::string> Unicode_Utf16ToUtf8(std::u16string_view utf16)
{
   std::string out;
   out.reserve(utf16.size());
   for (size_t i = 0; i < utf16.size(); i++) {
      char32_t cp = utf16[i];
      if (cp >= 0xD800 && cp <= 0xDBFF) {
         if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
            return std::nullopt;
         }
         cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
         i++;
      } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
         return std::nullopt;
      }
      if (cp < 0x80) {
         out.push_back(static_cast<char>(cp));
      } else if (cp < 0x800) {
         out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
         out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      } else if (cp < 0x10000) {
         out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
         out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
         out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      } else {
         out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
         out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
         out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
         out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
      }
   }
   return out;
}

bool Unicode_IsValidUtf8(std::string_view utf8)
{
   for (size_t pos = 0; pos < utf8.size();) {
      char32_t cp;
      const size_t used = DecodeUtf8(utf8, pos, cp);
      if (used == 0) {
         return false;
      }
      pos += used;
   }
   return true;
}

size_t Unicode_Utf8CutPoint(std::string_view utf8, size_t maxBytes)
{
   if (utf8.size() <= maxBytes) {
      return utf8.size();
   }
   size_t cut = maxBytes;
   // Step back over continuation bytes to the start of the character that straddles the cut.
   while (cut > 0 && (static_cast<uint8_t>(utf8[cut]) & 0xC0) == 0x80) {
      cut--;
   }
   return cut;
}

size_t Unicode_Utf8TrimIncomplete(std::string_view utf8)
{
   size_t lead = utf8.size();
   size_t continuation = 0;
   while (lead > 0 && continuation < 4 && (static_cast<uint8_t>(utf8[lead - 1]) & 0xC0) == 0x80) {
      lead--;
      continuation++;
   }
   if (lead == 0) {
      return continuation == 0 ? 0 : utf8.size();
   }
   const uint8_t b = static_cast<uint8_t>(utf8[lead - 1]);
   const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
   return need > continuation + 1 ? lead - 1 : utf8.size();
}

std::string Unicode_EscapeBuffer(const void* data, size_t size)
{
   static const char hex[] = "0123456789ABCDEF";
   const auto* bytes = static_cast<const uint8_t*>(data);
   std::string out;
   out.reserve(size);
   for (size_t i = 0; i < size; i++) {
      const uint8_t b = bytes[i];
      if (b >= 0x20 && b < 0x7F && b != '\\') {
         out.push_back(static_cast<char>(b));
      } else {
         out += "\\x";
         out.push_back(hex[b >> 4]);
         out.push_back(hex[b & 0xF]);
      }
   }
   return out;
}
