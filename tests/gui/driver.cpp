#include "tests/gui/driver.h"

#include <commctrl.h>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/gui/screenshot.h"

namespace
{

constexpr int kPolls = 200;
constexpr DWORD kPollMs = 50;
constexpr DWORD kDialogPollMs = 10;     // short-lived windows of another process are caught too
constexpr int kMessageTextId = 0xFFFF; // the text control of a classic message box

} // namespace

HWND WaitForWindow(const wchar_t* className, const wchar_t* title)
{
   for (int i = 0; i < kPolls; i++) {
      HWND window = FindWindowW(className, title);
      if (window != nullptr && IsWindowVisible(window)) {
         return window;
      }
      Sleep(kPollMs);
   }
   return nullptr;
}

HWND WaitForDialog(const wchar_t* title, int controlId, DWORD timeoutMs)
{
   struct Search {
      const wchar_t* title;
      int controlId;
      HWND found;
   };
   const DWORD start = GetTickCount();
   do {
      Search search{title, controlId, nullptr};
      EnumWindows(
          [](HWND window, LPARAM param) -> BOOL {
             auto* s = reinterpret_cast<Search*>(param);
             wchar_t className[16] = L"";
             wchar_t text[512] = L"";
             GetClassNameW(window, className, 16);
             GetWindowTextW(window, text, 512);
             if (wcscmp(className, L"#32770") == 0 && wcscmp(text, s->title) == 0 && IsWindowVisible(window) &&
                 GetDlgItem(window, s->controlId) != nullptr) {
                s->found = window;
                return FALSE;
             }
             return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) {
         return search.found;
      }
      Sleep(kDialogPollMs);
   } while (GetTickCount() - start < timeoutMs);
   return nullptr;
}

HWND WaitForMessageBox(const wchar_t* title, DWORD timeoutMs)
{
   return WaitForDialog(title, kMessageTextId, timeoutMs);
}

bool WaitUntil(const std::function<bool()>& condition)
{
   for (int i = 0; i < kPolls; i++) {
      if (condition()) {
         return true;
      }
      Sleep(kPollMs);
   }
   return condition();
}

std::string WindowText(HWND window)
{
   wchar_t text[2048] = L"";
   GetWindowTextW(window, text, 2048);
   return Win32U_Utf8(text);
}

BoxPresser::BoxPresser(const wchar_t* title, int button, std::string shot, bool taskDialog)
    : thread_([this, title, button, shot, taskDialog] {
         HWND box = taskDialog ? WaitForWindow(L"#32770", title) : WaitForMessageBox(title);
         if (box == nullptr) {
            return;
         }
         Sleep(300); // let it paint before the picture is taken
         seen_.box = box;
         seen_.owner = GetWindow(box, GW_OWNER);
         seen_.text = WindowText(GetDlgItem(box, kMessageTextId));
         SaveScreenshot(box, shot);
         if (taskDialog) {
            PostMessageW(box, TDM_CLICK_BUTTON, static_cast<WPARAM>(button), 0);
         } else {
            ClickButton(box, button);
         }
      })
{
}

BoxPresser::~BoxPresser()
{
   if (thread_.joinable()) {
      thread_.join();
   }
}

const SeenBox& BoxPresser::Join()
{
   if (thread_.joinable()) {
      thread_.join();
   }
   return seen_;
}

void ClickButton(HWND dialog, int id)
{
   PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

UiTest::UiTest(const char* tag, size_t artifactArg)
    : logDir_(tag), override_(logDir_.path() + "\\"), artifactArg_(artifactArg)
{
}

void UiTest::SetUp()
{
   if (artifactArg_ != 0) {
      SetArtifactFolder(TestArg(artifactArg_));
   }
   Inst_ResetLoggingForTest();
   Inst_SetupLogging("test", "t", nullptr, nullptr);
}

void UiTest::TearDown()
{
   Inst_ResetLoggingForTest();
}

std::string UiTest::Log() const
{
   return ReadTextFile(logDir_ / "txinst.log");
}
