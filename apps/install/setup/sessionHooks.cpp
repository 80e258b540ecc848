#include "apps/install/setup/sessionHooks.h"

SessionHooks SessionHooksFor(CExternalUI& removalWindow, CHelperUI& helperWindow)
{
   SessionHooks hooks;
   hooks.uninstallObject = &removalWindow;
   hooks.createUninstallUi = [](void* object, const char* title, const char* oldProductName) {
      return static_cast<CExternalUI*>(object)->CreateUninstallUI(nullptr, title, oldProductName);
   };
   hooks.destroyUninstallUi = [](void* object) { static_cast<CExternalUI*>(object)->Destroy(); };
   hooks.uninstallHandler = ExternalUIHandler;
   hooks.helperObject = &helperWindow;
   hooks.helperHandler = HelperUIHandler;
   hooks.destroyHelperUi = [](void* object) { static_cast<CHelperUI*>(object)->Destroy(); };
   return hooks;
}
