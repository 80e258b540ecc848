// The small progress dialog (template 1101): banner, action line, bar and Cancel. The launcher's
// own progress window, the removal window and the helper window are all one of these.
#pragma once

#include <windows.h>

#include <cstdint>

// Thread messages the main thread posts to the progress thread.
inline constexpr UINT kProgressIncrementMessage = WM_APP + 10; // lParam: signed increment
inline constexpr UINT kDisableCancelMessage = WM_APP + 20;

class CDlgProgress
{
 public:
   CDlgProgress(HMODULE module, DLGPROC procedure = nullptr);
   virtual ~CDlgProgress();
   CDlgProgress(const CDlgProgress&) = delete;
   CDlgProgress& operator=(const CDlgProgress&) = delete;

   // With `place`, the window gets its title, the Cancel text (message 14), its icon and a
   // position at the given percentages of the free room in the work area (50,50 centres it,
   // 95,95 puts it near the bottom-right corner), and is shown. A second create on an object
   // that has a window only pumps.
   virtual bool Create(HWND owner, const char* title, bool place, int horizontalPercent, int verticalPercent,
                       bool pump);
   virtual bool Destroy();

   void SetTotal(uint32_t total);
   void SetPosition(uint32_t position);
   void Delta(int32_t delta);
   void SetStep(int32_t step);
   void DisableCancel();
   void Hide();
   // -1 without a window, 1 (nothing set) once Cancel was pressed, else 0.
   int SetItemText(int control, const char* text);
   // Empties the calling thread's queue: the window repaints and a click on Cancel is seen.
   void PumpMessages();

   HWND Window() const { return window_; }
   HWND Owner() const { return owner_; }
   HMODULE Module() const { return module_; }
   bool Created() const { return created_; }
   bool CancelRequested() const { return cancelRequested_; }
   uint32_t Total() const { return total_; }
   uint32_t Position() const { return position_; }

   // Remembers the object on WM_INITDIALOG, turns a click on Cancel into cancelRequested and
   // shows the wait cursor everywhere but over Cancel.
   static INT_PTR CALLBACK DefaultDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
   // The object a dialog procedure remembered for its window.
   static CDlgProgress* FromWindow(HWND window);
   static void Remember(HWND window, LPARAM object);
   void PumpIfAsked();

 private:
   void Place(const char* title, int horizontalPercent, int verticalPercent);

   HMODULE module_;
   HWND window_ = nullptr;
   HWND owner_ = nullptr;
   bool created_ = false;
   volatile bool cancelRequested_ = false;
   uint32_t total_ = 0;
   uint32_t position_ = 0;
   bool pumpMessages_ = true;
   DLGPROC procedure_;
};

// The work area of the primary monitor, or the whole screen when it cannot be read.
RECT UiWorkArea();

// Loads comctl32 from the system folder and registers the progress bar class (once).
bool UiInitProgressClass();
