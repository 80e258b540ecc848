// The removal window: while an older version is removed, Windows Installer's own UI is off and
// its messages come to ExternalUIHandler, which shows errors as message boxes, the current
// action on the action line and the progress on the bar of a progress dialog.
//
// Registration, by the session, for the duration of one removal call:
//   CExternalUI ui(module);
//   MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
//   if (!ui.CreateUninstallUI(nullptr, productName, oldProductName)) { ...message 36/37... }
//   previous = MsiSetExternalUIW(ExternalUIHandler, 0x7FDF, &ui);
//   MsiConfigureProductExA(...INSTALLSTATE_ABSENT...);
//   ui.Destroy();
//   MsiSetExternalUIW(previous, 0, nullptr);
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "apps/install/setup/ui/dlgProgress.h"

inline constexpr uint32_t kExternalUISignature = 0x01674ADB;
inline constexpr DWORD kExternalUIFilter = 0x7FDF; // every message kind but files-in-use

class CExternalUI : public CDlgProgress
{
 public:
   explicit CExternalUI(HMODULE module);

   // A centred dialog with the banner "Uninstalling <product>..." and Cancel disabled; the
   // message boxes get the caption "<product> Uninstallation".
   bool CreateUninstallUI(HWND owner, const char* windowTitle, const char* productName);

   // One installer message: the kind in the high byte of `type`, message-box flags below.
   int OnMessage(uint32_t type, const char* text);

   uint32_t signature = kExternalUISignature;
   uint16_t language = 0;
   bool stepOnActionData = false;
   bool cancelReported = false;
   std::string title;
   uint32_t progressTotal = 0;
   uint32_t progressBackward = 0;
   bool scriptInProgress = false;

 private:
   int OnProgress(const char* text);
   int OnCommonData(const char* text);
   int OnActionStart(const char* text);
};

// The INSTALLUI_HANDLERW given to MsiSetExternalUIW; `context` is the CExternalUI.
int WINAPI ExternalUIHandler(void* context, UINT type, const wchar_t* message);
