// The plot view object, its class factory and its registration in process.
#include "plotview/envelope_view.h"

#include <mutex>
#include <new>

#include "plotview/envelope_figure.h"
#include "plotview/envelope_plot.h"
#include "plotview/envelope_results.h"

namespace plotview {

// What the views of one registration share with it.
struct ViewState {
    explicit ViewState(ViewSettings s) : settings(std::move(s)) {}
    ViewSettings settings;
    std::mutex lock;
    std::vector<std::string> written;
    std::vector<std::string> errors;
    int updates = 0;
    int shows = 0;
};

namespace {

const char* const kAxesNames[] = {"PT", "PV", "PH", "PS", "TV", "TH", "TS"};

std::string Describe(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

class EnvelopeView final : public IUtilityView {
  public:
    explicit EnvelopeView(std::shared_ptr<ViewState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IUtilityView) {
            *ppv = static_cast<IUtilityView*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }

    // No type information: the view is called through its vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Update(IDispatch* results, IDispatch* registry,
                                     EnvelopeType envelopeType) override {
        try {
            Count(&ViewState::updates);
            type_ = envelopeType;
            IDispatch* names = registry != nullptr ? registry : state_->settings.registry.Get();
            std::vector<EnvelopePoint> points;
            const HRESULT hr = ReadEnvelopeResults(results, names, &points);
            if (FAILED(hr)) {
                Fail("the envelope results could not be read (" + Describe(hr) + ")");
                return hr;
            }
            points_ = std::move(points);
            updated_ = true;
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

    HRESULT STDMETHODCALLTYPE Show(LONG /*hwndOwner*/) override {
        try {
            Count(&ViewState::shows);
            if (!updated_) {
                Fail("Show before any successful Update: nothing to draw");
                return E_UNEXPECTED;
            }
            std::string path = state_->settings.outputPath;
            if (path.empty())
                return S_FALSE;
            const int t = static_cast<int>(type_);
            const char* axes = t >= 0 && t < 7 ? kAxesNames[t] : kAxesNames[0];
            const size_t at = path.find("{axes}");
            if (at != std::string::npos)
                path.replace(at, 6, axes);

            PlotOptions options;
            options.title = state_->settings.title;
            options.width = state_->settings.width;
            options.height = state_->settings.height;
            std::string error;
            const HRESULT hr = DrawEnvelope(BuildFigure(points_, type_), options, path, &error);
            if (FAILED(hr)) {
                Fail(error);
                return hr;
            }
            std::lock_guard<std::mutex> hold(state_->lock);
            state_->written.push_back(path);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }

  private:
    ~EnvelopeView() = default;
    void Count(int ViewState::*counter) {
        std::lock_guard<std::mutex> hold(state_->lock);
        ++(state_.get()->*counter);
    }
    void Fail(const std::string& why) {
        std::lock_guard<std::mutex> hold(state_->lock);
        state_->errors.push_back(why);
    }

    platform::LiveObject live_{"EnvelopeView"};
    ULONG refs_ = 1;
    std::shared_ptr<ViewState> state_;
    EnvelopeType type_ = etPT;
    bool updated_ = false;
    std::vector<EnvelopePoint> points_;
};

class EnvelopeViewFactory final : public IClassFactory {
  public:
    explicit EnvelopeViewFactory(std::shared_ptr<ViewState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto* view = new (std::nothrow) EnvelopeView(state_);
        if (view == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT hr = view->QueryInterface(riid, ppv);
        view->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    ~EnvelopeViewFactory() = default;
    platform::LiveObject live_{"EnvelopeViewFactory"};
    ULONG refs_ = 1;
    std::shared_ptr<ViewState> state_;
};

std::wstring ClsidText() {
    OLECHAR text[40] = {0};
    StringFromGUID2(CLSID_PyranaEnvelopeView, text, 40);
    return text;
}

LONG SetDefault(const std::wstring& key, const std::wstring& value) {
    HKEY hkey = nullptr;
    LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &hkey, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = RegSetValueExW(hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(hkey);
    return r;
}

}  // namespace

namespace {

// The view's ProgID keys are the process's, shared by the registrations of
// every thread that runs a calculation: the first registration writes them,
// the last one removes them.
std::mutex& KeysLock() {
    static std::mutex lock;
    return lock;
}
int& KeysHolders() {
    static int holders = 0;
    return holders;
}

void DeleteKeys() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, PYRANA_ENVELOPE_VIEW_PROGID);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText()).c_str());
}

LONG HoldKeys() {
    std::lock_guard<std::mutex> hold(KeysLock());
    if (KeysHolders() == 0) {
        const std::wstring progId = PYRANA_ENVELOPE_VIEW_PROGID;
        const std::wstring clsid = ClsidText();
        LONG r = SetDefault(progId + L"\\CLSID", clsid);
        if (r == ERROR_SUCCESS)
            r = SetDefault(L"CLSID\\" + clsid + L"\\ProgID", progId);
        if (r != ERROR_SUCCESS) {
            DeleteKeys();
            return r;
        }
    }
    ++KeysHolders();
    return ERROR_SUCCESS;
}

void ReleaseKeys() {
    std::lock_guard<std::mutex> hold(KeysLock());
    if (--KeysHolders() == 0)
        DeleteKeys();
}

}  // namespace

EnvelopeViewRegistration::EnvelopeViewRegistration(ViewSettings settings)
    : state_(std::make_shared<ViewState>(std::move(settings))) {
    const LONG r = HoldKeys();
    if (r != ERROR_SUCCESS) {
        status_ = HRESULT_FROM_WIN32(static_cast<unsigned long>(r));
        return;
    }
    auto* factory = new (std::nothrow) EnvelopeViewFactory(state_);
    if (factory == nullptr) {
        status_ = E_OUTOFMEMORY;
    } else {
        status_ = CoRegisterClassObject(CLSID_PyranaEnvelopeView, factory,
                                        CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie_);
        factory->Release();
    }
    if (FAILED(status_)) {
        cookie_ = 0;
        ReleaseKeys();
    }
}

EnvelopeViewRegistration::~EnvelopeViewRegistration() {
    if (FAILED(status_))
        return;
    if (cookie_ != 0)
        CoRevokeClassObject(cookie_);
    ReleaseKeys();
}

std::vector<std::string> EnvelopeViewRegistration::WrittenFiles() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->written;
}

std::vector<std::string> EnvelopeViewRegistration::Errors() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->errors;
}

int EnvelopeViewRegistration::UpdateCount() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->updates;
}

int EnvelopeViewRegistration::ShowCount() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->shows;
}

HRESULT CreateEnvelopeView(const ViewSettings& settings, IUtilityView** view) {
    if (view == nullptr)
        return E_POINTER;
    *view = nullptr;
    try {
        *view = new EnvelopeView(std::make_shared<ViewState>(settings));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace plotview
