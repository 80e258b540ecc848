// The fatal stop and debugger output of the portability layer. The fatal stop is for broken
// internal invariants only; text from outside the program is never a reason to stop.
#pragma once

#include <cstdarg>

#if defined(__GNUC__)
#define TX_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define TX_PRINTF(fmtIndex, firstArg)
#endif

// At most 1024 bytes of the formatted text reach the debugger output; then the process exits
// with status -1.
[[noreturn]] void Panic(const char* fmt, ...) TX_PRINTF(1, 2);

// At most 1024 bytes of the formatted text reach the debugger output.
void Debug(const char* fmt, ...) TX_PRINTF(1, 2);
void DebugV(const char* fmt, va_list args);

// Platform sinks, one implementation per platform.
void Platform_DebugOutput(const char* text);
[[noreturn]] void Platform_FatalExit();

#define VERIFY(cond) ((cond) ? (void)0 : Panic("VERIFY %s:%d \n", __FILE__, __LINE__))
#define NOT_IMPLEMENTED() Panic("NOT_IMPLEMENTED %s:%d \n", __FILE__, __LINE__)
#define NOT_REACHED() Panic("NOT_REACHED %s:%d \n", __FILE__, __LINE__)
