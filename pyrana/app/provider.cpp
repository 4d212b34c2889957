// The application-side provider over the reference host's model.
#include "pyrana/app/provider.h"

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/undefined.h"
#include "pyrana/objects/com_base.h"
#include "pyrana/thermo/calculator.h"

namespace pyrana::app {

namespace {

using objects::HandOut;
using objects::HostCall;
using objects::MakeObject;
using objects::Offer;
using platform::ComPtr;

constexpr double kCelsiusOffset = 273.15;

// The content of one IAppValue: a double or an array of doubles. `put` records
// that a client has put a value since the flag was last cleared.
struct ValueCell {
    bool isArray = false;
    double scalar = kUndefined;
    std::vector<double> values;
    bool put = false;

    static std::shared_ptr<ValueCell> Scalar(double v) {
        auto c = std::make_shared<ValueCell>();
        c->scalar = v;
        return c;
    }
    static std::shared_ptr<ValueCell> Array(std::vector<double> v) {
        auto c = std::make_shared<ValueCell>();
        c->isArray = true;
        c->values = std::move(v);
        return c;
    }
};

// Writes `values` into *out as VT_ARRAY|VT_R8 (the old content cleared).
HRESULT WriteArray(const std::vector<double>& values, VARIANT* out) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    if (sa == nullptr) {
        return E_OUTOFMEMORY;
    }
    double* data = nullptr;
    if (FAILED(SafeArrayAccessData(sa, reinterpret_cast<void**>(&data)))) {
        SafeArrayDestroy(sa);
        return E_FAIL;
    }
    std::copy(values.begin(), values.end(), data);
    SafeArrayUnaccessData(sa);
    VariantClear(out);
    V_VT(out) = VT_ARRAY | VT_R8;
    V_ARRAY(out) = sa;
    return S_OK;
}

// Reads a VT_ARRAY|VT_R8 variant (also by reference) into `values`.
HRESULT ReadArray(const VARIANT& in, std::vector<double>* values) {
    SAFEARRAY* sa = nullptr;
    if (V_VT(&in) == (VT_ARRAY | VT_R8)) {
        sa = V_ARRAY(&in);
    } else if (V_VT(&in) == (VT_BYREF | VT_ARRAY | VT_R8) && V_ARRAYREF(&in) != nullptr) {
        sa = *V_ARRAYREF(&in);
    } else {
        return E_INVALIDARG;
    }
    LONG lo = 0, hi = -1;
    if (sa == nullptr || FAILED(SafeArrayGetLBound(sa, 1, &lo)) ||
        FAILED(SafeArrayGetUBound(sa, 1, &hi))) {
        return E_INVALIDARG;
    }
    const size_t n = hi >= lo ? static_cast<size_t>(hi - lo + 1) : 0;
    double* data = nullptr;
    if (FAILED(SafeArrayAccessData(sa, reinterpret_cast<void**>(&data)))) {
        return E_INVALIDARG;
    }
    values->assign(data, data + n);
    SafeArrayUnaccessData(sa);
    return S_OK;
}

// A numeric VARIANT as a double; false when it is none.
bool ReadNumber(const VARIANT& in, double* value) {
    VARIANT copy;
    VariantInit(&copy);
    // The source is not modified; the Windows declaration just lacks const.
    if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&in), 0, VT_R8))) {
        return false;
    }
    *value = V_R8(&copy);
    return std::isfinite(*value);
}

