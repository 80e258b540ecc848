#include "apps/install/setup/repair.h"

#include <objbase.h>

#include "apps/install/setup/productCodes.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/driverStore.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/install/msiUtil.h"
#include "lib/install/netCfg.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

constexpr UINT kMsgRepairWarning = 73;
constexpr UINT kMsgNotDesktopLauncher = 74;
constexpr UINT kMsgRepaired = 75;
constexpr UINT kMsgRepairFailed = 76;
constexpr UINT kMsgProductInstalled = 77;
constexpr size_t kMessageBytes = kMessageTextBytes;
constexpr DWORD kFieldBytes = 256 * 3; // 256 characters of UTF-8
constexpr DWORD kRelatedProductChars = 39;

const char kDriverName[] = "txm86";
const char kComponentsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\";
const char kComponentQuery[] = "SELECT Component,ComponentId from Component";
const char kFix[] = "FixInterruptedMSIDatabase";
const char kRemoveComponent[] = "RemoveComponentFromMSIDatabase";

// Leaves COM on every path once it was entered.
struct ComScope {
   HRESULT result = CoInitialize(nullptr);
   ComScope() = default;
   ComScope(const ComScope&) = delete;
   ComScope& operator=(const ComScope&) = delete;
   ~ComScope()
   {
      if (SUCCEEDED(result)) {
         CoUninitialize();
      }
   }
};

// A record field as UTF-8, read into room for 256 characters.
UINT ReadField(MSIHANDLE record, UINT field, std::string& out)
{
   char text[kFieldBytes];
   DWORD size = sizeof text;
   const UINT result = MsiUtil_RecordGetString(record, field, text, &size);
   if (result == ERROR_SUCCESS) {
      out.assign(text, size);
   }
   return result;
}

enum class Removal { Absent, Removed, Failed };

Removal RemoveComponentFromMSIDatabase(const std::string& keyPath)
{
   if (!DumpRegKeyValues(keyPath.c_str())) {
      return Removal::Absent;
   }
   Inst_LogMsg("%s: Try to delete key %s.", kRemoveComponent, keyPath.c_str());
   const LONG result = Win32U_RegDeleteKeyEx(HKEY_LOCAL_MACHINE, keyPath.c_str(), KEY_WOW64_64KEY, 0);
   if (result != ERROR_SUCCESS) {
      Inst_LogMsg("%s: Failed to delete key %s. (%ld)", kRemoveComponent, keyPath.c_str(), static_cast<long>(result));
      return Removal::Failed;
   }
   return Removal::Removed;
}

// Catalogue texts carry printf placeholders; the text is cut to the buffer.
std::string MessageText(HMODULE module, UINT message, const char* insert = nullptr)
{
   char text[kMessageBytes] = "";
   LoadMessage(module, message, text, sizeof text);
   if (insert == nullptr) {
      return text;
   }
   const std::string pattern = text;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
   Str_Snprintf(text, sizeof text, pattern.c_str(), insert);
#pragma GCC diagnostic pop
   return text;
}

// A notice of the repair: shown, or in a silent run only logged.
void Notify(const SetupContext& ctx, const std::string& text, uint32_t style)
{
   if (ctx.silent) {
      Inst_LogMsg("%s", text.c_str());
      return;
   }
   DisplayMessageBox(messageOwner, text.c_str(), ctx.windowTitle.c_str(), style);
}

