// The launcher's command line and the /v text: any line, as UTF-8 text or as raw UTF-16 code
// units. Checks that what is accepted is one of the documented results and points into the line.
#include <algorithm>
#include <string>
#include <vector>

#include "apps/install/setup/commandLine.h"
#include "fuzz/fuzzCheck.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

constexpr uint32_t kUiLevels[] = {2, 3, 4, 5, 0x23, 0x43, 0x63, 0x83, 0xA3};

bool KnownUiLevel(uint32_t level)
{
   return std::find(std::begin(kUiLevels), std::end(kUiLevels), level) != std::end(kUiLevels);
}

bool IsSwitch(char16_t c)
{
   return c == u'/' || c == u'-';
}

// Readable seeds are UTF-8; any other input is taken as UTF-16 code units, so that lone
// surrogates and every other code unit reach the parser too.
std::u16string LineFrom(const uint8_t* data, size_t size)
{
   const std::string_view bytes(reinterpret_cast<const char*>(data), size);
   if (auto text = Unicode_Utf8ToUtf16(bytes)) {
      return *text;
   }
   std::u16string line;
   for (size_t i = 0; i + 1 < size; i += 2) {
      line.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
   }
   return line;
}

void CheckTokens(const std::u16string& line)
{
   std::vector<OptionToken> tokens;
   if (SplitOptionTokens(line, tokens) != 0) {
      FUZZ_CHECK(tokens.empty());
      return;
   }
   // Text before the first switch that opens a token (as in "/q /s") belongs to no token.
   FUZZ_CHECK(!tokens.empty());
   for (size_t i = 0; i < tokens.size(); i++) {
      FUZZ_CHECK(tokens[i].first <= tokens[i].last && tokens[i].last < line.size());
      // A switch, or a quoted argument that spells one.
      const size_t first = tokens[i].first;
      FUZZ_CHECK(IsSwitch(line[first]) ||
                 (line[first] == u'"' && first + 1 < line.size() && IsSwitch(line[first + 1])));
      FUZZ_CHECK(i == 0 || tokens[i - 1].last < tokens[i].first);
   }
}

void CheckItems(const std::u16string& text)
{
   size_t pos = 0;
   ParameterItem item;
   while (NextParameterItem(text, pos, item) == 0) {
      FUZZ_CHECK(pos <= item.start && item.start < item.end && item.end <= text.size());
      FUZZ_CHECK(item.quoted == (text[item.start] == u'"'));
      pos = item.end;
   }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   const std::u16string line = LineFrom(data, size);
   CheckTokens(line);
   CheckItems(line);

   // A folder "exists" unless its name says otherwise, so both answers are reached.
   const DirectoryTest isDirectory = [](const std::u16string& path) {
      FUZZ_CHECK(!path.empty());
      return path.find(u"NoSuch") == std::u16string::npos;
   };
   AsksForUsage(line);
   CommandLineOptions options;
   CommandLineRefusal refusal;
   const bool accepted = ParseCommandLine(line, options, isDirectory, &refusal);
   // A refused line always says which rule it broke.
   FUZZ_CHECK(accepted || *refusal.rule != '\0');

   if (options.msiLogPath) {
      const std::u16string& path = *options.msiLogPath;
      const size_t slash = path.rfind(u'\\');
      FUZZ_CHECK(slash != std::u16string::npos && slash > 0 && slash + 1 < path.size());
      FUZZ_CHECK(isDirectory(path.substr(0, slash)));
      FUZZ_CHECK(options.msiLogMode == kMsiLogModeVerbose);
   }
   if (!accepted) {
      return 0;
   }
   // A switch written as one quoted argument is read with the argument's escapes undone, so its
   // text need not stand in the line as written. The parser splits the line with the white space
   // around it removed.
   const size_t from = line.find_first_not_of(u" \t\r\n\v\f");
   const std::u16string trimmed = from == std::u16string::npos
                                      ? std::u16string()
                                      : line.substr(from, line.find_last_not_of(u" \t\r\n\v\f") + 1 - from);
   std::vector<OptionToken> tokens;
   const bool quotedSwitch =
       !trimmed.empty() && SplitOptionTokens(trimmed, tokens) == 0 &&
       std::any_of(tokens.begin(), tokens.end(), [&trimmed](const OptionToken& t) { return trimmed[t.first] == u'"'; });
   FUZZ_CHECK(KnownUiLevel(options.uiLevel));
   FUZZ_CHECK(options.msiLogMode == kMsiLogModeDefault || options.msiLogMode == kMsiLogModeVerbose);
   if (options.adminTargetPath) {
      FUZZ_CHECK(options.adminInstall && !options.adminTargetPath->empty());
      // A quoted path is read as programs read their arguments: its quotes dropped, its
      // back-slash escapes undone, text glued after the closing quote kept.
      FUZZ_CHECK(quotedSwitch || line.find(u'"') != std::u16string::npos ||
                 line.find(*options.adminTargetPath) != std::u16string::npos);
   }
   // The /v text is handed on with its back-slash escapes undone: as written when it holds no
   // back-slash before a quote (and is no quoted argument), never longer than the line; its
   // property part never outgrows it.
   FUZZ_CHECK(options.installerArguments.has_value() == options.installerProperties.has_value());
   if (options.installerArguments) {
      FUZZ_CHECK(!options.installerArguments->empty());
      FUZZ_CHECK(options.installerArguments->size() <= line.size());
      FUZZ_CHECK(quotedSwitch || line.find(u"\\\"") != std::u16string::npos ||
                 line.find(*options.installerArguments) != std::u16string::npos);
      FUZZ_CHECK(options.installerProperties->size() <= options.installerArguments->size());
   }
   if (!tokens.empty()) {
      FUZZ_CHECK(tokens.size() <= kMaxOptionTokens);
   }
   return 0;
}
