// The VC runtime packages the launcher carries and the runtimes Windows may already have: the
// fixed tables and the rule that turns a table row and the configuration into package paths.
// Pure code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct VcRuntimeRow {
   uint32_t version;      // the runtime's major version
   const char* arguments; // the installer's arguments, beginning with a blank
   const char* subFolder; // inside the extraction folder, ending with a back-slash, or ""
};

inline constexpr VcRuntimeRow vcRuntimeTable[] = {
    {8, " /Q /C:\"msiexec -i vcredist.msi -qn -leom+ tx_vc8SP1.log ARPSYSTEMCOMPONENT=1\"", ""},
    {9, " /Q", "vc90\\"},
    {10, " /Q", "vc100\\"},
    {12, " /Q", "vc120\\"},
    {14, " /Q /norestart", "vc140\\"},
};

// Microsoft's product codes of runtimes before version 14, in the order they are asked.
struct InstalledRuntimeRow {
   uint32_t version;
   uint32_t bits;
   const char* productCode;
};

inline constexpr InstalledRuntimeRow installedRuntimeTable[] = {
    {8, 32, "{7299052b-02a4-4627-81f2-1818da5d550d}"},  {8, 64, "{071C9B48-7C32-4621-A0AC-3F809523288F}"},
    {8, 32, "{837B34E3-7C30-493C-8F6A-2B0F04E2912C}"},  {8, 64, "{6CE5BAE9-D3CA-4B99-891A-1DC6C118A5FC}"},
    {8, 32, "{710F4C1C-CC18-4C49-8CBF-51240C89A1A2}"},  {8, 64, "{AD8A2FA1-06E7-4B0D-927D-6E54B3D31028}"},
    {9, 32, "{1F1C2DFC-2D24-3E06-BCB8-725134ADF989}"},  {9, 64, "{4B6C7001-C7D6-3710-913E-5BC23FCE91E6}"},
    {9, 32, "{9BE518E6-ECC6-35A9-88E4-87755C07200F}"},  {9, 64, "{5FCE6D76-F5DC-37AB-B2B8-22AB8CEDB1D4}"},
    {10, 32, "{196BB40D-1578-3D01-B289-BEFC77A11A1E}"}, {10, 64, "{DA5E371C-6333-3D8A-93A4-6FD5B20BCC6E}"},
    {12, 32, "{13A4EE12-23EA-3371-91EE-EFB36DDFFF3E}"}, {12, 64, "{A749D8E6-B613-3BE3-8F5F-045C84EBA29B}"},
};

// The runtime settings of the configuration: VCRUNTIME_VER and VCRUNTIME_VER_ALT (0 when
// absent or not a number) and the four package names (empty when not configured).
struct RuntimeSettings {
   uint32_t version = 0;
   uint32_t versionAlt = 0;
   std::string runtime32;
   std::string runtime64;
   std::string runtime32Alt;
   std::string runtime64Alt;
};

enum class RuntimePass : int {
   Configured = 1, // VCRUNTIME_VER with VCRUNTIME32/64, or the Arm64 default names
   Alternate = 2,  // VCRUNTIME_VER_ALT with VCRUNTIME32/64_ALT, or the x86/x64 default names
};

// Package paths relative to the extraction folder; an empty path is skipped with a log line.
struct RuntimePackages {
   std::string path32;
   std::string path64;
};

// The packages of one row in one pass, or nothing when the pass skips the row.
std::optional<RuntimePackages> Runtime_PackagesFor(RuntimePass pass, const VcRuntimeRow& row,
                                                   const RuntimeSettings& settings);

// The newest runtime version of the rows whose packages either pass would install (a path is
// formed for them), or 0 when none would.
uint32_t Runtime_NewestToInstall(const RuntimeSettings& settings);
