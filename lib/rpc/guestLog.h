// Guest log forwarding: log text handed to the host over the RPC channel.
#pragma once

#include <cstddef>

// Sends the lines of `text` (length bytes) to the host. False when the host could not be told.
bool GuestLog_ForwardText(const char* text, size_t length);
