// The removal window's and the helper window's handlers, fed installer messages directly against
// real dialogs: every message kind, the contexts they refuse, the bar they drive.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "apps/install/setup/ui/externalUI.h"
#include "apps/install/setup/ui/helperUI.h"
#include "apps/install/setup/ui/msiRecord.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"
#include "tests/gui/driver.h"
#include "tests/unit/testSupport.h"

namespace
{

class Handlers : public UiTest
{
 protected:
   Handlers() : UiTest("ui") {}
   static int Send(void* ui, UINT type, const wchar_t* text) { return ExternalUIHandler(ui, type, text); }
   static int Bar(HWND dialog, UINT message, WPARAM w = 0, LPARAM l = 0)
   {
      return static_cast<int>(SendDlgItemMessageW(dialog, IDC_PROGRESS, message, w, l));
   }
   static int Pos(HWND dialog) { return Bar(dialog, PBM_GETPOS); }
   static int Upper(HWND dialog) { return Bar(dialog, PBM_GETRANGE, FALSE); }

   HMODULE module_ = GetModuleHandleW(nullptr);
};

} // namespace

TEST_F(Handlers, RemovalWindowIsCentredWithItsBannerAndNoCancel)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Tessix Tools 12"));
   HWND dialog = ui.Window();
   EXPECT_EQ(WindowText(dialog), "Tessix Tools");
   EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_BANNER)), "Uninstalling Tessix Tools 12...");
   EXPECT_EQ(ui.title, "Tessix Tools 12 Uninstallation");
   EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CANCEL)));
   RECT frame{};
   GetWindowRect(dialog, &frame);
   const RECT work = UiWorkArea();
   EXPECT_NEAR(frame.left - work.left, work.right - frame.right, 1);
   EXPECT_NEAR(frame.top - work.top, work.bottom - frame.bottom, 1);
}

TEST_F(Handlers, RemovalHandlerRefusesMissingAndForeignContexts)
{
   EXPECT_EQ(Send(nullptr, InstallMessage::Info, L"x"), 0);
   CHelperUI helper(module_); // the helper's object registered for the removal by mistake
   EXPECT_EQ(Send(&helper, InstallMessage::Info, L"x"), -1);
   CExternalUI noWindow(module_);
   EXPECT_EQ(Send(&noWindow, InstallMessage::Info, L"x"), -1);
   const std::string log = Log();
   EXPECT_NE(log.find("Received no context with the message. "), std::string::npos);
   EXPECT_NE(log.find("Received message from wrong context: "), std::string::npos);
   EXPECT_NE(log.find("[Error] No uninstall window"), std::string::npos);
}

TEST_F(Handlers, RemovalHandlerAnswersEachQuietKind)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Old"));
   const struct {
      UINT type;
      const wchar_t* text;
      int result;
   } cases[] = {
       {InstallMessage::Info, L"Info 1", 1},
       {InstallMessage::FilesInUse, L"files", 0},
       {InstallMessage::ResolveSource, L"source", 0},
       {InstallMessage::OutOfDiskSpace, L"disk", 1},
       {InstallMessage::Terminate, L"", 1},
       {InstallMessage::ShowDialog, L"dlg", 1},
       {InstallMessage::ActionData, L"File: a", 1},
       {0x0F000000, L"odd", 0},
       {InstallMessage::CommonData, L"1: 1 2: caption", 1}, // a caption record is ignored, still answered 1
       {InstallMessage::CommonData, L"garbage", 1},
   };
   for (const auto& c : cases) {
      EXPECT_EQ(Send(&ui, c.type, c.text), c.result) << std::hex << c.type;
   }
   const std::string log = Log();
   EXPECT_NE(log.find("[Info] Received show dialog message"), std::string::npos);
   EXPECT_NE(log.find("[Info] MessageType: F000000h Message: odd"), std::string::npos);
}

TEST_F(Handlers, RemovalHandlerShowsActionsAndLanguage)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Old"));
   HWND action = GetDlgItem(ui.Window(), IDC_ACTION);
   EXPECT_EQ(Send(&ui, InstallMessage::Initialize, L""), 1);
   EXPECT_EQ(WindowText(action), "Initializing");
   EXPECT_EQ(Send(&ui, InstallMessage::ActionStart, L"Action 16:03:49: RemoveFiles. Removing files"), 1);
   EXPECT_EQ(WindowText(action), "Removing files");
   // Malformed lines leave the action line as it was.
   EXPECT_EQ(Send(&ui, InstallMessage::ActionStart, L"Action 16:03:49: RemoveFiles. "), -1);
   EXPECT_EQ(Send(&ui, InstallMessage::ActionStart, L"Action 16:03:49:"), -1);
   EXPECT_EQ(Send(&ui, InstallMessage::ActionStart, nullptr), -1);
   EXPECT_EQ(WindowText(action), "Removing files");
   const std::string log = Log();
   EXPECT_NE(log.find("Install Initializing"), std::string::npos);
   EXPECT_NE(log.find("1 space not found"), std::string::npos);
   EXPECT_NE(log.find("No expected delimiter or null message"), std::string::npos);

   EXPECT_EQ(Send(&ui, InstallMessage::CommonData, L"1: 0 2: 1041 3: 0 "), 1);
   EXPECT_EQ(ui.language, 1041);
   EXPECT_EQ(Send(&ui, InstallMessage::CommonData, L"1: 2 2: 0"), 1);
   EXPECT_FALSE(IsWindowVisible(GetDlgItem(ui.Window(), IDC_CANCEL)));
   EXPECT_EQ(Send(&ui, InstallMessage::CommonData, L"1: 2 2: 1"), 1);
   EXPECT_TRUE(IsWindowVisible(GetDlgItem(ui.Window(), IDC_CANCEL)));
}

