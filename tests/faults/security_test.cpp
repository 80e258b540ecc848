// Security checks of the packed launcher as it runs: DLLs planted beside it and in its working
// folder are never loaded, a signature appended after packing leaves the payload before the
// certificate table, and the temporary folder comes from GetTempPath2W where the system has it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/faults/faultSupport.h"

using namespace faults;

namespace
{

// Every library the launcher loads by name: the pre-load list, the libraries bound at run
// time, and what its import table names. `knownDll`: served from the \\KnownDlls section on
// Windows 10 and 11, so never looked for in a program's folder there. Wine keeps no such
// list: its loader resolves the imports of its own system libraries (shlwapi's of shcore) from
// the program's folder first, before any code of the launcher runs. Those names are reported,
// not failed; every other name must never be loaded.
struct Planted {
   const char* name;
   bool knownDll;
};
const Planted kPlanted[] = {
    {"ntasn1.dll", false},   {"msisip.dll", false},   {"msls31.dll", false},      {"netutils.dll", false},
    {"winnsi.dll", false},   {"usp10.dll", false},    {"riched20.dll", false},    {"bcrypt.dll", false},
    {"wkscli.dll", false},   {"srvcli.dll", false},   {"cabinet.dll", false},     {"cryptnet.dll", false},
    {"cryptsp.dll", false},  {"devrtl.dll", false},   {"dwmapi.dll", false},      {"gpapi.dll", false},
    {"iphlpapi.dll", false}, {"dhcpcsvc.dll", false}, {"dhcpcsvc6.dll", false},   {"dnsapi.dll", false},
    {"combase.dll", true},   {"shcore.dll", true},    {"webio.dll", false},       {"winhttp.dll", false},
    {"msi.dll", false},      {"msihnd.dll", false},   {"msimsg.dll", false},      {"ncrypt.dll", false},
    {"profapi.dll", false},  {"propsys.dll", false},  {"RpcRtRemote.dll", false}, {"SensApi.dll", false},
    {"userenv.dll", false},  {"version.dll", false},  {"sfc_os.dll", false},      {"uxtheme.dll", false},
    {"comctl32.dll", false}, {"crypt32.dll", false},  {"wintrust.dll", false},    {"rstrtmgr.dll", false},
    {"wtsapi32.dll", false}, {"icu.dll", false},      {"kernel32.dll", true},     {"user32.dll", true},
    {"gdi32.dll", true},     {"advapi32.dll", true},  {"shell32.dll", true},      {"shlwapi.dll", true},
    {"ole32.dll", true},     {"oleaut32.dll", true},  {"psapi.dll", true},        {"comdlg32.dll", true},
    {"msvcrt.dll", true},
};

bool IsKnownDll(const std::string& marker)
{
   for (const Planted& planted : kPlanted) {
      if (planted.knownDll && _stricmp((std::string(planted.name) + ".loaded").c_str(), marker.c_str()) == 0) {
         return true;
      }
   }
   return false;
}

std::vector<std::string> Markers(const std::string& folder)
{
   std::vector<std::string> found;
   for (const std::string& name : ListFolder(folder)) {
      if (name.size() > 7 && name.compare(name.size() - 7, 7, ".loaded") == 0) {
         found.push_back(name);
      }
   }
   return found;
}

uint32_t Le32(const std::string& bytes, size_t at)
{
   uint32_t value = 0;
   std::memcpy(&value, bytes.data() + at, 4);
   return value;
}

uint64_t Le64(const std::string& bytes, size_t at)
{
   uint64_t value = 0;
   std::memcpy(&value, bytes.data() + at, 8);
   return value;
}

// Wine's per-program DLL overrides: native first for the names Wine would otherwise keep its
// own library for, for the control and the launcher copy of the planting test.
class NativeFirst
{
 public:
   explicit NativeFirst(bool on) : on_(on)
   {
      for (const wchar_t* program : kPrograms) {
         if (!on_) {
            continue;
         }
         HKEY key = nullptr;
         const std::wstring path = std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides";
         if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
             ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot write the overrides";
            continue;
         }
         for (const wchar_t* name : kNames) {
            const wchar_t order[] = L"native,builtin";
            RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
         }
         RegCloseKey(key);
      }
   }
   ~NativeFirst()
   {
      for (const wchar_t* program : kPrograms) {
         if (on_) {
            RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(L"Software\\Wine\\AppDefaults\\") + program).c_str());
         }
      }
   }
   NativeFirst(const NativeFirst&) = delete;
   NativeFirst& operator=(const NativeFirst&) = delete;

 private:
   static constexpr const wchar_t* kPrograms[] = {L"tx-careless.exe", L"tx-planted-dlls.exe"};
   static constexpr const wchar_t* kNames[] = {
       L"msi",     L"uxtheme",  L"riched20", L"comctl32", L"crypt32",  L"wintrust", L"usp10",  L"bcrypt",
       L"cabinet", L"cryptnet", L"cryptsp",  L"dnsapi",   L"iphlpapi", L"winhttp",  L"msimsg", L"wtsapi32"};
   bool on_;
};

