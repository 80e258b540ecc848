#include "tools/txpack/packer.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "apps/install/setup/payloadFormat.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "resedit/resourceEdit.h"

namespace
{

constexpr size_t kChunkBytes = 65536;
constexpr int kOffsetWidth = 10;              // any 32-bit offset; leading blanks keep the width
constexpr uint64_t kMaxConfigBytes = 1 << 20; // a configuration file is a few lines
constexpr WORD kBitmapType = 2;
constexpr WORD kVersionType = 16;
constexpr WORD kConfigType = 40;
constexpr int kOffsetSettleAttempts = 3;
const char kOffsetKey[] = "SFXINSERT";

struct FileCloser {
   void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

void Report(const std::string& text)
{
   std::fprintf(stderr, "txpack: %s\n", text.c_str());
}

std::string ErrorText(DWORD code)
{
   return Str_Format("error %lu (%s)", static_cast<unsigned long>(code), Win32U_FormatMessage(code, 0).c_str());
}

bool FileSize(const std::string& path, uint64_t& size)
{
   WIN32_FILE_ATTRIBUTE_DATA data;
   if (!Win32U_GetFileAttributesEx(path.c_str(), &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
   }
   size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
   return true;
}

bool ReadConfigFile(const std::string& path, std::string& text)
{
   uint64_t size = 0;
   if (!FileSize(path, size)) {
      Report("cannot read the configuration file \"" + path + "\": " + ErrorText(GetLastError()));
      return false;
   }
   if (size > kMaxConfigBytes) {
      Report("the configuration file \"" + path + "\" is larger than 1 MiB");
      return false;
   }
   UniqueFile file(Win32U_Fopen(path.c_str(), "rb"));
   text.assign(static_cast<size_t>(size), '\0');
   if (!file || fread(text.data(), 1, text.size(), file.get()) != text.size()) {
      Report("cannot read the configuration file \"" + path + "\"");
      return false;
   }
   return true;
}

struct PayloadFile {
   std::string path;
   std::string name;
   uint64_t size;
};

bool CollectPayloads(const std::vector<std::string>& paths, std::vector<PayloadFile>& files)
{
   for (const std::string& path : paths) {
      PayloadFile file{path, Pack_EntryName(path), 0};
      const PayloadName check = Payload_CheckName(file.name + '\0');
      if (check != PayloadName::Ok) {
         Report("the payload name \"" + file.name + "\" cannot be used: " + Payload_NameProblem(check));
         return false;
      }
      for (const PayloadFile& earlier : files) {
         if (Str_EqualsNoCase(earlier.name, file.name)) {
            Report("two payload files are named \"" + file.name + "\"");
            return false;
         }
      }
      if (!FileSize(path, file.size)) {
         Report("cannot read the payload file \"" + path + "\": " + ErrorText(GetLastError()));
         return false;
      }
      files.push_back(file);
   }
   return true;
}

class Editor
{
 public:
   explicit Editor(std::string target) : target_(std::move(target)) {}

   bool Set(const char* type, const char* name, void* data, const std::string& what)
   {
      const unsigned long result = resource_.UpdateFileResource(type, target_.c_str(), name, data);
      if (result != ERROR_SUCCESS) {
         Report("cannot write " + what + " into \"" + target_ + "\": " + ErrorText(result));
         return false;
      }
      return true;
   }

   bool Config(const std::string& key, const std::string& value)
   {
      return Set(MAKEINTRESOURCEA(kConfigType), key.c_str(), const_cast<char*>(value.c_str()), key);
   }

   bool Version(const std::string& key, const std::string& value, bool fixed)
   {
      VersionResourceData data{fixed ? 1u : 0u, value.c_str()};
      return Set(MAKEINTRESOURCEA(kVersionType), key.c_str(), &data,
                 (fixed ? "the fixed " : "the version string ") + key);
   }

   bool Bitmap(const std::string& id, const std::string& path)
   {
      // A numeric identifier is an integer resource name, as the resource script would give it.
      const bool numeric = !id.empty() && id.size() <= 5 && id.find_first_not_of("0123456789") == std::string::npos &&
                           std::stoul(id) <= 0xFFFF;
      const char* name = numeric ? MAKEINTRESOURCEA(std::stoul(id)) : id.c_str();
      return Set(MAKEINTRESOURCEA(kBitmapType), name, const_cast<char*>(path.c_str()), "bitmap " + id);
   }

 private:
   CResource resource_;
   std::string target_;
};

std::string OffsetText(uint64_t offset)
{
   return Str_Format("%*llu", kOffsetWidth, static_cast<unsigned long long>(offset));
}

bool Configure(const PackOptions& options, const std::vector<PackSetting>& settings, bool hasPayload, Editor& editor,
               uint64_t& offset)
{
   // The offset goes in first at its final width, so that writing the real value later leaves
   // every size, and so the offset itself, unchanged.
   if (!editor.Config(kOffsetKey, hasPayload ? OffsetText(0) : std::string("0"))) {
      return false;
   }
   for (const PackSetting& setting : settings) {
      if (!editor.Config(setting.key, setting.value)) {
         return false;
      }
   }
   for (const auto& [key, value, fixed] :
        {std::tuple{"FileVersion", options.fileVersion, true}, std::tuple{"FileVersion", options.fileVersion, false},
         std::tuple{"ProductVersion", options.productVersion, true},
         std::tuple{"ProductVersion", options.productVersion, false}}) {
      if (!value.empty() && !editor.Version(key, value, fixed)) {
         return false;
      }
   }
   for (const auto& [key, value] : options.versionStrings) {
      if (!editor.Version(key, value, false)) {
         return false;
      }
   }
   for (const auto& [id, path] : options.bitmaps) {
      if (!editor.Bitmap(id, path)) {
         return false;
      }
   }
   offset = 0;
   if (!hasPayload) {
      return true;
   }
   for (int attempt = 0; attempt < kOffsetSettleAttempts; attempt++) {
      uint64_t size = 0;
      if (!FileSize(options.output, size)) {
         Report("cannot read the size of \"" + options.output + "\": " + ErrorText(GetLastError()));
         return false;
      }
      if (size > UINT32_MAX) {
         Report("the configured image is larger than 4 GiB; SFXINSERT cannot hold its size");
         return false;
      }
      if (size == offset) {
         return true;
      }
      offset = size;
      if (!editor.Config(kOffsetKey, OffsetText(offset))) {
         return false;
      }
   }
   Report("the image size did not settle while writing SFXINSERT");
   return false;
}

bool AppendContainer(const std::string& output, const std::vector<PayloadFile>& files)
{
   UniqueFile out(Win32U_Fopen(output.c_str(), "ab"));
   if (!out) {
      Report("cannot open \"" + output + "\" to append the payload");
      return false;
   }
   std::string table = Payload_EncodeHeader(static_cast<uint32_t>(files.size()));
   for (const PayloadFile& file : files) {
      table += Payload_EncodeEntry(file.name, file.size);
   }
   if (fwrite(table.data(), 1, table.size(), out.get()) != table.size()) {
      Report("cannot write the payload table into \"" + output + "\"");
      return false;
   }
   std::vector<char> buffer(kChunkBytes);
   for (const PayloadFile& file : files) {
      UniqueFile in(Win32U_Fopen(file.path.c_str(), "rb"));
      if (!in) {
         Report("cannot open the payload file \"" + file.path + "\"");
         return false;
      }
      for (uint64_t left = file.size; left > 0;) {
         const size_t chunk = left < kChunkBytes ? static_cast<size_t>(left) : kChunkBytes;
         if (fread(buffer.data(), 1, chunk, in.get()) != chunk) {
            Report("the payload file \"" + file.path + "\" became shorter while it was read");
            return false;
         }
         if (fwrite(buffer.data(), 1, chunk, out.get()) != chunk) {
            Report("cannot append \"" + file.path + "\" to \"" + output + "\"");
            return false;
         }
         left -= chunk;
      }
   }
   if (fclose(out.release()) != 0) {
      Report("cannot finish writing \"" + output + "\"");
      return false;
   }
   return true;
}

bool SamePath(const std::string& a, const std::string& b)
{
   const auto fullA = Win32U_GetFullPathName(a.c_str());
   const auto fullB = Win32U_GetFullPathName(b.c_str());
   return fullA && fullB && Str_EqualsNoCase(*fullA, *fullB);
}

bool Pack(const PackOptions& options)
{
   std::string text;
   std::vector<PackSetting> settings;
   std::string error;
   if (!ReadConfigFile(options.config, text)) {
      return false;
   }
   if (!Pack_ParseConfig(text, settings, error)) {
      Report(options.config + ": " + error);
      return false;
   }
   std::vector<PayloadFile> files;
   if (!CollectPayloads(options.payloads, files)) {
      return false;
   }
   uint64_t ignored = 0;
   if (!FileSize(options.base, ignored)) {
      Report("cannot read the base image \"" + options.base + "\": " + ErrorText(GetLastError()));
      return false;
   }
   for (const auto& [id, path] : options.bitmaps) {
      if (!FileSize(path, ignored)) {
         Report("cannot read the bitmap file \"" + path + "\" for " + id + ": " + ErrorText(GetLastError()));
         return false;
      }
   }
   if (SamePath(options.base, options.output)) {
      Report("the output must not be the base image");
      return false;
   }
   if (!Win32U_CopyFile(options.base.c_str(), options.output.c_str(), FALSE)) {
      Report("cannot copy \"" + options.base + "\" to \"" + options.output + "\": " + ErrorText(GetLastError()));
      return false;
   }
   Editor editor(options.output);
   uint64_t offset = 0;
   if (!Configure(options, settings, !files.empty(), editor, offset)) {
      return false;
   }
   if (!files.empty() && !AppendContainer(options.output, files)) {
      return false;
   }
   uint64_t payloadBytes = 0;
   for (const PayloadFile& file : files) {
      payloadBytes += file.size;
   }
   std::printf("txpack: wrote \"%s\": %zu settings, SFXINSERT %llu, %zu payload files (%llu bytes)\n",
               options.output.c_str(), settings.size(), static_cast<unsigned long long>(offset), files.size(),
               static_cast<unsigned long long>(payloadBytes));
   return true;
}

} // namespace

int Pack_Run(const PackOptions& options)
{
   if (Pack(options)) {
      return 0;
   }
   if (!options.output.empty() && !SamePath(options.base, options.output)) {
      Win32U_DeleteFile(options.output.c_str());
   }
   return 1;
}
