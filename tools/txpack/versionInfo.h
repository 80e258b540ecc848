// The version information of a launcher image (its VS_VERSIONINFO resource) as txpack reads it:
// the fixed numbers and the strings of the table the resource editor rewrites, each with the
// room the image reserves for it. Pure code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct VersionString {
   std::string key;
   std::string value; // up to its first NUL
   size_t room;       // the longest value the resource editor writes in place, in UTF-16 characters
};

struct VersionInfo {
   std::array<uint16_t, 4> fileVersion{};
   std::array<uint16_t, 4> productVersion{};
   std::string table; // the string table's name, "040904b0"
   std::vector<VersionString> strings;
};

// Reads the resource's bytes; nothing when they are not a version resource with fixed numbers.
// The table is the one the first translation names (as the resource editor picks it), else the
// first one.
std::optional<VersionInfo> Pack_ReadVersionInfo(std::string_view block);

const VersionString* Pack_FindVersionString(const VersionInfo& info, std::string_view key);

// "13.0.1.0"
std::string Pack_VersionNumbersText(const std::array<uint16_t, 4>& numbers);
