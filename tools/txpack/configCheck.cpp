#include "tools/txpack/configCheck.h"

#include <algorithm>

#include "apps/install/setup/configValues.h"
#include "apps/install/setup/payloadFormat.h"
#include "apps/install/setup/runtimeTable.h"
#include "apps/install/setup/sessionRules.h"
#include "lib/install/msiGuid.h"
#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

const char kFolderName[] = "~setup"; // after PRODUCTCODE in the extraction folder's name, then a back-slash
// Windows 10 and 11, the only systems the launcher runs on, ship Windows Installer 5.0.
constexpr uint32_t kSupportedSystemsEngine = 500;
const char kNotConfigured[] = "every install would stop with \"Setup is not configured and is unable to continue.\"";

enum class KeyKind {
   Text,
   Required,      // any text, an empty one too
   Guid,          // a required braced GUID
   MsiVersion,    // a required whole number of at least 150
   Package,       // one of the package keys: a file of the payload
   File,          // a file of the payload
   LenientNumber, // read with the C library's conversion: never refused
   Presence,      // only whether the key is there counts
};

struct KeyRule {
   const char* name;
   KeyKind kind;
};

// Every key the launcher reads, in the order it reads them, and the one the shipped
// configuration carries without anyone reading it.
constexpr KeyRule kKeys[] = {
    {"SKIPADMINCHECK", KeyKind::Presence},
    {"OPERATION", KeyKind::Text},
    {"PRODUCTNAME", KeyKind::Required},
    {"UPGRADECODE", KeyKind::Guid},
    {"PRODUCTCODE", KeyKind::Guid},
    {"LANGUAGES", KeyKind::Text},
    {"TX_DATABASE64", KeyKind::Package},
    {"TX_DATABASE", KeyKind::Package},
    {"PATCH", KeyKind::Package},
    {"SFXINSERT", KeyKind::Text},
    {"PAYLOAD_XXH64", KeyKind::Text},
    {"TXIOPTION", KeyKind::Required},
    {"CACHEMSI", KeyKind::Text},
    {"MINIMUM_9X_MSI", KeyKind::MsiVersion},
    {"MINIMUM_NT_MSI", KeyKind::MsiVersion},
    {"INSTMSIA", KeyKind::File},
    {"INSTMSIW", KeyKind::File},
    {"VCRUNTIME32", KeyKind::File},
    {"VCRUNTIME64", KeyKind::File},
    {"VCRUNTIME32_ALT", KeyKind::File},
    {"VCRUNTIME64_ALT", KeyKind::File},
    {"PROPERTIES", KeyKind::Text},
    {"OLDCODES", KeyKind::Text},
    {"HELPER_UI", KeyKind::Presence},
    {"LOG_INST_NAME", KeyKind::Text},
    {"LOG_MSI_NAME", KeyKind::Text},
    {"LOG_CMD", KeyKind::LenientNumber},
    {"MINORUPGRADE", KeyKind::LenientNumber},
    {"SINGLE_FILE", KeyKind::LenientNumber},
    {"PRODUCT_REG_NAME", KeyKind::Text},
    {"REQ_MB_SPACE", KeyKind::LenientNumber},
    {"VCRUNTIME_VER", KeyKind::LenientNumber},
    {"VCRUNTIME_VER_ALT", KeyKind::LenientNumber},
    {"ALLOW32ON64", KeyKind::Text},
};

// The package keys in the order the launcher tries them (it prefers the 64-bit package).
constexpr const char* kPackageKeys[] = {"TX_DATABASE64", "TX_DATABASE", "PATCH"};

const KeyRule* FindRule(std::string_view key)
{
   for (const KeyRule& rule : kKeys) {
      if (key == rule.name) {
         return &rule;
      }
   }
   return nullptr;
}

std::string Quote(std::string_view text)
{
   return "\"" + std::string(text) + "\"";
}

size_t Utf16Length(std::string_view utf8)
{
   const auto wide = Unicode_Utf8ToUtf16(utf8);
   return wide ? wide->size() : utf8.size();
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
   return Str_EqualsNoCase(std::string(a), std::string(b));
}

bool IsOffWord(std::string_view value)
{
   for (const char* word : {"0", "no", "false", "off"}) {
      if (EqualsNoCase(value, word)) {
         return true;
      }
   }
   return false;
}

