// The bridge removal over stand-ins for the network configuration objects (Wine's answer
// E_NOTIMPL to every component call), and once over Wine's own object.
#include "lib/install/netCfg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "tests/gui/driver.h"
#include "tests/unit/testSupport.h"

namespace
{

const std::string kClassKey = std::string("CLSID\\") + kBridgeNotifyObjectClsid;

// What the stand-ins answer.
struct Answers {
   HRESULT lock = S_OK;
   const wchar_t* lockOwner = nullptr; // reported with S_FALSE
   HRESULT initialize = S_OK;
   HRESULT find = S_OK; // S_OK: installed, S_FALSE: not installed
   HRESULT deInstall = S_OK;
   HRESULT apply = S_OK;
};

// The answers, and what the stand-ins saw.
struct Scenario : Answers {
   Scenario() = default;
   explicit Scenario(const Answers& answers) : Answers(answers) {}
   std::vector<std::string> calls;
   int oboType = -1;
   int liveObjects = 0;
   bool registeredWhenCreated = false; // the registration, as the network configuration first saw it
};
Scenario* scenario = nullptr;

bool RegistrationPresent()
{
   HKEY key = nullptr;
   const bool present =
       RegOpenKeyExW(HKEY_CLASSES_ROOT, Win32U_Wide(kClassKey).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
   if (key != nullptr) {
      RegCloseKey(key);
   }
   return present;
}

// The registration's values, "key|name=data" each followed by a line feed; empty when absent.
std::string RegistrationValues()
{
   std::string text;
   for (const char* sub : {"", "\\InProcServer32"}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Win32U_Wide(kClassKey + sub).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
         continue;
      }
      wchar_t name[64];
      wchar_t data[MAX_PATH];
      DWORD nameChars = 64;
      DWORD dataBytes = sizeof data - sizeof(wchar_t);
      DWORD type = 0;
      for (DWORD i = 0; RegEnumValueW(key, i, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                      &dataBytes) == ERROR_SUCCESS;
           i++, nameChars = 64, dataBytes = sizeof data - sizeof(wchar_t)) {
         data[dataBytes / sizeof(wchar_t)] = L'\0';
         text +=
             std::string(sub) + "|" + Win32U_Utf8(name) + "=" + std::to_string(type) + ":" + Win32U_Utf8(data) + "\n";
      }
      RegCloseKey(key);
   }
   return text;
}

// Reference counting shared by the stand-ins; each counts itself among the live objects.
template <typename... Interfaces> class Fake : public Interfaces...
{
 public:
   Fake() { scenario->liveObjects++; }
   virtual ~Fake() { scenario->liveObjects--; }
   ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
   ULONG STDMETHODCALLTYPE Release() override
   {
      const ULONG left = --refs_;
      if (left == 0) {
         delete this;
      }
      return left;
   }
   HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
   {
      *out = nullptr;
      (TryInterface<Interfaces>(iid, out) || ...);
      if (*out == nullptr && iid == __uuidof(IUnknown)) {
         *out = static_cast<IUnknown*>(static_cast<typename First<Interfaces...>::Type*>(this));
      }
      if (*out == nullptr) {
         return E_NOINTERFACE;
      }
      AddRef();
      return S_OK;
   }

 private:
   template <typename T, typename...> struct First {
      using Type = T;
   };
   template <typename I> bool TryInterface(REFIID iid, void** out)
   {
      if (iid == __uuidof(I)) {
         *out = static_cast<I*>(this);
         return true;
      }
      return false;
   }
   ULONG refs_ = 1;
};

class FakeComponent : public Fake<INetCfgComponent>
{
 public:
   HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE SetDisplayName(LPCWSTR) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetHelpText(LPWSTR*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetCharacteristics(LPDWORD) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetInstanceGuid(GUID*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetPnpDevNodeId(LPWSTR*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetClassGuid(GUID* guid) override
   {
      scenario->calls.push_back("GetClassGuid");
      *guid = GUID{0x4d36e974, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}}; // services
      return S_OK;
   }
   HRESULT STDMETHODCALLTYPE GetBindName(LPWSTR*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE GetDeviceStatus(ULONG*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE OpenParamKey(HKEY*) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE RaisePropertyUi(HWND, DWORD, IUnknown*) override { return E_NOTIMPL; }
};

class FakeClass : public Fake<INetCfgClass, INetCfgClassSetup>
{
 public:
   HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR, INetCfgComponent**) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE EnumComponents(IEnumNetCfgComponent**) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE SelectAndInstall(HWND, OBO_TOKEN*, INetCfgComponent**) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE Install(LPCWSTR, OBO_TOKEN*, DWORD, DWORD, LPCWSTR, LPCWSTR, INetCfgComponent**) override
   {
      return E_NOTIMPL;
   }
   HRESULT STDMETHODCALLTYPE DeInstall(INetCfgComponent* component, OBO_TOKEN* token, LPWSTR* refs) override
   {
      scenario->calls.push_back("DeInstall");
      EXPECT_NE(component, nullptr);
      EXPECT_EQ(refs, nullptr);
      scenario->oboType = token != nullptr ? static_cast<int>(token->Type) : -1;
      return scenario->deInstall;
   }
};

class FakeNetCfg : public Fake<INetCfg, INetCfgLock>
{
 public:
   HRESULT STDMETHODCALLTYPE Initialize(PVOID reserved) override
   {
      EXPECT_EQ(reserved, nullptr);
      scenario->calls.push_back("Initialize");
      return scenario->initialize;
   }
   HRESULT STDMETHODCALLTYPE Uninitialize() override
   {
      scenario->calls.push_back("Uninitialize");
      return S_OK;
   }
   HRESULT STDMETHODCALLTYPE Apply() override
   {
      scenario->calls.push_back("Apply");
      return scenario->apply;
   }
   HRESULT STDMETHODCALLTYPE Cancel() override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE EnumComponents(const GUID*, IEnumNetCfgComponent**) override { return E_NOTIMPL; }
   HRESULT STDMETHODCALLTYPE FindComponent(LPCWSTR id, INetCfgComponent** component) override
   {
      scenario->calls.push_back("FindComponent " + Win32U_Utf8(id));
      *component = scenario->find == S_OK ? new FakeComponent : nullptr;
      return scenario->find;
   }
   HRESULT STDMETHODCALLTYPE QueryNetCfgClass(const GUID*, REFIID iid, void** out) override
   {
      scenario->calls.push_back("QueryNetCfgClass");
      FakeClass* netClass = new FakeClass;
      const HRESULT hr = netClass->QueryInterface(iid, out);
      netClass->Release();
      return hr;
   }
   HRESULT STDMETHODCALLTYPE AcquireWriteLock(DWORD timeout, LPCWSTR client, LPWSTR* owner) override
   {
      scenario->calls.push_back("AcquireWriteLock " + std::to_string(timeout) + " " + Win32U_Utf8(client));
      *owner = nullptr;
      if (scenario->lock == S_FALSE && scenario->lockOwner != nullptr) {
         const size_t bytes = (wcslen(scenario->lockOwner) + 1) * sizeof(wchar_t);
         *owner = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
         memcpy(*owner, scenario->lockOwner, bytes);
      }
      return scenario->lock;
   }
   HRESULT STDMETHODCALLTYPE ReleaseWriteLock() override
   {
      scenario->calls.push_back("ReleaseWriteLock");
      return S_OK;
   }
   HRESULT STDMETHODCALLTYPE IsWriteLocked(LPWSTR*) override { return E_NOTIMPL; }
};

HRESULT CreateFake(INetCfg** netCfg)
{
   scenario->calls.push_back("create");
   scenario->registeredWhenCreated = RegistrationPresent();
   *netCfg = new FakeNetCfg;
   return S_OK;
}

class BridgeRemoval : public UiTest
{
 protected:
   BridgeRemoval() : UiTest("bridge") {}
   void SetUp() override
   {
      UiTest::SetUp();
      RegDeleteTreeW(HKEY_CLASSES_ROOT, Win32U_Wide(kClassKey).c_str());
   }
   void TearDown() override
   {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, Win32U_Wide(kClassKey).c_str());
      scenario = nullptr;
      UiTest::TearDown();
   }
   // The notify object's registration as the bridge's package writes it; its values.
   static std::string Register()
   {
      const std::wstring key = Win32U_Wide(kClassKey);
      const std::wstring server = key + L"\\InProcServer32";
      const wchar_t title[] = L"Tessix Bridge Notify Object";
      const wchar_t library[] = L"C:\\Windows\\System32\\txbridgenotify.dll";
      const wchar_t threading[] = L"Both";
      EXPECT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, title, sizeof title), ERROR_SUCCESS);
      EXPECT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, server.c_str(), nullptr, REG_SZ, library, sizeof library),
                ERROR_SUCCESS);
      EXPECT_EQ(
          RegSetKeyValueW(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", REG_SZ, threading, sizeof threading),
          ERROR_SUCCESS);
      return RegistrationValues();
   }
};

} // namespace

