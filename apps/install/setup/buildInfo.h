// Build constants of the launcher.
#pragma once

#ifndef TX_BUILD_NUMBER
#error "TX_BUILD_NUMBER comes from the build"
#endif

#define TX_STRINGIFY2(x) #x
#define TX_STRINGIFY(x) TX_STRINGIFY2(x)

inline constexpr char kProductName[] = "Tessix Tools";
inline constexpr char kProductVersion[] = "13.0.1.0";
inline constexpr char kProductVersionShort[] = "13.0.1";
inline constexpr unsigned kBuildNumber = TX_BUILD_NUMBER;
inline constexpr char kBuildText[] = "build-" TX_STRINGIFY(TX_BUILD_NUMBER);
inline constexpr char kLauncherLogTag[] = "BootStrapper-build-" TX_STRINGIFY(TX_BUILD_NUMBER);
