// Putting conditions on a host phase and reading its ln fugacity
// coefficients, for the host framework and the application-side provider.
#include "engine/ln_phi_channel.h"

#include "core/units.h"
#include "engine/app_values.h"
#include "engine/finite_differences.h"

#include <cmath>

namespace {
const int kResetMask = 159;
}

LnPhiChannel::LnPhiChannel(IPhase* phase, IPropManager* propManager, int32_t lnPhiPropId,
                           int32_t ncomp)
    : phase_(phase), propManager_(propManager), lnPhiPropId_(lnPhiPropId), ncomp_(ncomp) {}

LnPhiChannel::LnPhiChannel(IAppPhase* appPhase, VARIANT* compositionVariant, int32_t ncomp)
    : appPhase_(appPhase), compositionVariant_(compositionVariant), ncomp_(ncomp) {}

LnPhiChannel::~LnPhiChannel() = default;

void LnPhiChannel::PutPressure(double pKpa) {
    if (providerMode()) {
        lastPressureKpa_ = pKpa;
        if (appPhase_ == nullptr)
            throw CPYCOMError(E_POINTER);
        PutAppValue(appPhase_, &IAppPhase::get_Pressure, pKpa);
        return;
    }
    CheckOk(phase_->put_Pressure(pKpa));
}

void LnPhiChannel::PutTemperature(double tKelvin) {
    if (providerMode()) {
        if (appPhase_ == nullptr)
            throw CPYCOMError(E_POINTER);
        PutAppValue(appPhase_, &IAppPhase::get_Temperature, tKelvin - kKelvinOffset);
        return;
    }
    CheckOk(phase_->put_Temperature(tKelvin));
}

void LnPhiChannel::PutActive() {
    if (!providerMode())
        CheckOk(phase_->put_Active(1));
}

void LnPhiChannel::EnsureVariantArray() {
    VARIANT* v = compositionVariant_;
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

void LnPhiChannel::SendComposition(const double* w) {
    if (providerMode()) {
        if (appPhase_ == nullptr)
            throw CPYCOMError(E_POINTER);
        lastComposition_ = w;
        EnsureVariantArray();
        double* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(compositionVariant_->parray,
                                          reinterpret_cast<void**>(&data)))) {
            for (int32_t i = 0; i < ncomp_; ++i)
                data[i] = w[i];
            SafeArrayUnaccessData(compositionVariant_->parray);
        }
        platform::ComPtr<IAppValue> holder;
        appPhase_->get_Composition(holder.put());
        if (holder != nullptr)
            holder->put_Value(*compositionVariant_);
        return;
    }
    if (composition_ == nullptr) {
        CheckOk(phase_->get_Composition(composition_.put()));
        if (composition_ == nullptr)
            throw CPYCOMError(E_POINTER);
    }
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(composition_->put_IthValue(i, w[i]));
}

void LnPhiChannel::Evaluate(double* result, const uint8_t* flags) {
    if (providerMode()) {
        if (appPhase_ == nullptr)
            throw CPYCOMError(E_POINTER);
        appPhase_->GetLnFugacity(compositionVariant_);
        EnsureVariantArray();
        const double* lnf = nullptr;
        if (FAILED(SafeArrayAccessData(compositionVariant_->parray,
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
        SafeArrayUnaccessData(compositionVariant_->parray);
        return;
    }
    CheckOk(phase_->ResetProperties(kResetMask));
    CheckOk(propManager_->CalcProperty(lnPhiPropId_, phase_));
    platform::ComPtr<IRealArrayDisp> lnPhi;
    CheckOk(phase_->get_LnFugacityCoeff(lnPhi.put()));
    if (lnPhi == nullptr)
        throw CPYCOMError(E_POINTER);
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(lnPhi->get_IthValue(i, &result[i]));
}
