// A tiny in-process server module for the runtime tests: one class
// (CLSID_TestServerObject) served through DllGetClassObject, a module lock
// count for DllCanUnloadNow, and self-registration through the registrar.

#include <atomic>
#include <new>

#include "platform/com.h"
#include "test_objects.h"

namespace {

std::atomic<long> g_module_locks{0};  // live objects + LockServer locks

class ServerObject final : public platform_test::ITestServerObject {
  public:
    explicit ServerObject(IUnknown* outer) : outer_(outer) { ++g_module_locks; }
    ~ServerObject() { --g_module_locks; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) ||
            IsEqualIID(riid, platform_test::IID_ITestServerObject)) {
            *ppv = static_cast<ITestServerObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            delete this;
        }
        return n;
    }
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
    std::atomic<ULONG> refs_{1};
    IUnknown* outer_;
};

class ServerFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            delete this;
        }
        return n;
    }
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
    std::atomic<ULONG> refs_{1};
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
