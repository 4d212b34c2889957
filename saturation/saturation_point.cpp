// Saturation points from a flash, phase labelling and the engines'
// starting vector.
#include "saturation/saturation_point.h"

#include <cmath>
#include <utility>

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "host/enums.h"

namespace {

// Two phases coincide when no compound's fractions differ by more than this
// share of the larger one.
const double kCoincidence = 5e-5;
const double kTiny = 1e-30;

// Host IDs of water, methanol, ethanol and ethylene glycol: the compounds
// that make a liquid the aqueous one.
bool IsAqueousId(int32_t id) {
    return id == 19 || id == 29 || id == 30 || id == 54;
}

// num / den with both guarded against values below 1e-30.
double GuardedRatio(double num, double den) {
    const bool numSmall = num < kTiny;
    const bool denSmall = den < kTiny;
    if (numSmall && denSmall)
        return 1.0;
    if (denSmall)
        return num / kTiny;
    if (numSmall)
        return kTiny / den;
    return num / den;
}

// Temperature interpolated from the stored rows of the curve being scanned
// (dew rows for vapour fraction 1, three-phase bubble rows for 0); false when
// no row reaches the pressure.
bool InterpolateStoredCurve(CalculationState* u, double pKpa) {
    EnvelopePointStore* store = u->pointStore;
    if (store == nullptr)
        return false;
    int32_t count = 0;
    store->GetNumPoints(&count, 0);
    double pPrev = 100.0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t type = 0;
        store->GetPointType(i, &type, 0);
        const bool match =
            (u->vapFrac == 1.0 && (type == kPointDew || type == kPointDewAfterThreePhase ||
                                   type == kPointDewAfterSecond)) ||
            (u->vapFrac == 0.0 && type == kPointThreePhaseBubble);
        if (!match)
            continue;
        double p = 0.0;
        store->GetValue(i, kCodePressure, &p, 0);
        if (p > pKpa) {
            double t = 0.0;
            store->GetValue(i, kCodeTemperature, &t, 0);
            // Without a row before it, the first bracketing row's temperature.
            double tPrev = t;
            if (i > 0)
                store->GetValue(i - 1, kCodeTemperature, &tPrev, 0);
            u->curTdegk = tPrev + (pKpa - pPrev) * (t - tPrev) / (p - pPrev);
            return true;
        }
        if (p == pKpa) {
            store->GetValue(i, kCodeTemperature, &u->curTdegk, 0);
            return true;
        }
        pPrev = p;
    }
    return false;
}

}  // namespace

double ClampedLog(double x) {
    if (!(x > std::exp(-70.0)))
        return -70.0;
    if (x >= std::exp(70.0))
        return 70.0;
    return std::log(x);
}

// The comparison is relative: a high-purity product's saturated phases
// differ by less than 5e-5 in every absolute fraction (ethylene 0.99995 with
// methane 5e-5 against 2.8e-6 at its dew point) and are still two phases.
// The host's answer where no saturation point exists has both phases of the
// feed's composition exactly.
bool Apart(double a, double b) {
    return std::fabs(a - b) > kCoincidence * std::fmax(std::fabs(a), std::fabs(b));
}

bool PhasesCoincide(CalculationState* u, int32_t numbPhases) {
    for (int32_t i = 0; i < u->ncomp; ++i) {
        const bool apart1 = Apart(u->xLiq1[i], u->yVap[i]);
        if (numbPhases == 2 && apart1)
            return false;
        if (numbPhases == 3 && apart1 && Apart(u->xLiq2[i], u->yVap[i]))
            return false;
    }
    return true;
}

int PhaseLabelCheck(CalculationState* u, int32_t numbPhases, uint8_t* switched) {
    const int32_t nc = u->ncomp;
    if (numbPhases == 3 || (numbPhases == 2 && u->fromThreePhasePoint == 1)) {
        double a1 = 0.0, a2 = 0.0, o1 = 0.0, o2 = 0.0;
        for (int32_t i = 0; i < nc; ++i) {
            if (IsAqueousId(u->compID[i])) {
                a1 += u->xLiq1[i];
                a2 += u->xLiq2[i];
            } else if (u->compFamily[i] != eSolid) {
                o1 += u->xLiq1[i];
                o2 += u->xLiq2[i];
            }
        }
        // Without aqueous compounds both liquids are all "other" compounds,
        // and their sums differ by rounding only: the liquids keep their
        // places unless the sums differ by more than that.
        const double rounding = 1e-12 * (o1 + o2 + a1 + a2);
        if (a1 > a2 + rounding || o2 > o1 + rounding) {
            for (int32_t i = 0; i < nc; ++i)
                std::swap(u->xLiq1[i], u->xLiq2[i]);
            std::swap(u->liq1Frac, u->liq2Frac);
            *switched = 1;
        }
    }

    if (numbPhases == 2) {
        u->SizeUnknowns(nc + 2);
        for (int32_t i = 0; i < nc; ++i) {
            const double k = u->fromThreePhasePoint != 0 ? GuardedRatio(u->xLiq1[i], u->xLiq2[i])
                                                         : GuardedRatio(u->yVap[i], u->xLiq1[i]);
            u->K1[i] = k;
            u->unknowns[i] = ClampedLog(k);
        }
        u->unknowns[nc] = ClampedLog(u->curTdegk);
        u->unknowns[nc + 1] = ClampedLog(u->curPatm);
        return 0;
    }
    if (numbPhases == 3) {
        u->SizeUnknowns(2 * nc + 3);
        for (int32_t i = 0; i < nc; ++i) {
            u->K2[i] = GuardedRatio(u->yVap[i], u->xLiq2[i]);
            u->unknowns[i] = ClampedLog(u->K2[i]);
            u->K1[i] = GuardedRatio(u->yVap[i], u->xLiq1[i]);
            u->unknowns[nc + i] = ClampedLog(u->K1[i]);
        }
        u->unknowns[2 * nc] = ClampedLog(u->curTdegk);
        u->unknowns[2 * nc + 1] = ClampedLog(u->curPatm);
        u->unknowns[2 * nc + 2] = ClampedLog(u->betaMode == 3 ? u->liq1Frac : u->vapFrac);
        return 0;
    }
    return 1;
}

int SaturationPoint(CalculationState* u, FlashThermo* thermo, double P, int32_t* numbPhases,
                    double* H, double* S, double* V, uint8_t storedCurve) {
    const double pKpa = P * kKpaPerAtm;
    *H = 0.0;
    *S = 0.0;
    *V = 0.0;
    if (storedCurve == 1 && InterpolateStoredCurve(u, pKpa))
        return 0;

    thermo->FlashAtVapourFraction(u, pKpa, numbPhases, H, S, V);

    uint8_t switched = 0;
    const int rc = PhaseLabelCheck(u, *numbPhases, &switched);
    if (PhasesCoincide(u, *numbPhases))
        *numbPhases = 1;
    return rc;
}
