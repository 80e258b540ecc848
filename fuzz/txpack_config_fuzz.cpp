// txpack's configuration file and its check over any text: a file that reads is either accepted,
// and then the launcher's own rules take every value it must read, or refused with a message on
// a line of the file. Input: one byte (bit 0: a payload is packed), then the file's text.
#include <set>
#include <string>

#include "apps/install/setup/configValues.h"
#include "apps/install/setup/payloadFormat.h"
#include "fuzz/fuzzCheck.h"
#include "lib/install/msiGuid.h"
#include "lib/string/str.h"
#include "tools/txpack/configCheck.h"

namespace
{

const PackSetting* Find(const std::vector<PackSetting>& settings, const char* key)
{
   for (const PackSetting& s : settings) {
      if (s.key == key) {
         return &s;
      }
   }
   return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   const bool packed = (input.ConsumeIntegral<uint8_t>() & 1) != 0;
   const std::string text = input.ConsumeRemainingBytesAsString();
   const std::vector<std::string> names = {"Tessix Tools.msi", "vcredist_arm64.exe"};
   const std::optional<std::vector<std::string>> payload =
       packed ? std::optional<std::vector<std::string>>(names) : std::nullopt;

   std::vector<PackSetting> settings;
   std::string error;
   if (!Pack_ParseConfig(text, settings, error)) {
      FUZZ_CHECK(error.rfind("line ", 0) == 0);
      return 0;
   }
   std::set<std::string> keys;
   std::set<unsigned> lines;
   for (const PackSetting& s : settings) {
      FUZZ_CHECK(keys.insert(s.key).second);
      lines.insert(s.line);
   }

   const std::vector<PackFinding> findings = Pack_CheckConfig(settings, payload);
   bool refused = false;
   unsigned previous = 1;
   for (const PackFinding& f : findings) {
      FUZZ_CHECK(!f.text.empty());
      FUZZ_CHECK(f.line == 0 || lines.count(f.line) == 1);
      // In line order, the findings of no line last.
      const unsigned order = f.line == 0 ? UINT32_MAX : f.line;
      FUZZ_CHECK(order >= previous);
      previous = order;
      refused = refused || f.kind == FindingKind::Error;
   }
   if (refused) {
      return 0;
   }

   // Accepted: every value the launcher refuses to read is fine.
   for (const char* key :
        {"PRODUCTNAME", "UPGRADECODE", "PRODUCTCODE", "TXIOPTION", "MINIMUM_9X_MSI", "MINIMUM_NT_MSI"}) {
      FUZZ_CHECK(Find(settings, key) != nullptr);
   }
   FUZZ_CHECK(Config_ParseMsiVersion(Find(settings, "MINIMUM_9X_MSI")->value).has_value());
   FUZZ_CHECK(Config_ParseMsiVersion(Find(settings, "MINIMUM_NT_MSI")->value).has_value());
   const std::string& code = Find(settings, "PRODUCTCODE")->value;
   FUZZ_CHECK(MsiUtil_IsBracedGuid(code) && MsiUtil_IsBracedGuid(Find(settings, "UPGRADECODE")->value));
   FUZZ_CHECK(Payload_CheckName(code + "~setup" + '\0') == PayloadName::Ok);
   const PackSetting* package = nullptr;
   for (const char* key : {"TX_DATABASE64", "TX_DATABASE", "PATCH"}) {
      package = package != nullptr ? package : Find(settings, key);
   }
   FUZZ_CHECK(package != nullptr && !package->value.empty());
   if (packed) {
      bool named = false;
      for (const std::string& name : names) {
         named = named || Str_EqualsNoCase(name, package->value);
      }
      FUZZ_CHECK(named);
   }
   return 0;
}
