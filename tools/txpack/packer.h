// txpack's work: a copy of the built launcher with the product's configuration, version
// information and bitmaps written through CResource, and the payload container appended.
#pragma once

#include "tools/txpack/packInput.h"

// Returns the process exit code: 0, or 1 with the reason on the error stream. The new launcher is
// made in a temporary file beside the output and renamed over it at the end: on failure the output
// is left as it was and the temporary file is removed.
int Pack_Run(const PackOptions& options);
