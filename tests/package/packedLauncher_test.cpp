// The launcher txpack builds from the sample package and the shipped configuration: its
// configuration reads back as written and its payload extracts into a chosen folder.
#include <gtest/gtest.h>

#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/extractionFolder.h"
#include "apps/install/setup/payload.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/misc/win32u.h"
#include "tests/package/packageSupport.h"
#include "tools/txpack/packInput.h"

namespace
{

// Arguments: setup.exe, fixtures, txpack.exe, samples build folder, sample configuration, the
// folder with the two packed launchers a/ and b/, and optionally the one to read instead of a/
// (arm64/, packed from the arm64 image).
std::string SamplePath(const std::string& name)
{
   return WinePath(TestArg(4)) + "\\" + name;
}

std::string Packed(const char* which)
{
   const std::string other = TestArg(7);
   const std::string chosen = std::string(which) == "a" && !other.empty() && other[0] != '-' ? other : which;
   return WinePath(TestArg(6)) + "\\" + chosen + "\\setup.exe";
}

std::vector<PackSetting> ShippedSettings()
{
   std::vector<PackSetting> settings;
   std::string error;
   EXPECT_TRUE(Pack_ParseConfig(ReadTextFile(WinePath(TestArg(5))), settings, error)) << error;
   return settings;
}

class PackedLauncher : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      silentFlag = &silent_;
      activeConfig = &config_;
   }
   void TearDown() override
   {
      ReleaseExtractionFolder(true);
      silentFlag = nullptr;
      activeConfig = nullptr;
   }

   bool silent_ = true;
   SetupConfig config_;
   LogCapture log_;
};

} // namespace

TEST_F(PackedLauncher, ReadsBackEveryKeyAsWritten)
{
   const std::vector<PackSetting> settings = ShippedSettings();
   ASSERT_FALSE(settings.empty());
   ImageResources module(Packed("a"));
   ASSERT_NE(module.get(), nullptr);

   // As the run reads them: the full configuration, then the keys the main flow reads itself.
   ASSERT_TRUE(ReadConfiguration(config_, module.get(), "Tessix Product Installation", true, InstallStyle{true, true}));
   for (const char* key : {"ALLOW32ON64", "MINORUPGRADE", "SINGLE_FILE", "VCRUNTIME_VER"}) {
      std::string ignored;
      EXPECT_EQ(ReadConfigValueAlloc(module.get(), key, ignored), 0u) << key;
   }
   for (const PackSetting& s : settings) {
      EXPECT_EQ(log_.Count("[Resource] " + s.key + " = " + s.value), 1u) << s.key;
      EXPECT_EQ(log_.Count("[Resource] " + s.key + " = <not defined>"), 0u) << s.key;
   }
   EXPECT_EQ(config_.productName, "Tessix Tools");
   EXPECT_EQ(config_.operation, "INSTALLUPD");
   EXPECT_EQ(config_.languages, "1034 1036 1041");
   EXPECT_EQ(config_.database, "Tessix Tools.msi");
   EXPECT_EQ(config_.txiOption, "");
   EXPECT_TRUE(config_.cacheMsi);
   EXPECT_EQ(config_.minimumMsiNt, 300u);
   EXPECT_EQ(config_.vcRuntime64, "vcredist_arm64.exe");
   EXPECT_EQ(config_.properties, "");

   // SFXINSERT is the configured image's size: the container starts right there.
   const std::string file = ReadTextFile(Packed("a"));
   ASSERT_GT(config_.payloadOffset, 0u);
   ASSERT_LT(config_.payloadOffset, file.size());
   EXPECT_EQ(file.substr(config_.payloadOffset, 4), "KSXT");
   std::string offsetText;
   ASSERT_EQ(ReadConfigValueAlloc(module.get(), "SFXINSERT", offsetText), 0u);
   EXPECT_EQ(offsetText.size(), 10u) << "fixed width, blanks in front: '" << offsetText << "'";
}

TEST_F(PackedLauncher, ExtractsBothPayloadFilesIntoAChosenFolder)
{
   ImageResources module(Packed("a"));
   ASSERT_TRUE(ReadConfiguration(config_, module.get(), "title", true, InstallStyle{true, true}));
   const std::string msi = ReadTextFile(SamplePath("Tessix Tools.msi"));
   const std::string vcredist = ReadTextFile(SamplePath("vcredist_arm64.exe"));
   ASSERT_FALSE(msi.empty());
   ASSERT_FALSE(vcredist.empty());

   const uint64_t payload = GetPayloadSize(Packed("a").c_str(), config_.payloadOffset);
   EXPECT_EQ(payload, msi.size() + vcredist.size());
   ScratchDir temp("packed");
   TempFolderOverride override(temp.path() + "\\");
   ASSERT_EQ(ChooseExtractionFolder(ComputeRequiredBytes(module.get(), payload, "title")), FolderChoice::Chosen);
   EXPECT_EQ(extractionFolder, temp / config_.productCode + "~setup\\");
   ASSERT_EQ(PrepareExtractionFolder(extractionFolder), FolderPreparation::Ready);

   struct Seen {
      std::vector<std::string> files;
      uint64_t bytes = 0;
   } seen;
   ExtractCallbacks callbacks;
   callbacks.onFile = [](void* c, const char* name, uint64_t) { static_cast<Seen*>(c)->files.push_back(name); };
   callbacks.onChunk = [](void* c, uint64_t bytes) {
      static_cast<Seen*>(c)->bytes += bytes;
      return true;
   };
   callbacks.context = &seen;
   ASSERT_EQ(ExtractPayload(Packed("a").c_str(), extractionFolder.c_str(), config_.payloadOffset, callbacks),
             ExtractResult::ExtractOk);
   EXPECT_EQ(seen.files, (std::vector<std::string>{"Tessix Tools.msi", "vcredist_arm64.exe"}));
   EXPECT_EQ(seen.bytes, payload);
   EXPECT_TRUE(ReadTextFile(extractionFolder + "Tessix Tools.msi") == msi);
   EXPECT_TRUE(ReadTextFile(extractionFolder + "vcredist_arm64.exe") == vcredist);
   EXPECT_EQ(ListFolder(extractionFolder).size(), 2u);
}

TEST_F(PackedLauncher, SameInputsGiveTheSameBytes)
{
   const std::string a = ReadTextFile(Packed("a"));
   ASSERT_FALSE(a.empty());
   EXPECT_TRUE(a == ReadTextFile(Packed("b")));
}
