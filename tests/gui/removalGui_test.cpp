// The removal window during a real removal by Windows Installer: a small package is installed,
// then removed with the launcher's handler registered as the session registers it. (Wine sends
// no error or warning messages and ignores IDCANCEL; those paths are fed to the handler
// directly in handlers_test.cpp.)
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>

#include <set>

#include "apps/install/setup/ui/externalUI.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"
#include "tests/gui/driver.h"
#include "tests/gui/screenshot.h"
#include "tests/unit/testSupport.h"

namespace
{

const wchar_t kProductCode[] = L"{71216A68-C6BC-4F21-AEA5-EE444011B09E}";

struct Recorder {
   CExternalUI* ui;
   std::set<UINT> kinds;
   std::vector<std::string> actions;
   int failures = 0; // answers other than 0, 1 and -1
   bool shot = false;
};

int WINAPI RecordingHandler(void* context, UINT type, const wchar_t* message)
{
   auto* recorder = static_cast<Recorder*>(context);
   const int result = ExternalUIHandler(recorder->ui, type, message);
   const UINT kind = type & 0xFF000000;
   recorder->kinds.insert(kind);
   if (result != 0 && result != 1 && result != -1) {
      recorder->failures++;
   }
   if (kind == 0x08000000 && result == 1) {
      recorder->actions.push_back(WindowText(GetDlgItem(recorder->ui->Window(), IDC_ACTION)));
      if (!recorder->shot && recorder->actions.size() >= 3) {
         recorder->shot = SaveScreenshot(recorder->ui->Window(), "removal-window");
      }
   }
   return result;
}

class RemovalWindow : public UiTest
{
 protected:
   RemovalWindow() : UiTest("removal", 2) {}
   void TearDown() override
   {
      MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
      MsiConfigureProductExW(kProductCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT, L"");
      UiTest::TearDown();
   }
};

} // namespace

TEST_F(RemovalWindow, ShowsTheRemovalOfAnOlderProduct)
{
   const std::wstring package = Win32U_Wide(WinePath(TestArg(1)));
   MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
   ASSERT_EQ(MsiInstallProductW(package.c_str(), L""), 0u);
   ASSERT_EQ(MsiQueryProductStateW(kProductCode), INSTALLSTATE_DEFAULT);

   CExternalUI ui(GetModuleHandleW(nullptr));
   ASSERT_TRUE(ui.CreateUninstallUI(nullptr, "Tessix Tools", "Tessix Removal Fixture"));
   Recorder recorder{&ui, {}, {}, 0, false};
   INSTALLUI_HANDLERW previous =
       MsiSetExternalUIW(reinterpret_cast<INSTALLUI_HANDLERW>(RecordingHandler), kExternalUIFilter, &recorder);
   const UINT result = MsiConfigureProductExW(kProductCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT,
                                              L" TX_UPGRADE_UNINSTALL=1 ProductLanguage=1033");
   if (!recorder.shot) {
      SaveScreenshot(ui.Window(), "removal-window");
   }
   MsiSetExternalUIW(previous, 0, nullptr);
   ui.Destroy();

   EXPECT_EQ(result, 0u);
   EXPECT_EQ(MsiQueryProductStateW(kProductCode), INSTALLSTATE_UNKNOWN);
   for (UINT kind : {0x0C000000u, 0x08000000u, 0x0A000000u, 0x0B000000u}) {
      EXPECT_TRUE(recorder.kinds.count(kind)) << std::hex << kind;
   }
   EXPECT_EQ(recorder.failures, 0);
   EXPECT_FALSE(recorder.actions.empty());
   for (const std::string& action : recorder.actions) {
      EXPECT_FALSE(action.empty());
      EXPECT_EQ(action.find("Action "), std::string::npos) << action; // the description alone
   }
   EXPECT_EQ(ui.language, 1033);
   EXPECT_NE(Log().find("Install Initializing"), std::string::npos);
}
