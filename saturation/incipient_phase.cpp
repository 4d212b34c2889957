// Bisection in temperature on the host's temperature-pressure flashes for
// the temperature at which the phase count reaches a target.
#include "saturation/incipient_phase.h"

#include <cmath>

#include "core/app_values.h"
#include "core/com_error.h"
#include "core/units.h"
#include "saturation/host_phases.h"
#include "saturation/saturation_point.h"

namespace {

const double kWidth = 0.01;
// A host whose phase count flickers at the boundary would keep the
// bisection going; the last flash is reported after this many.
const int kMaxFlashes = 200;

// One flash of the feed at T (K) and P (kPa); the phases found go to the
// utility's fields. Returns the phase count; *vapourSeen tells whether a
// vapour was among them.
int32_t FlashAt(UtilityState* u, double tK, double pKpa, double* H, double* S, double* V,
                bool* vapourSeen) {
    int32_t count = 0;
    *H = 0.0;
    *S = 0.0;
    *V = 0.0;
    *vapourSeen = false;
    if (u->useAppThermo == 0) {
        PutFlashSpecification(u, pKpa, kUndefined, tK);
        CheckOk(u->flashManager->Flash(u->phaseCollection));
        if (ReadHostPhase(u, kPhaseKindVapour, 0, &u->vapFrac, u->yVap, H, S, V, false)) {
            ++count;
            *vapourSeen = true;
        }
        if (ReadHostPhase(u, kPhaseKindLiquid, 0, &u->liq1Frac, u->xLiq1, H, S, V, false)) {
            ++count;
        }
        if (ReadHostPhase(u, kPhaseKindLiquid, 1, &u->liq2Frac, u->xLiq2, H, S, V, true)) {
            ++count;
        }
        return count;
    }

    IAppThermoProvider* provider = u->appThermoProvider;
    VARIANT t;
    VARIANT p;
    VariantInit(&t);
    VariantInit(&p);
    t.vt = VT_R8;
    t.dblVal = tK - kKelvinOffset;
    p.vt = VT_R8;
    p.dblVal = pKpa;
    int status = -1;
    provider->FlashTP(t, p, &status);
    if (status != 0)
        return 0;
    *H = ReadAppValue(provider, &IAppThermoProvider::get_Enthalpy);
    *S = ReadAppValue(provider, &IAppThermoProvider::get_Entropy);
    *V = ReadAppValue(provider, &IAppThermoProvider::get_MolarVolume);
    platform::ComPtr<IAppPhase> phase;
    provider->get_VapourPhase(phase.put());
    if (phase != nullptr) {
        *vapourSeen = true;
        u->vapFrac = ReadAppValue(phase.Get(), &IAppPhase::get_Fraction);
        ReadAppComposition(u, phase.Get(), u->yVap);
        ++count;
    }
    provider->get_LiquidPhase(phase.put());
    if (phase != nullptr) {
        u->liq1Frac = ReadAppValue(phase.Get(), &IAppPhase::get_Fraction);
        ReadAppComposition(u, phase.Get(), u->xLiq1);
        ++count;
    }
    provider->get_Liquid2Phase(phase.put());
    if (phase != nullptr) {
        if (count == 2 || (count == 1 && !*vapourSeen)) {
            u->liq2Frac = ReadAppValue(phase.Get(), &IAppPhase::get_Fraction);
            ReadAppComposition(u, phase.Get(), u->xLiq2);
        } else {
            u->liq1Frac = ReadAppValue(phase.Get(), &IAppPhase::get_Fraction);
            ReadAppComposition(u, phase.Get(), u->xLiq1);
        }
        ++count;
    }
    return count;
}

}  // namespace

int IncipientPhaseCurve(UtilityState* u, double P, double Tlo, double Thi, double* T,
                        int32_t* numbPhases, double* H, double* S, double* V) {
    const int32_t target = *numbPhases;
    *numbPhases = 0;
    if (Tlo == kUndefined || Thi == kUndefined)
        return 1;
    double tLo = Tlo;
    double tHi = Thi;
    double width = tHi - tLo;
    bool reached = false;
    const double pKpa = P * kKpaPerAtm;
    *T = 0.5 * (tLo + tHi);

    for (int flashes = 0; flashes < kMaxFlashes; ++flashes) {
        if (std::fabs(width) <= kWidth && *numbPhases >= target)
            break;
        *T = 0.5 * (tLo + tHi);
        bool vapourSeen = false;
        *numbPhases = FlashAt(u, *T, pKpa, H, S, V, &vapourSeen);
        if (*numbPhases < target) {
            tHi = *T;
        } else {
            reached = true;
            if (target == 2 && vapourSeen) {
                tHi = *T;
            } else {
                tLo = *T;
            }
        }
        width = tHi - tLo;
        if (!(std::fabs(width) >= kWidth || reached))
            break;
    }

    if (*numbPhases == 3) {
        // Keep the larger liquid: the other becomes the incipient phase.
        if (u->liq2Frac > u->liq1Frac) {
            u->liq1Frac = 0.0;
            u->vapFrac = u->vapFrac / (u->vapFrac + u->liq2Frac);
            u->liq2Frac = 1.0 - u->vapFrac;
        } else {
            u->liq2Frac = 0.0;
            u->vapFrac = u->vapFrac / (u->vapFrac + u->liq1Frac);
            u->liq1Frac = 1.0 - u->vapFrac;
        }
    }
    u->curTdegk = *T;
    uint8_t switched = 0;
    const int rc = PhaseLabelCheck(u, *numbPhases, &switched);
    if (*numbPhases == 3 && PhasesCoincide(u, 3))
        *numbPhases = 1;
    return rc;
}
