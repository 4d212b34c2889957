// The module as a host meets it: registered from its built shared library,
// found through the utilities category, created by ProgID through the loaded
// module, used, released, unloaded and unregistered.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"
#include "tests/support/fake_host_services.h"

#ifndef PE_MODULE_PATH
#error "PE_MODULE_PATH must name the built module"
#endif

namespace {

const wchar_t kProgId[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope";
const wchar_t kProgIdVersioned[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope.1";

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::wstring GuidText(REFGUID g) {
    OLECHAR buffer[64];
    StringFromGUID2(g, buffer, 64);
    return buffer;
}

// The default (or named) string value of HKCR\path; empty when absent.
std::wstring ReadString(const std::wstring& path, const wchar_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<absent>";
    }
    wchar_t data[1024] = {0};
    DWORD size = sizeof(data);
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return L"<no value>";
    return std::wstring(data);
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The module opened the way a registration tool opens it.
class ModuleHandle {
  public:
    explicit ModuleHandle(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~ModuleHandle() {
        if (handle_ != nullptr)
            dlclose(handle_);
    }
    bool Loaded() const { return handle_ != nullptr; }
    HRESULT Call(const char* entry) const {
        using Entry = HRESULT (*)();
        auto fn = reinterpret_cast<Entry>(dlsym(handle_, entry));
        return fn == nullptr ? E_NOTIMPL : fn();
    }

  private:
    void* handle_;
};

std::vector<CLSID> ClassesOfUtilitiesCategory() {
    std::vector<CLSID> found;
    ICatInformation* info = nullptr;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, reinterpret_cast<void**>(&info)))) {
        return found;
    }
    CATID category = CATID_PyranaUtilities;
    IEnumCLSID* classes = nullptr;
    if (SUCCEEDED(info->EnumClassesOfCategories(1, &category, 0, nullptr, &classes))) {
        CLSID clsid;
        ULONG fetched = 0;
        while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1)
            found.push_back(clsid);
        classes->Release();
    }
    info->Release();
    return found;
}

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        platform::RegistryClear();
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
        platform::RegistryClear();
    }
};

