// The launcher's exit codes: Windows and Windows Installer error numbers, so that deployment
// tools read them as they read msiexec's. A refusal is never 0.
#pragma once

#include <cstdint>

enum SetupExitCode : int32_t {
   ExitSuccess = 0,
   ExitNoAdminRights = 5,              // ERROR_ACCESS_DENIED
   ExitExtractionFailed = 87,          // ERROR_INVALID_PARAMETER: the payload could not be extracted
   ExitNoDriveWithRoom = 112,          // ERROR_DISK_FULL: silent run, no drive with room
   ExitModulePathWithoutFolder = 123,  // ERROR_INVALID_NAME
   ExitUserCancelled = 1602,           // ERROR_INSTALL_USEREXIT
   ExitFatal = 1603,                   // ERROR_INSTALL_FAILURE
   ExitBadConfiguration = 1610,        // ERROR_BAD_CONFIGURATION
   ExitAnotherInstance = 1618,         // ERROR_INSTALL_ALREADY_RUNNING
   ExitUnsupportedSystem = 1633,       // ERROR_INSTALL_PLATFORM_UNSUPPORTED
   ExitBadCommandLine = 1639,          // ERROR_INVALID_COMMAND_LINE
   ExitRebootRequired = 3010,          // ERROR_SUCCESS_REBOOT_REQUIRED
};
