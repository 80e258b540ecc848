// Version resources of files on disk (the engine, its upgrader, kernel32, the runtime
// packages), through version.dll bound at run time: it is not a KnownDLL.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "apps/install/setup/prereqRules.h"

struct VersionApi {
   DWORD(WINAPI* getFileVersionInfoSize)(LPCWSTR, LPDWORD);
   BOOL(WINAPI* getFileVersionInfo)(LPCWSTR, DWORD, DWORD, LPVOID);
   BOOL(WINAPI* verQueryValue)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
};

// Null when version.dll or one of its entries cannot be had (last error set).
const VersionApi* FileVersion_Api();

// Where reading a file's version block stopped.
enum class VersionReadStep : int {
   Done = 0,
   Size = 1,     // GetFileVersionInfoSizeW
   Allocate = 2, // the block's memory
   Read = 3,     // GetFileVersionInfoW
};

struct VersionBlock {
   std::vector<BYTE> data;
   DWORD size = 0; // the size GetFileVersionInfoSizeW reported
};

// The whole version block of `path`; on failure the step and the Windows error.
DWORD FileVersion_LoadBlock(const std::string& path, VersionBlock& block, VersionReadStep* failedStep);

// The fixed file information of a loaded block; false (last error set) when there is none.
bool FileVersion_Fixed(const VersionBlock& block, VS_FIXEDFILEINFO& fixed);

// The file version words of `path`, or nothing (last error set).
std::optional<FourPartVersion> FileVersion_Read(const std::string& path);
