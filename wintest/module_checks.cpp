// Checks of pyThreePhaseEnvelope.dll as a Windows COM in-process server.
#include "wintest/module_checks.h"

#include <string>

#include "component/resource.h"
// Included after resource.h on purpose: the two headers define the same
// resource numbers, and a drift between them becomes a redefinition warning.
#include "component/resources.h"
#include "host/interfaces.h"
#include "platform/com.h"

namespace {

using platform::Bstr;
using platform::ComPtr;

const wchar_t kProgId[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope";
const wchar_t kVersionedProgId[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope.1";
const wchar_t kCategoryName[] = L"Pyrana Utilities";
const LCID kEnglishUs = 1033;

// The DllCanUnloadNow export, called directly to watch the module's lock.
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

std::wstring ClassKey() {
    return L"CLSID\\" + GuidText(CLSID_pyThreePhaseEnvelope);
}

// A string value under HKEY_CLASSES_ROOT\subkey (name null: the default
// value); empty when the key or the value is missing.
std::wstring ReadClassesRootString(const std::wstring& subkey, const wchar_t* name) {
    wchar_t buffer[1024] = {0};
    DWORD size = sizeof(buffer);
    const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, subkey.c_str(), name, RRF_RT_REG_SZ,
                                        nullptr, buffer, &size);
    return status == ERROR_SUCCESS ? std::wstring(buffer) : std::wstring();
}

// Whether two absolute paths name the same file: compared without case and
// without the "\\?\" long-path prefix, which LoadTypeLibEx may write.
bool SamePath(std::wstring a, std::wstring b) {
    const std::wstring prefix = L"\\\\?\\";
    if (a.compare(0, prefix.size(), prefix) == 0)
        a.erase(0, prefix.size());
    if (b.compare(0, prefix.size(), prefix) == 0)
        b.erase(0, prefix.size());
    return !a.empty() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

bool ClassKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Calls method `id` of `dispatch` with `count` arguments given last-first
// (the IDispatch convention) and the result in *result (may be null).
HRESULT CallMethod(IDispatch* dispatch, DISPID id, VARIANT* args, UINT count, VARIANT* result) {
    DISPPARAMS params = {args, nullptr, count, 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                        result, &exception, &badArgument);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

// The dispatch ID of `name`, DISPID_UNKNOWN when it is not found.
DISPID DispatchId(IDispatch* dispatch, const wchar_t* name, HRESULT* hr) {
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    *hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// The text of a VT_BSTR result; empty for any other type.
std::wstring ResultText(const VARIANT& v) {
    if (V_VT(&v) != VT_BSTR || V_BSTR(&v) == nullptr)
        return std::wstring();
    return std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
}

// --- Registration --------------------------------------------------------

// What regsvr32 left in the registry; *modulePath receives the registered
// module path (empty when missing).
void CheckRegistryEntries(CheckReport& report, std::wstring* modulePath) {
    const std::wstring server = ClassKey() + L"\\InprocServer32";
    *modulePath = ReadClassesRootString(server, nullptr);
    report.Expect(
        !modulePath->empty() && GetFileAttributesW(modulePath->c_str()) != INVALID_FILE_ATTRIBUTES,
        "InprocServer32 names an existing module file",
        "got \"" + platform::Utf8FromWide(*modulePath) + "\"");
    report.ExpectText(ReadClassesRootString(server, L"ThreadingModel"), L"Apartment",
                      "InprocServer32 declares the apartment threading model");

    ComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(LIBID_pyThreePhaseEnvelopeLib, 1, 0, 0, library.put());
    report.ExpectHr(hr, S_OK, "the type library 1.0 is registered");
    Bstr registeredPath;
    hr = QueryPathOfRegTypeLib(LIBID_pyThreePhaseEnvelopeLib, 1, 0, 0, registeredPath.put());
    report.Expect(SUCCEEDED(hr) && SamePath(registeredPath.ToWide(), *modulePath),
                  "the type library is registered at the module's path",
                  HrText(hr) + " \"" + registeredPath.ToUtf8() + "\"");
}

// The resources linked into the module, read without running its code.
void CheckResources(CheckReport& report, const std::wstring& modulePath) {
    HMODULE data = LoadLibraryExW(modulePath.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!report.Expect(data != nullptr, "the module opens as a resource file",
                       "error " + std::to_string(GetLastError()))) {
        return;
    }

    wchar_t name[64] = {0};
    const int n = LoadStringW(data, IDS_PROJNAME, name, 64);
    report.ExpectText(std::wstring(name, n > 0 ? n : 0), L"pyThreePhaseEnvelope",
                      "string 100 holds the project name");

    HRSRC script = FindResourceW(data, MAKEINTRESOURCEW(IDR_PYTHREEPHASEENVELOPE), L"REGISTRY");
    const char* text = nullptr;
    DWORD size = 0;
    if (script != nullptr) {
        text = static_cast<const char*>(LockResource(LoadResource(data, script)));
        size = SizeofResource(data, script);
    }
    const std::string scriptText = text != nullptr ? std::string(text, size) : std::string();
    report.Expect(scriptText.find("InprocServer32 = s '%MODULE%'") != std::string::npos,
                  "REGISTRY 101 holds the registration script",
                  "found " + std::to_string(size) + " bytes");

    HRSRC typelib = FindResourceW(data, MAKEINTRESOURCEW(IDR_TYPELIB), L"TYPELIB");
    const char* tlb = nullptr;
    if (typelib != nullptr)
        tlb = static_cast<const char*>(LockResource(LoadResource(data, typelib)));
    report.Expect(
        tlb != nullptr && SizeofResource(data, typelib) > 4 && std::string(tlb, 4) == "MSFT",
        "TYPELIB 1 holds a type library");
    FreeLibrary(data);

    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put());
    if (!report.ExpectHr(hr, S_OK, "the type library loads from the module file"))
        return;
    TLIBATTR* attributes = nullptr;
    hr = library->GetLibAttr(&attributes);
    if (!report.ExpectHr(hr, S_OK, "the type library describes itself"))
        return;
    report.Expect(IsEqualGUID(attributes->guid, LIBID_pyThreePhaseEnvelopeLib) &&
                      attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0 &&
                      attributes->syskind == SYS_WIN64,
                  "the type library is {F97FCB48-...} 1.0 for 64-bit Windows",
                  platform::Utf8FromWide(GuidText(attributes->guid)) + " " +
                      std::to_string(attributes->wMajorVerNum) + "." +
                      std::to_string(attributes->wMinorVerNum) + " syskind " +
                      std::to_string(attributes->syskind));
    library->ReleaseTLibAttr(attributes);
}

// Whether the category manager lists the class under the utility category;
// with `registered` also its description.
void CheckCategory(CheckReport& report, bool registered) {
    ComPtr<ICatInformation> categories;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatInformation, categories.put_void());
    if (!report.ExpectHr(hr, S_OK, "the component-category manager is created"))
        return;

    CATID category = CATID_PyranaUtilities;
    if (registered) {
        LPWSTR description = nullptr;
        hr = categories->GetCategoryDesc(category, kEnglishUs, &description);
        report.ExpectText(SUCCEEDED(hr) && description != nullptr ? description : L"",
                          kCategoryName, "the utility category is described in locale 1033");
        CoTaskMemFree(description);
    }

    ComPtr<IEnumCLSID> classes;
    hr = categories->EnumClassesOfCategories(1, &category, 0, nullptr, classes.put());
    if (!report.ExpectHr(hr, S_OK, "the classes of the utility category are enumerated"))
        return;
    bool listed = false;
    int count = 0;
    CLSID found;
    ULONG fetched = 0;
    while (classes->Next(1, &found, &fetched) == S_OK && fetched == 1) {
        ++count;
        if (IsEqualCLSID(found, CLSID_pyThreePhaseEnvelope))
            listed = true;
    }
    report.Expect(listed == registered,
                  registered ? "the category lists the utility's class"
                             : "the category no longer lists the utility's class",
                  std::to_string(count) + " classes listed");
}

// --- The object, early-bound --------------------------------------------

void CheckEarlyBound(CheckReport& report, IPYRUtility* utility) {
    Bstr name;
    HRESULT hr = utility->GetName(name.put());
    report.Expect(hr == S_OK && name.ToWide() == L"PyranaThreePhaseEnvelope",
                  "GetName answers PyranaThreePhaseEnvelope",
                  HrText(hr) + " \"" + name.ToUtf8() + "\"");
    Bstr type;
    hr = utility->GetType(type.put());
    report.Expect(hr == S_OK && type.ToWide() == L"PhaseEnvelope", "GetType answers PhaseEnvelope",
                  HrText(hr) + " \"" + type.ToUtf8() + "\"");

    LONG ok = 0;
    Bstr message;
    hr = utility->CheckRestriction(nullptr, &ok, message.put());
    report.Expect(hr == S_OK && ok == 1, "CheckRestriction accepts (bOK 1)",
                  HrText(hr) + " bOK " + std::to_string(ok));

    LONG changed = 7;
    LONG changedCount = 7;
    VARIANT items;
    VariantInit(&items);
    hr = utility->ChangedInUtility(&changed, &changedCount, &items);
    report.Expect(hr == S_OK && changed == 0 && changedCount == 0,
                  "ChangedInUtility reports nothing changed (0, 0)",
                  HrText(hr) + " " + std::to_string(changed) + ", " + std::to_string(changedCount));
    VariantClear(&items);

    Bstr saved;
    report.ExpectHr(utility->Save(saved.put()), S_OK, "Save answers S_OK");
    report.ExpectHr(utility->Recall(saved.Get()), S_OK, "Recall answers S_OK");

    VARIANT names;
    VARIANT units;
    VariantInit(&names);
    VariantInit(&units);
    report.ExpectHr(utility->SetUnitSet(names, units), S_OK, "SetUnitSet answers S_OK");

    IPYROption* option = nullptr;
    report.ExpectHr(utility->GetSupportedOption(&option), S_OK, "GetSupportedOption answers S_OK");
    if (option != nullptr)
        option->Release();

    report.ExpectHr(utility->ReleaseThermo(), S_OK, "ReleaseThermo answers S_OK");

    ComPtr<INotifyChange> notify;
    hr = utility->QueryInterface(IID_INotifyChange, notify.put_void());
    if (report.ExpectHr(hr, S_OK, "the object offers INotifyChange")) {
        report.ExpectHr(notify->UseNotifyChange(1), S_OK, "UseNotifyChange answers S_OK");
        report.ExpectHr(notify->HasModified(CompColChanged), S_OK, "HasModified answers S_OK");

        ComPtr<IUnknown> fromUtility;
        ComPtr<IUnknown> fromNotify;
        utility->QueryInterface(IID_IUnknown, fromUtility.put_void());
        notify->QueryInterface(IID_IUnknown, fromNotify.put_void());
        report.Expect(fromUtility && fromUtility == fromNotify,
                      "both interfaces answer the same IUnknown");
    }

    ComPtr<IUnknown> factory;
    report.ExpectHr(utility->QueryInterface(IID_IClassFactory, factory.put_void()), E_NOINTERFACE,
                    "the object refuses an interface it does not implement");
}

// --- The object, late-bound ----------------------------------------------

// Late binding resolves names and lays out arguments from the type library,
// then calls through the vtable: a call answering as its early-bound twin
// shows that the library and the C++ declarations agree on that method.
void CheckLateBound(CheckReport& report, IPYRUtility* utility) {
    ComPtr<IDispatch> dispatch;
    HRESULT hr = utility->QueryInterface(IID_IDispatch, dispatch.put_void());
    if (!report.ExpectHr(hr, S_OK, "the object offers IDispatch"))
        return;

    UINT infoCount = 0;
    hr = dispatch->GetTypeInfoCount(&infoCount);
    report.Expect(hr == S_OK && infoCount == 1, "GetTypeInfoCount answers 1",
                  HrText(hr) + " count " + std::to_string(infoCount));
    ComPtr<ITypeInfo> info;
    hr = dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put());
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(hr))
        hr = info->GetTypeAttr(&attributes);
    report.Expect(SUCCEEDED(hr) && IsEqualGUID(attributes->guid, IID_IPYRUtility),
                  "GetTypeInfo describes IPYRUtility", HrText(hr));
    if (attributes != nullptr)
        info->ReleaseTypeAttr(attributes);

    const DISPID getName = DispatchId(dispatch.Get(), L"GetName", &hr);
    if (report.ExpectHr(hr, S_OK, "GetIDsOfNames finds GetName")) {
        VARIANT result;
        VariantInit(&result);
        hr = CallMethod(dispatch.Get(), getName, nullptr, 0, &result);
        report.Expect(hr == S_OK && ResultText(result) == L"PyranaThreePhaseEnvelope",
                      "GetName late-bound answers PyranaThreePhaseEnvelope",
                      HrText(hr) + " \"" + platform::Utf8FromWide(ResultText(result)) + "\"");
        VariantClear(&result);
    }

    const DISPID getType = DispatchId(dispatch.Get(), L"GetType", &hr);
    if (report.ExpectHr(hr, S_OK, "GetIDsOfNames finds GetType")) {
        VARIANT result;
        VariantInit(&result);
        hr = CallMethod(dispatch.Get(), getType, nullptr, 0, &result);
        report.Expect(hr == S_OK && ResultText(result) == L"PhaseEnvelope",
                      "GetType late-bound answers PhaseEnvelope",
                      HrText(hr) + " \"" + platform::Utf8FromWide(ResultText(result)) + "\"");
        VariantClear(&result);
    }

    // Three [out] arguments passed by reference: the values written must
    // land in the caller's variables.
    const DISPID changedInUtility = DispatchId(dispatch.Get(), L"ChangedInUtility", &hr);
    if (report.ExpectHr(hr, S_OK, "GetIDsOfNames finds ChangedInUtility")) {
        LONG changed = 7;
        LONG changedCount = 7;
        VARIANT items;
        VariantInit(&items);
        VARIANT args[3];
        for (VARIANT& a : args)
            VariantInit(&a);
        V_VT(&args[0]) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&args[0]) = &items;
        V_VT(&args[1]) = VT_BYREF | VT_I4;
        V_I4REF(&args[1]) = &changedCount;
        V_VT(&args[2]) = VT_BYREF | VT_I4;
        V_I4REF(&args[2]) = &changed;
        hr = CallMethod(dispatch.Get(), changedInUtility, args, 3, nullptr);
        report.Expect(
            hr == S_OK && changed == 0 && changedCount == 0,
            "ChangedInUtility late-bound writes (0, 0) through its references",
            HrText(hr) + " " + std::to_string(changed) + ", " + std::to_string(changedCount));
        VariantClear(&items);
    }

