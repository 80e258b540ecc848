// The launcher's progress window on screen, run exactly as the main flow runs it: the thread,
// its splash and dialog, increments, Cancel and the stop; with a screenshot of each state.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "apps/install/setup/ui/extractCallbacks.h"
#include "apps/install/setup/ui/setupUI.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/unit/testSupport.h"

namespace
{

const char kTitle[] = "Tessix Product Installation";
const wchar_t kWideTitle[] = L"Tessix Product Installation";
const char kBanner[] = "Preparing 'Tessix Tools' for installation...";

unsigned SplashPixel(int x, int y)
{
   if (x < 6 || y < 6 || x >= 314 || y >= 174) {
      return 0x203060;
   }
   return ((x / 20 + y / 20) % 2 == 0) ? 0xF0F0F0 : 0x2080E0;
}

class ProgressWindow : public UiTest
{
 protected:
   ProgressWindow() : UiTest("gui", 1) {}
   void SetUp() override
   {
      UiTest::SetUp();
      userCancelled = false;
      stopRequested = false;
      messageOwner = nullptr;
      readyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      config_.module = GetModuleHandleW(nullptr);
      config_.languages = "1034 1036 1041";
      config_.modulePath = launcherDir_ / "setup.exe"; // no bitmap beside it unless a test puts one
   }
   void TearDown() override
   {
      StopProgressThread(&thread_, &threadId_);
      if (readyEvent != nullptr) {
         CloseHandle(readyEvent);
         readyEvent = nullptr;
      }
      userCancelled = false;
      stopRequested = false;
      UiTest::TearDown();
   }
   void Start()
   {
      params_ = {kTitle, kBanner, &config_};
      ASSERT_TRUE(StartProgressThread(&params_, &thread_, &threadId_));
      ASSERT_NE(threadId_, 0u);
      dialog_ = WaitForWindow(L"#32770", kWideTitle);
      ASSERT_NE(dialog_, nullptr);
   }
   int Position() const { return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0)); }
   DWORD WaitForThreadEnd()
   {
      EXPECT_EQ(WaitForSingleObject(thread_, 10000), WAIT_OBJECT_0);
      DWORD code = 0;
      GetExitCodeThread(thread_, &code);
      return code;
   }

   ScratchDir launcherDir_{"media"};
   SetupUiConfig config_;
   SetupProgressParams params_{};
   HANDLE thread_ = nullptr;
   DWORD threadId_ = 0;
   HWND dialog_ = nullptr;
};

} // namespace

TEST_F(ProgressWindow, AppearsBottomRightWithBannerAndCancel)
{
   Start();
   EXPECT_EQ(readyEvent, nullptr); // closed once the thread was ready
   EXPECT_NE(Log().find("UI thread started successfully"), std::string::npos);
   EXPECT_EQ(WindowText(GetDlgItem(dialog_, IDC_BANNER)), kBanner);
   EXPECT_EQ(WindowText(GetDlgItem(dialog_, IDC_CANCEL)), "Cancel");
   EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_CANCEL)));
   EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
   RECT frame{};
   GetWindowRect(dialog_, &frame);
   const RECT work = UiWorkArea();
   const int width = frame.right - frame.left;
   const int height = frame.bottom - frame.top;
   EXPECT_EQ(frame.left, work.left + static_cast<int>(static_cast<float>(work.right - work.left - width) * 0.95f));
   EXPECT_EQ(frame.top, work.top + static_cast<int>(static_cast<float>(work.bottom - work.top - height) * 0.95f));
   // No bitmap for the language: the splash exists but stays hidden, and owns the dialog.
   HWND splash = GetWindow(dialog_, GW_OWNER);
   ASSERT_NE(splash, nullptr);
   EXPECT_FALSE(IsWindowVisible(splash));
   EXPECT_EQ(messageOwner, splash);

   IncrementProgress(threadId_, "wWinMain");
   IncrementProgress(threadId_, "wWinMain");
   ASSERT_TRUE(WaitUntil([&] { return Position() == 10; }));
   Sleep(200);
   SaveScreenshot(dialog_, "progress-dialog");
   SaveScreenshot(nullptr, "progress-dialog-screen");
   const std::string log = Log();
   EXPECT_NE(log.find("wWinMain: Incrementing progress by 5."), std::string::npos);
   EXPECT_NE(log.find("SetupProgressDlgProc: Current progress 5."), std::string::npos);
}

TEST_F(ProgressWindow, CancelEndsTheThreadAndStopsExtraction)
{
   Start();
   ClickButton(dialog_, IDC_CANCEL);
   EXPECT_EQ(WaitForThreadEnd(), 1602u);
   EXPECT_TRUE(userCancelled);
   EXPECT_EQ(messageOwner, nullptr);
   EXPECT_FALSE(IsWindow(dialog_));
   // The next chunk of the extraction sees it.
   ProgressRecord record;
   record.threadId = threadId_;
   record.totalBytes = 1000;
   EXPECT_FALSE(ExtractProgressCallback(&record, 100));
   EXPECT_NE(Log().find("User cancelled installation"), std::string::npos);
}

