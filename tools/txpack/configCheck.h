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

// Checks the configuration as the launcher will read it. `payload` holds the container's entry
// names, or nothing when no payload is packed (the files then lie beside the launcher and their
// names are not checked). Findings come in line order, errors of no line (a missing key, a payload
// name) last.
std::vector<PackFinding> Pack_CheckConfig(const std::vector<PackSetting>& settings,
                                          const std::optional<std::vector<std::string>>& payload);

// The key the launcher reads that is nearest to `key` (fewest letters to add, drop or change).
std::string Pack_NearestKey(std::string_view key);

// The extraction folder's longest length for this PRODUCTCODE: the temporary folder, the code
// and "~setup\".
size_t Pack_LongestExtractionFolder(std::string_view productCode);
