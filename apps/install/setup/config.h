// The launcher's configuration: text values held in its own image as resources of type 40,
// one per key, read into SetupConfig; and the product language chosen from them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

inline constexpr WORD kConfigResourceType = 40;

struct SetupConfig {
   HMODULE module = nullptr;
   bool skipAdminCheck = false;
   bool isPatch = false; // the package named by PATCH is a patch
   bool helperUi = false;
   bool cacheMsi = false;
   std::string windowTitle; // at most 255 bytes of the caller's title (message 11)
   std::string operation;
   std::string productName;
   std::string upgradeCode;
   std::string productCode;
   std::string languages;
   std::string database;
   std::optional<std::string> upgrader;
   std::optional<std::string> vcRuntime32;
   std::optional<std::string> vcRuntime64;
   std::optional<std::string> vcRuntime32Alt;
   std::optional<std::string> vcRuntime64Alt;
   std::optional<std::string> properties;
   std::optional<std::string> oldCodes;
   std::string txiOption;
   uint64_t payloadOffset = 0; // SFXINSERT, a 32-bit value
   std::optional<std::string> payloadDigests; // PAYLOAD_XXH64, written by the packer
   uint32_t minimumMsi9x = 0;
   uint32_t minimumMsiNt = 0;
   bool silent = false; // the /s option, copied here by the main flow
};

// The run's configuration record, set by the main flow before it is filled; the folder choice
// reads PRODUCTCODE through it.
extern SetupConfig* activeConfig;

// Copies the value of resource (type, key) as UTF-8 into `buffer`. `size` is the buffer's size
// in bytes on entry and the needed size (length plus NUL) on return. Returns 0, 234 when the
// buffer is too small (nothing copied), 1814 when there is no such resource, 13 when the value
// is not valid UTF-16. Each value copied is logged once under its key.
DWORD ReadConfigValue(HMODULE module, WORD type, const char* key, char* buffer, DWORD* size);

// The value of a type-40 key into `value`, read with a first buffer of `initialSize` bytes (256
// when 0) and once more with the exact size. Returns 0, 1814, 13, or 14 when memory runs out.
DWORD ReadConfigValueAlloc(HMODULE module, const char* key, std::string& value, size_t initialSize = 0);
// The same without the "[Resource]" log line: for values needed before the run's log may be
// opened (the log names, read to archive an earlier run's left-over logs).
DWORD ReadConfigValueUnlogged(HMODULE module, const char* key, std::string& value);
// The same, showing message 12 ("Out of Memory") titled `caption` before it returns 14.
DWORD ReadConfigValueAlloc(HMODULE module, const char* key, std::string& value, size_t initialSize,
                           const char* caption);

// The two facts of the run's install style that decide the engine upgrader's name.
struct InstallStyle {
   bool toolsStyle = false; // MINORUPGRADE is a number other than 0
   bool singleFile = false; // SINGLE_FILE, read in the tools style only
};

// Reads every key into `config`. On false the reason has been logged and shown, and the run
// must end.
bool ReadConfiguration(SetupConfig& config, HMODULE module, const char* windowTitle, bool preferDatabase64,
                       const InstallStyle& style);

// The language identifier for "ProductLanguage=", from LANGUAGES and the user's default language.
uint32_t ChooseLanguage(const SetupConfig& config);
