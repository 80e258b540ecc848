// The product's configuration checked before anything is written, with the launcher's own value
// rules: a configuration that every install would refuse (a required key missing, a version or
// code it cannot read, a package name that is not in the payload, a payload name too long to be
// extracted) is an error; one that installs but probably not as meant is a warning. Pure code.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/txpack/packInput.h"

// The longest temporary folder the launcher may meet: "C:\Users\", a 20-character user name with
// a domain suffix (".DOMAIN", up to 15) and ".000" when the profile name was taken,
// "\AppData\Local\Temp\" and a per-session sub-folder of a remote desktop ("2\"): 9 + 40 + 20 + 6.
inline constexpr size_t kLongestTempFolderChars = 75;
// Below the launcher's path limit (260 UTF-16 characters, the folder and the file name together).
inline constexpr size_t kLongestExtractedPathChars = 259;

enum class FindingKind { Error, Warning };

// Where a finding comes from: the configuration file, or the payload files' names (--payload).
enum class FindingSource { Config, Payload };

struct PackFinding {
   FindingKind kind;
   unsigned line; // the configuration line, or 0 when the finding belongs to no line
   std::string text;
   FindingSource source;
};

// What txpack read from the payload's packages (the Windows side reads them).
struct PackageFacts {
   std::string name;                       // the payload name the package key gives
   bool patch = false;                     // named by PATCH: a Windows Installer patch
   std::string unreadable;                 // why its codes could not be read; empty when they were
   std::string productCode;                // a product package's ProductCode property; empty: none
   std::optional<std::string> upgradeCode; // its UpgradeCode property, when it has one
   std::vector<std::string> targets;       // a patch's target product codes (its summary's Template)
};
struct UnsignedPackage {
   std::string name;
   std::string why; // "it carries no signature", ...
};
struct PayloadFacts {
   std::optional<PackageFacts> package; // absent when not read
   // Packages the launcher examines (the package, and each *.msi naming the vendor) that carry no
   // valid signature.
   std::vector<UnsignedPackage> unsignedPackages;
};

// Checks the configuration as the launcher will read it. `payload` holds the container's entry
// names, or nothing when no payload is packed (the files then lie beside the launcher and their
// names are not checked). `facts`, when given, are compared with it: the package's own codes, and
// its signatures in the standard style. Findings come in line order, errors of no line (a missing
// key, a payload name) last.
std::vector<PackFinding> Pack_CheckConfig(const std::vector<PackSetting>& settings,
                                          const std::optional<std::vector<std::string>>& payload,
                                          const PayloadFacts* facts = nullptr);

// The package key the launcher reads (TX_DATABASE64, TX_DATABASE or PATCH, the first set) and
// its value; nothing when none is set.
std::optional<PackSetting> Pack_PackageSetting(const std::vector<PackSetting>& settings);
// Whether the launcher checks the signatures of its packages before it installs one and refuses
// an unsigned one: the standard style (MINORUPGRADE absent or 0) without TXIOPTION "one".
bool Pack_RefusesUnsignedPackages(const std::vector<PackSetting>& settings);

// The key the launcher reads that is nearest to `key` (fewest letters to add, drop or change).
std::string Pack_NearestKey(std::string_view key);

// The extraction folder's longest length for this PRODUCTCODE: the temporary folder, the code
// and "~setup\".
size_t Pack_LongestExtractionFolder(std::string_view productCode);
