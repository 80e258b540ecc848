// Damage done to a copy of a packed launcher, as a bad disk image or a flaky share does it: one
// byte of an entry's data changed, one digit of a recorded digest changed, the digests' key name
// changed so that the launcher no longer finds it. Shared by the x64 and arm64 runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "lib/misc/win32u.h"

// The container's offset in a packed launcher: its SFXINSERT value, UTF-16 digits that may be
// padded with blanks.
inline uint64_t ContainerOffset(const std::string& image)
{
   HMODULE module = LoadLibraryExW(Win32U_Wide(image).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
   if (module == nullptr) {
      return 0;
   }
   uint64_t offset = 0;
   if (HRSRC found = FindResourceW(module, L"SFXINSERT", MAKEINTRESOURCEW(40))) {
      const auto* data = static_cast<const wchar_t*>(LockResource(LoadResource(module, found)));
      const std::wstring text(data, SizeofResource(module, found) / sizeof(wchar_t));
      offset = wcstoull(text.c_str(), nullptr, 10);
   }
   FreeLibrary(module);
   return offset;
}

struct PackedEntry {
   std::string name;
   uint64_t dataStart = 0; // file offset of its first byte
   uint64_t size = 0;
};

inline std::string ReadWholeFile(const std::string& path)
{
   std::ifstream in(Win32U_Wide(path).c_str(), std::ios::binary);
   return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
   std::ofstream out(Win32U_Wide(path).c_str(), std::ios::binary | std::ios::trunc);
   out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
   return static_cast<bool>(out);
}

// The container's entries, read from the bytes of a launcher whose container is at `offset`.
inline std::vector<PackedEntry> PackedEntries(const std::string& bytes, uint64_t offset)
{
   const auto read = [&](uint64_t at, size_t count) {
      uint64_t value = 0;
      for (size_t i = count; i-- > 0;) {
         value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
      }
      return value;
   };
   std::vector<PackedEntry> entries;
   const uint64_t count = read(offset + 4, 4);
   uint64_t data = offset + 8 + 268 * count;
   for (uint64_t i = 0; i < count; i++) {
      const uint64_t at = offset + 8 + 268 * i;
      PackedEntry entry;
      entry.name = std::string(bytes.c_str() + at);
      entry.size = read(at + 260, 8);
      entry.dataStart = data;
      data += entry.size;
      entries.push_back(entry);
   }
   return entries;
}

// Where `text` stands in the bytes as UTF-16 (the configuration resources), or npos.
inline size_t FindUtf16(const std::string& bytes, const std::string& text)
{
   std::string wide;
   for (char c : text) {
      wide.push_back(c);
      wide.push_back('\0');
   }
   return bytes.find(wide);
}
