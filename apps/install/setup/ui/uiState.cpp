#include "apps/install/setup/ui/uiState.h"

HANDLE readyEvent = nullptr;
volatile bool userCancelled = false;
volatile bool stopRequested = false;
HWND volatile messageOwner = nullptr;
const bool* silentFlag = nullptr;
