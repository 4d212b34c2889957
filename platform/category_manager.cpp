// The runtime's built-in component-category manager
// (CLSID_StdComponentCategoriesMgr), its class object and its enumerators.
// Categories and class links are kept in the registry as Windows keeps them:
//   HKCR\Component Categories\{catid}                value "<hex lcid>" = description
//   HKCR\CLSID\{clsid}\Implemented Categories\{catid}
//   HKCR\CLSID\{clsid}\Required Categories\{catid}

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/builtin_classes.h"
#include "platform/com.h"
#include "platform/com_object.h"

namespace {

using platform::detail::GuidString;
using platform::detail::ParseGuid;

const std::wstring kCategories = L"Component Categories\\";
const std::wstring kImplemented = L"\\Implemented Categories";
const std::wstring kRequired = L"\\Required Categories";

std::wstring ClassPath(REFCLSID clsid) {
    return L"CLSID\\" + GuidString(clsid);
}

std::wstring LcidName(LCID lcid) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%X", static_cast<unsigned>(lcid));
    return buf;
}

// Names of the subkeys of HKCR\path (empty when the key is missing).
std::vector<std::wstring> Subkeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        const LONG r = RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r == ERROR_SUCCESS) {
            names.emplace_back(name, cch);
        }
    }
    RegCloseKey(key);
    return names;
}

