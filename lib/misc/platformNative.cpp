// Debugger output and fatal exit for the native (Linux) build of the pure core.
#include "lib/misc/panic.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

void Platform_DebugOutput(const char* text)
{
   fputs(text, stderr);
}

void Platform_FatalExit()
{
#if defined(TX_FATAL_ABORTS)
   abort(); // the fuzz build: the fuzzer saves the input that broke an invariant
#endif
   _exit(255);
}
