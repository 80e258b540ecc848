#include "tools/txpack/packFiles.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "apps/install/setup/config.h"
#include "apps/install/setup/payloadFormat.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "tools/txpack/packInput.h"

void Pack_Report(const std::string& text)
{
   std::fprintf(stderr, "txpack: %s\n", text.c_str());
}

std::string Pack_ErrorText(DWORD code)
{
   return Str_Format("error %lu (%s)", static_cast<unsigned long>(code), Win32U_FormatMessage(code, 0).c_str());
}

std::wstring Pack_LongPath(const std::string& path)
{
   const std::wstring wide = Win32U_Wide(path);
   if (wide.rfind(L"\\\\?\\", 0) == 0) {
      return wide;
   }
   const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
   if (needed == 0) {
      return wide;
   }
   std::vector<wchar_t> full(needed);
   const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
   if (length == 0 || length >= needed) {
      return wide;
   }
   const std::wstring text(full.data(), length);
   if (text.rfind(L"\\\\.\\", 0) == 0) {
      return text; // a device: no prefix applies
   }
   if (text.rfind(L"\\\\", 0) == 0) {
      return L"\\\\?\\UNC\\" + text.substr(2);
   }
   return L"\\\\?\\" + text;
}

DWORD Pack_Attributes(const std::string& path)
{
   return GetFileAttributesW(Pack_LongPath(path).c_str());
}

