// Repair mode against the prefix's real Windows Installer: products installed from packages
// built with wixl, an interruption simulated by removing a product's registration by hand, and
// a driver store with package folders. Every other key and folder is compared before and after.
#include "apps/install/setup/repair.h"

#include <msi.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "apps/install/setup/productCodes.h"
#include "apps/install/setup/reboot.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"
#include "tests/gui/driver.h"
#include "tests/unit/testSupport.h"

namespace
{

// The packages of tests/repair.cmake, with the codes given to wixl there. Component codes are
// listed packed, as Windows Installer names their registration keys.
struct TestProduct {
   size_t argument; // position of the package among the test program's arguments
   const char* productCode;
   const char* upgradeCode;
   const char* folder;
   const char* packedComponents[3];
};
const TestProduct kStudio = {
    2,
    "{5E0A2C41-7B3D-4F19-8C6E-1D2F3A4B5C60}",
    "{6A3E1F5C-8B2D-4C7E-9F10-2D4B6A8C0E13}",
    "TxRepairStudio",
    {"4D3C2B1A1000CBA4D8FE1032547698BA", "4D3C2B1A2000CBA4D8FE1032547698BA", "4D3C2B1A3000CBA4D8FE1032547698BA"}};
const TestProduct kViewer = {
    3,
    "{7C1D3E5F-2A4B-4C6D-8E9F-0A1B2C3D4E5F}",
    "{B74C2E91-5D3A-4F68-A1B2-C3D4E5F60718}",
    "TxRepairViewer",
    {"4D3C2B1B1000CBA4D8FE1032547698BA", "4D3C2B1B2000CBA4D8FE1032547698BA", "4D3C2B1B3000CBA4D8FE1032547698BA"}};
const TestProduct kOther = {
    4,
    "{9F8E7D6C-5B4A-4392-8170-6F5E4D3C2B1A}",
    "{0D9C8B7A-6F5E-4D3C-9B1A-098765432100}",
    "TxRepairOther",
    {"4D3C2B1C1000CBA4D8FE1032547698BA", "4D3C2B1C2000CBA4D8FE1032547698BA", "4D3C2B1C3000CBA4D8FE1032547698BA"}};
const TestProduct* const kProducts[] = {&kStudio, &kViewer, &kOther};
constexpr size_t kOddPackageArgument = 5;     // the studio package with two rows that are no component codes
constexpr size_t kStudioLauncherArgument = 6; // packed with the desktop product's configuration
constexpr size_t kOtherLauncherArgument = 7;  // packed with another product's configuration

const char kInstallerKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
const char kComponentsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\";
const char kTitle[] = "Tessix Product Installation";

std::string Package(size_t argument)
{
   return WinePath(TestArg(argument));
}

// Packing by positions of the text, independent of the code under test.
std::string Pack(const std::string& code)
{
   static const int order[] = {8,  7,  6,  5,  4,  3,  2,  1,  13, 12, 11, 10, 18, 17, 16, 15,
                               21, 20, 23, 22, 26, 25, 28, 27, 30, 29, 32, 31, 34, 33, 36, 35};
   std::string packed;
   for (int i : order) {
      packed += code[i];
   }
   return packed;
}

bool KeyExists(HKEY root, const std::string& path)
{
   HKEY key = nullptr;
   const LONG r = RegOpenKeyExW(root, Win32U_Wide(path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
   if (key != nullptr) {
      RegCloseKey(key);
   }
   return r == ERROR_SUCCESS;
}

bool CreateKey(const std::string& path)
{
   HKEY key = nullptr;
   const LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(path).c_str(), 0, nullptr, 0,
                                  KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
   if (key != nullptr) {
      RegCloseKey(key);
   }
   return r == ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::string& path)
{
   RegDeleteTreeW(root, Win32U_Wide(path).c_str());
   RegDeleteKeyExW(root, Win32U_Wide(path).c_str(), KEY_WOW64_64KEY, 0);
}

// Key names are compared ignoring case, as the registry compares them: Wine names the key of a
// component code written in lower case with lower-case digits.
std::string Upper(std::string text)
{
   std::transform(text.begin(), text.end(), text.begin(), ::toupper);
   return text;
}

void ListKeys(HKEY root, const std::string& path, std::set<std::string>& out)
{
   HKEY key = nullptr;
   if (RegOpenKeyExW(root, Win32U_Wide(path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
      return;
   }
   out.insert(Upper(path));
   wchar_t name[512];
   for (DWORD i = 0;; i++) {
      DWORD chars = 512;
      if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
         break;
      }
      ListKeys(root, path + "\\" + Win32U_Utf8(std::wstring_view(name, chars)), out);
   }
   RegCloseKey(key);
}

class RepairMode : public UiTest
{
 protected:
   RepairMode() : UiTest("repair") {}
   void SetUp() override
   {
      UiTest::SetUp();
      module_ = LoadLibraryExW(Win32U_Wide(WinePath(TestArg(1))).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
      ASSERT_NE(module_, nullptr);
      MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
      ASSERT_FALSE(PathExists(store_)) << "the prefix has a driver store of its own";
      ctx_.silent = true;
      ctx_.windowTitle = kTitle;
   }
   void TearDown() override
   {
      for (const TestProduct* product : kProducts) {
         if (MsiQueryProductStateA(product->productCode) == INSTALLSTATE_DEFAULT) {
            MsiConfigureProductExA(product->productCode, 0, INSTALLSTATE_ABSENT, "");
         }
         ForgetProduct(*product);
         for (const char* component : product->packedComponents) {
            DeleteTree(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(component));
         }
         RemoveTree(Win32U_GetSystemDirectory().substr(0, 3) + "Program Files\\" + product->folder);
      }
      RemoveTree(store_);
      FreeLibrary(module_);
      UiTest::TearDown();
   }

   static void Install(const TestProduct& product)
   {
      ASSERT_EQ(MsiInstallProductW(Win32U_Wide(Package(product.argument)).c_str(), L""), 0u) << product.folder;
      for (const char* component : product.packedComponents) {
         ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(component))) << component;
      }
   }

   // What an interrupted installation or removal leaves: the components registered, the product
   // itself unknown to Windows Installer.
   static void ForgetProduct(const TestProduct& product)
   {
      const std::string packed = Pack(product.productCode);
      DeleteTree(HKEY_CLASSES_ROOT, "Installer\\Products\\" + packed);
      DeleteTree(HKEY_CLASSES_ROOT, "Installer\\Features\\" + packed);
      DeleteTree(HKEY_CLASSES_ROOT, "Installer\\UpgradeCodes\\" + Pack(product.upgradeCode));
      DeleteTree(HKEY_LOCAL_MACHINE, std::string(kInstallerKey) + "\\UpgradeCodes\\" + Pack(product.upgradeCode));
      DeleteTree(HKEY_LOCAL_MACHINE, std::string(kInstallerKey) + "\\UserData\\S-1-5-18\\Products\\" + packed);
      DeleteTree(HKEY_LOCAL_MACHINE,
                 std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + product.productCode);
   }

   void Interrupt(const TestProduct& product)
   {
      Install(product);
      ForgetProduct(product);
      char related[39] = {};
      ASSERT_EQ(MsiEnumRelatedProductsA(product.upgradeCode, 0, 0, related), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
   }

   void MakeStore(std::initializer_list<const char*> folders)
   {
      CreateDirectoryW(Win32U_Wide(store_).c_str(), nullptr);
      for (const char* folder : folders) {
         ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(store_ + "\\" + folder).c_str(), nullptr));
         ASSERT_TRUE(WriteTextFile(store_ + "\\" + folder + "\\txm86.inf", "[Version]\n"));
      }
   }

   // Every installer registration key, and the driver store's entries.
   std::set<std::string> Snapshot() const
   {
      std::set<std::string> keys;
      ListKeys(HKEY_LOCAL_MACHINE, kInstallerKey, keys);
      ListKeys(HKEY_CLASSES_ROOT, "Installer", keys);
      ListKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", keys);
      for (const auto& name : ListFolder(store_)) {
         keys.insert(Upper("DRVSTORE\\" + name));
      }
      return keys;
   }

   RepairOutcome Repair(const std::string& upgradeCode, const std::string& package)
   {
      return RepairInstallInfo(ctx_, RepairSettings{module_, upgradeCode, "Tessix Studio", package});
   }

   // A packed launcher run as support tells a customer to run it, silently.
   LauncherRun RunRepairLauncher(size_t argument)
   {
      LauncherOptions options;
      options.image = WinePath(TestArg(argument));
      options.arguments = "/s /r";
      return RunLauncher(options, launcherTemp_);
   }

   bool Logged(const std::string& line) const { return Log().find("I0: " + line + "\n") != std::string::npos; }

   ScratchDir launcherTemp_{"repairrun"};
   HMODULE module_ = nullptr;
   const std::string store_ = Win32U_GetSystemDirectory() + "\\DRVSTORE";
   SetupContext ctx_;
};

// The restart offer that follows a repair, with Windows' restart call replaced: under Wine it
// would end every process of the prefix. True when a restart was requested.
bool OfferRestartAfterRepair(const SetupContext& ctx, HMODULE module)
{
   static bool restartRequested;
   restartRequested = false;
   const RebootCalls calls{nullptr, nullptr, [](UINT, DWORD) -> BOOL {
                              restartRequested = true;
                              return TRUE;
                           }};
   Reboot_SetCallsForTest(&calls);
   OfferRestart(ctx, module, "Tessix Studio");
   Reboot_SetCallsForTest(nullptr);
   return restartRequested;
}

} // namespace

TEST_F(RepairMode, RepairsAnInterruptedInstallation)
{
   Install(kOther);
   Interrupt(kStudio);
   MakeStore({"txm86_a1", "txm86_b2", "txm86_c3", "other_1"});
   const std::set<std::string> before = Snapshot();

   ASSERT_EQ(Repair(kStudio.upgradeCode, Package(kStudio.argument)), RepairOutcome::Repaired) << Log();

   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_TRUE(ctx_.repairRebootNeeded);
   std::set<std::string> expected = before;
   for (const char* component : kStudio.packedComponents) {
      EXPECT_EQ(expected.erase(Upper(kComponentsKey + std::string(component))), 1u) << component;
   }
   for (const char* folder : {"txm86_a1", "txm86_b2", "txm86_c3"}) {
      EXPECT_EQ(expected.erase(Upper(std::string("DRVSTORE\\") + folder)), 1u) << folder;
   }
   EXPECT_EQ(Snapshot(), expected);
   EXPECT_EQ(MsiQueryProductStateA(kOther.productCode), INSTALLSTATE_DEFAULT);
   EXPECT_TRUE(Logged("wWinMain: No Desktop product installed."));
   EXPECT_TRUE(Logged("Run into repair operation for Tessix Studio."));
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Handle {a1b2c3d4-0001-4abc-8def-0123456789ab} - Core"));
   EXPECT_TRUE(Logged(std::string("RemoveComponentFromMSIDatabase: Try to delete key ") + kComponentsKey +
                      kStudio.packedComponents[0] + "."));
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Total read 3 components, fixed interrupt 3 components."));
   EXPECT_TRUE(Logged("RemoveDriverPackageInDrvStore: removed 3 driver package for txm86"));
   EXPECT_TRUE(Logged("Setup successfully repaired the installation information for Tessix Desktop product."));
   EXPECT_FALSE(OfferRestartAfterRepair(ctx_, module_)) << "a silent run answers No";
   EXPECT_TRUE(Logged("Reboot required by [Repair], prompting user"));

   // The product can be installed again.
   EXPECT_EQ(MsiInstallProductW(Win32U_Wide(Package(kStudio.argument)).c_str(), L""), 0u);
}

TEST_F(RepairMode, NothingRegisteredNothingRemovedNoRestart)
{
   const std::set<std::string> before = Snapshot();
   ASSERT_EQ(Repair(kStudio.upgradeCode, Package(kStudio.argument)), RepairOutcome::Repaired) << Log();
   EXPECT_EQ(ctx_.exitCode, 0);
   EXPECT_FALSE(ctx_.repairRebootNeeded);
   EXPECT_EQ(Snapshot(), before);
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Total read 3 components, fixed interrupt 0 components."));
   EXPECT_TRUE(Logged("RemoveDriverPackageInDrvStore: There has no remained driver package in drvstore."));
   EXPECT_TRUE(Logged("Setup successfully repaired the installation information for Tessix Desktop product."));
   EXPECT_FALSE(OfferRestartAfterRepair(ctx_, module_));
   EXPECT_EQ(Log().find("Reboot required by"), std::string::npos);
}

TEST_F(RepairMode, RefusesWhileADesktopProductIsInstalled)
{
   for (const TestProduct* product : {&kStudio, &kViewer}) {
      const std::string name = product == &kStudio ? "Tessix Studio" : "Tessix Viewer";
      SCOPED_TRACE(name);
      Install(*product);
      MakeStore({"txm86_a1"});
      const std::set<std::string> before = Snapshot();
      ctx_.exitCode = 0;

      EXPECT_EQ(Repair(kStudio.upgradeCode, Package(kStudio.argument)), RepairOutcome::ProductInstalled);

      EXPECT_EQ(ctx_.exitCode, 1638);
      EXPECT_FALSE(ctx_.repairRebootNeeded);
      EXPECT_EQ(Snapshot(), before);
      EXPECT_TRUE(Logged("Setup detected product " + name +
                         " installed, uninstall the application using Programs and Features in Control Panel and "
                         "retry the repair again."));
      EXPECT_EQ(MsiConfigureProductExA(product->productCode, 0, INSTALLSTATE_ABSENT, ""), 0u);
      RemoveTree(store_);
   }
   EXPECT_EQ(Log().find("Run into repair operation"), std::string::npos);
}

TEST_F(RepairMode, RefusesAnotherProductsLauncher)
{
   Interrupt(kStudio);
   MakeStore({"txm86_a1"});
   const std::set<std::string> before = Snapshot();
   EXPECT_EQ(Repair(kOther.upgradeCode, Package(kStudio.argument)), RepairOutcome::NotDesktopLauncher);
   EXPECT_EQ(ctx_.exitCode, 1610);
   EXPECT_EQ(Snapshot(), before);
   EXPECT_TRUE(Logged("Setup cannot continue. The repair operation needs the Tessix Studio installer."));
}

TEST_F(RepairMode, CancelAtTheWarningChangesNothing)
{
   Interrupt(kStudio);
   const std::set<std::string> before = Snapshot();
   ctx_.silent = false;
   BoxPresser presser(L"Tessix Product Installation", IDCANCEL, "repair-warning");
   // The upgrade code is compared ignoring case.
   std::string upgradeCode = kStudio.upgradeCode;
   std::transform(upgradeCode.begin(), upgradeCode.end(), upgradeCode.begin(), ::tolower);
   EXPECT_EQ(Repair(upgradeCode, Package(kStudio.argument)), RepairOutcome::Cancelled);
   EXPECT_EQ(presser.Join().text.rfind("Setup will attempt to forcefully repair Tessix Desktop product", 0), 0u);
   EXPECT_EQ(ctx_.exitCode, 1602);
   EXPECT_EQ(Snapshot(), before);
   EXPECT_TRUE(Logged("User chose to cancel repair operation"));
}

TEST_F(RepairMode, RegistrationThatCannotBeDeletedFailsTheRepair)
{
   Interrupt(kStudio);
   // A key with a sub-key is not a registration Windows Installer wrote; it is not deleted.
   const std::string odd = kComponentsKey + std::string(kStudio.packedComponents[1]);
   ASSERT_TRUE(CreateKey(odd + "\\Extra"));

   EXPECT_EQ(Repair(kStudio.upgradeCode, Package(kStudio.argument)), RepairOutcome::RepairFailed);

   EXPECT_EQ(ctx_.exitCode, 1603);
   EXPECT_TRUE(ctx_.repairRebootNeeded) << "two registrations were removed";
   EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, odd));
   EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(kStudio.packedComponents[0])));
   EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(kStudio.packedComponents[2])));
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Total read 3 components, fixed interrupt 2 components."));
   EXPECT_TRUE(
       Logged("Setup encountered an error trying to repair installation information for Tessix Desktop product."));
   DeleteTree(HKEY_LOCAL_MACHINE, odd);
}

