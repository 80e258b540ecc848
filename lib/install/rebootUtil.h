// The list of components that need Windows restarted before their work is complete: one value
// under a volatile key, so the list goes away with the restart it asks for. Marker files in the
// temporary folder are a second way in.
#pragma once

#include <string>
#include <vector>

constexpr char kRebootParentKey[] = "SOFTWARE\\Tessix, Inc.";
constexpr char kRebootListKey[] = "SOFTWARE\\Tessix, Inc.\\NeedReboot";
constexpr char kRebootListValue[] = "Components";
constexpr char kRebootMarkerFile[] = "txreboot.tmp";
constexpr char kRebootMarkerFileAlt[] = "tessixboot.tmp";

bool Util_SetReboot(const char* component);
// The folders the marker files are looked for in: the temporary folder of the run and, when it
// differs, the one GetTempPathW names. A run as SYSTEM gets a protected folder of its own, while
// the package's custom actions, running as SYSTEM too, write their markers where the older call
// points (the Windows temporary folder).
std::vector<std::string> Util_RebootMarkerFolders();

// True when a marker `fileName` stands in one of those folders that the restart list would take:
// a plain file, and in the shared Windows temporary folder one that SYSTEM or Administrators own.
bool Util_RebootMarkerPresent(const char* fileName);
// Moves a marker file of those folders into the list: its own name, then its text.
void Util_ConvertRebootFileToRebootComponent(const char* fileName);
bool Util_GetRebootComponents(std::string& list);
bool Util_NeedReboot();
