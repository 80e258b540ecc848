// How much room the extraction asks of a drive, and the megabyte figures of the log. Pure code.
#pragma once

#include <cstdint>
#include <optional>

// Which of the VC runtime keys exist as configuration resources.
struct RuntimeResources {
   bool vcRuntime32 = false;
   bool vcRuntime64 = false;
   bool vcRuntime32Alt = false;
   bool vcRuntime64Alt = false;
};

// The payload size times 1.2 plus 6 MiB; then REQ_MB_SPACE megabytes when it was read (and is
// not 0), otherwise the estimate for each runtime package the configuration names. Saturates at
// the largest value instead of wrapping round to a small request.
uint64_t Room_Required(uint64_t payloadSize, std::optional<uint32_t> requiredMegabytes,
                       const RuntimeResources& runtimes);

// Megabytes as the log shows them: 0 for 0 bytes, else whole megabytes plus one.
uint64_t Room_Megabytes(uint64_t bytes);