class Checker
{
 public:
   Checker(const std::vector<PackSetting>& settings, const std::optional<std::vector<std::string>>& payload,
           const PayloadFacts* facts)
       : settings_(settings), payload_(payload), facts_(facts)
   {
   }

   std::vector<PackFinding> Run()
   {
      for (const PackSetting& setting : settings_) {
         CheckSetting(setting);
      }
      CheckRequired();
      CheckEngine();
      CheckPayloadNames();
      if (facts_ != nullptr) {
         CheckPackage();
         CheckSignatures();
      }
      std::stable_sort(findings_.begin(), findings_.end(), [](const PackFinding& a, const PackFinding& b) {
         return (a.line == 0 ? UINT32_MAX : a.line) < (b.line == 0 ? UINT32_MAX : b.line);
      });
      return findings_;
   }

 private:
   const PackSetting* Find(std::string_view key) const
   {
      for (const PackSetting& setting : settings_) {
         if (setting.key == key) {
            return &setting;
         }
      }
      return nullptr;
   }

   // The package key the launcher reads: the first of kPackageKeys that is set.
   const char* PackageKey() const
   {
      for (const char* key : kPackageKeys) {
         if (Find(key) != nullptr) {
            return key;
         }
      }
      return nullptr;
   }

   bool ToolsStyle() const
   {
      const PackSetting* style = Find("MINORUPGRADE");
      return style != nullptr && Config_LeadingNumber(style->value) != 0;
   }

   // SINGLE_FILE is read in the tools style only.
   bool SingleFile() const
   {
      const PackSetting* single = Find("SINGLE_FILE");
      return ToolsStyle() && single != nullptr && Config_LeadingNumber(single->value) != 0;
   }

   // Whether every install on a supported system upgrades the engine first.
   bool EngineUpgradeNeeded() const
   {
      const PackSetting* minimum = Find("MINIMUM_NT_MSI");
      const auto version = minimum != nullptr ? Config_ParseMsiVersion(minimum->value) : std::nullopt;
      return version && *version > kSupportedSystemsEngine;
   }

   // Without a payload the files lie beside the launcher and count as there.
   bool InPayload(std::string_view file) const
   {
      if (!payload_) {
         return true;
      }
      for (const std::string& name : *payload_) {
         if (EqualsNoCase(name, file)) {
            return true;
         }
      }
      return false;
   }

   void Error(unsigned line, std::string text)
   {
      findings_.push_back({FindingKind::Error, line, std::move(text), FindingSource::Config});
   }
   void Warning(unsigned line, std::string text)
   {
      findings_.push_back({FindingKind::Warning, line, std::move(text), FindingSource::Config});
   }

   void CheckSetting(const PackSetting& s)
   {
      const KeyRule* rule = FindRule(s.key);
      if (rule == nullptr) {
         Warning(s.line, s.key + " is not a key the launcher reads; the nearest is " + Pack_NearestKey(s.key));
         return;
      }
      switch (rule->kind) {
      case KeyKind::Guid:
         CheckGuid(s);
         break;
      case KeyKind::MsiVersion:
         if (!Config_ParseMsiVersion(s.value)) {
            Error(s.line, s.key + " " + Quote(s.value) +
                              " is not a Windows Installer version the launcher reads: a whole number of at least " +
                              std::to_string(kMinimumMsiVersion) +
                              " (300 for version 3.0); every install would stop with message 25");
         }
         break;
      case KeyKind::Package:
         if (s.key != PackageKey()) {
            Warning(s.line, s.key + " is not used: " + PackageKey() + " names the package");
            break;
         }
         CheckFileName(s, FindingKind::Error, "every install would end with exit code 2");
         break;
      case KeyKind::File:
         if (s.key.rfind("INSTMSI", 0) == 0) {
            CheckUpgrader(s);
            break;
         }
         CheckFileName(s, FindingKind::Error, "the VC runtime stage would fail on every machine");
         CheckRuntimeUsed(s);
         break;
      case KeyKind::LenientNumber:
         if (!Config_ParseNumber(s.value)) {
            Warning(s.line, s.key + " " + Quote(s.value) + " is not a whole number: the launcher reads it as " +
                                std::to_string(Config_LeadingNumber(s.value)));
         }
         break;
      case KeyKind::Presence:
         if (IsOffWord(s.value)) {
            Warning(s.line, s.key + " " + Quote(s.value) +
                                " still switches it on: the launcher only asks whether the key is there; remove the "
                                "line instead");
         }
         break;
      case KeyKind::Text:
      case KeyKind::Required:
         CheckText(s);
         break;
      }
   }

