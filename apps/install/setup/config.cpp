#include "apps/install/setup/config.h"

#include <cstring>
#include <new>
#include <vector>

#include "apps/install/setup/configValues.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/unicode/unicodeSimple.h"

SetupConfig* activeConfig = nullptr;

namespace
{

constexpr size_t kFirstBufferBytes = 256;
constexpr size_t kWindowTitleBytes = 256;
constexpr size_t kMessageBytes = kMessageTextBytes;
constexpr DWORD kErrorIcon = MB_ICONERROR; // 16

struct OsKind {
   bool windows9x;
   bool windows2000;
};

// Two separate questions, as the engine upgrader's choice has always asked them.
OsKind ReadOsKind()
{
   OsKind kind{false, false};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
   OSVERSIONINFOA v{};
   v.dwOSVersionInfoSize = sizeof v;
   if (GetVersionExA(&v)) {
      kind.windows9x = v.dwPlatformId != VER_PLATFORM_WIN32_NT;
   }
   v = OSVERSIONINFOA{};
   v.dwOSVersionInfoSize = sizeof v;
   if (GetVersionExA(&v)) {
      kind.windows2000 = v.dwMajorVersion == 5 && v.dwMinorVersion == 0;
   }
#pragma GCC diagnostic pop
   return kind;
}

class Reader
{
 public:
   explicit Reader(SetupConfig& config) : config_(config) {}

   // 0, 1814, 13 or 14; message 12 has been shown for 14.
   DWORD Read(const char* key, std::string& value)
   {
      return ReadConfigValueAlloc(config_.module, key, value, kFirstBufferBytes, config_.windowTitle.c_str());
   }

   std::optional<std::string> Optional(const char* key)
   {
      std::string value;
      return Read(key, value) == ERROR_SUCCESS ? std::optional<std::string>(std::move(value)) : std::nullopt;
   }

   bool Present(const char* key)
   {
      std::string ignored;
      return Read(key, ignored) == ERROR_SUCCESS;
   }

   bool Required(const char* key, std::string& value)
   {
      if (Read(key, value) == ERROR_SUCCESS) {
         return true;
      }
      return MissingKey(key);
   }

   bool MissingKey(const char* key)
   {
      Inst_LogMsg("ERROR: The required resource '%s' is missing", key);
      return NotConfigured();
   }

   // Message 15, logged and shown: the configuration cannot be used.
   bool NotConfigured()
   {
      char text[kMessageBytes] = "";
      LoadMessage(config_.module, MSG_NOT_CONFIGURED, text, sizeof text);
      Inst_LogMsg("ERROR: %s", text);
      ShowMessage(config_.module, messageOwner, config_.windowTitle.c_str(), MSG_NOT_CONFIGURED, kErrorIcon);
      return false;
   }

   bool MsiVersion(const char* key, uint32_t& field)
   {
      std::string text;
      if (!Required(key, text)) {
         return false;
      }
      const auto version = Config_ParseMsiVersion(text);
      if (!version) {
         ShowMessageWithTextAndNumber(config_.module, messageOwner, config_.windowTitle.c_str(), MSG_BAD_MSI_VERSION,
                                      text.c_str(), static_cast<int>(kMinimumMsiVersion), kErrorIcon);
         return false;
      }
      field = *version;
      return true;
   }

 private:
   SetupConfig& config_;
};

// TX_DATABASE64 (when preferred), TX_DATABASE, then PATCH: the first present names the package.
bool ReadDatabase(Reader& reader, SetupConfig& config, bool preferDatabase64)
{
   const char* const keys64[] = {"TX_DATABASE64", "TX_DATABASE"};
   const char* const keys[] = {"TX_DATABASE"};
   const auto tryKeys = [&](const char* const* list, size_t count) {
      for (size_t i = 0; i < count; i++) {
         const DWORD result = reader.Read(list[i], config.database);
         if (result == ERROR_SUCCESS || result == ERROR_OUTOFMEMORY) {
            return result;
         }
      }
      return static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND);
   };
   DWORD result = preferDatabase64 ? tryKeys(keys64, 2) : tryKeys(keys, 1);
   if (result == ERROR_RESOURCE_NAME_NOT_FOUND) {
      result = reader.Read("PATCH", config.database);
      config.isPatch = result == ERROR_SUCCESS;
   }
   return result == ERROR_SUCCESS || reader.MissingKey("TX_DATABASE");
}

