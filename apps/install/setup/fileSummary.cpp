#include "apps/install/setup/fileSummary.h"

#include <cstdio>

#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr size_t kMaxTextChars = 1024;
constexpr UINT kUnicodeSetCodePage = 1200;
constexpr GUID kFmtidSummaryInformation = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};

template <typename I> struct ComTraits {
   static I* Invalid() { return nullptr; }
   static bool IsValid(I* p) { return p != nullptr; }
   static void Close(I* p) { p->Release(); }
};
template <typename I> using UniqueCom = UniqueResource<I*, ComTraits<I>>;

using StgOpenStorageExFn = decltype(&StgOpenStorageEx);

// Not every system has it; looked up once in ole32, which the launcher imports anyway.
StgOpenStorageExFn StgOpenStorageExEntry()
{
   static const auto entry = SysLib_Find<StgOpenStorageExFn>(L"ole32.dll", "StgOpenStorageEx");
   return entry;
}

// The package may be open elsewhere (an installer, a scanner): exclusive first, then shared
// with readers.
HRESULT OpenStorage(const wchar_t* path, UniqueCom<IStorage>& storage)
{
   HRESULT hr = StgOpenStorage(path, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, storage.put());
   if (SUCCEEDED(hr)) {
      return hr;
   }
   const StgOpenStorageExFn openEx = StgOpenStorageExEntry();
   if (openEx == nullptr) {
      return hr;
   }
   return openEx(path, STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_ANY, 0, nullptr, nullptr, __uuidof(IStorage),
                 reinterpret_cast<void**>(storage.put()));
}

std::string CutToText(std::wstring_view wide)
{
   if (wide.size() > kMaxTextChars) {
      size_t keep = kMaxTextChars;
      if (IS_HIGH_SURROGATE(wide[keep - 1])) {
         keep--;
      }
      wide = wide.substr(0, keep);
   }
   return Win32U_ToUtf8(wide).value_or(std::string());
}

// A Unicode set hands its narrow texts out in the system code page, and a code page this
// system does not know is read as the system's too.
std::string NarrowToText(const char* text, UINT codePage)
{
   if (codePage == kUnicodeSetCodePage || MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0) <= 0) {
      codePage = CP_ACP;
   }
   const int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
   if (length <= 1) {
      return std::string();
   }
   std::wstring wide(static_cast<size_t>(length), L'\0');
   MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
   wide.resize(static_cast<size_t>(length - 1));
   return CutToText(wide);
}

std::string ValueToText(const PROPVARIANT& value, UINT codePage)
{
   char number[32] = "";
   switch (value.vt) {
   case VT_LPSTR:
      return value.pszVal != nullptr ? NarrowToText(value.pszVal, codePage) : std::string();
   case VT_LPWSTR:
      return value.pwszVal != nullptr ? CutToText(value.pwszVal) : std::string();
   case VT_I2:
      snprintf(number, sizeof number, "%d", static_cast<int>(value.iVal));
      return number;
   case VT_I4:
      snprintf(number, sizeof number, "%ld", static_cast<long>(value.lVal));
      return number;
   case VT_FILETIME: {
      SYSTEMTIME t{};
      if (FileTimeToSystemTime(&value.filetime, &t)) {
         snprintf(number, sizeof number, "%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
      }
      return number;
   }
   default:
      return std::string(); // the thumbnail and anything unexpected have no text
   }
}

} // namespace

HRESULT FileSummary::Read(const char* path)
{
   for (std::string& text : texts_) {
      text.clear();
   }
   const auto wide = Win32U_ToWide(path);
   if (!wide) {
      return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
   }
   UniqueCom<IStorage> storage;
   HRESULT hr = OpenStorage(wide->c_str(), storage);
   if (FAILED(hr)) {
      return hr;
   }
   UniqueCom<IPropertySetStorage> sets;
   hr = storage.get()->QueryInterface(__uuidof(IPropertySetStorage), reinterpret_cast<void**>(sets.put()));
   if (FAILED(hr)) {
      return hr;
   }
   UniqueCom<IPropertyStorage> properties;
   hr = sets.get()->Open(kFmtidSummaryInformation, STGM_READ | STGM_SHARE_EXCLUSIVE, properties.put());
   if (FAILED(hr)) {
      return hr;
   }

   // The code page (property 1) says how the narrow texts are encoded.
   constexpr ULONG kCount = kLast + 1 - PID_CODEPAGE;
   PROPSPEC specs[kCount];
   PROPVARIANT values[kCount];
   for (ULONG i = 0; i < kCount; i++) {
      specs[i].ulKind = PRSPEC_PROPID;
      specs[i].propid = PID_CODEPAGE + i;
      PropVariantInit(&values[i]);
   }
   hr = properties.get()->ReadMultiple(kCount, specs, values);
   if (FAILED(hr)) {
      return hr;
   }
   const UINT codePage = values[0].vt == VT_I2 ? static_cast<UINT>(static_cast<USHORT>(values[0].iVal)) : CP_ACP;
   for (PROPID id = kFirst; id <= kLast; id++) {
      texts_[id - kFirst] = ValueToText(values[id - PID_CODEPAGE], codePage);
   }
   FreePropVariantArray(kCount, values);
   // S_FALSE says some property is absent (a package has no thumbnail): its text stays empty.
   return S_OK;
}

const std::string& FileSummary::Get(PROPID id) const
{
   static const std::string none;
   return id >= kFirst && id <= kLast ? texts_[id - kFirst] : none;
}
