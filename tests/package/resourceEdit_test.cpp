#include "resedit/resourceEdit.h"

#include <gtest/gtest.h>

#include <chrono>

#include "apps/install/setup/config.h"
#include "lib/misc/win32u.h"
#include "tests/package/packageSupport.h"

namespace
{

// The protected members, reachable from the tests.
class Editor : public CResource
{
 public:
   using CResource::UpdateFixedVersionResource;
   using CResource::UpdateVariableVersionResource;
};

struct VersionInfo {
   std::vector<BYTE> block;
   VS_FIXEDFILEINFO fixed{};
   std::wstring Text(const wchar_t* key) const
   {
      void* p = nullptr;
      UINT length = 0;
      const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
      if (!VerQueryValueW(block.data(), path.c_str(), &p, &length)) {
         return L"<missing>";
      }
      return static_cast<const wchar_t*>(p);
   }
};

VersionInfo ReadVersion(const std::string& path)
{
   VersionInfo info;
   const std::wstring wide = Win32U_Wide(path);
   DWORD ignored = 0;
   info.block.resize(GetFileVersionInfoSizeW(wide.c_str(), &ignored));
   if (info.block.empty() ||
       !GetFileVersionInfoW(wide.c_str(), 0, static_cast<DWORD>(info.block.size()), info.block.data())) {
      ADD_FAILURE() << "no version information in " << path;
      return info;
   }
   void* root = nullptr;
   UINT length = 0;
   VerQueryValueW(info.block.data(), L"\\", &root, &length);
   info.fixed = *static_cast<VS_FIXEDFILEINFO*>(root);
   return info;
}

// A 2 x 2, 24-bit bitmap file.
std::string BitmapFile()
{
   std::string pixels =
       std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8) + std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x00", 8);
   BITMAPINFOHEADER info{};
   info.biSize = sizeof info;
   info.biWidth = 2;
   info.biHeight = 2;
   info.biPlanes = 1;
   info.biBitCount = 24;
   info.biSizeImage = static_cast<DWORD>(pixels.size());
   BITMAPFILEHEADER file{};
   file.bfType = 0x4D42;
   file.bfOffBits = sizeof file + sizeof info;
   file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
   return std::string(reinterpret_cast<const char*>(&file), sizeof file) +
          std::string(reinterpret_cast<const char*>(&info), sizeof info) + pixels;
}

class ResourceEdit : public ::testing::Test
{
 protected:
   void SetUp() override { ASSERT_TRUE(CopyLauncher(image_)); }

   ScratchDir dir_{"resedit"};
   const std::string image_ = dir_ / "setup.exe";
   Editor editor_;
};

} // namespace

TEST_F(ResourceEdit, StringValueInTheFormatTheReaderReads)
{
   char value[] = "Tessix Tools \xE2\x84\xA2";
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(40), image_.c_str(), "PRODUCTNAME", value), 0u);
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(40), image_.c_str(), "TXIOPTION", const_cast<char*>("")), 0u);
   ImageResources module(image_);
   HRSRC neutral =
       FindResourceExW(module.get(), MAKEINTRESOURCEW(40), L"PRODUCTNAME", MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
   ASSERT_NE(neutral, nullptr) << "written in the neutral language";
   EXPECT_EQ(SizeofResource(module.get(), neutral), 15u * 2) << "UTF-16 with its terminator";
   std::string text;
   EXPECT_EQ(ReadConfigValueAlloc(module.get(), "PRODUCTNAME", text), 0u);
   EXPECT_EQ(text, value);
   EXPECT_EQ(ReadConfigValueAlloc(module.get(), "TXIOPTION", text), 0u);
   EXPECT_EQ(text, "");
}

TEST_F(ResourceEdit, FixedVersionNumbers)
{
   VersionResourceData file{1, "1.2.3.12345678"};
   VersionResourceData product{1, "13.0.1.7"};
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(16), image_.c_str(), "FileVersion", &file), 0u);
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(16), image_.c_str(), "ProductVersion", &product), 0u);
   const VersionInfo info = ReadVersion(image_);
   EXPECT_EQ(info.fixed.dwFileVersionMS, 0x00010002u);
   EXPECT_EQ(info.fixed.dwFileVersionLS, 0x00033039u) << "five digits of the last number: 12345";
   EXPECT_EQ(info.fixed.dwProductVersionMS, 0x000D0000u);
   EXPECT_EQ(info.fixed.dwProductVersionLS, 0x00010007u);
   EXPECT_EQ(info.Text(L"CompanyName"), L"Tessix, Inc.") << "the rest of the block is kept";

   const std::string before = ReadTextFile(image_);
   EXPECT_EQ(editor_.UpdateFixedVersionResource(image_.c_str(), "Comments", "9.9.9.9"), 0u);
   EXPECT_EQ(ReadTextFile(image_), before) << "other keys change nothing";
}

