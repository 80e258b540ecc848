// The Windows Installer session against real packages and Wine's real Windows Installer: what
// it installs, upgrades and removes, what it hands the installer, and what it tells the user.
#include "apps/install/setup/msiSession.h"

#include <shlobj.h>

#include <memory>
#include <thread>

#include "apps/install/setup/olderProduct.h"
#include "apps/install/setup/sessionHooks.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/rebootUtil.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "tests/session/sessionTestSupport.h"

namespace
{

// Records what the session hands Windows Installer and lets the real installer answer, unless
// a test asks for an answer Wine never gives.
struct InstallerSpy {
   MsiApi real{};
   std::vector<std::string> installs; // "path|properties"
   std::vector<std::string> removals; // "code|properties"
   std::vector<std::string> patches;  // "path|properties"
   std::string runOnceDuringRemoval;
   std::string runOnceName;
   UINT forcedInstallResult = 0;               // 0: the real installer answers
   UINT forcedRemovalResult = 0;               // 0: the real installer answers
   std::string clientsDuringRemoval;           // the removed product's "Clients" as the installer saw it
   bool removalLeavesMarker = false;           // the old product's uninstaller leaves the restart marker
   const wchar_t* infoDuringInstall = nullptr; // sent to the registered handler during the install
   INSTALLUI_HANDLERW handler = nullptr;
   void* handlerContext = nullptr;
   const wchar_t* windowDuringInstall = nullptr; // a window title looked for after that message
   bool windowSeen = false;
};
InstallerSpy spy;

std::string Utf8(LPCWSTR text)
{
   return text != nullptr ? Win32U_Utf8(text) : "<null>";
}

UINT WINAPI SpyInstall(LPCWSTR package, LPCWSTR properties)
{
   spy.installs.push_back(Utf8(package) + "|" + Utf8(properties));
   if (spy.infoDuringInstall != nullptr && spy.handler != nullptr) {
      spy.handler(spy.handlerContext, INSTALLMESSAGE_INFO, spy.infoDuringInstall);
      spy.windowSeen = FindWindowW(nullptr, spy.windowDuringInstall) != nullptr;
   }
   return spy.forcedInstallResult != 0 ? spy.forcedInstallResult : spy.real.installProduct(package, properties);
}

UINT WINAPI SpyConfigure(LPCWSTR code, int level, INSTALLSTATE state, LPCWSTR properties)
{
   spy.removals.push_back(Utf8(code) + "|" + Utf8(properties));
   spy.runOnceDuringRemoval = RunOnceValue(spy.runOnceName);
   spy.clientsDuringRemoval = Clients(Utf8(code));
   if (spy.forcedRemovalResult != 0) {
      return spy.forcedRemovalResult;
   }
   const UINT result = spy.real.configureProductEx(code, level, state, properties);
   if (spy.removalLeavesMarker) {
      WriteTextFile(Win32U_GetOlderTempPath() + "txreboot.tmp", ""); // where custom actions write
   }
   return result;
}

INSTALLUI_HANDLERW WINAPI SpySetExternalUI(INSTALLUI_HANDLERW handler, DWORD filter, LPVOID context)
{
   spy.handler = handler;
   spy.handlerContext = context;
   return spy.real.setExternalUI(handler, filter, context);
}

UINT WINAPI SpyPatch(LPCWSTR patch, LPCWSTR installPackage, INSTALLTYPE type, LPCWSTR properties)
{
   const UINT result = spy.real.applyPatch(patch, installPackage, type, properties);
   spy.patches.push_back(Utf8(patch) + "|" + Utf8(properties) + "|" + std::to_string(result));
   return result;
}

const char kTitle[] = "Tessix Session Test";

// The fixture packages are not signed; the signature check has tests of its own.
bool AcceptSignatures(void*, const std::string&)
{
   return true;
}

class Session : public InstallerTest
{
 protected:
   void SetUp() override
   {
      InstallerTest::SetUp();
      spy = InstallerSpy{};
      spy.real = *MsiUtil_Api();
      spy.runOnceName = kToolsCode;
      spyApi_ = spy.real;
      spyApi_.installProduct = SpyInstall;
      spyApi_.configureProductEx = SpyConfigure;
      spyApi_.applyPatch = SpyPatch;
      spyApi_.setExternalUI = SpySetExternalUI;
      MsiUtil_SetApiForTest(&spyApi_);

      ctx_.windowTitle = kTitle;
      ctx_.silent = true;
      ctx_.uiLevel = INSTALLUILEVEL_NONE;
      ctx_.toolsStyle = true;
      ctx_.upgradeSettingPresent = true;
      ctx_.languageProperty = "ProductLanguage=1033";
      ctx_.payloadExtracted = true;
      silentFlag = &ctx_.silent;
      settings_.productCode = kToolsCode;
      settings_.productName = "Tessix Test Tools";
      settings_.database = "tools.msi";
      hooks_.verifySignatures = AcceptSignatures;
   }

