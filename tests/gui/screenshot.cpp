#include "tests/gui/screenshot.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "lib/misc/win32u.h"
#include "tests/unit/testSupport.h"

namespace
{

std::string g_folder;

uint32_t Crc(const uint8_t* data, size_t size, uint32_t crc = 0)
{
   crc = ~crc;
   for (size_t i = 0; i < size; i++) {
      crc ^= data[i];
      for (int k = 0; k < 8; k++) {
         crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
      }
   }
   return ~crc;
}

// A small deflate: fixed Huffman codes and matches found through a hash of three bytes. Window
// pictures are mostly flat colour, so this is plenty.
class Deflater
{
 public:
   std::vector<uint8_t> Compress(const std::vector<uint8_t>& in)
   {
      Bits(1, 1); // last block
      Bits(1, 2); // fixed codes
      std::vector<int> head(1 << 15, -1);
      size_t i = 0;
      while (i < in.size()) {
         size_t best = 0;
         size_t distance = 0;
         if (i + 3 <= in.size()) {
            const unsigned h = ((in[i] << 10) ^ (in[i + 1] << 5) ^ in[i + 2]) & 0x7FFF;
            const int candidate = head[h];
            head[h] = static_cast<int>(i);
            if (candidate >= 0 && i - static_cast<size_t>(candidate) <= 32768) {
               while (best < 258 && i + best < in.size() && in[candidate + best] == in[i + best]) {
                  best++;
               }
               distance = i - static_cast<size_t>(candidate);
            }
         }
         if (best >= 3) {
            Match(best, distance);
            i += best;
         } else {
            Literal(in[i++]);
         }
      }
      Symbol(256);
      if (bitCount_ > 0) {
         out_.push_back(static_cast<uint8_t>(bitBuffer_));
      }
      return out_;
   }

 private:
   void Bits(unsigned value, int count)
   {
      for (int k = 0; k < count; k++) {
         bitBuffer_ |= ((value >> k) & 1u) << bitCount_;
         if (++bitCount_ == 8) {
            out_.push_back(static_cast<uint8_t>(bitBuffer_));
            bitBuffer_ = 0;
            bitCount_ = 0;
         }
      }
   }
   void Code(unsigned code, int length) // Huffman codes go most significant bit first
   {
      for (int k = length - 1; k >= 0; k--) {
         Bits((code >> k) & 1u, 1);
      }
   }
   void Symbol(unsigned s)
   {
      if (s < 144) {
         Code(0x30 + s, 8);
      } else if (s < 256) {
         Code(0x190 + s - 144, 9);
      } else if (s < 280) {
         Code(s - 256, 7);
      } else {
         Code(0xC0 + s - 280, 8);
      }
   }
   void Literal(uint8_t b) { Symbol(b); }
   void Match(size_t length, size_t distance)
   {
      static const int lengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
      static const int lengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
      static const int distBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                     33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
      static const int distExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
      int l = 28;
      while (lengthBase[l] > static_cast<int>(length)) {
         l--;
      }
      Symbol(257 + static_cast<unsigned>(l));
      Bits(static_cast<unsigned>(length) - static_cast<unsigned>(lengthBase[l]), lengthExtra[l]);
      int d = 29;
      while (distBase[d] > static_cast<int>(distance)) {
         d--;
      }
      Code(static_cast<unsigned>(d), 5);
      Bits(static_cast<unsigned>(distance) - static_cast<unsigned>(distBase[d]), distExtra[d]);
   }