class Planting : public ::testing::Test
{
 protected:
   void SetUp() override { RemoveSample(); }
   void TearDown() override { RemoveSample(); }
};

} // namespace

TEST_F(Planting, DllsBesideTheLauncherOrInItsWorkingFolderAreNeverLoaded)
{
   // Wine keeps its own (builtin) library for some names even when a program's folder holds
   // one, so a planted copy of those could not be caught. A second pass makes the loader prefer
   // a file it finds (native first) for them, for the two programs of this test only (Wine's
   // per-program overrides). Not for version.dll: Wine's user32 imports it, and native first
   // the loader would take the planted copy for user32 before the launcher runs (on Windows
   // user32 is a KnownDLL and imports no version.dll).
   struct Layout {
      const char* what;
      bool besideLauncher; // else in the working folder, the launcher's own folder holding no DLL
      bool nativeFirst;
   };
   const Layout layouts[] = {
       {"beside the launcher", true, false},
       {"in the working folder", false, false},
       {"beside the launcher, native first", true, true},
       {"in the working folder, native first", false, true},
   };
   for (const Layout& layout : layouts) {
      ScratchDir app("fapp");
      ScratchDir cwd("fwork");
      ScratchDir temp("fptemp");
      const ScratchDir& planted = layout.besideLauncher ? app : cwd;
      std::string names;
      for (const Planted& dll : kPlanted) {
         ASSERT_TRUE(CopyFileW(Win32U_Wide(CanaryDll()).c_str(), Win32U_Wide(planted / dll.name).c_str(), FALSE));
         names += std::string(" ") + dll.name;
      }
      LauncherOptions options;
      options.arguments = kSilentInstall;
      options.workingDirectory = cwd.path();
      NativeFirst overrides(layout.nativeFirst);

      // The control: a program without hardening, started the same way, shows which planted
      // copies this loader would take by bare name.
      options.image = app / "tx-careless.exe";
      ASSERT_TRUE(CopyFileW(Win32U_Wide(NaiveLoader()).c_str(), Win32U_Wide(options.image).c_str(), FALSE));
      options.arguments = names.substr(1);
      RunLauncher(options, temp.path());
      std::string taken;
      for (const std::string& marker : Markers(planted.path())) {
         taken += " " + marker.substr(0, marker.size() - 7);
         DeleteFileW(Win32U_Wide(planted / marker).c_str());
      }
      std::printf("%s: a careless program takes%s\n", layout.what, taken.empty() ? " nothing" : taken.c_str());
      if (layout.besideLauncher) {
         ASSERT_FALSE(taken.empty()) << "no canary was taken by the control: the test would prove nothing";
      }

      options.image = CopyLauncher(SmallLauncher(), app.path(), "tx-planted-dlls.exe");
      options.arguments = kSilentInstall;
      const LauncherRun run = RunLauncher(options, temp.path());
      EXPECT_EQ(run.exitCode, 0u) << layout.what << "\n" << run.log;
      EXPECT_TRUE(SampleInstalled()) << layout.what;
      for (const std::string& marker : Markers(planted.path())) {
         if (IsKnownDll(marker)) {
            std::printf("%s: Wine's loader took the KnownDLL %s for an import of its own libraries\n", layout.what,
                        marker.substr(0, marker.size() - 7).c_str());
         } else {
            ADD_FAILURE() << layout.what << ": the launcher loaded the planted " << marker;
         }
      }
      RemoveSample();
   }
}

