// The `module` command of phase-envelope: it registers the utility module
// into this process's registry, finds it through the host's utilities
// category, creates it by ProgID and shows what a host sees of it: its
// class, name, type and category, and the property names it registers.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/utility_module.h"
#include "host/interfaces.h"
#include "platform/com.h"

namespace cli {

namespace {

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
    const std::string path = UtilityModulePath();
    UtilityModule module;
    std::string error;
    if (!module.Load(path, &error)) {
        std::fprintf(stderr, "phase-envelope: %s\n", error.c_str());
        return kExitCalculation;
    }

    std::printf("Utility module   %s\n", path.c_str());
    ICatInformation* categories = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
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

    IPYRUtility* utility = nullptr;
    hr = UtilityModule::CreateUtility(&utility);
    if (FAILED(hr)) {
        std::fprintf(stderr, "phase-envelope: cannot create the utility: %s\n",
                     HresultText(hr).c_str());
        return kExitCalculation;
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
    return kExitOk;
}

}  // namespace cli
