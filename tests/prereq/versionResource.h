// Gives a test copy of a program the version resource a case needs, written with the
// resource-update calls, so one stand-in serves every version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TestVersion {
   uint16_t parts[4];                      // major, minor, build, revision (file and product version)
   std::optional<std::string> productName; // nothing: no ProductName string
   bool translation = true;                // false: no VarFileInfo\Translation
};

// Replaces the version resource of `path`; nothing leaves one without version numbers or strings.
bool SetTestVersion(const std::string& path, const std::optional<TestVersion>& version);
