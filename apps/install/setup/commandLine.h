// The launcher's command line: switches, and the /v text meant for Windows Installer. Pure code:
// the one question for the system (is this a folder?) is passed in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CommandLineOptions {
   bool silent = false;           // /s
   bool adminInstall = false;     // /a
   bool repairMode = false;       // /r
   bool unpackOnly = false;       // /x
   bool noSystemChange = false;   // /n
   bool guestOnlyLogging = false; // /mg
   bool printVersions = false;    // /pv
   std::optional<std::u16string> adminTargetPath;
   uint32_t uiLevel = 5;
   std::optional<std::u16string> installerProperties;
   std::optional<std::u16string> installerArguments;
   uint32_t msiLogMode = 0x1FDF;
   std::optional<std::u16string> msiLogPath;
};

using DirectoryTest = std::function<bool(const std::u16string& path)>;

constexpr size_t kMaxOptionTokens = 6;
constexpr uint32_t kMsiLogModeDefault = 0x1FDF;
constexpr uint32_t kMsiLogModeVerbose = 0x3FDF;

// Why a line was refused: the word refused and the rule it broke, for the log.
struct CommandLineRefusal {
   std::u16string word;
   const char* rule = "";
};

// True when the line is accepted. On false the fields set so far stay set, `silent` is set when
// any word of the line asks for silence (/s..., /q..., -s..., -q...), and `refusal` says why.
bool ParseCommandLine(std::u16string_view commandLine, CommandLineOptions& options, const DirectoryTest& isDirectory,
                      CommandLineRefusal* refusal = nullptr);

// True when the line asks for the usage text: a "/?" outside quotes that starts a word, or is
// written directly after a switch ("/s/?"); inside a value ("URL=https://host/?id=1") it is text.
bool AsksForUsage(std::u16string_view commandLine);

// True when a word of the line (an argument, read as programs read theirs) asks for silence in
// any usual spelling: it begins with /s, -s, /q or -q, whatever follows ("/silent", "-qn"), or
// such a switch is written directly after another ("/x/s", "/wait/s").
bool AsksForSilence(std::u16string_view commandLine);

// ---- the pieces, exposed for tests and fuzzing ----

struct OptionToken {
   size_t first; // the switch character, or the quote of a quoted argument
   size_t last;  // the token's last character (trailing blanks excluded)
};

// Cuts the line at each switch that opens a token: one at the start of the line, after a blank,
// or written directly after a switch that takes no argument ("/s/x" is two tokens). Quotes keep
// switches inside them; in a /v token a quote after an odd number of back-slashes is text, unless
// that leaves the /v text's quotes unpaired. A token may also be one quoted argument that spells a
// switch ("/v/qn A=\"x y\""), unless it is the argument of a bare /a, /l or /v before it.
// 0 on success, 87 when the line does not begin with a switch.
uint32_t SplitOptionTokens(std::u16string_view line, std::vector<OptionToken>& tokens);

struct ParameterItem {
   size_t start;         // first character of the item
   size_t end;           // one past its last character
   bool quoted;          // the item began with a double quote
   bool doubled = false; // its quotes are written doubled: A=""x y"" stands for A="x y"
};

// One item of a /v text starting at `pos`: 0, 87 (a quote without partner) or 259 (nothing more).
uint32_t NextParameterItem(std::u16string_view text, size_t pos, ParameterItem& item);

// The /v grammar: UI level, installer log and property assignments.
bool ParseInstallerParameters(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory);

// A /l path: accepted when its folder exists. `text` is what follows the letter; nothing or one
// character after it names no file. `consumed` tells how much of it the path took.
bool ParseLogOption(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory,
                    size_t* consumed);

// The UI level of a /q item (the text after the q), or nothing when the level is not valid.
std::optional<uint32_t> ParseQuietLevel(std::u16string_view level);
