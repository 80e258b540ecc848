// Tells the user why a Windows Installer call failed, in the installer's own words when it has
// them.
#pragma once

#include <windows.h>

#include <cstdint>

// Nothing is shown for results the installer has already reported or that are no failure;
// otherwise the text msimsg.dll holds for the code, or message 32 with the number. Returns the
// answer of the box (0 when none was shown).
int ShowInstallerError(HMODULE resources, HWND owner, const char* caption, uint32_t code, uint32_t style);
