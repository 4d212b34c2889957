// A tiny in-process server module for the runtime tests: one class
// (CLSID_TestServerObject) served through DllGetClassObject, a module lock
// count for DllCanUnloadNow, and self-registration through the registrar.

#include <atomic>
#include <new>

#include "platform/com.h"
#include "platform/com_object.h"
#include "test_objects.h"

namespace {

std::atomic<long> g_module_locks{0};  // live objects + LockServer locks

class ServerObject final
    : public platform::SingleInterfaceObject<platform_test::ITestServerObject> {
  public:
    explicit ServerObject(IUnknown* outer)
        : SingleInterfaceObject(platform_test::IID_ITestServerObject), outer_(outer) {
        ++g_module_locks;
    }
    ~ServerObject() override { --g_module_locks; }

    HRESULT STDMETHODCALLTYPE Answer(LONG* value) override {
        if (!value) {
            return E_POINTER;
        }
        *value = 42 + static_cast<LONG>(g_module_locks.load());
        return S_OK;
    }
    IUnknown* STDMETHODCALLTYPE Outer() override { return outer_; }

  private:
    platform::LiveObject live_{"TestServerObject"};
    IUnknown* outer_;
};

class ServerFactory final : public platform::SingleInterfaceObject<IClassFactory> {
  public:
    ServerFactory() : SingleInterfaceObject(IID_IClassFactory) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        // Aggregation is accepted for IUnknown only, as the rules require;
        // the object records its outer unknown so the test can see it.
        if (outer && !IsEqualIID(riid, IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* object = new (std::nothrow) ServerObject(outer);
        if (!object) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        g_module_locks += lock ? 1 : -1;
        return S_OK;
    }

  private:
    platform::LiveObject live_{"TestServerFactory"};
};

const char kScript[] = R"(
HKCR
{
    Platform.TestServer.1 = s 'Test server object'
    {
        CLSID = s '{0D9E8F7A-6B5C-4D3E-9F2A-1B0C9D8E7F6A}'
    }
    NoRemove CLSID
    {
        ForceRemove {0D9E8F7A-6B5C-4D3E-9F2A-1B0C9D8E7F6A} = s 'Test server object'
        {
            ProgID = s 'Platform.TestServer.1'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
        }
    }
}
)";

HRESULT RunScript(bool do_register) {
    platform::Registrar registrar;
    HRESULT hr = registrar.SetModule(platform::ThisModule());
    if (FAILED(hr)) {
        return hr;
    }
    hr = do_register ? registrar.RegisterUtf8(kScript) : registrar.UnregisterUtf8(kScript);
    return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, platform_test::CLSID_TestServerObject)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) ServerFactory;
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    return g_module_locks.load() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return RunScript(true);
}

STDAPI DllUnregisterServer() {
    return RunScript(false);
}
