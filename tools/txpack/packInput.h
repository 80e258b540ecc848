// What txpack is told: its command line and the product's configuration file. Pure code, so
// that every rule here is tested natively too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PackOptions {
   std::string base;   // the built setup.exe
   std::string config; // KEY=VALUE lines
   std::string output;
   std::vector<std::string> payloads; // in container order
   std::string fileVersion;           // empty: left as built
   std::string productVersion;
   std::vector<std::pair<std::string, std::string>> versionStrings; // KEY=VALUE of the version information
   std::vector<std::pair<std::string, std::string>> bitmaps;        // ID=FILE
   std::string show;                                                // --show IMAGE: what a packed launcher holds
   std::string verify;              // --verify IMAGE: the launcher's own signature check of a packed launcher
   bool allowRefusedConfig = false; // for test launchers: the check's errors do not stop the packing
   bool strict = false;             // every warning stops the packing as an error would
   bool help = false;
};

// Arguments without the program name. On false `error` says what is wrong.
bool Pack_ParseArguments(const std::vector<std::string>& args, PackOptions& options, std::string& error);
extern const char kPackUsage[];

struct PackSetting {
   std::string key; // a type-40 resource name: upper-case letters, digits, '_'
   std::string value;
   unsigned line;
};

// The configuration file: UTF-8 (a leading byte-order mark is skipped), one KEY=VALUE a line,
// blank lines and lines starting with '#' ignored. The value is everything after the first
// '=' (blanks included; it may be empty). On false `error` names the line and the fault.
bool Pack_ParseConfig(std::string_view text, std::vector<PackSetting>& settings, std::string& error);

// The container entry name of a payload file: its last path component.
std::string Pack_EntryName(std::string_view path);

// A version text as --version-file and --version-product take it: one to four whole numbers of
// 0 to 65535 separated by dots ("13.0.1.0", "13.0.1", "7"); missing numbers are 0. On false
// `problem` says what breaks the rule.
bool Pack_ParseVersionText(std::string_view text, std::array<uint16_t, 4>& numbers, std::string& problem);
extern const char kVersionTextRule[];

// The name of `names` nearest to `name` (fewest letters to add, drop or change; the first of
// equals); empty when `names` is.
std::string Pack_Nearest(std::string_view name, const std::vector<std::string>& names);

// The first bytes of a base image that hold its headers and section table.
inline constexpr size_t kImageHeadBytes = 65536;

// Where the sections of a program image end in its file (what follows is appended data: a
// container, a certificate table). `head` holds the file's first bytes and `fileSize` its size.
// On false `problem` says why the file is not a program image.
bool Pack_ReadImageLayout(std::string_view head, uint64_t fileSize, uint64_t& sectionsEnd, std::string& problem);
