// The engines' thermodynamics through the application-side provider.
#include "bridge/provider_thermo.h"

#include <cmath>

#include "core/app_values.h"
#include "core/com_error.h"
#include "core/units.h"
#include "core/variant_arrays.h"
#include "engine/finite_differences.h"

ProviderThermo::ProviderThermo(IAppThermoProvider* provider, int32_t ncomp, const double* feed)
    : provider_(provider), ncomp_(ncomp), feed_(feed), channel_(&exchange_, ncomp) {
    VariantInit(&exchange_);
    exchange_.vt = VT_ARRAY | VT_R8;
    exchange_.parray = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(ncomp));
}

ProviderThermo::~ProviderThermo() {
    VariantClear(&exchange_);
}

void ProviderThermo::BeginTwoPhaseTrace(bool liquidsOnly) {
    if (provider_ == nullptr)
        return;
    if (!liquidsOnly) {
        provider_->get_VapourPhase(vapour_.put());
        PutAppValue(vapour_.Get(), &IAppPhase::get_Fraction, 0.0);
    }
    provider_->get_LiquidPhase(liquid_.put());
    if (liquid_ == nullptr)
        provider_->get_Liquid2Phase(liquid_.put());
    PutAppValue(liquid_.Get(), &IAppPhase::get_Fraction, 1.0);
}

void ProviderThermo::BeginThreePhaseTrace() {
    if (provider_ == nullptr)
        return;
    provider_->get_VapourPhase(vapour_.put());
    provider_->get_LiquidPhase(liquid_.put());
    if (liquid_ == nullptr)
        provider_->get_Liquid2Phase(liquid_.put());
}

void ProviderThermo::EndTrace() {
    channel_.Bind(nullptr);
    vapour_ = nullptr;
    liquid_ = nullptr;
}

bool ProviderThermo::HasPhase(PhaseRoot root) const {
    return (root == PhaseRoot::kLiquid ? liquid_ : vapour_) != nullptr;
}

void ProviderThermo::SelectPhase(PhaseRoot root) {
    channel_.Bind(root == PhaseRoot::kLiquid ? liquid_.Get() : vapour_.Get());
}

bool ProviderThermo::FindsFurtherPhase(double tK, double pKpa, bool* lighter) {
    PutAppValue(provider_, &IAppThermoProvider::get_Temperature, tK - kKelvinOffset);
    PutAppValue(provider_, &IAppThermoProvider::get_Pressure, pKpa);
    int phT = 7;
    provider_->FindThirdPhase(&phT, &exchange_);
    *lighter = phT == 2;
    return phT == 1 || phT == 2;
}

void ProviderThermo::FurtherPhaseComposition(double* out) {
    for (int32_t i = 0; i < ncomp_; ++i)
        out[i] = 0.0;
    CopyArrayValues(exchange_, out, ncomp_);
}

// The provider tests its feed: the composition tested is put in its place
// and the feed put back afterwards.
bool ProviderThermo::FindsPhaseBelow(double tK, double pKpa, const double* x, double* found) {
    platform::ComPtr<IAppValue> feedValue;
    CheckOk(provider_->get_Composition(feedValue.put()));
    if (feedValue == nullptr)
        throw CPYCOMError(E_POINTER);
    struct FeedBack {
        IAppValue* value;
        DoubleArrayVariant feed;
        ~FeedBack() { value->put_Value(feed.get()); }
    } feedBack{feedValue.Get(), {feed_, ncomp_}};
    DoubleArrayVariant tested(x, ncomp_);
    CheckOk(feedValue->put_Value(tested.get()));
    PutAppValue(provider_, &IAppThermoProvider::get_Temperature, tK - kKelvinOffset);
    PutAppValue(provider_, &IAppThermoProvider::get_Pressure, pKpa);
    int phT = 0;
    DoubleArrayVariant phase(x, ncomp_);
    CheckOk(provider_->FindThirdPhase(&phT, &phase.get()));
    if (phT != 1 && phT != 2)
        return false;
    return CopyArrayValues(phase.get(), found, ncomp_) == ncomp_;
}

void ProviderThermo::AppPhaseChannel::Bind(IAppPhase* phase) {
    phase_ = phase;
    lastPressureKpa_ = 0.0;
    lastComposition_ = nullptr;
}

void ProviderThermo::AppPhaseChannel::PutPressure(double pKpa) {
    lastPressureKpa_ = pKpa;
    if (phase_ == nullptr)
        throw CPYCOMError(E_POINTER);
    PutAppValue(phase_, &IAppPhase::get_Pressure, pKpa);
}

void ProviderThermo::AppPhaseChannel::PutTemperature(double tKelvin) {
    if (phase_ == nullptr)
        throw CPYCOMError(E_POINTER);
    PutAppValue(phase_, &IAppPhase::get_Temperature, tKelvin - kKelvinOffset);
}

void ProviderThermo::AppPhaseChannel::EnsureArray() {
    VARIANT* v = exchange_;
    if (v->vt == (VT_ARRAY | VT_R8) && v->parray != nullptr) {
        LONG lo = 0;
        LONG hi = -1;
        SafeArrayGetLBound(v->parray, 1, &lo);
        SafeArrayGetUBound(v->parray, 1, &hi);
        if (lo == 0 && hi - lo + 1 == ncomp_)
            return;
    }
    VariantClear(v);
    v->vt = VT_ARRAY | VT_R8;
    v->parray = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(ncomp_));
}

