#include "tools/txpack/packer.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "apps/install/setup/config.h"
#include "apps/install/setup/payloadDigest.h"
#include "apps/install/setup/payloadFormat.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "resedit/resourceEdit.h"
#include "tools/txpack/configCheck.h"
#include "tools/txpack/packFiles.h"
#include "tools/txpack/packageFacts.h"
#include "tools/txpack/scratchFolder.h"
#include "tools/txpack/versionInfo.h"

namespace
{

constexpr size_t kChunkBytes = 65536;
constexpr int kOffsetWidth = 10;              // any 32-bit offset; leading blanks keep the width
constexpr uint64_t kMaxConfigBytes = 1 << 20; // a configuration file is a few lines
constexpr WORD kBitmapType = 2;
constexpr WORD kVersionType = 16;
constexpr int kOffsetSettleAttempts = 3;
constexpr int kTemporaryNameAttempts = 100;
const char kOffsetKey[] = "SFXINSERT";

bool ReadConfigFile(const std::string& path, std::string& text)
{
   InputFile file;
   if (!file.Open(path, "the configuration file")) {
      return false;
   }
   if (file.size > kMaxConfigBytes) {
      Pack_Report("the configuration file \"" + path + "\" is larger than 1 MiB");
      return false;
   }
   return file.Read(text, file.size);
}

struct PayloadFile {
   std::string path;
   std::string name;
   uint64_t size;
   uint64_t digest = 0;
};

// The file's digest, read once before anything is written: the configuration that records it
// goes into the image before the container is appended behind it.
bool HashPayload(InputFile& input, PayloadFile& file)
{
   PayloadHash hash;
   std::string buffer;
   for (uint64_t left = input.size; left > 0;) {
      const size_t chunk = left < kChunkBytes ? static_cast<size_t>(left) : kChunkBytes;
      if (!input.Read(buffer, chunk)) {
         return false;
      }
      hash.Update(buffer.data(), chunk);
      left -= chunk;
   }
   file.digest = hash.Digest();
   return true;
}

bool CollectPayloads(const std::vector<std::string>& paths, std::vector<PayloadFile>& files)
{
   for (const std::string& path : paths) {
      PayloadFile file{path, Pack_EntryName(path), 0};
      const PayloadName check = Payload_CheckName(file.name + '\0');
      if (check != PayloadName::Ok) {
         Pack_Report("the payload name \"" + file.name + "\" cannot be used: " + Payload_NameProblem(check));
         return false;
      }
      for (const PayloadFile& earlier : files) {
         if (Str_EqualsNoCase(earlier.name, file.name)) {
            Pack_Report("two payload files are named \"" + file.name + "\"");
            return false;
         }
      }
      InputFile input;
      if (!input.Open(path, "the payload file")) {
         return false;
      }
      file.size = input.size;
      if (!HashPayload(input, file)) {
         return false;
      }
      files.push_back(file);
   }
   return true;
}

// Prints every finding; true when none is an error (or errors are allowed, for a test launcher
// that must carry a configuration txpack refuses), and with --strict none is a warning either.
bool CheckConfig(const PackOptions& options, const std::vector<PackSetting>& settings,
                 const std::vector<PayloadFile>& files)
{
   std::optional<std::vector<std::string>> names;
   std::vector<PayloadPath> paths;
   if (!files.empty()) {
      names.emplace();
      for (const PayloadFile& file : files) {
         names->push_back(file.name);
         paths.push_back({file.name, file.path});
      }
   }
   // The packages are read with the launcher's own code, which logs into a folder of txpack's.
   ScratchFolder scratch;
   if (scratch.path().empty()) {
      return false;
   }
   const PayloadFacts facts = Pack_ReadPayloadFacts(settings, paths);
   bool ok = true;
   size_t warnings = 0;
   for (const PackFinding& finding : Pack_CheckConfig(settings, names, &facts)) {
      const bool error = finding.kind == FindingKind::Error;
      // A payload name comes from --payload, not from the configuration file.
      const std::string where =
          finding.source == FindingSource::Payload
              ? std::string("--payload: ")
              : options.config + ": " + (finding.line != 0 ? "line " + std::to_string(finding.line) + ": " : "");
      const char* kind = !error ? "warning: " : options.allowRefusedConfig ? "refused, packed as asked: " : "";
      Pack_Report(where + kind + finding.text);
      ok = ok && !error;
      warnings += error ? 0 : 1;
   }
   if (!ok && !options.allowRefusedConfig) {
      Pack_Report("nothing was written: the configuration is refused (above)");
      return false;
   }
   if (options.strict && warnings > 0) {
      Pack_Report("nothing was written: --strict makes the " +
                  (warnings == 1 ? std::string("warning") : std::to_string(warnings) + " warnings") +
                  " above an error");
      return false;
   }
   return true;
}

// The built launcher, not one that txpack already wrote to: old keys would stay behind and the
// old payload would ride inside the new image. `version` receives its version information.
bool CheckBase(const std::string& base, std::optional<VersionInfo>& version)
{
   ProgramImage image;
   if (!Pack_OpenProgramImage(base, "the base image", image)) {
      return false;
   }
   std::vector<std::string> names;
   DWORD error = ERROR_SUCCESS;
   if (!Pack_ConfigNames(image.resources.get(), names, error)) {
      Pack_Report("cannot list the resources of the base image \"" + base + "\": " + Pack_ErrorText(error));
      return false;
   }
   const bool configured = !names.empty();
   if (configured || Pack_HasContainer(image)) {
      Pack_Report("the base \"" + base + "\" already carries " + (configured ? "a configuration" : "a payload") +
                  ": it is already packed; use the launcher from the build output");
      return false;
   }
   version = Pack_ReadVersionInfo(Pack_VersionResource(image.resources.get()));
   return true;
}

size_t Utf16Chars(const std::string& text)
{
   const auto wide = Win32U_ToWide(text);
   return wide ? wide->size() : text.size();
}

// The version texts and strings asked for, against the rule for version numbers and the strings
// and room the base's version information has: every problem is reported, nothing is written.
bool CheckVersionOptions(const PackOptions& options, const std::optional<VersionInfo>& version)
{
   std::vector<std::string> problems;
   const auto checkString = [&](const std::string& option, const std::string& key, const std::string& value) {
      if (!version) {
         problems.push_back(option + ": the base image has no version information that can be read");
         return;
      }
      const VersionString* string = Pack_FindVersionString(*version, key);
      if (string == nullptr) {
         std::vector<std::string> names;
         std::string list;
         for (const VersionString& known : version->strings) {
            names.push_back(known.key);
            list += (list.empty() ? "" : ", ") + known.key;
         }
         problems.push_back(option + ": the version information has no string \"" + key + "\"; its strings are " +
                            list + "; the nearest is " + Pack_Nearest(key, names));
         return;
      }
      const size_t length = Utf16Chars(value);
      if (length > string->room) {
         problems.push_back(option + ": \"" + value + "\" has " + std::to_string(length) +
                            " characters, and the image holds at most " + std::to_string(string->room) + " in " +
                            string->key +
                            " (the room its text in resources/setup.rc reserves); shorten it, or "
                            "lengthen that text in setup.rc and build the launcher again");
      }
   };
   for (const auto& [option, key, value] :
        {std::tuple{"--version-file", "FileVersion", options.fileVersion},
         std::tuple{"--version-product", "ProductVersion", options.productVersion}}) {
      if (value.empty()) {
         continue;
      }
      std::array<uint16_t, 4> numbers{};
      std::string problem;
      if (!Pack_ParseVersionText(value, numbers, problem)) {
         problems.push_back(std::string(option) + " \"" + value + "\": " + problem + "; " + kVersionTextRule);
         continue;
      }
      checkString(std::string(option) + " " + value, key, value);
   }
   for (const auto& [key, value] : options.versionStrings) {
      checkString("--string " + key + "=" + value, key, value);
   }
   for (const std::string& problem : problems) {
      Pack_Report(problem);
   }
   return problems.empty();
}

// The output's folder must be there: txpack makes no folders.
bool OutputFolderExists(const std::string& output)
{
   const size_t slash = output.find_last_of("\\/");
   if (slash == std::string::npos) {
      return true;
   }
   const std::string folder = output.substr(0, slash + 1);
   const DWORD attributes = Pack_Attributes(folder);
   if (attributes == INVALID_FILE_ATTRIBUTES) {
      Pack_Report("the output folder \"" + folder + "\" does not exist: create it first (txpack makes no folders)");
      return false;
   }
   if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      Pack_Report("the output folder \"" + folder + "\" is a file, not a folder");
      return false;
   }
   return true;
}