    DispatchId(dispatch.Get(), L"NoSuchMethod", &hr);
    report.ExpectHr(hr, DISP_E_UNKNOWNNAME, "GetIDsOfNames rejects an unknown name");

    // INotifyChange's members share the object's one IDispatch.
    ComPtr<INotifyChange> notify;
    hr = utility->QueryInterface(IID_INotifyChange, notify.put_void());
    if (!report.ExpectHr(hr, S_OK, "the object offers INotifyChange for late binding"))
        return;
    IDispatch* notifyDispatch = notify.Get();

    const DISPID hasModified = DispatchId(notifyDispatch, L"HasModified", &hr);
    if (report.ExpectHr(hr, S_OK, "GetIDsOfNames finds HasModified")) {
        VARIANT what;
        VariantInit(&what);
        V_VT(&what) = VT_I4;
        V_I4(&what) = CompColChanged;
        report.ExpectHr(CallMethod(notifyDispatch, hasModified, &what, 1, nullptr), S_OK,
                        "HasModified late-bound answers S_OK");
    }
    const DISPID useNotifyChange = DispatchId(notifyDispatch, L"UseNotifyChange", &hr);
    if (report.ExpectHr(hr, S_OK, "GetIDsOfNames finds UseNotifyChange")) {
        VARIANT use;
        VariantInit(&use);
        V_VT(&use) = VT_I4;
        V_I4(&use) = 1;
        report.ExpectHr(CallMethod(notifyDispatch, useNotifyChange, &use, 1, nullptr), S_OK,
                        "UseNotifyChange late-bound answers S_OK");
        report.ExpectHr(CallMethod(notifyDispatch, useNotifyChange, nullptr, 0, nullptr),
                        DISP_E_BADPARAMCOUNT,
                        "UseNotifyChange late-bound without its argument is refused");
    }
}

