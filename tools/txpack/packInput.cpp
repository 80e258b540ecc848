#include "tools/txpack/packInput.h"

#include <algorithm>

#include "lib/unicode/unicodeSimple.h"

namespace
{

// Equal but for the case of ASCII letters.
bool SameLetters(const std::string& a, const std::string& b)
{
   return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
             return lower(x) == lower(y);
          });
}

} // namespace

const char kPackUsage[] =
    "usage: txpack --base setup.exe --config product.cfg [--payload FILE...] [OPTION...] -o OUT\n"
    "       txpack --show setup.exe\n"
    "       txpack --verify setup.exe\n"
    "\n"
    "Packs a launcher from the build output into the product's installer: the configuration, checked\n"
    "with the launcher's own rules, the version strings and bitmaps asked for, and the payload\n"
    "container. OUT is replaced only when everything worked; a refusal changes no file.\n"
    "\n"
    "  --base FILE           the launcher from the build output (read only; never a packed one)\n"
    "  --config FILE         the configuration: KEY=VALUE lines in UTF-8 (SFXINSERT is computed)\n"
    "  --payload FILE...     the files of the container in extraction order, under their file names\n"
    "  --version-file V      FileVersion: the fixed number and the string (V as given); V is one to\n"
    "                        four numbers of 0 to 65535 separated by dots, such as 13.0.1.0\n"
    "  --version-product V   ProductVersion: the same\n"
    "  --string KEY=VALUE    another string of the version information (ProductName, FileDescription...)\n"
    "  --bitmap ID=FILE      a .bmp file as bitmap resource ID (a number, or a name)\n"
    "  -o, --output OUT      the packed launcher; a folder means OUT\\<the base's file name>\n"
    "  --strict              every warning is an error: nothing is written (for release pipelines)\n"
    "  --allow-refused-config  pack even a configuration txpack refuses (its errors are printed\n"
    "                        as warnings): only for test launchers of those refusals\n"
    "  --show FILE           what a packed launcher holds: its configuration as the launcher reads it,\n"
    "                        its version information, each payload file with its size and SHA-256,\n"
    "                        and the signatures\n"
    "  --verify FILE         the signature check the launcher makes of itself and its packages:\n"
    "                        exit 0 when it would go on, 1 with the reason when it would refuse or\n"
    "                        the file cannot be read, 3 when FILE is no packed launcher\n"
    "  -h, --help            this text\n"
    "\n"
    "Exit codes: 0 done (warnings may have been printed); 1 refused (the reasons on the error\n"
    "stream); 2 the command line is wrong; 3 (--verify only) the file is no packed launcher.\n"
    "\n"
    "Example:\n"
    "  txpack --base build\\setup.exe --config tessix-tools.cfg --payload \"Tessix Tools.msi\"\n"
    "         vcredist_arm64.exe --version-file 13.0.1.0 --version-product 13.0.1.0 --strict\n"
    "         -o release\\setup.exe\n";

const char kVersionTextRule[] =
    "a version is one to four whole numbers of 0 to 65535 separated by dots, such as 13.0.1.0";

namespace
{

const char kComputedKey[] = "SFXINSERT";
const char kDigestKey[] = "PAYLOAD_XXH64";

bool SplitPair(const std::string& text, std::pair<std::string, std::string>& pair)
{
   const size_t eq = text.find('=');
   if (eq == std::string::npos || eq == 0) {
      return false;
   }
   pair = {text.substr(0, eq), text.substr(eq + 1)};
   return true;
}

std::string LineError(unsigned line, const std::string& what)
{
   return "line " + std::to_string(line) + ": " + what;
}

} // namespace