// An output that names a folder (an existing one, or a path ending in a separator) receives the
// base's file name.
std::string ResolveOutput(const std::string& output, const std::string& base)
{
   const bool folder =
       (!output.empty() && (output.back() == '\\' || output.back() == '/')) ||
       (Pack_Attributes(output) != INVALID_FILE_ATTRIBUTES && (Pack_Attributes(output) & FILE_ATTRIBUTE_DIRECTORY));
   if (!folder) {
      return output;
   }
   const bool separator = output.back() == '\\' || output.back() == '/';
   return output + (separator ? "" : "\\") + Pack_EntryName(base);
}

// The output must not be any file this run reads, under whatever name: writing it would destroy
// the input (and a failed run used to delete it).
bool OutputIsNoInput(const PackOptions& options, const std::string& output)
{
   const auto outputId = Pack_FileIdOf(output);
   if (!outputId) {
      return true;
   }
   std::vector<std::pair<std::string, std::string>> inputs = {{options.base, "the base image itself"},
                                                              {options.config, "the configuration file"}};
   for (const std::string& payload : options.payloads) {
      inputs.push_back({payload, "the payload file \"" + payload + "\""});
   }
   for (const auto& [id, path] : options.bitmaps) {
      inputs.push_back({path, "the bitmap file \"" + path + "\""});
   }
   for (const auto& [path, what] : inputs) {
      if (Pack_FileIdOf(path) == outputId) {
         Pack_Report("the output \"" + output + "\" is " + what +
                     " (the same file under another name); choose another " + "output");
         return false;
      }
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
         Pack_Report("cannot write " + what + " into the new launcher: " + Pack_ErrorText(result));
         return false;
      }
      return true;
   }

   bool Config(const std::string& key, const std::string& value)
   {
      return Set(MAKEINTRESOURCEA(kConfigResourceType), key.c_str(), const_cast<char*>(value.c_str()), key);
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
      const std::string longPath = Win32U_Utf8(Pack_LongPath(path));
      return Set(MAKEINTRESOURCEA(kBitmapType), name, const_cast<char*>(longPath.c_str()), "bitmap " + id);
   }

   const std::string& target() const { return target_; }

 private:
   CResource resource_;
   std::string target_;
};