   void CheckText(const PackSetting& s)
   {
      if (s.key == "OPERATION") {
         const char* package = PackageKey();
         const bool patch = package != nullptr && std::string_view(package) == "PATCH";
         if (!IsOperationValid(patch, s.value)) {
            Error(s.line,
                  "OPERATION " + Quote(s.value) + " is not valid for a " +
                      (patch ? "patch (MINPATCH, MAJPATCH or DEFAULT)" : "package (INSTALL, INSTALLUPD or DEFAULT)") +
                      ": every install would end with exit code 87");
         }
      } else if (s.key == "OLDCODES") {
         for (const std::string& code : SplitOldCodes(s.value)) {
            if (!MsiUtil_IsBracedGuid(code)) {
               Error(s.line, "OLDCODES holds " + Quote(code) +
                                 ", which is not a braced GUID: the launcher would never find that product");
            }
         }
      } else if (s.key == "CACHEMSI") {
         if (s.value.empty() || (s.value[0] != '0' && s.value[0] != '1')) {
            Warning(s.line, "CACHEMSI " + Quote(s.value) +
                                " turns caching off: it is on only when the value starts with \"1\"");
         }
      } else if (s.key == "TXIOPTION") {
         if (!s.value.empty() && s.value != "one") {
            Warning(s.line, "TXIOPTION " + Quote(s.value) +
                                " is not \"one\" (compared case-sensitively): the signature questions stay on");
         }
      } else if (s.key == "LANGUAGES") {
         CheckLanguages(s);
      }
   }

   // The list is split at every blank, as the language choice splits it.
   void CheckLanguages(const PackSetting& s)
   {
      if (s.value.empty()) {
         return;
      }
      size_t start = 0;
      for (;;) {
         const size_t blank = s.value.find(' ', start);
         const std::string piece =
             s.value.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
         if (!Config_ParseNumber(piece)) {
            Warning(s.line, "LANGUAGES " + Quote(s.value) + ": " + Quote(piece) +
                                " is not a language identifier (a decimal number such as 1033); the launcher reads "
                                "it as " +
                                std::to_string(Config_LeadingNumber(piece)));
         }
         if (blank == std::string::npos) {
            break;
         }
         start = blank + 1;
      }
   }

   void CheckGuid(const PackSetting& s)
   {
      std::string problem;
      // PRODUCTCODE is read by the launcher's own rule, the other codes are plain braced GUIDs.
      const bool valid = s.key == "PRODUCTCODE" ? Config_IsValidProductCode(s.value) : MsiUtil_IsBracedGuid(s.value);
      if (!valid) {
         problem = " is not a braced GUID ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, hexadecimal digits)";
      }
      if (s.key == "PRODUCTCODE") {
         // The launcher names its extraction folder after the code and refuses a code that
         // cannot be one folder's name.
         const PayloadName folder = Payload_CheckName(s.value + kFolderName + '\0');
         if (folder != PayloadName::Ok) {
            problem += std::string(problem.empty() ? "" : " and") +
                       " cannot name the extraction folder: " + Payload_NameProblem(folder);
         }
      }
      if (!problem.empty()) {
         Error(s.line, s.key + " " + Quote(s.value) + problem);
      }
   }

   // On Windows 10 and 11 the launcher reads INSTMSIA never and INSTMSIW outside the tools style
   // without SINGLE_FILE only; the upgrader runs only when MINIMUM_NT_MSI is above their engine,
   // and then the engine check tells whether it is there. Short of that a wrong name only warns.
   void CheckUpgrader(const PackSetting& s)
   {
      if (s.key == "INSTMSIA") {
         Warning(s.line, "INSTMSIA is not used: the launcher reads it on Windows 9x only, which it does not run on");
      } else if (ToolsStyle() && !SingleFile()) {
         Warning(s.line, "INSTMSIW is not used: in the tools style without SINGLE_FILE the launcher runs instmsiw.exe "
                         "from the payload");
      } else if (!EngineUpgradeNeeded()) {
         CheckFileName(s, FindingKind::Warning,
                       "an engine upgrade would fail (none runs on Windows 10 or 11 while MINIMUM_NT_MSI is at most " +
                           std::to_string(kSupportedSystemsEngine) + ")");
      }
   }