std::vector<GUID> GuidSubkeys(const std::wstring& path) {
    std::vector<GUID> guids;
    for (const auto& name : Subkeys(path)) {
        GUID g;
        if (ParseGuid(name.c_str(), &g)) {
            guids.push_back(g);
        }
    }
    return guids;
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

HRESULT CreateKey(const std::wstring& path) {
    HKEY key = nullptr;
    const LONG r = RegCreateKeyW(HKEY_CLASSES_ROOT, path.c_str(), &key);
    if (r != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(r);
    }
    RegCloseKey(key);
    return S_OK;
}

// Deletes HKCR\path with its tree; a missing key is fine.
HRESULT DeleteTree(const std::wstring& path) {
    const LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(r);
}

// Finds the description of a category for `lcid`: that exact locale, then
// one of the same primary language, then any. Returns CAT_E_* when missing.
HRESULT Description(REFCATID catid, LCID lcid, std::wstring* out) {
    HKEY key = nullptr;
    const std::wstring path = kCategories + GuidString(catid);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return CAT_E_CATIDNOEXIST;
    }
    std::wstring exact, same_language, any;
    bool have_exact = false, have_same = false, have_any = false;
    for (DWORD i = 0;; ++i) {
        wchar_t name[64];
        DWORD cch = 64;
        DWORD type = 0;
        DWORD cb = 0;
        LONG r = RegEnumValueW(key, i, name, &cch, nullptr, &type, nullptr, &cb);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (r != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        std::wstring text(cb / sizeof(wchar_t) + 1, L'\0');
        cch = 64;
        r = RegEnumValueW(key, i, name, &cch, nullptr, &type, reinterpret_cast<LPBYTE>(&text[0]),
                          &cb);
        if (r != ERROR_SUCCESS) {
            continue;
        }
        text.resize(cb / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        wchar_t* end = nullptr;
        const unsigned long value_lcid = std::wcstoul(name, &end, 16);
        const bool is_lcid = cch > 0 && end && *end == 0;
        if (is_lcid && value_lcid == lcid && !have_exact) {
            exact = text;
            have_exact = true;
        } else if (is_lcid &&
                   PRIMARYLANGID(LANGIDFROMLCID(value_lcid)) ==
                       PRIMARYLANGID(LANGIDFROMLCID(lcid)) &&
                   !have_same) {
            same_language = text;
            have_same = true;
        }
        if (!have_any) {
            any = text;
            have_any = true;
        }
    }
    RegCloseKey(key);
    if (have_exact) {
        *out = exact;
    } else if (have_same) {
        *out = same_language;
    } else if (have_any) {
        *out = any;
    } else {
        return CAT_E_NODESCRIPTION;
    }
    return S_OK;
}

// Checks a class against the implemented / required category lists.
HRESULT IsClassOf(REFCLSID clsid, ULONG cImpl, const CATID* impl, ULONG cReq, const CATID* req) {
    const ULONG kAny = static_cast<ULONG>(-1);
    if ((cImpl != kAny && cImpl > 0 && !impl) || (cReq != kAny && cReq > 0 && !req)) {
        return E_POINTER;
    }
    const std::wstring cls = ClassPath(clsid);
    if (cImpl != kAny) {
        for (ULONG i = 0; i < cImpl; ++i) {
            if (!KeyExists(cls + kImplemented + L"\\" + GuidString(impl[i]))) {
                return S_FALSE;
            }
        }
    }
    if (cReq != kAny) {
        for (const GUID& needed : GuidSubkeys(cls + kRequired)) {
            bool offered = false;
            for (ULONG i = 0; i < cReq && !offered; ++i) {
                offered = IsEqualGUID(needed, req[i]);
            }
            if (!offered) {
                return S_FALSE;
            }
        }
    }
    return S_OK;
}

// An enumerator over a fixed list shared by its clones.
template <class Interface, class Item>
class ListEnumerator final : public platform::SingleInterfaceObject<Interface> {
  public:
    ListEnumerator(std::shared_ptr<const std::vector<Item>> items, REFIID iid, size_t pos)
        : platform::SingleInterfaceObject<Interface>(iid), items_(std::move(items)), pos_(pos) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item* rgelt, ULONG* pceltFetched) override {
        if (!rgelt || (celt != 1 && !pceltFetched)) {
            return E_POINTER;
        }
        ULONG fetched = 0;
        while (fetched < celt && pos_ < items_->size()) {
            rgelt[fetched++] = (*items_)[pos_++];
        }
        if (pceltFetched) {
            *pceltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        const size_t left = items_->size() - pos_;
        if (celt > left) {
            pos_ = items_->size();
            return S_FALSE;
        }
        pos_ += celt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** ppenum) override {
        if (!ppenum) {
            return E_POINTER;
        }
        *ppenum = new (std::nothrow) ListEnumerator(items_, this->InterfaceId(), pos_);
        return *ppenum ? S_OK : E_OUTOFMEMORY;
    }

  private:
    platform::LiveObject live_{"ListEnumerator"};
    std::shared_ptr<const std::vector<Item>> items_;
    size_t pos_;
};

template <class Interface, class Item>
HRESULT MakeEnumerator(std::vector<Item> items, REFIID iid, Interface** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    try {
        auto shared = std::make_shared<const std::vector<Item>>(std::move(items));
        *out = new ListEnumerator<Interface, Item>(std::move(shared), iid, 0);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

class CategoryManager final : public ICatRegister, public ICatInformation {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICatRegister)) {
            *ppv = static_cast<ICatRegister*>(this);
        } else if (IsEqualIID(riid, IID_ICatInformation)) {
            *ppv = static_cast<ICatInformation*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            delete this;
        }
        return n;
    }

    // --- ICatRegister ---
    HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG cCategories,
                                                 CATEGORYINFO rgCategoryInfo[]) override {
        if (cCategories > 0 && !rgCategoryInfo) {
            return E_POINTER;
        }
        try {
            for (ULONG i = 0; i < cCategories; ++i) {
                const CATEGORYINFO& info = rgCategoryInfo[i];
                HKEY key = nullptr;
                const std::wstring path = kCategories + GuidString(info.catid);
                LONG r = RegCreateKeyW(HKEY_CLASSES_ROOT, path.c_str(), &key);
                if (r != ERROR_SUCCESS) {
                    return HRESULT_FROM_WIN32(r);
                }
                const std::wstring desc(info.szDescription, wcsnlen(info.szDescription, 127));
                const std::wstring name = LcidName(info.lcid);
                r = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(desc.c_str()),
                                   static_cast<DWORD>((desc.size() + 1) * sizeof(wchar_t)));
                RegCloseKey(key);
                if (r != ERROR_SUCCESS) {
                    return HRESULT_FROM_WIN32(r);
                }
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) override {
        if (cCategories > 0 && !rgcatid) {
            return E_POINTER;
        }
        try {
            for (ULONG i = 0; i < cCategories; ++i) {
                HRESULT hr = DeleteTree(kCategories + GuidString(rgcatid[i]));
                if (FAILED(hr)) {
                    return hr;
                }
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                          CATID rgcatid[]) override {
        return Link(rclsid, kImplemented, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                            CATID rgcatid[]) override {
        return Unlink(rclsid, kImplemented, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                         CATID rgcatid[]) override {
        return Link(rclsid, kRequired, cCategories, rgcatid);
    }
    HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                           CATID rgcatid[]) override {
        return Unlink(rclsid, kRequired, cCategories, rgcatid);
    }

    // --- ICatInformation ---
    HRESULT STDMETHODCALLTYPE EnumCategories(LCID lcid,
                                             IEnumCATEGORYINFO** ppenumCategoryInfo) override {
        if (!ppenumCategoryInfo) {
            return E_POINTER;
        }
        try {
            std::vector<CATEGORYINFO> infos;
            for (const GUID& catid : GuidSubkeys(L"Component Categories")) {
                CATEGORYINFO info{};
                info.catid = catid;
                info.lcid = lcid;
                std::wstring desc;
                if (SUCCEEDED(Description(catid, lcid, &desc))) {
                    const size_t n = std::min<size_t>(desc.size(), 127);
                    std::wmemcpy(info.szDescription, desc.data(), n);
                    info.szDescription[n] = 0;
                }
                infos.push_back(info);
            }
            return MakeEnumerator(std::move(infos), IID_IEnumCATEGORYINFO, ppenumCategoryInfo);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE GetCategoryDesc(REFCATID rcatid, LCID lcid,
                                              LPWSTR* pszDesc) override {
        if (!pszDesc) {
            return E_POINTER;
        }
        *pszDesc = nullptr;
        try {
            std::wstring desc;
            HRESULT hr = Description(rcatid, lcid, &desc);
            if (FAILED(hr)) {
                return hr;
            }
            auto* p = static_cast<LPWSTR>(CoTaskMemAlloc((desc.size() + 1) * sizeof(wchar_t)));
            if (!p) {
                return E_OUTOFMEMORY;
            }
            std::wmemcpy(p, desc.c_str(), desc.size() + 1);
            *pszDesc = p;
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, const CATID rgcatidImpl[],
                                                      ULONG cRequired, const CATID rgcatidReq[],
                                                      IEnumGUID** ppenumClsid) override {
        if (!ppenumClsid) {
            return E_POINTER;
        }
        *ppenumClsid = nullptr;
        try {
            std::vector<GUID> classes;
            for (const GUID& clsid : GuidSubkeys(L"CLSID")) {
                HRESULT hr = IsClassOf(clsid, cImplemented, rgcatidImpl, cRequired, rgcatidReq);
                if (FAILED(hr)) {
                    return hr;
                }
                if (hr == S_OK) {
                    classes.push_back(clsid);
                }
            }
            return MakeEnumerator(std::move(classes), IID_IEnumGUID, ppenumClsid);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented,
                                                  const CATID rgcatidImpl[], ULONG cRequired,
                                                  const CATID rgcatidReq[]) override {
        try {
            return IsClassOf(rclsid, cImplemented, rgcatidImpl, cRequired, rgcatidReq);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE EnumImplCategoriesOfClass(REFCLSID rclsid,
                                                        IEnumGUID** ppenumCatid) override {
        try {
            return MakeEnumerator(GuidSubkeys(ClassPath(rclsid) + kImplemented), IID_IEnumGUID,
                                  ppenumCatid);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT STDMETHODCALLTYPE EnumReqCategoriesOfClass(REFCLSID rclsid,
                                                       IEnumGUID** ppenumCatid) override {
        try {
            return MakeEnumerator(GuidSubkeys(ClassPath(rclsid) + kRequired), IID_IEnumGUID,
                                  ppenumCatid);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

  private:
    static HRESULT Link(REFCLSID clsid, const std::wstring& kind, ULONG count, const CATID* ids) {
        if (count > 0 && !ids) {
            return E_POINTER;
        }
        try {
            for (ULONG i = 0; i < count; ++i) {
                HRESULT hr = CreateKey(ClassPath(clsid) + kind + L"\\" + GuidString(ids[i]));
                if (FAILED(hr)) {
                    return hr;
                }
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    static HRESULT Unlink(REFCLSID clsid, const std::wstring& kind, ULONG count, const CATID* ids) {
        if (count > 0 && !ids) {
            return E_POINTER;
        }
        try {
            const std::wstring parent = ClassPath(clsid) + kind;
            for (ULONG i = 0; i < count; ++i) {
                HRESULT hr = DeleteTree(parent + L"\\" + GuidString(ids[i]));
                if (FAILED(hr)) {
                    return hr;
                }
            }
            if (KeyExists(parent) && Subkeys(parent).empty()) {
                RegDeleteKeyW(HKEY_CLASSES_ROOT, parent.c_str());
            }
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    platform::LiveObject live_{"CategoryManager"};
    std::atomic<ULONG> refs_{1};
};

class CategoryManagerFactory final : public platform::SingleInterfaceObject<IClassFactory> {
  public:
    CategoryManagerFactory() : SingleInterfaceObject(IID_IClassFactory) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (!ppvObject) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* manager = new (std::nothrow) CategoryManager;
        if (!manager) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = manager->QueryInterface(riid, ppvObject);
        manager->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    platform::LiveObject live_{"CategoryManagerFactory"};
};

}  // namespace

namespace platform {
namespace detail {

bool GetBuiltinClassObject(REFCLSID clsid, REFIID riid, void** ppv, HRESULT* hr) {
    if (!IsEqualCLSID(clsid, CLSID_StdComponentCategoriesMgr)) {
        return false;
    }
    auto* factory = new (std::nothrow) CategoryManagerFactory;
    if (!factory) {
        *hr = E_OUTOFMEMORY;
        return true;
    }
    *hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return true;
}

}  // namespace detail
}  // namespace platform
