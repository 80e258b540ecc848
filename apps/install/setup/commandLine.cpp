// Parser of the launcher's command line and of the /v text handed on to Windows Installer.
#include "apps/install/setup/commandLine.h"

#include <vector>

namespace
{

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

bool IsInstallerTextLetter(char16_t c)
{
   return c == u'v' || c == u'V';
}

bool IsLetter(char16_t c)
{
   return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsOptionLetter(char16_t c)
{
   return kOptionLetters.find(c) != std::u16string_view::npos;
}

// /m, /w and /: are ignored together with the letters written after them ("/mg", "/wait").
bool IsIgnoredSwitchLetter(char16_t c)
{
   return c == u'm' || c == u'M' || c == u'w' || c == u'W' || c == u':';
}

// The switches that take no argument, or a path, which never begins with a switch character.
// Another switch written directly after one of them ("/s/x", "/s/v/qn", "/a/s", "/wait/s") opens a
// token of its own instead of vanishing into its tail. Not /v: its text may begin with "/l*v".
bool AllowsGluedSwitch(std::u16string_view written)
{
   if (written.size() < 2 || !IsSwitch(written[0])) {
      return false;
   }
   if (written.size() == 2) {
      return std::u16string_view(u"sxnrpmwalSXNRPMWAL:").find(written[1]) != std::u16string_view::npos;
   }
   if (IsIgnoredSwitchLetter(written[1])) {
      for (const char16_t c : written.substr(2)) {
         if (!IsLetter(c)) {
            return false;
         }
      }
      return true;
   }
   return written.size() == 3 && Lower(written[1]) == u'p' && Lower(written[2]) == u'v';
}

// A bare /a, /l or /v (blanks after it at most): the next word is its argument, never a switch.
bool TakesArgument(std::u16string_view written)
{
   while (!written.empty() && IsBlank(written.back())) {
      written.remove_suffix(1);
   }
   return written.size() == 2 && IsSwitch(written[0]) &&
          std::u16string_view(u"alvALV").find(written[1]) != std::u16string_view::npos;
}

// The end of the argument that starts at `start`, read the way programs read their arguments: a
// blank outside quotes ends it; a quote after an even number of back-slashes opens or closes a
// quoted run, after an odd number it is text. `open` tells whether a quoted run was left open.
size_t ArgumentEnd(std::u16string_view line, size_t start, bool* open = nullptr)
{
   bool quoted = false;
   size_t slashes = 0;
   size_t i = start;
   for (; i < line.size(); i++) {
      const char16_t c = line[i];
      if (c == u'"' && slashes % 2 == 0) {
         quoted = !quoted;
      } else if (IsBlank(c) && !quoted) {
         break;
      }
      slashes = c == u'\\' ? slashes + 1 : 0;
   }
   if (open != nullptr) {
      *open = quoted;
   }
   return i;
}

// The text of one argument: 2n back-slashes before a quote stand for n and the quote opens or
// closes a quoted run; 2n+1 stand for n and a quote of the text; other back-slashes are themselves.
std::u16string ArgumentText(std::u16string_view argument)
{
   std::u16string text;
   size_t i = 0;
   while (i < argument.size()) {
      size_t slashes = 0;
      while (i + slashes < argument.size() && argument[i + slashes] == u'\\') {
         slashes++;
      }
      if (i + slashes == argument.size() || argument[i + slashes] != u'"') {
         const size_t take = slashes > 0 ? slashes : 1;
         text.append(argument.substr(i, take));
         i += take;
         continue;
      }
      text.append(slashes / 2, u'\\');
      if (slashes % 2 != 0) {
         text.push_back(u'"');
      }
      i += slashes + 1;
   }
   return text;
}

// The first word of a text (blanks before it skipped), quotes and all, for a refusal.
std::u16string_view FirstWord(std::u16string_view text)
{
   text = SkipBlanks(text);
   return text.substr(0, ArgumentEnd(text, 0));
}

// A quoted argument at the start of `written`: its text and where it ends. Read as programs read
// their arguments ("C:\Admin Point\\" is C:\Admin Point\); when that leaves its quote open, as
// written, back-slashes as themselves (`"C:\Admin Point\"`, as older scripts have it), and a
// quote never closed runs to the end.
size_t QuotedArgument(std::u16string_view written, std::u16string& text)
{
   bool open = false;
   const size_t end = ArgumentEnd(written, 0, &open);
   if (!open) {
      text = ArgumentText(written.substr(0, end));
      return end;
   }
   const size_t closing = written.find(u'"', 1);
   if (closing == std::u16string_view::npos) {
      text = std::u16string(written.substr(1));
      return written.size();
   }
   size_t after = closing + 1;
   while (after < written.size() && !IsBlank(written[after])) {
      after++;
   }
   text = std::u16string(written.substr(1, closing - 1)) +
          std::u16string(written.substr(closing + 1, after - closing - 1));
   return after;
}

// A quoted argument that spells a switch of ours: "/v/qn INSTALLDIR=\"C:\Tessix Custom\"".
bool OpensQuotedSwitch(std::u16string_view line, size_t i)
{
   return line[i] == u'"' && i + 2 < line.size() && IsSwitch(line[i + 1]) && IsOptionLetter(line[i + 2]);
}

// "/l*v", "/lvx": letters of Windows Installer's log modes glued to /l, where a path was meant.
bool IsInstallerLogMode(std::u16string_view glued)
{
   size_t letters = 0;
   while (letters < glued.size() &&
          std::u16string_view(u"iwearucmopvx*+!IWEARUCMOPVX").find(glued[letters]) != std::u16string_view::npos) {
      letters++;
   }
   return letters >= 2 && (letters == glued.size() || IsBlank(glued[letters]));
}

bool Refuse(CommandLineRefusal& why, std::u16string_view word, const char* rule)
{
   why.word = std::u16string(word);
   why.rule = rule;
   return false;
}

// The rule broken by a word outside /v that no switch of ours takes; Windows Installer's own
// options are pointed to the /v text, where they belong.
const char* StrayWordRule(std::u16string_view word)
{
   if (word.size() > 1 && IsSwitch(word[0])) {
      std::u16string lower;
      for (const char16_t c : word.substr(1)) {
         lower.push_back(Lower(c));
      }
      if (lower.front() == u'q') {
         return "a Windows Installer option: it belongs inside /v, as in /v/qn";
      }
      if (lower == u"norestart" || lower == u"forcerestart" || lower == u"promptrestart") {
         return "a Windows Installer option: inside /v it is a property, as in /v\"/qn REBOOT=ReallySuppress\"";
      }
      return "not a switch of setup.exe: /s, /x, /n and /r take nothing glued to them, /m and /w only letters";
   }
   return "text that belongs to no switch";
}

// The /v text: leading blanks skipped, its surrounding quotes removed, and inside it the
// back-slash escapes undone the way programs that build command lines write them: `\"` is a
// quote of the text, 2n back-slashes before a quote stand for n (so a value may end in a
// back-slash: `C:\Dir\\"`), 2n+1 for n and a quote; back-slashes anywhere else are themselves.
// When that reading leaves a quote without partner (no closing quote, an odd number of quotes
// written without a back-slash, or of quotes in the result), the text is read as written instead:
// back-slashes are themselves and every quote is a quote, as older scripts write it
// (`/v"/qn INSTALLDIR=C:\Dir\"`). Nothing when that reading does not pair its quotes either.
std::optional<std::u16string> InstallerText(std::u16string_view body)
{
   body = SkipBlanks(body);
   const bool quoted = !body.empty() && body.front() == u'"';
   if (quoted) {
      body.remove_prefix(1);
   }
   std::u16string text;
   size_t plainQuotes = 0;
   bool closed = !quoted;
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
            closed = true;
            break; // the closing quote
         }
         plainQuotes++;
      }
      text.push_back(u'"');
   }
   const auto evenQuotes = [](std::u16string_view t) {
      size_t quotes = 0;
      for (const char16_t c : t) {
         quotes += c == u'"' ? 1 : 0;
      }
      return quotes % 2 == 0;
   };
   if (closed && plainQuotes % 2 == 0 && evenQuotes(text)) {
      return text;
   }
   std::u16string_view asWritten = body;
   if (quoted && !asWritten.empty() && asWritten.back() == u'"') {
      asWritten.remove_suffix(1);
   }
   if (!evenQuotes(asWritten)) {
      return std::nullopt;
   }
   return std::u16string(asWritten);
}

