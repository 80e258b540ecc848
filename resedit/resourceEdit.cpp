#include "resedit/resourceEdit.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "resedit/versionText.h"

namespace
{

constexpr WORD kBitmapType = 2;
constexpr WORD kVersionType = 16;
constexpr WORD kConfigType = 40;
constexpr WORD kNeutralLanguage = 0;
constexpr WORD kBitmapLanguage = 0x400;      // the user's default language, as bitmaps have been stored
constexpr DWORD kBitmapFileHeaderBytes = 14; // skipped: the resource starts at the info header
constexpr int kBusyAttempts = 5;
constexpr DWORD kBusyPauseStepMs = 100; // 100, 200, 300, 400, 500 ms
constexpr size_t kValuePathBytes = 260;
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
const char kScriptExtension[] = "rc";

// Wine's resource-update calls can fail without setting an error; a failure must never read
// as success (0), and a target that could not be opened is what ERROR_OPEN_FAILED says.
DWORD FailureCode(DWORD fallback)
{
   const DWORD error = GetLastError();
   return error != ERROR_SUCCESS ? error : fallback;
}

struct VersionApi {
   DWORD(WINAPI* getSize)(LPCWSTR, LPDWORD) = nullptr;
   BOOL(WINAPI* getInfo)(LPCWSTR, DWORD, DWORD, LPVOID) = nullptr;
   BOOL(WINAPI* query)(LPCVOID, LPCWSTR, LPVOID*, PUINT) = nullptr;
};

// version.dll is not a KnownDLL: bound from the system folder at run time.
const VersionApi* Version()
{
   static const VersionApi api = [] {
      VersionApi a;
      HMODULE module = SysLib_Load(L"version.dll");
      if (!SysLib_Bind(module, "GetFileVersionInfoSizeW", a.getSize) ||
          !SysLib_Bind(module, "GetFileVersionInfoW", a.getInfo) || !SysLib_Bind(module, "VerQueryValueW", a.query)) {
         a = VersionApi{};
      }
      return a;
   }();
   return api.query != nullptr ? &api : nullptr;
}

// The file's whole version-information block and the language of its first translation.
struct VersionBlock {
   std::vector<BYTE> data;
   WORD language = 0;
   WORD codePage = 0;
};

DWORD ReadVersionBlock(const char* file, VersionBlock& block)
{
   const VersionApi* api = Version();
   if (api == nullptr) {
      return FailureCode(ERROR_PROC_NOT_FOUND);
   }
   const auto path = Win32U_ToWide(file);
   if (!path) {
      return ERROR_NO_UNICODE_TRANSLATION;
   }
   DWORD ignored = 0;
   const DWORD size = api->getSize(path->c_str(), &ignored);
   if (size == 0) {
      return FailureCode(ERROR_RESOURCE_TYPE_NOT_FOUND);
   }
   try {
      block.data.assign(size, 0);
   } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
   }
   if (!api->getInfo(path->c_str(), 0, size, block.data.data())) {
      return FailureCode(ERROR_RESOURCE_TYPE_NOT_FOUND);
   }
   void* translation = nullptr;
   UINT length = 0;
   if (!api->query(block.data.data(), L"\\VarFileInfo\\Translation", &translation, &length) || length < sizeof(DWORD)) {
      return FailureCode(ERROR_RESOURCE_LANG_NOT_FOUND);
   }
   const DWORD first = *static_cast<const DWORD*>(translation);
   block.language = LOWORD(first);
   block.codePage = HIWORD(first);
   return ERROR_SUCCESS;
}

// The block as the resource holds it: its own length field, not the larger buffer the reader
// asked for (which carries the reader's scratch space behind the resource).
DWORD VersionBlockBytes(const VersionBlock& block)
{
   const DWORD stored = *reinterpret_cast<const WORD*>(block.data.data());
   return stored != 0 && stored <= block.data.size() ? stored : static_cast<DWORD>(block.data.size());
}

} // namespace

CResource& CResource::operator=(const CResource& other)
{
   handler_ = other.handler_;
   return *this;
}

CResource& CResource::operator=(CResource&& other)
{
   handler_ = other.handler_;
   return *this;
}