TEST_F(RepairMode, MissingPackageFailsTheRepair)
{
   EXPECT_EQ(Repair(kStudio.upgradeCode, logDir_ / "missing.msi"), RepairOutcome::RepairFailed);
   EXPECT_EQ(ctx_.exitCode, 1603);
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Extracted MSI dismissed, cancel to repair."));
}

TEST_F(RepairMode, RowsThatAreNoComponentCodesAreSkipped)
{
   Interrupt(kStudio);
   // What a program identifier would name if it were taken for a component code.
   GUID shell;
   const bool progIdKnown = SUCCEEDED(CLSIDFromString(L"Shell.Application", &shell));
   char packed[33] = "";
   if (progIdKnown) {
      BuildMSIDatabaseCmpID(shell, packed, sizeof packed);
      ASSERT_TRUE(CreateKey(kComponentsKey + std::string(packed)));
   }
   unsigned removed = 99;
   EXPECT_TRUE(FixInterruptedMSIDatabase(Package(kOddPackageArgument), removed));
   EXPECT_EQ(removed, 3u);
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: convert guid string Shell.Application to guid failed, ignore it. "
                      "(2147746291)"));
   EXPECT_TRUE(Logged("FixInterruptedMSIDatabase: Total read 5 components, fixed interrupt 3 components."));
   if (progIdKnown) {
      EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(packed)));
      DeleteTree(HKEY_LOCAL_MACHINE, kComponentsKey + std::string(packed));
   }
}