// A log path names a file inside an existing folder: there must be a back-slash after the first
// character that is not the last one. Nothing when it does, else the rule it broke.
const char* AcceptLogPath(const std::u16string& path, CommandLineOptions& options, const DirectoryTest& isDirectory)
{
   const size_t slash = path.rfind(u'\\');
   if (slash == std::u16string::npos || slash == 0 || slash + 1 == path.size()) {
      return "a log path names a file in a folder, as in C:\\Logs\\setup.log";
   }
   if (!isDirectory(path.substr(0, slash))) {
      return "the folder of the log file does not exist";
   }
   options.msiLogPath = path;
   options.msiLogMode = kMsiLogModeVerbose;
   return nullptr;
}

// The item as Windows Installer is to read it: as written, or with its doubled quotes halved
// (A=""x y"" is A="x y").
std::u16string ItemWritten(std::u16string_view text, const ParameterItem& item)
{
   const std::u16string_view raw = text.substr(item.start, item.end - item.start);
   if (!item.doubled) {
      return std::u16string(raw);
   }
   const size_t quote = raw.find(u'"');
   return std::u16string(raw.substr(0, quote + 1)) + std::u16string(raw.substr(quote + 2, raw.size() - quote - 4)) +
          u'"';
}

// The item's text without its surrounding quotes (a doubled quote inside stands for one).
std::u16string ItemText(std::u16string_view text, const ParameterItem& item)
{
   if (item.doubled) {
      const std::u16string written = ItemWritten(text, item);
      return ItemText(written, ParameterItem{0, written.size(), written.front() == u'"'});
   }
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

// A /l path; `consumed` tells how much of the text it took.
bool ReadLogOption(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory,
                   size_t& consumed, CommandLineRefusal& why)
{
   // Counted before the blanks are skipped: "/l" alone or with one character ("/lv") names no
   // file and keeps the default log; "/l x" names the file "x", which has no folder.
   consumed = text.size();
   if (text.size() <= 1) {
      return true;
   }
   ParameterItem item;
   if (NextParameterItem(text, 0, item) != 0) {
      return Refuse(why, FirstWord(text), "a quote without partner in the log path");
   }
   const std::u16string path = ItemText(text, item);
   if (const char* rule = AcceptLogPath(path, options, isDirectory)) {
      return Refuse(why, path, rule);
   }
   consumed = item.end;
   return true;
}

bool ReadInstallerParameters(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory,
                             CommandLineRefusal& why)
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
         return Refuse(why, FirstWord(text.substr(pos)), "a quote without partner in the /v text");
      }
      pos = item.end;
      const std::u16string_view raw = text.substr(item.start, item.end - item.start);
      if (IsSwitch(raw.front())) {
         const char16_t letter = raw.size() > 1 ? Lower(raw[1]) : u'\0';
         if (letter == u'q') {
            const auto level = ParseQuietLevel(raw.substr(2));
            if (!level) {
               return Refuse(why, raw, "not a UI level of /q: /q, /qn, /qb, /qb+, /qb-, /qb!, /qr or /qf");
            }
            options.uiLevel = *level;
         } else if (letter == u'l') {
            // "/l*v" and its kind name a mode; the path is the next item, after a blank.
            ParameterItem path;
            if (NextParameterItem(text, pos, path) != 0 || path.start == pos) {
               return Refuse(why, raw, "/l inside /v takes a log path after a blank");
            }
            const std::u16string file = ItemText(text, path);
            if (const char* rule = AcceptLogPath(file, options, isDirectory)) {
               return Refuse(why, file, rule);
            }
            pos = path.end;
         } else {
            return Refuse(why, raw,
                          "a Windows Installer option not taken inside /v, which takes /q..., /l... with a path "
                          "and properties (REBOOT=ReallySuppress in place of /norestart)");
         }
         continue;
      }
      // Windows Installer takes nothing else: a stray word would make it refuse the whole line
      // after the launcher had extracted and started everything.
      const std::u16string written = ItemWritten(text, item);
      const size_t equals = written.find(u'=');
      if (equals == 0 || equals == std::u16string::npos ||
          written.substr(0, equals).find(u'"') != std::u16string::npos) {
         return Refuse(why, raw, "neither a Windows Installer option nor a property (NAME=value) in the /v text");
      }
      properties.append(written);
      if (pos < text.size() && IsBlank(text[pos])) {
         properties.push_back(text[pos]);
      }
   }
   options.installerProperties = properties;
   return true;
}

