// The helper window: during the main installation the product's package can ask, through
// information messages "HelperUI:enable:<owner title>:<total>", for a small progress window of
// the launcher's own while a long step of its own runs; the installer's progress messages then
// drive its bar. It offers no Cancel.
//
// Registration, by the session, around MsiInstallProductW when not silent and HELPER_UI is set:
//   CHelperUI helper(module);
//   previous = MsiSetExternalUIW(HelperUIHandler, kHelperUIFilter, &helper);
//   MsiInstallProductW(...);
//   MsiSetExternalUIW(previous, 0, nullptr);
#pragma once

#include <windows.h>

#include <cstdint>

#include "apps/install/setup/ui/dlgProgress.h"

inline constexpr uint32_t kHelperUISignature = 0x01674ADC;
inline constexpr DWORD kHelperUIFilter = 0x410; // information and progress messages

class CHelperUI : public CDlgProgress
{
 public:
   explicit CHelperUI(HMODULE module);
   ~CHelperUI() override;

   // A 400 by 90 tool window centred in the work area, with the action line ("Copying files...")
   // and the bar only.
   bool Create(HWND owner, const char* title);
   using CDlgProgress::Create;
   bool Destroy() override;

   // One installer message, after the context checks of HelperUIHandler.
   int OnMessage(uint32_t type, const char* text);

   uint32_t signature = kHelperUISignature;
   int64_t divisor = 1; // every tick count from the installer is divided by it
   bool active = false;
   bool backward = false;
   bool scriptInProgress = false;

 private:
   int OnInfo(const char* text);
   int OnProgress(const char* text);
};

// The INSTALLUI_HANDLERW given to MsiSetExternalUIW; `context` is the CHelperUI.
int WINAPI HelperUIHandler(void* context, UINT type, const wchar_t* message);