unsigned long CResource::UpdateFileResource(const char* type, const char* file, const char* name, void* data)
{
   if (type == nullptr || file == nullptr || name == nullptr || data == nullptr || !GetResourceHandler(type)) {
      return ERROR_BAD_ARGUMENTS;
   }
   unsigned long result = ERROR_OPEN_FAILED;
   for (int attempt = 1; attempt <= kBusyAttempts; attempt++) {
      result = (this->*handler_)(file, name, data);
      if (result != ERROR_OPEN_FAILED) {
         break;
      }
      Sleep(kBusyPauseStepMs * attempt);
   }
   return result;
}

bool CResource::GetResourceHandler(const char* type)
{
   handler_ = nullptr;
   if (IS_INTRESOURCE(type)) {
      switch (LOWORD(reinterpret_cast<uintptr_t>(type))) {
      case kBitmapType:
         handler_ = &CResource::BitmapResourceHandler;
         break;
      case kVersionType:
         handler_ = &CResource::VersionResourceHandler;
         break;
      case kConfigType:
         handler_ = &CResource::StringResourceHandler;
         break;
      default:
         break;
      }
   }
   return handler_ != nullptr;
}

unsigned long CResource::BitmapResourceHandler(const char* file, const char* name, void* data)
{
   if (file == nullptr || name == nullptr || data == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   UniqueHandle bitmap(Win32U_CreateFile(static_cast<const char*>(data), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
   if (!bitmap) {
      return GetLastError();
   }
   LARGE_INTEGER fileSize;
   if (!GetFileSizeEx(bitmap.get(), &fileSize)) {
      return GetLastError();
   }
   // Anything without a file header and something behind it is not a bitmap file; a short
   // file must not turn into a size that wraps round.
   if (fileSize.QuadPart <= kBitmapFileHeaderBytes || fileSize.QuadPart > MAXDWORD) {
      return ERROR_BAD_FORMAT;
   }
   const DWORD size = static_cast<DWORD>(fileSize.QuadPart) - kBitmapFileHeaderBytes;
   std::vector<BYTE> bytes;
   try {
      bytes.resize(size);
   } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
   }
   char signature[2];
   DWORD got = 0;
   if (!ReadFile(bitmap.get(), signature, sizeof signature, &got, nullptr) || got != sizeof signature) {
      return FailureCode(ERROR_HANDLE_EOF);
   }
   if (signature[0] != 'B' || signature[1] != 'M') {
      return ERROR_BAD_FORMAT;
   }
   LARGE_INTEGER start;
   start.QuadPart = kBitmapFileHeaderBytes;
   if (!SetFilePointerEx(bitmap.get(), start, nullptr, FILE_BEGIN)) {
      return GetLastError();
   }
   if (!ReadFile(bitmap.get(), bytes.data(), size, &got, nullptr) || got != size) {
      return FailureCode(ERROR_HANDLE_EOF);
   }
   bitmap.reset();
   return UpdateResourceInternal(file, MAKEINTRESOURCEA(kBitmapType), name, kBitmapLanguage, bytes.data(), size);
}

unsigned long CResource::StringResourceHandler(const char* file, const char* name, void* data)
{
   if (file == nullptr || name == nullptr || data == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   const auto text = Win32U_ToWide(static_cast<const char*>(data));
   if (!text) {
      return ERROR_BAD_ARGUMENTS;
   }
   return UpdateResourceInternal(file, MAKEINTRESOURCEA(kConfigType), name, kNeutralLanguage, text->c_str(),
                                 static_cast<unsigned long>((text->size() + 1) * sizeof(wchar_t)));
}

unsigned long CResource::VersionResourceHandler(const char* file, const char* name, void* data)
{
   if (file == nullptr || name == nullptr || data == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   const auto* request = static_cast<const VersionResourceData*>(data);
   return request->kind == 0 ? UpdateVariableVersionResource(file, name, request->value)
                             : UpdateFixedVersionResource(file, name, request->value);
}

unsigned long CResource::UpdateFixedVersionResource(const char* file, const char* key, const char* version)
{
   if (file == nullptr || key == nullptr || version == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   const FixedVersionWords words = ResEdit_ParseVersion(version);
   const std::string which(key);
   if (which != "FileVersion" && which != "ProductVersion") {
      return ERROR_SUCCESS;
   }
   VersionBlock block;
   DWORD result = ReadVersionBlock(file, block);
   if (result != ERROR_SUCCESS) {
      return result;
   }
   void* root = nullptr;
   UINT length = 0;
   if (!Version()->query(block.data.data(), L"\\", &root, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return FailureCode(ERROR_RESOURCE_DATA_NOT_FOUND);
   }
   auto* fixed = static_cast<VS_FIXEDFILEINFO*>(root);
   if (fixed->dwSignature != kFixedInfoSignature) {
      return ERROR_BAD_FORMAT;
   }
   if (which == "FileVersion") {
      fixed->dwFileVersionMS = words.mostSignificant;
      fixed->dwFileVersionLS = words.leastSignificant;
   } else {
      fixed->dwProductVersionMS = words.mostSignificant;
      fixed->dwProductVersionLS = words.leastSignificant;
   }
   return UpdateResourceInternal(file, MAKEINTRESOURCEA(kVersionType), MAKEINTRESOURCEA(VS_VERSION_INFO),
                                 block.language, block.data.data(), VersionBlockBytes(block));
}

unsigned long CResource::UpdateVariableVersionResource(const char* file, const char* key, const char* value)
{
   if (file == nullptr || key == nullptr || value == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   VersionBlock block;
   const DWORD read = ReadVersionBlock(file, block);
   if (read != ERROR_SUCCESS) {
      return read;
   }
   char path[kValuePathBytes];
   if (Str_Snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", block.language, block.codePage, key) < 0) {
      return ERROR_BAD_ARGUMENTS;
   }
   const auto widePath = Win32U_ToWide(path);
   const auto newText = Win32U_ToWide(value);
   if (!widePath || !newText) {
      return ERROR_BAD_ARGUMENTS;
   }
   void* found = nullptr;
   UINT length = 0;
   if (!Version()->query(block.data.data(), widePath->c_str(), &found, &length) || found == nullptr) {
      return FailureCode(ERROR_RESOURCE_NAME_NOT_FOUND);
   }
   auto* text = static_cast<wchar_t*>(found);
   // The stored length may or may not count the NUL; the room is the stored length less a
   // terminator that lies inside it, so that the value always stays terminated.
   const size_t room = length > 0 && text[length - 1] == L'\0' ? length - 1 : length;
   const bool fits = newText->size() <= room;
   if (fits) {
      std::wmemcpy(text, newText->c_str(), newText->size());
      std::wmemset(text + newText->size(), L'\0', length - newText->size());
   } else {
      std::printf("ERROR: Unable to update resource %s. %s requires %zu bytes and only %u bytes are available. "
                  "Extend the corresponding data storage in setup.%s.\n",
                  path, value, newText->size(), static_cast<unsigned>(room), kScriptExtension);
      std::fflush(stdout);
   }
   const unsigned long written =
       UpdateResourceInternal(file, MAKEINTRESOURCEA(kVersionType), MAKEINTRESOURCEA(VS_VERSION_INFO), block.language,
                              block.data.data(), VersionBlockBytes(block));
   if (written != ERROR_SUCCESS) {
      return written;
   }
   // A value that did not fit was not written: the caller must not take the block for updated.
   return fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
}

unsigned long CResource::UpdateResourceInternal(const char* file, const char* type, const char* name,
                                                unsigned short language, const void* data, unsigned long size)
{
   if (file == nullptr || type == nullptr || name == nullptr || data == nullptr) {
      return ERROR_BAD_ARGUMENTS;
   }
   HANDLE update = Win32U_BeginUpdateResource(file, FALSE);
   if (update == nullptr) {
      return FailureCode(ERROR_OPEN_FAILED);
   }
   if (!Win32U_UpdateResource(update, type, name, language, const_cast<void*>(data), size)) {
      const DWORD error = FailureCode(ERROR_INVALID_DATA);
      EndUpdateResourceW(update, TRUE);
      return error;
   }
   if (!EndUpdateResourceW(update, FALSE)) {
      return FailureCode(ERROR_OPEN_FAILED);
   }
   return ERROR_SUCCESS;
}
