// Product versions as Windows Installer writes them ("13.0.1", "13.0.1.4"), compared the way
// the session decides between upgrade, same and newer. Pure code.
#pragma once

#include <string_view>

// Up to four dot-separated decimal parts, missing parts 0, compared part by part from the
// first: negative when `installed` is older than `offered`, 0 when equal, positive when newer.
int CompareProductVersions(std::string_view installed, std::string_view offered);