   // The package as extraction leaves it, then the session.
   bool Run(const std::string& package)
   {
      EXPECT_TRUE(CopyFileW(Win32U_Wide(FixturePackage(package)).c_str(), Win32U_Wide(Extracted()).c_str(), FALSE));
      return RunMsiSession(ctx_, settings_, extraction_.path() + "\\", resources_, hooks_);
   }
   std::string Extracted() const { return extraction_ / "tools.msi"; }
   void StandardStyleWithOldCodes()
   {
      ctx_.toolsStyle = false;
      ctx_.upgradeSettingPresent = false; // no MINORUPGRADE: older products are removed first
      settings_.operation = "INSTALLUPD";
      settings_.oldCodes = std::string(kOldCode);
   }

   MsiApi spyApi_{};
   SetupContext ctx_;
   SessionSettings settings_;
   SessionHooks hooks_;
   ScratchDir extraction_{"extract"};
};

} // namespace

TEST_F(Session, FirstInstallInToolsStyle)
{
   ctx_.installerArguments = "/qn TXPROBE=fromv";
   ctx_.installerProperties = "TXPROBE=fromv";
   const auto before = Win32U_GetCurrentDirectory();

   EXPECT_TRUE(Run("tools-13.0.0.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_TRUE(ctx_.installAttempted);
   EXPECT_TRUE(ctx_.installSucceeded);
   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], Extracted() + "| ProductLanguage=1033 TXPROBE=fromv");
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_DEFAULT);
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.0");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Probe"), "fromv");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Language"), "1033");
   EXPECT_EQ(Win32U_GetCurrentDirectory(), before) << "the extraction folder must be left again";
   EXPECT_TRUE(LogHas("I0: Setting Internal UI level to 2\n"));
   EXPECT_TRUE(LogHas("I0: CommandLine Properties = \"\"\n"));
   EXPECT_TRUE(LogHas("I0: No existing products found\n"));
   EXPECT_TRUE(
       LogHas(std::string("I0: The product code ") + kToolsCode + " is unknown. Use first time install logic.\n"));
   EXPECT_TRUE(LogHas("I0: MSI logging to \"" + TempFolder() + "txmsi.log\"\n"));
   EXPECT_TRUE(LogHas("I0: CWD is now \"" + extraction_.path() + "\\\"\n"));
   EXPECT_TRUE(LogHas("I0:   MSI file  : \"" + Extracted() + "\"\n"));
   EXPECT_TRUE(LogHas("I0: InstallProduct() returned: 0\n"));
   EXPECT_TRUE(LogHas("I1: Util_NeedReboot: Reboot not needed.\n"));
   EXPECT_TRUE(PathExists(TempFolder() + "txmsi.log")) << "the installer's own log";
}