void ProviderThermo::AppPhaseChannel::SendComposition(const double* w) {
    if (phase_ == nullptr)
        throw CPYCOMError(E_POINTER);
    lastComposition_ = w;
    EnsureArray();
    double* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(exchange_->parray, reinterpret_cast<void**>(&data)))) {
        for (int32_t i = 0; i < ncomp_; ++i)
            data[i] = w[i];
        SafeArrayUnaccessData(exchange_->parray);
    }
    platform::ComPtr<IAppValue> holder;
    phase_->get_Composition(holder.put());
    if (holder != nullptr)
        holder->put_Value(*exchange_);
}

// The provider answers ln f (kPa); ln phi follows with the pressure and
// composition last put, for the compounds present.
void ProviderThermo::AppPhaseChannel::Evaluate(double* result, const uint8_t* flags) {
    if (phase_ == nullptr)
        throw CPYCOMError(E_POINTER);
    phase_->GetLnFugacity(exchange_);
    EnsureArray();
    const double* lnf = nullptr;
    if (FAILED(SafeArrayAccessData(exchange_->parray,
                                   reinterpret_cast<void**>(const_cast<double**>(&lnf))))) {
        throw CPYCOMError(E_FAIL);
    }
    for (int32_t i = 0; i < ncomp_; ++i) {
        result[i] = lnf[i];
        const bool active = flags == nullptr || flags[i] != 1;
        const double xi = lastComposition_ != nullptr ? lastComposition_[i] : 0.0;
        if (active && xi > kNegligibleFraction)
            result[i] = lnf[i] - std::log(xi * lastPressureKpa_);
    }
    SafeArrayUnaccessData(exchange_->parray);
}

namespace {

// The provider phase's composition (as many values as it holds, at most n)
// into dest.
void ReadAppComposition(IAppPhase* phase, double* dest, int32_t n) {
    platform::ComPtr<IAppValue> value;
    phase->get_Composition(value.put());
    if (value == nullptr)
        return;
    VARIANT v;
    VariantInit(&v);
    value->get_Value(&v);
    value = nullptr;
    CopyArrayValues(v, dest, n);
    VariantClear(&v);
}

// The provider phase's fraction and composition.
void ReadAppPhase(IAppPhase* phase, double* fraction, double* dest, int32_t n) {
    *fraction = ReadAppValue(phase, &IAppPhase::get_Fraction);
    ReadAppComposition(phase, dest, n);
}

VARIANT RealVariant(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

}  // namespace

void ProviderThermo::SeedTemperature(double tK) {
    PutAppValue(provider_, &IAppThermoProvider::get_Temperature, tK - kKelvinOffset);
}

void ProviderThermo::FlashAtVapourFraction(CalculationState* u, double pKpa, int32_t* numbPhases,
                                           double* H, double* S, double* V) {
    *numbPhases = 0;
    int status = -1;
    provider_->FlashPVF(RealVariant(pKpa), RealVariant(u->vapFrac), &status);
    if (status != 0)
        return;
    u->curTdegk = ReadAppValue(provider_, &IAppThermoProvider::get_Temperature) + kKelvinOffset;
    *H = ReadAppValue(provider_, &IAppThermoProvider::get_Enthalpy);
    *S = ReadAppValue(provider_, &IAppThermoProvider::get_Entropy);
    *V = ReadAppValue(provider_, &IAppThermoProvider::get_MolarVolume);
    platform::ComPtr<IAppPhase> phase;
    provider_->get_VapourPhase(phase.put());
    if (phase != nullptr) {
        ReadAppComposition(phase.Get(), u->yVap, ncomp_);
        *numbPhases += 1;
    }
    provider_->get_LiquidPhase(phase.put());
    if (phase != nullptr) {
        ReadAppPhase(phase.Get(), &u->liq1Frac, u->xLiq1, ncomp_);
        *numbPhases += 1;
    }
    provider_->get_Liquid2Phase(phase.put());
    if (phase != nullptr) {
        if (*numbPhases == 2) {
            ReadAppPhase(phase.Get(), &u->liq2Frac, u->xLiq2, ncomp_);
            *numbPhases += 1;
        } else if (*numbPhases == 1) {
            ReadAppPhase(phase.Get(), &u->liq1Frac, u->xLiq1, ncomp_);
            *numbPhases += 1;
        }
    }
}

int32_t ProviderThermo::FlashAtTemperature(CalculationState* u, double tK, double pKpa, double* H,
                                           double* S, double* V, bool* vapourSeen) {
    int32_t count = 0;
    *vapourSeen = false;
    int status = -1;
    provider_->FlashTP(RealVariant(tK - kKelvinOffset), RealVariant(pKpa), &status);
    if (status != 0)
        return 0;
    *H = ReadAppValue(provider_, &IAppThermoProvider::get_Enthalpy);
    *S = ReadAppValue(provider_, &IAppThermoProvider::get_Entropy);
    *V = ReadAppValue(provider_, &IAppThermoProvider::get_MolarVolume);
    platform::ComPtr<IAppPhase> phase;
    provider_->get_VapourPhase(phase.put());
    if (phase != nullptr) {
        *vapourSeen = true;
        ReadAppPhase(phase.Get(), &u->vapFrac, u->yVap, ncomp_);
        ++count;
    }
    provider_->get_LiquidPhase(phase.put());
    if (phase != nullptr) {
        ReadAppPhase(phase.Get(), &u->liq1Frac, u->xLiq1, ncomp_);
        ++count;
    }
    provider_->get_Liquid2Phase(phase.put());
    if (phase != nullptr) {
        if (count == 2 || (count == 1 && !*vapourSeen)) {
            ReadAppPhase(phase.Get(), &u->liq2Frac, u->xLiq2, ncomp_);
        } else {
            ReadAppPhase(phase.Get(), &u->liq1Frac, u->xLiq1, ncomp_);
        }
        ++count;
    }
    return count;
}
