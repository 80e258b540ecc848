// Removal of the bridge network component and its notify object's registration, through the
// network configuration objects of Windows. The configuration object comes from a factory so
// that tests can stand in for the system's (Wine answers E_NOTIMPL for the component calls).
#pragma once

#include <windows.h>

#include <netcfgx.h>

// Makes the network configuration object the wrapper works on.
using NetCfgFactory = HRESULT (*)(INetCfg** netCfg);

// The system's object (CLSID_CNetCfg, in-process).
HRESULT NetCfg_CreateSystemObject(INetCfg** netCfg);

// The registration of the bridge's notify object, under HKEY_CLASSES_ROOT.
inline constexpr char kBridgeNotifyObjectClsid[] = "{8C4F2A6E-3B91-4D57-A0E8-5F1C7D3B9246}";
inline constexpr wchar_t kBridgeComponentId[] = L"tessix_bridge";

class CNetCfgAPIWrapper
{
 public:
   // Runs Init.
   CNetCfgAPIWrapper(const wchar_t* applicationName, bool wantsWriteLock,
                     NetCfgFactory factory = NetCfg_CreateSystemObject);
   ~CNetCfgAPIWrapper();
   CNetCfgAPIWrapper(const CNetCfgAPIWrapper&) = delete;
   CNetCfgAPIWrapper& operator=(const CNetCfgAPIWrapper&) = delete;

   // True when the component is gone, including when it was not installed.
   bool UninstallComponent(const wchar_t* componentId);

   bool IsInitialized() const { return initialized_; }
   bool IsRebootRequired() const { return rebootRequired_; }
   HRESULT LastResult() const { return lastResult_; }

 private:
   void Init(NetCfgFactory factory);
   void ReleaseInterfaces();

   const wchar_t* applicationName_;
   INetCfg* netCfg_ = nullptr;
   INetCfgLock* lock_ = nullptr;
   bool wantsWriteLock_;
   bool initialized_ = false;
   HRESULT lastResult_ = S_OK;
   bool rebootRequired_ = false;
   bool lockHeld_ = false;
   bool comEntered_ = false;
};

// Removes the bridge component and its notify object's registration, the registration first;
// when the component is not removed, the registration is written back as it was, for a later
// run to find. True when nothing is left to do or the removal worked; `result` is the wrapper's
// last result (0 when no wrapper was needed), `reboot` whether Windows asks for a restart to
// finish or to go on.
bool RemoveBridgeAdapterNotification(const wchar_t* applicationName, bool& reboot, HRESULT& result,
                                     NetCfgFactory factory = NetCfg_CreateSystemObject);