enum class ReadLog { Logged, Unlogged };

// A value of several lines (the payload digests) is logged on one line, its breaks shown as "\n":
// a log line is one line for everyone who reads it, the host included.
std::string OneLine(const std::string& value)
{
   std::string line;
   for (char c : value) {
      line += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
   }
   return line;
}

template <typename... Args>
void LogRead(ReadLog log, const char* format, Args... args)
{
   if (log == ReadLog::Logged) {
      Inst_LogMsg(format, args...);
   }
}

DWORD ReadValue(HMODULE module, WORD type, const char* key, char* buffer, DWORD* size, ReadLog log)
{
   HRSRC found = Win32U_FindResource(module, key, MAKEINTRESOURCEA(type));
   if (found == nullptr) {
      LogRead(log, "[Resource] %s = <not defined>", key);
      return ERROR_RESOURCE_NAME_NOT_FOUND;
   }
   const DWORD capacity = buffer != nullptr ? *size : 0;
   const DWORD bytes = SizeofResource(module, found);
   HGLOBAL loaded = LoadResource(module, found);
   const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
   if (data == nullptr || bytes < sizeof(wchar_t)) {
      if (capacity == 0) {
         *size = 1;
         return ERROR_MORE_DATA;
      }
      buffer[0] = '\0';
      *size = 1;
      LogRead(log, "[Resource] %s = %s", key, buffer);
      return ERROR_SUCCESS;
   }
   // The value ends at its NUL, but never past the resource: a value written without its
   // terminator must not lead the reader into whatever follows it in the image.
   const auto* text = static_cast<const wchar_t*>(data);
   const size_t limit = bytes / sizeof(wchar_t);
   size_t length = 0;
   while (length < limit && text[length] != L'\0') {
      length++;
   }
   const auto utf8 = Win32U_ToUtf8(std::wstring_view(text, length));
   if (!utf8) {
      LogRead(log, "[Resource] %s = <not valid text>", key);
      return ERROR_INVALID_DATA;
   }
   const size_t needed = utf8->size() + 1;
   if (needed > capacity) {
      *size = static_cast<DWORD>(needed);
      return ERROR_MORE_DATA;
   }
   std::memcpy(buffer, utf8->c_str(), needed);
   *size = static_cast<DWORD>(needed);
   LogRead(log, "[Resource] %s = %s", key, OneLine(*utf8).c_str());
   return ERROR_SUCCESS;
}

DWORD ReadValueAlloc(HMODULE module, const char* key, std::string& value, size_t initialSize, ReadLog log)
{
   try {
      std::vector<char> buffer(initialSize != 0 ? initialSize : kFirstBufferBytes);
      DWORD size = static_cast<DWORD>(buffer.size());
      DWORD result = ReadValue(module, kConfigResourceType, key, buffer.data(), &size, log);
      if (result == ERROR_MORE_DATA) {
         buffer.assign(size, '\0');
         result = ReadValue(module, kConfigResourceType, key, buffer.data(), &size, log);
      }
      if (result == ERROR_SUCCESS) {
         value.assign(buffer.data());
      }
      return result;
   } catch (const std::bad_alloc&) {
      return ERROR_OUTOFMEMORY;
   }
}

} // namespace

DWORD ReadConfigValue(HMODULE module, WORD type, const char* key, char* buffer, DWORD* size)
{
   return ReadValue(module, type, key, buffer, size, ReadLog::Logged);
}

DWORD ReadConfigValueAlloc(HMODULE module, const char* key, std::string& value, size_t initialSize)
{
   return ReadValueAlloc(module, key, value, initialSize, ReadLog::Logged);
}

DWORD ReadConfigValueUnlogged(HMODULE module, const char* key, std::string& value)
{
   return ReadValueAlloc(module, key, value, 0, ReadLog::Unlogged);
}

DWORD ReadConfigValueAlloc(HMODULE module, const char* key, std::string& value, size_t initialSize, const char* caption)
{
   const DWORD result = ReadConfigValueAlloc(module, key, value, initialSize);
   if (result == ERROR_OUTOFMEMORY) {
      ShowOutOfMemory(module, messageOwner, caption, kErrorIcon);
   }
   return result;
}