TEST_F(Session, InPlaceUpgradeInToolsStyle)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("tools-13.0.0.msi")), 0u);

   EXPECT_TRUE(Run("tools-13.0.1.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], Extracted() + "|REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1033");
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "Version"), "13.0.1");
   EXPECT_TRUE(LogHas(std::string("I0: Found existing product ") + kToolsCode + " with version 13.0.0\n"));
   EXPECT_TRUE(LogHas("I0: New product version number is 13.0.1\n"));
   EXPECT_TRUE(LogHas("I0: Existing product version is older\n"));
   EXPECT_TRUE(spy.removals.empty());
}

TEST_F(Session, NewerOrSameVersionInstalled)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("tools-13.0.1.msi")), 0u);

   EXPECT_FALSE(Run("tools-13.0.0.msi")) << "a newer version ends the run";
   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_FALSE(ctx_.installAttempted);
   EXPECT_TRUE(spy.installs.empty());
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   EXPECT_TRUE(LogHas("I0: Existing product version is newer\n"));
   EXPECT_TRUE(LogHas("DisplayMessageBox: \"Tessix Session Test\" - \"A newer version of Tessix Test Tools is already "
                      "installed.\"\n"));

   // Without OLDCODES the same version is reinstalled, with the run's properties.
   EXPECT_TRUE(Run("tools-13.0.1.msi"));
   EXPECT_EQ(ctx_.exitCode, 0);
   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], Extracted() + "|REINSTALL=ALL REINSTALLMODE=vomus ProductLanguage=1033");
   EXPECT_TRUE(LogHas("I0: Existing product version is the same\n"));
   EXPECT_TRUE(LogHas("I0: Reinstalling the installed version.\n"));
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");

   // With OLDCODES the same version gets the first-install properties.
   settings_.oldCodes = std::string(kOldCode);
   EXPECT_TRUE(Run("tools-13.0.1.msi"));
   ASSERT_EQ(spy.installs.size(), 2u);
   EXPECT_EQ(spy.installs[1], Extracted() + "| ProductLanguage=1033");
   EXPECT_TRUE(LogHas("I0: Using first time install logic.\n"));
}

TEST_F(Session, OlderProductOfOldCodesRemovedFirst)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
   StandardStyleWithOldCodes();
   ctx_.silent = false; // message 38 is asked, and answered OK
   ctx_.installerArguments = "/qn";
   settings_.productCode = "{00000000-0000-0000-0000-000000000000}"; // the package's own code wins
   std::thread presser(PressWhenShown, Win32U_Wide(kTitle), IDOK);

   const bool installed = Run("tools-13.0.1.msi");
   presser.join();

   EXPECT_TRUE(installed);
   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_UNKNOWN) << "the older product is removed";
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
   ASSERT_EQ(spy.removals.size(), 1u);
   EXPECT_EQ(spy.removals[0], std::string(kOldCode) + "| TX_UPGRADE_UNINSTALL=1 ProductLanguage=1033");
   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], Extracted() + "| ProductLanguage=1033 TX_UPGRADE_INSTALL=1");
   EXPECT_EQ(ProductRegistryValue("TessixTestTools", "UpgradeInstall"), "1");

   const std::string command = Win32U_GetSystemDirectory() + "\\msiexec.exe /i \"" + Extracted() +
                               "\"  ProductLanguage=1033 /qn TX_UPGRADE_INSTALL=1";
   EXPECT_EQ(spy.runOnceDuringRemoval, command) << "the install resumes after a restart the removal may ask for";
   EXPECT_EQ(RunOnceValue(kToolsCode), "<none>") << "and is forgotten once the removal succeeded";
   EXPECT_TRUE(LogHas("I0: Reinstall command is: " + command + "\n"));
   EXPECT_TRUE(LogHas(std::string("I0: WARNING: MSI product code ") + kToolsCode +
                      " doesn't match resource version {00000000-0000-0000-0000-000000000000}\n"));
   EXPECT_TRUE(LogHas(std::string("I0: Found existing product ") + kOldCode + "\n"));
   EXPECT_TRUE(LogHas(std::string("I0: Will uninstall ") + kOldCode + "\n"));
   EXPECT_TRUE(
       LogHas("DisplayMessageBox: \"Tessix Session Test\" - \"A previous version of Tessix Old Tools is already "
              "installed. Setup will uninstall the previous version before proceeding with this installation.\""));
   EXPECT_TRUE(LogHas("I0: Uninstalling with props:  TX_UPGRADE_UNINSTALL=1 ProductLanguage=1033\n"));
   EXPECT_TRUE(LogHas("I0: Uninstall successful\n"));
   EXPECT_TRUE(LogHas("I0: Uninstalled Tessix Test Tools\n"));
}

