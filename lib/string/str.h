// Bounded formatting. Every formatted text of the program goes through these, so a cut never
// splits a UTF-8 character and a buffer that must hold its text is checked.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#include "lib/misc/panic.h"

// Formats into `buf` (size >= 1). Returns the length written, or -1 when the text did not fit;
// then `buf` holds the longest prefix that fits and ends on a whole UTF-8 character.
int Str_Vsnprintf(char* buf, size_t size, const char* fmt, va_list args);
int Str_Snprintf(char* buf, size_t size, const char* fmt, ...) TX_PRINTF(3, 4);

// Formatting that must fit: a text too long for its buffer is a program fault and takes the
// fatal stop with "<file>:<line> Buffer too small".
char* Str_SprintfAt(const char* file, int line, char* buf, size_t size, const char* fmt, ...)
   TX_PRINTF(5, 6);
#define Str_Sprintf(buf, size, ...) Str_SprintfAt(__FILE__, __LINE__, (buf), (size), __VA_ARGS__)

// Formatting into an owned string of any length.
std::string Str_Format(const char* fmt, ...) TX_PRINTF(1, 2);
std::string Str_VFormat(const char* fmt, va_list args);

// Case-insensitive ASCII comparison and search, as the configuration and GUID rules need.
bool Str_EqualsNoCase(const std::string& a, const std::string& b);
