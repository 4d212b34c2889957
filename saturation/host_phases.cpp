// Reading the phases of a host flash into the utility object.
#include "saturation/host_phases.h"

#include "core/com_error.h"
#include "core/envelope_point_store.h"
#include "core/units.h"

namespace {
const int kResetMask = 159;

// The phase (kind, index) of the utility's collection as IPhase; null when
// tolerateMissing and GetPhase failed.
IPhase* GetHostPhase(UtilityState* u, int kind, int index, bool tolerateMissing) {
    IDispatch* object = nullptr;
    const HRESULT hr = u->phaseCollection->GetPhase(kind, index, &object);
    if (hr != S_OK || object == nullptr) {
        if (object != nullptr)
            object->Release();
        if (tolerateMissing)
            return nullptr;
        throw CPYCOMError(hr != S_OK ? hr : E_POINTER);
    }
    IPhase* phase = nullptr;
    const HRESULT q = object->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&phase));
    object->Release();
    CheckFailed(q);
    return phase;
}
}  // namespace

void PutFlashSpecification(UtilityState* u, double pKpa, double fraction, double tKelvin) {
    CheckOk(u->phaseCollection->put_Mode(0));
    IPhase* spec = GetHostPhase(u, kPhaseKindSpecification, 0, false);
    try {
        CheckOk(spec->put_Pressure(pKpa));
        CheckOk(spec->put_Fraction(fraction));
        CheckOk(spec->put_Temperature(tKelvin));
        CheckOk(spec->put_Enthalpy(kUndefined));
        CheckOk(spec->put_Entropy(kUndefined));
    } catch (...) {
        spec->Release();
        throw;
    }
    spec->Release();
}

bool ReadHostPhase(UtilityState* u, int kind, int index, double* fraction, double* comp, double* H,
                   double* S, double* V, bool tolerateMissing) {
    IPhase* phase = GetHostPhase(u, kind, index, tolerateMissing);
    if (phase == nullptr)
        return false;
    IRealArrayDisp* composition = nullptr;
    try {
        int active = 0;
        CheckOk(phase->get_Active(&active));
        if (active != 1) {
            phase->Release();
            return false;
        }
        CheckOk(phase->get_Composition(&composition));
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
                CheckOk(phase->ResetProperties(kResetMask));
                CheckOk(u->propManager->CalcProperty(p.id, phase));
                double value = 0.0;
                CheckOk((phase->*p.get)(&value));
                *p.sum += value * *fraction;
            }
        }
        SafeRelease(phase);
        for (int32_t i = 0; i < u->ncomp; ++i)
            CheckOk(composition->get_IthValue(i, &comp[i]));
        SafeRelease(composition);
    } catch (...) {
        SafeRelease(composition);
        SafeRelease(phase);
        throw;
    }
    return true;
}
