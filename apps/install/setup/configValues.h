// The rules for the launcher's configuration values and the choice of the product language.
// Pure code: reading the resources and asking for the user's language are the caller's part.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

inline constexpr uint32_t kMinimumMsiVersion = 150;
inline constexpr uint16_t kDefaultProductLanguage = 1033;

// A number that must be the whole text: optional leading white space and '+', then decimal
// digits and nothing after them (" 123" is taken, "123 " and "12x" are not). A value past 32
// bits or a minus sign is refused too: the C library would hand back a wrapped number.
std::optional<uint32_t> Config_ParseNumber(std::string_view text);

// The C library's lenient decimal conversion (strtoul on a 32-bit unsigned long): leading
// digits after white space and a sign, 0 when there are none, the largest value on overflow.
uint32_t Config_LeadingNumber(std::string_view text);

// MINIMUM_9X_MSI and MINIMUM_NT_MSI: a whole number of at least 150.
std::optional<uint32_t> Config_ParseMsiVersion(std::string_view text);

// PRODUCTCODE names the product to Windows Installer and, followed by "~setup", the extraction
// folder and the product's single-instance lock: it must be a braced GUID, which is also a plain
// folder name. Any other value is a configuration fault of the launcher (and of the packer).
bool Config_IsValidProductCode(std::string_view productCode);

// CACHEMSI is on exactly when its first character is "1" ("10" is on, "yes" is off).
bool Config_CacheMsiOn(std::string_view value);

enum class LanguageMatch {
   NoList,   // LANGUAGES empty: the default, nothing logged
   Exact,    // a listed identifier equals the user's
   Close,    // a listed identifier has the user's primary language
   Fallback, // nothing matched: the default
};

struct LanguageChoice {
   uint32_t language;
   LanguageMatch match;
};

// Picks the "ProductLanguage=" value from the blank-separated LANGUAGES list for a user whose
// default language identifier is `userLanguage`.
LanguageChoice Config_ChooseLanguage(std::string_view languages, uint16_t userLanguage);
