// txpack run as a release engineer runs it: its exit code, its messages, and what it leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <wtypes.h>

#include <map>

#include "lib/misc/win32u.h"
#include "tests/package/packageSupport.h"

namespace
{

struct PackRun {
   DWORD exitCode;
   std::string output; // standard output and error together
};

PackRun RunTxpack(const std::string& arguments, const ScratchDir& dir)
{
   const std::string program = WinePath(TestArg(3));
   // A file of its own for each run: the last run's process may still hold its file briefly.
   static int runs = 0;
   const std::string capture = dir / ("txpack" + std::to_string(runs++) + ".out");
   SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
   HANDLE out = CreateFileW(Win32U_Wide(capture).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            CREATE_ALWAYS, 0, nullptr);
   STARTUPINFOW si{};
   si.cb = sizeof si;
   si.dwFlags = STARTF_USESTDHANDLES;
   si.hStdOutput = out;
   si.hStdError = out;
   PROCESS_INFORMATION pi{};
   PackRun run{0xFFFFFFFF, ""};
   const std::string line = "\"" + program + "\" " + arguments;
   // Wine on a loaded machine now and then fails to start a process with ERROR_INTERNAL_ERROR
   // (seen once in a CI run); a second attempt tells that apart from a real failure.
   const auto start = [&] {
      return Win32U_CreateProcess(program.c_str(), line.c_str(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &si, &pi);
   };
   if (!start() && (GetLastError() != ERROR_INTERNAL_ERROR || (Sleep(500), !start()))) {
      ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
      CloseHandle(out);
      return run;
   }
   WaitForSingleObject(pi.hProcess, 60000);
   GetExitCodeProcess(pi.hProcess, &run.exitCode);
   CloseHandle(pi.hProcess);
   CloseHandle(pi.hThread);
   CloseHandle(out);
   run.output = ReadTextFile(capture);
   return run;
}

std::string Quoted(const std::string& path)
{
   return "\"" + path + "\"";
}

// The same path as Wine's Z: drive shows it: another spelling of the same file.
std::string ThroughDriveZ(const std::string& path)
{
   using UnixName = char*(CDECL*)(const wchar_t*);
   const auto unixName = reinterpret_cast<UnixName>(
       reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
   char* name = unixName != nullptr ? unixName(Win32U_Wide(path).c_str()) : nullptr;
   if (name == nullptr) {
      return std::string();
   }
   std::string z = "Z:" + std::string(name);
   HeapFree(GetProcessHeap(), 0, name);
   for (char& c : z) {
      c = c == '/' ? '\\' : c;
   }
   return z;
}

// Every file under `folder` with its bytes: what a refused run must leave exactly as it was.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
   std::map<std::string, std::string> files;
   for (const std::string& name : ListFolder(folder)) {
      const std::string path = folder + "\\" + name;
      if (GetFileAttributesW(Win32U_Wide(path).c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
         for (const auto& [inner, bytes] : Snapshot(path)) {
            files[name + "\\" + inner] = bytes;
         }
      } else {
         files[name] = ReadTextFile(path);
      }
   }
   return files;
}

std::string Names(const std::map<std::string, std::string>& files)
{
   std::string names;
   for (const auto& [name, bytes] : files) {
      names += name + " (" + std::to_string(bytes.size()) + " bytes)\n";
   }
   return names;
}

std::string SamplePackage()
{
   return WinePath(TestArg(4)) + "\\Tessix Tools.msi";
}

// A copy of the sample package standing in for a patch (Windows Installer patches cannot be built
// here): a patch names the products it applies to in its summary information's template.
bool MakePatchStandIn(const std::string& path, const std::string& targets)
{
   if (!CopyFileW(Win32U_Wide(SamplePackage()).c_str(), Win32U_Wide(path).c_str(), FALSE)) {
      return false;
   }
   MSIHANDLE database = 0;
   MSIHANDLE summary = 0;
   bool ok = MsiOpenDatabaseW(Win32U_Wide(path).c_str(), MSIDBOPEN_TRANSACT, &database) == ERROR_SUCCESS &&
             MsiGetSummaryInformationW(database, nullptr, 20, &summary) == ERROR_SUCCESS &&
             MsiSummaryInfoSetPropertyW(summary, 7 /* template */, VT_LPSTR, 0, nullptr,
                                        Win32U_Wide(targets).c_str()) == ERROR_SUCCESS &&
             MsiSummaryInfoPersist(summary) == ERROR_SUCCESS;
   MsiCloseHandle(summary);
   ok = ok && MsiDatabaseCommit(database) == ERROR_SUCCESS;
   MsiCloseHandle(database);
   return ok;
}

// A release folder as a release engineer has it: the built launcher, the product's files and
// configuration, and last release's launcher in the output folder.
struct ReleaseFolder {
   ReleaseFolder() : dir("txpack")
   {
      EXPECT_TRUE(CopyLauncher(base));
      EXPECT_TRUE(WriteTextFile(config, ReadTextFile(WinePath(TestArg(5)))));
      EXPECT_TRUE(CopyFileW(Win32U_Wide(SamplePackage()).c_str(), Win32U_Wide(msi).c_str(), FALSE));
      EXPECT_TRUE(WriteTextFile(runtime, "the runtime installer"));
      EXPECT_TRUE(CreateDirectoryW(Win32U_Wide(dir / "release").c_str(), nullptr));
      EXPECT_TRUE(WriteTextFile(lastRelease, "last release's launcher"));
   }
   // Every argument but the output, around `config`.
   std::string Inputs(const std::string& configFile) const
   {
      return "--base " + Quoted(base) + " --config " + Quoted(configFile) + " --payload " + Quoted(msi) + " " +
             Quoted(runtime) + " --version-file 13.0.1.0 --version-product 13.0.1.0";
   }
   std::string WithConfig(const std::string& name, const std::string& from, const std::string& to) const
   {
      std::string text = ReadTextFile(config);
      const size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      text.replace(at, from.size(), to);
      EXPECT_TRUE(WriteTextFile(dir / name, text));
      return dir / name;
   }

   ScratchDir dir;
   const std::string base = dir / "setup.exe";
   const std::string config = dir / "tessix-tools.cfg";
   const std::string msi = dir / "Tessix Tools.msi";
   const std::string runtime = dir / "vcredist_arm64.exe";
   const std::string lastRelease = dir / "release\\setup.exe";
};

} // namespace

// Each refusal: its message, its exit code, and every file it met left byte for byte as it was,
// with no temporary file of its own left behind.
TEST(Txpack, RefusalsLeaveEveryFileAsItWas)
{
   ReleaseFolder r;
   const std::string& dir = r.dir.path();
   const std::string out = Quoted(r.lastRelease);
   const std::string inputs = r.Inputs(r.config);
   // Launchers that already carry what txpack writes, made by txpack itself.
   const std::string packedBase = r.dir / "packed.exe";
   const std::string configuredBase = r.dir / "configured.exe";
   ASSERT_EQ(RunTxpack(inputs + " -o " + Quoted(packedBase), r.dir).exitCode, 0u);
   ASSERT_EQ(
       RunTxpack("--base " + Quoted(r.base) + " --config " + Quoted(r.config) + " -o " + Quoted(configuredBase), r.dir)
           .exitCode,
       0u);
   ASSERT_TRUE(WriteTextFile(r.dir / "bad.cfg", "# fine\nPRODUCTNAME Tessix Tools\n"));
   ASSERT_TRUE(WriteTextFile(r.dir / "aux", "device"));
   const std::string longName = std::string(136, 'n') + ".msi";
   ASSERT_TRUE(WriteTextFile(r.dir / longName, "long"));
   const std::string baseInZ = ThroughDriveZ(r.base);
   ASSERT_FALSE(baseInZ.empty());
   const std::string payload = " --payload " + Quoted(r.msi) + " " + Quoted(r.runtime);
   const std::string withConfig = "--base " + Quoted(r.base) + " -o " + out + " --config ";
   const std::string shippedCode = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
   const std::string lastCode = "{2A4C6E80-1B3D-4F57-9A1C-3E5F7091B2D4}";
   // A patch for other products than the configuration's.
   ASSERT_TRUE(MakePatchStandIn(r.dir / "Tessix Tools.msp", lastCode));
   std::string patchConfig = ReadTextFile(r.config);
   patchConfig.replace(patchConfig.find("TX_DATABASE=Tessix Tools.msi"), 28, "PATCH=Tessix Tools.msp");
   patchConfig.replace(patchConfig.find("OPERATION=INSTALLUPD"), 20, "OPERATION=DEFAULT");
   ASSERT_TRUE(WriteTextFile(r.dir / "patch.cfg", patchConfig));
   const std::string standard = r.WithConfig("standard.cfg", "MINORUPGRADE=1\n", "");

   struct Case {
      const char* what;
      std::string arguments;
      DWORD exitCode;
      std::string message;
   } const cases[] = {
       {"output is the base under \\\\?\\", inputs + " -o " + Quoted("\\\\?\\" + r.base), 1,
        "is the base image itself"},
       {"output is the base through another drive", inputs + " -o " + Quoted(baseInZ), 1, "is the base image itself"},
       {"output folder holding the base", inputs + " -o " + Quoted(dir), 1, "is the base image itself"},
       {"output is a payload file", inputs + " -o " + Quoted(r.msi), 1, "is the payload file"},
       {"output is the configuration", inputs + " -o " + Quoted(r.config), 1, "is the configuration file"},
       {"bad line", withConfig + Quoted(r.dir / "bad.cfg") + payload, 1,
        "bad.cfg: line 2: expected KEY=VALUE, found \"PRODUCTNAME Tessix Tools\""},
       {"misspelt required key", withConfig + Quoted(r.WithConfig("a.cfg", "PRODUCTNAME=", "PRODUCT_NAME=")) + payload,
        1, "a.cfg: the required key PRODUCTNAME is missing (line 14 sets PRODUCT_NAME)"},
       {"version with a dot",
        withConfig + Quoted(r.WithConfig("b.cfg", "MINIMUM_NT_MSI=300", "MINIMUM_NT_MSI=3.0")) + payload, 1,
        "b.cfg: line 8: MINIMUM_NT_MSI \"3.0\" is not a Windows Installer version"},
       {"engine above Windows 10's without an upgrader",
        withConfig + Quoted(r.WithConfig("e.cfg", "MINIMUM_NT_MSI=300", "MINIMUM_NT_MSI=3000")) + payload, 1,
        "e.cfg: line 8: MINIMUM_NT_MSI \"3000\" is above 500 (Windows Installer 5.0, which Windows 10 and 11 ship): "
        "every install would need an engine upgrade, and INSTMSIW names no upgrader"},
       {"product code without braces",
        withConfig +
            Quoted(r.WithConfig("c.cfg", "PRODUCTCODE={8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}",
                                "PRODUCTCODE=8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81")) +
            payload,
        1, "c.cfg: line 12: PRODUCTCODE \"8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81\" is not a braced GUID"},
       {"package not in the payload",
        withConfig + Quoted(r.WithConfig("d.cfg", "TX_DATABASE=Tessix Tools.msi", "TX_DATABASE=tools.msi")) + payload,
        1, "d.cfg: line 19: TX_DATABASE \"tools.msi\" is not a file of the payload"},
       {"name too long to extract", withConfig + Quoted(r.config) + payload + " " + Quoted(r.dir / longName), 1,
        "txpack: --payload: the payload file \"" + longName + "\" has 140 characters"},
       {"base already packed",
        "--base " + Quoted(packedBase) + " -o " + out + " --config " + Quoted(r.config) + payload, 1,
        "already packed; use the launcher from the build output"},
       {"base already configured",
        "--base " + Quoted(configuredBase) + " -o " + out + " --config " + Quoted(r.config) + payload, 1,
        "already packed; use the launcher from the build output"},
       {"base not a program image",
        "--base " + Quoted(r.config) + " -o " + out + " --config " + Quoted(r.config) + payload, 1,
        "is not a program image"},
       {"missing payload file", withConfig + Quoted(r.config) + " --payload " + Quoted(r.dir / "none.msi"), 1,
        "cannot open the payload file \"" + r.dir / "none.msi" + "\": error 2"},
       {"missing configuration", withConfig + Quoted(r.dir / "none.cfg") + payload, 1,
        "cannot open the configuration file \"" + r.dir / "none.cfg" + "\": error 2"},
       {"missing base",
        "--base " + Quoted(r.dir / "none.exe") + " -o " + out + " --config " + Quoted(r.config) + payload, 1,
        "cannot open the base image \"" + r.dir / "none.exe" + "\": error 2"},
       {"stream in a payload name", withConfig + Quoted(r.config) + " --payload " + Quoted(r.dir / "a.msi:s"), 1,
        "the payload name \"a.msi:s\" cannot be used: the name holds a colon"},
       {"device payload name", withConfig + Quoted(r.config) + " --payload " + Quoted(r.dir / "aux"), 1,
        "the payload name \"aux\" cannot be used: the name is a reserved device name"},
       {"same name twice", withConfig + Quoted(r.config) + payload + " " + Quoted(r.dir / "release\\TESSIX TOOLS.MSI"),
        1, "two payload files are named \"TESSIX TOOLS.MSI\""},
       {"version string too long", inputs + " -o " + out + " --string \"CompanyName=Tessix Incorporated\"", 1,
        "--string CompanyName=Tessix Incorporated: \"Tessix Incorporated\" has 19 characters, and the image holds at "
        "most 12 in CompanyName"},
       {"version text too long for its string",
        r.Inputs(r.config) + " --version-file 00013.00000.00001.0000000 -o " + out, 1,
        "\"00013.00000.00001.0000000\" has 25 characters, and the image holds at most 23 in FileVersion"},
       {"misspelt version string", inputs + " -o " + out + " --string ProdcutName=x", 1,
        "--string ProdcutName=x: the version information has no string \"ProdcutName\"; its strings are CompanyName, "
        "FileDescription, FileVersion, InternalName, LegalCopyright, OriginalFilename, ProductName, ProductVersion; "
        "the nearest is ProductName"},
       {"version number above 65535", r.Inputs(r.config) + " --version-file 70000.1.2.3 -o " + out, 1,
        "--version-file \"70000.1.2.3\": 70000 is above 65535; a version is one to four whole numbers of 0 to 65535 "
        "separated by dots, such as 13.0.1.0"},
       {"version with a letter", r.Inputs(r.config) + " --version-product v1.0.0 -o " + out, 1,
        "--version-product \"v1.0.0\": it holds \"v\", which is neither a digit nor a dot"},
       {"version with a suffix", r.Inputs(r.config) + " --version-file 1.0.0.0-beta -o " + out, 1,
        "--version-file \"1.0.0.0-beta\": it holds \"-\""},
       {"output folder missing", inputs + " -o " + Quoted(r.dir / "missing\\setup.exe"), 1,
        "the output folder \"" + r.dir / "missing\\\" does not exist: create it first"},
       // A trailing back-slash before the closing quote is written doubled, as a shell passes it.
       {"output folder missing, named as a folder", inputs + " -o \"" + r.dir / "missing\\\\\"", 1,
        "the output folder \"" + r.dir / "missing\\\" does not exist"},
       {"last release's product code",
        withConfig + Quoted(r.WithConfig("f.cfg", "PRODUCTCODE=" + shippedCode, "PRODUCTCODE=" + lastCode)) + payload,
        1,
        "f.cfg: line 12: PRODUCTCODE \"" + lastCode +
            "\" is not the product code of the package \"Tessix Tools.msi\", " + shippedCode},
       {"another upgrade code",
        withConfig +
            Quoted(r.WithConfig("g.cfg", "UPGRADECODE={1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B65}",
                                "UPGRADECODE={1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B66}")) +
            payload,
        1,
        "g.cfg: line 13: UPGRADECODE \"{1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B66}\" is not the upgrade code of the package "
        "\"Tessix Tools.msi\", {1F7B9D3C-6A2E-4C58-B1E4-7D0F3A9C2B65}"},
       {"a patch for other products",
        withConfig + Quoted(r.dir / "patch.cfg") + " --payload " + Quoted(r.dir / "Tessix Tools.msp") + " " +
            Quoted(r.runtime),
        1,
        "PRODUCTCODE \"" + shippedCode + "\" is not a product the patch \"Tessix Tools.msp\" targets (" + lastCode +
            ")"},
       {"strict: a misspelt optional key",
        withConfig + Quoted(r.WithConfig("w.cfg", "ALLOW32ON64=0", "ALOW32ON64=0")) + payload + " --strict", 1,
        "nothing was written: --strict makes the warning above an error"},
       {"strict: no payload", withConfig + Quoted(r.config) + " --strict", 1, "no payload is packed (no --payload)"},
       {"strict: an unsigned package in the standard style", withConfig + Quoted(standard) + payload + " --strict", 1,
        "\"Tessix Tools.msi\" carries no valid signature (it carries no signature"},
       {"unknown argument", inputs + " -o " + out + " --sign", 2, "unknown argument \"--sign\""},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const auto before = Snapshot(dir);
      const PackRun run = RunTxpack(c.arguments, r.dir);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
      EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
      const auto after = Snapshot(dir);
      // The capture of this run's output is the only new file.
      EXPECT_EQ(after.size(), before.size() + 1) << Names(after);
      for (const auto& [name, bytes] : before) {
         EXPECT_TRUE(after.count(name) == 1 && after.at(name) == bytes) << name << " changed";
      }
   }
}

// The second run replaces the first one's launcher in one step, never by writing into it: a
// second name of the old launcher keeps every old byte, and the path then holds exactly what a
// fresh run writes. While the old launcher is open the replacement fails and changes nothing.
TEST(Txpack, PackingTwiceReplacesTheOutputAtOnce)
{
   ReleaseFolder r;
   const std::string first = r.dir / "release\\first.exe";
   ASSERT_EQ(RunTxpack(r.Inputs(r.config) + " -o " + Quoted(first), r.dir).exitCode, 0u);
   const std::string old = ReadTextFile(first);
   ASSERT_FALSE(old.empty());
   ASSERT_TRUE(CreateHardLinkW(Win32U_Wide(r.dir / "old.exe").c_str(), Win32U_Wide(first).c_str(), nullptr));
   const std::string again = r.Inputs(r.config) + " --string \"ProductName=Tessix Tools 13.0.2\" -o ";

   HANDLE held =
       CreateFileW(Win32U_Wide(first).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
   ASSERT_NE(held, INVALID_HANDLE_VALUE);
   const PackRun busy = RunTxpack(again + Quoted(first), r.dir);
   CloseHandle(held);
   EXPECT_EQ(busy.exitCode, 1u) << busy.output;
   EXPECT_NE(busy.output.find("cannot replace \"" + first + "\" with the new launcher"), std::string::npos)
       << busy.output;
   EXPECT_TRUE(ReadTextFile(first) == old);

   const PackRun second = RunTxpack(again + Quoted(first), r.dir);
   EXPECT_EQ(second.exitCode, 0u) << second.output;
   EXPECT_TRUE(ReadTextFile(r.dir / "old.exe") == old) << "the old launcher was written in place";
   const std::string fresh = r.dir / "release\\fresh.exe";
   ASSERT_EQ(RunTxpack(again + Quoted(fresh), r.dir).exitCode, 0u);
   const std::string replaced = ReadTextFile(first);
   EXPECT_FALSE(replaced == old);
   EXPECT_TRUE(replaced == ReadTextFile(fresh));
   EXPECT_EQ(ListFolder(r.dir / "release"), (std::vector<std::string>{"first.exe", "fresh.exe", "setup.exe"}));
}

// A release folder deep enough that its paths pass 260 characters, and an output folder given
// instead of a file.
TEST(Txpack, LongPathsAndAnOutputFolder)
{
   ReleaseFolder r;
   std::string deep = r.dir.path();
   while (deep.size() < 280) {
      deep += "\\" + std::string(40, 'd');
      ASSERT_TRUE(CreateDirectoryW(Win32U_Wide("\\\\?\\" + deep).c_str(), nullptr));
   }
   const std::string msi = deep + "\\Tessix Tools.msi";
   ASSERT_TRUE(WriteTextFile("\\\\?\\" + msi, "the product package"));
   const PackRun run = RunTxpack("--base " + Quoted(r.base) + " --config " + Quoted(r.config) + " --payload " +
                                     Quoted(msi) + " " + Quoted(r.runtime) + " -o " + Quoted(deep),
                                 r.dir);
   EXPECT_EQ(run.exitCode, 0u) << run.output;
   EXPECT_EQ(ReadTextFile("\\\\?\\" + deep + "\\setup.exe").substr(0, 2), "MZ");

   // A base image at such a path packs too, and the launcher packed there can be shown.
   const std::string deepBase = deep + "\\base.exe";
   ASSERT_TRUE(CopyFileW(Win32U_Wide("\\\\?\\" + r.base).c_str(), Win32U_Wide("\\\\?\\" + deepBase).c_str(), FALSE));
   const PackRun fromDeep = RunTxpack("--base " + Quoted(deepBase) + " --config " + Quoted(r.config) + " --payload " +
                                          Quoted(msi) + " " + Quoted(r.runtime) + " -o " + Quoted(deep + "\\deep.exe"),
                                      r.dir);
   EXPECT_EQ(fromDeep.exitCode, 0u) << fromDeep.output;
   const PackRun show = RunTxpack("--show " + Quoted(deep + "\\deep.exe"), r.dir);
   EXPECT_EQ(show.exitCode, 0u) << show.output;
   EXPECT_NE(show.output.find("  TX_DATABASE=Tessix Tools.msi"), std::string::npos) << show.output;

   const PackRun folder = RunTxpack(r.Inputs(r.config) + " -o " + Quoted(r.dir / "release"), r.dir);
   EXPECT_EQ(folder.exitCode, 0u) << folder.output;
   EXPECT_EQ(ReadTextFile(r.lastRelease).substr(0, 2), "MZ") << "release\\setup.exe replaced";
}

// A key the launcher does not read packs, with a warning that names the key it resembles.
TEST(Txpack, UnknownKeyIsAWarning)
{
   ReleaseFolder r;
   const std::string config = r.WithConfig("w.cfg", "ALLOW32ON64=0", "ALOW32ON64=0");
   const PackRun run = RunTxpack(r.Inputs(config) + " -o " + Quoted(r.dir / "out.exe"), r.dir);
   EXPECT_EQ(run.exitCode, 0u) << run.output;
   EXPECT_NE(run.output.find("w.cfg: line 4: warning: ALOW32ON64 is not a key the launcher reads; the nearest is "
                             "ALLOW32ON64"),
             std::string::npos)
       << run.output;
}

// --show reads a packed launcher as the launcher reads it; --verify gives the launcher's own
// answer on the signatures, with its reasons. The launchers here are unsigned.
TEST(Txpack, ShowAndVerifyReadThePackedLauncher)
{
   ReleaseFolder r;
   ASSERT_TRUE(WriteTextFile(r.msi, "abc"));
   const std::string tools = r.dir / "tools.exe";
   ASSERT_EQ(RunTxpack(r.Inputs(r.config) + " -o " + Quoted(tools), r.dir).exitCode, 0u);
   const std::string standard = r.dir / "standard.exe";
   ASSERT_EQ(
       RunTxpack(r.Inputs(r.WithConfig("standard.cfg", "MINORUPGRADE=1\n", "")) + " -o " + Quoted(standard), r.dir)
           .exitCode,
       0u);

   const PackRun show = RunTxpack("--show " + Quoted(tools), r.dir);
   EXPECT_EQ(show.exitCode, 0u) << show.output;
   for (const char* line :
        {"  TX_DATABASE=Tessix Tools.msi",
         // "abc" is no package: its codes are not compared (in a release, --strict refuses it)
         "  warning: \"Tessix Tools.msi\" cannot be read as a Windows Installer package (it cannot be opened as an "
         "installer database: error ",
         "Payload at offset ", ": 2 files, 24 bytes",
         // SHA-256 of "abc"
         "Tessix Tools.msi", "3 bytes  sha256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "the launcher: no signature (NoSignatureFound)", "The launcher checks no package signature: tools style"}) {
      EXPECT_NE(show.output.find(line), std::string::npos) << line << "\n" << show.output;
   }

   struct Case {
      const char* what;
      std::string image;
      DWORD exitCode;
      std::vector<std::string> lines;
   } const cases[] = {
       {"tools style",
        tools,
        1,
        {"checks no package signature", "The launcher's own signature fails: it carries no signature",
         "Result: NOT ok: the launcher's own signature fails"}},
       {"standard style",
        standard,
        1,
        {"The launcher's signature check refuses: a silent install ends with exit code 13",
         "VerifyPackageSignature: Examining \"" + standard + "\": 1", "- NoSignatureFound"}},
       {"not packed",
        r.base,
        3,
        {"is no packed launcher: a program image that carries no launcher configuration and no payload"}},
       {"not a program",
        r.config,
        3,
        {"is no packed launcher: it is not a program image", "Result: no packed launcher"}},
       {"a program cut short",
        r.dir / "cut.exe",
        1,
        {"is not a program image: its section table is missing or cut short", "Result: NOT ok: cannot tell whether"}},
       // A copy whose last payload byte was changed after packing (a damaged download).
       {"a damaged copy",
        r.dir / "damaged.exe",
        1,
        {"Result: NOT ok: the launcher cannot extract its payload: a payload file does not match its recorded "
         "digest: this copy of the launcher is damaged"}},
   };
   ASSERT_TRUE(WriteTextFile(r.dir / "cut.exe", ReadTextFile(r.base).substr(0, 300)));
   std::string damaged = ReadTextFile(tools);
   damaged.back() = static_cast<char>(damaged.back() ^ 1);
   ASSERT_TRUE(WriteTextFile(r.dir / "damaged.exe", damaged));
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const PackRun verify = RunTxpack("--verify " + Quoted(c.image), r.dir);
      EXPECT_EQ(verify.exitCode, c.exitCode) << verify.output;
      for (const std::string& line : c.lines) {
         EXPECT_NE(verify.output.find(line), std::string::npos) << line << "\n" << verify.output;
      }
   }
   // The check works in a folder of its own and removes it.
   for (const std::string& name : ListFolder(Win32U_GetTempPath())) {
      EXPECT_NE(name.rfind("txpack-", 0), 0u) << name;
   }
}

// What inventory tools read is what the release engineer typed: the fixed numbers are the text's
// numbers, the string is the text itself, and --show prints both.
TEST(Txpack, VersionTextsAreWrittenAsGiven)
{
   ReleaseFolder r;
   const std::string out = r.dir / "out.exe";
   const PackRun run =
       RunTxpack("--base " + Quoted(r.base) + " --config " + Quoted(r.config) + " --payload " + Quoted(r.msi) + " " +
                     Quoted(r.runtime) + " --version-file 13.0.2 --version-product 013.0.2.65535 -o " + Quoted(out),
                 r.dir);
   ASSERT_EQ(run.exitCode, 0u) << run.output;
   const std::wstring wide = Win32U_Wide(out);
   std::string block(GetFileVersionInfoSizeW(wide.c_str(), nullptr), '\0');
   ASSERT_TRUE(GetFileVersionInfoW(wide.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
   VS_FIXEDFILEINFO* fixed = nullptr;
   UINT length = 0;
   ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
   EXPECT_EQ(fixed->dwFileVersionMS, 0x000D0000u);
   EXPECT_EQ(fixed->dwFileVersionLS, 0x00020000u);
   EXPECT_EQ(fixed->dwProductVersionMS, 0x000D0000u);
   EXPECT_EQ(fixed->dwProductVersionLS, 0x0002FFFFu);

   const PackRun show = RunTxpack("--show " + Quoted(out), r.dir);
   EXPECT_EQ(show.exitCode, 0u) << show.output;
   for (const char* line : {"Version information (fixed FileVersion 13.0.2.0, ProductVersion 13.0.2.65535; strings of "
                            "table 040904b0):",
                            "  CompanyName        \"Tessix, Inc.\"", "  FileVersion        \"13.0.2\"",
                            "  ProductVersion     \"013.0.2.65535\""}) {
      EXPECT_NE(show.output.find(line), std::string::npos) << line << "\n" << show.output;
   }
}

// --strict in a pipeline: what only warns packs without it, and with it is an error (the refusals'
// table shows that nothing is written then); a release without warnings packs with it.
TEST(Txpack, StrictRefusesWhatOtherwiseOnlyWarns)
{
   ReleaseFolder r;
   const std::string out = r.dir / "release\\setup.exe";
   const PackRun clean = RunTxpack(r.Inputs(r.config) + " --strict -o " + Quoted(out), r.dir);
   EXPECT_EQ(clean.exitCode, 0u) << clean.output;
   EXPECT_EQ(clean.output.find("warning"), std::string::npos) << clean.output;

   struct Case {
      const char* what;
      std::string arguments;
      std::string warning;
   } const cases[] = {
       {"a misspelt optional key", r.Inputs(r.WithConfig("w.cfg", "ALLOW32ON64=0", "ALOW32ON64=0")),
        "warning: ALOW32ON64 is not a key the launcher reads; the nearest is ALLOW32ON64"},
       {"no payload", "--base " + Quoted(r.base) + " --config " + Quoted(r.config),
        "--payload: warning: no payload is packed (no --payload)"},
       {"an unsigned package in the standard style", r.Inputs(r.WithConfig("s.cfg", "MINORUPGRADE=1\n", "")),
        "line 18: warning: \"Tessix Tools.msi\" carries no valid signature (it carries no signature"},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const PackRun strict = RunTxpack(c.arguments + " --strict -o " + Quoted(r.dir / "strict.exe"), r.dir);
      EXPECT_EQ(strict.exitCode, 1u) << strict.output;
      EXPECT_NE(strict.output.find(c.warning), std::string::npos) << strict.output;
      EXPECT_NE(strict.output.find("nothing was written: --strict makes"), std::string::npos) << strict.output;
      EXPECT_FALSE(PathExists(r.dir / "strict.exe"));
      const PackRun lenient = RunTxpack(c.arguments + " -o " + Quoted(r.dir / "lenient.exe"), r.dir);
      EXPECT_EQ(lenient.exitCode, 0u) << lenient.output;
      EXPECT_NE(lenient.output.find(c.warning), std::string::npos) << lenient.output;
   }
}

// A patch is checked against the products it names; one naming the configuration's product (among
// others, in either case) packs, and so does one naming none.
TEST(Txpack, APatchForTheProductPacks)
{
   ReleaseFolder r;
   std::string config = ReadTextFile(r.config);
   config.replace(config.find("TX_DATABASE=Tessix Tools.msi"), 28, "PATCH=Tessix Tools.msp");
   config.replace(config.find("OPERATION=INSTALLUPD"), 20, "OPERATION=DEFAULT");
   ASSERT_TRUE(WriteTextFile(r.dir / "patch.cfg", config));
   for (const char* targets :
        {"{2A4C6E80-1B3D-4F57-9A1C-3E5F7091B2D4};{8c3e6f2a-4b1d-4e7a-9f05-3d2c1b0a9e81}", "Intel;1033"}) {
      SCOPED_TRACE(targets);
      ASSERT_TRUE(MakePatchStandIn(r.dir / "Tessix Tools.msp", targets));
      const PackRun run = RunTxpack("--base " + Quoted(r.base) + " --config " + Quoted(r.dir / "patch.cfg") +
                                        " --payload " + Quoted(r.dir / "Tessix Tools.msp") + " " + Quoted(r.runtime) +
                                        " --strict -o " + Quoted(r.dir / "patch.exe"),
                                    r.dir);
      EXPECT_EQ(run.exitCode, 0u) << run.output;
   }
}

// The launcher's code that txpack runs logs where txpack tells it, in txpack's own folder, never
// wherever the temporary folder of the moment is: a SYSTEM process's temporary folder is the
// system's whatever TMP says. Here a temporary folder whose path leaves txpack's folder past 260
// characters (where the temporary-folder call gives up) stands in for that: the reasons of a
// refusal are still printed, and txpack leaves nothing behind.
TEST(Txpack, ScratchFilesStayInAFolderOfItsOwn)
{
   ReleaseFolder r;
   const std::string standard = r.dir / "standard.exe";
   ASSERT_EQ(
       RunTxpack(r.Inputs(r.WithConfig("standard.cfg", "MINORUPGRADE=1\n", "")) + " -o " + Quoted(standard), r.dir)
           .exitCode,
       0u);
   std::string temp = r.dir / "temp";
   ASSERT_TRUE(CreateDirectoryW(Win32U_Wide(temp).c_str(), nullptr));
   while (temp.size() < 245) {
      temp += "\\" + std::string(std::min<size_t>(40, 245 - temp.size()), 't');
      ASSERT_TRUE(CreateDirectoryW(Win32U_Wide("\\\\?\\" + temp).c_str(), nullptr)) << temp;
   }
   PackRun verify;
   PackRun pack;
   {
      TempFolderOverride tempFolder(temp + "\\");
      verify = RunTxpack("--verify " + Quoted(standard), r.dir);
      pack = RunTxpack(r.Inputs(r.config) + " -o " + Quoted(r.dir / "again.exe"), r.dir);
   }
   EXPECT_EQ(verify.exitCode, 1u) << verify.output;
   EXPECT_NE(verify.output.find("VerifyPackageSignature: Examining \""), std::string::npos) << verify.output;
   EXPECT_NE(verify.output.find("- NoSignatureFound"), std::string::npos) << verify.output;
   EXPECT_EQ(pack.exitCode, 0u) << pack.output;
   EXPECT_TRUE(ListFolder("\\\\?\\" + temp).empty()) << "left in the temporary folder";
}

TEST(Txpack, WithoutPayloadTheOffsetIsZero)
{
   ScratchDir dir("txpack0");
   const std::string out = dir / "out.exe";
   const PackRun run = RunTxpack("--base " + Quoted(WinePath(TestArg(1))) + " --config " +
                                     Quoted(WinePath(TestArg(5))) + " -o " + Quoted(out),
                                 dir);
   ASSERT_EQ(run.exitCode, 0u) << run.output;
   ImageResources module(out);
   HRSRC found = FindResourceW(module.get(), L"SFXINSERT", MAKEINTRESOURCEW(40));
   ASSERT_NE(found, nullptr);
   EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(LockResource(LoadResource(module.get(), found)))), L"0");
   // The launcher's own code holds the magic bytes too: no container means none more than the base.
   const auto count = [](const std::string& bytes) {
      size_t n = 0;
      for (size_t at = bytes.find("KSXT"); at != std::string::npos; at = bytes.find("KSXT", at + 1)) {
         n++;
      }
      return n;
   };
   EXPECT_EQ(count(ReadTextFile(out)), count(ReadTextFile(WinePath(TestArg(1))))) << "no container";
}