TEST_F(BridgeRemoval, NoRegisteredNotifyObjectLeavesTheNetworkConfigurationAlone)
{
   Scenario s;
   scenario = &s;
   bool reboot = true;
   HRESULT result = E_FAIL;
   EXPECT_TRUE(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result, CreateFake));
   EXPECT_FALSE(reboot);
   EXPECT_EQ(result, S_OK);
   EXPECT_TRUE(s.calls.empty());
   EXPECT_NE(Log().find("I0: RemoveBridgeAdapterNotification: do not find registered Tessix bridge notification "
                        "object in registry, ignore this operation.\n"),
             std::string::npos);
}

TEST_F(BridgeRemoval, Outcomes)
{
   const std::vector<std::string> removed = {"create",       "AcquireWriteLock 5000 Tessix Product Installation",
                                             "Initialize",   "FindComponent tessix_bridge",
                                             "GetClassGuid", "QueryNetCfgClass",
                                             "DeInstall",    "Apply",
                                             "Uninitialize", "ReleaseWriteLock"};
   struct Case {
      const char* what;
      Answers answers;
      bool ok;
      bool reboot;
      HRESULT result;
      bool registrationKept;
      const char* line;
   } cases[] = {
       {"installed",
        {},
        true,
        false,
        S_OK,
        false,
        "RemoveBridgeAdapterNotification: Remove Tessix bridge services done"},
       {"installed, Windows wants a restart",
        {S_OK, nullptr, S_OK, S_OK, NETCFG_S_REBOOT},
        true,
        true,
        S_OK,
        false,
        "RemoveBridgeAdapterNotification: Reboot is required to finish repairing."},
       {"installed, the applied change wants a restart",
        {S_OK, nullptr, S_OK, S_OK, S_OK, NETCFG_S_REBOOT},
        true,
        true,
        NETCFG_S_REBOOT,
        false,
        "RemoveBridgeAdapterNotification: Reboot is required to finish repairing."},
       {"already removed",
        {S_OK, nullptr, S_OK, S_FALSE},
        true,
        false,
        S_FALSE,
        false,
        "RemoveBridgeAdapterNotification: Remove Tessix bridge services done"},
       {"lock held by a named program",
        {S_FALSE, L"Contoso VPN Client"},
        false,
        false,
        S_FALSE,
        true,
        "CNetCfgAPIWrapper::Init: Acquire write lock failed, close the owner [Contoso VPN Client] and try again."},
       {"lock held by a program without a name",
        {S_FALSE},
        false,
        false,
        S_FALSE,
        true,
        "CNetCfgAPIWrapper::Init: Acquire write lock failed, close the owner [UNKNOWN] and try again."},
       {"restart needed before the lock",
        {NETCFG_E_NEED_REBOOT},
        false,
        true,
        NETCFG_E_NEED_REBOOT,
        true,
        "RemoveBridgeAdapterNotification: Require reboot to continue network configuration"},
       {"configuration cannot be read",
        {S_OK, nullptr, E_ACCESSDENIED},
        false,
        false,
        E_ACCESSDENIED,
        true,
        "RemoveBridgeAdapterNotification: Initialize NetCfg APIs failed."},
       {"search fails",
        {S_OK, nullptr, S_OK, E_NOTIMPL},
        false,
        false,
        E_NOTIMPL,
        true,
        "CNetCfgAPIWrapper::UninstallComponent: Couldn't get a component interface pointer to tessix_bridge, "
        "hr=-2147467263."},
       {"removal fails",
        {S_OK, nullptr, S_OK, S_OK, E_FAIL},
        false,
        false,
        E_FAIL,
        true,
        "CNetCfgAPIWrapper::UninstallComponent: Failed to uninstall tessix_bridge, hr=-2147467259."},
       {"changes cannot be applied",
        {S_OK, nullptr, S_OK, S_OK, S_OK, E_FAIL},
        false,
        false,
        E_FAIL,
        true,
        "CNetCfgAPIWrapper::UninstallComponent: Couldn't apply the changes after uninstalling tessix_bridge."},
   };
   for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      const std::string registered = Register();
      Scenario seen(c.answers);
      scenario = &seen;
      bool reboot = !c.reboot;
      HRESULT result = 12345;
      EXPECT_EQ(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result, CreateFake), c.ok);
      EXPECT_EQ(reboot, c.reboot);
      EXPECT_EQ(result, c.result);
      EXPECT_FALSE(seen.registeredWhenCreated) << "deleted before the network configuration is opened";
      EXPECT_EQ(RegistrationValues(), c.registrationKept ? registered : "") << "written back as it was";
      EXPECT_EQ(seen.liveObjects, 0) << "every interface is released";
      EXPECT_NE(Log().find(c.line), std::string::npos) << Log();
      const std::vector<std::string>& calls = seen.calls;
      if (c.answers.lock == S_OK) {
         EXPECT_EQ(calls.back(), "ReleaseWriteLock") << "a lock taken is given back";
      } else {
         EXPECT_EQ(std::count(calls.begin(), calls.end(), "Initialize"), 0);
         EXPECT_EQ(std::count(calls.begin(), calls.end(), "ReleaseWriteLock"), 0);
      }
      if (!c.ok || c.answers.find != S_OK) {
         continue;
      }
      EXPECT_EQ(seen.oboType, OBO_USER);
      EXPECT_EQ(calls, removed);
   }
}

