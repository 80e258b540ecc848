#include "apps/install/setup/installerError.h"

#include <optional>
#include <string>

#include "apps/install/setup/sessionRules.h"
#include "apps/install/setup/ui/messageBox.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr UINT kMessageInstallerReturned = 32;

// msimsg.dll only holds texts: it is mapped as data from the system folder, so no code of a
// planted copy could run.
std::optional<std::string> InstallerText(uint32_t code)
{
   UniqueModule texts(
       LoadLibraryExW(L"msimsg.dll", nullptr,
                      LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
   if (!texts) {
      return std::nullopt;
   }
   const auto text = Win32U_LoadString(texts.get(), code);
   return text && !text->empty() ? text : std::nullopt;
}

} // namespace

int ShowInstallerError(HMODULE resources, HWND owner, const char* caption, uint32_t code, uint32_t style)
{
   if (IsInstallerErrorSilent(code)) {
      return 0;
   }
   const uint32_t shown = InstallerErrorShownCode(code);
   if (const auto text = InstallerText(shown)) {
      return DisplayMessageBox(owner, text->c_str(), caption, style);
   }
   return ShowMessageWithNumber(resources, owner, caption, kMessageInstallerReturned, static_cast<int>(shown),
                                MB_ICONERROR);
}