TEST_F(RepairMode, PackedComponentCodes)
{
   struct Case {
      const char* code;
      const char* packed;
   } cases[] = {
       {"{12345678-ABCD-EF01-2345-6789ABCDEF01}", "87654321DCBA10FE32547698BADCFE10"},
       {"{a1b2c3d4-0001-4abc-8def-0123456789ab}", "4D3C2B1A1000CBA4D8FE1032547698BA"},
   };
   for (const auto& c : cases) {
      GUID guid;
      ASSERT_EQ(CLSIDFromString(Win32U_Wide(c.code).c_str(), &guid), S_OK);
      char packed[33];
      EXPECT_TRUE(BuildMSIDatabaseCmpID(guid, packed, sizeof packed));
      EXPECT_STREQ(packed, c.packed);
   }
   GUID guid;
   CLSIDFromString(L"{12345678-ABCD-EF01-2345-6789ABCDEF01}", &guid);
   char small[32] = "untouched";
   EXPECT_FALSE(BuildMSIDatabaseCmpID(guid, small, sizeof small));
   EXPECT_STREQ(small, "untouched");
   EXPECT_TRUE(Logged("BuildMSIDatabaseCmpID: Buffer too small."));
}

TEST_F(RepairMode, SilentRepairThroughThePackedLauncher)
{
   Interrupt(kStudio);
   MakeStore({"txm86_a1", "txm86_b2", "txm86_c3"});
   std::set<std::string> expected = Snapshot();

   const LauncherRun run = RunRepairLauncher(kStudioLauncherArgument);

   // The repair needs a restart that a silent run does not perform.
   EXPECT_EQ(run.exitCode, 3010u) << run.log;
   for (const char* component : kStudio.packedComponents) {
      expected.erase(Upper(kComponentsKey + std::string(component)));
   }
   for (const char* folder : {"txm86_a1", "txm86_b2", "txm86_c3"}) {
      expected.erase(Upper(std::string("DRVSTORE\\") + folder));
   }
   EXPECT_EQ(Snapshot(), expected);
   EXPECT_TRUE(
       HasLine(run.log, "I0: FixInterruptedMSIDatabase: Total read 3 components, fixed interrupt 3 components."));
   EXPECT_TRUE(
       HasLine(run.log, "I0: Setup successfully repaired the installation information for Tessix Desktop product."));
   EXPECT_TRUE(HasLine(run.log, "I0: Reboot required by [Repair], prompting user"));
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: 3010"));
   EXPECT_EQ(run.tempFiles.size(), 1u) << "only the log is left: the extracted package is cleaned up";
}

