#include "lib/install/serviceUtil.h"

#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr DWORD kPollMs = 500;
constexpr DWORD kGiveUpSeconds = 30;
constexpr DWORD kGiveUpMs = kGiveUpSeconds * 1000;
constexpr DWORD kReducedServiceAccess = SERVICE_START | SERVICE_QUERY_STATUS;

struct ServiceHandleTraits {
   static SC_HANDLE Invalid() { return nullptr; }
   static bool IsValid(SC_HANDLE h) { return h != nullptr; }
   static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<SC_HANDLE, ServiceHandleTraits>;

const RestartManagerApi* testRestartManager = nullptr;

// Errors the service manager is known to give, by name, with what they mean where it helps.
struct NamedError {
   DWORD code;
   const char* name;
   const char* meaning;
};

constexpr NamedError kManagerOpenErrors[] = {
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", "you must be an administrator"},
    {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER", "system config appears to be corrupt"},
    {ERROR_DATABASE_DOES_NOT_EXIST, "ERROR_DATABASE_DOES_NOT_EXIST", "system config appears to be corrupt"},
};

constexpr NamedError kServiceOpenErrors[] = {
    {ERROR_INVALID_NAME, "ERROR_INVALID_NAME", nullptr},
    {ERROR_SERVICE_DOES_NOT_EXIST, "ERROR_SERVICE_DOES_NOT_EXIST", nullptr},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", nullptr},
    {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE", nullptr},
};

template <size_t N> void LogOpenError(const char* failure, DWORD error, const NamedError (&known)[N])
{
   for (const NamedError& e : known) {
      if (e.code == error) {
         Inst_Log(LOG_ERROR, "%s: %s", failure, e.name);
         if (e.meaning != nullptr) {
            Inst_Log(LOG_ERROR, "%s: %s", failure, e.meaning);
         }
         return;
      }
   }
   Inst_LogWinError(LOG_ERROR, error, "%s", failure);
}

void LogManagerOpenError(DWORD error)
{
   LogOpenError("Inst_StartService: Service Manager open failed", error, kManagerOpenErrors);
}

void LogServiceOpenError(DWORD error)
{
   LogOpenError("Inst_StartService: Service could not be opened", error, kServiceOpenErrors);
}

UniqueServiceHandle OpenManager()
{
   UniqueServiceHandle manager(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS));
   if (manager) {
      Inst_Log(LOG_SUCCESS, "Inst_StartService: Service Manager successfully opened");
      return manager;
   }
   LogManagerOpenError(GetLastError());
   Inst_Log(LOG_ERROR, "Inst_StartService: service uninstall failed, attempting open with less access");
   manager.reset(OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, GENERIC_READ));
   if (manager) {
      Inst_Log(LOG_INFO, "Inst_StartService: Service Manager successfully opened with reduced access");
      return manager;
   }
   LogManagerOpenError(GetLastError());
   Inst_Log(LOG_ERROR, "Inst_StartService: service uninstall failed with reduced access");
   return manager;
}

UniqueServiceHandle OpenTheService(SC_HANDLE manager, const std::wstring& name)
{
   UniqueServiceHandle service(OpenServiceW(manager, name.c_str(), SERVICE_ALL_ACCESS));
   if (service) {
      Inst_Log(LOG_SUCCESS, "Inst_StartService: Service successfully opened");
      return service;
   }
   LogServiceOpenError(GetLastError());
   Inst_Log(LOG_INFO, "Inst_StartService: Attempting to open service using reduced permissions");
   service.reset(OpenServiceW(manager, name.c_str(), kReducedServiceAccess));
   if (service) {
      Inst_Log(LOG_INFO, "Inst_StartService: Service successfully opened with reduced access");
      return service;
   }
   LogServiceOpenError(GetLastError());
   return service;
}

bool QueryProgress(SC_HANDLE service, ServiceProgress& progress)
{
   SERVICE_STATUS status{};
   if (!QueryServiceStatus(service, &status)) {
      return false;
   }
   progress = ServiceProgress{status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
   return true;
}

void LogProgress(const ServiceProgress& progress)
{
   Inst_Log(LOG_DETAIL, "Inst_StartService: service status: %s cp=0x%08x", ServiceStateName(progress.state),
            static_cast<unsigned>(progress.checkPoint));
}

RestartManagerApi BindRestartManager(HMODULE library)
{
   RestartManagerApi api{};
   SysLib_Bind(library, "RmStartSession", api.startSession);
   SysLib_Bind(library, "RmRegisterResources", api.registerResources);
   SysLib_Bind(library, "RmShutdown", api.shutdown);
   SysLib_Bind(library, "RmEndSession", api.endSession);
   return api;
}

bool RunRestartManager(const RestartManagerApi& api, UINT count, const wchar_t* const serviceNames[])
{
   const auto missing = [](const char* name) {
      Inst_Log(LOG_ERROR, "Util_StopFilesInUse: Failed to get %s function pointer", name);
   };
   if (api.startSession == nullptr) {
      missing("RmStartSession");
      return false;
   }
   DWORD session = 0;
   WCHAR sessionKey[CCH_RM_SESSION_KEY + 1] = {};
   // The Restart Manager reports its errors as results; the thread's last error is not set.
   DWORD result = api.startSession(&session, 0, sessionKey);
   if (result != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, result, "Util_StopFilesInUse: RmStartSession failed");
      return false;
   }
   bool stopped = false;
   if (api.registerResources == nullptr) {
      missing("RmRegisterResources");
   } else if ((result = api.registerResources(session, 0, nullptr, 0, nullptr, count,
                                              const_cast<LPCWSTR*>(serviceNames))) != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, result, "Util_StopFilesInUse: RmRegisterSession failed");
   } else if (api.shutdown == nullptr) {
      missing("RmShutdown");
   } else if ((result = api.shutdown(session, 0, nullptr)) != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, result, "Util_StopFilesInUse: RmShutdown failed");
   } else {
      stopped = true;
   }
   if (api.endSession == nullptr) {
      missing("RmEndSession");
   } else if ((result = api.endSession(session)) != ERROR_SUCCESS) {
      Inst_LogWinError(LOG_ERROR, result, "Util_StopFilesInUse: RmEndSession failed");
   }
   return stopped;
}

} // namespace

