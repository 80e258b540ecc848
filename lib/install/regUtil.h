// Logged registry operations with an explicit choice of the 32-bit or 64-bit view.
#pragma once

#include <windows.h>

#include <string>

const char* Util_GetRootKeyName(HKEY root);
bool Util_IsWow64();

bool Util_CreateKey(HKEY root, const char* keyPath, DWORD options, bool use64BitView);
bool Util_DoesKeyExist(HKEY root, const char* keyPath, bool use64BitView);
bool Util_IsKeyEmpty(HKEY root, const char* keyPath);
// Deletes the key and everything below it, deepest keys first. False only for a null or empty
// key path; a failed deletion shows in the log.
bool Util_DeleteKey(HKEY root, const char* keyPath);
bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, std::string& out,
                            bool use64BitRegistry, bool use32BitRegistry);
bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, char* buffer, DWORD* bufferSize,
                            bool use64BitRegistry, bool use32BitRegistry);
bool Util_SetKeyValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const void* data,
                      DWORD dataSize, DWORD keyOptions, bool use64BitView);
// Diagnostic: the REG_SZ values of a key under HKEY_LOCAL_MACHINE (64-bit view) into the log.
bool DumpRegKeyValues(const char* keyPath);