TEST_F(Handlers, RemovalHandlerDrivesTheBar)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Old"));
   HWND dialog = ui.Window();
   const struct {
      UINT type;
      const wchar_t* text;
      int position; // afterwards
   } steps[] = {
       // A report before any reset does not move the bar.
       {InstallMessage::Progress, L"1: 2 2: 500 3: 0 4: 0", 0},
       // A forward reset of 100000 ticks (its whole range is checked below), then a report.
       {InstallMessage::Progress, L"1: 0 2: 100000 3: 0 4: 0 ", 0},
       {InstallMessage::Progress, L"1: 2 2: 40000 3: 0 4: 0", 40000},
       // Action information sets the step that each action-data message takes, or no step.
       {InstallMessage::Progress, L"1: 1 2: 1000 3: 1 ", 40000},
       {InstallMessage::ActionData, L"File: a", 41000},
       {InstallMessage::Progress, L"1: 1 2: 1000 3: 0 ", 41000},
       {InstallMessage::ActionData, L"File: b", 41000},
       // A backward phase (rollback) starts full and runs down.
       {InstallMessage::Progress, L"1: 0 2: 2000 3: 1 4: 0", 2000},
       {InstallMessage::Progress, L"1: 2 2: 500", 1500},
       // After a reset that announced script generation, the next reset starts at its total.
       {InstallMessage::Progress, L"1: 0 2: 3000 3: 0 4: 1", 0},
       {InstallMessage::Progress, L"1: 0 2: 3000 3: 0 4: 0", 3000},
   };
   for (const auto& step : steps) {
      EXPECT_EQ(Send(&ui, step.type, step.text), 1) << Win32U_Utf8(step.text);
      EXPECT_EQ(Pos(dialog), step.position) << Win32U_Utf8(step.text);
      if (std::wstring(step.text).rfind(L"1: 0 2: 100000", 0) == 0) {
         // The 16-bit range message would cut it to 34464 and fill the bar at a third of the work.
         EXPECT_EQ(Upper(dialog), 100000);
      }
   }
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"1: 3 2: 10"), 1);
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"not a record"), 1);
   EXPECT_NE(Log().find("Received unknown progress message"), std::string::npos);
}

TEST_F(Handlers, CancelIsReportedOnce)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Old"));
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"1: 0 2: 100 3: 0 4: 0"), 1);
   ClickButton(ui.Window(), IDC_CANCEL); // seen when the handler pumps
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"1: 2 2: 10"), IDCANCEL);
   EXPECT_TRUE(ui.cancelReported);
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"1: 2 2: 10"), 1);
   EXPECT_EQ(Send(&ui, InstallMessage::Progress, L"garbage"), 1);
   const std::string log = Log();
   EXPECT_EQ(log.find("Returning IDCANCEL"), log.rfind("Returning IDCANCEL"));
   EXPECT_NE(log.find("[Info] User has cancelled. Returning IDCANCEL"), std::string::npos);
}

TEST_F(Handlers, RemovalHandlerPutsInstallerQuestionsToTheUser)
{
   CExternalUI ui(module_);
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Old Tools"));
   const struct {
      UINT type;
      const wchar_t* text;
      int press;
      const char* logLine;
   } cases[] = {
       {InstallMessage::Error | MB_RETRYCANCEL | MB_ICONERROR, L"Error 1311. Source file not found.", IDRETRY,
        "Error: Error 1311."},
       {InstallMessage::Warning | MB_OKCANCEL | MB_ICONWARNING, L"Disk nearly full.", IDCANCEL,
        "Warning: Disk nearly full."},
       {InstallMessage::User | MB_YESNO, L"Keep settings?", IDNO, "User message: Keep settings?"},
       {InstallMessage::FatalExit | MB_OK, L"Fatal.", IDOK, "Fatal Exit"},
   };
   for (const auto& c : cases) {
      BoxPresser presser(L"Old Tools Uninstallation", c.press, "removal-message");
      EXPECT_EQ(Send(&ui, c.type, c.text), c.press) << c.logLine;
      const SeenBox& seen = presser.Join();
      EXPECT_EQ(seen.owner, nullptr);
      EXPECT_EQ(seen.text, Win32U_Utf8(c.text));
   }
   const std::string log = Log();
   for (const auto& c : cases) {
      EXPECT_NE(log.find(c.logLine), std::string::npos) << c.logLine;
   }
}

