// Registration of the module: registration script, type library, category.
#include "component/registration.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "component/module.h"
#include "component/resources.h"
#include "host/interfaces.h"
#include "platform/registrar.h"
#include "platform/typelib_registration.h"

namespace {

const wchar_t kCategoryDescription[] = L"Pyrana Utilities";
const LCID kCategoryLocale = 1033;
const size_t kMaxDescription = 1024;

HRESULT ApplyScript(bool doRegister) {
    const std::string script = RegistrationScript();
    if (script.empty())
        return SELFREG_E_CLASS;
    platform::Registrar registrar;
    registrar.AddReplacement(L"MODULE", ModulePath());
    return doRegister ? registrar.RegisterUtf8(script) : registrar.UnregisterUtf8(script);
}

// Registers the category and the class as implementing it, between OLE's
// initialisation and its end on this thread.
HRESULT RegisterCategory() {
    ICatRegister* categories = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatRegister, reinterpret_cast<void**>(&categories));
    if (FAILED(hr))
        return hr;

    CATEGORYINFO info;
    info.catid = CATID_PyranaUtilities;
    info.lcid = kCategoryLocale;
    const size_t capacity = sizeof(info.szDescription) / sizeof(info.szDescription[0]);
    const size_t length = std::min({wcslen(kCategoryDescription), kMaxDescription, capacity - 1});
    for (size_t i = 0; i < length; ++i)
        info.szDescription[i] = kCategoryDescription[i];
    info.szDescription[length] = 0;

    hr = categories->RegisterCategories(1, &info);
    if (FAILED(hr)) {
        categories->Release();
        return hr;
    }
    CATID implemented = CATID_PyranaUtilities;
    categories->RegisterClassImplCategories(CLSID_pyThreePhaseEnvelope, 1, &implemented);
    categories->Release();
    return S_OK;
}

}  // namespace

HRESULT RegisterModule() {
    HRESULT hr = ApplyScript(true);
    if (FAILED(hr))
        return hr;
    const std::wstring path = ModulePath();
    const std::wstring folder = ModuleFolder();
    hr = platform::RegisterTypeLibFor(LIBID_pyThreePhaseEnvelopeLib, 1, 0, path.c_str(),
                                      folder.c_str(), L"pyThreePhaseEnvelope 1.0 Type Library");
    if (FAILED(hr))
        return hr;

    hr = OleInitialize(nullptr);
    if (FAILED(hr))
        return hr;
    hr = RegisterCategory();
    OleUninitialize();
    return hr;
}

void UnregisterModule() {
    ApplyScript(false);
}
