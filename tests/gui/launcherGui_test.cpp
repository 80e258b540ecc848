// The whole launcher on screen: packed launchers run as their own processes without /s, while a
// test-side user finds their windows, reads them, takes a screenshot of each and presses their
// buttons. Each run is judged by its real exit code, its log and what is left on the disk.
//   gui_launcher_test MSI_FIXTURES SETUP_EXE GUI_LAUNCHERS SESSION_LAUNCHERS ARTIFACTS
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <thread>

#include "apps/install/setup/ui/messages.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"
#include "tests/e2e/runSupport.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

constexpr wchar_t kTitle[] = L"Tessix Product Installation";
constexpr char kNarrowTitle[] = "Tessix Product Installation";
// With a person at the screen, without the VC runtime stage; the package's own UI off.
constexpr char kWithAPerson[] = "/n /v\"/qn\"";

unsigned SplashPixel(int x, int y)
{
   return ((x / 40 + y / 40) % 2 == 0) ? 0x1E5AA8 : 0xF2F2F2;
}

std::string ReplaceFirst(std::string text, const std::string& what, const std::string& with)
{
   const size_t at = text.find(what);
   return at == std::string::npos ? text : text.replace(at, what.size(), with);
}

bool FolderExists(const std::string& path)
{
   const DWORD attributes = Win32U_GetFileAttributes(path.c_str());
   return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What the test-side user saw of one box before pressing its button.
struct Seen {
   HWND window = nullptr;
   HWND owner = nullptr;
   std::string text;
};

// Waits for the next message box, takes its picture and presses `button`; then waits until the
// box is gone, so that a later call finds the next one.
Seen Answer(int button, const std::string& shot)
{
   Seen seen;
   seen.window = WaitForMessageBox(kTitle);
   if (seen.window == nullptr) {
      return seen;
   }
   seen.owner = GetWindow(seen.window, GW_OWNER);
   seen.text = WindowText(GetDlgItem(seen.window, 0xFFFF));
   Sleep(300); // painted before the picture
   SaveScreenshot(seen.window, shot);
   ClickButton(seen.window, button);
   WaitUntil([&] { return !IsWindow(seen.window); });
   return seen;
}

// The user's side of a run on a thread of its own; its findings are checked once it has ended
// (the assertions stay on the test's thread).
class User
{
 public:
   explicit User(std::function<void()> act) : thread_(std::move(act)) {}
   ~User() { Join(); }
   void Join()
   {
      if (thread_.joinable()) {
         thread_.join();
      }
   }

 private:
   std::thread thread_;
};

class LauncherOnScreen : public InstallerTest
{
 protected:
   void SetUp() override
   {
      InstallerTest::SetUp();
      SetArtifactFolder(TestArg(5));
   }
   static std::string Launcher(const std::string& name) { return WinePath(TestArg(3)) + "\\" + name + "\\setup.exe"; }
   static std::string SessionLauncher(const std::string& name)
   {
      return WinePath(TestArg(4)) + "\\" + name + "\\setup.exe";
   }
   LauncherRun Run(const std::string& image, const std::string& arguments)
   {
      LauncherOptions options;
      options.image = image;
      options.arguments = arguments;
      options.timeoutMs = 240000;
      ScratchDir temp("guirun");
      return RunLauncher(options, temp);
   }
   std::string Message(UINT id) const { return LoadMessageAlloc(resources_, id).value_or("(missing)"); }
};

} // namespace