// A run whose removal fails leaves the bridge to the next run, which removes it.
TEST_F(BridgeRemoval, AFailedRemovalLeavesTheRegistrationForTheNextRun)
{
   const std::string registered = Register();
   Scenario failing(Answers{S_OK, nullptr, S_OK, S_OK, E_FAIL});
   scenario = &failing;
   bool reboot = true;
   HRESULT result = S_OK;
   EXPECT_FALSE(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result, CreateFake));
   EXPECT_EQ(RegistrationValues(), registered);
   EXPECT_NE(Log().find("I0: RemoveBridgeAdapterNotification: Restore registry for notification object.\n"),
             std::string::npos)
       << Log();

   Scenario working;
   scenario = &working;
   EXPECT_TRUE(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result, CreateFake));
   EXPECT_EQ(std::count(working.calls.begin(), working.calls.end(), "DeInstall"), 1);
   EXPECT_FALSE(RegistrationPresent());
}

TEST_F(BridgeRemoval, WorksWhenTheCallerHasEnteredComApartmentAlready)
{
   ASSERT_EQ(CoInitialize(nullptr), S_OK);
   Register();
   Scenario s;
   scenario = &s;
   bool reboot = true;
   HRESULT result = E_FAIL;
   EXPECT_TRUE(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result, CreateFake));
   EXPECT_EQ(s.liveObjects, 0);
   // The apartment is still the caller's: a further object can be made.
   IUnknown* unknown = nullptr;
   EXPECT_EQ(CoCreateInstance(__uuidof(CNetCfg), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetCfg),
                              reinterpret_cast<void**>(&unknown)),
             S_OK);
   if (unknown != nullptr) {
      unknown->Release();
   }
   CoUninitialize();
}

