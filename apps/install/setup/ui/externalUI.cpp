#include "apps/install/setup/ui/externalUI.h"

#include <commctrl.h>

#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/msiRecord.h"
#include "apps/install/setup/ui/splashLanguage.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"

namespace
{

constexpr size_t kTextBytes = 1024;
constexpr int kCentrePercent = 50;
constexpr UINT kUninstallingMessage = 39;
constexpr UINT kInitializingMessage = 41;
constexpr UINT kUninstallTitleMessage = 42;

// Windows Installer message kinds (INSTALLMESSAGE_*), the high byte of the message type.
enum : uint32_t {
   kFatalExit = 0x00000000,
   kError = 0x01000000,
   kWarning = 0x02000000,
   kUser = 0x03000000,
   kInfo = 0x04000000,
   kFilesInUse = 0x05000000,
   kResolveSource = 0x06000000,
   kOutOfDiskSpace = 0x07000000,
   kActionStart = 0x08000000,
   kActionData = 0x09000000,
   kProgress = 0x0A000000,
   kCommonData = 0x0B000000,
   kInitialize = 0x0C000000,
   kTerminate = 0x0D000000,
   kShowDialog = 0x0E000000,
};

std::string LoadText(HMODULE module, UINT id)
{
   char text[kTextBytes] = "";
   LoadMessage(module, id, text, sizeof text);
   return text;
}

int ShowBox(const char* text, const std::string& caption, uint32_t flags)
{
   return Win32U_MessageBox(nullptr, text, caption.c_str(), flags);
}

int ShowBoxInLanguage(const char* text, const std::string& caption, uint32_t flags, uint16_t language)
{
   const std::wstring wideText = Win32U_ToWide(text).value_or(std::wstring());
   const std::wstring wideCaption = Win32U_ToWide(caption).value_or(std::wstring());
   return MessageBoxExW(nullptr, wideText.c_str(), wideCaption.c_str(), flags, language);
}

} // namespace

CExternalUI::CExternalUI(HMODULE module) : CDlgProgress(module, CDlgProgress::DefaultDialogProc) {}

bool CExternalUI::CreateUninstallUI(HWND owner, const char* windowTitle, const char* productName)
{
   if (!Create(owner, windowTitle, true, kCentrePercent, kCentrePercent, true)) {
      Inst_LogMsg("[Error] Failed to create uninstallation UI.");
      return false;
   }
   if (Window() == nullptr) {
      Inst_LogMsg("[Error] No uninstall window");
      return false;
   }
   const char* product = productName != nullptr ? productName : "";
   const std::string banner = LoadText(Module(), kUninstallingMessage);
   if (banner.empty()) {
      Inst_LogMsg("[Error] Failed to get banner text.");
   } else {
      Win32U_SetWindowText(GetDlgItem(Window(), IDC_BANNER), FormatMessageText(banner, product, kTextBytes).c_str());
   }
   const std::string caption = LoadText(Module(), kUninstallTitleMessage);
   if (caption.empty()) {
      Inst_LogMsg("[Error] Failed to get uninstaller title.");
      return false;
   }
   title = FormatMessageText(caption, product, kTextBytes);
   HWND cancel = GetDlgItem(Window(), IDC_CANCEL);
   if (cancel == nullptr) {
      Inst_LogMsg("[Error] Failed to get cancel button from uninstall dialog.");
      return false;
   }
   EnableWindow(cancel, FALSE);
   return true;
}

int CExternalUI::OnMessage(uint32_t type, const char* text)
{
   if (signature != kExternalUISignature) {
      Inst_LogMsg("Received message from wrong context: %p", static_cast<void*>(this));
      return -1;
   }
   if (Window() == nullptr) {
      Inst_LogMsg("[Error] No uninstall window");
      return -1;
   }
   if (GetDlgItem(Window(), IDC_PROGRESS) == nullptr) {
      Inst_LogMsg("[Error] Failed to get progress bar from uninstall dialog.");
      return -1;
   }
   if (GetDlgItem(Window(), IDC_CANCEL) == nullptr) {
      Inst_LogMsg("[Error] Failed to get cancel button from uninstall dialog.");
      return -1;
   }
   PumpMessages();

   const uint32_t kind = type & 0xFF000000;
   const uint32_t flags = type & 0x00FFFFFF;
   const char* body = text != nullptr ? text : "";
   switch (kind) {
   case kFatalExit:
      Inst_LogMsg("Fatal Exit");
      return ShowBox(body, title, flags);
   case kError:
      Inst_LogMsg("Error: %s", body);
      MessageBeep(flags & 0xF0);
      return ShowBoxInLanguage(body, title, flags, language);
   case kWarning:
      Inst_LogMsg("Warning: %s", body);
      return ShowBox(body, title, flags);
   case kUser:
      Inst_LogMsg("User message: %s", body);
      return ShowBox(body, title, flags);
   case kInfo:
   case kOutOfDiskSpace:
      return IDOK;
   case kFilesInUse:
   case kResolveSource:
      return 0;
   case kActionStart:
      return OnActionStart(text);
   case kActionData:
      if (progressTotal != 0 && stepOnActionData) {
         SendDlgItemMessageW(Window(), IDC_PROGRESS, PBM_STEPIT, 0, 0);
      }
      return IDOK;
   case kProgress:
      return OnProgress(body);
   case kCommonData:
      return OnCommonData(body);
   case kInitialize: {
      Inst_LogMsg("Install Initializing");
      const std::string initializing = LoadText(Module(), kInitializingMessage);
      if (initializing.empty()) {
         Inst_LogMsg("[Error] Failed to get text.");
      } else {
         Win32U_SetWindowText(GetDlgItem(Window(), IDC_ACTION), initializing.c_str());
      }
      return IDOK;
   }
   case kTerminate:
      return IDOK;
   case kShowDialog:
      Inst_LogMsg("[Info] Received show dialog message");
      return IDOK;
   default:
      Inst_LogMsg("[Info] MessageType: %Xh Message: %s", static_cast<unsigned>(kind), body);
      return 0;
   }
}