// The three actions, with file-system redirection switched off around them. `reboot` is set
// when one of them changed the machine in a way that needs a restart.
bool RunRepairActions(const SetupContext& ctx, const std::string& packagePath, bool& reboot)
{
   // Only a 32-bit process under WOW64 has a redirection to switch off; Windows refuses the
   // call in a native process, whose system folder is the real one already.
   const bool redirected = Util_IsWow64();
   void* redirection = nullptr;
   if (redirected && !Win32U_Wow64DisableWow64FsRedirection(&redirection)) {
      Inst_LogMsg("%s: Disable FS Redirect failed (%d), cancel.", "RepairInstallInfo",
                  static_cast<int>(GetLastError()));
      return false;
   }
   bool driverStoreReboot = false;
   const bool driverStoreOk = RemoveDriverPackageInDrvStore(kDriverName, driverStoreReboot);
   unsigned removedCount = 0;
   const bool componentsOk = FixInterruptedMSIDatabase(packagePath, removedCount);
   bool bridgeReboot = false;
   HRESULT bridgeResult = S_OK;
   const std::wstring title = Win32U_ToWide(ctx.windowTitle).value_or(std::wstring());
   const bool bridgeOk = RemoveBridgeAdapterNotification(title.c_str(), bridgeReboot, bridgeResult);
   if (redirected) {
      Win32U_Wow64RevertWow64FsRedirection(redirection);
   }
   reboot = removedCount > 0 || driverStoreReboot || bridgeReboot;
   return driverStoreOk && componentsOk && bridgeOk;
}

RepairOutcome RunRepair(SetupContext& ctx, const RepairSettings& settings)
{
   const MsiApi* msi = MsiUtil_Api();
   if (msi == nullptr) {
      // Without Windows Installer nothing tells whether the product is installed.
      Inst_LogMsg("%s: Windows Installer is not available (%u), cancel.", "RepairInstallInfo",
                  static_cast<unsigned>(GetLastError()));
      Notify(ctx, MessageText(settings.module, kMsgRepairFailed), MB_ICONINFORMATION | MB_TOPMOST);
      return RepairOutcome::RepairFailed;
   }
   const int installed = FindInstalledDesktopProduct([msi](const char* upgradeCode, unsigned index) {
      char product[kRelatedProductChars] = {};
      return msi->enumRelatedProducts(upgradeCode, 0, index, product);
   });
   if (installed >= 0) {
      Notify(ctx, MessageText(settings.module, kMsgProductInstalled, desktopProductTable[installed].name),
             MB_ICONWARNING | MB_TOPMOST);
      return RepairOutcome::ProductInstalled;
   }
   Inst_LogMsg("%s: No Desktop product installed.", "wWinMain");
   if (!Str_EqualsNoCase(settings.upgradeCode, desktopProductTable[0].upgradeCode)) {
      const std::string text = MessageText(settings.module, kMsgNotDesktopLauncher);
      Inst_LogMsg("%s", text.c_str());
      if (!ctx.silent) {
         DisplayMessageBox(messageOwner, text.c_str(), ctx.windowTitle.c_str(), MB_ICONWARNING | MB_TOPMOST);
      }
      return RepairOutcome::NotDesktopLauncher;
   }
   Inst_LogMsg("Run into repair operation for %s.", settings.productName.c_str());
   // Only an explicit OK goes on: a box that could not be shown is no consent to a forced repair.
   if (!ctx.silent && ShowMessage(settings.module, messageOwner, ctx.windowTitle.c_str(), kMsgRepairWarning,
                                  MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST) != IDOK) {
      Inst_LogMsg("User chose to cancel repair operation");
      return RepairOutcome::Cancelled;
   }
   bool reboot = false;
   const bool ok = RunRepairActions(ctx, settings.packagePath, reboot);
   Notify(ctx, MessageText(settings.module, ok ? kMsgRepaired : kMsgRepairFailed), MB_ICONINFORMATION | MB_TOPMOST);
   if (reboot) {
      ctx.repairRebootNeeded = true;
   }
   return ok ? RepairOutcome::Repaired : RepairOutcome::RepairFailed;
}

} // namespace

RepairOutcome RepairInstallInfo(SetupContext& ctx, const RepairSettings& settings)
{
   const RepairOutcome outcome = RunRepair(ctx, settings);
   ctx.exitCode = RepairExitCode(outcome, ctx.exitCode);
   return outcome;
}

