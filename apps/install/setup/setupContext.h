// The run state of one launcher run, owned by wWinMain for the whole run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct SetupConfig; // the configuration read from the type-40 resources

struct SetupContext {
   // Operating-system facts.
   OSVERSIONINFOEXW osVersion{};
   bool isNt5OrLater = false;
   bool isWindows2000 = false;
   bool isPreVista = false;
   bool isPreWindows8 = false;
   bool isAdmin = false;
   std::string windowTitle;
   std::string modulePath;

   // Early configuration.
   bool upgradeSettingPresent = false;
   bool toolsStyle = false;
   bool singleFile = false;
   bool logCommandLine = true;
   int hostLogLevel = 0;

   // Options of the command line.
   bool silent = false;
   bool adminInstall = false;
   std::string adminTargetPath;
   bool repairMode = false;
   bool unpackOnly = false;
   bool noSystemChange = false;
   bool guestOnlyLogging = false;
   bool printVersions = false;
   int uiLevel = 5;
   std::string installerProperties;
   std::string installerArguments;
   uint32_t msiLogMode = 0x1FDF;
   std::string msiLogPath;
   bool updateAgent = false;
   bool upgradeAtShutdown = false;
   bool showUsage = false;

   // Run progress.
   std::string languageProperty;
   uint64_t payloadSize = 0;
   uint64_t requiredBytes = 0;
   bool payloadExtracted = false;
   HANDLE progressThread = nullptr;
   DWORD progressThreadId = 0;
   bool toolsServicesStopped = false;
   bool vcRebootNeeded = false;
   bool engineRebootNeeded = false;
   bool repairRebootNeeded = false;
   bool installAttempted = false;
   bool installSucceeded = false;
   bool rebootPendingFromUninstall = false;
   int32_t exitCode = 0;

   // Optional configuration values the exit sequence needs.
   std::string logInstName; // LOG_INST_NAME, empty when absent
   std::string logMsiName;  // LOG_MSI_NAME, empty when absent
};