// An older product registered inside another (its parent maintains it) is decoupled for its
// removal. A removal that is cancelled or fails (answers Wine's installer never gives) leaves the
// product in place, coupled to its parent again.
TEST_F(Session, NestedOlderProductIsNestedAgainWhenItsRemovalDoesNotHappen)
{
   const SetupContext start = ctx_;
   for (const UINT removal : {ERROR_INSTALL_USEREXIT, ERROR_INSTALL_FAILURE}) {
      SCOPED_TRACE(removal);
      ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
      ASSERT_TRUE(MsiUtil_NestMsi(kOldCode, kMarkerCode));
      ctx_ = start;
      StandardStyleWithOldCodes();
      spy.installs.clear();
      spy.forcedRemovalResult = removal;

      EXPECT_FALSE(Run("tools-13.0.1.msi"));

      EXPECT_EQ(ctx_.exitCode, static_cast<int32_t>(removal));
      EXPECT_EQ(spy.clientsDuringRemoval, ":|") << "a product of its own while it is removed";
      EXPECT_EQ(Clients(kOldCode), std::string(kMarkerCode) + "|;|;|") << "coupled to its parent again";
      EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_DEFAULT);
      EXPECT_TRUE(spy.installs.empty());
      EXPECT_TRUE(LogHas(std::string("MsiUtil_UnnestMsi: Successfully decoupled ") + kOldCode +
                         " from parent installer " + kMarkerCode + "\n"));
      EXPECT_FALSE(LogHas("ERROR: Can't re-nest installer"));
      RemoveFixtureProducts();
   }
}

// The removal's own window (the user interface's) is created, fed and destroyed around the
// removal when the installer's UI is on.
struct UninstallWindow {
   std::string title;
   std::string oldName;
   int messages = 0;
   bool destroyed = false;
};

TEST_F(Session, RemovalUsesTheUninstallWindowHooks)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
   StandardStyleWithOldCodes();
   ctx_.uiLevel = INSTALLUILEVEL_BASIC;
   UninstallWindow window;
   hooks_.uninstallObject = &window;
   hooks_.createUninstallUi = [](void* object, const char* title, const char* oldName) {
      auto* w = static_cast<UninstallWindow*>(object);
      w->title = title;
      w->oldName = oldName;
      return true;
   };
   hooks_.destroyUninstallUi = [](void* object) { static_cast<UninstallWindow*>(object)->destroyed = true; };
   hooks_.uninstallHandler = [](void* object, UINT, LPCWSTR) -> INT {
      static_cast<UninstallWindow*>(object)->messages++;
      return 0;
   };

   EXPECT_TRUE(Run("tools-13.0.1.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_EQ(window.title, "Tessix Test Tools");
   EXPECT_EQ(window.oldName, "Tessix Old Tools");
   EXPECT_GT(window.messages, 0);
   EXPECT_TRUE(window.destroyed);
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_UNKNOWN);
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
}

TEST_F(Session, RemovalThroughTheRemovalWindow)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
   StandardStyleWithOldCodes();
   ctx_.uiLevel = INSTALLUILEVEL_BASIC;
   CExternalUI removalWindow(resources_);
   CHelperUI helperWindow(resources_);
   hooks_ = SessionHooksFor(removalWindow, helperWindow);
   hooks_.verifySignatures = AcceptSignatures;

   EXPECT_TRUE(Run("tools-13.0.1.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_FALSE(removalWindow.Created()) << "destroyed after the removal";
   EXPECT_EQ(removalWindow.title, "Tessix Old Tools Uninstallation");
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_UNKNOWN);
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
}

