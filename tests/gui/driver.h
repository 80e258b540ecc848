// A test-side user: waits for a window of the launcher, looks at it and presses its buttons,
// from a thread of its own while the code under test blocks in the box or dialog.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "tests/unit/testSupport.h"

// Waits (up to 10 s) for a top-level window of this class and title; null when none came.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title);

// Waits for a visible dialog of any process with this title and a control `controlId`; null when
// none came in time. The launcher's message boxes and its progress dialog share one title and
// class: the control tells them apart.
HWND WaitForDialog(const wchar_t* title, int controlId, DWORD timeoutMs = 60000);
// A classic message box: the dialog with the message-text control.
HWND WaitForMessageBox(const wchar_t* title, DWORD timeoutMs = 60000);

// Polls until `condition` holds (up to 10 s); false when it never did.
bool WaitUntil(const std::function<bool()>& condition);

std::string WindowText(HWND window);

// What the presser saw of the box before it pressed.
struct SeenBox {
   HWND box = nullptr;
   HWND owner = nullptr;
   std::string text; // the message text of a classic box
};

// Waits for a dialog box with `title`, saves a screenshot named `shot`, then presses `button`
// (for a task dialog through TDM_CLICK_BUTTON). Join() before reading `seen`.
class BoxPresser
{
 public:
   BoxPresser(const wchar_t* title, int button, std::string shot, bool taskDialog = false);
   ~BoxPresser();
   const SeenBox& Join();

 private:
   SeenBox seen_; // before the thread that fills it
   std::thread thread_;
};

// Clicks a dialog's button as the user would (the button's WM_COMMAND to its dialog).
void ClickButton(HWND dialog, int id);

// The launcher's log of one test in a private temporary folder; screenshots go to the folder
// named by the test program's argument `artifactArg` (none when 0).
class UiTest : public ::testing::Test
{
 protected:
   explicit UiTest(const char* tag, size_t artifactArg = 0);
   void SetUp() override;
   void TearDown() override;
   std::string Log() const;

   ScratchDir logDir_;
   TempFolderOverride override_;
   size_t artifactArg_;
};
