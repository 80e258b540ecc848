// UTF-8 twins of the registry calls. String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) cross as
// UTF-8; their sizes follow the caller-buffer rule of Win32U_Utf16ToUtf8Buffer.
#include <vector>

#include "lib/misc/panic.h"
#include "lib/misc/win32u.h"
#include "lib/misc/win32uInternal.h"

namespace {

constexpr DWORD kMaxValueNameChars = 16384;
constexpr DWORD kMaxKeyNameChars = 256;

bool IsStringType(DWORD type)
{
   return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Length in UTF-16 units of the string data in `wide` (for REG_MULTI_SZ every string up to the
// empty one, each with its NUL). `wide` has zero padding behind the returned data.
size_t StringLength(const std::vector<wchar_t>& wide, DWORD type)
{
   if (type != REG_MULTI_SZ) {
      return wcslen(wide.data());
   }
   size_t pos = 0;
   while (wide[pos] != L'\0') {
      pos += wcslen(wide.data() + pos) + 1;
   }
   return pos;
}

// Hands string data of `wideBytes` bytes to the caller's UTF-8 buffer.
LONG DeliverString(const std::vector<wchar_t>& wide, DWORD wideBytes, DWORD type, BYTE* data, DWORD* dataSize)
{
   const size_t length = StringLength(wide, type);
   if (length * sizeof(wchar_t) > wideBytes) {
      Debug("%s: Unexpected size of a UTF-16 string: %u bytes exceeds buffer of %u bytes.\n",
            "Win32UGetRegistryStringLength", static_cast<unsigned>(length * sizeof(wchar_t)),
            static_cast<unsigned>(wideBytes));
      return ERROR_INVALID_DATA;
   }
   DWORD size = 0;
   const DWORD result = Win32U_Utf16ToUtf8Buffer(std::wstring_view(wide.data(), length),
                                                 reinterpret_cast<char*>(data), *dataSize, &size);
   if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
      *dataSize = size;
   }
   return static_cast<LONG>(result);
}

// Reads a value's data in UTF-16 form, growing the buffer while the value grows under us.
template <typename Query>
LONG QueryWide(Query&& query, DWORD* type, std::vector<wchar_t>& wide, DWORD* wideBytes)
{
   for (int attempt = 0; attempt < 8; attempt++) {
      DWORD size = 0;
      LONG result = query(type, nullptr, &size);
      if (result != ERROR_SUCCESS) {
         return result;
      }
      wide.assign(size / sizeof(wchar_t) + 3, L'\0'); // zero padding for unterminated strings
      size = static_cast<DWORD>((wide.size() - 2) * sizeof(wchar_t));
      result = query(type, reinterpret_cast<BYTE*>(wide.data()), &size);
      if (result != ERROR_MORE_DATA) {
         *wideBytes = size;
         return result;
      }
   }
   return ERROR_MORE_DATA;
}

LONG QueryValue(DWORD* typeOut, BYTE* data, DWORD* dataSize,
                LONG (*call)(void* ctx, DWORD* type, BYTE* data, DWORD* size), void* ctx)
{
   DWORD type = 0;
   if (data == nullptr) {
      DWORD size = 0;
      const LONG result = call(ctx, &type, nullptr, &size);
      if (typeOut) {
         *typeOut = type;
      }
      if (result == ERROR_SUCCESS && dataSize != nullptr) {
         // Twice the UTF-16 byte count bounds the UTF-8 size from above.
         *dataSize = IsStringType(type) ? size * 2 : size;
      }
      return result;
   }
   std::vector<wchar_t> wide;
   DWORD wideBytes = 0;
   LONG result = QueryWide([&](DWORD* t, BYTE* d, DWORD* s) { return call(ctx, t, d, s); }, &type, wide, &wideBytes);
   if (typeOut) {
      *typeOut = type;
   }
   if (result != ERROR_SUCCESS) {
      return result;
   }
   if (IsStringType(type)) {
      return DeliverString(wide, wideBytes, type, data, dataSize);
   }
   const DWORD capacity = *dataSize;
   *dataSize = wideBytes;
   if (wideBytes > capacity) {
      return ERROR_MORE_DATA;
   }
   memcpy(data, wide.data(), wideBytes);
   return ERROR_SUCCESS;
}

} // namespace

LONG Win32U_RegCreateKeyEx(HKEY root, const char* subKey, DWORD reserved, const char* className,
                           DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES sa, HKEY* key,
                           DWORD* disposition)
{
   return Win32UCall<LONG>(ERROR_NO_UNICODE_TRANSLATION, [&](const WideArg& s, const WideArg& c) {
      return RegCreateKeyExW(root, s, reserved, const_cast<wchar_t*>(c.get()), options, sam, sa, key, disposition);
   }, subKey, className);
}

LONG Win32U_RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM sam, HKEY* key)
{
   return Win32UCall<LONG>(ERROR_NO_UNICODE_TRANSLATION, [&](const WideArg& s) {
      return RegOpenKeyExW(root, s, options, sam, key);
   }, subKey);
}