TEST_F(LauncherOnScreen, SplashAndProgressStayUpWhileTheLauncherAsks)
{
   // A bitmap named after the language beside the launcher; the disk-space question holds the
   // run while the windows are looked at.
   ScratchDir media("media");
   const std::string image = media / "setup.exe";
   ASSERT_TRUE(Win32U_CopyFile(Launcher("space").c_str(), image.c_str(), FALSE));
   ASSERT_TRUE(WriteBitmapFile(media / "1033.bmp", 360, 200, SplashPixel));

   HWND dialog = nullptr;
   HWND splash = nullptr;
   bool splashVisible = false;
   RECT splashFrame{};
   std::string banner;
   std::string cancelText;
   Seen box;
   User user([&] {
      dialog = WaitForDialog(kTitle, IDC_PROGRESS);
      if (dialog == nullptr) {
         return;
      }
      splash = GetWindow(dialog, GW_OWNER);
      WaitForMessageBox(kTitle); // the texts are set by now
      banner = WindowText(GetDlgItem(dialog, IDC_BANNER));
      cancelText = WindowText(GetDlgItem(dialog, IDC_CANCEL));
      splashVisible = splash != nullptr && IsWindowVisible(splash);
      GetWindowRect(splash, &splashFrame);
      Sleep(300);
      SaveScreenshot(nullptr, "launcher-splash-progress-question");
      SaveScreenshot(dialog, "launcher-progress-dialog");
      box = Answer(IDCANCEL, "launcher-question-over-splash");
   });
   const LauncherRun run = Run(image, kWithAPerson);
   user.Join();

   ASSERT_NE(dialog, nullptr) << "no progress window\n" << run.log;
   EXPECT_EQ(banner, "Preparing 'Tessix Test Tools' for installation...");
   EXPECT_EQ(cancelText, "Cancel");
   ASSERT_NE(splash, nullptr);
   EXPECT_TRUE(splashVisible);
   EXPECT_EQ(splashFrame.right - splashFrame.left, 360);
   EXPECT_EQ(splashFrame.bottom - splashFrame.top, 200);
   EXPECT_EQ(box.owner, splash) << "the question is owned by the visible splash";
   EXPECT_EQ(run.exitCode, 1602u) << run.log;
   EXPECT_TRUE(HasLine(run.log, "[Info] Loading splash bitmap from file " + (media / "1033.bmp") + "."));
   EXPECT_TRUE(HasLine(run.log, "UI thread started successfully"));
}

TEST_F(LauncherOnScreen, DiskSpaceQuestionRetryThenCancel)
{
   Seen first, second;
   User user([&] {
      first = Answer(IDRETRY, "launcher-disk-space-question");
      second = Answer(IDCANCEL, "launcher-disk-space-question-again");
   });
   const LauncherRun run = Run(Launcher("space"), kWithAPerson);
   user.Join();

   const std::string megabytes = Between(run.log, "Total space required to unpack is ", " MB");
   ASSERT_FALSE(megabytes.empty()) << run.log;
   EXPECT_EQ(first.text, ReplaceFirst(Message(49), "%d", megabytes));
   EXPECT_EQ(second.text, first.text);
   EXPECT_EQ(run.exitCode, 1602u) << run.log;
   ExpectLinesInOrder(run.log, {"ERROR: Failed to find drive with enough space.",
                                "User chose to retry to find enough disk space.",
                                "ERROR: Failed to find drive with enough space.", "Install cancelled by the user.",
                                "Setup exit code is: 1602"});
   EXPECT_FALSE(HasLine(run.log, "Extracting setup files"));
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
}

TEST_F(LauncherOnScreen, CancelDuringExtraction)
{
   // 512 MiB to extract: Cancel is pressed once the bar has moved, well before 91 %, where it
   // is switched off. The partly extracted folder goes, also when only unpacking was asked for.
   for (const char* extra : {"", " /x"}) {
      SCOPED_TRACE(extra);
      int position = -1;
      bool pressed = false;
      User user([&] {
         HWND dialog = WaitForDialog(kTitle, IDC_PROGRESS);
         if (dialog == nullptr) {
            return;
         }
         WaitUntil([&] {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000,
                                    &result)) {
               position = static_cast<int>(result);
            }
            return position > 0 || !IsWindow(dialog);
         });
         SaveScreenshot(dialog, *extra == 0 ? "launcher-extracting" : "launcher-unpacking");
         pressed = IsWindowEnabled(GetDlgItem(dialog, IDC_CANCEL)) != FALSE;
         ClickButton(dialog, IDC_CANCEL);
      });
      const LauncherRun run = Run(Launcher("big"), std::string(kWithAPerson) + extra);
      user.Join();

      EXPECT_GT(position, 0);
      EXPECT_LT(position, 91);
      EXPECT_TRUE(pressed) << "Cancel was switched off before it was pressed";
      EXPECT_EQ(run.exitCode, 1602u) << run.log;
      const std::string folder = Between(run.log, "Selecting \"", "\" for unpacking temp files");
      ASSERT_FALSE(folder.empty()) << run.log;
      EXPECT_FALSE(FolderExists(folder)) << folder;
      ExpectLinesInOrder(run.log, {"User cancelled installation", "User cancelled bootstrapper.",
                                   "Cleaning up temp dir", "Setup exit code is: 1602"});
      EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
   }
}

