// Guest log forwarding over a given door: the host's wish for a log level, and log text sent to
// the host one line per command. Pure code; guestLog.h binds it to the hypervisor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/rpc/backdoorCall.h"

constexpr uint32_t kGuestLogLevelOff = 1;
constexpr uint32_t kGuestLogLevelInfo = 5;
constexpr uint32_t kGuestLogLevelVerbose = 6;
constexpr uint32_t kGuestLogLevelTrivia = 7;

inline constexpr char kGuestLogLinePrefix[] = "guest.log.text ==INSTLOG ";

// "info" 5, "verbose" 6, "trivia" 7, anything else (compared exactly) 1.
uint32_t GuestLog_LevelFromWord(std::string_view word);

// Asks the host ("guest.log.state"); a host that does not answer gives 1 (forwarding off).
uint32_t GuestLog_GetHostLevel(const BackdoorDoor& door);

// Sends every line of the first `length` bytes of `text` (the walk also ends at a NUL) as
// "guest.log.text ==INSTLOG <line>". A carriage return or line feed ends a line; empty lines and
// bytes after the last line break are not sent. The text is only read. False when a line could
// not be sent (the rest are still sent) or when `text` is null.
bool GuestLog_ForwardText(const BackdoorDoor& door, const char* text, size_t length);
