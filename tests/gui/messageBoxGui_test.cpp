// The main flow's questions on screen, answered by a test-side user: the disk-space question
// (message 49), the removal notice (message 38) and a Yes/No task dialog with a link; the owner
// window is used only while it is visible.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/splashLanguage.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/unit/testSupport.h"

namespace
{

const char kTitle[] = "Tessix Product Installation";
const wchar_t kWideTitle[] = L"Tessix Product Installation";
constexpr UINT kPreviousVersionMessage = 38;
constexpr UINT kRestartForRuntimeMessage = 72;

class OnScreenQuestions : public UiTest
{
 protected:
   OnScreenQuestions() : UiTest("box", 1) {}
   void TearDown() override
   {
      if (owner_ != nullptr) {
         DestroyWindow(owner_);
      }
      UiTest::TearDown();
   }
   HWND MakeOwner(bool visible)
   {
      owner_ = Win32U_CreateWindowEx(0, "STATIC", "owner", WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 50, 50, nullptr,
                                     nullptr, nullptr, nullptr);
      return owner_;
   }

   HMODULE module_ = GetModuleHandleW(nullptr);
   HWND owner_ = nullptr;
};

} // namespace

TEST_F(OnScreenQuestions, DiskSpaceQuestionRetryThenCancel)
{
   HWND owner = MakeOwner(true);
   {
      BoxPresser presser(kWideTitle, IDRETRY, "message-49-disk-space");
      EXPECT_EQ(ShowMessageWithNumber(module_, owner, kTitle, MSG_NOT_ENOUGH_SPACE, 86, 0x40015), IDRETRY);
      const SeenBox& seen = presser.Join();
      EXPECT_EQ(seen.owner, owner); // visible: it owns the box
      EXPECT_NE(seen.text.find("one drive must have at least 86 MB of free space."), std::string::npos) << seen.text;
      ASSERT_NE(seen.box, nullptr);
   }
   BoxPresser presser(kWideTitle, IDCANCEL, "message-49-disk-space-cancel");
   EXPECT_EQ(ShowMessageWithNumber(module_, owner, kTitle, MSG_NOT_ENOUGH_SPACE, 86, 0x40015), IDCANCEL);
}

TEST_F(OnScreenQuestions, PreviousVersionNoticeOkCancelWithAHiddenOwner)
{
   HWND hidden = MakeOwner(false);
   const std::string pattern = LoadMessageAlloc(module_, kPreviousVersionMessage).value_or("");
   const std::string text = FormatMessageText(pattern, "Tessix Tools 12", 1024);
   for (int press : {IDOK, IDCANCEL}) {
      BoxPresser presser(kWideTitle, press, press == IDOK ? "message-38-ok" : "message-38-cancel");
      EXPECT_EQ(DisplayMessageBox(hidden, text.c_str(), kTitle, MB_OKCANCEL | MB_ICONWARNING), press);
      const SeenBox& seen = presser.Join();
      EXPECT_EQ(seen.owner, nullptr); // a hidden owner is not used
      EXPECT_EQ(seen.text, "A previous version of Tessix Tools 12 is already installed. Setup will uninstall the "
                           "previous version before proceeding with this installation.");
   }
}

TEST_F(OnScreenQuestions, TaskDialogYesNoWithALink)
{
   HWND owner = MakeOwner(true);
   for (int press : {IDYES, IDNO}) {
      BoxPresser presser(kWideTitle, press, press == IDYES ? "task-dialog-yes" : "task-dialog-no", true);
      EXPECT_EQ(ShowTaskMessage(module_, owner, kTitle, kRestartForRuntimeMessage, nullptr, TD_WARNING_ICON, 0,
                                TDCBF_YES_BUTTON | TDCBF_NO_BUTTON, IDNO),
                press);
      const SeenBox& seen = presser.Join();
      ASSERT_NE(seen.box, nullptr);
      EXPECT_EQ(seen.owner, owner);
   }
   EXPECT_NE(Log().find("PostTaskDialog: \"Tessix Product Installation\" - \"This installer requires you to restart"),
             std::string::npos);
}
