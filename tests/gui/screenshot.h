// Screenshots of the windows under test, saved as PNG artifacts under the build tree so that a
// person can look at what the test saw.
#pragma once

#include <windows.h>

#include <string>

// The folder given to the test program (a Unix path), or empty: then nothing is saved.
void SetArtifactFolder(const std::string& unixFolder);

// The screen area of `window` (the whole screen when null), captured from the screen.
bool SaveScreenshot(HWND window, const std::string& name);

// A 24-bit bottom-up BMP file of w by h pixels painted by `pixel(x, y)` as 0xRRGGBB.
bool WriteBitmapFile(const std::string& path, int width, int height, unsigned (*pixel)(int x, int y));
