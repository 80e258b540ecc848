// One owning-handle template for every kind of system handle, so that each early return
// releases what was opened.
#pragma once

#include <windows.h>

#include <utility>

template <typename T, typename Traits>
class UniqueResource {
public:
   UniqueResource() = default;
   explicit UniqueResource(T value) : value_(value) {}
   UniqueResource(const UniqueResource&) = delete;
   UniqueResource& operator=(const UniqueResource&) = delete;
   UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
   UniqueResource& operator=(UniqueResource&& other) noexcept
   {
      if (this != &other) {
         reset(std::exchange(other.value_, Traits::Invalid()));
      }
      return *this;
   }
   ~UniqueResource() { reset(); }

   T get() const { return value_; }
   T* put()
   {
      reset();
      return &value_;
   }
   T release() { return std::exchange(value_, Traits::Invalid()); }
   void reset(T value = Traits::Invalid())
   {
      if (Traits::IsValid(value_)) {
         // Closing must not disturb the error the caller is about to read.
         const DWORD error = GetLastError();
         Traits::Close(value_);
         SetLastError(error);
      }
      value_ = value;
   }
   explicit operator bool() const { return Traits::IsValid(value_); }

private:
   T value_ = Traits::Invalid();
};

struct HandleTraits {
   static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
   static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
   static void Close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;

struct FindHandleTraits {
   static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
   static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
   static void Close(HANDLE h) { FindClose(h); }
};
using UniqueFindHandle = UniqueResource<HANDLE, FindHandleTraits>;

struct RegKeyTraits {
   static HKEY Invalid() { return nullptr; }
   static bool IsValid(HKEY k) { return k != nullptr; }
   static void Close(HKEY k) { RegCloseKey(k); }
};
using UniqueRegKey = UniqueResource<HKEY, RegKeyTraits>;

struct ModuleTraits {
   static HMODULE Invalid() { return nullptr; }
   static bool IsValid(HMODULE m) { return m != nullptr; }
   static void Close(HMODULE m) { FreeLibrary(m); }
};
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
