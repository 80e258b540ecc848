#include "apps/install/setup/versionReport.h"

#include <cwchar>

#include "apps/install/setup/buildInfo.h"
#include "apps/install/setup/fileVersion.h"
#include "apps/install/setup/prereqRules.h"
#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

constexpr UINT kTranslationBytes = 4; // one language and code-page pair

// Text mode as the C runtime writes it: each line feed goes out as a carriage return and a
// line feed. Console handles take UTF-16; anything else gets the UTF-8 bytes.
void WriteText(DWORD stdHandle, const std::string& text)
{
   const HANDLE out = GetStdHandle(stdHandle);
   if (out == nullptr || out == INVALID_HANDLE_VALUE) {
      return;
   }
   std::string crlf;
   for (const char c : text) {
      if (c == '\n') {
         crlf += '\r';
      }
      crlf += c;
   }
   const auto wide = Win32U_ToWide(crlf);
   DWORD written = 0;
   if (wide && WriteConsoleW(out, wide->data(), static_cast<DWORD>(wide->size()), &written, nullptr)) {
      return;
   }
   WriteFile(out, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
}

std::string ErrorDetail(DWORD error)
{
   return Str_Format("(%u:%s)", static_cast<unsigned>(error), Win32U_FormatMessage(error, 0).c_str());
}

DWORD FailedFileInfo(const std::string& path, DWORD error)
{
   Inst_LogMsg("GetVCRedistVer ERROR: Failed to get %s file info data.", path.c_str());
   return error;
}

DWORD ErrorOr(DWORD error, DWORD fallback)
{
   return error != ERROR_SUCCESS ? error : fallback;
}

// The standard output and error of the report: the console the launcher attached to, whatever
// handles it started with (a GUI program starts with none).
class ConsoleStreams
{
 public:
   explicit ConsoleStreams(HANDLE console)
       : console_(console), oldOut_(GetStdHandle(STD_OUTPUT_HANDLE)), oldErr_(GetStdHandle(STD_ERROR_HANDLE))
   {
      SetStdHandle(STD_OUTPUT_HANDLE, console_.get());
      SetStdHandle(STD_ERROR_HANDLE, console_.get());
   }
   ~ConsoleStreams()
   {
      SetStdHandle(STD_OUTPUT_HANDLE, oldOut_);
      SetStdHandle(STD_ERROR_HANDLE, oldErr_);
   }
   ConsoleStreams(const ConsoleStreams&) = delete;
   ConsoleStreams& operator=(const ConsoleStreams&) = delete;

 private:
   UniqueHandle console_;
   HANDLE oldOut_;
   HANDLE oldErr_;
};

} // namespace

