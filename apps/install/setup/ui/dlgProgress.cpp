#include "apps/install/setup/ui/dlgProgress.h"

#include <commctrl.h>

#include <string>

#include "apps/install/setup/ui/messages.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"

namespace
{

constexpr size_t kCancelTextBytes = kMessageTextBytes;

using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

} // namespace

bool UiInitProgressClass()
{
   // comctl32 is not a KnownDLL: bound at run time from the system folder, never imported.
   static const auto init = SysLib_Find<InitCommonControlsExFn>(L"comctl32.dll", "InitCommonControlsEx");
   if (init == nullptr) {
      return false;
   }
   INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
   return init(&classes) != FALSE;
}

RECT UiWorkArea()
{
   RECT work{};
   if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
      work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
   }
   return work;
}

CDlgProgress::CDlgProgress(HMODULE module, DLGPROC procedure)
    : module_(module), procedure_(procedure != nullptr ? procedure : DefaultDialogProc)
{
}

CDlgProgress::~CDlgProgress()
{
   if (window_ != nullptr) {
      DestroyWindow(window_);
   }
}

CDlgProgress* CDlgProgress::FromWindow(HWND window)
{
   return reinterpret_cast<CDlgProgress*>(GetWindowLongPtrW(window, DWLP_USER));
}

void CDlgProgress::Remember(HWND window, LPARAM object)
{
   SetWindowLongPtrW(window, DWLP_USER, object);
}

INT_PTR CALLBACK CDlgProgress::DefaultDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
   switch (message) {
   case WM_INITDIALOG:
      Remember(window, lParam);
      return TRUE;
   case WM_COMMAND:
      if (LOWORD(wParam) == IDC_CANCEL) {
         if (CDlgProgress* self = FromWindow(window)) {
            self->cancelRequested_ = true;
         }
         return TRUE;
      }
      return FALSE;
   case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) != GetDlgItem(window, IDC_CANCEL)) {
         SetCursor(LoadCursorW(nullptr, IDC_WAIT));
         SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
         return TRUE;
      }
      return FALSE;
   default:
      return FALSE;
   }
}

bool CDlgProgress::Create(HWND owner, const char* title, bool place, int horizontalPercent, int verticalPercent,
                          bool pump)
{
   pumpMessages_ = pump;
   UiInitProgressClass();
   owner_ = owner;
   if (window_ == nullptr) {
      window_ = CreateDialogParamW(module_, MAKEINTRESOURCEW(IDD_PROGRESS), owner, procedure_,
                                   reinterpret_cast<LPARAM>(this));
      if (window_ == nullptr) {
         return false;
      }
      if (place) {
         Place(title, horizontalPercent, verticalPercent);
      }
   }
   PumpIfAsked();
   created_ = true;
   return true;
}

void CDlgProgress::Place(const char* title, int horizontalPercent, int verticalPercent)
{
   Win32U_SetWindowText(window_, title != nullptr ? title : "");
   RECT frame{};
   if (GetWindowRect(window_, &frame)) {
      // Percentages past 100 would put the window off the work area.
      const float h = static_cast<float>(horizontalPercent < 0 ? 0 : horizontalPercent > 100 ? 100 : horizontalPercent);
      const float v = static_cast<float>(verticalPercent < 0 ? 0 : verticalPercent > 100 ? 100 : verticalPercent);
      const RECT work = UiWorkArea();
      const int width = frame.right - frame.left;
      const int height = frame.bottom - frame.top;
      const int x = work.left + static_cast<int>(static_cast<float>(work.right - work.left - width) * h / 100.0f);
      const int y = work.top + static_cast<int>(static_cast<float>(work.bottom - work.top - height) * v / 100.0f);
      SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
   }
   char cancel[kCancelTextBytes] = "";
   LoadMessage(module_, MSG_CANCEL_BUTTON, cancel, sizeof cancel);
   Win32U_SetWindowText(GetDlgItem(window_, IDC_CANCEL), cancel);
   HWND bar = GetDlgItem(window_, IDC_PROGRESS);
   SetFocus(bar);
   ShowWindow(GetDlgItem(window_, IDC_CANCEL), SW_SHOW);
   SetForegroundWindow(window_);
   ShowWindow(bar, SW_SHOW);
   if (HANDLE icon = LoadImageW(module_, MAKEINTRESOURCEW(IDI_PRODUCT), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)) {
      SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
   }
   ShowWindow(window_, SW_SHOW);
}

bool CDlgProgress::Destroy()
{
   if (window_ != nullptr) {
      DestroyWindow(window_);
   }
   // The resource module is kept: a helper window closed and enabled again is created anew
   // from the same template.
   window_ = nullptr;
   owner_ = nullptr;
   created_ = false;
   cancelRequested_ = false;
   total_ = 0;
   position_ = 0;
   return true;
}

void CDlgProgress::SetTotal(uint32_t total)
{
   total_ = total;
   position_ = 0;
   HWND bar = GetDlgItem(window_, IDC_PROGRESS);
   SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
   SendMessageW(bar, PBM_SETPOS, 0, 0);
   PumpIfAsked();
}

void CDlgProgress::SetPosition(uint32_t position)
{
   SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETPOS, position, 0);
   position_ = position;
   PumpIfAsked();
}

void CDlgProgress::Delta(int32_t delta)
{
   SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_DELTAPOS, static_cast<WPARAM>(delta), 0);
   position_ += static_cast<uint32_t>(delta);
   PumpIfAsked();
}

void CDlgProgress::SetStep(int32_t step)
{
   SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
   PumpIfAsked();
}

void CDlgProgress::DisableCancel()
{
   EnableWindow(GetDlgItem(window_, IDC_CANCEL), FALSE);
   PumpIfAsked();
}

void CDlgProgress::Hide()
{
   ShowWindow(window_, SW_HIDE);
   PumpIfAsked();
}

int CDlgProgress::SetItemText(int control, const char* text)
{
   if (window_ == nullptr) {
      return -1;
   }
   if (cancelRequested_) {
      return 1;
   }
   Win32U_SetWindowText(GetDlgItem(window_, control), text);
   PumpIfAsked();
   return 0;
}

void CDlgProgress::PumpMessages()
{
   MSG msg;
   while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (window_ == nullptr || !IsDialogMessageW(window_, &msg)) {
         TranslateMessage(&msg);
         DispatchMessageW(&msg);
      }
   }
}

void CDlgProgress::PumpIfAsked()
{
   if (pumpMessages_) {
      PumpMessages();
   }
}
