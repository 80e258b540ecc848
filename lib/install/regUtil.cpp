#include "lib/install/regUtil.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr DWORD kSubKeyNameChars = 512;
constexpr DWORD kDumpNameChars = 16383;
constexpr DWORD kDumpDataBytes = 512;

enum class Access { Read, Create, Write };

REGSAM AccessMask(Access access, bool use64, bool use32)
{
   REGSAM plain = access == Access::Read ? KEY_READ : access == Access::Create ? KEY_ALL_ACCESS : KEY_WRITE;
   const bool wow64 = Util_IsWow64();
   if (use64 && wow64) {
      return plain | KEY_WOW64_64KEY;
   }
   if (use32 && !wow64 && access == Access::Read) {
      return plain | KEY_WOW64_32KEY;
   }
   return plain;
}

bool InvalidPath(const char* keyPath)
{
   return keyPath == nullptr || *keyPath == '\0';
}

constexpr RegUtilCalls kSystemCalls = {Win32U_RegOpenKeyEx, Win32U_RegEnumKeyEx, Win32U_RegDeleteKey};
const RegUtilCalls* testCalls = nullptr;

const RegUtilCalls& Sys()
{
   return testCalls != nullptr ? *testCalls : kSystemCalls;
}

} // namespace

void Util_SetRegistryCallsForTest(const RegUtilCalls* calls)
{
   testCalls = calls;
}

const char* Util_GetRootKeyName(HKEY root)
{
   if (root == HKEY_CLASSES_ROOT)
      return "HKEY_CLASSES_ROOT";
   if (root == HKEY_CURRENT_USER)
      return "HKEY_CURRENT_USER";
   if (root == HKEY_LOCAL_MACHINE)
      return "HKEY_LOCAL_MACHINE";
   if (root == HKEY_USERS)
      return "HKEY_USERS";
   if (root == HKEY_CURRENT_CONFIG)
      return "HKEY_CURRENT_CONFIG";
   return "";
}

bool Util_IsWow64()
{
   static const bool wow64 = [] {
      HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
      using Fn2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
      using Fn1 = BOOL(WINAPI*)(HANDLE, BOOL*);
      auto isWow64Process2 =
          reinterpret_cast<Fn2>(reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process2")));
      USHORT processMachine = 0;
      USHORT nativeMachine = 0;
      if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
         return processMachine != IMAGE_FILE_MACHINE_UNKNOWN;
      }
      auto isWow64Process = reinterpret_cast<Fn1>(reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process")));
      BOOL result = FALSE;
      return isWow64Process && isWow64Process(GetCurrentProcess(), &result) && result;
   }();
   return wow64;
}

bool Util_CreateKey(HKEY root, const char* keyPath, DWORD options, bool use64BitView)
{
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_CreateKey: Invalid keyName in Util_CreateKey");
      return false;
   }
   UniqueRegKey key;
   return Win32U_RegCreateKeyEx(root, keyPath, 0, "", options, AccessMask(Access::Create, use64BitView, false), nullptr,
                                key.put(), nullptr) == ERROR_SUCCESS;
}

bool Util_DoesKeyExist(HKEY root, const char* keyPath, bool use64BitView)
{
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_DoesKeyExist: Invalid keyName");
      return false;
   }
   UniqueRegKey key;
   return Sys().openKeyEx(root, keyPath, 0, AccessMask(Access::Read, use64BitView, false), key.put()) == ERROR_SUCCESS;
}

