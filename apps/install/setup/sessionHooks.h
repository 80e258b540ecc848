// The user interface's removal window and helper window, as the session's hooks.
#pragma once

#include "apps/install/setup/msiSession.h"
#include "apps/install/setup/ui/externalUI.h"
#include "apps/install/setup/ui/helperUI.h"

// Both objects must outlive the session. The signature check stays the launcher's own.
SessionHooks SessionHooksFor(CExternalUI& removalWindow, CHelperUI& helperWindow);
