// The version rules of the prerequisite checks: the Windows Installer engine against its
// minimum, the engine upgrader's own version, the Windows 2000 kernel fix, the runtime's
// version text, and the upgrader's arguments. Pure code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A version's four parts as the fixed file information holds them (two 32-bit words).
struct FourPartVersion {
   uint32_t high; // major << 16 | minor
   uint32_t low;  // build << 16 | revision
};

// Major times 100 plus minor: 5.0 gives 500, the unit of MINIMUM_NT_MSI.
uint32_t Prereq_EngineVersion(FourPartVersion version);

// The upgrader's version in the same unit, less 1000, in unsigned 32-bit arithmetic: an
// upgrader below version 10.0 wraps around to a large value and meets any minimum.
uint32_t Prereq_UpgraderVersion(FourPartVersion version);

// kernel32.dll of Windows 2000 carries the fix of security bulletin MS04-011 (KB835732) from
// version 5.0.2195.6897 on; later systems always have it.
bool Prereq_HasKernelFix835732(FourPartVersion kernel32);

// "%d.%d.%d.%d".
std::string Prereq_VersionText(FourPartVersion version);

inline constexpr uint32_t kMsiWithQuietUpgrader = 201;

// The engine upgrader's arguments: the Windows Installer 3.1 update ("instmsiw.exe" while the
// NT minimum is at least 2.01) takes the quiet switches, the older packages the msiinst ones.
std::string Prereq_UpgraderArguments(std::string_view upgraderFileName, uint32_t minimumMsiNt);