bool Pack_ParseArguments(const std::vector<std::string>& args, PackOptions& options, std::string& error)
{
   options = PackOptions{};
   for (size_t i = 0; i < args.size(); i++) {
      const std::string& arg = args[i];
      const auto value = [&](std::string& out) {
         if (i + 1 >= args.size()) {
            error = arg + " needs a value";
            return false;
         }
         out = args[++i];
         return true;
      };
      const auto pairValue = [&](std::vector<std::pair<std::string, std::string>>& list, const char* form) {
         std::string text;
         std::pair<std::string, std::string> pair;
         if (!value(text)) {
            return false;
         }
         if (!SplitPair(text, pair)) {
            error = arg + " takes " + form + ", not \"" + text + "\"";
            return false;
         }
         list.push_back(pair);
         return true;
      };
      bool ok = true;
      if (arg == "--help" || arg == "-h" || arg == "/?") {
         options.help = true;
      } else if (arg == "--allow-refused-config") {
         options.allowRefusedConfig = true;
      } else if (arg == "--strict") {
         options.strict = true;
      } else if (arg == "--base") {
         ok = value(options.base);
      } else if (arg == "--config") {
         ok = value(options.config);
      } else if (arg == "-o" || arg == "--output") {
         ok = value(options.output);
      } else if (arg == "--show") {
         ok = value(options.show);
      } else if (arg == "--verify") {
         ok = value(options.verify);
      } else if (arg == "--version-file" || arg == "--version-product") {
         std::string& version = arg == "--version-file" ? options.fileVersion : options.productVersion;
         if ((ok = value(version)) && version.empty()) {
            // An empty text is what a pipeline's unset variable gives: never "not given".
            error = arg + " takes a version text such as 13.0.1.0, not an empty one";
            ok = false;
         }
      } else if (arg == "--string") {
         ok = pairValue(options.versionStrings, "KEY=VALUE");
         // The version strings come with their fixed numbers, from one text: never apart.
         for (const char* name : {"FileVersion", "ProductVersion"}) {
            if (ok && SameLetters(options.versionStrings.back().first, name)) {
               error = std::string("--string ") + name + ": written by " +
                       (name[0] == 'F' ? "--version-file" : "--version-product") +
                       ", which also sets the fixed number that inventory tools read";
               ok = false;
            }
         }
      } else if (arg == "--bitmap") {
         ok = pairValue(options.bitmaps, "ID=FILE");
      } else if (arg == "--payload") {
         const size_t before = options.payloads.size();
         while (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0) {
            options.payloads.push_back(args[++i]);
         }
         if (options.payloads.size() == before) {
            error = "--payload needs at least one file";
            ok = false;
         }
      } else {
         error = "unknown argument \"" + arg + "\"";
         ok = false;
      }
      if (!ok) {
         return false;
      }
   }
   if (options.help) {
      return true;
   }
   if (!options.show.empty() || !options.verify.empty()) {
      if (args.size() != 2) {
         error = std::string(options.show.empty() ? "--verify" : "--show") + " takes one file and no other option";
         return false;
      }
      return true;
   }
   if (options.base.empty() || options.config.empty() || options.output.empty()) {
      error = "--base, --config and -o are required";
      return false;
   }
   if (options.strict && options.allowRefusedConfig) {
      error = "--strict and --allow-refused-config contradict each other: one refuses warnings, the other packs "
              "errors";
      return false;
   }
   return true;
}

bool Pack_ParseVersionText(std::string_view text, std::array<uint16_t, 4>& numbers, std::string& problem)
{
   numbers = {0, 0, 0, 0};
   if (text.empty()) {
      problem = "it is empty";
      return false;
   }
   size_t count = 0;
   size_t start = 0;
   for (;;) {
      const size_t dot = text.find('.', start);
      const std::string_view part =
          text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
      const size_t bad = part.find_first_not_of("0123456789");
      if (bad != std::string_view::npos) {
         problem = "it holds \"" + std::string(1, part[bad]) + "\", which is neither a digit nor a dot";
         return false;
      }
      if (part.empty()) {
         problem = "a number is missing " + std::string(start == 0                      ? "before the first dot"
                                                        : dot == std::string_view::npos ? "after the last dot"
                                                                                        : "between two dots");
         return false;
      }
      if (++count > numbers.size()) {
         problem = "it has more than four numbers";
         return false;
      }
      // Leading zeros are allowed; the value counts.
      const std::string_view digits = part.substr(std::min(part.find_first_not_of('0'), part.size() - 1));
      if (digits.size() > 5 || std::stoul(std::string(digits)) > 65535) {
         problem = std::string(part) + " is above 65535";
         return false;
      }
      numbers[count - 1] = static_cast<uint16_t>(std::stoul(std::string(digits)));
      if (dot == std::string_view::npos) {
         return true;
      }
      start = dot + 1;
   }
}

namespace
{

size_t Distance(std::string_view a, std::string_view b)
{
   std::vector<size_t> row(b.size() + 1);
   for (size_t j = 0; j <= b.size(); j++) {
      row[j] = j;
   }
   for (size_t i = 1; i <= a.size(); i++) {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= b.size(); j++) {
         const size_t above = row[j];
         row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
         diagonal = above;
      }
   }
   return row[b.size()];
}

} // namespace