TEST_F(Handlers, HelperWindowOpensOwnedSizedAndScaled)
{
   // The window the package names as owner.
   HWND owner = Win32U_CreateWindowEx(0, "STATIC", "Tessix Tools Setup Wizard", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                      10, 300, 200, nullptr, nullptr, nullptr, nullptr);
   ASSERT_NE(owner, nullptr);
   CHelperUI helper(module_);
   // Nothing happens before the package asks for the window.
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 0 2: 100 3: 0 4: 0"), 0);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"Copying: 3 of 10"), 1);
   EXPECT_EQ(helper.Window(), nullptr);

   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"HelperUI:enable:Tessix Tools Setup Wizard:1000"), 1);
   HWND window = helper.Window();
   ASSERT_NE(window, nullptr);
   EXPECT_TRUE(helper.active);
   EXPECT_TRUE(IsWindowVisible(window));
   EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
   EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
   RECT frame{};
   GetWindowRect(window, &frame);
   EXPECT_EQ(frame.right - frame.left, 400);
   EXPECT_EQ(frame.bottom - frame.top, 90);
   const RECT work = UiWorkArea();
   EXPECT_EQ(frame.left, work.left + (work.right - work.left) / 2 - 200);
   EXPECT_EQ(WindowText(window), "Tessix Tools Setup Wizard");
   EXPECT_EQ(WindowText(GetDlgItem(window, IDC_ACTION)), "Copying files...");
   EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, IDC_CANCEL)));
   EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, IDC_BANNER)));
   EXPECT_EQ(Upper(window), 1000);

   // A total beyond the bar's range is divided down; the reports are divided alike.
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"HelperUI:enable:Tessix Tools Setup Wizard:5000000000"),
             1);
   EXPECT_EQ(helper.Window(), window); // the window is reused
   EXPECT_EQ(helper.divisor, 3);
   EXPECT_EQ(Upper(window), 1666666666);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 2 2: 300 3: 0"), 0);
   EXPECT_EQ(Pos(window), 100);
   // The installer's own reset brings the divisor back to 1.
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 0 2: 4000 3: 0 4: 0"), 0);
   EXPECT_EQ(Upper(window), 4000);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 1 2: 25 3: 1"), 0);
   EXPECT_EQ(Bar(window, PBM_STEPIT), 0); // returns the previous position
   EXPECT_EQ(Pos(window), 25);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 2 2: 75"), 0);
   EXPECT_EQ(Pos(window), 100);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 3 2: 75"), 0);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 0 2: 3000000000 3: 0"), 1); // negative as 32-bit
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 9 2: 1"), 0);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"bad"), 0);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::ActionStart, L"Action 1: 2: 3"), 0);

   // A rollback closes the window.
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 0 2: 100 3: 1 4: 0"), 0);
   EXPECT_EQ(helper.Window(), nullptr);
   EXPECT_FALSE(helper.active);
   EXPECT_FALSE(IsWindow(window));
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Progress, L"1: 2 2: 10"), 0);

   // Enabled again (no window of that title: no owner), then closed by another command.
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"HelperUI:enable:No Such Window:10"), 1);
   ASSERT_NE(helper.Window(), nullptr);
   EXPECT_EQ(GetWindow(helper.Window(), GW_OWNER), nullptr);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"HelperUI:enable:Owner"), 1); // incomplete: ignored
   EXPECT_TRUE(helper.active);
   EXPECT_EQ(HelperUIHandler(&helper, InstallMessage::Info, L"HelperUI:close"), 1);
   EXPECT_FALSE(helper.active);
   EXPECT_EQ(helper.Window(), nullptr);
   DestroyWindow(owner);

   const std::string log = Log();
   for (const char* line :
        {"[HelperUI]: received progress reset message", "[HelperUI]: Received negative tick count",
         "[HelperUI]: Received progress set step message", "[HelperUI]: Ignoring tick count adjustment",
         "[HelperUI]: Received unknown progress message",
         "[HelperUI]: MessageType: 8000000h Message: Action 1: 2: 3"}) {
      EXPECT_NE(log.find(line), std::string::npos) << line;
   }
}

TEST_F(Handlers, HelperHandlerRefusesMissingAndForeignContexts)
{
   EXPECT_EQ(HelperUIHandler(nullptr, InstallMessage::Info, L"HelperUI:close"), 0);
   CExternalUI removal(module_);
   EXPECT_EQ(HelperUIHandler(&removal, InstallMessage::Info, L"HelperUI:close"), -1);
   const std::string log = Log();
   EXPECT_NE(log.find("[HelperUI]: Received no context with the message."), std::string::npos);
   EXPECT_NE(log.find("[HelperUI]: Received message from wrong context: "), std::string::npos);
}