std::string OffsetText(uint64_t offset)
{
   return Str_Format("%*llu", kOffsetWidth, static_cast<unsigned long long>(offset));
}

bool Configure(const PackOptions& options, const std::vector<PackSetting>& settings,
               const std::vector<PayloadFile>& files, Editor& editor, uint64_t& offset)
{
   const bool hasPayload = !files.empty();
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
   if (hasPayload) {
      std::vector<PayloadDigest> digests;
      for (const PayloadFile& file : files) {
         digests.push_back({file.name, file.digest});
      }
      if (!editor.Config(kPayloadDigestKey, Payload_FormatDigests(digests))) {
         return false;
      }
   }
   // The fixed numbers from the numbers of the text (checked before), the string as given.
   for (const auto& [key, value] :
        {std::pair{"FileVersion", options.fileVersion}, std::pair{"ProductVersion", options.productVersion}}) {
      std::array<uint16_t, 4> numbers{};
      std::string problem;
      if (value.empty()) {
         continue;
      }
      if (!Pack_ParseVersionText(value, numbers, problem) ||
          !editor.Version(key, Pack_VersionNumbersText(numbers), true) || !editor.Version(key, value, false)) {
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
      InputFile image;
      if (!image.Open(editor.target(), "the new launcher")) {
         return false;
      }
      if (image.size > UINT32_MAX) {
         Pack_Report("the configured image is larger than 4 GiB; SFXINSERT cannot hold its size");
         return false;
      }
      if (image.size == offset) {
         return true;
      }
      offset = image.size;
      image.Close();
      if (!editor.Config(kOffsetKey, OffsetText(offset))) {
         return false;
      }
   }
   Pack_Report("the image size did not settle while writing SFXINSERT");
   return false;
}

bool AppendContainer(const std::string& target, const std::vector<PayloadFile>& files)
{
   OutputFile out;
   if (!out.OpenForAppend(target)) {
      return false;
   }
   std::string table = Payload_EncodeHeader(static_cast<uint32_t>(files.size()));
   for (const PayloadFile& file : files) {
      table += Payload_EncodeEntry(file.name, file.size);
   }
   if (!out.Write(table.data(), table.size())) {
      return false;
   }
   std::string buffer;
   for (const PayloadFile& file : files) {
      InputFile in;
      if (!in.Open(file.path, "the payload file")) {
         return false;
      }
      if (in.size != file.size) {
         Pack_Report("the payload file \"" + file.path + "\" changed its size while txpack ran");
         return false;
      }
      PayloadHash hash;
      for (uint64_t left = file.size; left > 0;) {
         const size_t chunk = left < kChunkBytes ? static_cast<size_t>(left) : kChunkBytes;
         if (!in.Read(buffer, chunk) || !out.Write(buffer.data(), chunk)) {
            return false;
         }
         hash.Update(buffer.data(), chunk);
         left -= chunk;
      }
      if (hash.Digest() != file.digest) {
         Pack_Report("the payload file \"" + file.path + "\" changed while txpack ran");
         return false;
      }
   }
   return out.Finish();
}

// A new file beside the output, from a copy of the base; every change goes there first.
std::optional<std::string> CreateTemporaryCopy(const std::string& base, const std::string& output)
{
   DWORD error = ERROR_FILE_EXISTS;
   for (int attempt = 0; attempt < kTemporaryNameAttempts && error == ERROR_FILE_EXISTS; attempt++) {
      const std::string temporary =
          output + Str_Format(".txpack-%lu-%d.tmp", static_cast<unsigned long>(GetCurrentProcessId()), attempt);
      if (CopyFileW(Pack_LongPath(base).c_str(), Pack_LongPath(temporary).c_str(), TRUE)) {
         // A read-only base gives a read-only copy, which the resource update could not open.
         const DWORD attributes = Pack_Attributes(temporary);
         if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesW(Pack_LongPath(temporary).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
         }
         return temporary;
      }
      error = GetLastError();
   }
   Pack_Report("cannot create a temporary file beside \"" + output + "\": " + Pack_ErrorText(error));
   return std::nullopt;
}

// Removes the temporary file unless it was renamed over the output.
class TemporaryFile
{
 public:
   explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
   ~TemporaryFile()
   {
      if (!path_.empty()) {
         DeleteFileW(Pack_LongPath(path_).c_str());
      }
   }
   TemporaryFile(const TemporaryFile&) = delete;
   TemporaryFile& operator=(const TemporaryFile&) = delete;

   const std::string& path() const { return path_; }

   bool ReplaceTarget(const std::string& target)
   {
      if (!MoveFileExW(Pack_LongPath(path_).c_str(), Pack_LongPath(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
         Pack_Report("cannot replace \"" + target + "\" with the new launcher: " + Pack_ErrorText(GetLastError()));
         return false;
      }
      path_.clear();
      return true;
   }

 private:
   std::string path_;
};

bool Pack(const PackOptions& options)
{
   std::string text;
   std::vector<PackSetting> settings;
   std::string error;
   if (!ReadConfigFile(options.config, text)) {
      return false;
   }
   if (!Pack_ParseConfig(text, settings, error)) {
      Pack_Report(options.config + ": " + error);
      return false;
   }
   std::vector<PayloadFile> files;
   std::optional<VersionInfo> version;
   if (!CollectPayloads(options.payloads, files) || !CheckConfig(options, settings, files) ||
       !CheckBase(options.base, version) || !CheckVersionOptions(options, version)) {
      return false;
   }
   for (const auto& [id, path] : options.bitmaps) {
      InputFile bitmap;
      if (!bitmap.Open(path, "the bitmap file for " + id)) {
         return false;
      }
   }
   const std::string output = ResolveOutput(options.output, options.base);
   if (!OutputFolderExists(output) || !OutputIsNoInput(options, output)) {
      return false;
   }
   const auto temporaryPath = CreateTemporaryCopy(options.base, output);
   if (!temporaryPath) {
      return false;
   }
   TemporaryFile temporary(*temporaryPath);
   Editor editor(Win32U_Utf8(Pack_LongPath(temporary.path())));
   uint64_t offset = 0;
   if (!Configure(options, settings, files, editor, offset) ||
       (!files.empty() && !AppendContainer(temporary.path(), files)) || !temporary.ReplaceTarget(output)) {
      return false;
   }
   uint64_t payloadBytes = 0;
   for (const PayloadFile& file : files) {
      payloadBytes += file.size;
   }
   std::printf("txpack: wrote \"%s\": %zu settings, SFXINSERT %llu, %zu payload files (%llu bytes)\n", output.c_str(),
               settings.size(), static_cast<unsigned long long>(offset), files.size(),
               static_cast<unsigned long long>(payloadBytes));
   return true;
}

} // namespace

int Pack_Run(const PackOptions& options)
{
   return Pack(options) ? 0 : 1;
}