int CExternalUI::OnActionStart(const char* text)
{
   if (text == nullptr) {
      Inst_LogMsg("No expected delimiter or null message");
      return -1;
   }
   const ActionStartText action = ParseActionStart(text);
   switch (action.outcome) {
   case ActionStartText::Outcome::MissingBlank:
      Inst_LogMsg("%d space not found", action.blanksFound);
      Inst_LogMsg("No expected delimiter or null message");
      return -1;
   case ActionStartText::Outcome::NoDescription:
      return -1;
   case ActionStartText::Outcome::Ok:
      break;
   }
   Win32U_SetWindowText(GetDlgItem(Window(), IDC_ACTION), std::string(action.description).c_str());
   return IDOK;
}

int CExternalUI::OnProgress(const char* text)
{
   MsiRecordFields record;
   if (ParseProgressRecord(text, record)) {
      HWND bar = GetDlgItem(Window(), IDC_PROGRESS);
      const int64_t* field = record.value;
      switch (field[0]) {
      case 0: {
         progressTotal = static_cast<uint32_t>(field[1]);
         progressBackward = field[2] != 0 ? 1 : 0;
         // The full 32-bit range: with the 16-bit message a total above 65535 would wrap (100000
         // ticks gave a bar full at a third of the work, 65536 one that never moved).
         const uint32_t upper = progressTotal > 0x7FFFFFFF ? 0x7FFFFFFF : progressTotal;
         SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(upper));
         const uint32_t start = scriptInProgress || progressBackward != 0 ? progressTotal : 0;
         SendMessageW(bar, PBM_SETPOS, start, 0);
         scriptInProgress = field[3] == 1;
         break;
      }
      case 1:
         if (field[2] != 0) {
            const int32_t step = static_cast<int32_t>(field[1]);
            SendMessageW(bar, PBM_SETSTEP, static_cast<WPARAM>(progressBackward != 0 ? -step : step), 0);
            stepOnActionData = true;
         } else {
            stepOnActionData = false;
         }
         break;
      case 2:
         if (progressTotal != 0) {
            const int32_t delta = static_cast<int32_t>(field[1]);
            SendMessageW(bar, PBM_DELTAPOS, static_cast<WPARAM>(progressBackward != 0 ? -delta : delta), 0);
         }
         break;
      default:
         Inst_LogMsg("Received unknown progress message");
         break;
      }
   }
   if (!CancelRequested() || cancelReported) {
      return IDOK;
   }
   Inst_LogMsg("[Info] User has cancelled. Returning IDCANCEL");
   cancelReported = true;
   return IDCANCEL;
}

int CExternalUI::OnCommonData(const char* text)
{
   MsiRecordFields record;
   if (ParseCommonData(text, record)) {
      if (record.value[0] == 0) {
         language = static_cast<uint16_t>(record.value[1] & 0xFFFF);
      } else if (record.value[0] == 2) {
         ShowWindow(GetDlgItem(Window(), IDC_CANCEL), record.value[1] != 0 ? SW_SHOW : SW_HIDE);
      }
   }
   return IDOK;
}

int WINAPI ExternalUIHandler(void* context, UINT type, const wchar_t* message)
{
   if (context == nullptr) {
      Inst_LogMsg("Received no context with the message. ");
      return 0;
   }
   auto* ui = static_cast<CExternalUI*>(context);
   if (ui->signature != kExternalUISignature) {
      Inst_LogMsg("Received message from wrong context: %p", context);
      return -1;
   }
   if (message == nullptr) {
      return ui->OnMessage(type, nullptr);
   }
   const auto text = Win32U_ToUtf8(message);
   return ui->OnMessage(type, text ? text->c_str() : "");
}
