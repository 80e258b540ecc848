// The launcher's message catalogue: numbered texts in the string tables of its own image, in
// nine languages; the resource loader picks the table by the thread's UI language.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

enum MessageId : UINT {
   MSG_TITLE = 11,
   MSG_OUT_OF_MEMORY = 12,
   MSG_CANCEL_BUTTON = 14,
   MSG_NOT_CONFIGURED = 15,
   MSG_PREPARING = 16,
   MSG_SFX_CORRUPTED = 17,
   MSG_NOT_SFX = 21,
   MSG_EXTRACT_FAILED = 22,
   MSG_CANCELED = 24,
   MSG_BAD_MSI_VERSION = 25,
   MSG_USAGE_OLD = 35,
   MSG_NOT_ENOUGH_SPACE = 49,
   MSG_A_TESSIX_PRODUCT = 50,
   MSG_ANOTHER_INSTANCE = 51,
   MSG_NEED_ADMIN = 61,
   MSG_OS_TOO_OLD_VM = 62,
   MSG_ONLY_IN_VM = 78,
   MSG_USAGE = 79,
   MSG_OS_TOO_OLD = 80,
};

// Every fixed buffer a catalogue text is loaded into has this size, and every text of every
// language fits it whole (a test checks each one): a text cut here would show cut mid-word.
inline constexpr size_t kMessageTextBytes = 2048;

// Copies the text, cut to whole UTF-8 characters within bufSize (>= 1), into buf. A missing
// message leaves buf as it was.
void LoadMessage(HMODULE module, UINT id, char* buf, size_t bufSize);

// The whole text, or nothing when the message is missing.
std::optional<std::string> LoadMessageAlloc(HMODULE module, UINT id);
