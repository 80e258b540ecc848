// Parser of the launcher's command line and of the /v text handed on to Windows Installer.
#include "apps/install/setup/commandLine.h"

#include <vector>

namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kNoMoreItems = 259;

// Characters that may follow a switch character to open a token.
constexpr std::u16string_view kOptionLetters = u"alsvxwnrmpALSVXWNRMP:";

bool IsBlank(char16_t c)
{
   return c == u' ' || c == u'\t';
}

bool IsSpace(char16_t c)
{
   return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

bool IsSwitch(char16_t c)
{
   return c == u'/' || c == u'-';
}

char16_t Lower(char16_t c)
{
   return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string_view TrimSpace(std::u16string_view text)
{
   while (!text.empty() && IsSpace(text.front())) {
      text.remove_prefix(1);
   }
   while (!text.empty() && IsSpace(text.back())) {
      text.remove_suffix(1);
   }
   return text;
}

std::u16string_view SkipBlanks(std::u16string_view text)
{
   while (!text.empty() && IsBlank(text.front())) {
      text.remove_prefix(1);
   }
   return text;
}

bool AllBlank(std::u16string_view text)
{
   return SkipBlanks(text).empty();
}

// The text of a switch's argument: leading blanks skipped, one pair of surrounding quotes removed.
std::u16string_view Unquote(std::u16string_view text)
{
   text = SkipBlanks(text);
   if (!text.empty() && text.front() == u'"') {
      text.remove_prefix(1);
      if (!text.empty() && text.back() == u'"') {
         text.remove_suffix(1);
      }
   }
   return text;
}

bool IsInstallerTextLetter(char16_t c)
{
   return c == u'v' || c == u'V';
}

// The switches that take no argument, or a path, which never begins with a switch character.
// Another switch written directly after one of them ("/s/x", "/s/v/qn", "/a/s") opens a token of
// its own instead of vanishing into its tail. Not /v: its text may begin with "/l*v".
bool AllowsGluedSwitch(std::u16string_view written)
{
   if (written.size() == 2) {
      return std::u16string_view(u"sxnrpmwalSXNRPMWAL:").find(written[1]) != std::u16string_view::npos;
   }
   return written.size() == 3 && ((Lower(written[1]) == u'p' && Lower(written[2]) == u'v') ||
                                  (Lower(written[1]) == u'm' && Lower(written[2]) == u'g'));
}

// What may follow a switch letter that takes no argument: nothing, or a blank and a tail that is
// ignored ("/s /qn"). Letters glued to it ("/repair", "/xyz") would make another switch of it.
bool NothingGlued(std::u16string_view body)
{
   return body.empty() || IsBlank(body.front());
}

// A line that does not even split into switches (a word before the first one, as when a caller
// repeats the program name) still asks for an unattended run when one of its words, outside
// quotes, is a bare /s or one with another switch glued to it ("/s/x").
bool HasSilentWord(std::u16string_view line)
{
   bool quoted = false;
   for (size_t i = 0; i + 1 < line.size(); i++) {
      if (line[i] == u'"') {
         quoted = !quoted;
      } else if (!quoted && IsSwitch(line[i]) && (i == 0 || IsBlank(line[i - 1])) && Lower(line[i + 1]) == u's' &&
                 (i + 2 == line.size() || IsBlank(line[i + 2]) || IsSwitch(line[i + 2]))) {
         return true;
      }
   }
   return false;
}

// The /v text: leading blanks skipped, its surrounding quotes removed, and inside it the
// back-slash escapes undone the way programs that build command lines write them: `\"` is a
// quote of the text, 2n back-slashes before a quote stand for n (so a value may end in a
// back-slash: `C:\Dir\\"`), 2n+1 for n and a quote; back-slashes anywhere else are themselves.
// Quotes written without a back-slash stay quotes of the text, as before. Nothing when those do
// not pair up: a mix of both ways of writing would otherwise lose a back-slash or a quote.
std::optional<std::u16string> InstallerText(std::u16string_view body)
{
   body = SkipBlanks(body);
   const bool quoted = !body.empty() && body.front() == u'"';
   if (quoted) {
      body.remove_prefix(1);
   }
   std::u16string text;
   size_t plainQuotes = 0;
   size_t i = 0;
   while (i < body.size()) {
      size_t slashes = 0;
      while (i + slashes < body.size() && body[i + slashes] == u'\\') {
         slashes++;
      }
      if (i + slashes == body.size() || body[i + slashes] != u'"') {
         const size_t take = slashes > 0 ? slashes : 1;
         text.append(body.substr(i, take));
         i += take;
         continue;
      }
      text.append(slashes / 2, u'\\');
      i += slashes + 1;
      if (slashes % 2 == 0) {
         if (quoted && i == body.size()) {
            break; // the closing quote
         }
         plainQuotes++;
      }
      text.push_back(u'"');
   }
   if (plainQuotes % 2 != 0) {
      return std::nullopt;
   }
   return text;
}

// A log path names a file inside an existing folder: there must be a back-slash after the first
// character that is not the last one.
bool AcceptLogPath(const std::u16string& path, CommandLineOptions& options, const DirectoryTest& isDirectory)
{
   const size_t slash = path.rfind(u'\\');
   if (slash == std::u16string::npos || slash == 0 || slash + 1 == path.size()) {
      return false;
   }
   if (!isDirectory(path.substr(0, slash))) {
      return false;
   }
   options.msiLogPath = path;
   options.msiLogMode = kMsiLogModeVerbose;
   return true;
}

// The item's text without its surrounding quotes (a doubled quote inside stands for one).
std::u16string ItemText(std::u16string_view text, const ParameterItem& item)
{
   std::u16string_view raw = text.substr(item.start, item.end - item.start);
   if (!item.quoted) {
      return std::u16string(raw);
   }
   std::u16string out;
   for (size_t i = 1; i < raw.size(); i++) {
      if (raw[i] == u'"') {
         if (i + 1 < raw.size() && raw[i + 1] == u'"') {
            out.push_back(u'"');
            i++;
            continue;
         }
         // The closing quote; anything glued to it belongs to the item too.
         out.append(raw.substr(i + 1));
         break;
      }
      out.push_back(raw[i]);
   }
   return out;
}

} // namespace

uint32_t SplitOptionTokens(std::u16string_view line, std::vector<OptionToken>& tokens)
{
   tokens.clear();
   if (line.empty() || !IsSwitch(line.front())) {
      return kErrorInvalidParameter;
   }
   size_t quotes = 0;
   size_t slashes = 0; // the back-slashes just before the current character
   for (size_t i = 0; i < line.size(); i++) {
      const char16_t c = line[i];
      if (c == u'"') {
         // Inside a /v text a quote after an odd number of back-slashes is a quote of the text.
         const bool escaped =
             !tokens.empty() && IsInstallerTextLetter(line[tokens.back().first + 1]) && slashes % 2 != 0;
         if (!escaped) {
            quotes++;
         }
         slashes = 0;
         continue;
      }
      slashes = c == u'\\' ? slashes + 1 : 0;
      // A switch opens a token at the start of the line, after a blank, or glued to a switch
      // that takes no argument ("/s/x"); never inside a word, so that a path such as C:\x-ray
      // does not turn into a /r switch.
      const bool startsWord =
          i == 0 || IsBlank(line[i - 1]) ||
          (!tokens.empty() && AllowsGluedSwitch(line.substr(tokens.back().first, i - tokens.back().first)));
      if (IsSwitch(c) && startsWord && quotes % 2 == 0 && i + 1 < line.size() &&
          kOptionLetters.find(line[i + 1]) != std::u16string_view::npos) {
         if (!tokens.empty()) {
            size_t last = i - 1;
            while (last > tokens.back().first && IsSpace(line[last])) {
               last--;
            }
            tokens.back().last = last;
         }
         tokens.push_back(OptionToken{i, i});
         quotes = 0;
      }
   }
   if (tokens.empty()) {
      return kErrorInvalidParameter; // a switch character, but not one of ours
   }
   size_t last = line.size() - 1;
   while (last > tokens.back().first && IsSpace(line[last])) {
      last--;
   }
   tokens.back().last = last;
   return 0;
}

uint32_t NextParameterItem(std::u16string_view text, size_t pos, ParameterItem& item)
{
   while (pos < text.size() && IsBlank(text[pos])) {
      pos++;
   }
   if (pos >= text.size()) {
      return kNoMoreItems;
   }
   item.start = pos;
   item.quoted = text[pos] == u'"';
   bool inQuotes = false;
   for (; pos < text.size(); pos++) {
      const char16_t c = text[pos];
      if (c == u'"') {
         if (inQuotes && pos + 1 < text.size() && text[pos + 1] == u'"') {
            pos++; // a doubled quote inside a quoted text stands for a quote
            continue;
         }
         inQuotes = !inQuotes;
      } else if (IsBlank(c) && !inQuotes) {
         break;
      }
   }
   if (inQuotes) {
      return kErrorInvalidParameter;
   }
   item.end = pos;
   return 0;
}

std::optional<uint32_t> ParseQuietLevel(std::u16string_view level)
{
   if (level.empty()) {
      return 2;
   }
   const std::u16string_view rest = level.substr(1);
   switch (level.front()) {
   case u'n':
      return rest.empty() || rest == u"+" ? std::optional<uint32_t>(2) : std::nullopt;
   case u'r':
      return rest.empty() || rest == u"+" ? std::optional<uint32_t>(4) : std::nullopt;
   case u'f':
      return rest.empty() || rest == u"+" ? std::optional<uint32_t>(5) : std::nullopt;
   case u'b':
      break;
   default:
      return std::nullopt;
   }
   if (rest.empty()) {
      return 3;
   }
   if (rest.size() > 2) {
      return std::nullopt;
   }
   const char16_t first = rest[0];
   const char16_t second = rest.size() > 1 ? rest[1] : u'\0';
   switch (first) {
   case u'!':
      return second == u'+' ? 0xA3 : second == u'-' ? 0x63 : 0x23;
   case u'+':
      if (second == u'-') {
         return std::nullopt;
      }
      return second == u'!' ? 0xA3 : 0x83;
   case u'-':
      if (second == u'+') {
         return std::nullopt;
      }
      return second == u'!' ? 0x63 : 0x43;
   default:
      return std::nullopt;
   }
}

bool ParseLogOption(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory,
                    size_t* consumed)
{
   if (consumed != nullptr) {
      *consumed = 0;
   }
   // Counted before the blanks are skipped: "/l" alone or with one character ("/lv") names no
   // file and keeps the default log; "/l x" names the file "x", which has no folder.
   if (text.size() <= 1) {
      return true;
   }
   ParameterItem item;
   if (NextParameterItem(text, 0, item) != 0) {
      return false;
   }
   if (!AcceptLogPath(ItemText(text, item), options, isDirectory)) {
      return false;
   }
   if (consumed != nullptr) {
      *consumed = item.end;
   }
   return true;
}

bool ParseInstallerParameters(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory)
{
   std::u16string properties;
   size_t pos = 0;
   for (;;) {
      ParameterItem item;
      const uint32_t status = NextParameterItem(text, pos, item);
      if (status == kNoMoreItems) {
         break;
      }
      if (status != 0) {
         return false;
      }
      pos = item.end;
      const std::u16string_view raw = text.substr(item.start, item.end - item.start);
      if (IsSwitch(raw.front())) {
         if (raw.size() < 2) {
            return false;
         }
         const char16_t letter = Lower(raw[1]);
         if (letter == u'q') {
            const auto level = ParseQuietLevel(raw.substr(2));
            if (!level) {
               return false;
            }
            options.uiLevel = *level;
         } else if (letter == u'l') {
            // "/l*v" and its kind name a mode; the path is the next item, after a blank.
            ParameterItem path;
            if (NextParameterItem(text, pos, path) != 0 || path.start == pos) {
               return false;
            }
            if (!AcceptLogPath(ItemText(text, path), options, isDirectory)) {
               return false;
            }
            pos = path.end;
         } else {
            return false;
         }
         continue;
      }
      properties.append(raw);
      if (pos < text.size() && IsBlank(text[pos])) {
         properties.push_back(text[pos]);
      }
   }
   options.installerProperties = properties;
   return true;
}

bool ParseCommandLine(std::u16string_view commandLine, CommandLineOptions& options, const DirectoryTest& isDirectory)
{
   const std::u16string line(TrimSpace(commandLine));
   if (line.empty()) {
      return true;
   }
   std::vector<OptionToken> tokens;
   if (SplitOptionTokens(line, tokens) != 0) {
      options.silent = options.silent || HasSilentWord(line);
      return false;
   }
   // An unattended run must never wait for a person: a /s anywhere on the line makes it silent
   // before any switch can refuse the line, so that the usage text is then logged, not shown.
   for (const OptionToken& token : tokens) {
      const std::u16string_view whole = std::u16string_view(line).substr(token.first, token.last - token.first + 1);
      if (whole.size() > 1 && Lower(whole[1]) == u's' && NothingGlued(whole.substr(2))) {
         options.silent = true;
      }
   }
   bool sawInstallerText = false;
   for (size_t index = 0; index < tokens.size(); index++) {
      // Only six switches fit the options record; a longer line is refused rather than silently
      // cut, so that no switch the administrator typed is ignored.
      if (index == kMaxOptionTokens) {
         return false;
      }
      const OptionToken& token = tokens[index];
      const std::u16string_view whole = std::u16string_view(line).substr(token.first, token.last - token.first + 1);
      const char16_t letter = whole.size() > 1 ? whole[1] : u'\0';
      const std::u16string_view body = whole.size() > 2 ? whole.substr(2) : std::u16string_view();
      if (letter < u'A' || letter > u'x') {
         continue;
      }
      const char16_t lower = Lower(letter);
      if (std::u16string_view(u"nrsx").find(lower) != std::u16string_view::npos && !NothingGlued(body)) {
         return false;
      }
      switch (lower) {
      case u'a': {
         if (options.adminInstall) {
            return false;
         }
         options.adminInstall = true;
         const std::u16string_view path = Unquote(body);
         if (!path.empty()) {
            options.adminTargetPath = std::u16string(path);
         }
         break;
      }
      case u'l':
         if (!ParseLogOption(body, options, isDirectory, nullptr)) {
            return false;
         }
         options.msiLogMode = kMsiLogModeVerbose;
         break;
      case u'n':
         options.noSystemChange = true;
         break;
      case u'r':
         options.repairMode = true;
         break;
      case u's':
         options.silent = true;
         break;
      case u'x':
         options.unpackOnly = true;
         break;
      case u'p': {
         std::u16string_view rest = body;
         if (!rest.empty() && Lower(rest.front()) == u'v') {
            options.printVersions = true;
            rest.remove_prefix(1);
         }
         if (!AllBlank(rest)) {
            return false;
         }
         break;
      }
      case u'm':
         // "/mg": the guest-only log mode that the usage text lists. Any other /m is ignored.
         if (!body.empty() && Lower(body.front()) == u'g') {
            if (!NothingGlued(body.substr(1))) {
               return false;
            }
            options.guestOnlyLogging = true;
         }
         break;
      case u'v': {
         if (sawInstallerText) {
            return false;
         }
         sawInstallerText = true;
         const auto text = InstallerText(body);
         if (!text || text->empty()) {
            return false;
         }
         if (!ParseInstallerParameters(*text, options, isDirectory)) {
            return false;
         }
         options.installerArguments = *text;
         break;
      }
      default:
         break;
      }
   }
   return true;
}