   std::vector<uint8_t> out_;
   unsigned bitBuffer_ = 0;
   int bitCount_ = 0;
};

void Put32(std::vector<uint8_t>& v, uint32_t x)
{
   for (int s = 24; s >= 0; s -= 8) {
      v.push_back(static_cast<uint8_t>(x >> s));
   }
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
   Put32(png, static_cast<uint32_t>(data.size()));
   std::vector<uint8_t> body(type, type + 4);
   body.insert(body.end(), data.begin(), data.end());
   png.insert(png.end(), body.begin(), body.end());
   Put32(png, Crc(body.data(), body.size()));
}

// rgb: rows top to bottom, 3 bytes a pixel.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb)
{
   std::vector<uint8_t> raw;
   raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
   for (int y = 0; y < height; y++) {
      raw.push_back(0);
      raw.insert(raw.end(), rgb.begin() + static_cast<ptrdiff_t>(y) * width * 3,
                 rgb.begin() + static_cast<ptrdiff_t>(y + 1) * width * 3);
   }
   uint32_t a = 1;
   uint32_t b = 0;
   for (uint8_t c : raw) {
      a = (a + c) % 65521;
      b = (b + a) % 65521;
   }
   std::vector<uint8_t> z = {0x78, 0x01};
   const std::vector<uint8_t> deflated = Deflater().Compress(raw);
   z.insert(z.end(), deflated.begin(), deflated.end());
   Put32(z, (b << 16) | a);

   std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
   std::vector<uint8_t> header;
   Put32(header, static_cast<uint32_t>(width));
   Put32(header, static_cast<uint32_t>(height));
   header.insert(header.end(), {8, 2, 0, 0, 0});
   Chunk(png, "IHDR", header);
   Chunk(png, "IDAT", z);
   Chunk(png, "IEND", {});
   FILE* f = Win32U_Fopen(path.c_str(), "wb");
   if (f == nullptr) {
      return false;
   }
   const bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
   return fclose(f) == 0 && ok;
}

} // namespace

void SetArtifactFolder(const std::string& unixFolder)
{
   g_folder = unixFolder.empty() ? std::string() : WinePath(unixFolder);
   if (!g_folder.empty()) {
      CreateDirectoryW(Win32U_Wide(g_folder).c_str(), nullptr);
   }
}

bool SaveScreenshot(HWND window, const std::string& name)
{
   if (g_folder.empty()) {
      return false;
   }
   RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
   if (window != nullptr && !GetWindowRect(window, &r)) {
      return false;
   }
   const int width = r.right - r.left;
   const int height = r.bottom - r.top;
   if (width <= 0 || height <= 0) {
      return false;
   }
   HDC screen = GetDC(nullptr);
   HDC memory = CreateCompatibleDC(screen);
   HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
   HGDIOBJ old = SelectObject(memory, bitmap);
   BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
   SelectObject(memory, old);
   BITMAPINFO info{};
   info.bmiHeader.biSize = sizeof info.bmiHeader;
   info.bmiHeader.biWidth = width;
   info.bmiHeader.biHeight = -height; // top-down
   info.bmiHeader.biPlanes = 1;
   info.bmiHeader.biBitCount = 32;
   info.bmiHeader.biCompression = BI_RGB;
   std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
   const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
   DeleteObject(bitmap);
   DeleteDC(memory);
   ReleaseDC(nullptr, screen);
   if (rows != height) {
      return false;
   }
   std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
   for (size_t p = 0; p < static_cast<size_t>(width) * height; p++) {
      rgb[p * 3] = bgra[p * 4 + 2];
      rgb[p * 3 + 1] = bgra[p * 4 + 1];
      rgb[p * 3 + 2] = bgra[p * 4];
   }
   return WritePng(g_folder + "\\" + name + ".png", width, height, rgb);
}

bool WriteBitmapFile(const std::string& path, int width, int height, unsigned (*pixel)(int x, int y))
{
   const uint32_t stride = static_cast<uint32_t>((width * 3 + 3) & ~3);
   const uint32_t imageBytes = stride * static_cast<uint32_t>(height);
   std::vector<uint8_t> file(54 + imageBytes, 0);
   auto put = [&file](size_t at, uint32_t v, int bytes) {
      for (int k = 0; k < bytes; k++) {
         file[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
      }
   };
   file[0] = 'B';
   file[1] = 'M';
   put(2, static_cast<uint32_t>(file.size()), 4);
   put(10, 54, 4);
   put(14, 40, 4);
   put(18, static_cast<uint32_t>(width), 4);
   put(22, static_cast<uint32_t>(height), 4);
   put(26, 1, 2);
   put(28, 24, 2);
   put(34, imageBytes, 4);
   for (int y = 0; y < height; y++) {
      for (int x = 0; x < width; x++) {
         const unsigned c = pixel(x, height - 1 - y);
         const size_t at = 54 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
         file[at] = static_cast<uint8_t>(c);
         file[at + 1] = static_cast<uint8_t>(c >> 8);
         file[at + 2] = static_cast<uint8_t>(c >> 16);
      }
   }
   return WriteTextFile(path, std::string(file.begin(), file.end()));
}
