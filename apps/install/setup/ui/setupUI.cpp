#include "apps/install/setup/ui/setupUI.h"

#include "apps/install/setup/ui/splashLanguage.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "resources/resource.h"

namespace
{

constexpr DWORD kMinimumDisplayMs = 3000;
constexpr int kDialogPlacePercent = 95;
constexpr DWORD kUserExit = 1602; // ERROR_INSTALL_USEREXIT
// The thread ends within the rest of its 3 s minimum; the bound only guards against a thread
// that no longer answers.
constexpr DWORD kStopWaitMs = 10000;

} // namespace

CSetupUI::CSetupUI(const SetupUiConfig& config)
    : CDlgProgress(config.module, CDlgProgress::DefaultDialogProc), config_(config)
{
}

CSetupUI::~CSetupUI()
{
   // The dialog goes before the splash that owns it.
   CDlgProgress::Destroy();
}

bool CSetupUI::ShowWithSplash(HWND owner, const char* title)
{
   const uint16_t language = ChooseSplashLanguage(config_.languages, GetSystemDefaultLangID());
   const auto path = SplashBitmapPath(config_.modulePath, language);
   if (path && Util_FileExists(path->c_str())) {
      Inst_LogMsg("[Info] Loading splash bitmap from file %s.", path->c_str());
      splashShownAt_ = GetTickCount();
      splash_.LoadFromFile(owner, config_.module, path->c_str(), title);
      splash_.Show();
   } else if (language != 0) {
      Inst_LogMsg("[Info] Loading splash bitmap from resource id %d.", language);
      splashShownAt_ = GetTickCount();
      splash_.LoadFromResource(owner, config_.module, language, title);
      splash_.Show();
   }
   HWND dialogOwner = language != 0 ? splash_.Window() : owner;
   return Create(dialogOwner, title, true, kDialogPlacePercent, kDialogPlacePercent, false);
}

bool CSetupUI::Destroy()
{
   if (splashShownAt_ != 0) {
      const DWORD shown = GetTickCount() - splashShownAt_;
      if (shown < kMinimumDisplayMs) {
         Sleep(kMinimumDisplayMs - shown);
      }
   }
   splash_.Hide();
   return CDlgProgress::Destroy();
}

void CSetupUI::DestroyNow()
{
   splash_.Hide();
   CDlgProgress::Destroy();
}

void CSetupUI::CheckCompletion()
{
   if (Position() >= Total()) {
      splash_.Hide();
      Hide();
   }
}

namespace
{

DWORD EndCancelled(CSetupUI& ui)
{
   messageOwner = nullptr;
   userCancelled = true;
   ui.DestroyNow();
   return kUserExit;
}

} // namespace

DWORD WINAPI SetupProgressDlgProc(void* parameter)
{
   const auto* params = static_cast<const SetupProgressParams*>(parameter);
   // The queue must exist before readyEvent is set, or the main thread's first posts are lost
   // even when no window could be made.
   MSG msg;
   PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);

   CSetupUI ui(*params->config);
   ui.ShowWithSplash(nullptr, params->windowTitle);
   messageOwner = ui.Owner();
   if (ui.SetItemText(IDC_BANNER, params->bannerText) == 1) {
      const DWORD result = EndCancelled(ui);
      SetEvent(readyEvent);
      return result;
   }
   ui.SetTotal(100);
   SetEvent(readyEvent);

   for (;;) {
      // A click on Cancel is looked at before each message and right after the one that carried
      // it, so the flag does not wait for the next message to arrive.
      if (ui.CancelRequested()) {
         return EndCancelled(ui);
      }
      if (stopRequested) {
         PostQuitMessage(0);
      }
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) {
         break;
      }
      if (msg.hwnd == nullptr && msg.message == kProgressIncrementMessage) {
         Inst_LogMsg("%s: Current progress %u.\n", "SetupProgressDlgProc", ui.Position());
         ui.Delta(static_cast<int32_t>(msg.lParam));
         ui.CheckCompletion();
         continue;
      }
      if (msg.hwnd == nullptr && msg.message == kDisableCancelMessage) {
         ui.DisableCancel();
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
   }
   messageOwner = nullptr;
   if (ui.Window() != nullptr) {
      ui.Destroy();
   }
   return 0;
}

bool StartProgressThread(const SetupProgressParams* params, HANDLE* thread, DWORD* threadId)
{
   *threadId = 0;
   *thread = CreateThread(nullptr, 0, SetupProgressDlgProc, const_cast<SetupProgressParams*>(params), 0, threadId);
   if (*thread == nullptr) {
      Inst_LogMsg("ERROR: Unable to create UI Thread Error = 0x%x", static_cast<unsigned>(GetLastError()));
      *threadId = 0;
      return false;
   }
   // Waiting only until the first input of the main thread would let the first posts reach a
   // thread without a queue (lost increments, a lost WM_QUIT); and a thread that ends without
   // setting the event must not hold the main thread forever.
   HANDLE handles[] = {readyEvent, *thread};
   for (;;) {
      const DWORD wait = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_ALLINPUT);
      if (wait == WAIT_OBJECT_0 + 2) {
         MSG msg;
         while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
         }
         continue;
      }
      if (wait == WAIT_OBJECT_0) {
         CloseHandle(readyEvent);
         readyEvent = nullptr;
         Inst_LogMsg("UI thread started successfully");
      }
      return true;
   }
}

void StopProgressThread(HANDLE* thread, DWORD* threadId)
{
   if (*thread == nullptr) {
      return;
   }
   PostThreadMessageW(*threadId, WM_QUIT, 0, 0);
   stopRequested = true;
   WaitForSingleObject(*thread, kStopWaitMs);
   CloseHandle(*thread);
   *thread = nullptr;
   *threadId = 0;
}
