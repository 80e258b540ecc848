// Restart prompts against a stand-in for the system calls: nothing here may restart Windows
// (under Wine ExitWindowsEx would end every process of the prefix).
#include "apps/install/setup/reboot.h"

#include <commctrl.h>

#include <thread>

#include "apps/install/setup/ui/uiState.h"
#include "lib/misc/win32u.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

struct Calls {
   int restarts = 0;
   UINT flags = 0;
   DWORD reason = 0;
   int questions = 0;
   DWORD style = 0;
   DWORD timeout = 0;
   std::wstring title;
   DWORD titleBytes = 0;
   BOOL sendResult = TRUE;
   DWORD answer = 0;
   BOOL exitResult = TRUE; // what Windows answers the restart request
};
Calls calls;

BOOL WINAPI FakeExitWindows(UINT flags, DWORD reason)
{
   calls.restarts++;
   calls.flags = flags;
   calls.reason = reason;
   return calls.exitResult;
}

DWORD WINAPI FakeConsoleSession()
{
   return 1;
}

BOOL WINAPI FakeSendMessage(HANDLE, DWORD, LPWSTR title, DWORD titleBytes, LPWSTR, DWORD, DWORD style, DWORD timeout,
                            DWORD* response, BOOL)
{
   calls.questions++;
   calls.title.assign(title, titleBytes / sizeof(wchar_t));
   calls.titleBytes = titleBytes;
   calls.style = style;
   calls.timeout = timeout;
   *response = calls.answer;
   return calls.sendResult;
}

class Restart : public InstallerTest
{
 protected:
   void SetUp() override
   {
      InstallerTest::SetUp();
      calls = Calls{};
      seam_ = RebootCalls{FakeConsoleSession, FakeSendMessage, FakeExitWindows};
      Reboot_SetCallsForTest(&seam_);
      ctx_.windowTitle = "Tessix Restart Test";
      silentFlag = &ctx_.silent;
   }
   void TearDown() override
   {
      Reboot_SetCallsForTest(nullptr);
      InstallerTest::TearDown();
   }
   RebootCalls seam_{};
   SetupContext ctx_;
};

} // namespace

TEST_F(Restart, PromptAnswersAndMessages)
{
   struct Case {
      bool vc, engine, repair, silent;
      int press; // 0: nothing is shown
      bool restarts;
      const char* line;
      const char* message; // the start of the question's text
   };
   const Case cases[] = {
       {true, false, false, true, 0, false, "Reboot required by [VC Redist], prompting user", nullptr},
       {false, true, true, true, 0, false, "Reboot required by [MSI, Repair], prompting user", nullptr},
       {true, false, false, false, IDYES, true, "Reboot required by [VC Redist], prompting user",
        "This installer requires you to restart your system to finish installing Microsoft VC Redistributable"},
       {false, true, false, false, IDNO, false, "Reboot required by [MSI], prompting user",
        "You must restart your system for the configuration changes to take effect."},
   };
   for (const Case& c : cases) {
      calls = Calls{};
      ctx_.vcRebootNeeded = c.vc;
      ctx_.engineRebootNeeded = c.engine;
      ctx_.repairRebootNeeded = c.repair;
      ctx_.silent = c.silent;
      std::thread presser;
      if (c.press != 0) {
         presser = std::thread(PressWhenShown, L"Tessix Restart Test", c.press);
      }
      EXPECT_EQ(PromptForReboot(ctx_, resources_), c.restarts) << c.line;
      if (presser.joinable()) {
         presser.join();
      }
      EXPECT_EQ(calls.restarts, c.restarts ? 1 : 0) << c.line;
      EXPECT_TRUE(LogHas(std::string("I0: ") + c.line + "\n")) << c.line;
      if (c.message != nullptr) {
         EXPECT_TRUE(LogHas(std::string("PostTaskDialog: \"Tessix Restart Test\" - \"") + c.message)) << c.message;
      }
   }
   EXPECT_TRUE(LogHas("I0: User selected to reboot\n"));
}

TEST_F(Restart, RestartIsAPlannedInstallationReboot)
{
   EXPECT_TRUE(RestartWindows());
   EXPECT_EQ(calls.restarts, 1);
   EXPECT_EQ(calls.flags, static_cast<UINT>(EWX_REBOOT));
   EXPECT_EQ(calls.reason, 0x84040002u);

   // A request Windows refuses leaves the restart to be done.
   calls.exitResult = FALSE;
   EXPECT_FALSE(RestartWindows());
}

TEST_F(Restart, UpdateAgentAsksTheConsoleSession)
{
   struct Case {
      BOOL sent;
      DWORD answer;
      bool restarts;
   };
   const Case cases[] = {
       {TRUE, IDYES, true},
       {TRUE, 32000 /* IDTIMEOUT: nobody answered within 30 seconds */, true},
       {TRUE, IDNO, false},
       {FALSE, 0, false}, // the question could not be asked: nothing is decided for the user
   };
   for (const Case& c : cases) {
      calls = Calls{};
      calls.sendResult = c.sent;
      calls.answer = c.answer;
      EXPECT_EQ(PromptUpdateAgentReboot(resources_, "Tessix Tools"), c.restarts) << c.answer;
      EXPECT_EQ(calls.questions, 1);
      EXPECT_EQ(calls.restarts, c.restarts ? 1 : 0) << c.answer;
   }
   EXPECT_EQ(calls.title, L"Tessix Tools");
   EXPECT_EQ(calls.titleBytes, 24u);
   EXPECT_EQ(calls.style, static_cast<DWORD>(MB_YESNO | MB_ICONQUESTION));
   EXPECT_EQ(calls.timeout, 30u);
   EXPECT_TRUE(LogHas("I0: Reboot required after install initiated from update agent, prompting user\n"));

   // Without the session functions there is nobody to ask: the machine restarts.
   calls = Calls{};
   seam_.sendMessage = nullptr;
   EXPECT_TRUE(PromptUpdateAgentReboot(resources_, "Tessix Tools"));
   EXPECT_EQ(calls.questions, 0);
   EXPECT_EQ(calls.restarts, 1);
}

TEST_F(Restart, OfferAfterTheSession)
{
   struct Case {
      bool engine, updateAgent;
      int32_t exitCode;
      int questions, restarts;
   };
   const Case cases[] = {
       {false, false, 3010, 0, 0}, // the installer's own UI asks
       {false, true, 3010, 1, 1},  // update agent: the console session, Yes
       {false, true, 0, 0, 0},
       {true, true, 3010, 0, 0}, // the engine reason: the launcher's question, silent answer No
   };
   for (const Case& c : cases) {
      calls = Calls{};
      calls.answer = IDYES;
      ctx_.silent = true;
      ctx_.engineRebootNeeded = c.engine;
      ctx_.updateAgent = c.updateAgent;
      ctx_.exitCode = c.exitCode;
      EXPECT_EQ(OfferRestart(ctx_, resources_, "Tessix Tools"), c.restarts == 1);
      EXPECT_EQ(calls.questions, c.questions);
      EXPECT_EQ(calls.restarts, c.restarts);
      EXPECT_EQ(ctx_.exitCode, c.exitCode) << "the offer never changes the exit code";
   }
}

TEST_F(Restart, ShutdownPrivilege)
{
   EXPECT_TRUE(EnableShutdownPrivilege());
}
