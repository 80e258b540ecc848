// Shared machinery of the UTF-8 twins: converted arguments and the error-preserving call.
#pragma once

#include <windows.h>

#include <cerrno>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "lib/misc/win32u.h"

// A UTF-8 argument converted for the wide call; a null pointer stays null.
class WideArg
{
 public:
   explicit WideArg(const char* utf8)
   {
      if (utf8 == nullptr) {
         null_ = true;
         return;
      }
      auto wide = Win32U_ToWide(utf8);
      ok_ = wide.has_value();
      if (wide) {
         text_ = std::move(*wide);
      }
   }
   bool ok() const { return null_ || ok_; }
   const wchar_t* get() const { return null_ ? nullptr : text_.c_str(); }
   operator const wchar_t*() const { return get(); }

 private:
   std::wstring text_;
   bool null_ = false;
   bool ok_ = false;
};

// A resource name or type: integer identifiers pass through unchanged.
class ResourceArg
{
 public:
   explicit ResourceArg(const char* utf8) : text_(IS_INTRESOURCE(utf8) ? nullptr : utf8)
   {
      if (IS_INTRESOURCE(utf8)) {
         id_ = MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(utf8));
      }
   }
   bool ok() const { return id_ != nullptr || text_.ok(); }
   operator const wchar_t*() const { return id_ != nullptr ? id_ : text_.get(); }

 private:
   WideArg text_;
   const wchar_t* id_ = nullptr;
};

// Calls `fn` with the converted arguments held in `args`; an argument that could not be converted
// fails the call before it is made.
template <typename R, typename Args, typename F> R Win32UApply(R fail, const Args& args, F&& fn)
{
   const bool ok = std::apply([](const auto&... a) { return (a.ok() && ...); }, args);
   if (!ok) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      errno = EILSEQ;
      return fail;
   }
   return std::apply(fn, args);
}

// Converts each UTF-8 argument, calls `fn` with the wide ones and hands back its result with
// the call's own last error and errno, whatever the clean-up of the temporaries does.
template <typename R, typename F, typename... A> R Win32UCall(R fail, F&& fn, A... utf8)
{
   Win32U_ErrorKeeper keeper;
   const auto wide = std::make_tuple(WideArg(utf8)...);
   R result = Win32UApply(fail, wide, fn);
   keeper.Capture();
   return result;
}

enum class PathKind {
   File,     // a file or folder
   Pattern,  // a find pattern: its last part may hold wildcards
   CRuntime, // a C-runtime call: a long path that has no extended-length form is refused
};

// A path-taking system call: its name, and the length from which Windows takes a path only in
// the extended-length form (unless its long-path policy is on).
struct PathCall {
   const char* name;
   size_t limit;
   PathKind kind;
};

// A path argument of a file call. An absolute path at or past the call's limit goes in the
// extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."); any other path goes as given,
// so that a relative long path gets the system's own answer.
class PathArg
{
 public:
   PathArg(const char* utf8, const PathCall& call);
   bool ok() const { return arg_.ok(); }
   const wchar_t* get() const { return extended_.empty() ? arg_.get() : extended_.c_str(); }
   operator const wchar_t*() const { return get(); }
   // Whether the call may be made with this path (errors set when not).
   bool Admit(const PathCall& call) const;

 private:
   WideArg arg_;
   std::wstring extended_;
   bool long_ = false;
};

// Win32UCall for a call whose arguments are all paths.
template <typename R, typename F, typename... A> R Win32UPathCall(R fail, const PathCall& call, F&& fn, A... utf8)
{
   Win32U_ErrorKeeper keeper;
   const auto paths = std::make_tuple(PathArg(utf8, call)...);
   R result = Win32UApply(fail, paths, [&](const auto&... p) { return (p.Admit(call) && ...) ? fn(p...) : fail; });
   keeper.Capture();
   return result;
}

// Calls a "fill this buffer" API, growing the buffer as the API asks, and converts the text.
template <typename F> std::optional<std::string> Win32UGetText(F&& fn)
{
   std::vector<wchar_t> buf(MAX_PATH + 1);
   for (int attempt = 0; attempt < 4; attempt++) {
      const DWORD n = fn(buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) {
         return std::nullopt;
      }
      if (n < buf.size()) {
         auto text = Win32U_ToUtf8(std::wstring_view(buf.data(), n));
         if (!text) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
         }
         return text;
      }
      buf.resize(static_cast<size_t>(n) + 1);
   }
   SetLastError(ERROR_INSUFFICIENT_BUFFER);
   return std::nullopt;
}
