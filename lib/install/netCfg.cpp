#include "lib/install/netCfg.h"

#include <string>

#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr DWORD kWriteLockTimeoutMs = 5000;
constexpr DWORD kRegistrationBytes = 260;
const char kInit[] = "CNetCfgAPIWrapper::Init";
const char kUninstall[] = "CNetCfgAPIWrapper::UninstallComponent";
const char kRemoveBridge[] = "RemoveBridgeAdapterNotification";

// Wide names reach the log as UTF-8, like every other text of it.
std::string Utf8(const wchar_t* text)
{
   return text != nullptr ? Win32U_ToUtf8(text).value_or("?") : std::string();
}

template <typename T> void ReleaseAndForget(T*& unknown)
{
   if (unknown != nullptr) {
      unknown->Release();
      unknown = nullptr;
   }
}

// Owns one interface for the length of a call.
template <typename T> struct ComRef {
   T* p = nullptr;
   ComRef() = default;
   ComRef(const ComRef&) = delete;
   ComRef& operator=(const ComRef&) = delete;
   ~ComRef() { ReleaseAndForget(p); }
};

} // namespace

HRESULT NetCfg_CreateSystemObject(INetCfg** netCfg)
{
   return CoCreateInstance(__uuidof(CNetCfg), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetCfg),
                           reinterpret_cast<void**>(netCfg));
}

CNetCfgAPIWrapper::CNetCfgAPIWrapper(const wchar_t* applicationName, bool wantsWriteLock, NetCfgFactory factory)
    : applicationName_(applicationName), wantsWriteLock_(wantsWriteLock)
{
   Init(factory);
}

void CNetCfgAPIWrapper::Init(NetCfgFactory factory)
{
   if (applicationName_ == nullptr) {
      Inst_LogMsg("%s: Invalidate application name provided, cancel", kInit);
      lastResult_ = E_INVALIDARG;
      return;
   }
   // S_FALSE only says that this thread was in the apartment already; it is entered (and must be
   // left) all the same. Refusing it would fail whenever the caller had set COM up first.
   HRESULT hr = CoInitialize(nullptr);
   if (FAILED(hr)) {
      Inst_LogMsg("%s: Failed to initialize COM (%d)", kInit, static_cast<int>(hr));
      lastResult_ = hr;
      return;
   }
   comEntered_ = true;
   hr = factory(&netCfg_);
   if (FAILED(hr) || netCfg_ == nullptr) {
      Inst_LogMsg("%s: Failed to create netcfg interface (%d), cancel...", kInit, static_cast<int>(hr));
      netCfg_ = nullptr;
      CoUninitialize();
      comEntered_ = false;
      lastResult_ = FAILED(hr) ? hr : E_POINTER;
      return;
   }
   if (wantsWriteLock_) {
      hr = netCfg_->QueryInterface(__uuidof(INetCfgLock), reinterpret_cast<void**>(&lock_));
      if (FAILED(hr)) {
         lock_ = nullptr;
         lastResult_ = hr;
         ReleaseInterfaces();
         return;
      }
      wchar_t* owner = nullptr;
      hr = lock_->AcquireWriteLock(kWriteLockTimeoutMs, applicationName_, &owner);
      if (hr == S_FALSE) {
         Inst_LogMsg("%s: Acquire write lock failed, close the owner [%s] and try again.", kInit,
                     owner != nullptr ? Utf8(owner).c_str() : "UNKNOWN");
         CoTaskMemFree(owner);
         lastResult_ = S_FALSE;
         ReleaseInterfaces();
         return;
      }
      CoTaskMemFree(owner);
      if (hr == NETCFG_E_NEED_REBOOT) {
         Inst_LogMsg("%s: Require reboot to acquire write lock.", kInit);
         rebootRequired_ = true;
      }
      if (FAILED(hr)) {
         lastResult_ = hr;
         ReleaseInterfaces();
         return;
      }
      lockHeld_ = true;
   }
   hr = netCfg_->Initialize(nullptr);
   lastResult_ = hr;
   if (SUCCEEDED(hr)) {
      initialized_ = true;
      return;
   }
   ReleaseInterfaces();
}

void CNetCfgAPIWrapper::ReleaseInterfaces()
{
   if (lockHeld_) {
      lock_->ReleaseWriteLock();
      lockHeld_ = false;
   }
   ReleaseAndForget(lock_);
   ReleaseAndForget(netCfg_);
}

CNetCfgAPIWrapper::~CNetCfgAPIWrapper()
{
   if (initialized_) {
      netCfg_->Uninitialize();
      initialized_ = false;
   }
   ReleaseInterfaces();
   if (comEntered_) {
      CoUninitialize();
   }
}

