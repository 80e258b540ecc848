// The version report (/pv): what a launcher carries, printed on the console of the program
// that started it, without installing anything.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/setupContext.h"

// Reads the runtime package's version resource and prints its product name, version and path
// on standard output. Returns 0 or the Windows error that stopped the read.
DWORD GetVCRedistVer(const std::string& packagePath);

// Prints the report on the parent's console; ctx.exitCode becomes the console error or the
// result of GetVCRedistVer for `packagePath` (a full path).
void RunVersionReport(SetupContext& ctx, const std::string& packagePath);
