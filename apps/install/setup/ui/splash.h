// The splash: a borderless picture in the middle of the screen while the launcher prepares,
// owner of the progress dialog. Without a bitmap the window exists but is never shown.
#pragma once

#include <windows.h>

#include <cstdint>

class CSplash
{
 public:
   CSplash() = default;
   virtual ~CSplash();
   CSplash(const CSplash&) = delete;
   CSplash& operator=(const CSplash&) = delete;

   // Bitmap resource `id` of `module`, or resource 1033 when that one is missing.
   void LoadFromResource(HWND owner, HMODULE module, uint16_t id, const char* title);
   void LoadFromFile(HWND owner, HMODULE module, const char* path, const char* title);
   // Centred in the work area and topmost; nothing without a bitmap.
   void Show();
   // Gives the window an empty region: it disappears but lives on as the dialog's owner.
   void Hide();

   HWND Window() const { return window_; }
   bool Visible() const { return visible_; }
   bool BitmapLoaded() const { return bitmapLoaded_; }

 private:
   void CreateSplashWindow(HWND owner, HMODULE module, const char* title);
   void SetBitmap(HANDLE bitmap);

   bool visible_ = false;
   HWND owner_ = nullptr;
   HWND window_ = nullptr;
   bool bitmapLoaded_ = false;
   HBITMAP bitmap_ = nullptr; // a static control does not free the bitmap it is given
};