// The removal of that release takes msvcp71.dll out of the 32-bit system folder, although
// other programs use it: the library is put back afterwards.
TEST_F(Session, LibrariesOfAnEarlierReleaseSurviveItsRemoval)
{
   wchar_t folder[MAX_PATH] = L"";
   ASSERT_GT(GetSystemWow64DirectoryW(folder, MAX_PATH), 0u);
   const std::string library = Win32U_Utf8(folder) + "\\msvcp71.dll";
   const bool ours = !PathExists(library);
   ASSERT_EQ(InstallDirectly(FixturePackage("protected.msi")), 0u);
   ASSERT_TRUE(PathExists(library));
   StandardStyleWithOldCodes();
   settings_.oldCodes = std::string(kProtectedCode);

   EXPECT_TRUE(Run("tools-13.0.1.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_EQ(ProductState(kProtectedCode), INSTALLSTATE_UNKNOWN);
   EXPECT_TRUE(PathExists(library));
   EXPECT_FALSE(PathExists(Win32U_Utf8(folder) + "\\Copy_msvcp71"));
   EXPECT_TRUE(LogHas("I0: [Info] Restoring " + library + ".\n"));
   if (ours) {
      DeleteFileW(Win32U_Wide(library).c_str());
   }
}

TEST_F(Session, RemovalDeclinedChangesNothing)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
   StandardStyleWithOldCodes();
   ctx_.silent = false;
   std::thread presser(PressWhenShown, Win32U_Wide(kTitle), IDCANCEL);

   const bool installed = Run("tools-13.0.1.msi");
   presser.join();

   EXPECT_FALSE(installed);
   EXPECT_EQ(ctx_.exitCode, 1602);
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_DEFAULT);
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
   EXPECT_TRUE(spy.removals.empty());
   EXPECT_EQ(RunOnceValue(kToolsCode), "<none>");
}

TEST_F(Session, RemovalAskingForARestartStopsTheRun)
{
   ASSERT_EQ(InstallDirectly(FixturePackage("old-reboot.msi")), 0u);
   StandardStyleWithOldCodes();

   EXPECT_FALSE(Run("tools-13.0.1.msi"));

   EXPECT_EQ(ctx_.exitCode, 3010);
   EXPECT_TRUE(ctx_.rebootPendingFromUninstall) << "the exit sequence keeps the extraction folder";
   EXPECT_FALSE(ctx_.installAttempted);
   EXPECT_TRUE(spy.installs.empty());
   EXPECT_EQ(ProductState(kOldCode), INSTALLSTATE_UNKNOWN);
   EXPECT_EQ(RunOnceValue(kToolsCode), Win32U_GetSystemDirectory() + "\\msiexec.exe /i \"" + Extracted() +
                                           "\"  ProductLanguage=1033 TX_UPGRADE_INSTALL=1");
   EXPECT_TRUE(LogHas("I0: Uninstall reboot required\n"));
   EXPECT_TRUE(
       LogHas("\"Setup cannot continue until this system is restarted.  Please restart to continue installation "
              "of this product.\"\n"));
}

