#include "tests/package/packageSupport.h"

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "resedit/resourceEdit.h"

namespace
{
constexpr WORD kConfigType = 40;
}

bool CopyLauncher(const std::string& path)
{
   return Win32U_CopyFile(WinePath(TestArg(1)).c_str(), path.c_str(), FALSE) != FALSE;
}

std::string SetConfigValues(const std::string& image, const KeyValues& values)
{
   CResource editor;
   for (const auto& [key, value] : values) {
      const unsigned long result = editor.UpdateFileResource(MAKEINTRESOURCEA(kConfigType), image.c_str(), key.c_str(),
                                                             const_cast<char*>(value.c_str()));
      if (result != ERROR_SUCCESS) {
         return key + ": error " + std::to_string(result);
      }
   }
   return std::string();
}

ImageResources::ImageResources(const std::string& path)
    : module_(LoadLibraryExW(Win32U_Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
{
}

ImageResources::~ImageResources()
{
   if (module_ != nullptr) {
      FreeLibrary(module_);
   }
}

LogCapture::LogCapture()
{
   Inst_ResetLoggingForTest();
   Inst_SetupLogging("package", "package-test", nullptr, nullptr);
   // The log file opens with its first line and stays open: here, whatever temporary folder
   // the test sets afterwards.
   Inst_LogMsg("LogCapture: start");
}

LogCapture::~LogCapture()
{
   Inst_ResetLoggingForTest();
}

std::string LogCapture::Text() const
{
   return ReadTextFile(temp_ / "txinst.log");
}

size_t LogCapture::Count(const std::string& tail) const
{
   size_t count = 0;
   for (const std::string& line : SplitLines(Text())) {
      const size_t colon = line.find(": ");
      if (colon != std::string::npos && line.compare(colon + 2, std::string::npos, tail) == 0) {
         count++;
      }
   }
   return count;
}

bool WriteBinaryFile(const std::string& path, const std::string& bytes)
{
   return WriteTextFile(path, bytes);
}

std::string Pattern(size_t length, unsigned seed)
{
   std::string bytes(length, '\0');
   uint32_t x = seed * 2654435761u + 1;
   for (char& c : bytes) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 24);
   }
   return bytes;
}