const char* ServiceStateName(DWORD state)
{
   static const char* const names[] = {
       "INVALID",         "SERVICE_STOPPED",          "SERVICE_START_PENDING", "SERVICE_STOP_PENDING",
       "SERVICE_RUNNING", "SERVICE_CONTINUE_PENDING", "SERVICE_PAUSE_PENDING", "SERVICE_PAUSED",
   };
   return state < sizeof names / sizeof names[0] ? names[state] : names[0];
}

DWORD Inst_WaitWhileStartPending(ServiceProgress status, const std::function<bool(ServiceProgress&)>& query,
                                 const std::function<void(DWORD)>& sleep)
{
   DWORD totalWait = 0;
   DWORD waitSinceProgress = 0;
   DWORD checkPoint = status.checkPoint;
   DWORD waitHint = status.waitHint;
   while (status.state == SERVICE_START_PENDING) {
      sleep(kPollMs);
      totalWait += kPollMs;
      waitSinceProgress += kPollMs;
      ServiceProgress next = status;
      if (!query(next)) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Inst_StartService: Could not query service status");
         break;
      }
      status = next;
      LogProgress(status);
      if (status.checkPoint > checkPoint) {
         checkPoint = status.checkPoint;
         Inst_Log(LOG_DETAIL, "Inst_StartService: Updating sleep hint: %d", static_cast<int>(status.waitHint));
         waitHint = status.waitHint;
         waitSinceProgress = 0;
      } else if (waitSinceProgress > waitHint) {
         Inst_Log(LOG_DETAIL, "Inst_StartService: Slept hint duration without any progress");
         Inst_Log(LOG_DETAIL, "Inst_StartService: Not giving up yet since haven't slept for %i seconds: %d",
                  static_cast<int>(kGiveUpSeconds), static_cast<int>(totalWait));
      }
      if (status.state == SERVICE_START_PENDING && totalWait >= kGiveUpMs) {
         Inst_Log(LOG_INFO, "Inst_StartService: Slept for %i seconds, giving up", static_cast<int>(kGiveUpSeconds));
         break;
      }
   }
   return status.state;
}

