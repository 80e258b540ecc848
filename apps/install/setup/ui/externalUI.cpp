#include "apps/install/setup/ui/externalUI.h"

#include <commctrl.h>

#include "apps/install/setup/ui/installerHandler.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/msiRecord.h"
#include "apps/install/setup/ui/splashLanguage.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"

namespace
{

constexpr size_t kTextBytes = kMessageTextBytes;
constexpr int kCentrePercent = 50;
constexpr UINT kUninstallingMessage = 39;
constexpr UINT kInitializingMessage = 41;
constexpr UINT kUninstallTitleMessage = 42;

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

   const uint32_t kind = type & InstallMessage::KindMask;
   const uint32_t flags = type & 0x00FFFFFF;
   const char* body = text != nullptr ? text : "";
   switch (kind) {
   case InstallMessage::FatalExit:
      Inst_LogMsg("Fatal Exit");
      return ShowBox(body, title, flags);
   case InstallMessage::Error:
      Inst_LogMsg("Error: %s", body);
      MessageBeep(flags & 0xF0);
      return ShowBoxInLanguage(body, title, flags, language);
   case InstallMessage::Warning:
      Inst_LogMsg("Warning: %s", body);
      return ShowBox(body, title, flags);
   case InstallMessage::User:
      Inst_LogMsg("User message: %s", body);
      return ShowBox(body, title, flags);
   case InstallMessage::Info:
   case InstallMessage::OutOfDiskSpace:
      return IDOK;
   case InstallMessage::FilesInUse:
   case InstallMessage::ResolveSource:
      return 0;
   case InstallMessage::ActionStart:
      return OnActionStart(text);
   case InstallMessage::ActionData:
      if (progressTotal != 0 && stepOnActionData) {
         SendDlgItemMessageW(Window(), IDC_PROGRESS, PBM_STEPIT, 0, 0);
      }
      return IDOK;
   case InstallMessage::Progress:
      return OnProgress(body);
   case InstallMessage::CommonData:
      return OnCommonData(body);
   case InstallMessage::Initialize: {
      Inst_LogMsg("Install Initializing");
      const std::string initializing = LoadText(Module(), kInitializingMessage);
      if (initializing.empty()) {
         Inst_LogMsg("[Error] Failed to get text.");
      } else {
         Win32U_SetWindowText(GetDlgItem(Window(), IDC_ACTION), initializing.c_str());
      }
      return IDOK;
   }
   case InstallMessage::Terminate:
      return IDOK;
   case InstallMessage::ShowDialog:
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
            const int32_t step = MsiRecord_BarTicks(field[1], progressBackward != 0);
            SendMessageW(bar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
            stepOnActionData = true;
         } else {
            stepOnActionData = false;
         }
         break;
      case 2:
         if (progressTotal != 0) {
            const int32_t delta = MsiRecord_BarTicks(field[1], progressBackward != 0);
            SendMessageW(bar, PBM_DELTAPOS, static_cast<WPARAM>(delta), 0);
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
   return DispatchInstallerMessage<CExternalUI>(context, kExternalUISignature, "Received no context with the message. ",
                                                "Received message from wrong context: ", type, message);
}