// The old product's uninstaller leaves the restart marker: the RunOnce command stays for the
// next logon, when the extraction folder is gone, so it names a copy in the package cache. Run
// as SYSTEM, the launcher's temporary folder is not the one the uninstaller writes to.
TEST_F(Session, RunOnceAfterARemovalThatLeavesTheRestartMarker)
{
   wchar_t common[MAX_PATH];
   ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, common), S_OK);
   const std::string cached =
       Win32U_Utf8(common) + "\\Tessix\\TessixToolsInstallerCache\\" + std::string(kToolsCode) + ".msi";
   const SetupContext start = ctx_;
   // As SYSTEM the marker lands in the Windows temporary folder, where any user can make files:
   // only one that SYSTEM or an administrator owns asks for the restart.
   const struct {
      const char* name;
      bool asSystem;
      const wchar_t* markerOwner;
      bool restart;
   } cases[] = {
       {"as the user", false, nullptr, true},
       {"as SYSTEM", true, L"O:SY", true},
       {"as SYSTEM, the marker a user's", true, L"O:S-1-5-21-1004336348-1177238915-682003330-1001", false},
   };
   for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      std::unique_ptr<SystemTempFolder> system(c.asSystem ? new SystemTempFolder(c.markerOwner) : nullptr);
      ASSERT_EQ(InstallDirectly(FixturePackage("old-12.0.0.msi")), 0u);
      ctx_ = start;
      StandardStyleWithOldCodes();
      spy.removalLeavesMarker = true;
      DeleteFileW(Win32U_Wide(cached).c_str());

      EXPECT_TRUE(Run("tools-13.0.1.msi"));

      EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.1");
      if (c.restart) {
         EXPECT_EQ(ctx_.exitCode, 3010) << "the marker is a restart the install did not perform";
         EXPECT_EQ(RunOnceValue(kToolsCode), Win32U_GetSystemDirectory() + "\\msiexec.exe /i \"" + cached +
                                                 "\"  ProductLanguage=1033 TX_UPGRADE_INSTALL=1");
         EXPECT_TRUE(PathExists(cached)) << "the command's package outlives the extraction folder";
         EXPECT_TRUE(ReadTextFile(cached) == ReadTextFile(Extracted())) << "a copy of the package";
         EXPECT_FALSE(PathExists(TempFolder() + "txreboot.tmp")) << "the marker is counted";
      } else {
         EXPECT_EQ(ctx_.exitCode, 0);
         EXPECT_EQ(RunOnceValue(kToolsCode), "<none>");
         EXPECT_TRUE(PathExists(TempFolder() + "txreboot.tmp")) << "a user's marker is left as it is";
         DeleteFileW(Win32U_Wide(TempFolder() + "txreboot.tmp").c_str());
      }
      DeleteFileW(Win32U_Wide(cached).c_str());
      DeleteRunOnceValue(kToolsCode);
      RemoveFixtureProducts();
      ClearRestartList();
   }
}

