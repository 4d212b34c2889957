// Recording plot view and registry-answering property manager for tests.
#include "tests/ui/view_doubles.h"

class RecordingView final : public IUtilityView {
  public:
    explicit RecordingView(RecordingViewClass* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID_IUtilityView) {
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IUtilityView*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Show(LONG owner) override {
        owner_->calls_.push_back({"Show", -1, nullptr, nullptr, owner});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Update(IDispatch* results, IDispatch* registry,
                                     EnvelopeType type) override {
        owner_->calls_.push_back({"Update", type, results, registry, 0});
        return S_OK;
    }

  private:
    ~RecordingView() = default;
    platform::LiveObject live_{"RecordingView"};
    ULONG refs_ = 1;
    RecordingViewClass* owner_;
};

class RecordingFactory final : public IClassFactory {
  public:
    explicit RecordingFactory(RecordingViewClass* owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory)
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (FAILED(owner_->failWith_))
            return owner_->failWith_;
        ++owner_->created_;
        auto* view = new RecordingView(owner_);
        const HRESULT hr = view->QueryInterface(riid, ppv);
        view->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    ~RecordingFactory() = default;
    ULONG refs_ = 1;
    RecordingViewClass* owner_;
};

namespace {

std::wstring ProgIdKey() {
    return std::wstring(PYRANA_ENVELOPE_VIEW_PROGID) + L"\\CLSID";
}

}  // namespace

RecordingViewClass::RecordingViewClass(HRESULT failWith) : failWith_(failWith) {
    OLECHAR clsid[40] = {0};
    StringFromGUID2(CLSID_PyranaEnvelopeView, clsid, 40);
    RegSetValueW(HKEY_CLASSES_ROOT, ProgIdKey().c_str(), REG_SZ, clsid, 0);
    auto* factory = new RecordingFactory(this);
    CoRegisterClassObject(CLSID_PyranaEnvelopeView, factory, CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &cookie_);
    factory->Release();
}

RecordingViewClass::~RecordingViewClass() {
    CoRevokeClassObject(cookie_);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, PYRANA_ENVELOPE_VIEW_PROGID);
}

HRESULT RegistryPropManager::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPropManager) {
        *ppv = static_cast<IPropManager*>(this);
    } else if (riid == IID_IPropertyEnumerationRegistry) {
        *ppv = static_cast<IPropertyEnumerationRegistry*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG RegistryPropManager::Release() {
    const ULONG n = --refs_;
    if (n == 0)
        delete this;
    return n;
}
