// UTF-8 <-> UTF-16 conversion for the whole program. Pure code: no system calls, so the same
// routines run natively under the fuzzers and inside setup.exe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Encoding numbers used across the portability layer.
enum class Encoding : int { Utf16Le = 1, Utf8 = 7 };

// Strict conversions: overlong forms, encoded surrogates, code points past U+10FFFF and unpaired
// surrogates are refused (std::nullopt), never replaced.
std::optional<std::u16string> Unicode_Utf8ToUtf16(std::string_view utf8);
std::optional<std::string> Unicode_Utf16ToUtf8(std::u16string_view utf16);

bool Unicode_IsValidUtf8(std::string_view utf8);

// Length of the longest prefix of `utf8` that is at most `maxBytes` long and does not end inside
// a multi-byte character.
size_t Unicode_Utf8CutPoint(std::string_view utf8, size_t maxBytes);

// Length of `utf8` without a multi-byte character left incomplete at its end (as a text cut
// short by a bounded formatter leaves it).
size_t Unicode_Utf8TrimIncomplete(std::string_view utf8);

// A printable copy of arbitrary bytes for diagnostics: printable ASCII stays, everything else
// (and the back-slash) becomes \xNN.
std::string Unicode_EscapeBuffer(const void* data, size_t size);
