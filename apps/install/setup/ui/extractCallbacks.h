// What the main thread sends to the progress window: the extraction's per-chunk and per-file
// callbacks (context: the run's ProgressRecord) and the milestone increments of the main flow.
#pragma once

#include <cstdint>

#include "apps/install/setup/ui/extractProgress.h"

// Per chunk written: false stops the extraction once the user has cancelled. `context` is the
// ProgressRecord; its thread identifier is 0 when no progress thread runs.
bool ExtractProgressCallback(void* context, uint64_t bytesWritten);

// Per file: logs "  --> <name> [<size>]".
void ExtractFileCallback(void* context, const char* name, uint64_t size);

// Logs "<caller>: Incrementing progress by 5." and advances the bar by 5.
void IncrementProgress(uint32_t threadId, const char* caller);
