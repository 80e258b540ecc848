#include "tools/txpack/packInput.h"

#include "lib/unicode/unicodeSimple.h"

const char kPackUsage[] = "usage: txpack --base setup.exe --config product.cfg [--payload FILE...] [--version-file V]\n"
                          "              [--version-product V] [--string KEY=VALUE]... [--bitmap ID=FILE]... -o OUT\n";

namespace
{

const char kComputedKey[] = "SFXINSERT";

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
      } else if (arg == "--base") {
         ok = value(options.base);
      } else if (arg == "--config") {
         ok = value(options.config);
      } else if (arg == "-o" || arg == "--output") {
         ok = value(options.output);
      } else if (arg == "--version-file") {
         ok = value(options.fileVersion);
      } else if (arg == "--version-product") {
         ok = value(options.productVersion);
      } else if (arg == "--string") {
         ok = pairValue(options.versionStrings, "KEY=VALUE");
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
   if (options.base.empty() || options.config.empty() || options.output.empty()) {
      error = "--base, --config and -o are required";
      return false;
   }
   return true;
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
      if (key == kComputedKey) {
         error = LineError(number, "SFXINSERT is computed by txpack; remove it");
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
