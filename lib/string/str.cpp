// Bounded formatting over the C library's vsnprintf, with UTF-8-safe truncation.
#include "lib/string/str.h"

#include <cstdio>
#include <cctype>

#include "lib/unicode/unicodeSimple.h"

int Str_Vsnprintf(char* buf, size_t size, const char* fmt, va_list args)
{
   VERIFY(buf != nullptr && size >= 1);
   va_list copy;
   va_copy(copy, args);
   const int full = vsnprintf(buf, size, fmt, copy);
   va_end(copy);
   if (full < 0) {
      buf[0] = '\0';
      return -1;
   }
   if (static_cast<size_t>(full) < size) {
      return full;
   }
   const size_t cut = Unicode_Utf8TrimIncomplete(std::string_view(buf, size - 1));
   buf[cut] = '\0';
   return -1;
}

int Str_Snprintf(char* buf, size_t size, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   const int n = Str_Vsnprintf(buf, size, fmt, args);
   va_end(args);
   return n;
}

char* Str_SprintfAt(const char* file, int line, char* buf, size_t size, const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   const int n = Str_Vsnprintf(buf, size, fmt, args);
   va_end(args);
   if (n < 0) {
      Panic("%s:%d Buffer too small\n", file, line);
   }
   return buf;
}

std::string Str_VFormat(const char* fmt, va_list args)
{
   va_list copy;
   va_copy(copy, args);
   const int n = vsnprintf(nullptr, 0, fmt, copy);
   va_end(copy);
   if (n <= 0) {
      return std::string();
   }
   std::string out(static_cast<size_t>(n) + 1, '\0');
   vsnprintf(out.data(), out.size(), fmt, args);
   out.resize(static_cast<size_t>(n));
   return out;
}

std::string Str_Format(const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   std::string out = Str_VFormat(fmt, args);
   va_end(args);
   return out;
}

bool Str_EqualsNoCase(const std::string& a, const std::string& b)
{
   if (a.size() != b.size()) {
      return false;
   }
   for (size_t i = 0; i < a.size(); i++) {
      if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) {
         return false;
      }
   }
   return true;
}
