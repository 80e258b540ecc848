// What every fuzz target shares: a property check that stops the run with the input kept, and
// the input read as values (clang's FuzzedDataProvider).
#pragma once

#include <cstdio>
#include <cstdlib>

#include <fuzzer/FuzzedDataProvider.h>

// A broken property is a finding like a crash: report it and abort, so libFuzzer saves the input.
#define FUZZ_CHECK(cond)                                                                                               \
   ((cond) ? (void)0 : (std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__), std::abort()))