std::string Pack_Nearest(std::string_view name, const std::vector<std::string>& names)
{
   std::string nearest;
   size_t best = SIZE_MAX;
   for (const std::string& candidate : names) {
      const size_t distance = Distance(name, candidate);
      if (distance < best) {
         best = distance;
         nearest = candidate;
      }
   }
   return nearest;
}

bool Pack_ParseConfig(std::string_view text, std::vector<PackSetting>& settings, std::string& error)
{
   settings.clear();
   if (text.substr(0, 3) == "\xEF\xBB\xBF") {
      text.remove_prefix(3);
   }
   unsigned number = 0;
   while (!text.empty()) {
      number++;
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
      if (!line.empty() && line.back() == '\r') {
         line.remove_suffix(1);
      }
      if (!Unicode_IsValidUtf8(line) || line.find('\0') != std::string_view::npos) {
         error = LineError(number, "not UTF-8 text");
         return false;
      }
      const size_t first = line.find_first_not_of(" \t");
      if (first == std::string_view::npos || line[first] == '#') {
         continue;
      }
      const size_t eq = line.find('=');
      if (eq == std::string_view::npos) {
         error = LineError(number, "expected KEY=VALUE, found \"" + std::string(line) + "\"");
         return false;
      }
      const std::string key(line.substr(0, eq));
      if (key.empty() || key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos) {
         error = LineError(number, "the key \"" + key + "\" is not an upper-case resource name (A-Z, 0-9, _)");
         return false;
      }
      if (key == kComputedKey || key == kDigestKey) {
         error = LineError(number, key + " is computed by txpack; remove it");
         return false;
      }
      for (const PackSetting& earlier : settings) {
         if (earlier.key == key) {
            error = LineError(number, key + " is already set on line " + std::to_string(earlier.line));
            return false;
         }
      }
      settings.push_back({key, std::string(line.substr(eq + 1)), number});
   }
   return true;
}

std::string Pack_EntryName(std::string_view path)
{
   const size_t slash = path.find_last_of("\\/");
   return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

namespace
{

uint32_t Le(std::string_view bytes, size_t at, size_t width)
{
   uint32_t value = 0;
   for (size_t i = 0; i < width; i++) {
      value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
   }
   return value;
}

constexpr size_t kNewHeaderOffsetField = 0x3C;
constexpr size_t kFileHeaderBytes = 20;
constexpr size_t kSectionHeaderBytes = 40;
constexpr uint16_t kExecutableImage = 0x0002;

} // namespace

bool Pack_ReadImageLayout(std::string_view head, uint64_t fileSize, uint64_t& sectionsEnd, std::string& problem)
{
   if (head.size() < kNewHeaderOffsetField + 4 || head.substr(0, 2) != "MZ") {
      problem = "it does not start with a program header (\"MZ\")";
      return false;
   }
   const size_t pe = Le(head, kNewHeaderOffsetField, 4);
   if (pe > head.size() - 4 - kFileHeaderBytes || head.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
      problem = "it has no Windows program header (\"PE\")";
      return false;
   }
   const size_t fileHeader = pe + 4;
   const size_t sections = Le(head, fileHeader + 2, 2);
   const size_t optionalBytes = Le(head, fileHeader + 16, 2);
   if ((Le(head, fileHeader + 18, 2) & kExecutableImage) == 0) {
      problem = "it is not an executable image (an object file?)";
      return false;
   }
   const size_t table = fileHeader + kFileHeaderBytes + optionalBytes;
   if (sections == 0 || table + sections * kSectionHeaderBytes > head.size()) {
      problem = "its section table is missing or cut short";
      return false;
   }
   uint64_t end = 0;
   for (size_t i = 0; i < sections; i++) {
      const size_t header = table + i * kSectionHeaderBytes;
      const uint64_t rawSize = Le(head, header + 16, 4);
      const uint64_t rawOffset = Le(head, header + 20, 4);
      if (rawSize != 0 && rawOffset + rawSize > end) {
         end = rawOffset + rawSize;
      }
   }
   if (end > fileSize) {
      problem = "it is cut short: its sections run past the end of the file";
      return false;
   }
   sectionsEnd = end;
   return true;
}