   void CheckFileName(const PackSetting& s, FindingKind kind, const std::string& consequence)
   {
      if (s.value.empty()) {
         findings_.push_back(
             {kind, s.line, s.key + " is empty: it must name a file of the payload", FindingSource::Config});
         return;
      }
      if (InPayload(s.value)) {
         return;
      }
      std::string names;
      for (const std::string& name : *payload_) {
         names += (names.empty() ? "" : ", ") + Quote(name);
      }
      findings_.push_back(
          {kind, s.line, s.key + " " + Quote(s.value) + " is not a file of the payload (" + names + "): " + consequence,
           FindingSource::Config});
   }

   // The runtime stage asks the launcher's row table which packages to run; a name it never
   // hands out is never installed.
   void CheckRuntimeUsed(const PackSetting& s)
   {
      if (s.key.rfind("VCRUNTIME", 0) != 0) {
         return;
      }
      const std::string marker = "\n" + s.key;
      RuntimeSettings runtime;
      const auto number = [&](const char* key) {
         const PackSetting* found = Find(key);
         return found != nullptr ? Config_LeadingNumber(found->value) : 0u;
      };
      runtime.version = number("VCRUNTIME_VER");
      runtime.versionAlt = number("VCRUNTIME_VER_ALT");
      const bool alternate = s.key.find("_ALT") != std::string::npos;
      const bool bits32 = s.key.find("32") != std::string::npos;
      std::string& field = alternate ? (bits32 ? runtime.runtime32Alt : runtime.runtime64Alt)
                                     : (bits32 ? runtime.runtime32 : runtime.runtime64);
      field = marker;
      for (const RuntimePass pass : {RuntimePass::Configured, RuntimePass::Alternate}) {
         for (const VcRuntimeRow& row : vcRuntimeTable) {
            const auto packages = Runtime_PackagesFor(pass, row, runtime);
            if (packages && (packages->path32 == marker || packages->path64 == marker)) {
               return;
            }
         }
      }
      std::string versions;
      for (const VcRuntimeRow& row : vcRuntimeTable) {
         versions += (versions.empty() ? "" : ", ") + std::to_string(row.version);
      }
      Warning(s.line, s.key + " is not used: " +
                          (alternate ? "VCRUNTIME_VER_ALT (with VCRUNTIME_VER set)" : std::string("VCRUNTIME_VER")) +
                          " names no VC runtime the launcher installs (" + versions + ")");
   }

   // A minimum above the supported systems' engine makes every install run the upgrader: the one
   // the launcher runs must be in the payload.
   void CheckEngine()
   {
      if (!EngineUpgradeNeeded()) {
         return;
      }
      const PackSetting* minimum = Find("MINIMUM_NT_MSI");
      const std::string head = "MINIMUM_NT_MSI " + Quote(minimum->value) + " is above " +
                               std::to_string(kSupportedSystemsEngine) +
                               " (Windows Installer 5.0, which Windows 10 and 11 ship)";
      std::string upgrader;
      std::string missing;
      if (ToolsStyle() && !SingleFile()) {
         upgrader = "instmsiw.exe"; // the tools style's fixed name
         if (!InPayload(upgrader)) {
            missing = "the payload holds no instmsiw.exe, the upgrader the launcher runs in the tools style "
                      "(without SINGLE_FILE)";
         }
      } else {
         const PackSetting* key = Find("INSTMSIW");
         if (key == nullptr || key->value.empty()) {
            missing = "INSTMSIW names no upgrader";
         } else {
            upgrader = key->value;
            if (!InPayload(upgrader)) {
               missing = "INSTMSIW " + Quote(upgrader) + " is not a file of the payload";
            }
         }
      }
      if (!missing.empty()) {
         Error(minimum->line, head + ": every install would need an engine upgrade, and " + missing +
                                  ": every install would end with exit code 1603");
      } else {
         Warning(minimum->line, head + ": every install would first run the engine upgrader " + Quote(upgrader));
      }
   }