TEST(Signed, ThePayloadLiesBeforeTheCertificateTable)
{
   const std::string bytes = ReadTextFile(SignedLauncher());
   ASSERT_GT(bytes.size(), 0x200u);
   const uint32_t pe = Le32(bytes, 0x3C);
   ASSERT_EQ(bytes.compare(pe, 4, std::string("PE\0\0", 4)), 0);
   const size_t optional = pe + 4 + 20;
   ASSERT_EQ(bytes[optional] | (bytes[optional + 1] << 8), 0x20B) << "PE32+";
   const size_t securityEntry = optional + 112 + 4 * 8; // data directory 4: the certificate table
   const uint32_t certificates = Le32(bytes, securityEntry);
   const uint32_t certificatesSize = Le32(bytes, securityEntry + 4);
   ASSERT_GT(certificatesSize, 0u) << "not signed";
   EXPECT_EQ(static_cast<uint64_t>(certificates) + certificatesSize, bytes.size()) << "the table ends the file";

   const uint64_t offset = ContainerOffset(SignedLauncher());
   ASSERT_GT(offset, 0u);
   ASSERT_EQ(bytes.compare(offset, 4, "KSXT"), 0);
   const uint32_t count = Le32(bytes, offset + 4);
   uint64_t end = offset + 8 + 268ull * count;
   for (uint32_t i = 0; i < count; i++) {
      end += Le64(bytes, offset + 8 + 268ull * i + 260);
   }
   EXPECT_LE(end, certificates) << "the container runs into the certificate table";

   // The signed launcher unpacks its payload byte for byte.
   ScratchDir images("fsign");
   ScratchDir temp("fsigntemp");
   const LauncherRun run =
       RunCopy(CopyLauncher(SignedLauncher(), images.path(), "tx-signed.exe"), temp.path(), "/s /x");
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   const std::string folder = temp / kExtractionFolder;
   EXPECT_EQ(ReadTextFile(folder + "\\Tessix Tools.msi"), ReadTextFile(SamplePackage()));
   EXPECT_EQ(ReadTextFile(folder + "\\vcredist_arm64.exe"), ReadTextFile(RuntimeStandIn()));
}

TEST(TempPath, TheNewerCallIsUsedWhereTheSystemHasIt)
{
   // Wine 8.0's kernel32 has no GetTempPath2W: the older call answers there.
   HMODULE kernel = GetModuleHandleW(L"kernel32");
   wchar_t older[MAX_PATH + 1];
   const DWORD n = GetTempPathW(MAX_PATH + 1, older);
   if (GetProcAddress(kernel, "GetTempPath2W") == nullptr) {
      EXPECT_EQ(Win32U_GetTempPathFrom(kernel), Win32U_ToUtf8(std::wstring(older, n)).value_or("?"));
   }
   // A module that has it is asked instead.
   ScratchDir scratch("ftp2");
   const std::string copy = scratch / "tp2.dll";
   ASSERT_TRUE(CopyFileW(Win32U_Wide(CanaryDll()).c_str(), Win32U_Wide(copy).c_str(), FALSE));
   HMODULE module = LoadLibraryW(Win32U_Wide(copy).c_str());
   ASSERT_NE(module, nullptr);
   EXPECT_EQ(Win32U_GetTempPathFrom(module), "C:\\CanarySystemTemp\\");
   FreeLibrary(module);
}