TEST_F(ProgressWindow, ExtractionDrivesTheBarAndLocksCancelAtTheEnd)
{
   Start();
   ProgressRecord record;
   record.threadId = threadId_;
   record.totalBytes = 1000;
   EXPECT_TRUE(ExtractProgressCallback(&record, 300));
   ASSERT_TRUE(WaitUntil([&] { return Position() == 30; }));
   EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, IDC_CANCEL)));
   EXPECT_TRUE(ExtractProgressCallback(&record, 610)); // 91 %
   ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(dialog_, IDC_CANCEL)); }));
   EXPECT_EQ(Position(), 91);
   ExtractFileCallback(&record, "Tessix Tools.msi", 36544512);
   EXPECT_NE(Log().find("  --> Tessix Tools.msi [36544512]"), std::string::npos);
   SaveScreenshot(dialog_, "progress-cancel-disabled");
}

TEST_F(ProgressWindow, HiddenAtFullAndKeptForThreeSeconds)
{
   const DWORD started = GetTickCount();
   Start();
   for (int i = 0; i < 25; i++) { // 125: past the total
      IncrementProgress(threadId_, "wWinMain");
   }
   ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog_); }));
   EXPECT_TRUE(IsWindow(dialog_)); // hidden, not destroyed
   StopProgressThread(&thread_, &threadId_);
   EXPECT_EQ(thread_, nullptr);
   EXPECT_TRUE(stopRequested);
   // The windows lived at least 3 s after the splash was set up (a lower bound, not a speed).
   EXPECT_GE(GetTickCount() - started, 3000u);
   EXPECT_FALSE(IsWindow(dialog_));
   EXPECT_EQ(messageOwner, nullptr);
   EXPECT_FALSE(userCancelled);
}

TEST_F(ProgressWindow, SplashBitmapBesideTheLauncherIsShownCentred)
{
   config_.languages = ""; // English whatever the system's language
   ASSERT_TRUE(WriteBitmapFile(launcherDir_ / "1033.bmp", 320, 180, SplashPixel));
   Start();
   HWND splash = GetWindow(dialog_, GW_OWNER);
   ASSERT_NE(splash, nullptr);
   ASSERT_TRUE(IsWindowVisible(splash));
   EXPECT_EQ(messageOwner, splash);
   EXPECT_TRUE(GetWindowLongPtrW(splash, GWL_EXSTYLE) & WS_EX_TOPMOST);
   // The static takes the bitmap's size; the centring uses the client area inside the border.
   RECT frame{};
   GetWindowRect(splash, &frame);
   EXPECT_EQ(frame.right - frame.left, 320);
   EXPECT_EQ(frame.bottom - frame.top, 180);
   RECT client{};
   GetClientRect(splash, &client);
   const RECT work = UiWorkArea();
   EXPECT_EQ(frame.left, work.left + (work.right - work.left) / 2 - client.right / 2);
   EXPECT_EQ(frame.top, work.top + (work.bottom - work.top) / 2 - client.bottom / 2);
   const std::string log = Log();
   EXPECT_NE(log.find("[Info] Loading splash bitmap from file " + (launcherDir_ / "1033.bmp") + "."),
             std::string::npos);
   EXPECT_NE(log.find("[Info] Loaded splash bitmap from file "), std::string::npos);
   Sleep(300);
   SaveScreenshot(nullptr, "splash-and-progress");
   // Completion hides the splash by an empty region; the window lives on as owner.
   for (int i = 0; i < 20; i++) {
      IncrementProgress(threadId_, "wWinMain");
   }
   ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog_); }));
   ASSERT_TRUE(WaitUntil([&] {
      HRGN region = CreateRectRgn(0, 0, 0, 0);
      const int kind = GetWindowRgn(splash, region);
      DeleteObject(region);
      return kind == NULLREGION;
   }));
   EXPECT_TRUE(IsWindow(splash));
}

TEST_F(ProgressWindow, SplashFromAResourceBitmap)
{
   // Directly on the splash: a resource named after the language, as txpack places it.
   CSplash splash;
   splash.LoadFromResource(nullptr, GetModuleHandleW(nullptr), 1041, kTitle);
   ASSERT_TRUE(splash.BitmapLoaded());
   splash.Show();
   EXPECT_TRUE(splash.Visible());
   EXPECT_TRUE(IsWindowVisible(splash.Window()));
   RECT frame{};
   GetWindowRect(splash.Window(), &frame);
   EXPECT_EQ(frame.right - frame.left, 200);
   Sleep(200);
   SaveScreenshot(splash.Window(), "splash-resource");
   splash.Hide();
   EXPECT_FALSE(splash.Visible());
   EXPECT_NE(Log().find("[Info] Loaded splash bitmap from resource 1041."), std::string::npos);

   // Neither the language's bitmap nor the English one: a window, never shown.
   CSplash none;
   none.LoadFromResource(nullptr, GetModuleHandleW(nullptr), 1036, kTitle);
   EXPECT_FALSE(none.BitmapLoaded());
   none.Show();
   EXPECT_NE(none.Window(), nullptr);
   EXPECT_FALSE(IsWindowVisible(none.Window()));
}
