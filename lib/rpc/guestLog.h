// Guest log forwarding to the host this program runs under: the host's wish for a log level,
// and the logger's lines sent to it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lib/rpc/guestLogText.h"

// 5 "info", 6 "verbose", 7 "trivia"; 1 (forwarding off) for any other answer, for no answer and
// outside a virtual machine.
uint32_t GuestLog_GetHostLevel();

// Sends the lines of `text` (length bytes) to the host, one command per line; the text is only
// read. False when any line could not be sent, and outside a virtual machine, where nothing is
// sent at all: the logger calls this for every line, and on bare hardware the trap could end the
// process.
bool GuestLog_ForwardText(const char* text, size_t length);