bool Util_IsKeyEmpty(HKEY root, const char* keyPath)
{
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_IsKeyEmpty: Invalid keyName");
      return false;
   }
   UniqueRegKey key;
   if (Sys().openKeyEx(root, keyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
      Inst_Log(LOG_INFO, "Util_IsKeyEmpty: Failed to open key %s", keyPath);
      return false;
   }
   char name[kSubKeyNameChars];
   DWORD nameSize = sizeof name;
   if (Sys().enumKeyEx(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS) {
      return false;
   }
   nameSize = sizeof name;
   return Win32U_RegEnumValue(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
}

namespace
{

// Deletes the key and its sub-keys, deepest first; the result is the first refusal's status.
// A refused sub-key ends the deletion there: asking for sub-key 0 again would find the same one
// for ever.
LONG DeleteKeyTree(HKEY root, const char* keyPath)
{
   if (!Util_IsKeyEmpty(root, keyPath)) {
      Inst_Log(LOG_WARNING, "Util_DeleteKey: Deleting a key that isn't empty: \"%s\\%s\"", Util_GetRootKeyName(root),
               keyPath);
   }
   UniqueRegKey key;
   const LONG open = Sys().openKeyEx(root, keyPath, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, key.put());
   if (open == ERROR_FILE_NOT_FOUND) {
      return ERROR_SUCCESS; // nothing to delete
   }
   // A key that cannot be opened may still be deletable; its deletion's status tells.
   std::string gone; // the sub-key deleted last
   while (open == ERROR_SUCCESS) {
      // UTF-8 may need up to three bytes per UTF-16 unit of a 512-character name.
      char name[kSubKeyNameChars * 3];
      DWORD nameSize = sizeof name;
      const LONG result = Sys().enumKeyEx(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) {
         break;
      }
      if (result != ERROR_SUCCESS) {
         Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(result),
                          "Util_DeleteKey: Failed to enumerate the sub-keys of %s", keyPath);
         return result;
      }
      if (name == gone) {
         // Still there after its deletion went through (a link to a missing key opens as
         // missing): asking again would go on for ever.
         Inst_LogWinError(LOG_ERROR, ERROR_CANTWRITE, "Util_DeleteKey: Failed to delete key %s", name);
         return ERROR_CANTWRITE;
      }
      const LONG sub = DeleteKeyTree(key.get(), name);
      if (sub != ERROR_SUCCESS) {
         return sub;
      }
      gone = name;
   }
   const LONG deleted = Sys().deleteKey(root, keyPath);
   if (deleted != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(deleted), "Util_DeleteKey: Failed to delete key %s", keyPath);
   }
   return deleted;
}

} // namespace

bool Util_DeleteKey(HKEY root, const char* keyPath)
{
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_DeleteKey: Invalid keyName in DeleteKey");
      return false;
   }
   return DeleteKeyTree(root, keyPath) == ERROR_SUCCESS;
}

namespace
{

constexpr unsigned kSnapshotMaxDepth = 64;

LONG SaveKeyTree(HKEY key, RegKeySnapshot& snapshot, unsigned depth)
{
   if (depth >= kSnapshotMaxDepth) {
      return ERROR_CANTREAD;
   }
   DWORD subKeys = 0;
   DWORD longestSubKey = 0;
   DWORD values = 0;
   DWORD longestValueName = 0;
   DWORD largestData = 0;
   LONG result = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values,
                                  &longestValueName, &largestData, nullptr, nullptr);
   if (result != ERROR_SUCCESS) {
      return result;
   }
   std::vector<wchar_t> name(std::max(longestSubKey, longestValueName) + 1);
   std::vector<BYTE> data(largestData);
   for (DWORD index = 0; index < values; index++) {
      DWORD nameChars = static_cast<DWORD>(name.size());
      DWORD dataSize = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      result = RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &dataSize);
      if (result != ERROR_SUCCESS) {
         return result; // a value that changed under us, too: the snapshot would not be the key
      }
      snapshot.values.push_back(
          {std::wstring(name.data(), nameChars), type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
   }
   for (DWORD index = 0; index < subKeys; index++) {
      DWORD nameChars = static_cast<DWORD>(name.size());
      result = RegEnumKeyExW(key, index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
      if (result != ERROR_SUCCESS) {
         return result;
      }
      snapshot.subKeys.emplace_back(std::wstring(name.data(), nameChars), RegKeySnapshot());
      UniqueRegKey sub;
      result = RegOpenKeyExW(key, snapshot.subKeys.back().first.c_str(), 0, KEY_READ, sub.put());
      if (result == ERROR_SUCCESS) {
         result = SaveKeyTree(sub.get(), snapshot.subKeys.back().second, depth + 1);
      }
      if (result != ERROR_SUCCESS) {
         return result;
      }
   }
   return ERROR_SUCCESS;
}

LONG RestoreKeyTree(HKEY key, const RegKeySnapshot& snapshot)
{
   for (const RegKeySnapshot::Value& value : snapshot.values) {
      const LONG result = RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                                         static_cast<DWORD>(value.data.size()));
      if (result != ERROR_SUCCESS) {
         return result;
      }
   }
   for (const auto& [name, saved] : snapshot.subKeys) {
      UniqueRegKey sub;
      LONG result = RegCreateKeyExW(key, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                    nullptr, sub.put(), nullptr);
      if (result == ERROR_SUCCESS) {
         result = RestoreKeyTree(sub.get(), saved);
      }
      if (result != ERROR_SUCCESS) {
         return result;
      }
   }
   return ERROR_SUCCESS;
}

} // namespace

