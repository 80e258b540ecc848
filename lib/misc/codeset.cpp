#include "lib/misc/codeset.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace {

// The few ICU converter entry points used here; Windows' icu.dll exports them unversioned.
struct IcuApi {
   using Open = void*(__cdecl*)(const char*, int*);
   using Close = void(__cdecl*)(void*);
   using ToUChars = int32_t(__cdecl*)(void*, char16_t*, int32_t, const char*, int32_t, int*);
   using FromUChars = int32_t(__cdecl*)(void*, char*, int32_t, const char16_t*, int32_t, int*);
   using SetCallback = void(__cdecl*)(void*, void*, const void*, void**, const void**, int*);
   Open open = nullptr;
   Close close = nullptr;
   ToUChars toUChars = nullptr;
   FromUChars fromUChars = nullptr;
   bool ok = false;
};

const IcuApi& Icu()
{
   static const IcuApi api = [] {
      IcuApi a;
      HMODULE icu = SysLib_Load(L"icu.dll");
      a.ok = SysLib_Bind(icu, "ucnv_open", a.open) && SysLib_Bind(icu, "ucnv_close", a.close) &&
             SysLib_Bind(icu, "ucnv_toUChars", a.toUChars) && SysLib_Bind(icu, "ucnv_fromUChars", a.fromUChars);
      return a;
   }();
   return api;
}

bool IsUtf8Name(std::string_view name)
{
   return Str_EqualsNoCase(std::string(name), "UTF-8") || Str_EqualsNoCase(std::string(name), "utf8");
}

// "windows-1252" -> 1252; 0 when the name is not of that form.
UINT WindowsCodePage(std::string_view name)
{
   constexpr std::string_view prefix = "windows-";
   if (name.size() <= prefix.size() || !Str_EqualsNoCase(std::string(name.substr(0, prefix.size())), std::string(prefix))) {
      return 0;
   }
   UINT page = 0;
   for (char c : name.substr(prefix.size())) {
      if (!isdigit(static_cast<unsigned char>(c)) || page > 100000) {
         return 0;
      }
      page = page * 10 + static_cast<UINT>(c - '0');
   }
   return page;
}

std::optional<std::u16string> ToUtf16(std::string_view codeSet, std::string_view bytes)
{
   if (IsUtf8Name(codeSet)) {
      return Unicode_Utf8ToUtf16(bytes);
   }
   if (bytes.empty()) {
      return std::u16string();
   }
   const IcuApi& icu = Icu();
   if (icu.ok) {
      int status = 0;
      const std::string name(codeSet);
      void* converter = icu.open(name.c_str(), &status);
      if (converter != nullptr && status <= 0) {
         std::u16string out(bytes.size() * 2 + 2, u'\0');
         const int32_t n = icu.toUChars(converter, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                        static_cast<int32_t>(bytes.size()), &status);
         icu.close(converter);
         if (status > 0) {
            return std::nullopt;
         }
         out.resize(static_cast<size_t>(n));
         return out;
      }
      if (converter != nullptr) {
         icu.close(converter);
      }
   }
   const UINT page = WindowsCodePage(codeSet);
   if (page == 0) {
      return std::nullopt;
   }
   const int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
   if (n <= 0) {
      return std::nullopt;
   }
   std::u16string out(static_cast<size_t>(n), u'\0');
   MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                       reinterpret_cast<wchar_t*>(out.data()), n);
   return out;
}

} // namespace

std::string CodeSet_GetCurrentCodeSet()
{
   return Str_Format("windows-%u", GetACP());
}

std::optional<std::string> CodeSet_ToUtf8(std::string_view codeSet, std::string_view bytes)
{
   auto wide = ToUtf16(codeSet, bytes);
   if (!wide) {
      return std::nullopt;
   }
   return Unicode_Utf16ToUtf8(*wide);
}

std::optional<std::string> CodeSet_FromUtf8(std::string_view codeSet, std::string_view utf8)
{
   if (IsUtf8Name(codeSet)) {
      return Unicode_IsValidUtf8(utf8) ? std::optional<std::string>(std::string(utf8)) : std::nullopt;
   }
   auto wide = Unicode_Utf8ToUtf16(utf8);
   if (!wide) {
      return std::nullopt;
   }
   if (wide->empty()) {
      return std::string();
   }
   const IcuApi& icu = Icu();
   if (icu.ok) {
      int status = 0;
      const std::string name(codeSet);
      void* converter = icu.open(name.c_str(), &status);
      if (converter != nullptr && status <= 0) {
         std::string out(wide->size() * 4 + 4, '\0');
         const int32_t n = icu.fromUChars(converter, out.data(), static_cast<int32_t>(out.size()), wide->data(),
                                          static_cast<int32_t>(wide->size()), &status);
         icu.close(converter);
         if (status > 0) {
            return std::nullopt;
         }
         out.resize(static_cast<size_t>(n));
         return out;
      }
      if (converter != nullptr) {
         icu.close(converter);
      }
   }
   const UINT page = WindowsCodePage(codeSet);
   if (page == 0) {
      return std::nullopt;
   }
   BOOL lossy = FALSE;
   const auto* src = reinterpret_cast<const wchar_t*>(wide->data());
   const int len = static_cast<int>(wide->size());
   const bool utf7or8 = page == CP_UTF7 || page == CP_UTF8;
   const int n = WideCharToMultiByte(page, 0, src, len, nullptr, 0, nullptr, utf7or8 ? nullptr : &lossy);
   if (n <= 0 || lossy) {
      return std::nullopt;
   }
   std::string out(static_cast<size_t>(n), '\0');
   WideCharToMultiByte(page, 0, src, len, out.data(), n, nullptr, nullptr);
   return out;
}
