// The `module` command of phase-envelope: it registers the utility module
// into this process's registry, finds it through the host's utilities
// category, creates it by ProgID and shows what a host sees of it: its
// class, name, type and category, and the property names it registers.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "host/interfaces.h"
#include "platform/com.h"

namespace cli {

namespace {

std::string Narrow(const wchar_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<char>(s[i]));
    return out;
}

std::string Narrow(BSTR s) {
    return s == nullptr ? std::string() : Narrow(s, SysStringLen(s));
}

std::string GuidText(REFGUID g) {
    OLECHAR buffer[64];
    const int n = StringFromGUID2(g, buffer, 64);
    return Narrow(buffer, n > 0 ? static_cast<size_t>(n - 1) : 0);
}

// The utility module sits in the build's lib/ folder beside bin/.
std::string ModulePath() {
    char exe[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t slash = path.find_last_of('/');
    path = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    return path + "/../lib/pyThreePhaseEnvelope.so";
}

// A property-name registry that hands out IDs in order of registration.
class NameRegistry : public IPropertyEnumerationRegistry {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_IPropertyEnumerationRegistry)) {
            *ppv = static_cast<IPropertyEnumerationRegistry*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) override {
        const std::string n = Narrow(name);
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == n) {
                *id = static_cast<LONG>(i + 1);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override {
        if (GetPropertyIDByName(name, id) == S_OK)
            return S_OK;
        names.push_back(Narrow(name));
        *id = static_cast<LONG>(names.size());
        return S_OK;
    }
    std::vector<std::string> names;

  private:
    ULONG refs_ = 1;
};

}  // namespace

int RunModule() {
    const std::string path = ModulePath();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "phase-envelope: cannot load the utility module: %s\n", dlerror());
        return 1;
    }
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
    HRESULT hr = registerServer != nullptr ? registerServer() : E_NOTIMPL;
    if (FAILED(hr)) {
        std::fprintf(stderr, "phase-envelope: registering the module failed: 0x%08X\n",
                     static_cast<unsigned>(hr));
        dlclose(module);
        return 1;
    }

    std::printf("Utility module   %s\n", path.c_str());
    ICatInformation* categories = nullptr;
    hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                          IID_ICatInformation, reinterpret_cast<void**>(&categories));
    if (SUCCEEDED(hr)) {
        LPOLESTR description = nullptr;
        if (SUCCEEDED(categories->GetCategoryDesc(CATID_PyranaUtilities, 1033, &description))) {
            std::printf("Category         %s %s\n", GuidText(CATID_PyranaUtilities).c_str(),
                        Narrow(description, wcslen(description)).c_str());
            CoTaskMemFree(description);
        }
        CATID catid = CATID_PyranaUtilities;
        IEnumCLSID* classes = nullptr;
        if (SUCCEEDED(categories->EnumClassesOfCategories(1, &catid, 0, nullptr, &classes))) {
            CLSID clsid;
            ULONG fetched = 0;
            while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
                std::printf("Utility class    %s\n", GuidText(clsid).c_str());
            }
            classes->Release();
        }
        categories->Release();
    }

    CLSID clsid;
    IPYRUtility* utility = nullptr;
    hr = CLSIDFromProgID(L"pyThreePhaseEnvelope.pyThreePhaseEnvelope", &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                              reinterpret_cast<void**>(&utility));
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "phase-envelope: cannot create the utility: 0x%08X\n",
                     static_cast<unsigned>(hr));
        dlclose(module);
        return 1;
    }
    BSTR name = nullptr;
    BSTR type = nullptr;
    utility->GetName(&name);
    utility->GetType(&type);
    std::printf("Name             %s\nType             %s\n", Narrow(name).c_str(),
                Narrow(type).c_str());
    SysFreeString(name);
    SysFreeString(type);

    NameRegistry registry;
    // Without a connected host the utility registers its names and then
    // reports that it has no flash-settings companion to hand them to.
    utility->InitializePropertyIDs(static_cast<IPropertyEnumerationRegistry*>(&registry));
    std::printf("Property names   %zu\n", registry.names.size());
    for (size_t i = 0; i < registry.names.size(); ++i) {
        std::printf("  %2zu  %s\n", i + 1, registry.names[i].c_str());
    }
    utility->Release();
    CoFreeUnusedLibraries();
    dlclose(module);
    return 0;
}

}  // namespace cli
