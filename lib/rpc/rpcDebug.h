// The hypervisor channel's debug reports. They belong to a debug channel that has no output in
// this program: a host problem is chased by routing this one function somewhere, and meanwhile
// the compiler still checks every report's format against its arguments.
#pragma once

#include "lib/misc/panic.h"

inline void Rpc_Debug(const char* fmt, ...) TX_PRINTF(1, 2);
inline void Rpc_Debug(const char* /*fmt*/, ...) {}
