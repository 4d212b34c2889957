// Reading the phases of a host flash into the utility object.
#include "saturation/host_phases.h"

#include "core/com_error.h"
#include "core/envelope_point_store.h"
#include "core/units.h"

namespace {

// The phase (kind, index) of the utility's collection as IPhase; null when
// tolerateMissing and GetPhase failed.
platform::ComPtr<IPhase> GetHostPhase(UtilityState* u, int kind, int index, bool tolerateMissing) {
    platform::ComPtr<IDispatch> object;
    const HRESULT hr = u->phaseCollection->GetPhase(kind, index, object.put());
    if (hr != S_OK || object == nullptr) {
        if (tolerateMissing)
            return nullptr;
        throw CPYCOMError(hr != S_OK ? hr : E_POINTER);
    }
    platform::ComPtr<IPhase> phase;
    CheckFailed(object.QueryInterface(IID_IPhase, &phase));
    return phase;
}
}  // namespace

void PutFlashSpecification(UtilityState* u, double pKpa, double fraction, double tKelvin) {
    CheckOk(u->phaseCollection->put_Mode(0));
    const platform::ComPtr<IPhase> spec = GetHostPhase(u, kPhaseKindSpecification, 0, false);
    CheckOk(spec->put_Pressure(pKpa));
    CheckOk(spec->put_Fraction(fraction));
    CheckOk(spec->put_Temperature(tKelvin));
    CheckOk(spec->put_Enthalpy(kUndefined));
    CheckOk(spec->put_Entropy(kUndefined));
}

bool ReadHostPhase(UtilityState* u, int kind, int index, double* fraction, double* comp, double* H,
                   double* S, double* V, bool tolerateMissing) {
    platform::ComPtr<IPhase> phase = GetHostPhase(u, kind, index, tolerateMissing);
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
        struct Property {
            int32_t id;
            HRESULT (STDMETHODCALLTYPE IPhase::*get)(double*);
            double* sum;
        };
        const Property properties[3] = {
            {u->propIds[kPropEnthalpy], &IPhase::get_Enthalpy, H},
            {u->propIds[kPropEntropy], &IPhase::get_Entropy, S},
            {u->propIds[kPropMolarVolume], &IPhase::get_MolarVolume, V}};
        for (const Property& p : properties) {
            CheckOk(phase->ResetProperties(kResetAllProperties));
            CheckOk(u->propManager->CalcProperty(p.id, phase.Get()));
            double value = 0.0;
            CheckOk((phase.Get()->*p.get)(&value));
            *p.sum += value * *fraction;
        }
    }
    phase = nullptr;
    for (int32_t i = 0; i < u->ncomp; ++i)
        CheckOk(composition->get_IthValue(i, &comp[i]));
    return true;
}