TEST_F(ModuleTest, RegistersFindsCreatesUnloadsAndUnregisters) {
    ModuleHandle module(PE_MODULE_PATH);
    ASSERT_TRUE(module.Loaded()) << dlerror();
    ASSERT_EQ(module.Call("DllRegisterServer"), S_OK);

    // What the registration script and the type library wrote.
    const std::wstring clsidText = GuidText(CLSID_pyThreePhaseEnvelope);
    const std::wstring classKey = L"CLSID\\" + clsidText;
    EXPECT_EQ(ReadString(kProgIdVersioned), L"pyThreePhaseEnvelope Class");
    EXPECT_EQ(ReadString(std::wstring(kProgId) + L"\\CurVer"), kProgIdVersioned);
    EXPECT_EQ(ReadString(classKey), L"pyThreePhaseEnvelope Class");
    EXPECT_EQ(ReadString(classKey + L"\\ProgID"), kProgIdVersioned);
    EXPECT_EQ(ReadString(classKey + L"\\VersionIndependentProgID"), kProgId);
    EXPECT_TRUE(KeyExists(classKey + L"\\Programmable"));
    EXPECT_EQ(ReadString(classKey + L"\\InprocServer32"), Widen(PE_MODULE_PATH));
    EXPECT_EQ(ReadString(classKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadString(classKey + L"\\TypeLib"), clsidText);
    EXPECT_TRUE(KeyExists(L"TypeLib\\" + clsidText + L"\\1.0"));
    EXPECT_EQ(ReadString(L"Component Categories\\" + GuidText(CATID_PyranaUtilities), L"409"),
              L"Pyrana Utilities");

    // A host looking for utilities finds the class in its category.
    const std::vector<CLSID> utilities = ClassesOfUtilitiesCategory();
    ASSERT_EQ(utilities.size(), 1u);
    EXPECT_TRUE(IsEqualCLSID(utilities[0], CLSID_pyThreePhaseEnvelope));

    // Created by ProgID through the loaded module.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_pyThreePhaseEnvelope));
    IPYRUtility* utility = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                               reinterpret_cast<void**>(&utility)),
              S_OK);
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_FALSE) << "a live object holds the module";

    // Every method of both interfaces.
    BSTR text = nullptr;
    ASSERT_EQ(utility->GetName(&text), S_OK);
    EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"PyranaThreePhaseEnvelope");
    SysFreeString(text);
    ASSERT_EQ(utility->GetType(&text), S_OK);
    EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"PhaseEnvelope");
    SysFreeString(text);
    LONG n = 0;
    VARIANT a;
    VARIANT b;
    VariantInit(&a);
    VariantInit(&b);
    EXPECT_EQ(utility->GetSupportedProps(&n, &a, &b), S_OK);
    HostServices host;
    EXPECT_EQ(utility->SetThermo(host.propManager.AsDispatch(), host.flashManager.AsDispatch(),
                                 nullptr, nullptr, 0),
              S_OK);
    EXPECT_EQ(utility->InitializePropertyIDs(host.registry.AsDispatch()), S_OK);
    EXPECT_EQ(host.registry.names.size(), 24u);
    LONG ok = 0;
    EXPECT_EQ(utility->CheckRestriction(nullptr, &ok, &text), S_OK);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(utility->Execute(nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, a), S_OK);
    LONG changed = 5;
    EXPECT_EQ(utility->ChangedInUtility(&changed, &n, &a), S_OK);
    EXPECT_EQ(changed, 0);
    BSTR saved = nullptr;
    EXPECT_EQ(utility->Save(&saved), S_OK);
    EXPECT_EQ(utility->Recall(saved), S_OK);
    EXPECT_EQ(utility->SetUnitSet(a, b), S_OK);
    IPYROption* option = nullptr;
    EXPECT_EQ(utility->GetSupportedOption(&option), S_OK);
    EXPECT_EQ(option, nullptr);
    EXPECT_EQ(utility->ReleaseThermo(), S_OK);
    INotifyChange* notify = nullptr;
    ASSERT_EQ(utility->QueryInterface(IID_INotifyChange, reinterpret_cast<void**>(&notify)), S_OK);
    EXPECT_EQ(notify->UseNotifyChange(1), S_OK);
    EXPECT_EQ(notify->HasModified(CompColChanged), S_OK);
    notify->Release();

    EXPECT_EQ(utility->Release(), 0u);
    host.ExpectAllReleased();
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_OK);

    // Unregistered: the class can no longer be created by ProgID or CLSID,
    // while the type library and category entries stay.
    EXPECT_EQ(module.Call("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(kProgId));
    EXPECT_FALSE(KeyExists(classKey));
    EXPECT_TRUE(KeyExists(L"CLSID")) << "the CLSID root is never removed";
    EXPECT_TRUE(KeyExists(L"TypeLib\\" + clsidText));
    EXPECT_NE(CLSIDFromProgID(kProgId, &clsid), S_OK);
    IPYRUtility* again = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_pyThreePhaseEnvelope, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IPYRUtility, reinterpret_cast<void**>(&again)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(module.Call("DllUnregisterServer"), S_OK) << "always S_OK";
}

TEST_F(ModuleTest, ClassFactoryServesOnlyItsClassAndSupportsAggregation) {
    ModuleHandle module(PE_MODULE_PATH);
    ASSERT_TRUE(module.Loaded());
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        dlsym(reinterpret_cast<void*>(dlopen(PE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD)),
              "DllGetClassObject"));
    ASSERT_NE(get, nullptr);
    void* p = nullptr;
    EXPECT_EQ(get(CLSID_PyranaRealArray, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        get(CLSID_pyThreePhaseEnvelope, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    IClassFactory* second = nullptr;
    ASSERT_EQ(get(CLSID_pyThreePhaseEnvelope, IID_IClassFactory, reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(factory, second) << "one cached factory";
    second->Release();
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_FALSE) << "a held factory holds the module";

    // Aggregated creation must ask for IUnknown.
    struct Outer : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
    } outer;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IPYRUtility, &p), CLASS_E_NOAGGREGATION);
    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    EXPECT_EQ(inner->Release(), 0u);

    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_FALSE) << "a server lock holds the module";
    ASSERT_EQ(
        get(CLSID_pyThreePhaseEnvelope, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(module.Call("DllCanUnloadNow"), S_OK);
    dlclose(dlopen(PE_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD));
}

TEST(ModuleExports, ExactlyTheFourModuleFunctions) {
    const std::string command = std::string("nm -D --defined-only ") + PE_MODULE_PATH;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (fgets(line, sizeof(line), pipe.get()) != nullptr) {
        std::string s(line);
        s.erase(s.find_last_not_of(" \n\r") + 1);
        const size_t space = s.find_last_of(' ');
        const std::string type = s.substr(s.find(' ') + 1, 1);
        // Function symbols only: T (text) in the dynamic table.
        if (type == "T" || type == "W" || type == "D" || type == "B" || type == "R") {
            symbols.insert(s.substr(space + 1));
        }
    }
    const std::set<std::string> expected = {"DllCanUnloadNow", "DllGetClassObject",
                                            "DllRegisterServer", "DllUnregisterServer"};
    EXPECT_EQ(symbols, expected);
}

}  // namespace
