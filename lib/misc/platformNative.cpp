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
   _exit(255);
}