// --- The class factory and the module's lifetime --------------------------

void CheckFactory(CheckReport& report, CanUnloadNowFn canUnloadNow) {
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(CLSID_pyThreePhaseEnvelope, CLSCTX_INPROC_SERVER, nullptr,
                                  IID_IClassFactory, factory.put_void());
    if (!report.ExpectHr(hr, S_OK, "CoGetClassObject hands out the class factory"))
        return;
    report.ExpectHr(canUnloadNow(), S_FALSE, "a held class factory keeps the module loaded");

    ComPtr<IPYRUtility> aggregated;
    hr = factory->CreateInstance(factory.Get(), IID_IPYRUtility, aggregated.put_void());
    report.ExpectHr(hr, CLASS_E_NOAGGREGATION,
                    "CreateInstance refuses an aggregate asking for other than IUnknown");

    report.ExpectHr(factory->LockServer(TRUE), S_OK, "LockServer(TRUE) answers S_OK");
    factory.Reset();
    report.ExpectHr(canUnloadNow(), S_FALSE, "a server lock keeps the module loaded");

    hr = CoGetClassObject(CLSID_pyThreePhaseEnvelope, CLSCTX_INPROC_SERVER, nullptr,
                          IID_IClassFactory, factory.put_void());
    if (!report.ExpectHr(hr, S_OK, "CoGetClassObject hands out the class factory again"))
        return;
    report.ExpectHr(factory->LockServer(FALSE), S_OK, "LockServer(FALSE) answers S_OK");
}