bool Util_SaveKeyTree(HKEY root, const char* keyPath, RegKeySnapshot& snapshot)
{
   snapshot = RegKeySnapshot();
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_SaveKeyTree: Invalid keyName");
      return false;
   }
   UniqueRegKey key;
   LONG result = Win32U_RegOpenKeyEx(root, keyPath, 0, KEY_READ, key.put());
   if (result == ERROR_SUCCESS) {
      result = SaveKeyTree(key.get(), snapshot, 0);
   }
   if (result != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(result), "Util_SaveKeyTree: Cannot read %s\\%s",
                       Util_GetRootKeyName(root), keyPath);
      snapshot = RegKeySnapshot();
      return false;
   }
   return true;
}

bool Util_RestoreKeyTree(HKEY root, const char* keyPath, const RegKeySnapshot& snapshot)
{
   if (InvalidPath(keyPath)) {
      Inst_Log(LOG_ERROR, "Util_RestoreKeyTree: Invalid keyName");
      return false;
   }
   UniqueRegKey key;
   LONG result = Win32U_RegCreateKeyEx(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                       nullptr, key.put(), nullptr);
   if (result == ERROR_SUCCESS) {
      result = RestoreKeyTree(key.get(), snapshot);
   }
   if (result != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(result), "Util_RestoreKeyTree: Cannot write %s\\%s",
                       Util_GetRootKeyName(root), keyPath);
      return false;
   }
   return true;
}

namespace
{

bool CheckViewFlags(bool use64, bool use32)
{
   if (use64 && use32) {
      Inst_Log(LOG_ERROR, "Util_GetKeyValueString: Cannot set both use64BitRegistry and use32BitRegistry to TRUE");
      return false;
   }
   return true;
}

} // namespace

bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, std::string& out,
                            bool use64BitRegistry, bool use32BitRegistry)
{
   if (!CheckViewFlags(use64BitRegistry, use32BitRegistry)) {
      return false;
   }
   out.clear();
   const REGSAM sam = AccessMask(Access::Read, use64BitRegistry, use32BitRegistry);
   DWORD size = 0;
   {
      UniqueRegKey key;
      if (Win32U_RegOpenKeyEx(root, keyPath, 0, sam, key.put()) != ERROR_SUCCESS) {
         return false;
      }
      const LONG query = Win32U_RegQueryValueEx(key.get(), valueName, nullptr, nullptr, nullptr, &size);
      if (query != ERROR_SUCCESS) {
         Inst_LogWinError(LOG_INFO, static_cast<uint32_t>(query),
                          "Util_GetKeyValueString: Error reading registry value: %s", keyPath);
      }
      if (query != ERROR_SUCCESS || size == 0) {
         return false;
      }
   }
   std::vector<char> buffer;
   try {
      buffer.assign(static_cast<size_t>(size) + 2, '\0');
   } catch (const std::bad_alloc&) {
      Inst_Log(LOG_ERROR, "Util_GetKeyValueString: Failure allocating memory to read components requiring reboot");
      return false;
   }
   DWORD bufferSize = size + 2;
   if (!Util_GetKeyValueString(root, keyPath, valueName, buffer.data(), &bufferSize, use64BitRegistry,
                               use32BitRegistry)) {
      return false;
   }
   out.assign(buffer.data());
   return true;
}

