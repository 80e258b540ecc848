// Logged registry operations with an explicit choice of the 32-bit or 64-bit view.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "lib/misc/win32u.h"

const char* Util_GetRootKeyName(HKEY root);
bool Util_IsWow64();

bool Util_CreateKey(HKEY root, const char* keyPath, DWORD options, bool use64BitView);
bool Util_DoesKeyExist(HKEY root, const char* keyPath, bool use64BitView);
bool Util_IsKeyEmpty(HKEY root, const char* keyPath);
// Deletes the key and everything below it, deepest keys first. A missing key counts as deleted.
// False for a null or empty key path, and when a deletion is refused: the deletion ends at the
// first refusal, which is logged once with the registry's own error.
bool Util_DeleteKey(HKEY root, const char* keyPath);
// A key with its values and sub-keys as they were read, enough to write the key back byte for
// byte. Held as the registry gives them (UTF-16 names, raw data): only handed back to it.
struct RegKeySnapshot {
   struct Value {
      std::wstring name; // empty for the default value
      DWORD type = REG_NONE;
      std::vector<BYTE> data;
   };
   std::vector<Value> values;
   std::vector<std::pair<std::wstring, RegKeySnapshot>> subKeys;
};
// Reads the key and everything below it (native view). False, logged, when any part of it
// cannot be read: a snapshot that misses something cannot put the key back as it was.
bool Util_SaveKeyTree(HKEY root, const char* keyPath, RegKeySnapshot& snapshot);
// Writes a saved key back: missing keys are created (non-volatile), saved values written over
// what is there. False, logged, at the first refusal.
bool Util_RestoreKeyTree(HKEY root, const char* keyPath, const RegKeySnapshot& snapshot);

bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, std::string& out,
                            bool use64BitRegistry, bool use32BitRegistry);
bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, char* buffer, DWORD* bufferSize,
                            bool use64BitRegistry, bool use32BitRegistry);
bool Util_SetKeyValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const void* data,
                      DWORD dataSize, DWORD keyOptions, bool use64BitView);
// Diagnostic: the REG_SZ values of a key under HKEY_LOCAL_MACHINE (64-bit view) into the log.
bool DumpRegKeyValues(const char* keyPath);

// The system calls of the key deletion. Tests put a table of their own in front of the real one
// (null restores it) for the answers Windows gives where Wine's differ: keys that can be neither
// opened nor deleted, errors returned without touching the last error.
struct RegUtilCalls {
   decltype(&Win32U_RegOpenKeyEx) openKeyEx;
   decltype(&Win32U_RegEnumKeyEx) enumKeyEx;
   decltype(&Win32U_RegDeleteKey) deleteKey;
};
void Util_SetRegistryCallsForTest(const RegUtilCalls* calls);
