// The list of components that need Windows restarted before their work is complete: one value
// under a volatile key, so the list goes away with the restart it asks for. Marker files in the
// temporary folder are a second way in.
#pragma once

#include <string>

constexpr char kRebootParentKey[] = "SOFTWARE\\Tessix, Inc.";
constexpr char kRebootListKey[] = "SOFTWARE\\Tessix, Inc.\\NeedReboot";
constexpr char kRebootListValue[] = "Components";
constexpr char kRebootMarkerFile[] = "txreboot.tmp";
constexpr char kRebootMarkerFileAlt[] = "tessixboot.tmp";

bool Util_SetReboot(const char* component);
// Moves a marker file of the temporary folder into the list: its own name, then its text.
void Util_ConvertRebootFileToRebootComponent(const char* fileName);
bool Util_GetRebootComponents(std::string& list);
bool Util_NeedReboot();
