// The progress bar's share of the payload extraction: the percentage of bytes written and what
// each chunk report sends to the progress thread. Pure arithmetic; the Windows callbacks that
// post the messages live in extractCallbacks.cpp.
#pragma once

#include <cstdint>

// The record the main flow hands to the extraction as callback context: created with the
// progress thread's identifier and the payload's size, freed when extraction ends. lastPercent
// is the last percentage sent to the bar; a new record starts at 0.
struct ProgressRecord {
   uint32_t threadId = 0;
   uint64_t totalBytes = 0;
   uint64_t doneBytes = 0;
   int32_t lastPercent = 0;
};

// done * 100 / total. Above 10,000,000 bytes done, both are divided by 8 until done is below,
// so the product never overflows; a total that scales to 0 gives 0.
uint64_t ExtractPercent(uint64_t done, uint64_t total);

struct ExtractProgressStep {
   bool postIncrement; // send `increment` to the bar (lastPercent becomes the percentage)
   int32_t increment;
   bool disableCancel; // from 91 % on the extraction can no longer be cancelled
};

// Advances record.doneBytes by `bytes` and decides what this chunk report sends. The bar follows
// the extraction only up to the first report at or above 95 %; the main flow's milestones bring
// it to 100.
ExtractProgressStep NextExtractProgress(ProgressRecord& record, uint64_t bytes);
