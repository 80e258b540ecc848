// What txpack is told: its command line and the product's configuration file. Pure code, so
// that every rule here is tested natively too.
#pragma once

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