void CheckObjectLifetime(CheckReport& report, const std::wstring& modulePath) {
    CLSID clsid = GUID_NULL;
    HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
    report.Expect(hr == S_OK && IsEqualCLSID(clsid, CLSID_pyThreePhaseEnvelope),
                  "CLSIDFromProgID resolves the version-independent ProgID",
                  HrText(hr) + " " + platform::Utf8FromWide(GuidText(clsid)));
    CLSID versioned = GUID_NULL;
    hr = CLSIDFromProgID(kVersionedProgId, &versioned);
    report.Expect(hr == S_OK && IsEqualCLSID(versioned, CLSID_pyThreePhaseEnvelope),
                  "CLSIDFromProgID resolves the versioned ProgID",
                  HrText(hr) + " " + platform::Utf8FromWide(GuidText(versioned)));

    ComPtr<IPYRUtility> utility;
    hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility, utility.put_void());
    if (!report.ExpectHr(hr, S_OK, "CoCreateInstance creates the utility as IPYRUtility"))
        return;

    // GetModuleHandle takes no reference, so it cannot keep the module loaded.
    HMODULE module = GetModuleHandleW(modulePath.c_str());
    if (!report.Expect(module != nullptr, "the module is loaded in the process"))
        return;
    // Through void(*)(), the generic function pointer type, as GetProcAddress
    // knows nothing of the export's signature.
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllCanUnloadNow")));
    if (!report.Expect(canUnloadNow != nullptr, "the module exports DllCanUnloadNow"))
        return;
    report.ExpectHr(canUnloadNow(), S_FALSE, "a live object keeps the module loaded");

    CheckEarlyBound(report, utility.Get());
    CheckLateBound(report, utility.Get());

    utility.Reset();
    report.ExpectHr(canUnloadNow(), S_OK, "DllCanUnloadNow answers S_OK once the object is gone");

    CheckFactory(report, canUnloadNow);
    report.ExpectHr(canUnloadNow(), S_OK, "DllCanUnloadNow answers S_OK once the factory is gone");

    CoFreeUnusedLibraries();
    report.Expect(GetModuleHandleW(modulePath.c_str()) == nullptr,
                  "CoFreeUnusedLibraries unloads the released module");
}

}  // namespace

void CheckRegisteredModule(CheckReport& report) {
    std::wstring modulePath;
    CheckRegistryEntries(report, &modulePath);
    if (modulePath.empty())
        return;
    CheckResources(report, modulePath);
    CheckCategory(report, true);
    CheckObjectLifetime(report, modulePath);
}

void CheckUnregisteredModule(CheckReport& report) {
    report.Expect(!ClassKeyExists(), "the class key is gone from HKEY_CLASSES_ROOT\\CLSID");

    CLSID clsid = GUID_NULL;
    report.ExpectHr(CLSIDFromProgID(kProgId, &clsid), CO_E_CLASSSTRING,
                    "CLSIDFromProgID no longer resolves the version-independent ProgID");
    report.ExpectHr(CLSIDFromProgID(kVersionedProgId, &clsid), CO_E_CLASSSTRING,
                    "CLSIDFromProgID no longer resolves the versioned ProgID");

    ComPtr<IUnknown> object;
    report.ExpectHr(CoCreateInstance(CLSID_pyThreePhaseEnvelope, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, object.put_void()),
                    REGDB_E_CLASSNOTREG, "CoCreateInstance reports the class not registered");

    CheckCategory(report, false);
}
