// Bisection in temperature on temperature-pressure flashes for
// the temperature at which the phase count reaches a target.
#include "saturation/incipient_phase.h"

#include <cmath>

#include "core/units.h"
#include "saturation/saturation_point.h"

namespace {

const double kWidth = 0.01;
// A host whose phase count flickers at the boundary would keep the
// bisection going; the last flash is reported after this many.
const int kMaxFlashes = 200;

// One flash of the feed at T (K) and P (kPa); the phases found go to the
// state's fields. Returns the phase count; *vapourSeen tells whether a
// vapour was among them.
int32_t FlashAt(CalculationState* u, FlashThermo* thermo, double tK, double pKpa, double* H,
                double* S, double* V, bool* vapourSeen) {
    *H = 0.0;
    *S = 0.0;
    *V = 0.0;
    *vapourSeen = false;
    return thermo->FlashAtTemperature(u, tK, pKpa, H, S, V, vapourSeen);
}

}  // namespace

int IncipientPhaseCurve(CalculationState* u, FlashThermo* thermo, double P, double Tlo, double Thi,
                        double* T, int32_t* numbPhases, double* H, double* S, double* V) {
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
        *numbPhases = FlashAt(u, thermo, *T, pKpa, H, S, V, &vapourSeen);
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
