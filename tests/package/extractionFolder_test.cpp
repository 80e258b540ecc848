#include "apps/install/setup/extractionFolder.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include "apps/install/setup/config.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/misc/win32u.h"
#include "lib/misc/windowsu.h"
#include "tests/package/packageSupport.h"

namespace
{

const char kProductCode[] = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
const std::string kFolderName = std::string(kProductCode) + "~setup";
constexpr uint64_t kMiB = 1048576;

std::string SidText(PSID sid)
{
   wchar_t* text = nullptr;
   if (!ConvertSidToStringSidW(sid, &text)) {
      return "<invalid>";
   }
   const std::string result = Win32U_Utf8(text);
   LocalFree(text);
   return result;
}

struct Ace {
   BYTE type;
   BYTE flags;
   ACCESS_MASK mask;
   std::string sid;
};

std::vector<Ace> Aces(PACL acl)
{
   std::vector<Ace> aces;
   for (DWORD i = 0; i < acl->AceCount; i++) {
      void* raw = nullptr;
      if (!GetAce(acl, i, &raw)) {
         break;
      }
      auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
      aces.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, SidText(&ace->SidStart)});
   }
   return aces;
}

uint64_t FreeBytes(const char* root)
{
   ULARGE_INTEGER available{};
   Win32U_GetDiskFreeSpaceEx(root, &available, nullptr, nullptr);
   return available.QuadPart;
}

bool IsPlainFolder(const std::string& path)
{
   const DWORD attributes = Win32U_GetFileAttributes(path.c_str());
   return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

class ExtractionFolder : public ::testing::Test
{
 protected:
   void SetUp() override
   {
      config_.productCode = kProductCode;
      activeConfig = &config_;
      extractionFolder.clear();
   }
   void TearDown() override
   {
      ReleaseExtractionFolder(true);
      activeConfig = nullptr;
      RemoveTree("C:\\TessixTemp");
   }

   SetupConfig config_;
   LogCapture log_;
};

} // namespace

TEST_F(ExtractionFolder, TheTemporaryFolderComesFirst)
{
   ScratchDir temp("xtemp");
   TempFolderOverride override(temp.path() + "\\");
   ASSERT_EQ(ChooseExtractionFolder(kMiB), FolderChoice::Chosen);
   EXPECT_EQ(extractionFolder, temp / kFolderName + "\\");
   EXPECT_TRUE(IsPlainFolder(extractionFolder));
   EXPECT_EQ(PrepareExtractionFolder(extractionFolder), FolderPreparation::Ready);
   for (const char* line : {"Attempting to find best location for unpacking temporary installation files",
                            "Extracting setup files to \"%s\""}) {
      std::string text = line;
      const size_t at = text.find("%s");
      if (at != std::string::npos) {
         text.replace(at, 2, extractionFolder);
      }
      EXPECT_TRUE(log_.Has(text)) << text << "\n" << log_.Text();
   }
   EXPECT_TRUE(log_.Has("Examining drive for temp folder \"" + temp.path() + "\\\""));
   EXPECT_TRUE(log_.Has("CurrentLocation \"" + extractionFolder + "\""));
   EXPECT_TRUE(log_.Has("Selecting \"" + extractionFolder + "\" for unpacking temp files"));
   const std::string text = log_.Text();
   EXPECT_NE(text.find("Local fixed drive C: has "), std::string::npos) << text;
}

TEST_F(ExtractionFolder, AFolderFromAnEarlierRunIsEmptiedAndMadeAgain)
{
   ScratchDir temp("xold");
   TempFolderOverride override(temp.path() + "\\");
   const std::string old = temp / kFolderName;
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(old).c_str(), nullptr));
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(old + "\\sub").c_str(), nullptr));
   ASSERT_TRUE(WriteTextFile(old + "\\sub\\planted.dll", "planted"));
   ASSERT_EQ(ChooseExtractionFolder(kMiB), FolderChoice::Chosen);
   EXPECT_EQ(extractionFolder, old + "\\");
   EXPECT_TRUE(ListFolder(old).empty());
   EXPECT_EQ(PrepareExtractionFolder(extractionFolder), FolderPreparation::Ready);
}

