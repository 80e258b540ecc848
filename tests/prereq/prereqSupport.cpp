#include "tests/prereq/prereqSupport.h"

#include <gtest/gtest.h>

#include "lib/install/log.h"
#include "lib/install/serviceUtil.h"
#include "lib/misc/win32u.h"

namespace
{

const char kLogLevelKey[] = "SOFTWARE\\Wow6432Node\\Tessix, Inc.";
const wchar_t kUserStopEvent[] = L"Local\\TxToolsStandIn.UserStop";
const wchar_t kServiceName[] = L"TXTools";
constexpr DWORD kEveryLevel = 0x7FF;
constexpr SHORT kConsoleColumns = 400;
constexpr SHORT kConsoleRows = 50;

std::optional<DWORD> ReadLogLevel()
{
   DWORD value = 0;
   DWORD size = sizeof value;
   if (RegGetValueW(HKEY_LOCAL_MACHINE, Win32U_Wide(kLogLevelKey).c_str(), L"LogLevel", RRF_RT_REG_DWORD, nullptr,
                    &value, &size) != ERROR_SUCCESS) {
      return std::nullopt;
   }
   return value;
}

void WriteLogLevel(const std::optional<DWORD>& level)
{
   HKEY key = nullptr;
   if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(kLogLevelKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                       &key, nullptr) != ERROR_SUCCESS) {
      return;
   }
   if (level) {
      RegSetValueExW(key, L"LogLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*level), sizeof(DWORD));
   } else {
      RegDeleteValueW(key, L"LogLevel");
   }
   RegCloseKey(key);
}

std::string Folder(const std::string& path)
{
   return path.substr(0, path.find_last_of('\\'));
}

void RemoveService()
{
   StopServiceAndWait(kServiceName);
   SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
   SC_HANDLE service = manager ? OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS) : nullptr;
   if (service != nullptr) {
      DeleteService(service);
      CloseServiceHandle(service);
   }
   if (manager != nullptr) {
      CloseServiceHandle(manager);
   }
}

} // namespace

bool Contains(const std::string& text, const std::string& part)
{
   return text.find(part) != std::string::npos;
}

void ExpectLines(const std::string& log, const std::vector<std::string>& lines)
{
   for (const std::string& line : lines) {
      EXPECT_TRUE(Contains(log, line)) << "missing: " << line << "\n" << log;
   }
}

std::string FakeInstallerPath()
{
   return WinePath(TestArg(1));
}

std::string ToolsStandInPath()
{
   return WinePath(TestArg(2));
}

std::string StageHostPath()
{
   return WinePath(TestArg(3));
}

std::string LauncherPath()
{
   return WinePath(TestArg(4));
}

LoggedTest::LoggedTest() : oldLevel_(ReadLogLevel())
{
   WriteLogLevel(kEveryLevel);
   Inst_ResetLoggingForTest();
   Inst_SetupLogging("test", "t", nullptr, nullptr);
   SetEnvironmentVariableW(L"TX_STANDIN_LOG", Win32U_Wide(temp_ / "standins.log").c_str());
}

LoggedTest::~LoggedTest()
{
   SetEnvironmentVariableW(L"TX_STANDIN_LOG", nullptr);
   Inst_ResetLoggingForTest();
   WriteLogLevel(oldLevel_);
}

std::string LoggedTest::Log() const
{
   return ReadTextFile(temp_ / "txinst.log");
}

std::vector<std::string> LoggedTest::Runs() const
{
   return SplitLines(ReadTextFile(temp_ / "standins.log"));
}

bool PlaceInstaller(const std::string& folder, const std::string& relativePath, uint32_t exitCode,
                    const std::optional<TestVersion>& version)
{
   const std::string path = folder + "\\" + relativePath;
   CreateDirectoryW(Win32U_Wide(folder).c_str(), nullptr);
   for (size_t slash = path.find('\\', folder.size() + 1); slash != std::string::npos;
        slash = path.find('\\', slash + 1)) {
      CreateDirectoryW(Win32U_Wide(path.substr(0, slash)).c_str(), nullptr);
   }
   return CopyFileW(Win32U_Wide(FakeInstallerPath()).c_str(), Win32U_Wide(path).c_str(), FALSE) &&
          WriteTextFile(path + ".exitcode", std::to_string(exitCode)) && SetTestVersion(path, version);
}