bool CNetCfgAPIWrapper::UninstallComponent(const wchar_t* componentId)
{
   if (!initialized_ || !wantsWriteLock_) {
      Inst_LogMsg("%s: NetCfg interface is not initialized with write lock hold, cancel other operations %d-%d",
                  kUninstall, initialized_ ? 1 : 0, wantsWriteLock_ ? 1 : 0);
      lastResult_ = E_ABORT;
      return false;
   }
   const std::string id = Utf8(componentId);
   ComRef<INetCfgComponent> component;
   HRESULT hr = netCfg_->FindComponent(componentId, &component.p);
   lastResult_ = hr;
   if (hr != S_OK) {
      Inst_LogMsg("%s: Couldn't get a component interface pointer to %s, hr=%d.", kUninstall, id.c_str(),
                  static_cast<int>(hr));
      // Only S_FALSE says the component is not installed. A failed search says nothing about
      // it, and calling that "removed" would report a repair that did not happen.
      return hr == S_FALSE;
   }
   GUID classGuid;
   hr = component.p->GetClassGuid(&classGuid);
   lastResult_ = hr;
   if (FAILED(hr)) {
      Inst_LogMsg("%s: Could't get the class guid of %s, hr=%d.", kUninstall, id.c_str(), static_cast<int>(hr));
      return false;
   }
   ComRef<INetCfgClass> netClass;
   hr = netCfg_->QueryNetCfgClass(&classGuid, __uuidof(INetCfgClass), reinterpret_cast<void**>(&netClass.p));
   lastResult_ = hr;
   if (FAILED(hr)) {
      Inst_LogMsg("%s: Couldn't get a pointer to class interface of %s, hr=%d.", kUninstall, id.c_str(),
                  static_cast<int>(hr));
      return false;
   }
   ComRef<INetCfgClassSetup> setup;
   hr = netClass.p->QueryInterface(__uuidof(INetCfgClassSetup), reinterpret_cast<void**>(&setup.p));
   lastResult_ = hr;
   if (FAILED(hr)) {
      Inst_LogMsg("%s: Couldn't get an interface to setup class, hr=%d", kUninstall, static_cast<int>(hr));
      return false;
   }
   OBO_TOKEN token{};
   token.Type = OBO_USER;
   hr = setup.p->DeInstall(component.p, &token, nullptr);
   lastResult_ = hr;
   if (hr != S_OK && hr != NETCFG_S_REBOOT) {
      Inst_LogMsg("%s: Failed to uninstall %s, hr=%d.", kUninstall, id.c_str(), static_cast<int>(hr));
      return false;
   }
   rebootRequired_ = hr == NETCFG_S_REBOOT;
   hr = netCfg_->Apply();
   lastResult_ = hr;
   if (hr != S_OK && hr != NETCFG_S_REBOOT) {
      Inst_LogMsg("%s: Couldn't apply the changes after uninstalling %s.", kUninstall, id.c_str());
      return false;
   }
   // The changes may take effect only after a restart, whatever the removal itself said.
   rebootRequired_ = rebootRequired_ || hr == NETCFG_S_REBOOT;
   return true;
}

bool RemoveBridgeAdapterNotification(const wchar_t* applicationName, bool& reboot, HRESULT& result,
                                     NetCfgFactory factory)
{
   result = S_OK;
   const std::string classKey = std::string("CLSID\\") + kBridgeNotifyObjectClsid;
   const std::string serverKey = classKey + "\\InProcServer32";
   char server[kRegistrationBytes] = "";
   DWORD serverSize = sizeof server;
   if (!Util_GetKeyValueString(HKEY_CLASSES_ROOT, serverKey.c_str(), nullptr, server, &serverSize, true, false)) {
      Inst_LogMsg("%s: do not find registered Tessix bridge notification object in registry, ignore this operation.",
                  kRemoveBridge);
      reboot = false;
      return true;
   }
   // The registration goes before the component, so that the network configuration never loads
   // the notify library of a half-removed bridge. It is what tells a later run that the bridge is
   // there to remove, so a removal that fails writes it back: the user told to close the lock's
   // owner, or to restart, and try again finds it in place. One that cannot be read whole cannot
   // be written back, and stays until the bridge is gone.
   Inst_LogMsg("%s: Cleanup registry for notification object.", kRemoveBridge);
   RegKeySnapshot registration;
   const bool saved = Util_SaveKeyTree(HKEY_CLASSES_ROOT, classKey.c_str(), registration);
   if (saved) {
      Util_DeleteKey(HKEY_CLASSES_ROOT, classKey.c_str());
   } else {
      Inst_LogMsg("%s: The registration cannot be saved; it is deleted once the bridge is removed.", kRemoveBridge);
   }
   CNetCfgAPIWrapper netCfg(applicationName, true, factory);
   bool ok = false;
   reboot = false;
   // Checked before the initialised flag: Init stops without initialising when Windows wants a
   // restart before it hands out the lock, and that restart must still be offered.
   if (netCfg.IsRebootRequired()) {
      Inst_LogMsg("%s: Require reboot to continue network configuration", kRemoveBridge);
      reboot = true;
   } else if (!netCfg.IsInitialized()) {
      Inst_LogMsg("%s: Initialize NetCfg APIs failed.", kRemoveBridge);
   } else if (netCfg.UninstallComponent(kBridgeComponentId)) {
      if (!saved) {
         Util_DeleteKey(HKEY_CLASSES_ROOT, classKey.c_str());
      }
      Inst_LogMsg("%s: Remove Tessix bridge services done", kRemoveBridge);
      if (netCfg.IsRebootRequired()) {
         Inst_LogMsg("%s: Reboot is required to finish repairing.", kRemoveBridge);
         reboot = true;
      }
      ok = true;
   } else {
      Inst_LogMsg("%s: Remove Tessix bridge services failed.", kRemoveBridge);
   }
   if (!ok && saved) {
      Inst_LogMsg("%s: Restore registry for notification object.", kRemoveBridge);
      Util_RestoreKeyTree(HKEY_CLASSES_ROOT, classKey.c_str(), registration);
   }
   result = netCfg.LastResult();
   return ok;
}
