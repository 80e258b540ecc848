// Which splash bitmap the progress thread shows: a language identifier chosen from the
// configured LANGUAGES list and the system's language, and the file beside the launcher named
// after it. Pure: the caller passes what it read from the system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

uint16_t ChooseSplashLanguage(std::string_view languages, uint16_t systemLanguage);

// "<launcher folder>\<language>.bmp"; nothing when the launcher's path has no back-slash.
std::optional<std::string> SplashBitmapPath(std::string_view modulePath, uint16_t language);

// A catalogue text with its one "%s" replaced by `insert` ("%%" stands for "%"), cut on a whole
// UTF-8 character to fit `maxBytes` bytes with the terminator. Catalogue texts are translations:
// they are never handed to printf as a format.
std::string FormatMessageText(std::string_view pattern, std::string_view insert, size_t maxBytes);
