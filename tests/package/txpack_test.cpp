// txpack run as a release engineer runs it: its exit code, its messages, and what it leaves.
#include <gtest/gtest.h>

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

} // namespace

TEST(Txpack, ClearErrorsAndNothingLeftBehind)
{
   ScratchDir dir("txpack");
   const std::string base = Quoted(WinePath(TestArg(1)));
   const std::string config = dir / "product.cfg";
   ASSERT_TRUE(WriteTextFile(config, "PRODUCTNAME=Tessix Tools\nTXIOPTION=\n"));
   ASSERT_TRUE(WriteTextFile(dir / "bad.cfg", "# fine\nPRODUCTNAME Tessix Tools\n"));
   ASSERT_TRUE(WriteTextFile(dir / "a.msi", "package"));
   const std::string out = dir / "out.exe";
   const std::string common = "--base " + base + " -o " + Quoted(out) + " ";
   struct Case {
      const char* what;
      std::string arguments;
      DWORD exitCode;
      std::string message;
   } const cases[] = {
       {"missing payload file", common + "--config " + Quoted(config) + " --payload " + Quoted(dir / "none.msi"), 1,
        "txpack: cannot read the payload file"},
       {"missing configuration", common + "--config " + Quoted(dir / "none.cfg"), 1,
        "txpack: cannot read the configuration file"},
       {"bad line", common + "--config " + Quoted(dir / "bad.cfg"), 1,
        "bad.cfg: line 2: expected KEY=VALUE, found \"PRODUCTNAME Tessix Tools\""},
       {"stream in a payload name", common + "--config " + Quoted(config) + " --payload " + Quoted(dir / "a.msi:s"), 1,
        "the payload name \"a.msi:s\" cannot be used: the name holds a colon"},
       {"device payload name", common + "--config " + Quoted(config) + " --payload " + Quoted(dir / "aux"), 1,
        "the payload name \"aux\" cannot be used: the name is a reserved device name"},
       {"same name twice",
        common + "--config " + Quoted(config) + " --payload " + Quoted(dir / "a.msi") + " " + Quoted(dir / "A.MSI"), 1,
        "two payload files are named \"A.MSI\""},
       {"version string too long",
        common + "--config " + Quoted(config) + " --string \"CompanyName=Tessix Incorporated\"", 1,
        "ERROR: Unable to update resource \\StringFileInfo\\040904b0\\CompanyName. Tessix Incorporated requires 19 "
        "bytes and only 12 bytes are available. Extend the corresponding data storage in setup.rc."},
       {"output over the base", "--base " + base + " -o " + base + " --config " + Quoted(config), 1,
        "the output must not be the base image"},
       {"unknown argument", common + "--config " + Quoted(config) + " --sign", 2, "unknown argument \"--sign\""},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const PackRun run = RunTxpack(c.arguments, dir);
      EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
      EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
      EXPECT_FALSE(PathExists(out));
   }
   EXPECT_TRUE(PathExists(WinePath(TestArg(1))));
}

TEST(Txpack, WithoutPayloadTheOffsetIsZero)
{
   ScratchDir dir("txpack0");
   ASSERT_TRUE(WriteTextFile(dir / "product.cfg", "PRODUCTNAME=Tessix Tools\n"));
   const std::string out = dir / "out.exe";
   const PackRun run = RunTxpack("--base " + Quoted(WinePath(TestArg(1))) + " --config " + Quoted(dir / "product.cfg") +
                                     " -o " + Quoted(out),
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
