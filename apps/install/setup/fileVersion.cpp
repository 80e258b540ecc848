#include "apps/install/setup/fileVersion.h"

#include <new>

#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

const VersionApi* FileVersion_Api()
{
   static const VersionApi* const api = []() -> const VersionApi* {
      static VersionApi bound{};
      const HMODULE library = SysLib_Load(L"version.dll");
      if (SysLib_Bind(library, "GetFileVersionInfoSizeW", bound.getFileVersionInfoSize) &&
          SysLib_Bind(library, "GetFileVersionInfoW", bound.getFileVersionInfo) &&
          SysLib_Bind(library, "VerQueryValueW", bound.verQueryValue)) {
         return &bound;
      }
      return nullptr;
   }();
   if (api == nullptr) {
      SetLastError(ERROR_PROC_NOT_FOUND);
   }
   return api;
}

DWORD FileVersion_LoadBlock(const std::string& path, VersionBlock& block, VersionReadStep* failedStep)
{
   const auto fail = [failedStep](VersionReadStep step, DWORD error) {
      if (failedStep != nullptr) {
         *failedStep = step;
      }
      return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND);
   };
   const VersionApi* api = FileVersion_Api();
   const auto wide = Win32U_ToWide(path);
   if (api == nullptr || !wide) {
      return fail(VersionReadStep::Size, api == nullptr ? GetLastError() : ERROR_NO_UNICODE_TRANSLATION);
   }
   DWORD handle = 0;
   block.size = api->getFileVersionInfoSize(wide->c_str(), &handle);
   if (block.size == 0) {
      return fail(VersionReadStep::Size, GetLastError());
   }
   try {
      block.data.assign(block.size, 0);
   } catch (const std::bad_alloc&) {
      return fail(VersionReadStep::Allocate, ERROR_OUTOFMEMORY);
   }
   if (!api->getFileVersionInfo(wide->c_str(), 0, block.size, block.data.data())) {
      return fail(VersionReadStep::Read, GetLastError());
   }
   if (failedStep != nullptr) {
      *failedStep = VersionReadStep::Done;
   }
   return ERROR_SUCCESS;
}

bool FileVersion_Fixed(const VersionBlock& block, VS_FIXEDFILEINFO& fixed)
{
   const VersionApi* api = FileVersion_Api();
   void* value = nullptr;
   UINT length = 0;
   SetLastError(ERROR_SUCCESS);
   if (api == nullptr || block.data.empty() || !api->verQueryValue(block.data.data(), L"\\", &value, &length) ||
       length < sizeof fixed) {
      if (GetLastError() == ERROR_SUCCESS) {
         SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      }
      return false;
   }
   fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
   return true;
}

std::optional<FourPartVersion> FileVersion_Read(const std::string& path)
{
   VersionBlock block;
   VS_FIXEDFILEINFO fixed{};
   const DWORD error = FileVersion_LoadBlock(path, block, nullptr);
   if (error != ERROR_SUCCESS) {
      SetLastError(error);
      return std::nullopt;
   }
   if (!FileVersion_Fixed(block, fixed)) {
      return std::nullopt;
   }
   return FourPartVersion{fixed.dwFileVersionMS, fixed.dwFileVersionLS};
}
