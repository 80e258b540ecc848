#include "apps/install/setup/ui/messages.h"

#include <cstring>
#include <vector>

#include "lib/misc/win32u.h"
#include "lib/unicode/unicodeSimple.h"

namespace {

constexpr int kFirstCapacity = 256;

// LoadStringW cannot say that a text was cut: a text that fills the buffer exactly may have
// been, so the buffer is doubled until the text no longer fills it.
std::optional<std::string> LoadWhole(HMODULE module, UINT id)
{
   std::vector<wchar_t> wide(kFirstCapacity);
   for (;;) {
      const int length = LoadStringW(module, id, wide.data(), static_cast<int>(wide.size()));
      if (length <= 0) {
         return std::nullopt;
      }
      if (static_cast<size_t>(length) < wide.size() - 1) {
         return Win32U_ToUtf8(std::wstring_view(wide.data(), static_cast<size_t>(length)));
      }
      wide.assign(wide.size() * 2, L'\0');
   }
}

} // namespace

void LoadMessage(HMODULE module, UINT id, char* buf, size_t bufSize)
{
   const auto text = LoadWhole(module, id);
   if (!text || bufSize == 0) {
      return;
   }
   const size_t take = Unicode_Utf8CutPoint(*text, bufSize - 1);
   memcpy(buf, text->data(), take);
   buf[take] = '\0';
}

std::optional<std::string> LoadMessageAlloc(HMODULE module, UINT id)
{
   return LoadWhole(module, id);
}
