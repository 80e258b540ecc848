#include "apps/install/setup/ui/helperUI.h"

#include "apps/install/setup/ui/helperUiText.h"
#include "apps/install/setup/ui/installerHandler.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/msiRecord.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resources/resource.h"

namespace
{

constexpr size_t kTextBytes = kMessageTextBytes;
constexpr UINT kCopyingFilesMessage = 40;
constexpr int kWidth = 400;
constexpr int kHeight = 90;
constexpr int kInstallFailure = 1603; // ERROR_INSTALL_FAILURE

INT_PTR CALLBACK HelperDialogProc(HWND window, UINT message, WPARAM /*wParam*/, LPARAM lParam)
{
   if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      return TRUE;
   }
   return FALSE;
}

// Tick counts are signed 32-bit for the bar; a quotient beyond that range is held at its edge.
int32_t Scaled(int64_t ticks, bool negate, int64_t divisor)
{
   int64_t value = (negate ? -ticks : ticks) / (divisor > 0 ? divisor : 1);
   value = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value;
   return static_cast<int32_t>(value);
}

} // namespace

CHelperUI::CHelperUI(HMODULE module) : CDlgProgress(module, HelperDialogProc) {}

CHelperUI::~CHelperUI()
{
   active = false;
}

bool CHelperUI::Create(HWND owner, const char* title)
{
   if (!CDlgProgress::Create(owner, title, false, 50, 50, true)) {
      Inst_LogMsg("[Error] Failed to create helper UI.");
      return false;
   }
   HWND window = Window();
   SetWindowLongPtrW(window, GWL_EXSTYLE, GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
   const RECT work = UiWorkArea();
   const int x = work.left + (work.right - work.left) / 2 - kWidth / 2;
   const int y = work.top + (work.bottom - work.top) / 2 - kHeight / 2;
   MoveWindow(window, x, y, kWidth, kHeight, TRUE);
   MoveWindow(GetDlgItem(window, IDC_ACTION), 8, 10, 380, 16, TRUE);
   MoveWindow(GetDlgItem(window, IDC_PROGRESS), 8, 32, 380, 16, TRUE);
   char copying[kTextBytes] = "";
   LoadMessage(Module(), kCopyingFilesMessage, copying, sizeof copying);
   if (copying[0] != '\0') {
      Win32U_SetWindowText(GetDlgItem(window, IDC_ACTION), copying);
   }
   Win32U_SetWindowText(window, title != nullptr ? title : "");
   ShowWindow(GetDlgItem(window, IDC_PROGRESS), SW_SHOW);
   ShowWindow(GetDlgItem(window, IDC_ACTION), SW_SHOW);
   ShowWindow(GetDlgItem(window, IDC_PRODUCT_ICON), SW_HIDE);
   ShowWindow(GetDlgItem(window, IDC_CANCEL), SW_HIDE);
   ShowWindow(GetDlgItem(window, IDC_BANNER), SW_HIDE);
   ShowWindow(window, SW_SHOW);
   active = true;
   PumpMessages();
   return true;
}

bool CHelperUI::Destroy()
{
   active = false;
   return CDlgProgress::Destroy();
}

int CHelperUI::OnMessage(uint32_t type, const char* text)
{
   if (Window() != nullptr && GetDlgItem(Window(), IDC_PROGRESS) == nullptr) {
      return -1;
   }
   PumpMessages();
   const uint32_t kind = type & InstallMessage::KindMask;
   const char* body = text != nullptr ? text : "";
   if (kind == InstallMessage::Info) {
      return OnInfo(body);
   }
   if (kind == InstallMessage::Progress) {
      return OnProgress(body);
   }
   Inst_LogMsg("[HelperUI]: MessageType: %Xh Message: %s", static_cast<unsigned>(kind), body);
   return 0;
}

int CHelperUI::OnInfo(const char* text)
{
   const HelperUiCommand command = ParseHelperUiText(text);
   switch (command.kind) {
   case HelperUiCommand::Kind::None:
      return IDOK;
   case HelperUiCommand::Kind::Close:
      Destroy();
      return IDOK;
   case HelperUiCommand::Kind::Incomplete:
      // Without an owner title and a total there is nothing sound to show.
      Inst_LogMsg("[HelperUI]: Ignoring enable message without title or total: %s", text);
      return IDOK;
   case HelperUiCommand::Kind::Enable:
      break;
   }
   const HelperUiScale scale = ScaleHelperUiTotal(command.total);
   const auto wideTitle = Win32U_ToWide(command.title);
   HWND owner = wideTitle ? FindWindowW(nullptr, wideTitle->c_str()) : nullptr;
   if (!Create(owner, command.title.c_str())) {
      Inst_LogMsg("[Error] Failed to create helper UI.");
      return kInstallFailure;
   }
   backward = false;
   divisor = scale.divisor;
   SetTotal(static_cast<uint32_t>(scale.range));
   return IDOK;
}

int CHelperUI::OnProgress(const char* text)
{
   if (!active) {
      return 0;
   }
   MsiRecordFields record;
   if (!ParseProgressRecord(text, record)) {
      return 0;
   }
   const int64_t* field = record.value;
   switch (field[0]) {
   case 0: {
      Inst_LogMsg("[HelperUI]: received progress reset message");
      const int32_t total = static_cast<int32_t>(static_cast<uint32_t>(field[1]));
      if (total < 0) {
         Inst_LogMsg("[HelperUI]: Received negative tick count");
         return IDOK;
      }
      divisor = 1;
      SetTotal(static_cast<uint32_t>(total));
      backward = field[2] != 0;
      if (!backward) {
         SetPosition(0);
         scriptInProgress = field[3] == 1;
      } else {
         Destroy(); // a rollback: the helper's own step is over
      }
      return 0;
   }
   case 1:
      Inst_LogMsg("[HelperUI]: Received progress set step message");
      if (field[2] != 0) {
         SetStep(Scaled(field[1], backward, divisor));
      }
      return 0;
   case 2:
      if (Total() != 0) {
         Delta(Scaled(field[1], backward, divisor));
      }
      return 0;
   case 3:
      Inst_LogMsg("[HelperUI]: Ignoring tick count adjustment");
      return 0;
   default:
      Inst_LogMsg("[HelperUI]: Received unknown progress message");
      return 0;
   }
}

int WINAPI HelperUIHandler(void* context, UINT type, const wchar_t* message)
{
   return DispatchInstallerMessage<CHelperUI>(context, kHelperUISignature,
                                              "[HelperUI]: Received no context with the message.",
                                              "[HelperUI]: Received message from wrong context: ", type, message);
}
