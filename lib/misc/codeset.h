// Conversion of text in named code sets. UTF-8 and UTF-16LE are handled by the program itself;
// other code sets go through the ICU that Windows ships (icu.dll, bound at run time) or, where
// it is absent, through the system converter for "windows-N" code pages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// "windows-%u" with the system's ANSI code page.
std::string CodeSet_GetCurrentCodeSet();

// Bytes in `codeSet` to UTF-8, and back. std::nullopt for an unknown code set or bytes that are
// not valid in it.
std::optional<std::string> CodeSet_ToUtf8(std::string_view codeSet, std::string_view bytes);
std::optional<std::string> CodeSet_FromUtf8(std::string_view codeSet, std::string_view utf8);
