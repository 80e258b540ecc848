// Debugger output and the fatal exit on Windows.
#include <windows.h>

#include "lib/misc/panic.h"

void Platform_DebugOutput(const char* text)
{
   OutputDebugStringA(text);
}

void Platform_FatalExit()
{
   ExitProcess(static_cast<UINT>(-1));
}
