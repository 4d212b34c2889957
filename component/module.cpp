// The in-process server module: the lock count, the cached class factory and
// the four exported entry points (class objects, unloading, registration).
#include "component/module.h"

#include <atomic>
#include <cwchar>
#include <map>
#include <string>

#include "component/py_three_phase_envelope.h"
#include "component/registration.h"
#include "component/resources.h"
#include "host/interfaces.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

// Apartment-threaded module: each apartment touches the count on its own
// thread, and a host may run several apartments (and ask DllCanUnloadNow
// from any thread), so the count is atomic.
std::atomic<LONG> g_lockCount{0};

// The class factory of pyThreePhaseEnvelope: one static object for the
// module's lifetime; its references hold the module.
class ClassFactory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ModuleLock();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ModuleUnlock();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        // An aggregate's outer object must ask for the inner IUnknown.
        if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        IUnknown* inner = nullptr;
        HRESULT hr = pyThreePhaseEnvelope::CreateInstance(outer, &inner);
        if (FAILED(hr))
            return hr;
        hr = inner->QueryInterface(riid, ppv);
        inner->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ModuleLock();
        } else {
            ModuleUnlock();
        }
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

void ModuleLock() {
    g_lockCount.fetch_add(1);
}

void ModuleUnlock() {
    g_lockCount.fetch_sub(1);
}

LONG ModuleLockCount() {
    return g_lockCount.load();
}

#ifdef _WIN32
namespace {
HINSTANCE g_instance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HINSTANCE ModuleInstance() {
    return g_instance;
}

std::wstring ModulePath() {
    wchar_t buffer[MAX_PATH + 1] = {0};
    const DWORD n = GetModuleFileNameW(g_instance, buffer, MAX_PATH);
    return std::wstring(buffer, n);
}
#else
std::wstring ModulePath() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&ModuleLock), &info) == 0 || info.dli_fname == nullptr) {
        return std::wstring();
    }
    std::wstring path;
    for (const char* p = info.dli_fname; *p != '\0'; ++p) {
        path.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
    return path;
}
#endif

std::wstring ModuleFolder() {
    const std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// ---------------------------------------------------------------------------
// Exports.

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_pyThreePhaseEnvelope))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return RegisterModule();
}

STDAPI DllUnregisterServer() {
    UnregisterModule();
    return S_OK;
}
