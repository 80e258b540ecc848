// Removal of a kernel driver's old packages from the driver store folder, left behind by an
// interrupted installation or removal.
#pragma once

// Deletes every folder "<driverName>_*" in "<system folder>\DRVSTORE\". True when no such
// folder is left; `reboot` is cleared once the folders were enumerated.
bool RemoveDriverPackageInDrvStore(const char* driverName, bool& reboot);