// A helper window the package opened and never closed goes when the installer returns.
TEST_F(Session, HelperWindowClosesWhenTheInstallerReturns)
{
   ctx_.silent = false;
   settings_.helperUi = true;
   CExternalUI removalWindow(resources_);
   CHelperUI helperWindow(resources_);
   hooks_ = SessionHooksFor(removalWindow, helperWindow);
   hooks_.verifySignatures = AcceptSignatures;
   spy.infoDuringInstall = L"HelperUI:enable:Tessix Helper Test:1000";
   spy.windowDuringInstall = L"Tessix Helper Test";

   EXPECT_TRUE(Run("tools-13.0.0.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_TRUE(spy.windowSeen) << "the package's message opened the window";
   EXPECT_EQ(FindWindowW(nullptr, L"Tessix Helper Test"), nullptr);
   EXPECT_EQ(helperWindow.Window(), nullptr);
   EXPECT_FALSE(helperWindow.active);
}

TEST_F(Session, OperationAgainstThePackage)
{
   struct Case {
      bool patch;
      const char* operation;
      int32_t exitCode;
      const char* line;
   };
   const Case cases[] = {
       {false, "installupd", 0, nullptr},
       {false, "MAJPATCH", 87, "I0: ERROR: Operation MAJPATCH is not valid for a package\n"},
       {true, "INSTALL", 87, "I0: ERROR: Operation INSTALL is not valid for a patch\n"},
   };
   for (const Case& c : cases) {
      ctx_ = SetupContext{};
      ctx_.windowTitle = kTitle;
      ctx_.silent = true;
      ctx_.uiLevel = INSTALLUILEVEL_NONE;
      settings_.patch = c.patch;
      settings_.operation = c.operation;
      EXPECT_EQ(Run("tools-13.0.0.msi"), c.exitCode == 0) << c.operation;
      EXPECT_EQ(ctx_.exitCode, c.exitCode) << c.operation;
      if (c.line != nullptr) {
         EXPECT_TRUE(LogHas(c.line)) << c.line;
         EXPECT_TRUE(LogHas(std::string("The setup was authored with an incorrect operation resource '") + c.operation +
                            "' and cannot continue."));
      }
   }
   EXPECT_EQ(InstalledVersion(kToolsCode), "13.0.0");
}

TEST_F(Session, UnsignedPackageRefusedOutsideToolsStyle)
{
   ctx_.toolsStyle = false;
   ctx_.modulePath = LauncherImage();
   hooks_.verifySignatures = nullptr; // the launcher's own check
   EXPECT_FALSE(Run("tools-13.0.1.msi"));
   EXPECT_EQ(ctx_.exitCode, 13);
   EXPECT_TRUE(spy.installs.empty());
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN);
}

TEST_F(Session, PackageMissing)
{
   settings_.database = "absent.msi";
   EXPECT_FALSE(Run("tools-13.0.0.msi"));
   EXPECT_EQ(ctx_.exitCode, 2);
   EXPECT_TRUE(spy.installs.empty());
   EXPECT_TRUE(
       LogHas("\"Setup was unable to find the msi package or patch '" + extraction_.path() + "\\absent.msi'.\""));
}

TEST_F(Session, InstallerFailuresBecomeTheExitCode)
{
   struct Case {
      const char* package;
      UINT forced; // 0: Wine's installer answers
      int32_t exitCode;
      bool box; // the launcher shows the installer's error itself
   };
   const Case cases[] = {
       {"failing.msi", 0, 1603, false},        // the installer has told the user already
       {"bad.msi", 0, 1627, true},             // Wine's answer for a file that is no package
       {"tools-13.0.0.msi", 1618, 1618, true}, // another installation is running
   };
   for (const Case& c : cases) {
      ctx_.installAttempted = ctx_.installSucceeded = false;
      spy.forcedInstallResult = c.forced;
      EXPECT_TRUE(Run(c.package)) << c.package;
      EXPECT_EQ(ctx_.exitCode, c.exitCode) << c.package;
      EXPECT_TRUE(ctx_.installAttempted);
      EXPECT_FALSE(ctx_.installSucceeded);
      EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN) << c.package;
      const std::string box =
          "An error occured installing the package.  Windows Installer returned '" + std::to_string(c.exitCode) + "'.";
      EXPECT_EQ(LogHas(box), c.box) << c.package;
      EXPECT_TRUE(LogHas("I0: InstallProduct() returned: " + std::to_string(c.exitCode) + "\n"));
   }
   EXPECT_TRUE(LogHas("I0: Unable to process product code. Will treat as first time install\n")) << "bad.msi";
}

TEST_F(Session, RestartMarkerLeftByThePackage)
{
   settings_.productCode = kMarkerCode;
   EXPECT_TRUE(Run("marker.msi"));
   EXPECT_EQ(ProductState(kMarkerCode), INSTALLSTATE_DEFAULT);
   EXPECT_EQ(ctx_.exitCode, 3010) << "the installer said 0, but a restart is pending";
   EXPECT_TRUE(ctx_.installSucceeded);
   EXPECT_TRUE(LogHas("I0: InstallProduct() returned: 0\n"));
   EXPECT_TRUE(LogHas("I0: Setting return code to ERROR_SUCCESS_REBOOT_REQUIRED\n"));
   std::string list;
   Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kRebootListKey, kRebootListValue, list, false, false);
   EXPECT_EQ(list, "txreboot.tmp;driverM");
   EXPECT_FALSE(PathExists(TempFolder() + "txreboot.tmp")) << "the marker is counted once";
}