bool Util_GetKeyValueString(HKEY root, const char* keyPath, const char* valueName, char* buffer, DWORD* bufferSize,
                            bool use64BitRegistry, bool use32BitRegistry)
{
   if (!CheckViewFlags(use64BitRegistry, use32BitRegistry)) {
      return false;
   }
   UniqueRegKey key;
   const LONG open =
       Win32U_RegOpenKeyEx(root, keyPath, 0, AccessMask(Access::Read, use64BitRegistry, use32BitRegistry), key.put());
   if (open != ERROR_SUCCESS) {
      Inst_Log(LOG_ERROR, "Util_GetKeyValueString: Cannot open the registry %s\\%s: %ld", Util_GetRootKeyName(root),
               keyPath, static_cast<long>(open));
      return false;
   }
   const DWORD room = *bufferSize;
   const LONG query =
       Win32U_RegQueryValueEx(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), bufferSize);
   if (query != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(query),
                       "Util_GetKeyValueString: Cannot query key value %s\\%s\\%s", Util_GetRootKeyName(root), keyPath,
                       valueName ? valueName : "");
      return false;
   }
   // The value need not be a string: it may fill the buffer without a terminator.
   const size_t shown = strnlen(buffer, std::min(room, *bufferSize));
   Inst_Log(LOG_DETAIL, "Util_GetKeyValueString: (%s\\%s\\%s) = \"%.*s\"", Util_GetRootKeyName(root), keyPath,
            valueName ? valueName : "", static_cast<int>(shown), buffer);
   return true;
}

bool Util_SetKeyValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const void* data,
                      DWORD dataSize, DWORD keyOptions, bool use64BitView)
{
   UniqueRegKey key;
   const LONG create = Win32U_RegCreateKeyEx(
       root, keyPath, 0, "", keyOptions, AccessMask(Access::Write, use64BitView, false), nullptr, key.put(), nullptr);
   if (create != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(create), "Util_SetKeyValue: Failed to create key %s",
                       keyPath ? keyPath : "");
      return false;
   }
   const LONG set = Win32U_RegSetValueEx(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), dataSize);
   if (set != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, static_cast<uint32_t>(set), "Util_SetKeyValue: Failed to set value: %s\\%s\\%s",
                       Util_GetRootKeyName(root), keyPath, valueName ? valueName : "");
      return false;
   }
   return true;
}

bool DumpRegKeyValues(const char* keyPath)
{
   HKEY raw = nullptr;
   if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &raw) != ERROR_SUCCESS) {
      Inst_LogMsg("%s: Unable to open key %s, ignore.", "DumpRegKeyValues", keyPath);
      return false;
   }
   UniqueRegKey key(raw);
   Inst_LogMsg("--- information in %s ---", keyPath);
   DWORD valueCount = 0;
   FILETIME lastWrite;
   if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, nullptr, nullptr,
                        nullptr, &lastWrite) == ERROR_SUCCESS) {
      FILETIME local;
      SYSTEMTIME t;
      if (FileTimeToLocalFileTime(&lastWrite, &local) && FileTimeToSystemTime(&local, &t)) {
         char text[32];
         snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
         Inst_LogMsg("Last modified time: %s", text);
      }
   }
   std::vector<char> name(kDumpNameChars + 1);
   for (DWORD i = 0; i < valueCount; i++) {
      BYTE data[kDumpDataBytes + 1] = {};
      DWORD nameSize = kDumpNameChars + 1;
      DWORD dataSize = kDumpDataBytes;
      DWORD type = 0;
      if (RegEnumValueA(key.get(), i, name.data(), &nameSize, nullptr, &type, data, &dataSize) == ERROR_SUCCESS &&
          type == REG_SZ) {
         Inst_LogMsg("%s=%s", name.data(), reinterpret_cast<char*>(data));
      }
   }
   return true;
}