TEST_F(ExtractionFolder, APlantedLinkIsNeverFollowed)
{
   const std::string root = WinePath(TestArg(2));
   TempFolderOverride override(root + "\\linktemp\\");
   const std::string link = root + "\\linktemp\\" + kFolderName;
   ASSERT_NE(Win32U_GetFileAttributes(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "fixture missing";
   ASSERT_EQ(ChooseExtractionFolder(kMiB), FolderChoice::Chosen);
   // Wine cannot remove a directory link, so the candidate is passed over; Windows removes the
   // link and makes a real folder in its place. Either way the link's target is untouched.
   EXPECT_TRUE(IsPlainFolder(extractionFolder)) << extractionFolder;
   EXPECT_EQ(ReadTextFile(root + "\\outside\\precious.txt"), "precious\n");
   EXPECT_EQ(ListFolder(root + "\\outside").size(), 1u);
   EXPECT_EQ(PrepareExtractionFolder(link + "\\"), FolderPreparation::CannotSecure) << "a link cannot be restricted";
   EXPECT_NE(log_.Text().find("I0: Can't adjust security for target path \"" + link + "\\\"| winerror code "),
             std::string::npos)
       << "with the system's reason";
}

TEST_F(ExtractionFolder, ATooSmallTemporaryDriveGivesWayToTheFirstFixedDriveWithRoom)
{
   TempFolderOverride override("T:\\temp\\");
   const uint64_t small = FreeBytes("T:\\");
   const uint64_t large = FreeBytes("C:\\");
   ASSERT_GT(small, 0u) << "drive T: missing (fixture)";
   if (small >= large) {
      GTEST_SKIP() << "drive T: has no less room than C: here";
   }
   ASSERT_EQ(ChooseExtractionFolder(small + (large - small) / 2), FolderChoice::Chosen);
   EXPECT_EQ(extractionFolder, "C:\\TessixTemp\\" + kFolderName + "\\") << log_.Text();
   EXPECT_TRUE(IsPlainFolder(extractionFolder));
   EXPECT_EQ(PrepareExtractionFolder(extractionFolder), FolderPreparation::Ready);
   EXPECT_TRUE(log_.Has("Examining drive for temp folder \"T:\\temp\\\""));
   EXPECT_FALSE(log_.Has("CurrentLocation \"T:\\temp\\" + kFolderName + "\\\""));
}

TEST_F(ExtractionFolder, NoRoomAnywhere)
{
   ScratchDir temp("xnone");
   TempFolderOverride override(temp.path() + "\\");
   EXPECT_EQ(ChooseExtractionFolder(UINT64_MAX), FolderChoice::NoRoom);
   EXPECT_TRUE(log_.Has("ERROR: Setup did not find a suitable unpack location. Stopping installation."));
   EXPECT_EQ(extractionFolder, "");
}

TEST_F(ExtractionFolder, AProductCodeThatIsNotOneFolderNameIsNotUsed)
{
   ScratchDir temp("xcode");
   TempFolderOverride override(temp.path() + "\\");
   config_.productCode = "..\\..\\Windows";
   EXPECT_EQ(ChooseExtractionFolder(kMiB), FolderChoice::NoRoom);
   EXPECT_TRUE(ListFolder(temp.path()).empty() || ListFolder(temp.path()) == std::vector<std::string>{"txinst.log"});
}

TEST_F(ExtractionFolder, AFolderThatIsNotEmptyIsRefused)
{
   ScratchDir folder("xfull");
   ASSERT_TRUE(WriteTextFile(folder / "left.txt", "x"));
   EXPECT_EQ(PrepareExtractionFolder(folder.path() + "\\"), FolderPreparation::NotEmpty);
   EXPECT_TRUE(log_.Has("The target path is not empty \"" + folder.path() + "\\\""));
}

// Windows refuses a folder's security where Wine never does: SIDs that cannot be made (memory),
// an owner the run's token may not set. Neither is a full disk: the user is told which folder
// cannot be used, and a silent run ends by itself with the failure.
BOOL WINAPI NoSid(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*)
{
   SetLastError(ERROR_NOT_ENOUGH_MEMORY);
   return FALSE;
}

DWORD WINAPI OwnerRefused(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL)
{
   return ERROR_INVALID_OWNER;
}

TEST_F(ExtractionFolder, WhatTheUserIsToldWhenNoFolderCanBeUsed)
{
   ImageResources launcher(WinePath(TestArg(1)));
   ASSERT_NE(launcher.get(), nullptr);
   const W32UtilSecurityCalls real = W32Util_SecurityCalls();
   const W32UtilSecurityCalls noSid = {NoSid, real.setSecurityInfo};
   const W32UtilSecurityCalls ownerRefused = {real.allocateAndInitializeSid, OwnerRefused};
   struct Case {
      const char* what;
      const W32UtilSecurityCalls* calls;
      uint64_t needed;
      int32_t exitCode;
      std::string line;    // with the folder after it
      std::string message; // the box's text up to the folder or number
   } cases[] = {
       {"no drive with room", nullptr, UINT64_MAX, 112, "ERROR: Failed to find drive with enough space.",
        "There is not enough free disk space for setup to proceed."},
       {"the descriptor cannot be built", &noSid, kMiB, 1603,
        "Can't adjust security for target path \"%s\"| winerror code 8", "Setup cannot extract files to %s.  "},
       {"the restriction is refused", &ownerRefused, kMiB, 1603,
        "Can't adjust security for target path \"%s\"| winerror code 1307", "Setup cannot extract files to %s.  "},
   };
   bool silent = true;
   silentFlag = &silent;
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      ScratchDir temp("xsecure");
      TempFolderOverride override(temp.path() + "\\");
      const std::string folder = temp / kFolderName + "\\";
      const size_t logStart = log_.Text().size();
      W32Util_SetSecurityCallsForTest(c.calls);
      const int32_t exitCode = SetUpExtractionFolder(c.needed, true, "Tessix Product Installation", launcher.get());
      W32Util_SetSecurityCallsForTest(nullptr);
      ReleaseExtractionFolder(false);

      EXPECT_EQ(exitCode, c.exitCode);
      std::string line = c.line;
      std::string message = c.message;
      for (std::string* text : {&line, &message}) {
         if (const size_t at = text->find("%s"); at != std::string::npos) {
            text->replace(at, 2, folder);
         }
      }
      const std::string text = log_.Text().substr(logStart);
      EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
      EXPECT_NE(text.find("DisplayMessageBox: \"Tessix Product Installation\" - \"" + message), std::string::npos)
          << message << "\n"
          << text;
      EXPECT_EQ(text.find("DisplayMessageBox:"), text.rfind("DisplayMessageBox:")) << "one box, never asked again";
      EXPECT_FALSE(PathExists(folder)) << "nothing is left";
   }
   silentFlag = nullptr;
}

TEST_F(ExtractionFolder, DescriptorsBuiltInMemory)
{
   FolderCreationSecurity security;
   ASSERT_TRUE(BuildFolderCreationSecurity(security));
   ASSERT_TRUE(IsValidSecurityDescriptor(&security.descriptor));
   EXPECT_EQ(security.attributes.lpSecurityDescriptor, &security.descriptor);
   SECURITY_DESCRIPTOR_CONTROL control = 0;
   DWORD revision = 0;
   ASSERT_TRUE(GetSecurityDescriptorControl(&security.descriptor, &control, &revision));
   EXPECT_EQ(control & (SE_DACL_PRESENT | SE_DACL_PROTECTED), SE_DACL_PRESENT | SE_DACL_PROTECTED)
       << "nothing is inherited from the parent";
   PSID owner = nullptr;
   BOOL defaulted = FALSE;
   ASSERT_TRUE(GetSecurityDescriptorOwner(&security.descriptor, &owner, &defaulted));
   EXPECT_EQ(owner, nullptr) << "the creator's default owner; the restriction sets Administrators";
   BOOL present = FALSE;
   PACL dacl = nullptr;
   ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &dacl, &defaulted));
   ASSERT_NE(dacl, nullptr);
   const std::vector<Ace> creation = Aces(dacl);
   ASSERT_EQ(creation.size(), 2u);
   const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
   EXPECT_EQ(creation[0].sid, "S-1-5-32-544");
   EXPECT_EQ(creation[1].sid, "S-1-5-18");
   for (const Ace& ace : creation) {
      EXPECT_EQ(ace.type, ACCESS_ALLOWED_ACE_TYPE);
      EXPECT_EQ(ace.flags, inherit);
      EXPECT_EQ(ace.mask, 0x101F0000u);
   }

   // The restriction that follows: the Administrators group alone, full control, inherited.
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   std::vector<BYTE> acl = W32Util_BuildAdminsOnlyAcl(admins.get());
   ASSERT_FALSE(acl.empty());
   ASSERT_TRUE(IsValidAcl(reinterpret_cast<PACL>(acl.data())));
   const std::vector<Ace> restricted = Aces(reinterpret_cast<PACL>(acl.data()));
   ASSERT_EQ(restricted.size(), 1u);
   EXPECT_EQ(restricted[0].sid, "S-1-5-32-544");
   EXPECT_EQ(restricted[0].type, ACCESS_ALLOWED_ACE_TYPE);
   EXPECT_EQ(restricted[0].flags, inherit);
   EXPECT_EQ(restricted[0].mask, 0x101F0000u);
}