bool Inst_StartService(const char* serviceName)
{
   if (serviceName == nullptr) {
      Inst_Log(LOG_ERROR, "Inst_StartService: invalid parameter");
      return false;
   }
   Inst_Log(LOG_INFO, "Inst_StartService: Attempting to start service: %s", serviceName);
   const auto wideName = Win32U_ToWide(serviceName);
   if (!wideName) {
      Inst_Log(LOG_ERROR, "Inst_StartService: invalid parameter");
      return false;
   }
   UniqueServiceHandle manager = OpenManager();
   if (!manager) {
      return false;
   }
   UniqueServiceHandle service = OpenTheService(manager.get(), *wideName);
   if (!service) {
      return false;
   }
   if (!StartServiceW(service.get(), 0, nullptr)) {
      const DWORD error = GetLastError();
      switch (error) {
      case ERROR_SERVICE_ALREADY_RUNNING:
         Inst_Log(LOG_SUCCESS, "Inst_StartService: Service is already running");
         return true;
      case ERROR_SERVICE_DEPENDENCY_DELETED:
         Inst_Log(LOG_ERROR, "Inst_StartService: Service could not be started: a required service is not present");
         break;
      case ERROR_SERVICE_DISABLED:
         Inst_Log(LOG_ERROR, "Inst_StartService: Service could not be started since it's disabled");
         break;
      default:
         Inst_LogWinError(LOG_ERROR, error, "Inst_StartService: Service could not be started");
         break;
      }
      return false;
   }
   Inst_Log(LOG_SUCCESS, "Inst_StartService: Service has been started");
   ServiceProgress progress{};
   if (!QueryProgress(service.get(), progress)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Inst_StartService: Could not query service status");
      return false;
   }
   LogProgress(progress);
   const SC_HANDLE handle = service.get();
   const DWORD state = Inst_WaitWhileStartPending(
       progress, [handle](ServiceProgress& next) { return QueryProgress(handle, next); }, [](DWORD ms) { Sleep(ms); });
   if (state == SERVICE_RUNNING) {
      Inst_Log(LOG_DETAIL, "Inst_StartService: Service is running");
      return true;
   }
   Inst_Log(LOG_ERROR, "Inst_StartService: Service is not running: %s", ServiceStateName(state));
   return false;
}

void Util_SetRestartManagerForTest(const RestartManagerApi* api)
{
   testRestartManager = api;
}

bool Util_StopFilesInUse(UINT count, const wchar_t* const serviceNames[])
{
   if (count == 0) {
      Inst_Log(LOG_INFO, "Util_StopFilesInUse: Number of services to stop is zero");
      return false;
   }
   bool stopped = false;
   if (testRestartManager != nullptr) {
      stopped = RunRestartManager(*testRestartManager, count, serviceNames);
   } else {
      UniqueModule library(SysLib_Load(L"rstrtmgr.dll"));
      if (!library) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_StopFilesInUse: Failed to load Rstrtmgr.dll");
      }
      stopped = RunRestartManager(BindRestartManager(library.get()), count, serviceNames);
   }
   Inst_Log(LOG_INFO, "Util_StopFilesInUse: Util_StopFilesInUse returning %s", stopped ? "success" : "failure");
   return stopped;
}