TEST_F(BridgeRemoval, WrapperWithoutApplicationNameOrWriteLockRemovesNothing)
{
   Scenario s;
   scenario = &s;
   {
      CNetCfgAPIWrapper unnamed(nullptr, true, CreateFake);
      EXPECT_FALSE(unnamed.IsInitialized());
      EXPECT_EQ(unnamed.LastResult(), E_INVALIDARG);
      CNetCfgAPIWrapper readOnly(L"reader", false, CreateFake);
      EXPECT_TRUE(readOnly.IsInitialized());
      EXPECT_FALSE(readOnly.UninstallComponent(kBridgeComponentId));
      EXPECT_EQ(readOnly.LastResult(), E_ABORT);
   }
   EXPECT_EQ(s.liveObjects, 0);
   EXPECT_EQ(s.calls, (std::vector<std::string>{"create", "Initialize", "Uninitialize"}));
   EXPECT_NE(Log().find("CNetCfgAPIWrapper::Init: Invalidate application name provided, cancel\n"), std::string::npos);
   EXPECT_NE(Log().find("CNetCfgAPIWrapper::UninstallComponent: NetCfg interface is not initialized with write lock "
                        "hold, cancel other operations 1-0\n"),
             std::string::npos);
}

// Wine's own object: created and locked for real; its component search is not implemented,
// which must not pass for "the bridge is gone".
TEST_F(BridgeRemoval, WineNetworkConfigurationObject)
{
   Register();
   bool reboot = true;
   HRESULT result = S_OK;
   EXPECT_FALSE(RemoveBridgeAdapterNotification(L"Tessix Product Installation", reboot, result));
   EXPECT_FALSE(reboot);
   EXPECT_EQ(result, E_NOTIMPL);
   EXPECT_TRUE(RegistrationPresent()) << "kept for a run on a system that can remove the bridge";
   EXPECT_NE(Log().find("Couldn't get a component interface pointer to tessix_bridge, hr=-2147467263."),
             std::string::npos)
       << Log();
}