std::optional<FileIdentity> Pack_FileIdOf(const std::string& path)
{
   const UniqueHandle file(CreateFileW(Pack_LongPath(path).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
   BY_HANDLE_FILE_INFORMATION info;
   if (!file || !GetFileInformationByHandle(file.get(), &info)) {
      return std::nullopt;
   }
   return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

bool InputFile::Open(const std::string& path, const std::string& what, DWORD share)
{
   path_ = path;
   what_ = what;
   handle_.reset(CreateFileW(Pack_LongPath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
   LARGE_INTEGER length{};
   if (!handle_) {
      Pack_Report("cannot open " + what + " \"" + path + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   if (!GetFileSizeEx(handle_.get(), &length)) {
      Pack_Report("cannot read the size of " + what + " \"" + path + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   size = static_cast<uint64_t>(length.QuadPart);
   return true;
}

bool InputFile::Read(std::string& bytes, uint64_t count)
{
   bytes.resize(static_cast<size_t>(count));
   for (size_t done = 0; done < bytes.size();) {
      const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_.get(), bytes.data() + done, ask, &got, nullptr)) {
         Pack_Report("cannot read " + what_ + " \"" + path_ + "\": " + Pack_ErrorText(GetLastError()));
         return false;
      }
      if (got == 0) {
         Pack_Report(what_ + " \"" + path_ + "\" ended before its expected size");
         return false;
      }
      done += got;
   }
   return true;
}

bool InputFile::Seek(uint64_t offset)
{
   LARGE_INTEGER to;
   to.QuadPart = static_cast<LONGLONG>(offset);
   if (!SetFilePointerEx(handle_.get(), to, nullptr, FILE_BEGIN)) {
      Pack_Report("cannot read " + what_ + " \"" + path_ + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   return true;
}

bool OutputFile::OpenForAppend(const std::string& path)
{
   path_ = path;
   handle_.reset(CreateFileW(Pack_LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
   LARGE_INTEGER zero{};
   if (!handle_ || !SetFilePointerEx(handle_.get(), zero, nullptr, FILE_END)) {
      Pack_Report("cannot open the new launcher \"" + path +
                  "\" to append the payload: " + Pack_ErrorText(GetLastError()));
      return false;
   }
   return true;
}

bool OutputFile::Write(const void* data, size_t count)
{
   DWORD written = 0;
   if (!WriteFile(handle_.get(), data, static_cast<DWORD>(count), &written, nullptr) || written != count) {
      Pack_Report("cannot write the payload into \"" + path_ + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   return true;
}

bool OutputFile::Finish()
{
   if (!FlushFileBuffers(handle_.get())) {
      Pack_Report("cannot write the payload into \"" + path_ + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   handle_.reset();
   return true;
}

bool Pack_OpenProgramImage(const std::string& path, const std::string& what, ProgramImage& image)
{
   std::string head;
   if (!image.file.Open(path, what) || !image.file.Read(head, std::min<uint64_t>(image.file.size, kImageHeadBytes))) {
      return false;
   }
   std::string problem;
   if (!Pack_ReadImageLayout(head, image.file.size, image.sectionsEnd, problem)) {
      Pack_Report(what + " \"" + path + "\" is not a program image: " + problem);
      return false;
   }
   const UniqueHandle mapping(CreateFileMappingW(image.file.Handle(), nullptr, PAGE_READONLY, 0, 0, nullptr));
   void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
   if (view != nullptr) {
      image.resources.reset(reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(view) | 1));
   }
   if (!image.resources) {
      Pack_Report("cannot read the resources of " + what + " \"" + path + "\": " + Pack_ErrorText(GetLastError()));
      return false;
   }
   return true;
}

bool Pack_ConfigNames(HMODULE resources, std::vector<std::string>& names, DWORD& error)
{
   names.clear();
   error = ERROR_SUCCESS;
   const BOOL listed = EnumResourceNamesW(
       resources, MAKEINTRESOURCEW(kConfigResourceType),
       [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
          if (!IS_INTRESOURCE(name)) {
             reinterpret_cast<std::vector<std::string>*>(found)->push_back(Win32U_Utf8(name));
          }
          return TRUE;
       },
       reinterpret_cast<LONG_PTR>(&names));
   if (!listed) {
      error = GetLastError();
      // No resources at all, or none of the configuration's type: nothing to list.
      return error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
             error == ERROR_RESOURCE_NAME_NOT_FOUND;
   }
   return true;
}

bool Pack_HasContainer(ProgramImage& image)
{
   std::string magic;
   return image.file.size >= image.sectionsEnd + 4 && image.file.Seek(image.sectionsEnd) && image.file.Read(magic, 4) &&
          magic == Payload_EncodeHeader(0).substr(0, 4);
}

std::string Pack_VersionResource(HMODULE resources)
{
   constexpr WORD kVersionType = 16; // RT_VERSION
   constexpr WORD kVersionName = 1;  // VS_VERSION_INFO
   HRSRC found = FindResourceW(resources, MAKEINTRESOURCEW(kVersionName), MAKEINTRESOURCEW(kVersionType));
   HGLOBAL loaded = found != nullptr ? LoadResource(resources, found) : nullptr;
   const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
   const DWORD size = found != nullptr ? SizeofResource(resources, found) : 0;
   return data != nullptr ? std::string(static_cast<const char*>(data), size) : std::string();
}

LauncherKind Pack_LauncherKind(const std::string& path, std::string& why)
{
   {
      InputFile file;
      std::string magic;
      if (!file.Open(path, "the file") || !file.Read(magic, std::min<uint64_t>(file.size, 2))) {
         return LauncherKind::Unknown;
      }
      if (magic != "MZ") {
         why = "it is not a program image";
         return LauncherKind::NotPacked;
      }
   }
   ProgramImage image;
   if (!Pack_OpenProgramImage(path, "the file", image)) {
      return LauncherKind::Unknown;
   }
   std::vector<std::string> names;
   DWORD error = ERROR_SUCCESS;
   if (!Pack_ConfigNames(image.resources.get(), names, error)) {
      Pack_Report("cannot list the resources of \"" + path + "\": " + Pack_ErrorText(error));
      return LauncherKind::Unknown;
   }
   if (names.empty() && !Pack_HasContainer(image)) {
      why = "a program image that carries no launcher configuration and no payload";
      return LauncherKind::NotPacked;
   }
   return LauncherKind::Packed;
}

std::string Pack_UsablePath(const std::string& path)
{
   constexpr size_t kShortPathChars = 260;
   const std::wstring full = Pack_LongPath(path);
   const std::wstring plain = full.rfind(L"\\\\?\\UNC\\", 0) == 0 ? L"\\\\" + full.substr(8)
                              : full.rfind(L"\\\\?\\", 0) == 0    ? full.substr(4)
                                                                  : full;
   return Win32U_Utf8(plain.size() < kShortPathChars ? plain : full);
}