TEST_F(ResourceEdit, StringValuesInPlace)
{
   VersionResourceData name{0, "Tessix Tools Beta"};
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(16), image_.c_str(), "ProductName", &name), 0u);
   ASSERT_EQ(editor_.UpdateVariableVersionResource(image_.c_str(), "FileVersion", "13.0.1.24680"), 0u);
   VersionInfo info = ReadVersion(image_);
   EXPECT_EQ(info.Text(L"ProductName"), L"Tessix Tools Beta");
   EXPECT_EQ(info.Text(L"FileVersion"), L"13.0.1.24680");
   const size_t blockSize = info.block.size();

   // "Tessix, Inc." holds 12 characters: 12 fit, 13 do not.
   EXPECT_EQ(editor_.UpdateVariableVersionResource(image_.c_str(), "CompanyName", "Tessix, Ltd."), 0u);
   EXPECT_EQ(editor_.UpdateVariableVersionResource(image_.c_str(), "CompanyName", "Tessix, GmbH."),
             static_cast<unsigned long>(ERROR_INSUFFICIENT_BUFFER));
   info = ReadVersion(image_);
   EXPECT_EQ(info.Text(L"CompanyName"), L"Tessix, Ltd.") << "a value that does not fit is not written";
   EXPECT_EQ(info.block.size(), blockSize) << "the block keeps its size";
   EXPECT_EQ(info.Text(L"ProductName"), L"Tessix Tools Beta");

   EXPECT_NE(editor_.UpdateVariableVersionResource(image_.c_str(), "NoSuchValue", "x"), 0u)
       << "a value that is not there is not reported as written";
}

TEST_F(ResourceEdit, BitmapWithoutItsFileHeader)
{
   const std::string bmp = BitmapFile();
   ASSERT_TRUE(WriteBinaryFile(dir_ / "splash.bmp", bmp));
   const std::string path = dir_ / "splash.bmp";
   ASSERT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(2), image_.c_str(), MAKEINTRESOURCEA(5000),
                                        const_cast<char*>(path.c_str())),
             0u);
   ImageResources module(image_);
   HRSRC found = FindResourceExW(module.get(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(5000), 0x400);
   ASSERT_NE(found, nullptr);
   const std::string stored(static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
                            SizeofResource(module.get(), found));
   EXPECT_EQ(stored, bmp.substr(14));

   ASSERT_TRUE(WriteBinaryFile(dir_ / "short.bmp", "BM12"));
   const std::string shortPath = dir_ / "short.bmp";
   EXPECT_EQ(
       editor_.UpdateFileResource(MAKEINTRESOURCEA(2), image_.c_str(), "SHORT", const_cast<char*>(shortPath.c_str())),
       static_cast<unsigned long>(ERROR_BAD_FORMAT));
   const std::string missing = dir_ / "missing.bmp";
   EXPECT_EQ(
       editor_.UpdateFileResource(MAKEINTRESOURCEA(2), image_.c_str(), "MISSING", const_cast<char*>(missing.c_str())),
       static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ResourceEdit, RefusesUnknownTypesAndMissingArguments)
{
   const std::string before = ReadTextFile(image_);
   char value[] = "x";
   EXPECT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(3), image_.c_str(), "ICON", value), 160u);
   EXPECT_EQ(editor_.UpdateFileResource("40", image_.c_str(), "KEY", value), 160u) << "a named type has no handler";
   EXPECT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(40), image_.c_str(), "KEY", nullptr), 160u);
   EXPECT_EQ(editor_.UpdateFileResource(MAKEINTRESOURCEA(40), nullptr, "KEY", value), 160u);
   EXPECT_EQ(editor_.UpdateFileResource(nullptr, image_.c_str(), "KEY", value), 160u);
   EXPECT_EQ(ReadTextFile(image_), before);
}

TEST_F(ResourceEdit, ABusyTargetIsTriedFiveTimes)
{
   HANDLE lock = CreateFileW(Win32U_Wide(image_).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
   ASSERT_NE(lock, INVALID_HANDLE_VALUE);
   char value[] = "x";
   const auto start = std::chrono::steady_clock::now();
   const unsigned long result = editor_.UpdateFileResource(MAKEINTRESOURCEA(40), image_.c_str(), "KEY", value);
   const auto waited = std::chrono::steady_clock::now() - start;
   CloseHandle(lock);
   EXPECT_EQ(result, static_cast<unsigned long>(ERROR_OPEN_FAILED));
   EXPECT_GE(waited, std::chrono::milliseconds(1400)) << "waits of 100, 200, 300, 400 and 500 ms";
}
