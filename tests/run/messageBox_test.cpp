#include "apps/install/setup/ui/messageBox.h"

#include <gtest/gtest.h>

#include <thread>

#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace {

class MessageBoxes : public ::testing::Test {
protected:
   void SetUp() override
   {
      Inst_ResetLoggingForTest();
      Inst_SetupLogging("test", "t", nullptr, nullptr);
      module_ = LoadLibraryExW(Win32U_Wide(WinePath(TestArg(1))).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
      ASSERT_NE(module_, nullptr);
   }
   void TearDown() override
   {
      silentFlag = nullptr;
      FreeLibrary(module_);
      Inst_ResetLoggingForTest();
   }
   std::string Log() const { return ReadTextFile(logDir_ / "txinst.log"); }

   ScratchDir logDir_{"mbox"};
   TempFolderOverride override_{logDir_.path() + "\\"};
   HMODULE module_ = nullptr;
   bool silent_ = true;
};

// Presses a button of the first dialog box with this title once it shows.
void PressWhenShown(const wchar_t* title, int button)
{
   for (int i = 0; i < 200; i++) {
      HWND box = FindWindowW(L"#32770", title);
      if (box != nullptr) {
         PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
         return;
      }
      Sleep(50);
   }
}

} // namespace

TEST_F(MessageBoxes, SilentBoxesAnswerThemselvesAndAreLogged)
{
   silentFlag = &silent_;
   EXPECT_EQ(ShowMessage(module_, nullptr, "Title", MSG_ANOTHER_INSTANCE, MB_ICONERROR), IDOK);
   EXPECT_EQ(ShowMessageWithNumber(module_, nullptr, "Title", MSG_NOT_ENOUGH_SPACE, 150, 0x40115), IDCANCEL);
   const std::string log = Log();
   EXPECT_NE(log.find("I0: DisplayMessageBox: \"Title\" - \"Another instance of setup is already running.  Exiting...\""),
             std::string::npos);
   EXPECT_NE(log.find("one drive must have at least 150 MB of free space."), std::string::npos);
   EXPECT_NE(log.find("I0: PickButton: Running silent, assume button id 2"), std::string::npos);
   EXPECT_EQ(log.find("assume button id 1"), std::string::npos); // MB_OK answers without a line
}

TEST_F(MessageBoxes, SilentTaskDialogReturnsItsDefaultWithoutALine)
{
   silentFlag = &silent_;
   EXPECT_EQ(ShowTaskMessage(module_, nullptr, "Title", MSG_OS_TOO_OLD_VM, "Windows 2000", TD_ERROR_ICON, 0,
                             TDCBF_OK_BUTTON, 0),
             0);
   EXPECT_EQ(ShowTaskMessage(module_, nullptr, "Title", MSG_OS_TOO_OLD_VM, "Windows 2000", TD_ERROR_ICON, 0,
                             TDCBF_YES_BUTTON | TDCBF_NO_BUTTON, IDYES),
             IDYES);
   EXPECT_EQ(Log().find("PostTaskDialog"), std::string::npos);
}

TEST_F(MessageBoxes, InsertExpansionAndUsage)
{
   silentFlag = &silent_;
   ShowMessageWithInsert(module_, nullptr, "Title", 23, "C:\\bad|path", MB_OK);
   ShowUsage(module_, nullptr, "Title");
   const std::string log = Log();
   EXPECT_NE(log.find("\"The path 'C:\\bad|path' is invalid.\""), std::string::npos) << log;
   EXPECT_NE(log.find("DisplayMessageBox: \"Title\" - \"Usage:\n   /? :  Show this dialog."), std::string::npos);
}

TEST_F(MessageBoxes, ShownBoxReturnsThePressedButton)
{
   std::thread presser(PressWhenShown, L"Question", IDNO);
   EXPECT_EQ(DisplayMessageBox(nullptr, "Proceed?", "Question", MB_YESNO), IDNO);
   presser.join();
}

TEST_F(MessageBoxes, ShownTaskDialogWithALink)
{
   std::thread presser(PressWhenShown, L"Task", IDOK);
   EXPECT_EQ(ShowTaskMessage(module_, nullptr, "Task", MSG_OS_TOO_OLD_VM, "Windows 2000", TD_ERROR_ICON, 0,
                             TDCBF_OK_BUTTON, IDOK),
             IDOK);
   presser.join();
   EXPECT_NE(Log().find("PostTaskDialog: \"Task\" - \"Setup cannot continue.  This program requires that you have Windows "
                        "2000 or greater installed in this virtual machine.\nFor details, refer to the following <A "
                        "HREF=\"https://kb.tessix.com/article/2100413\">"),
             std::string::npos)
      << Log();
   // A link click opens the address and keeps the dialog open.
   EXPECT_EQ(OnTaskDialogLink(nullptr, 2 /* not a link click */, 0, 0, 0), S_OK);
}
