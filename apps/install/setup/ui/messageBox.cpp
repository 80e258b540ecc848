#include "apps/install/setup/ui/messageBox.h"

#include <commctrl.h>
#include <shellapi.h>

#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/pickButton.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace {

constexpr UINT kTaskDialogConfigBytes = 160;
constexpr TASKDIALOG_FLAGS kTaskDialogFlags = TDF_ENABLE_HYPERLINKS | TDF_ALLOW_DIALOG_CANCELLATION;

bool IsSilent()
{
   return silentFlag != nullptr && *silentFlag;
}

HWND VisibleOwner(HWND owner)
{
   return owner != nullptr && IsWindowVisible(owner) ? owner : nullptr;
}

std::string Load(HMODULE module, UINT message)
{
   char text[kMessageTextBytes] = "";
   LoadMessage(module, message, text, sizeof text);
   return text;
}

// Catalogue texts carry printf placeholders; the formatted text is kept whole, whatever the
// length of what is inserted.
template <typename... Args>
std::string Format(HMODULE module, UINT message, Args... args)
{
   const std::string pattern = Load(module, message);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
   return Str_Format(pattern.c_str(), args...);
#pragma GCC diagnostic pop
}

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

TaskDialogIndirectFn TaskDialogEntry()
{
   static const auto entry = SysLib_Find<TaskDialogIndirectFn>(L"comctl32.dll", "TaskDialogIndirect");
   return entry;
}

} // namespace

int PickButton(uint32_t style)
{
   const PickedButton picked = PickButtonFor(style);
   if (picked.logIt) {
      Inst_LogMsg("PickButton: Running silent, assume button id %d", picked.id);
   }
   return picked.id;
}

int DisplayMessageBox(HWND owner, const char* text, const char* caption, uint32_t style)
{
   Inst_LogMsg("DisplayMessageBox: \"%s\" - \"%s\"", caption, text);
   if (IsSilent()) {
      return PickButton(style);
   }
   return Win32U_MessageBox(VisibleOwner(owner), text, caption, style);
}

HRESULT CALLBACK OnTaskDialogLink(HWND window, UINT notification, WPARAM /*wParam*/, LPARAM link, LONG_PTR /*data*/)
{
   if (notification == TDN_HYPERLINK_CLICKED) {
      ShellExecuteW(window, nullptr, reinterpret_cast<const wchar_t*>(link), nullptr, nullptr, SW_SHOW);
   }
   return S_OK;
}

int PostTaskDialog(HMODULE module, HWND owner, const char* caption, UINT contentMessage, const char* contentInsert,
                   const wchar_t* mainIcon, UINT mainInstructionMessage, int commonButtons,
                   const TASKDIALOG_BUTTON* customButtons, UINT customButtonCount, int defaultButton)
{
   if (IsSilent()) {
      return defaultButton;
   }
   const std::string content =
      contentInsert != nullptr ? Format(module, contentMessage, contentInsert) : Load(module, contentMessage);
   const std::string instruction = mainInstructionMessage != 0 ? Load(module, mainInstructionMessage) : std::string();
   Inst_LogMsg("PostTaskDialog: \"%s\" - \"%s\"", caption, content.c_str());

   const std::wstring wideCaption = Win32U_ToWide(caption).value_or(std::wstring());
   const std::wstring wideContent = Win32U_ToWide(content).value_or(std::wstring());
   const std::wstring wideInstruction = Win32U_ToWide(instruction).value_or(std::wstring());
   TASKDIALOGCONFIG config{};
   static_assert(sizeof config == kTaskDialogConfigBytes, "the task dialog record of 64-bit Windows");
   config.cbSize = sizeof config;
   config.hwndParent = VisibleOwner(owner);
   config.dwFlags = kTaskDialogFlags;
   config.pszWindowTitle = wideCaption.c_str();
   config.pszMainIcon = mainIcon;
   config.pszMainInstruction = wideInstruction.empty() ? nullptr : wideInstruction.c_str();
   config.pszContent = wideContent.c_str();
   config.nDefaultButton = defaultButton;
   config.pfCallback = OnTaskDialogLink;
   if (customButtons != nullptr && customButtonCount != 0) {
      config.pButtons = customButtons;
      config.cButtons = customButtonCount;
   } else {
      config.dwCommonButtons = commonButtons;
   }
   int pressed = 0;
   const TaskDialogIndirectFn taskDialog = TaskDialogEntry();
   const HRESULT result = taskDialog != nullptr ? taskDialog(&config, &pressed, nullptr, nullptr)
                                                : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
   if (FAILED(result)) {
      Inst_LogMsg("ERROR: TaskDialogIndirect failed with 0x%X", static_cast<unsigned>(result));
      return 0;
   }
   return pressed;
}

int ShowMessage(HMODULE module, HWND owner, const char* caption, UINT message, uint32_t style)
{
   return DisplayMessageBox(owner, Load(module, message).c_str(), caption, style);
}

int ShowMessageWithNumber(HMODULE module, HWND owner, const char* caption, UINT message, int number, uint32_t style)
{
   return DisplayMessageBox(owner, Format(module, message, number).c_str(), caption, style);
}

void ShowMessageWithText(HMODULE module, HWND owner, const char* caption, UINT message, const char* text,
                         uint32_t style)
{
   DisplayMessageBox(owner, Format(module, message, text).c_str(), caption, style);
}

void ShowMessageWithTextAndNumber(HMODULE module, HWND owner, const char* caption, UINT message, const char* text,
                                  int number, uint32_t style)
{
   DisplayMessageBox(owner, Format(module, message, text, number).c_str(), caption, style);
}

int ShowMessageWithInsert(HMODULE module, HWND owner, const char* caption, UINT message, const char* insert,
                          uint32_t style)
{
   const std::wstring pattern = Win32U_ToWide(Load(module, message)).value_or(std::wstring());
   const std::wstring wideInsert = Win32U_ToWide(insert != nullptr ? insert : "").value_or(std::wstring());
   DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(wideInsert.c_str())};
   wchar_t* expanded = nullptr;
   const DWORD length = pattern.empty() ? 0
                                        : FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING |
                                                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                                         pattern.c_str(), 0, 0, reinterpret_cast<wchar_t*>(&expanded),
                                                         0, reinterpret_cast<va_list*>(arguments));
   const auto text = length > 0 ? Win32U_ToUtf8(std::wstring_view(expanded, length)) : std::nullopt;
   if (expanded != nullptr) {
      LocalFree(expanded);
   }
   if (!text) {
      ShowOutOfMemory(module, owner, caption, MB_ICONERROR);
      return -1;
   }
   return DisplayMessageBox(owner, text->c_str(), caption, style);
}

int ShowOutOfMemory(HMODULE module, HWND owner, const char* caption, uint32_t style)
{
   return ShowMessage(module, owner, caption, MSG_OUT_OF_MEMORY, style);
}

void ShowSetupCanceled(HMODULE module, HWND owner, const char* caption, uint32_t style)
{
   ShowMessage(module, owner, caption, MSG_CANCELED, style);
}

void ShowUsage(HMODULE module, HWND owner, const char* caption)
{
   ShowMessage(module, owner, caption, MSG_USAGE, MB_ICONINFORMATION);
}

int ShowTaskMessage(HMODULE module, HWND owner, const char* caption, UINT message, const char* insert,
                    const wchar_t* mainIcon, UINT mainInstructionMessage, int commonButtons, int defaultButton)
{
   return PostTaskDialog(module, owner, caption, message, insert, mainIcon, mainInstructionMessage, commonButtons,
                         nullptr, 0, defaultButton);
}