   void CheckRequired()
   {
      for (const KeyRule& rule : kKeys) {
         if ((rule.kind == KeyKind::Required || rule.kind == KeyKind::Guid || rule.kind == KeyKind::MsiVersion) &&
             Find(rule.name) == nullptr) {
            Error(0, std::string("the required key ") + rule.name + " is missing" + NearMiss(rule.name) + ": " +
                         kNotConfigured);
         }
         if (std::string_view(rule.name) == "PATCH" && PackageKey() == nullptr) {
            Error(0, std::string("none of TX_DATABASE64, TX_DATABASE or PATCH names the package") +
                         NearMiss("TX_DATABASE") + ": " + kNotConfigured);
         }
      }
   }

   // " (line N sets X)" for an unknown key whose nearest known key is `key`.
   std::string NearMiss(std::string_view key) const
   {
      for (const PackSetting& s : settings_) {
         if (FindRule(s.key) == nullptr && Pack_NearestKey(s.key) == key) {
            return s.line != 0 ? " (line " + std::to_string(s.line) + " sets " + s.key + ")"
                               : " (" + s.key + " is set instead)";
         }
      }
      return std::string();
   }

   void CheckPayloadNames()
   {
      if (!payload_) {
         const auto package = Pack_PackageSetting(settings_);
         findings_.push_back(
             {FindingKind::Warning, 0,
              "no payload is packed (no --payload): SFXINSERT is 0, and every install looks for " +
                  (package ? Quote(package->value) : std::string("its package")) +
                  " beside the launcher and ends with exit code 2 where it is not there; give the files with "
                  "--payload",
              FindingSource::Payload});
         return;
      }
      const PackSetting* code = Find("PRODUCTCODE");
      const size_t folder = Pack_LongestExtractionFolder(code != nullptr ? code->value : std::string());
      const size_t room = kLongestExtractedPathChars > folder ? kLongestExtractedPathChars - folder : 0;
      for (const std::string& name : *payload_) {
         const size_t length = Utf16Length(name);
         if (length > room) {
            findings_.push_back(
                {FindingKind::Error, 0,
                 "the payload file " + Quote(name) + " has " + std::to_string(length) +
                     " characters: extracted into a folder of up to " + std::to_string(folder) +
                     " characters (a temporary folder, PRODUCTCODE and \"~setup\\\") its path would pass the " +
                     std::to_string(kLongestExtractedPathChars) +
                     " characters the launcher can open; keep payload names to " + std::to_string(room) + " characters",
                 FindingSource::Payload});
         }
      }
   }