TEST_F(RepairMode, PackedLauncherRefusalsAndFailuresExitNonZero)
{
   // Installed product: 1638; another product's launcher: 1610; a registration that cannot be
   // deleted: 1603. None of them changes what the repair must not touch.
   Install(kStudio);
   std::set<std::string> before = Snapshot();
   LauncherRun run = RunRepairLauncher(kStudioLauncherArgument);
   EXPECT_EQ(run.exitCode, 1638u) << run.log;
   EXPECT_EQ(Snapshot(), before);
   EXPECT_EQ(MsiQueryProductStateA(kStudio.productCode), INSTALLSTATE_DEFAULT);

   ForgetProduct(kStudio);
   before = Snapshot();
   run = RunRepairLauncher(kOtherLauncherArgument);
   EXPECT_EQ(run.exitCode, 1610u) << run.log;
   EXPECT_EQ(Snapshot(), before);

   const std::string blocked = kComponentsKey + std::string(kStudio.packedComponents[0]);
   ASSERT_TRUE(CreateKey(blocked + "\\Extra"));
   run = RunRepairLauncher(kStudioLauncherArgument);
   EXPECT_EQ(run.exitCode, 1603u) << run.log;
   EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, blocked));
   DeleteTree(HKEY_LOCAL_MACHINE, blocked);
}