InstalledTools::InstalledTools()
{
   HKEY key = nullptr;
   if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Win32U_Wide(kToolsKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                       nullptr) == ERROR_SUCCESS) {
      const std::wstring folder = Win32U_Wide(Folder(ToolsStandInPath()));
      RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
   }
   stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, kUserStopEvent);
   RemoveService();
}

InstalledTools::~InstalledTools()
{
   if (user_.hProcess != nullptr) {
      SetEvent(stopEvent_);
      if (WaitForSingleObject(user_.hProcess, 5000) != WAIT_OBJECT_0) {
         TerminateProcess(user_.hProcess, 1);
      }
      CloseHandle(user_.hProcess);
      CloseHandle(user_.hThread);
   }
   CloseHandle(stopEvent_);
   RemoveService();
   RegDeleteTreeW(HKEY_LOCAL_MACHINE, Win32U_Wide("Software\\Tessix, Inc.\\Tessix Tools").c_str());
}

bool InstalledTools::RegisterService(DWORD startPendingMs)
{
   SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
   if (manager == nullptr) {
      return false;
   }
   const std::wstring command =
       L"\"" + Win32U_Wide(ToolsStandInPath()) + L"\" --service " + std::to_wstring(startPendingMs);
   SC_HANDLE service = CreateServiceW(manager, kServiceName, L"TXTools stand-in", SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                      command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
   const bool made = service != nullptr;
   if (made) {
      CloseServiceHandle(service);
   }
   CloseServiceHandle(manager);
   return made;
}

bool InstalledTools::StartUserProcess()
{
   ResetEvent(stopEvent_);
   const std::string command = "\"" + ToolsStandInPath() + "\" -n txusr";
   STARTUPINFOW startup{};
   startup.cb = sizeof startup;
   return Win32U_CreateProcess(nullptr, command.c_str(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &user_) != FALSE;
}

bool InstalledTools::UserProcessRunning() const
{
   return user_.hProcess != nullptr && WaitForSingleObject(user_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD InstalledTools::ServiceState() const
{
   SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
   SC_HANDLE service = manager ? OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS) : nullptr;
   SERVICE_STATUS status{};
   const DWORD state = service != nullptr && QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
   if (service != nullptr) {
      CloseServiceHandle(service);
   }
   if (manager != nullptr) {
      CloseServiceHandle(manager);
   }
   return state;
}

bool InstalledTools::StopService()
{
   return StopServiceAndWait(kServiceName);
}

bool StopServiceAndWait(const wchar_t* name)
{
   SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
   SC_HANDLE service = manager ? OpenServiceW(manager, name, SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr;
   SERVICE_STATUS_PROCESS before{};
   DWORD needed = 0;
   HANDLE process = nullptr;
   if (service != nullptr &&
       QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&before), sizeof before,
                            &needed) &&
       before.dwProcessId != 0) {
      process = OpenProcess(SYNCHRONIZE, FALSE, before.dwProcessId);
   }
   SERVICE_STATUS status{};
   bool stopped = service != nullptr && ControlService(service, SERVICE_CONTROL_STOP, &status);
   for (int i = 0;
        stopped && i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; i++) {
      Sleep(50);
   }
   stopped = stopped && status.dwCurrentState == SERVICE_STOPPED;
   // The service reports itself stopped a moment before its process has gone.
   if (process != nullptr) {
      stopped = WaitForSingleObject(process, 5000) == WAIT_OBJECT_0 && stopped;
      CloseHandle(process);
   }
   if (service != nullptr) {
      CloseServiceHandle(service);
   }
   if (manager != nullptr) {
      CloseServiceHandle(manager);
   }
   return stopped;
}

std::vector<std::wstring> FakeRestartManager::registered;
bool FakeRestartManager::sessionEnded = false;

namespace
{

FakeRestartManager::FailAt failAt = FakeRestartManager::FailAt::Nothing;
constexpr DWORD kFakeSession = 7;
constexpr DWORD kFakeFailure = ERROR_SHARING_VIOLATION;

DWORD WINAPI FakeStart(DWORD* session, DWORD, WCHAR* key)
{
   if (failAt == FakeRestartManager::FailAt::Start) {
      return kFakeFailure;
   }
   *session = kFakeSession;
   key[0] = L'k';
   key[1] = L'\0';
   return ERROR_SUCCESS;
}

DWORD WINAPI FakeRegister(DWORD session, UINT fileCount, LPCWSTR*, UINT processCount, RM_UNIQUE_PROCESS*,
                          UINT serviceCount, LPCWSTR services[])
{
   if (session != kFakeSession || fileCount != 0 || processCount != 0) {
      return ERROR_INVALID_PARAMETER;
   }
   for (UINT i = 0; i < serviceCount; i++) {
      FakeRestartManager::registered.emplace_back(services[i]);
   }
   return failAt == FakeRestartManager::FailAt::Register ? kFakeFailure : ERROR_SUCCESS;
}

DWORD WINAPI FakeShutdown(DWORD session, ULONG flags, RM_WRITE_STATUS_CALLBACK)
{
   if (session != kFakeSession || flags != 0) {
      return ERROR_INVALID_PARAMETER;
   }
   if (failAt == FakeRestartManager::FailAt::Shutdown) {
      return kFakeFailure;
   }
   for (const auto& name : FakeRestartManager::registered) {
      StopServiceAndWait(name.c_str()); // services that do not exist are nothing to stop
   }
   return ERROR_SUCCESS;
}

DWORD WINAPI FakeEnd(DWORD session)
{
   FakeRestartManager::sessionEnded = session == kFakeSession;
   return failAt == FakeRestartManager::FailAt::End ? kFakeFailure : ERROR_SUCCESS;
}

const RestartManagerApi kFakeApi{FakeStart, FakeRegister, FakeShutdown, FakeEnd};

} // namespace

void FakeRestartManager::Install(FailAt at)
{
   failAt = at;
   registered.clear();
   sessionEnded = false;
   Util_SetRestartManagerForTest(&kFakeApi);
}

void FakeRestartManager::Remove()
{
   Util_SetRestartManagerForTest(nullptr);
}

TestConsole::TestConsole()
{
   FreeConsole();
   AllocConsole();
   out_ = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
   SetConsoleScreenBufferSize(out_, COORD{kConsoleColumns, kConsoleRows});
}

TestConsole::~TestConsole()
{
   CloseHandle(out_);
   FreeConsole();
}

std::vector<std::string> TestConsole::Lines() const
{
   std::vector<std::string> lines;
   for (SHORT row = 0; row < kConsoleRows; row++) {
      wchar_t text[kConsoleColumns];
      DWORD read = 0;
      ReadConsoleOutputCharacterW(out_, text, kConsoleColumns, COORD{0, row}, &read);
      std::wstring line(text, read);
      line.erase(line.find_last_not_of(L' ') + 1);
      lines.push_back(Win32U_Utf8(line));
   }
   while (!lines.empty() && lines.back().empty()) {
      lines.pop_back();
   }
   return lines;
}

std::vector<std::string> ReportHeader()
{
   return {"", "Name    : Tessix Tools", "Version : 13.0.1." + std::to_string(TX_BUILD_NUMBER), ""};
}

std::vector<std::string> StandInVersionReport(const std::string& folder)
{
   std::vector<std::string> report = ReportHeader();
   report.push_back("Name    : Fake Installer");
   report.push_back("Version : 1.0.0.0");
   report.push_back("File    : " + folder + "\\vcredist_arm64.exe");
   return report;
}
