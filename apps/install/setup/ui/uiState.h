// Values shared by the main thread and the progress thread. Each is written by one thread and
// read by the other, without locks (a byte flag or a window handle is written whole).
#pragma once

#include <windows.h>

extern HANDLE readyEvent;           // set by the progress thread once its dialog exists
extern volatile bool userCancelled; // set by the progress thread when the user presses Cancel
extern volatile bool stopRequested; // set by the main thread when it ends the progress thread
extern HWND volatile messageOwner;  // owner of the main flow's message boxes (while visible)
extern const bool* silentFlag;      // the run's silent flag; null counts as not silent
