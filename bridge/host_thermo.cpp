// The engines' thermodynamics through the host framework's phases, property
// manager and stability test.
#include "bridge/host_thermo.h"

#include "core/com_error.h"
#include "core/units.h"

HostThermo::HostThermo(const HostObjects& objects, int32_t ncomp, const double* feed)
    : objects_(objects), ncomp_(ncomp), feed_(feed), channel_(objects_, ncomp) {}

void HostThermo::SelectPhase(PhaseRoot root) {
    CheckOk(objects_.workingPhase->put_PhaseType(root == PhaseRoot::kLiquid ? 4 : 3));
    channel_.Forget();
}

void HostThermo::WorkingPhaseChannel::PutPressure(double pKpa) {
    CheckOk(objects_.workingPhase->put_Pressure(pKpa));
}

void HostThermo::WorkingPhaseChannel::PutTemperature(double tKelvin) {
    CheckOk(objects_.workingPhase->put_Temperature(tKelvin));
}

void HostThermo::WorkingPhaseChannel::PutActive() {
    CheckOk(objects_.workingPhase->put_Active(1));
}

void HostThermo::WorkingPhaseChannel::SendComposition(const double* w) {
    if (composition_ == nullptr) {
        CheckOk(objects_.workingPhase->get_Composition(composition_.put()));
        if (composition_ == nullptr)
            throw CPYCOMError(E_POINTER);
    }
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(composition_->put_IthValue(i, w[i]));
}

void HostThermo::WorkingPhaseChannel::Evaluate(double* result, const uint8_t*) {
    IPhase* phase = objects_.workingPhase;
    CheckOk(phase->ResetProperties(kResetAllProperties));
    CheckOk(objects_.propManager->CalcProperty(objects_.lnPhiPropId, phase));
    platform::ComPtr<IRealArrayDisp> lnPhi;
    CheckOk(phase->get_LnFugacityCoeff(lnPhi.put()));
    if (lnPhi == nullptr)
        throw CPYCOMError(E_POINTER);
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(lnPhi->get_IthValue(i, &result[i]));
}

int32_t HostThermo::StabilityTest(double tK, double pKpa) {
    CheckOk(objects_.conditionsPhase->put_Pressure(pKpa));
    CheckOk(objects_.conditionsPhase->put_Temperature(tK));
    CheckOk(objects_.companion->StabilityTest(objects_.flashSettings, objects_.phases,
                                              objects_.workingPhase, 1, objects_.methodSetting,
                                              VARIANT_TRUE, objects_.flashManager));
    int type = 0;
    CheckOk(objects_.workingPhase->get_PhaseType(&type));
    return type;
}

bool HostThermo::FindsFurtherPhase(double tK, double pKpa, bool* lighter) {
    const int32_t type = StabilityTest(tK, pKpa);
    *lighter = type == 3;
    return type == 4 || type == 3;
}

void HostThermo::FurtherPhaseComposition(double* out) {
    platform::ComPtr<IRealArrayDisp> composition;
    CheckOk(objects_.workingPhase->get_Composition(composition.put()));
    if (composition == nullptr)
        throw CPYCOMError(E_POINTER);
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(composition->get_IthValue(i, &out[i]));
}

// The host tests the conditions phase's composition, which is the feed's:
// the composition tested is put there for the test and the feed's put back
// afterwards, as the host held it at the set-up.
bool HostThermo::FindsPhaseBelow(double tK, double pKpa, const double* x, double* found) {
    platform::ComPtr<IRealArrayDisp> composition;
    CheckOk(objects_.conditionsPhase->get_Composition(composition.put()));
    if (composition == nullptr)
        throw CPYCOMError(E_POINTER);
    struct FeedBack {
        IRealArrayDisp* composition;
        const double* feed;
        int32_t nc;
        ~FeedBack() {
            for (int32_t i = 0; i < nc; ++i)
                composition->put_IthValue(i, feed[i]);
        }
    } feedBack{composition.Get(), feed_, ncomp_};
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(composition->put_IthValue(i, x[i]));
    const int32_t type = StabilityTest(tK, pKpa);
    if (type != 3 && type != 4)
        return false;
    FurtherPhaseComposition(found);
    return true;
}

HRESULT HostThermo::PhaseProperties(double pKpa, double tK, const double* x, double* h, double* s,
                                    double* v) {
    IPhase* phase = objects_.workingPhase;
    HRESULT hr = phase->put_Active(1);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = phase->put_Pressure(pKpa)))
        return hr;
    if (FAILED(hr = phase->put_Temperature(tK)))
        return hr;
    platform::ComPtr<IDispatch> object;
    if (FAILED(hr = phase->get_CompositionObject(object.put())))
        return hr;
    if (object == nullptr)
        return E_POINTER;
    platform::ComPtr<IRealArrayDisp> array;
    hr = object.QueryInterface(IID_IRealArrayDisp, &array);
    object = nullptr;
    if (FAILED(hr))
        return hr;
    for (int32_t i = 0; i < ncomp_; ++i) {
        if (FAILED(hr = array->put_IthValue(i, x[i])))
            return hr;
    }
    array = nullptr;
    return StateProperties(phase, h, s, v);
}