bool ReadConfiguration(SetupConfig& config, HMODULE module, const char* windowTitle, bool preferDatabase64,
                       const InstallStyle& style)
{
   const std::string_view title = windowTitle != nullptr ? windowTitle : "";
   config.windowTitle.assign(title.substr(0, Unicode_Utf8CutPoint(title, kWindowTitleBytes - 1)));
   config.module = module;
   const OsKind os = ReadOsKind();
   Reader reader(config);

   config.skipAdminCheck = reader.Present("SKIPADMINCHECK");
   const DWORD operation = reader.Read("OPERATION", config.operation);
   if (operation == ERROR_OUTOFMEMORY) {
      return false;
   }
   if (operation != ERROR_SUCCESS) {
      config.operation = "DEFAULT";
   }

   if (!reader.Required("PRODUCTNAME", config.productName) || !reader.Required("UPGRADECODE", config.upgradeCode) ||
       !reader.Required("PRODUCTCODE", config.productCode)) {
      return false;
   }
   if (!Config_IsValidProductCode(config.productCode)) {
      Inst_LogMsg("ERROR: The required resource 'PRODUCTCODE' is not a product code: \"%s\"",
                  config.productCode.c_str());
      return reader.NotConfigured();
   }
   config.languages = reader.Optional("LANGUAGES").value_or(std::string());
   if (!ReadDatabase(reader, config, preferDatabase64)) {
      return false;
   }

   std::string offset;
   if (!reader.Required("SFXINSERT", offset)) {
      return false;
   }
   const auto payloadOffset = Config_ParseNumber(offset);
   if (!payloadOffset) {
      ShowMessage(module, messageOwner, config.windowTitle.c_str(), MSG_NOT_SFX, kErrorIcon);
      return false;
   }
   config.payloadOffset = *payloadOffset;
   config.payloadDigests = reader.Optional("PAYLOAD_XXH64");

   if (!reader.Required("TXIOPTION", config.txiOption)) {
      return false;
   }
   if (const auto cacheMsi = reader.Optional("CACHEMSI")) {
      config.cacheMsi = Config_CacheMsiOn(*cacheMsi);
      Inst_LogMsg("Cache MSI set to %s", config.cacheMsi ? "TRUE" : "FALSE");
   }
   if (!reader.MsiVersion("MINIMUM_9X_MSI", config.minimumMsi9x) ||
       !reader.MsiVersion("MINIMUM_NT_MSI", config.minimumMsiNt)) {
      return false;
   }

   if (!style.toolsStyle || style.singleFile) {
      config.upgrader = reader.Optional(os.windows9x ? "INSTMSIA" : "INSTMSIW");
   } else {
      config.upgrader = os.windows2000 ? "instmsi2k.exe" : "instmsiw.exe";
   }

   config.vcRuntime32 = reader.Optional("VCRUNTIME32");
   config.vcRuntime64 = reader.Optional("VCRUNTIME64");
   config.vcRuntime32Alt = reader.Optional("VCRUNTIME32_ALT");
   config.vcRuntime64Alt = reader.Optional("VCRUNTIME64_ALT");
   config.properties = reader.Optional("PROPERTIES");
   if (!config.properties && style.toolsStyle) {
      config.properties = std::string();
   }
   config.oldCodes = reader.Optional("OLDCODES");
   config.helperUi = reader.Present("HELPER_UI");
   return true;
}

uint32_t ChooseLanguage(const SetupConfig& config)
{
   if (config.languages.empty()) {
      return kDefaultProductLanguage;
   }
   const LANGID user = GetUserDefaultLangID();
   Inst_LogMsg("The user's default locale is %d", static_cast<int>(user));
   const LanguageChoice choice = Config_ChooseLanguage(config.languages, user);
   if (choice.match == LanguageMatch::Exact) {
      Inst_LogMsg("Found an exact match, returning %d", static_cast<int>(choice.language));
   } else if (choice.match == LanguageMatch::Close) {
      Inst_LogMsg("Found a close match, returning %d", static_cast<int>(choice.language));
   }
   return choice.language;
}