LONG Win32U_RegDeleteKey(HKEY root, const char* subKey)
{
   return Win32UCall<LONG>(ERROR_NO_UNICODE_TRANSLATION, [&](const WideArg& s) { return RegDeleteKeyW(root, s); }, subKey);
}

LONG Win32U_RegDeleteKeyEx(HKEY root, const char* subKey, REGSAM sam, DWORD reserved)
{
   using Fn = LONG(WINAPI*)(HKEY, const wchar_t*, REGSAM, DWORD);
   static const Fn deleteKeyEx = [] {
      HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
      return advapi ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW"))) : nullptr;
   }();
   return Win32UCall<LONG>(ERROR_NO_UNICODE_TRANSLATION, [&](const WideArg& s) {
      return deleteKeyEx != nullptr ? deleteKeyEx(root, s, sam, reserved) : RegDeleteKeyW(root, s);
   }, subKey);
}

LONG Win32U_RegDeleteValue(HKEY key, const char* valueName)
{
   return Win32UCall<LONG>(ERROR_NO_UNICODE_TRANSLATION, [&](const WideArg& v) { return RegDeleteValueW(key, v); }, valueName);
}

LONG Win32U_RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                         char* className, DWORD* classSize, FILETIME* lastWrite)
{
   Win32U_ErrorKeeper keeper;
   wchar_t wideName[kMaxKeyNameChars];
   DWORD wideNameChars = kMaxKeyNameChars;
   std::vector<wchar_t> wideClass(className != nullptr ? kMaxValueNameChars : 0);
   DWORD wideClassChars = static_cast<DWORD>(wideClass.size());
   LONG result = RegEnumKeyExW(key, index, wideName, &wideNameChars, reserved,
                               className ? wideClass.data() : nullptr, className ? &wideClassChars : nullptr,
                               lastWrite);
   keeper.Capture();
   if (result != ERROR_SUCCESS) {
      return result;
   }
   result = static_cast<LONG>(Win32U_Utf16ToUtf8Buffer(std::wstring_view(wideName, wideNameChars), name,
                                                       *nameSize, nameSize));
   if (result == ERROR_SUCCESS && className != nullptr) {
      result = static_cast<LONG>(Win32U_Utf16ToUtf8Buffer(std::wstring_view(wideClass.data(), wideClassChars),
                                                          className, *classSize, classSize));
   }
   return result;
}

LONG Win32U_RegEnumValue(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                         DWORD* type, BYTE* data, DWORD* dataSize)
{
   Win32U_ErrorKeeper keeper;
   std::vector<wchar_t> wideName(kMaxValueNameChars);
   DWORD wideNameChars = 0;
   struct Ctx {
      HKEY key;
      DWORD index;
      std::vector<wchar_t>* name;
      DWORD* nameChars;
      DWORD* reserved;
   } ctx{key, index, &wideName, &wideNameChars, reserved};
   LONG result = QueryValue(type, data, dataSize, [](void* p, DWORD* t, BYTE* d, DWORD* s) {
      auto* c = static_cast<Ctx*>(p);
      *c->nameChars = static_cast<DWORD>(c->name->size());
      return RegEnumValueW(c->key, c->index, c->name->data(), c->nameChars, c->reserved, t, d, s);
   }, &ctx);
   keeper.Capture();
   if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
      return result;
   }
   const LONG nameResult = static_cast<LONG>(Win32U_Utf16ToUtf8Buffer(
      std::wstring_view(wideName.data(), wideNameChars), name, *nameSize, nameSize));
   return nameResult != ERROR_SUCCESS ? nameResult : result;
}

LONG Win32U_RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                            DWORD* dataSize)
{
   Win32U_ErrorKeeper keeper;
   WideArg name(valueName);
   if (!name.ok()) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   struct Ctx {
      HKEY key;
      const wchar_t* name;
      DWORD* reserved;
   } ctx{key, name.get(), reserved};
   const LONG result = QueryValue(type, data, dataSize, [](void* p, DWORD* t, BYTE* d, DWORD* s) {
      auto* c = static_cast<Ctx*>(p);
      return RegQueryValueExW(c->key, c->name, c->reserved, t, d, s);
   }, &ctx);
   keeper.Capture();
   return result;
}

LONG Win32U_RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                          const BYTE* data, DWORD size)
{
   Win32U_ErrorKeeper keeper;
   WideArg name(valueName);
   if (!name.ok()) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   LONG result;
   if (IsStringType(type) && data != nullptr && size > 0) {
      auto wide = Win32U_ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
      if (!wide) {
         return ERROR_NO_UNICODE_TRANSLATION;
      }
      result = RegSetValueExW(key, name, reserved, type, reinterpret_cast<const BYTE*>(wide->data()),
                              static_cast<DWORD>(wide->size() * sizeof(wchar_t)));
   } else {
      result = RegSetValueExW(key, name, reserved, type, data, size);
   }
   keeper.Capture();
   return result;
}
