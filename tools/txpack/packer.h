// txpack's work: a copy of the built launcher with the product's configuration, version
// information and bitmaps written through CResource, and the payload container appended.
#pragma once

#include "tools/txpack/packInput.h"

// Returns the process exit code: 0, or 1 with the reason on the error stream (the output file
// is then removed).
int Pack_Run(const PackOptions& options);
