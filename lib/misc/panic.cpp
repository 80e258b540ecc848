// Fatal stop and debug output, formatted into the 1024-byte message of the layer.
#include "lib/misc/panic.h"

#include <cstdio>

namespace {
constexpr size_t kMessageBytes = 1024;
}

void DebugV(const char* fmt, va_list args)
{
   char text[kMessageBytes];
   vsnprintf(text, sizeof text, fmt, args);
   Platform_DebugOutput(text);
}

void Debug(const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   DebugV(fmt, args);
   va_end(args);
}

void Panic(const char* fmt, ...)
{
   va_list args;
   va_start(args, fmt);
   DebugV(fmt, args);
   va_end(args);
   Platform_FatalExit();
}