class AppValue final : public IAppValue {
  public:
    explicit AppValue(std::shared_ptr<ValueCell> cell) : cell_(std::move(cell)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
            Offer(riid, IID_IAppValue, this, ppv)) {
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Value(VARIANT* value) override {
        return HostCall("IAppValue::get_Value", [&] {
            if (value == nullptr) {
                return E_POINTER;
            }
            if (cell_->isArray) {
                return WriteArray(cell_->values, value);
            }
            VariantClear(value);
            V_VT(value) = VT_R8;
            V_R8(value) = cell_->scalar;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE put_Value(VARIANT value) override {
        return HostCall("IAppValue::put_Value", [&] {
            if (V_VT(&value) & VT_ARRAY) {
                std::vector<double> values;
                const HRESULT hr = ReadArray(value, &values);
                if (FAILED(hr)) {
                    return hr;
                }
                cell_->isArray = true;
                cell_->values = std::move(values);
            } else {
                double v = 0;
                if (!ReadNumber(value, &v)) {
                    return DISP_E_TYPEMISMATCH;
                }
                cell_->isArray = false;
                cell_->scalar = v;
            }
            cell_->put = true;
            return S_OK;
        });
    }

  private:
    ~AppValue() = default;
    platform::LiveObject live_{"PyranaAppValue"};
    ULONG refs_ = 1;
    std::shared_ptr<ValueCell> cell_;
};

HRESULT HandOutValue(const std::shared_ptr<ValueCell>& cell, IAppValue** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = MakeObject<AppValue>(cell).Detach();
    return S_OK;
}

class AppPhase final : public IAppPhase {
  public:
    AppPhase(std::shared_ptr<thermo::Calculator> calc, bool vapour, double tC, double pKpa,
             double fraction, std::vector<double> x)
        : calc_(std::move(calc)),
          vapour_(vapour),
          temperature_(ValueCell::Scalar(tC)),
          pressure_(ValueCell::Scalar(pKpa)),
          fraction_(ValueCell::Scalar(fraction)),
          composition_(ValueCell::Array(std::move(x))) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
            Offer(riid, IID_IAppPhase, this, ppv)) {
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Temperature(IAppValue** value) override {
        return HostCall("IAppPhase::get_Temperature",
                        [&] { return HandOutValue(temperature_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Pressure(IAppValue** value) override {
        return HostCall("IAppPhase::get_Pressure", [&] { return HandOutValue(pressure_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Fraction(IAppValue** value) override {
        return HostCall("IAppPhase::get_Fraction", [&] { return HandOutValue(fraction_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Composition(IAppValue** value) override {
        return HostCall("IAppPhase::get_Composition",
                        [&] { return HandOutValue(composition_, value); });
    }

    HRESULT STDMETHODCALLTYPE GetLnFugacity(VARIANT* lnFugacity) override {
        return HostCall("IAppPhase::GetLnFugacity", [&] {
            if (lnFugacity == nullptr) {
                return E_POINTER;
            }
            const std::vector<double>& x = composition_->values;
            const double t = temperature_->scalar + kCelsiusOffset;
            const double p = pressure_->scalar;
            if (composition_->isArray == false || x.size() != static_cast<size_t>(calc_->size()) ||
                !(t > 0) || !(p > 0)) {
                return E_INVALIDARG;
            }
            std::vector<double> lnf(x.size());
            if (!calc_->LnPhi(t, p, x.data(), vapour_ ? thermo::Root::Vapour : thermo::Root::Liquid,
                              lnf.data())) {
                return E_FAIL;
            }
            for (size_t i = 0; i < lnf.size(); ++i) {
                if (x[i] > 0.0) {
                    lnf[i] += std::log(x[i] * p);
                }
            }
            return WriteArray(lnf, lnFugacity);
        });
    }

  private:
    ~AppPhase() = default;
    platform::LiveObject live_{"PyranaAppPhase"};
    ULONG refs_ = 1;
    std::shared_ptr<thermo::Calculator> calc_;
    bool vapour_;
    std::shared_ptr<ValueCell> temperature_, pressure_, fraction_, composition_;
};

class AppComponent final : public IAppComponent {
  public:
    explicit AppComponent(thermo::Compound compound) : compound_(std::move(compound)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
            Offer(riid, IID_IAppComponent, this, ppv)) {
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_ID(int* id) override {
        return HostCall("IAppComponent::get_ID", [&] {
            if (id == nullptr) {
                return E_POINTER;
            }
            *id = compound_.id;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_State(int* state) override {
        return HostCall("IAppComponent::get_State", [&] {
            if (state == nullptr) {
                return E_POINTER;
            }
            *state = compound_.family == thermo::kFamilySolid ? 100 : 200;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_IsSolid(VARIANT_BOOL* solid) override {
        return HostCall("IAppComponent::get_IsSolid", [&] {
            if (solid == nullptr) {
                return E_POINTER;
            }
            *solid = compound_.family == thermo::kFamilySolid ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_CriticalTemperature(IAppValue** value) override {
        return HostCall("IAppComponent::get_CriticalTemperature", [&] {
            return HandOutValue(ValueCell::Scalar(compound_.tc - kCelsiusOffset), value);
        });
    }
    HRESULT STDMETHODCALLTYPE get_CriticalPressure(IAppValue** value) override {
        return HostCall("IAppComponent::get_CriticalPressure",
                        [&] { return HandOutValue(ValueCell::Scalar(compound_.pc), value); });
    }

  private:
    ~AppComponent() = default;
    platform::LiveObject live_{"PyranaAppComponent"};
    ULONG refs_ = 1;
    thermo::Compound compound_;
};

class AppComponentList final : public IAppComponentList {
  public:
    explicit AppComponentList(std::shared_ptr<thermo::Calculator> calc) : calc_(std::move(calc)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
            Offer(riid, IID_IAppComponentList, this, ppv)) {
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Count(int* count) override {
        return HostCall("IAppComponentList::get_Count", [&] {
            if (count == nullptr) {
                return E_POINTER;
            }
            *count = calc_->size();
            return S_OK;
        });
    }
    // index: VT_I4 (or any number convertible to it), zero-based.
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IAppComponent** component) override {
        return HostCall("IAppComponentList::get_Item", [&] {
            if (component == nullptr) {
                return E_POINTER;
            }
            *component = nullptr;
            double i = -1;
            if (!ReadNumber(index, &i) || i < 0 || i >= calc_->size() || i != std::floor(i)) {
                return E_INVALIDARG;
            }
            *component =
                MakeObject<AppComponent>(calc_->fluid().compound(static_cast<int>(i))).Detach();
            return S_OK;
        });
    }

  private:
    ~AppComponentList() = default;
    platform::LiveObject live_{"PyranaAppComponentList"};
    ULONG refs_ = 1;
    std::shared_ptr<thermo::Calculator> calc_;
};

class AppThermoProvider final : public IAppThermoProvider {
  public:
    AppThermoProvider(const thermo::Fluid& fluid, std::vector<double> feed)
        : calc_(std::make_shared<thermo::Calculator>(fluid)),
          temperature_(ValueCell::Scalar(kUndefined)),
          pressure_(ValueCell::Scalar(kUndefined)),
          enthalpy_(ValueCell::Scalar(kUndefined)),
          entropy_(ValueCell::Scalar(kUndefined)),
          volume_(ValueCell::Scalar(kUndefined)),
          composition_(ValueCell::Array(std::move(feed))) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
            Offer(riid, IID_IAppThermoProvider, this, ppv)) {
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_VapourPhase(IAppPhase** phase) override {
        return HostCall("IAppThermoProvider::get_VapourPhase",
                        [&] { return HandOut(vapour_.Get(), phase); });
    }
    HRESULT STDMETHODCALLTYPE get_LiquidPhase(IAppPhase** phase) override {
        return HostCall("IAppThermoProvider::get_LiquidPhase",
                        [&] { return HandOut(liquid_.Get(), phase); });
    }
    HRESULT STDMETHODCALLTYPE get_Liquid2Phase(IAppPhase** phase) override {
        return HostCall("IAppThermoProvider::get_Liquid2Phase",
                        [&] { return HandOut(liquid2_.Get(), phase); });
    }
    HRESULT STDMETHODCALLTYPE get_Components(IAppComponentList** components) override {
        return HostCall("IAppThermoProvider::get_Components", [&] {
            if (components == nullptr) {
                return E_POINTER;
            }
            *components = MakeObject<AppComponentList>(calc_).Detach();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE get_Temperature(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_Temperature",
                        [&] { return HandOutValue(temperature_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Pressure(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_Pressure",
                        [&] { return HandOutValue(pressure_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Enthalpy(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_Enthalpy",
                        [&] { return HandOutValue(enthalpy_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Entropy(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_Entropy",
                        [&] { return HandOutValue(entropy_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_MolarVolume(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_MolarVolume",
                        [&] { return HandOutValue(volume_, value); });
    }
    HRESULT STDMETHODCALLTYPE get_Composition(IAppValue** value) override {
        return HostCall("IAppThermoProvider::get_Composition",
                        [&] { return HandOutValue(composition_, value); });
    }

    HRESULT STDMETHODCALLTYPE FlashTP(VARIANT temperatureC, VARIANT pressureKpa,
                                      int* status) override {
        return HostCall("IAppThermoProvider::FlashTP", [&] {
            if (status == nullptr) {
                return E_POINTER;
            }
            double tC = 0, p = 0;
            if (!ReadNumber(temperatureC, &tC) || !ReadNumber(pressureKpa, &p) ||
                !(tC + kCelsiusOffset > 0) || !(p > 0)) {
                Forget();
                *status = 1;
                return S_OK;
            }
            const thermo::FlashResult r =
                calc_->FlashPT(tC + kCelsiusOffset, p, feed().data(), Options());
            *status = Take(r, r.outcome == thermo::Outcome::kConverged);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE FlashPVF(VARIANT pressureKpa, VARIANT vapourFraction,
                                       int* status) override {
        return HostCall("IAppThermoProvider::FlashPVF", [&] {
            if (status == nullptr) {
                return E_POINTER;
            }
            double p = 0, beta = -1;
            if (!ReadNumber(pressureKpa, &p) || !ReadNumber(vapourFraction, &beta) || !(p > 0) ||
                !(beta >= 0.0 && beta <= 1.0)) {
                Forget();
                *status = 1;
                return S_OK;
            }
            thermo::SaturationOptions seed;
            if (temperature_->put && !temperature_->isArray &&
                temperature_->scalar + kCelsiusOffset > 0) {
                seed.tInit = temperature_->scalar + kCelsiusOffset;
            }
            temperature_->put = false;
            const thermo::FlashResult r =
                calc_->FlashSaturation(p, beta, feed().data(), seed, Options());
            *status = Take(r, r.outcome == thermo::Outcome::kConverged ||
                                  r.outcome == thermo::Outcome::kTrivialSplit);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE put_Mode(int mode) override {
        return HostCall("IAppThermoProvider::put_Mode", [&] {
            mode_ = mode;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE FindThirdPhase(int* phT, VARIANT* composition) override {
        return HostCall("IAppThermoProvider::FindThirdPhase", [&] {
            if (phT == nullptr || composition == nullptr) {
                return E_POINTER;
            }
            const double t = temperature_->scalar + kCelsiusOffset;
            const double p = pressure_->scalar;
            if (temperature_->isArray || pressure_->isArray || !(t > 0) || !(p > 0)) {
                return E_INVALIDARG;
            }
            const thermo::FurtherPhaseResult r =
                calc_->FurtherPhase(t, p, feed().data(), nullptr, Options());
            if (r.outcome == thermo::Outcome::kInvalidInput) {
                return E_INVALIDARG;
            }
            if (!r.found) {
                *phT = 0;
                return S_OK;
            }
            const HRESULT hr = WriteArray(r.x, composition);
            if (FAILED(hr)) {
                return hr;
            }
            *phT = r.type == thermo::PhaseType::kVapour ? 2 : 1;
            return S_OK;
        });
    }

  private:
    ~AppThermoProvider() = default;

    const std::vector<double>& feed() const { return composition_->values; }

    thermo::FlashOptions Options() const {
        thermo::FlashOptions options;
        options.fullStability = mode_ != 2;
        return options;
    }

    void Forget() {
        vapour_ = nullptr;
        liquid_ = nullptr;
        liquid2_ = nullptr;
    }

    // Takes a flash result when `accepted`; returns the status (0 or 2).
    int Take(const thermo::FlashResult& r, bool accepted) {
        Forget();
        if (!accepted || r.phases.empty()) {
            return 2;
        }
        const double tC = r.t - kCelsiusOffset;
        double h = 0, s = 0, v = 0;
        for (const thermo::PhaseResult& ph : r.phases) {
            h += ph.fraction * ph.h;
            s += ph.fraction * ph.s;
            v += ph.fraction * ph.v;
        }
        auto make = [&](int index, bool vapour) {
            if (index < 0) {
                return ComPtr<AppPhase>();
            }
            const thermo::PhaseResult& ph = r.phases[static_cast<size_t>(index)];
            return MakeObject<AppPhase>(calc_, vapour, tC, r.p, ph.fraction, ph.x);
        };
        vapour_ = make(r.VapourIndex(), true);
        liquid_ = make(r.LiquidIndex(0), false);
        liquid2_ = make(r.LiquidIndex(1), false);
        temperature_->scalar = tC;
        temperature_->isArray = false;
        pressure_->scalar = r.p;
        pressure_->isArray = false;
        enthalpy_->scalar = h;
        entropy_->scalar = s;
        volume_->scalar = v;
        return 0;
    }

    platform::LiveObject live_{"PyranaAppThermoProvider"};
    ULONG refs_ = 1;
    std::shared_ptr<thermo::Calculator> calc_;
    int mode_ = 3;
    std::shared_ptr<ValueCell> temperature_, pressure_, enthalpy_, entropy_, volume_, composition_;
    ComPtr<AppPhase> vapour_, liquid_, liquid2_;
};

std::vector<double> Normalised(const thermo::Fluid& fluid, std::vector<double> feed) {
    if (feed.size() != static_cast<size_t>(fluid.size())) {
        throw std::invalid_argument("feed: " + std::to_string(feed.size()) +
                                    " fractions for a fluid of " + std::to_string(fluid.size()) +
                                    " compounds");
    }
    double sum = 0;
    for (double x : feed) {
        if (!std::isfinite(x) || x < 0) {
            throw std::invalid_argument("feed: fractions must be finite and >= 0");
        }
        sum += x;
    }
    if (!(sum > 0)) {
        throw std::invalid_argument("feed: the fractions sum to zero");
    }
    for (double& x : feed) {
        x /= sum;
    }
    return feed;
}

}  // namespace

platform::ComPtr<IAppThermoProvider> CreateProvider(const thermo::Fluid& fluid,
                                                    std::vector<double> feed) {
    std::vector<double> z = Normalised(fluid, std::move(feed));
    return platform::ComPtr<IAppThermoProvider>::Adopt(
        MakeObject<AppThermoProvider>(fluid, std::move(z)).Detach());
}

}  // namespace pyrana::app
