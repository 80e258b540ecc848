#include "apps/install/setup/runtimeTable.h"

std::optional<RuntimePackages> Runtime_PackagesFor(RuntimePass pass, const VcRuntimeRow& row,
                                                   const RuntimeSettings& settings)
{
   const std::string subFolder = row.subFolder;
   if (pass == RuntimePass::Configured) {
      if (settings.version == 0) {
         // A bare sub-folder is not a package: no 32-bit default exists for this pass (the
         // alternate pass supplies "vcredist_x86.exe"), so the 32-bit install is skipped.
         return RuntimePackages{std::string(), subFolder + "vcredist_arm64.exe"};
      }
      if (settings.version == row.version) {
         return RuntimePackages{settings.runtime32, settings.runtime64};
      }
      return std::nullopt;
   }
   if (settings.version == 0) {
      return RuntimePackages{subFolder + "vcredist_x86.exe", subFolder + "vcredist_x64.exe"};
   }
   if (settings.versionAlt == row.version) {
      return RuntimePackages{settings.runtime32Alt, settings.runtime64Alt};
   }
   return std::nullopt;
}

uint32_t Runtime_NewestToInstall(const RuntimeSettings& settings)
{
   uint32_t newest = 0;
   for (const RuntimePass pass : {RuntimePass::Configured, RuntimePass::Alternate}) {
      for (const VcRuntimeRow& row : vcRuntimeTable) {
         const auto packages = Runtime_PackagesFor(pass, row, settings);
         if (packages && (!packages->path32.empty() || !packages->path64.empty()) && row.version > newest) {
            newest = row.version;
         }
      }
   }
   return newest;
}
