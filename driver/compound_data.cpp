// Compound data and the normalised feed.
#include "driver/compound_data.h"

#include <cmath>

#include "core/app_values.h"
#include "core/com_error.h"
#include "core/units.h"
#include "platform/com.h"

namespace {

const double kAbsent = 1e-10;

// Critical constants, ID and family of compound i from the host's collection.
void ReadHostCompound(UtilityState* u, ICompoundCollection* compounds, int32_t i) {
    platform::ComPtr<IDispatch> object;
    CheckOk(compounds->get_Compound(i, object.put()));
    if (object == nullptr)
        throw CPYCOMError(E_POINTER);
    platform::ComPtr<IBasicCompound> basic;
    CheckFailed(object.QueryInterface(IID_IBasicCompound, &basic));
    object = nullptr;
    CheckOk(basic->TC(kUndefined, kUndefined, eNoExtrapolation, &u->critTdegk[i]));
    CheckOk(basic->PC(kUndefined, kUndefined, eNoExtrapolation, &u->critPkpa[i]));
    platform::ComPtr<ICompoundID> id;
    CheckFailed(basic.QueryInterface(IID_ICompoundID, &id));
    basic = nullptr;
    int value = 0;
    CheckOk(id->get_ID(&value));
    u->compID[i] = value;
    platform::ComPtr<ICompoundFamily> family;
    CheckFailed(id.QueryInterface(IID_ICompoundFamily, &family));
    id = nullptr;
    CheckOk(family->get_Family(&value));
    u->compFamily[i] = value;
}

// The same data from the provider's component list; not tested.
void ReadAppCompound(UtilityState* u, int32_t i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    platform::ComPtr<IAppComponent> component;
    u->appComponents->get_Item(index, component.put());
    if (component == nullptr)
        return;
    u->critTdegk[i] =
        ReadAppValue(component.Get(), &IAppComponent::get_CriticalTemperature) + kKelvinOffset;
    u->critPkpa[i] = ReadAppValue(component.Get(), &IAppComponent::get_CriticalPressure);
    int id = 0;
    component->get_ID(&id);
    u->compID[i] = id;
    VARIANT_BOOL solid = VARIANT_FALSE;
    component->get_IsSolid(&solid);
    if (solid == VARIANT_TRUE)
        u->compFamily[i] = eSolid;
    int state = 0;
    component->get_State(&state);
    if (state == 200)
        u->compFamily[i] = eGeneral;
}

}  // namespace

HRESULT LoadCompoundData(UtilityState* u, const double* feed, ICompoundCollection* compounds) {
    try {
        const int32_t nc = u->ncomp;
        u->numbPresent = 0;
        double sum = 0.0;
        for (int32_t i = 0; i < nc; ++i) {
            if (u->useAppThermo == 0) {
                if (compounds == nullptr)
                    throw CPYCOMError(E_POINTER);
                ReadHostCompound(u, compounds, i);
            } else {
                ReadAppCompound(u, i);
            }
            if (u->compID[i] == 19)
                u->compound19Index = i;
            u->feedComp[i] = u->compFamily[i] == eSolid ? 0.0 : feed[i];
            if (std::isnan(u->feedComp[i]) || u->feedComp[i] < 0.0)
                return E_INVALIDARG;
            sum += u->feedComp[i];
            const uint8_t absent = u->feedComp[i] <= kAbsent ? 1 : 0;
            u->threePhaseSkip[nc + i] = absent;
            u->threePhaseSkip[i] = absent;
            u->twoPhaseSkip[i] = absent;
            if (absent == 0)
                ++u->numbPresent;
        }
        if (!(sum > 0.0) || !std::isfinite(sum))
            return E_INVALIDARG;
        for (int32_t i = 0; i < nc; ++i)
            u->feedComp[i] /= sum;
        return S_OK;
    } catch (const CPYCOMError& e) {
        return e.Result();
    } catch (...) {
        return E_FAIL;
    }
}