DWORD GetVCRedistVer(const std::string& packagePath)
{
   VersionBlock block;
   VersionReadStep step = VersionReadStep::Done;
   const DWORD error = FileVersion_LoadBlock(packagePath, block, &step);
   if (error != ERROR_SUCCESS) {
      switch (step) {
      case VersionReadStep::Allocate:
         Inst_LogMsg("GetVersionInfo ERROR: Failed to allocate buffer of size %u", static_cast<unsigned>(block.size));
         break;
      case VersionReadStep::Read:
         Inst_LogMsg("GetVersionInfo ERROR: GetFileVersionInfo failed %s", ErrorDetail(error).c_str());
         break;
      default:
         Inst_LogMsg("GetVersionInfo ERROR: Failed to get info size of %s: %s", packagePath.c_str(),
                     ErrorDetail(error).c_str());
         break;
      }
      return FailedFileInfo(packagePath, error);
   }
   VS_FIXEDFILEINFO fixed{};
   if (!FileVersion_Fixed(block, fixed)) {
      const DWORD fixedError = ErrorOr(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
      Inst_LogMsg("GetVersionInfo ERROR: Failed to get product version %s", ErrorDetail(fixedError).c_str());
      return FailedFileInfo(packagePath, fixedError);
   }
   const VersionApi* api = FileVersion_Api();
   void* value = nullptr;
   UINT length = 0;
   SetLastError(ERROR_SUCCESS);
   if (!api->verQueryValue(block.data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
       length < kTranslationBytes) {
      const DWORD translationError = ErrorOr(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
      Inst_LogMsg("GetVersionInfo ERROR: unable to get process translation data %s",
                  ErrorDetail(translationError).c_str());
      return FailedFileInfo(packagePath, translationError);
   }
   const WORD* translation = static_cast<const WORD*>(value);
   const WORD language = translation[0];
   const WORD codePage = translation[1];

   wchar_t query[64];
   std::swprintf(query, sizeof query / sizeof query[0], L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage,
                 L"ProductName");
   value = nullptr;
   length = 0;
   SetLastError(ERROR_SUCCESS);
   const BOOL found = api->verQueryValue(block.data.data(), query, &value, &length);
   const DWORD nameError = GetLastError();
   // The text must end inside the block: a value without its terminator is not a string.
   const auto* name = static_cast<const wchar_t*>(value);
   const auto* blockEnd = reinterpret_cast<const wchar_t*>(block.data.data() + block.data.size());
   const bool terminated = found && name != nullptr && length > 0 &&
                           std::wmemchr(name, L'\0', static_cast<size_t>(blockEnd - name)) != nullptr &&
                           std::wcslen(name) <= length;
   const auto productName = terminated ? Win32U_ToUtf8(name) : std::nullopt;
   if (!productName) {
      Inst_LogMsg("GetVCRedistVer ERROR: Cannot get %s ProductName - Retrieved data is not a string, or poorly "
                  "formatted (language=%d, codePage=%d).",
                  packagePath.c_str(), static_cast<int>(language), static_cast<int>(codePage));
      return ErrorOr(nameError, ERROR_INVALID_DATA);
   }
   const std::string version = Prereq_VersionText(FourPartVersion{fixed.dwProductVersionMS, fixed.dwProductVersionLS});
   Inst_LogMsg("GetVCRedistVer %s: %s: Version %s (returning: %u)", packagePath.c_str(), productName->c_str(),
               version.c_str(), 0u);
   WriteText(STD_OUTPUT_HANDLE, "Name    : " + *productName + "\n");
   WriteText(STD_OUTPUT_HANDLE, "Version : " + version + "\n");
   WriteText(STD_OUTPUT_HANDLE, "File    : " + packagePath + "\n");
   return ERROR_SUCCESS;
}

void RunVersionReport(SetupContext& ctx, const std::string& packagePath)
{
   // A process that already has a console (Wine gives one to a GUI child of a console program)
   // is refused with ERROR_ACCESS_DENIED and prints on the console it has.
   if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) {
      const DWORD error = GetLastError();
      Inst_LogMsg("Failed to attach parent's console (err = %u).", static_cast<unsigned>(error));
      ctx.exitCode = static_cast<int32_t>(error);
      return;
   }
   HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
   if (console == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      Inst_LogMsg("Failed to attach parent's console (err = %u).", static_cast<unsigned>(error));
      ctx.exitCode = static_cast<int32_t>(error);
      FreeConsole();
      return;
   }
   {
      ConsoleStreams streams(console);
      WriteText(STD_OUTPUT_HANDLE,
                Str_Format("\nName    : %s\nVersion : %s.%u\n\n", kProductName, kProductVersionShort, kBuildNumber));
      const DWORD result = GetVCRedistVer(packagePath);
      ctx.exitCode = static_cast<int32_t>(result);
      if (result != ERROR_SUCCESS) {
         WriteText(STD_ERROR_HANDLE, "ERROR: Failed to get the VC Redist version.\nPlease refer to txinst.log for the "
                                     "details and check the file version manually.\n");
      }
      // The parent shell printed its prompt when the launcher started; an Enter shows it again.
      const HWND window = GetConsoleWindow();
      if (window != nullptr) {
         PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
      }
   }
   if (!FreeConsole()) {
      Inst_LogMsg("Failed to free the console (err = %u).", static_cast<unsigned>(GetLastError()));
   }
}
