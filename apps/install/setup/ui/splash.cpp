#include "apps/install/setup/ui/splash.h"

#include "apps/install/setup/ui/dlgProgress.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr DWORD kSplashStyle = WS_POPUP | WS_BORDER | SS_BITMAP; // 0x8080000E
constexpr int kInitialPosition = 300;
constexpr int kInitialSize = 400;
constexpr uint16_t kFallbackBitmap = 1033;

} // namespace

CSplash::~CSplash()
{
   if (window_ != nullptr) {
      DestroyWindow(window_);
   }
   if (bitmap_ != nullptr) {
      DeleteObject(bitmap_);
   }
}

void CSplash::CreateSplashWindow(HWND owner, HMODULE module, const char* title)
{
   owner_ = owner;
   if (window_ == nullptr) {
      window_ = Win32U_CreateWindowEx(0, "STATIC", title != nullptr ? title : "", kSplashStyle, kInitialPosition,
                                      kInitialPosition, kInitialSize, kInitialSize, owner, nullptr, module, nullptr);
   }
}

void CSplash::SetBitmap(HANDLE bitmap)
{
   bitmapLoaded_ = bitmap != nullptr;
   visible_ = false;
   if (bitmap == nullptr) {
      return;
   }
   if (bitmap_ != nullptr) {
      DeleteObject(bitmap_);
   }
   bitmap_ = static_cast<HBITMAP>(bitmap);
   SendMessageW(window_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap_));
}

void CSplash::LoadFromResource(HWND owner, HMODULE module, uint16_t id, const char* title)
{
   CreateSplashWindow(owner, module, title);
   HANDLE bitmap = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0);
   if (bitmap == nullptr) {
      bitmap = LoadImageW(module, MAKEINTRESOURCEW(kFallbackBitmap), IMAGE_BITMAP, 0, 0, 0);
   }
   if (bitmap != nullptr) {
      Inst_LogMsg("[Info] Loaded splash bitmap from resource %d.", id);
   }
   SetBitmap(bitmap);
}

void CSplash::LoadFromFile(HWND owner, HMODULE module, const char* path, const char* title)
{
   CreateSplashWindow(owner, module, title);
   const auto widePath = Win32U_ToWide(path != nullptr ? path : "");
   HANDLE bitmap = widePath ? LoadImageW(module, widePath->c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE) : nullptr;
   if (bitmap != nullptr) {
      Inst_LogMsg("[Info] Loaded splash bitmap from file %s.", path);
   }
   SetBitmap(bitmap);
}

void CSplash::Show()
{
   if (!bitmapLoaded_ || window_ == nullptr) {
      return;
   }
   RECT client{};
   GetClientRect(window_, &client);
   const RECT work = UiWorkArea();
   const int x = work.left + (work.right - work.left) / 2 - (client.right - client.left) / 2;
   const int y = work.top + (work.bottom - work.top) / 2 - (client.bottom - client.top) / 2;
   if (HDWP defer = BeginDeferWindowPos(1)) {
      defer = DeferWindowPos(defer, window_, HWND_BOTTOM, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
      if (defer != nullptr) {
         EndDeferWindowPos(defer);
      }
   }
   ShowWindow(window_, SW_SHOWNORMAL);
   UpdateWindow(window_);
   visible_ = true;
   SetForegroundWindow(window_);
   SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CSplash::Hide()
{
   if (window_ != nullptr) {
      // The system owns the region once it is set.
      SetWindowRgn(window_, CreateRectRgn(0, 0, 0, 0), TRUE);
   }
   visible_ = false;
}