   // The codes the configuration names against the package's own: the launcher installs under the
   // package's product code whatever PRODUCTCODE says, so a stale PRODUCTCODE leaves the last
   // release registered beside the new one.
   void CheckPackage()
   {
      if (!facts_->package) {
         return;
      }
      const PackageFacts& package = *facts_->package;
      const auto key = Pack_PackageSetting(settings_);
      const unsigned packageLine = key ? key->line : 0;
      const PackSetting* productCode = Find("PRODUCTCODE");
      const PackSetting* upgradeCode = Find("UPGRADECODE");
      const bool productCodeValid = productCode != nullptr && MsiUtil_IsBracedGuid(productCode->value);
      const bool upgradeCodeValid = upgradeCode != nullptr && MsiUtil_IsBracedGuid(upgradeCode->value);
      if (!package.unreadable.empty()) {
         Warning(packageLine,
                 Quote(package.name) + " cannot be read as a Windows Installer " +
                     (package.patch ? "patch (" + package.unreadable +
                                          "): the products it targets cannot be compared with PRODUCTCODE"
                                    : "package (" + package.unreadable +
                                          "): its codes cannot be compared with PRODUCTCODE and UPGRADECODE, and "
                                          "Windows Installer would refuse it"));
         return;
      }
      if (package.patch) {
         if (package.targets.empty() || !productCodeValid) {
            return;
         }
         std::string targets;
         for (const std::string& target : package.targets) {
            if (EqualsNoCase(target, productCode->value)) {
               return;
            }
            targets += (targets.empty() ? "" : "; ") + target;
         }
         Error(productCode->line, "PRODUCTCODE " + Quote(productCode->value) + " is not a product the patch " +
                                      Quote(package.name) + " targets (" + targets +
                                      "): the configuration is another product's; set PRODUCTCODE to the code of "
                                      "the product the patch updates");
         return;
      }
      if (package.productCode.empty()) {
         Warning(packageLine, "the package " + Quote(package.name) +
                                  " has no ProductCode property: the launcher treats every install as a first "
                                  "install");
      } else if (productCodeValid && !EqualsNoCase(package.productCode, productCode->value)) {
         Error(productCode->line, "PRODUCTCODE " + Quote(productCode->value) +
                                      " is not the product code of the package " + Quote(package.name) + ", " +
                                      package.productCode + ": the launcher would install " + package.productCode +
                                      " as a new product beside an installed " + productCode->value +
                                      "; set PRODUCTCODE=" + package.productCode + " (and name " + productCode->value +
                                      " in OLDCODES when the new release replaces it)");
      }
      if (!upgradeCodeValid) {
         return;
      }
      if (!package.upgradeCode) {
         Warning(upgradeCode->line, "UPGRADECODE " + Quote(upgradeCode->value) + ": the package " +
                                        Quote(package.name) + " has no UpgradeCode property to compare it with");
      } else if (!EqualsNoCase(*package.upgradeCode, upgradeCode->value)) {
         Error(upgradeCode->line,
               "UPGRADECODE " + Quote(upgradeCode->value) + " is not the upgrade code of the package " +
                   Quote(package.name) + ", " + *package.upgradeCode +
                   ": the configuration is another product family's; set UPGRADECODE=" + *package.upgradeCode);
      }
   }

   void CheckSignatures()
   {
      if (!Pack_RefusesUnsignedPackages(settings_)) {
         return;
      }
      const auto key = Pack_PackageSetting(settings_);
      for (const UnsignedPackage& file : facts_->unsignedPackages) {
         const bool isPackage = key && EqualsNoCase(key->value, file.name);
         findings_.push_back({FindingKind::Warning, isPackage ? key->line : 0,
                              Quote(file.name) + " carries no valid signature (" + file.why +
                                  "): in the standard style (MINORUPGRADE absent or 0) the launcher checks it, and "
                                  "every silent install would end with exit code 13; sign it before packing",
                              isPackage ? FindingSource::Config : FindingSource::Payload});
      }
   }

   const std::vector<PackSetting>& settings_;
   const std::optional<std::vector<std::string>>& payload_;
   const PayloadFacts* facts_;
   std::vector<PackFinding> findings_;
};

} // namespace

std::vector<PackFinding> Pack_CheckConfig(const std::vector<PackSetting>& settings,
                                          const std::optional<std::vector<std::string>>& payload,
                                          const PayloadFacts* facts)
{
   return Checker(settings, payload, facts).Run();
}

std::optional<PackSetting> Pack_PackageSetting(const std::vector<PackSetting>& settings)
{
   for (const char* key : kPackageKeys) {
      for (const PackSetting& setting : settings) {
         if (setting.key == key) {
            return setting;
         }
      }
   }
   return std::nullopt;
}

bool Pack_RefusesUnsignedPackages(const std::vector<PackSetting>& settings)
{
   for (const PackSetting& setting : settings) {
      if ((setting.key == "MINORUPGRADE" && Config_LeadingNumber(setting.value) != 0) ||
          (setting.key == "TXIOPTION" && setting.value == "one")) {
         return false;
      }
   }
   return true;
}

std::string Pack_NearestKey(std::string_view key)
{
   std::vector<std::string> names;
   for (const KeyRule& rule : kKeys) {
      names.emplace_back(rule.name);
   }
   return Pack_Nearest(key, names);
}

size_t Pack_LongestExtractionFolder(std::string_view productCode)
{
   // A code that is not a braced GUID is refused on its own; the length of a good one counts.
   const size_t code = MsiUtil_IsBracedGuid(productCode) ? productCode.size() : kBracedGuidChars;
   return kLongestTempFolderChars + code + (sizeof kFolderName - 1) + 1;
}
