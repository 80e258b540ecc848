#include "tests/prereq/versionResource.h"

#include <windows.h>

#include <vector>

#include "lib/misc/win32u.h"

namespace
{

using Bytes = std::vector<BYTE>;

void Align4(Bytes& b)
{
   while (b.size() % 4 != 0) {
      b.push_back(0);
   }
}

void PutWord(Bytes& b, WORD w)
{
   b.push_back(static_cast<BYTE>(w & 0xFF));
   b.push_back(static_cast<BYTE>(w >> 8));
}

void PutText(Bytes& b, const std::wstring& text)
{
   for (wchar_t c : text) {
      PutWord(b, static_cast<WORD>(c));
   }
   PutWord(b, 0);
}

// One node of the version tree: length, value length, type, key, value, children.
Bytes Node(const std::wstring& key, WORD type, const Bytes& value, WORD valueLength, const std::vector<Bytes>& children)
{
   Bytes b;
   PutWord(b, 0);
   PutWord(b, valueLength);
   PutWord(b, type);
   PutText(b, key);
   Align4(b);
   b.insert(b.end(), value.begin(), value.end());
   for (const Bytes& child : children) {
      Align4(b);
      b.insert(b.end(), child.begin(), child.end());
   }
   b[0] = static_cast<BYTE>(b.size() & 0xFF);
   b[1] = static_cast<BYTE>(b.size() >> 8);
   return b;
}

Bytes VersionBlock(const TestVersion& v)
{
   VS_FIXEDFILEINFO fixed{};
   fixed.dwSignature = VS_FFI_SIGNATURE;
   fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
   fixed.dwFileVersionMS = static_cast<DWORD>(v.parts[0]) << 16 | v.parts[1];
   fixed.dwFileVersionLS = static_cast<DWORD>(v.parts[2]) << 16 | v.parts[3];
   fixed.dwProductVersionMS = fixed.dwFileVersionMS;
   fixed.dwProductVersionLS = fixed.dwFileVersionLS;
   fixed.dwFileOS = VOS_NT_WINDOWS32;
   fixed.dwFileType = VFT_APP;
   const BYTE* raw = reinterpret_cast<const BYTE*>(&fixed);

   std::vector<Bytes> strings;
   if (v.productName) {
      const std::wstring name = Win32U_Wide(*v.productName);
      Bytes text;
      PutText(text, name);
      strings.push_back(Node(L"ProductName", 1, text, static_cast<WORD>(name.size() + 1), {}));
   }
   std::vector<Bytes> children{Node(L"StringFileInfo", 1, {}, 0, {Node(L"040904b0", 1, {}, 0, strings)})};
   if (v.translation) {
      Bytes pair;
      PutWord(pair, 0x0409);
      PutWord(pair, 1200);
      children.push_back(Node(L"VarFileInfo", 1, {}, 0, {Node(L"Translation", 0, pair, 4, {})}));
   }
   return Node(L"VS_VERSION_INFO", 0, Bytes(raw, raw + sizeof fixed), sizeof fixed, children);
}

} // namespace

bool SetTestVersion(const std::string& path, const std::optional<TestVersion>& version)
{
   HANDLE update = BeginUpdateResourceW(Win32U_Wide(path).c_str(), FALSE);
   if (update == nullptr) {
      return false;
   }
   const WORD language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
   // Wine keeps a resource that is deleted, so "no version" is a version block that holds no
   // version numbers and no strings.
   Bytes block = version ? VersionBlock(*version) : Node(L"VS_VERSION_INFO", 0, {}, 0, {});
   const BOOL updated = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO), language, block.data(),
                                        static_cast<DWORD>(block.size()));
   return EndUpdateResourceW(update, !updated) && updated;
}
