// The launcher's own progress window: splash and progress dialog, run on a thread of their own
// while the main thread extracts and prepares. The main thread only posts thread messages
// (kProgressIncrementMessage, kDisableCancelMessage, WM_QUIT) and reads userCancelled.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "apps/install/setup/ui/dlgProgress.h"
#include "apps/install/setup/ui/splash.h"

// What the progress window takes from the run's configuration: the resource module (the
// launcher's image), the LANGUAGES list and the launcher's own path (the splash bitmap file
// lies beside it).
struct SetupUiConfig {
   HMODULE module = nullptr;
   std::string languages;
   std::string modulePath;
};

class CSetupUI : public CDlgProgress
{
 public:
   explicit CSetupUI(const SetupUiConfig& config);
   ~CSetupUI() override;

   // Splash first (when there is a bitmap for the chosen language), then the dialog at the
   // bottom right, owned by the splash window.
   bool ShowWithSplash(HWND owner, const char* title);
   // Keeps splash and dialog on screen for at least 3 s after the splash appeared.
   bool Destroy() override;
   // The cancel path: no minimum display time.
   void DestroyNow();
   // Hides splash and dialog once the bar has reached its total.
   void CheckCompletion();

   CSplash& Splash() { return splash_; }
   DWORD SplashShownAt() const { return splashShownAt_; }

 private:
   CSplash splash_;
   SetupUiConfig config_;
   DWORD splashShownAt_ = 0;
};

// The parameter block of the progress thread; it must outlive the thread.
struct SetupProgressParams {
   const char* windowTitle;
   const char* bannerText;
   const SetupUiConfig* config;
};

// The progress thread: 0 after WM_QUIT, 1602 when the user cancelled.
DWORD WINAPI SetupProgressDlgProc(void* params);

// Starts SetupProgressDlgProc and waits until its dialog is ready (or the thread has ended),
// handling the main thread's own messages meanwhile; readyEvent must exist. Logs and returns
// false when the thread cannot be created.
bool StartProgressThread(const SetupProgressParams* params, HANDLE* thread, DWORD* threadId);

// Asks the progress thread to end (WM_QUIT, stopRequested) and waits a bounded time for it, so
// that its windows are gone before another UI appears and before the process unwinds. Clears
// both values; does nothing when there is no thread.
void StopProgressThread(HANDLE* thread, DWORD* threadId);