HRESULT HostThermo::StateProperties(IPhase* phase, double* h, double* s, double* v) {
    struct Property {
        int32_t id;
        HRESULT (STDMETHODCALLTYPE IPhase::*get)(double*);
        double* out;
    };
    const Property properties[3] = {{objects_.enthalpyPropId, &IPhase::get_Enthalpy, h},
                                    {objects_.entropyPropId, &IPhase::get_Entropy, s},
                                    {objects_.volumePropId, &IPhase::get_MolarVolume, v}};
    HRESULT hr = S_OK;
    for (const Property& p : properties) {
        if (FAILED(hr = phase->ResetProperties(kResetAllProperties)))
            return hr;
        if (FAILED(hr = objects_.propManager->CalcProperty(p.id, phase)))
            return hr;
        if (FAILED(hr = (phase->*p.get)(p.out)))
            return hr;
    }
    return hr;
}

platform::ComPtr<IPhase> HostThermo::CollectionPhase(int kind, int index, bool tolerateMissing) {
    platform::ComPtr<IDispatch> object;
    const HRESULT hr = objects_.phases->GetPhase(kind, index, object.put());
    if (hr != S_OK || object == nullptr) {
        if (tolerateMissing)
            return nullptr;
        throw CPYCOMError(hr != S_OK ? hr : E_POINTER);
    }
    platform::ComPtr<IPhase> phase;
    CheckFailed(object.QueryInterface(IID_IPhase, &phase));
    return phase;
}

void HostThermo::PutFlashSpecification(double pKpa, double fraction, double tKelvin) {
    CheckOk(objects_.phases->put_Mode(0));
    const platform::ComPtr<IPhase> spec = CollectionPhase(kPhaseKindSpecification, 0, false);
    CheckOk(spec->put_Pressure(pKpa));
    CheckOk(spec->put_Fraction(fraction));
    CheckOk(spec->put_Temperature(tKelvin));
    CheckOk(spec->put_Enthalpy(kUndefined));
    CheckOk(spec->put_Entropy(kUndefined));
}

bool HostThermo::ReadPhase(int kind, int index, double* fraction, double* comp, double* H,
                           double* S, double* V, bool tolerateMissing) {
    platform::ComPtr<IPhase> phase = CollectionPhase(kind, index, tolerateMissing);
    if (phase == nullptr)
        return false;
    int active = 0;
    CheckOk(phase->get_Active(&active));
    if (active != 1)
        return false;
    platform::ComPtr<IRealArrayDisp> composition;
    CheckOk(phase->get_Composition(composition.put()));
    if (composition == nullptr)
        throw CPYCOMError(E_POINTER);
    CheckOk(phase->get_Fraction(fraction));
    if (*fraction > 0.0) {
        double h = 0.0, s = 0.0, v = 0.0;
        CheckFailed(StateProperties(phase.Get(), &h, &s, &v));
        *H += h * *fraction;
        *S += s * *fraction;
        *V += v * *fraction;
    }
    phase = nullptr;
    for (int32_t i = 0; i < ncomp_; ++i)
        CheckOk(composition->get_IthValue(i, &comp[i]));
    return true;
}

void HostThermo::SeedTemperature(double tK) {
    const FlashSeed& seed = objects_.seed;
    if (objects_.flashSettings == nullptr || !seed.saved)
        return;
    objects_.flashSettings->SetVariableSettings(seed.temperaturePropId, tK, seed.lower, seed.upper,
                                                seed.step, seed.tolerance);
}

void HostThermo::FlashAtVapourFraction(CalculationState* u, double pKpa, int32_t* numbPhases,
                                       double* H, double* S, double* V) {
    *numbPhases = 0;
    PutFlashSpecification(pKpa, u->vapFrac, kUndefined);
    CheckOk(objects_.flashManager->Flash(objects_.phases));

    if (!ReadPhase(kPhaseKindVapour, 0, &u->vapFrac, u->yVap, H, S, V, false))
        throw CPYCOMError(E_FAIL);
    *numbPhases += 1;
    if (ReadPhase(kPhaseKindLiquid, 0, &u->liq1Frac, u->xLiq1, H, S, V, false))
        *numbPhases += 1;
    // The second liquid's composition goes where the count says: the
    // second slot after two phases, the first when the first was absent.
    double fraction = 0.0;
    double* target = *numbPhases == 2 ? u->xLiq2 : u->xLiq1;
    if (ReadPhase(kPhaseKindLiquid, 1, &fraction, target, H, S, V, true)) {
        u->liq2Frac = fraction;
        *numbPhases += 1;
    }
    if (*numbPhases < 2)
        throw CPYCOMError(E_FAIL);
    const platform::ComPtr<IPhase> spec = CollectionPhase(kPhaseKindSpecification, 0, false);
    CheckOk(spec->get_Temperature(&u->curTdegk));
}

int32_t HostThermo::FlashAtTemperature(CalculationState* u, double tK, double pKpa, double* H,
                                       double* S, double* V, bool* vapourSeen) {
    int32_t count = 0;
    *vapourSeen = false;
    PutFlashSpecification(pKpa, kUndefined, tK);
    CheckOk(objects_.flashManager->Flash(objects_.phases));
    if (ReadPhase(kPhaseKindVapour, 0, &u->vapFrac, u->yVap, H, S, V, false)) {
        ++count;
        *vapourSeen = true;
    }
    if (ReadPhase(kPhaseKindLiquid, 0, &u->liq1Frac, u->xLiq1, H, S, V, false))
        ++count;
    if (ReadPhase(kPhaseKindLiquid, 1, &u->liq2Frac, u->xLiq2, H, S, V, true))
        ++count;
    return count;
}
