// Helpers for the tests of the configuration, the resource editor and the payload: configured
// copies of the built launcher, containers, and the launcher log of the test process.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/unit/testSupport.h"

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// A copy of the built launcher (the test program's first argument) at `path`.
bool CopyLauncher(const std::string& path);

// Writes type-40 values through CResource; an empty result means every write worked.
std::string SetConfigValues(const std::string& image, const KeyValues& values);

// An image loaded as resources only, released at the end.
class ImageResources
{
 public:
   explicit ImageResources(const std::string& path);
   ~ImageResources();
   ImageResources(const ImageResources&) = delete;
   ImageResources& operator=(const ImageResources&) = delete;
   HMODULE get() const { return module_; }

 private:
   HMODULE module_;
};

// The launcher log of this process, written into a private temporary folder.
class LogCapture
{
 public:
   LogCapture();
   ~LogCapture();
   std::string Text() const;
   // The number of lines ending with `tail` (the part after the level letters).
   size_t Count(const std::string& tail) const;
   bool Has(const std::string& tail) const { return Count(tail) > 0; }
   const ScratchDir& temp() const { return temp_; }

 private:
   ScratchDir temp_{"pkglog"};
   TempFolderOverride override_{temp_.path() + "\\"};
};

bool WriteBinaryFile(const std::string& path, const std::string& bytes);
// Deterministic bytes of the given length.
std::string Pattern(size_t length, unsigned seed);