// One pass of the tokenizer. With `escapes`, a quote after an odd number of back-slashes inside a
// /v token is text. True when the last token is a /v text that leaves a quote open.
bool SplitPass(std::u16string_view line, std::vector<OptionToken>& tokens, bool escapes)
{
   tokens.clear();
   const auto endLastToken = [&](size_t next) {
      size_t last = next - 1;
      while (last > tokens.back().first && IsSpace(line[last])) {
         last--;
      }
      tokens.back().last = last;
   };
   size_t quotes = 0;
   size_t slashes = 0; // the back-slashes just before the current character
   for (size_t i = 0; i < line.size(); i++) {
      const char16_t c = line[i];
      const bool atWordStart = i == 0 || IsBlank(line[i - 1]);
      if (c == u'"') {
         const bool isArgument =
             !tokens.empty() && TakesArgument(line.substr(tokens.back().first, i - tokens.back().first));
         if (quotes % 2 == 0 && atWordStart && OpensQuotedSwitch(line, i) && !isArgument) {
            if (!tokens.empty()) {
               endLastToken(i);
            }
            tokens.push_back(OptionToken{i, i});
            quotes = 0;
            slashes = 0;
            i = ArgumentEnd(line, i) - 1;
            continue;
         }
         // Inside a /v text a quote after an odd number of back-slashes is a quote of the text.
         const bool escaped =
             escapes && !tokens.empty() && IsInstallerTextLetter(line[tokens.back().first + 1]) && slashes % 2 != 0;
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
          atWordStart ||
          (!tokens.empty() && AllowsGluedSwitch(line.substr(tokens.back().first, i - tokens.back().first)));
      if (IsSwitch(c) && startsWord && quotes % 2 == 0 && i + 1 < line.size() && IsOptionLetter(line[i + 1])) {
         if (!tokens.empty()) {
            endLastToken(i);
         }
         tokens.push_back(OptionToken{i, i});
         quotes = 0;
      }
   }
   if (tokens.empty()) {
      return false;
   }
   endLastToken(line.size());
   return quotes % 2 != 0 && IsInstallerTextLetter(line[tokens.back().first + 1]);
}

// A token's text; a quoted argument is read the way programs read their arguments.
std::u16string TokenText(std::u16string_view line, const OptionToken& token)
{
   const std::u16string_view whole = line.substr(token.first, token.last - token.first + 1);
   if (whole.front() != u'"') {
      return std::u16string(whole);
   }
   const size_t end = ArgumentEnd(whole, 0);
   return ArgumentText(whole.substr(0, end)) + std::u16string(whole.substr(end));
}

// The switches of a trimmed line; every character that is not a blank must be used by one.
bool ParseSwitches(std::u16string_view line, CommandLineOptions& options, const DirectoryTest& isDirectory,
                   CommandLineRefusal& why)
{
   if (line.empty()) {
      return true;
   }
   std::vector<OptionToken> tokens;
   if (SplitOptionTokens(line, tokens) != 0) {
      const std::u16string_view word = FirstWord(line);
      return Refuse(
          why, word,
          IsSwitch(line.front())
              ? StrayWordRule(word)
              : "the line must begin with a switch (a word before it, such as the program name, is not taken)");
   }
   std::vector<std::u16string> texts;
   for (const OptionToken& token : tokens) {
      texts.push_back(TokenText(line, token));
   }
   // An unattended run must never wait for a person: a /s anywhere on the line makes it silent
   // before any switch can refuse the line, so that the usage text is then logged, not shown.
   for (const std::u16string& whole : texts) {
      if (Lower(whole[1]) == u's' && AllBlank(std::u16string_view(whole).substr(2))) {
         options.silent = true;
      }
   }
   if (tokens.front().first != 0) {
      const std::u16string_view word = FirstWord(line); // "/q /s": the /q opens no token
      return Refuse(why, word, StrayWordRule(word));
   }
   bool sawInstallerText = false;
   for (size_t index = 0; index < tokens.size(); index++) {
      const std::u16string_view whole = texts[index];
      // Only six switches fit the options record; a longer line is refused rather than silently
      // cut, so that no switch the administrator typed is ignored.
      if (index == kMaxOptionTokens) {
         return Refuse(why, FirstWord(whole), "more than six switches");
      }
      const char16_t lower = Lower(whole[1]);
      const std::u16string_view body = whole.substr(2);
      // What follows a switch that takes nothing: blanks only ("/repair", "/s /qn" are refused).
      const auto onlyBlanks = [&](std::u16string_view rest) {
         if (!rest.empty() && !IsBlank(rest.front())) {
            return Refuse(why, FirstWord(whole), StrayWordRule(FirstWord(whole)));
         }
         if (!AllBlank(rest)) {
            return Refuse(why, FirstWord(rest), StrayWordRule(FirstWord(rest)));
         }
         return true;
      };
      switch (lower) {
      case u'a': {
         if (options.adminInstall) {
            return Refuse(why, FirstWord(whole), "only one /a");
         }
         options.adminInstall = true;
         // An unquoted path is the rest of the switch, blanks and all; a quoted one is one
         // argument, and only blanks may follow it.
         const std::u16string_view written = SkipBlanks(body);
         std::u16string path(written);
         if (!written.empty() && written.front() == u'"') {
            const std::u16string_view after = written.substr(QuotedArgument(written, path));
            if (!AllBlank(after)) {
               return Refuse(why, FirstWord(after), StrayWordRule(FirstWord(after)));
            }
         }
         while (!path.empty() && IsSpace(path.back())) {
            path.pop_back();
         }
         if (path.find(u'"') != std::u16string::npos) {
            return Refuse(why, FirstWord(body), "a quote inside the /a path");
         }
         if (!path.empty()) {
            options.adminTargetPath = path;
         }
         break;
      }
      case u'l': {
         if (IsInstallerLogMode(body)) {
            return Refuse(
                why, FirstWord(whole),
                "a Windows Installer log option: it belongs inside /v, as in /v\"/qn /l*v C:\\Logs\\setup.log\"");
         }
         // The switch quoted whole ("/l C:\My Logs\setup.log"): its path is the rest of the
         // argument, blanks and all, and only blanks may follow the argument.
         std::u16string quotedPath;
         std::u16string_view logText = body;
         const OptionToken& token = tokens[index];
         if (line[token.first] == u'"') {
            const std::u16string_view written = line.substr(token.first, token.last - token.first + 1);
            const std::u16string_view trailing = written.substr(ArgumentEnd(written, 0));
            const std::u16string_view argument = whole.substr(0, whole.size() - trailing.size());
            const std::u16string_view path = TrimSpace(argument.substr(2));
            if (path.size() > 1 && path.find(u'"') == std::u16string_view::npos) {
               quotedPath = u"\"" + std::u16string(path) + u"\"" + std::u16string(trailing);
               logText = quotedPath;
            }
         }
         size_t used = 0;
         if (!ReadLogOption(logText, options, isDirectory, used, why) || !onlyBlanks(logText.substr(used))) {
            return false;
         }
         options.msiLogMode = kMsiLogModeVerbose;
         break;
      }
      case u'n':
      case u'r':
      case u's':
      case u'x':
         if (!onlyBlanks(body)) {
            return false;
         }
         options.noSystemChange = options.noSystemChange || lower == u'n';
         options.repairMode = options.repairMode || lower == u'r';
         options.silent = options.silent || lower == u's';
         options.unpackOnly = options.unpackOnly || lower == u'x';
         break;
      case u'p': {
         std::u16string_view rest = body;
         if (!rest.empty() && Lower(rest.front()) == u'v') {
            options.printVersions = true;
            rest.remove_prefix(1);
         }
         if (!onlyBlanks(rest)) {
            return false;
         }
         break;
      }
      case u'm':
      case u'w':
      case u':': {
         // Ignored with the letters written after them; "/mg" is the guest-only log mode that the
         // usage text lists, and takes no more letters ("/mguest" is refused).
         size_t letters = 0;
         while (letters < body.size() && IsLetter(body[letters])) {
            letters++;
         }
         if (lower == u'm' && letters > 0 && Lower(body.front()) == u'g') {
            if (letters > 1) {
               return Refuse(why, FirstWord(whole), "/mg takes nothing glued to it");
            }
            options.guestOnlyLogging = true;
         }
         if (!onlyBlanks(body.substr(letters))) {
            return false;
         }
         break;
      }
      case u'v': {
         if (sawInstallerText) {
            return Refuse(why, FirstWord(whole), "only one /v");
         }
         sawInstallerText = true;
         const auto text = InstallerText(body);
         if (!text) {
            // A quoted text closed before the token ends ("/v"/qn" extra"): the word after it is
            // what belongs to no switch.
            const std::u16string_view written = SkipBlanks(body);
            std::u16string unused;
            const std::u16string_view after = written.empty() || written.front() != u'"'
                                                  ? std::u16string_view()
                                                  : written.substr(QuotedArgument(written, unused));
            if (!AllBlank(after)) {
               return Refuse(why, FirstWord(after), StrayWordRule(FirstWord(after)));
            }
            return Refuse(why, whole, "a quote without partner in the /v text");
         }
         if (text->empty()) {
            return Refuse(why, whole, "/v without text");
         }
         if (!ReadInstallerParameters(*text, options, isDirectory, why)) {
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

} // namespace

uint32_t SplitOptionTokens(std::u16string_view line, std::vector<OptionToken>& tokens)
{
   tokens.clear();
   if (line.empty() || !(IsSwitch(line.front()) || OpensQuotedSwitch(line, 0))) {
      return kErrorInvalidParameter;
   }
   // Read with the back-slash escapes first; a /v text they leave with a quote open is one
   // written the older way, with back-slashes as themselves (`/v"/qn INSTALLDIR=C:\Dir\" /s`).
   if (SplitPass(line, tokens, true)) {
      SplitPass(line, tokens, false);
   }
   if (tokens.empty()) {
      return kErrorInvalidParameter; // a switch character, but not one of ours
   }
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
   item.doubled = false;
   // Quotes written doubled, the older way of quoting inside a quoted /v text: the item's first
   // quote (before any blank) is followed by another and then by text, and a later pair closes
   // it (A=""C:\x y"" stands for A="C:\x y"). A pair followed by a blank is an empty value.
   size_t first = pos;
   while (first < text.size() && text[first] != u'"' && !IsBlank(text[first])) {
      first++;
   }
   if (first + 2 < text.size() && text[first] == u'"' && text[first + 1] == u'"' && !IsBlank(text[first + 2]) &&
       text[first + 2] != u'"') {
      const size_t closing = text.find(u"\"\"", first + 2);
      if (closing != std::u16string_view::npos) {
         item.end = closing + 2;
         item.doubled = true;
         return 0;
      }
   }
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
   CommandLineRefusal why;
   size_t used = 0;
   const bool accepted = ReadLogOption(text, options, isDirectory, used, why);
   if (consumed != nullptr) {
      *consumed = accepted ? used : 0;
   }
   return accepted;
}

bool ParseInstallerParameters(std::u16string_view text, CommandLineOptions& options, const DirectoryTest& isDirectory)
{
   CommandLineRefusal why;
   return ReadInstallerParameters(text, options, isDirectory, why);
}

bool ParseCommandLine(std::u16string_view commandLine, CommandLineOptions& options, const DirectoryTest& isDirectory,
                      CommandLineRefusal* refusal)
{
   CommandLineRefusal unused;
   CommandLineRefusal& why = refusal != nullptr ? *refusal : unused;
   const std::u16string_view line = TrimSpace(commandLine);
   if (ParseSwitches(line, options, isDirectory, why)) {
      return true;
   }
   // An unattended run never waits for a person: a refused line that asks for silence in any
   // usual spelling has its usage text logged instead of shown.
   options.silent = options.silent || AsksForSilence(line);
   return false;
}

// Words are the line's arguments, so a "/s" inside a quoted value is none.
bool AsksForSilence(std::u16string_view line)
{
   size_t pos = 0;
   for (;;) {
      while (pos < line.size() && IsBlank(line[pos])) {
         pos++;
      }
      if (pos >= line.size()) {
         return false;
      }
      const size_t end = ArgumentEnd(line, pos);
      const std::u16string word = ArgumentText(line.substr(pos, end - pos));
      // The word's switches: its start, and each switch character written after a letter of a
      // switch before it ("/x/s", "/wait/s"), up to a /v.
      if (!word.empty() && IsSwitch(word[0])) {
         for (size_t i = 0; i + 1 < word.size(); i++) {
            const bool opens = i == 0 || (IsSwitch(word[i]) && (IsLetter(word[i - 1]) || word[i - 1] == u':'));
            if (opens && IsInstallerTextLetter(word[i + 1])) {
               break; // what follows /v is Windows Installer's text, not a switch of ours
            }
            if (opens && (Lower(word[i + 1]) == u's' || Lower(word[i + 1]) == u'q')) {
               return true;
            }
         }
      }
      pos = end;
   }
}

bool AsksForUsage(std::u16string_view commandLine)
{
   // Quotes as programs read their arguments; when that leaves one open (an older /v text ending
   // in `C:\Dir\"`), every quote counts.
   const auto scan = [commandLine](bool escapes, bool& asks) {
      bool quoted = false;
      size_t slashes = 0;
      size_t wordStart = 0;
      asks = false;
      for (size_t i = 0; i < commandLine.size(); i++) {
         const char16_t c = commandLine[i];
         if (c == u'"' && (!escapes || slashes % 2 == 0)) {
            quoted = !quoted;
         } else if (!quoted && c == u'/' && i + 1 < commandLine.size() && commandLine[i + 1] == u'?' &&
                    (wordStart == i || IsSwitch(commandLine[wordStart]))) {
            asks = true;
         }
         if (!quoted && IsBlank(c)) {
            wordStart = i + 1;
         }
         slashes = c == u'\\' ? slashes + 1 : 0;
      }
      return quoted;
   };
   bool asks = false;
   if (scan(true, asks)) {
      scan(false, asks);
   }
   return asks;
}