TEST_F(LauncherOnScreen, DecliningTheEngineUpgradeCancelsSetup)
{
   // The package wants a newer Windows Installer: No to the upgrade question, then message 24.
   Seen question, cancelled;
   User user([&] {
      question = Answer(IDNO, "launcher-engine-question");
      cancelled = Answer(IDOK, "launcher-setup-canceled");
   });
   const LauncherRun run = Run(Launcher("engine"), kWithAPerson);
   user.Join();

   EXPECT_EQ(question.text, Message(33));
   EXPECT_EQ(cancelled.text, Message(24));
   EXPECT_EQ(run.exitCode, 1602u) << run.log;
   EXPECT_TRUE(HasLine(run.log, "Upgrade of Windows Installer is requested"));
   EXPECT_TRUE(HasLine(run.log, std::string("DisplayMessageBox: \"") + kNarrowTitle + "\" - \"" + Message(24) + "\""));
   EXPECT_FALSE(HasLine(run.log, "InstallProduct()"));
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
}

TEST_F(LauncherOnScreen, OlderProductRemovedThroughItsWindow)
{
   // The standard style removes an older product first, after message 38: Cancel leaves it in
   // place; OK removes it through the launcher's removal window (the package's own UI at the
   // basic level, so the window is used) and installs the new one.
   const std::string question = ReplaceFirst(Message(38), "%s", "Tessix Old Tools");
   struct Case {
      int button;
      DWORD exitCode;
      int oldState;
      int newState;
      const char* shot;
   } cases[] = {
       {IDCANCEL, 1602, INSTALLSTATE_DEFAULT, INSTALLSTATE_UNKNOWN, "launcher-older-product-cancel"},
       {IDOK, 0, INSTALLSTATE_UNKNOWN, INSTALLSTATE_DEFAULT, "launcher-older-product-ok"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.shot);
      ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
      Seen box;
      HWND removal = nullptr;
      std::string banner;
      bool cancelEnabled = true;
      User user([&] {
         box = Answer(c.button, c.shot);
         if (c.button != IDOK) {
            return;
         }
         removal = WaitForDialog(L"Tessix Test Tools", IDC_PROGRESS, 30000);
         if (removal != nullptr) {
            // Shown as it is created; its banner and Cancel are set up right after.
            WaitUntil([&] {
               banner = WindowText(GetDlgItem(removal, IDC_BANNER));
               cancelEnabled = IsWindowEnabled(GetDlgItem(removal, IDC_CANCEL)) != FALSE;
               return (!banner.empty() && !cancelEnabled) || !IsWindow(removal);
            });
            SaveScreenshot(removal, "launcher-removal-window");
         }
      });
      const LauncherRun run = Run(SessionLauncher("standard"), "/n /v\"/qb\"");
      user.Join();

      EXPECT_EQ(box.text, question);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.log;
      EXPECT_EQ(ProductState(kOldCode), c.oldState);
      EXPECT_EQ(ProductState(kToolsCode), c.newState);
      if (c.button == IDOK) {
         EXPECT_NE(removal, nullptr) << "the removal window was not seen";
         EXPECT_EQ(banner, "Uninstalling Tessix Old Tools...");
         EXPECT_FALSE(cancelEnabled) << "a removal cannot be cancelled from its window";
         EXPECT_TRUE(HasLine(run.log, "Uninstall successful"));
      } else {
         EXPECT_FALSE(HasLine(run.log, "Uninstalling with props"));
      }
      RemoveFixtureProducts();
   }
}