bool BuildMSIDatabaseCmpID(const GUID& guid, char* buffer, size_t size)
{
   if (buffer == nullptr || size < kPackedGuidBytes) {
      Inst_LogMsg("%s: Buffer too small.", "BuildMSIDatabaseCmpID");
      return false;
   }
   // The system's text of a GUID has upper-case digits, so the packed code has them too.
   wchar_t text[kBracedGuidChars + 1];
   return StringFromGUID2(guid, text, kBracedGuidChars + 1) != 0 && MsiUtil_PackGuid(Win32U_Utf8(text), buffer, size);
}

bool FixInterruptedMSIDatabase(const std::string& packagePath, unsigned& removedCount)
{
   removedCount = 0;
   Inst_LogMsg("%s: Enter", kFix);
   if (!Util_FileExists(packagePath)) {
      Inst_LogMsg("%s: Extracted MSI dismissed, cancel to repair.", kFix);
      return false;
   }
   const ComScope com;
   if (FAILED(com.result)) {
      Inst_LogMsg("%s: Can't initialize COM (%d), cancel to repair.", kFix, static_cast<int>(com.result));
      return false;
   }
   MsiHandle database;
   const UINT opened = MsiUtil_OpenDatabase(packagePath.c_str(), nullptr /* read-only */, database.put());
   if (opened != ERROR_SUCCESS) {
      Inst_LogMsg("%s: Open database as readonly failed. (%u)", kFix, opened);
      return false;
   }
   MsiHandle view;
   UINT result = MsiUtil_DatabaseOpenView(database.get(), kComponentQuery, view.put());
   if (result == ERROR_SUCCESS) {
      result = MsiUtil_Api()->viewExecute(view.get(), 0);
   }
   if (result != ERROR_SUCCESS) {
      Inst_LogMsg("%s: Open component view failed. (%u)", kFix, result);
      return false;
   }
   unsigned total = 0;
   bool allDeleted = true;
   MsiHandle record;
   while ((result = MsiUtil_Api()->viewFetch(view.get(), record.put())) == ERROR_SUCCESS) {
      total++;
      std::string name;
      std::string code;
      UINT read = ReadField(record.get(), 1, name);
      if (read != ERROR_SUCCESS) {
         Inst_LogMsg("%s: Read component field failed, ignore it. (%u)", kFix, read);
         continue;
      }
      read = ReadField(record.get(), 2, code);
      if (read != ERROR_SUCCESS) {
         Inst_LogMsg("%s: Read componentId field failed, ignore it. (%u)", kFix, read);
         continue;
      }
      Inst_LogMsg("%s: Handle %s - %s", kFix, code.c_str(), name.c_str());
      GUID guid;
      const HRESULT parsed =
          MsiUtil_IsBracedGuid(code) ? CLSIDFromString(Win32U_Wide(code).c_str(), &guid) : CO_E_CLASSSTRING;
      if (FAILED(parsed)) {
         Inst_LogMsg("%s: convert guid string %s to guid failed, ignore it. (%u)", kFix, code.c_str(),
                     static_cast<unsigned>(parsed));
         continue;
      }
      char packed[kPackedGuidBytes];
      BuildMSIDatabaseCmpID(guid, packed, sizeof packed);
      const Removal removal = RemoveComponentFromMSIDatabase(kComponentsKey + std::string(packed));
      if (removal == Removal::Removed) {
         removedCount++;
      } else if (removal == Removal::Failed) {
         allDeleted = false;
      }
   }
   if (result != ERROR_NO_MORE_ITEMS) {
      Inst_LogMsg("%s: Fetch component record failed. (%u)", kFix, result);
   }
   Inst_LogMsg("%s: Total read %u components, fixed interrupt %u components.", kFix, total, removedCount);
   return result == ERROR_NO_MORE_ITEMS && allDeleted;
}