TEST_F(Session, AdministrativeInstallToATargetPath)
{
   ScratchDir target("admin");
   ctx_.toolsStyle = false;
   ctx_.upgradeSettingPresent = true;
   ctx_.adminInstall = true;
   ctx_.adminTargetPath = target.path();

   EXPECT_TRUE(Run("tools-13.0.1.msi"));

   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], Extracted() + "| ACTION=ADMIN TARGETDIR=\"" + target.path() + "\" ProductLanguage=1033");
   EXPECT_EQ(ProductState(kToolsCode), INSTALLSTATE_UNKNOWN) << "an image installs nothing";
   EXPECT_NE(ReadTextFile(TempFolder() + "txmsi.log").find(": ADMIN."), std::string::npos) << "the installer ran ADMIN";
   // Wine's installer does not write administrative images (1626); its answer is the exit code.
   EXPECT_TRUE(LogHas("I0: InstallProduct() returned: " + std::to_string(ctx_.exitCode) + "\n"));
   if (ctx_.exitCode == 0) {
      EXPECT_TRUE(PathExists(target / "tools.msi"));
   }
}

TEST_F(Session, PatchPackage)
{
   // Wine cannot make or apply patches: a product package in place of one shows the patch call
   // and that the installer's answer is passed on.
   settings_.patch = true;
   ctx_.toolsStyle = false;
   EXPECT_TRUE(Run("tools-13.0.1.msi"));
   ASSERT_EQ(spy.patches.size(), 1u);
   EXPECT_EQ(spy.patches[0], Extracted() + "|REINSTALL=ALL REINSTALLMODE=omus|" + std::to_string(ctx_.exitCode));
   EXPECT_NE(ctx_.exitCode, 0);
   EXPECT_TRUE(ctx_.installAttempted);
   EXPECT_TRUE(LogHas("I0: Patch is a MINPATCH (small or minor update patch). Using default command line "
                      "'REINSTALL=ALL REINSTALLMODE=omus'\n"));
   EXPECT_TRUE(LogHas("I0: Calling MsiApplyPatch with:\n"));
   EXPECT_TRUE(LogHas("I0:   PatchPackage = \"" + Extracted() + "\"\n"));
   EXPECT_TRUE(LogHas("I0:   InstallType = INSTALLTYPE_DEFAULT\n"));
   EXPECT_TRUE(LogHas("I0:   CommandLine = REINSTALL=ALL REINSTALLMODE=omus\n"));
   EXPECT_TRUE(LogHas("I0: MsiApplyPatch returned " + std::to_string(ctx_.exitCode) + "\n"));

   // An administrative image cannot be patched this way: refused before anything runs.
   spy.patches.clear();
   ctx_.adminInstall = true;
   EXPECT_FALSE(Run("tools-13.0.1.msi"));
   EXPECT_EQ(ctx_.exitCode, 1639);
   EXPECT_TRUE(spy.patches.empty());
}

TEST_F(Session, CachedPackageAndCancel)
{
   settings_.cacheMsi = true;
   wchar_t common[MAX_PATH];
   ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, 0, common), S_OK);
   const std::string cached =
       Win32U_Utf8(common) + "\\Tessix\\TessixToolsInstallerCache\\" + std::string(kToolsCode) + ".msi";

   EXPECT_TRUE(Run("tools-13.0.0.msi"));

   EXPECT_EQ(ctx_.exitCode, 0);
   ASSERT_EQ(spy.installs.size(), 1u);
   EXPECT_EQ(spy.installs[0], cached + "| ProductLanguage=1033");
   EXPECT_TRUE(PathExists(cached)) << "the cache is kept for later repairs";
   EXPECT_TRUE(LogHas("I0: MSI cached as: " + cached + "\n"));
   DeleteFileW(Win32U_Wide(cached).c_str());

   userCancelled = true;
   EXPECT_FALSE(Run("tools-13.0.1.msi"));
   EXPECT_EQ(ctx_.exitCode, 1602);
   EXPECT_EQ(spy.installs.size(), 1u);
}
