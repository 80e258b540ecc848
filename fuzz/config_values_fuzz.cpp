// The configuration value rules (SFXINSERT-style numbers, MINIMUM_*_MSI, CACHEMSI) and the
// language choices (the ProductLanguage property and the splash bitmap) over any value text.
// Input: two bytes of user language, then the value text.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "apps/install/setup/configValues.h"
#include "apps/install/setup/ui/splashLanguage.h"
#include "fuzz/fuzzCheck.h"

namespace
{

bool AllDigits(std::string_view text)
{
   return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool Listed(std::string_view languages, uint32_t id)
{
   for (size_t pos = 0; pos <= languages.size();) {
      size_t blank = languages.find(' ', pos);
      if (blank == std::string_view::npos) {
         blank = languages.size();
      }
      if (Config_LeadingNumber(languages.substr(pos, blank - pos)) == id) {
         return true;
      }
      pos = blank + 1;
   }
   return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   const uint16_t userLanguage = input.ConsumeIntegral<uint16_t>();
   const std::string text = input.ConsumeRemainingBytesAsString();

   const auto number = Config_ParseNumber(text);
   if (number) {
      // A whole number reads the same leniently, and prints back to its digits.
      FUZZ_CHECK(Config_LeadingNumber(text) == *number);
      FUZZ_CHECK(Config_ParseNumber(std::to_string(*number)) == number);
   }
   if (AllDigits(text)) {
      errno = 0;
      const unsigned long long expected = std::strtoull(text.c_str(), nullptr, 10);
      const bool fits = errno == 0 && expected <= UINT32_MAX;
      FUZZ_CHECK(number.has_value() == fits);
      FUZZ_CHECK(!fits || *number == expected);
      FUZZ_CHECK(fits || Config_LeadingNumber(text) == UINT32_MAX);
   }
   const auto msiVersion = Config_ParseMsiVersion(text);
   FUZZ_CHECK(!msiVersion || (*msiVersion >= kMinimumMsiVersion && msiVersion == number));
   FUZZ_CHECK(Config_CacheMsiOn(text) == (!text.empty() && text[0] == '1'));

   const LanguageChoice choice = Config_ChooseLanguage(text, userLanguage);
   FUZZ_CHECK(choice.language <= 0xFFFF);
   switch (choice.match) {
   case LanguageMatch::NoList:
      FUZZ_CHECK(text.empty() && choice.language == kDefaultProductLanguage);
      break;
   case LanguageMatch::Exact:
      FUZZ_CHECK(choice.language == userLanguage && Listed(text, userLanguage));
      break;
   case LanguageMatch::Close:
      // Traditional Chinese users never get a close match (it would be Simplified Chinese).
      FUZZ_CHECK(userLanguage != 0x404 && userLanguage != 0xC04);
      FUZZ_CHECK((choice.language & 0x3FF) == (userLanguage & 0x3FF) && !Listed(text, userLanguage));
      break;
   case LanguageMatch::Fallback:
      FUZZ_CHECK(choice.language == kDefaultProductLanguage && !Listed(text, userLanguage));
      break;
   }

   const uint16_t splash = ChooseSplashLanguage(text, userLanguage);
   FUZZ_CHECK(splash == 1033 || splash == userLanguage || (splash & 0x3FF) == (userLanguage & 0x3FF));
   if (const auto path = SplashBitmapPath(text, splash)) {
      FUZZ_CHECK(path->size() > 4 && path->compare(path->size() - 4, 4, ".bmp") == 0);
      FUZZ_CHECK(text.compare(0, path->rfind('\\') + 1, *path, 0, path->rfind('\\') + 1) == 0);
   }
   return 0;
}
