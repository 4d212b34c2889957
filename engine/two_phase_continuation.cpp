// Predictor-corrector continuation of constant-fraction two-phase curves.
#include "engine/two_phase_continuation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "core/com_error.h"
#include "core/units.h"
#include "engine/cubic_predictor.h"
#include "engine/matrix_lu_solver.h"
#include "engine/step_control.h"
#include "engine/two_phase_point_solver.h"

namespace {

const double kInitialStep = 0.5;
const double kMaxStep = 1.0;
const int kMaxPasses = 400;
const double kCollapseLimit = 1e-4;
const double kSmallStep = 0.005;
const int kSmallStepCount = 2;
// Small steps in a row that a trace may keep without shrinking them.
const int kMaxKeptSmallSteps = 30;

// Appends one row of pressure (kPa) and temperature (K).
void AppendPoint(EnvelopePointStore* store, int32_t* numb, int32_t type, double pKpa, double tK,
                 int32_t accessMode) {
    store->SetPointType(*numb, type, accessMode);
    store->SetValue(*numb, kCodePressure, pKpa, accessMode);
    store->SetValue(*numb, kCodeTemperature, tK, accessMode);
    *numb += 1;
}

// Whether the last stored row is the point (the same type, within the
// tolerance a three-phase point is located to: 1e-3 K, 1e-5 in ln P): a
// curve restarted from a three-phase point converges first at the point,
// which the driver stored with the curve's type already.
bool IsLastRow(EnvelopePointStore* store, int32_t numb, int32_t type, double pKpa, double tK,
               int32_t accessMode) {
    if (numb < 1)
        return false;
    int32_t lastType = 0;
    double lastP = 0.0, lastT = 0.0;
    if (store->GetPointType(numb - 1, &lastType, accessMode) != S_OK ||
        store->GetValue(numb - 1, kCodePressure, &lastP, accessMode) != S_OK ||
        store->GetValue(numb - 1, kCodeTemperature, &lastT, accessMode) != S_OK)
        return false;
    return lastType == type && std::fabs(lastP - pKpa) <= 1e-5 * pKpa &&
           std::fabs(lastT - tK) <= 1e-3;
}

// The curve code after a critical point: dew-side codes become the bubble
// code and back. An incipient-liquid curve past its liquid-liquid critical
// point is the same boundary, its liquids' roles exchanged.
int32_t SwitchedCurveCode(int32_t code) {
    if (code == kPointIncipientLiquid)
        return code;
    return code == 4 ? 1 : 4;
}

// Near a critical point no point is converged closer than this to the
// dominant ln K's zero: the crossing goes from one edge of the band to the
// other.
const double kCriticalBand = 0.1;
// A corrector that moves ln T or ln P further than this, plus half the
// length of the step predicted, went to another stretch of the curve, or
// another curve: the point is rejected.
const double kBranchJump = 0.02;
// The fraction of one compound above which a feed is a product with
// impurities: its envelope is a thin loop whose temperature and pressure
// turn back at the critical point.
const double kNearPureFraction = 0.99;
// A converged point whose every ln K lies below this is the trivial
// solution (both phases the feed), not a point of the curve.
const double kTrivialLnK = 1e-6;

void SwapPhaseTypes(TwoPhaseTracer* tr) {
    tr->phaseTypeA = -tr->phaseTypeA;
    tr->phaseTypeB = -tr->phaseTypeB;
}

// Whether the corrector took the point from its prediction (lnT, lnP)
// further than the predicted step from the last point, last, is long.
bool JumpedAway(const double* last, double lnT, double lnP, const double* X, int32_t nc) {
    const double step = std::max(std::fabs(lnT - last[nc]), std::fabs(lnP - last[nc + 1]));
    const double moved = std::max(std::fabs(X[nc] - lnT), std::fabs(X[nc + 1] - lnP));
    return moved > 0.5 * step + kBranchJump;
}

// The unknown with the largest sensitivity, the next step variable.
int32_t FastestUnknown(const double* sens, const uint8_t* flags, int32_t n) {
    int32_t fastest = n - 1;
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] != 1 && std::fabs(sens[i]) > std::fabs(sens[fastest]))
            fastest = i;
    }
    return fastest;
}

bool IsTrivial(const double* X, const uint8_t* flags, int32_t nc) {
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 0 && std::fabs(X[i]) >= kTrivialLnK)
            return false;
    }
    return true;
}

// Whether the point X, solved one ordinary step on from `prev`, fell most
// of the way onto the trivial solution: its largest |ln K| a hundredth of
// the largest at `prev` or less. Along the curve the ln K shrink step by
// step, and a critical point is crossed by a planned step to the far side
// of a band, not landed on. (A creeping trace of a methane-rich gas with
// C5-C9 converged from |ln K| = 0.07 to 1e-4 in a step of 0.005 in ln P,
// and the further phase the host's test saw there was taken for a
// three-phase point.)
bool FellOntoTrivial(const double* prev, const double* X, const uint8_t* flags, int32_t nc) {
    double largestPrev = 0.0, largest = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] != 0)
            continue;
        largestPrev = std::max(largestPrev, std::fabs(prev[i]));
        largest = std::max(largest, std::fabs(X[i]));
    }
    return largestPrev > 1e-3 && largest < 0.01 * largestPrev;
}

}  // namespace

void Reset(TwoPhaseTracer* tr, EngineThermo* thermo, bool sameKind) {
    tr->phaseTypeA = 1;
    tr->phaseTypeB = -1;
    tr->swapPending = 0;
    tr->history.Clear();
    tr->crossIdx = -1;
    tr->crossSwapped = 0;
    tr->crossBand = kCriticalBand;
    tr->lnKScale = 0.0;
    tr->crossingStop = kNoCrossingStop;
    for (int32_t i = 0; i < tr->n; ++i) {
        for (int32_t j = 0; j < tr->n; ++j)
            tr->jac[i][j] = i == j ? 1.0 : 0.0;
        tr->resid[i] = 0.0;
        tr->sens[i] = 0.0;
        for (double* row : tr->predictor)
            row[i] = 0.0;
    }
    if (thermo != nullptr)
        thermo->BeginTwoPhaseTrace(sameKind);
}

void CheckPhaseSwap(TwoPhaseTracer* tr, uint8_t* invertLine) {
    if (tr->swapPending != 0) {
        *invertLine = 1;
        if (tr->swapPending == 1) {
            tr->phaseTypeA = -tr->phaseTypeA;
            tr->phaseTypeB = -tr->phaseTypeB;
        }
    }
    tr->swapPending = 0;
}

void Predict(TwoPhaseTracer* tr, double* out, double s, const uint8_t* flags) {
    EvaluateCubic(tr->predictor, tr->n, flags, s, out);
}

namespace {

// The root in (-h, 0) of the slope c1 + 2 c2 s + 3 c3 s^2 of one predictor
// component; false when the slope has no real root.
bool ExtremumOffset(double c1, double c2, double c3, double h, double* s) {
    if (c3 == 0.0) {
        if (c2 == 0.0)
            return false;
        *s = -c1 / (2.0 * c2);
        return std::isfinite(*s);
    }
    if (c2 == 0.0) {
        const double r = -c1 / (3.0 * c3);
        if (r < 0.0)
            return false;
        *s = -std::sqrt(r);
        return true;
    }
    const double m = -c2 / (3.0 * c3);
    const double radicand = c1 / (c2 * m) + 1.0;
    if (radicand < 0.0)
        return false;
    double root = m * (std::sqrt(radicand) + 1.0);
    if (root * (root + h) > 0.0 && root != 0.0)
        root = c1 / (3.0 * c3 * root);
    *s = root;
    return std::isfinite(root);
}

}  // namespace

namespace {

// Whether the dominant ln K (index kIdx) changing sign between the points
// prev and X is a critical point: every compound that is not clearly on one
// side (|ln K| above 0.005 at both points without a sign change) changed
// sign too, and those that did not are alike (the first not above 0.5 at
// both points, all within 10 K of its critical temperature).
bool CriticalBetween(const double* prev, const double* X, int32_t kIdx, int32_t nc,
                     const uint8_t* flags, const double* critT) {
    if (!(prev[kIdx] * X[kIdx] < 0.0))
        return false;
    bool haveReference = false;
    double tc0 = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] != 0)
            continue;
        if (prev[i] * X[i] < 0.0)
            continue;
        if (std::fabs(prev[i]) <= 0.005 || std::fabs(X[i]) <= 0.005)
            continue;
        if (!haveReference) {
            if (nc < 3 || (std::fabs(prev[i]) > 0.5 && std::fabs(X[i]) > 0.5))
                return false;
            haveReference = true;
            tc0 = critT[i];
        } else if (std::fabs(critT[i] - tc0) > 10.0) {
            return false;
        }
    }
    return true;
}

// Extrema of ln T and ln P on the polynomial through the nodes, in the
// variable at index k strictly between `from` and `to`: their values of that
// variable go to ltab and their codes to itab (after the count already
// there); returns the new count.
int32_t PolynomialExtrema(const PointHistory& history, const double* current, int32_t m, int32_t k,
                          double from, double to, int32_t nc, const uint8_t* flags, double* work,
                          double* ltab, int32_t* itab, int32_t count) {
    struct Watched {
        int32_t index;
        int32_t maxCode;
        int32_t minCode;
    };
    const Watched watched[2] = {{nc, kPointCricondentherm, kPointTemperatureMinimum},
                                {nc + 1, kPointCricondenbar, kPointPressureMinimum}};
    auto value = [&](int32_t index, double l) {
        history.Interpolate(current, m, k, l, work, flags);
        return work[index];
    };
    const int kSamples = 48;
    const double h = (to - from) / kSamples;
    const double eps = 1e-6 * std::fabs(to - from);
    for (const Watched& w : watched) {
        auto slope = [&](double l) { return value(w.index, l + eps) - value(w.index, l - eps); };
        double a = from + 0.5 * h;
        double sa = slope(a);
        for (int j = 1; j < kSamples && count < 3; ++j) {
            const double b = from + (j + 0.5) * h;
            const double sb = slope(b);
            if (sa * sb < 0.0) {
                double lo = a, hi = b, slo = sa;
                for (int it = 0; it < 60; ++it) {
                    const double mid = 0.5 * (lo + hi);
                    const double sm = slope(mid);
                    if (sm * slo > 0.0) {
                        lo = mid;
                        slo = sm;
                    } else {
                        hi = mid;
                    }
                }
                const double at = 0.5 * (lo + hi);
                // A maximum when the slope falls along the direction of travel.
                const bool maximum = (sa > 0.0) == (to > from);
                ltab[count] = at;
                itab[count] = maximum ? w.maxCode : w.minCode;
                ++count;
            }
            a = b;
            sa = sb;
        }
    }
    return count;
}

// The previous point and its tangent move down into c2 and c3; the
// unknown whose tangent component is largest is returned (-1 with none).
int32_t ShiftAndFindFastest(TwoPhaseTracer* tr, const uint8_t* flags) {
    double* c0 = tr->predictor[0];
    double* c1 = tr->predictor[1];
    double* c2 = tr->predictor[2];
    double* c3 = tr->predictor[3];
    int32_t fastest = -1;
    double largest = -1.0;
    for (int32_t i = 0; i < tr->n; ++i) {
        if (flags[i] == 1)
            continue;
        c2[i] = c0[i];
        c3[i] = c1[i];
        if (std::fabs(tr->sens[i]) > largest) {
            largest = std::fabs(tr->sens[i]);
            fastest = i;
        }
    }
    return fastest;
}

// A narrow envelope (close-boiling compounds) approaches its critical
// point with every ln K small and slow beside temperature or pressure,
// which stayed the specification variable: the steps ran into the
// trivial solution with no crossing planned. Where every ln K heads for
// zero along the tangent and would reach it within two steps like the
// last, all at offsets within a factor of two of each other (as they
// vanish together at a critical point, not where only the ln K of a
// near-pure product's main compound is small), the ln K of largest
// sensitivity becomes the specification variable, and the crossing is
// planned in it. Only where the two phases are close to one phase: their
// ln φ change with pressure alike (the difference below 0.4 of the
// sum); at an azeotrope (CO2 with ppm of propane at 235 K, 0.65) every
// ln K vanishes too, between a liquid and a vapour, and the trace steps
// over it. (n-Heptane/cyclohexane with SRK reaches its critical point
// at 0.37: below 0.3 only, pressure stayed the step variable there and
// its steps ran over the critical point into the trivial solution.)
// Returns that ln K's index, or -1. `lastStep` is the last step in the
// specification unknown `specIdx` (ln T or ln P); `reach` is how many such
// steps the zeros may lie ahead: two, and four where the last step was
// already made in a ln K (its tangent then hands the step back to pressure
// by a hair, as a methane-rich condensate's bubble curve nears its second
// critical point: the steps in pressure collapsed there, the corrector
// needing twenty iterations, and the trace stopped 0.7 K short).
int32_t NarrowEnvelopeLnK(const TwoPhaseTracer* tr, const double* X, const uint8_t* flags,
                          int32_t specIdx, double lastStep, double reach) {
    const int32_t nc = tr->ncomp;
    const double* sens = tr->sens;
    int32_t k = -1;
    double nearest = HUGE_VAL, farthest = 0.0;
    double apart = 0.0, size = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 0) {
            apart += std::fabs(tr->dLnPhiBdP[i] - tr->dLnPhiAdP[i]);
            size += std::fabs(tr->dLnPhiAdP[i]) + std::fabs(tr->dLnPhiBdP[i]);
        }
    }
    if (!(apart < 0.4 * size))
        farthest = HUGE_VAL;
    for (int32_t i = 0; i < nc && farthest < HUGE_VAL; ++i) {
        if (flags[i] != 0)
            continue;
        const double rate = sens[i] / sens[specIdx];
        const double toZero = rate != 0.0 ? -X[i] / rate : HUGE_VAL;
        if (!(toZero * lastStep > 0.0) || !std::isfinite(toZero)) {
            farthest = HUGE_VAL;
            break;
        }
        nearest = std::min(nearest, std::fabs(toZero));
        farthest = std::max(farthest, std::fabs(toZero));
        if (k < 0 || std::fabs(sens[i]) > std::fabs(sens[k]))
            k = i;
    }
    if (k >= 0 && farthest < reach * std::fabs(lastStep) && farthest < 2.0 * nearest)
        return k;
    return -1;
}

// The cubic's fit after a step: the step h in the specification unknown
// and the watched slopes (d ln T and d ln P per unit of it) at the previous
// point.
struct StepFit {
    double h = 0.0;
    double prevSlopeT = 0.0;
    double prevSlopeP = 0.0;
};

// Normalises both points' tangents to the new specification unknown, puts
// the new point in c0, and (after the first update) fits the Hermite cubic
// through the two points into c0..c3.
StepFit RefitCubic(TwoPhaseTracer* tr, const double* X, const uint8_t* flags, int32_t specIdx,
                   bool firstUpdate) {
    const int32_t nc = tr->ncomp;
    double* const* c = tr->predictor;
    // A new specification variable that turned back between the two
    // points (its slopes there have opposite signs) cannot carry a
    // cubic through both: the prediction follows the tangent alone.
    const bool turned = tr->sens[specIdx] * c[3][specIdx] <= 0.0;
    NormaliseTangents(c, tr->n, flags, tr->sens, X, specIdx, !firstUpdate);
    StepFit fit;
    if (firstUpdate)
        return fit;
    fit.h = c[0][specIdx] - c[2][specIdx];
    fit.prevSlopeT = c[3][nc];
    fit.prevSlopeP = c[3][nc + 1];
    FitHermite(c, tr->n, flags, fit.h, turned);
    return fit;
}

// Special points passed by a step, in the order found: their offset from
// the new point in the specification unknown (Hermite), or their value of
// the watched ln K (polynomial through the points), and their codes.
struct SpecialPoints {
    double offset[3];
    double lnK[3];
    int32_t code[3];
    int32_t count = 0;
    // Placed through the points of both sides of a critical crossing.
    bool throughPoints = false;

    // Sorts by |offset| descending, carrying the codes and values.
    void Sort() {
        for (int32_t i = 0; i < count - 1; ++i) {
            int32_t best = i;
            for (int32_t j = i + 1; j < count; ++j) {
                if (std::fabs(offset[j]) > std::fabs(offset[best]))
                    best = j;
            }
            std::swap(offset[i], offset[best]);
            std::swap(lnK[i], lnK[best]);
            std::swap(code[i], code[best]);
        }
    }
};

// Extrema of temperature and pressure between the two points of an
// ordinary step, from the cubic (whose slope changed sign).
void StepExtrema(const TwoPhaseTracer* tr, const StepFit& fit, SpecialPoints* special) {
    const int32_t nc = tr->ncomp;
    const double* c1 = tr->predictor[1];
    const double* c2 = tr->predictor[2];
    const double* c3 = tr->predictor[3];
    struct Extremum {
        double previousSlope;
        int32_t index;
        int32_t maxCode;
        int32_t minCode;
    };
    const Extremum extrema[2] = {
        {fit.prevSlopeT, nc, kPointCricondentherm, kPointTemperatureMinimum},
        {fit.prevSlopeP, nc + 1, kPointCricondenbar, kPointPressureMinimum}};
    for (const Extremum& e : extrema) {
        const int32_t i = e.index;
        if (!(e.previousSlope * c1[i] < 0.0))
            continue;
        double s = 0.0;
        if (!ExtremumOffset(c1[i], c2[i], c3[i], fit.h, &s))
            continue;
        special->offset[special->count] = s;
        special->code[special->count] = (c2[i] + 3.0 * c3[i] * s > 0.0) ? e.minCode : e.maxCode;
        ++special->count;
    }
}

// Where to store the special point k: the critical point from the points
// on both sides of its crossing, else from the step's polynomial; an
// extremum then solved on the curve by `placer` (when given). Into `at`.
void LocateSpecialPoint(TwoPhaseTracer* tr, const double* X, const uint8_t* flags,
                        const SpecialPoints& special, int32_t k, int32_t kIdx, int32_t specIdx,
                        double h, ExtremumPlacer* placer, double* at) {
    const int32_t nc = tr->ncomp;
    const int32_t n = tr->n;
    const int32_t code = special.code[k];
    const bool through = special.throughPoints;
    bool placed = false;
    if (through && code == kPointCritical && tr->haveInner != 0 && tr->history.Count() >= 2) {
        // Two points on each side of zero, at the crossing's ends
        // and halfway in from them.
        const double* nodes[4] = {X, tr->innerX, tr->innerNearX, tr->history.At(0)};
        placed = PointHistory::Lagrange(nodes, 4, kIdx, 0.0, at, n, flags);
    }
    if (!placed && (!through || !tr->history.Interpolate(X, PointHistory::kCapacity, kIdx,
                                                         special.lnK[k], at, flags))) {
        Predict(tr, at, special.offset[k], flags);
    }
    if (placer == nullptr || code == kPointCritical)
        return;
    // The extremum solved where the step's polynomial put it:
    // in the crossed ln K across a critical point (with the
    // phase types of its side), else in the new
    // specification variable.
    const bool pressure = code == kPointCricondenbar || code == kPointPressureMinimum;
    const int32_t spec = through ? kIdx : specIdx;
    const double from = through ? tr->history.At(0)[kIdx] : X[specIdx] - h;
    bool swapTypes = false;
    if (through) {
        const bool farSide = special.lnK[k] * X[kIdx] > 0.0;
        swapTypes = farSide ? tr->swapPending == 1 : tr->swapPending == 2;
    }
    const bool maximum = code == kPointCricondenbar || code == kPointCricondentherm;
    if (!placer->Place(pressure ? nc + 1 : nc, spec, from, X[spec], swapTypes, maximum, at) &&
        !through && tr->history.Count() >= 1) {
        // Nothing solved: the cubic over a long step can put
        // its extremum off the curve, so the step's end with
        // the more extreme value stands for it, a point of
        // the curve. (Across a critical point the estimate
        // comes from points on both sides and is kept.)
        const int32_t w = pressure ? nc + 1 : nc;
        const double* prev = tr->history.At(0);
        const double* end = (maximum ? prev[w] > X[w] : prev[w] < X[w]) ? prev : X;
        std::copy(end, end + n, at);
    }
}

}  // namespace

int32_t UpdatePredictor(TwoPhaseTracer* tr, int32_t* specVarIdx, const double* X, double* stepSize,
                        const uint8_t* flags, int32_t accessMode, EnvelopePointStore* store,
                        int32_t* numbCalculatedPoints, const double* critT, const double* critP,
                        int32_t nActive, int32_t* pointType, ExtremumPlacer* placer) {
    (void)critP;
    const int32_t nc = tr->ncomp;
    const double* c2 = tr->predictor[2];

    // The fastest-changing unknown becomes the specification variable.
    int32_t newIdx = ShiftAndFindFastest(tr, flags);
    int32_t kIdx = newIdx >= 0 && newIdx < nc ? newIdx : -1;
    if (newIdx < 0)
        newIdx = nc + 1;
    const bool firstUpdate = c2[newIdx] == 0.0;
    if (firstUpdate)
        newIdx = nc + 1;
    if (!firstUpdate && newIdx >= nc && nActive > 1) {
        const int32_t k = NarrowEnvelopeLnK(tr, X, flags, newIdx, X[newIdx] - c2[newIdx],
                                            *specVarIdx < nc ? 4.0 : 2.0);
        if (k >= 0) {
            newIdx = k;
            kIdx = k;
        }
    }
    // A step planned across a ln K's zero watches that ln K.
    if (tr->crossIdx >= 0)
        kIdx = tr->crossIdx;

    SpecialPoints special;
    // Critical point: the dominant ln K changed sign (c2 holds the previous
    // point), and so did every compound that is not clearly on one side.
    if (!firstUpdate && nActive > 1 && kIdx >= 0 &&
        CriticalBetween(c2, X, kIdx, nc, flags, critT)) {
        newIdx = kIdx;
        // The critical point where the polynomial through this point
        // and the previous ones crosses ln K_kIdx = 0; the tangents are
        // unreliable this close to it.
        special.throughPoints = tr->history.Count() >= 1;
        special.offset[0] = -X[kIdx];
        special.lnK[0] = 0.0;
        special.code[0] = kPointCritical;
        special.count = 1;
        // A crossing planned as critical was solved with the phase
        // types already exchanged: only the line is inverted then.
        tr->swapPending = tr->crossSwapped != 0 ? 2 : 1;
        tr->crossSwapped = 0;
    }

    const StepFit fit = RefitCubic(tr, X, flags, newIdx, firstUpdate);
    if (!firstUpdate) {
        *stepSize = fit.h;
        if (special.throughPoints) {
            // Across a critical point the extrema come from the same
            // polynomial as the critical point.
            special.count = PolynomialExtrema(
                tr->history, X, PointHistory::kCapacity, kIdx, tr->history.At(0)[kIdx], X[kIdx], nc,
                flags, tr->scratchX, special.lnK, special.code, special.count);
            for (int32_t k = 0; k < special.count; ++k)
                special.offset[k] = special.lnK[k] - X[kIdx];
        } else if (std::fabs(fit.h) < 1.01) {
            StepExtrema(tr, fit, &special);
        }
        special.Sort();
        for (int32_t k = 0; k < special.count; ++k) {
            double* at = tr->scratchX;
            LocateSpecialPoint(tr, X, flags, special, k, kIdx, newIdx, fit.h, placer, at);
            const double tK = ClampedExp(at[nc]);
            const double pKpa = ClampedExp(at[nc + 1]) * kKpaPerAtm;
            const int32_t code = special.code[k];
            if (code == kPointCritical) {
                AppendPoint(store, numbCalculatedPoints, *pointType, pKpa, tK, accessMode);
                *pointType = SwitchedCurveCode(*pointType);
            }
            AppendPoint(store, numbCalculatedPoints, code, pKpa, tK, accessMode);
            if (code == kPointCritical)
                AppendPoint(store, numbCalculatedPoints, *pointType, pKpa, tK, accessMode);
        }
    }
    *specVarIdx = newIdx;
    return newIdx;
}

namespace {

// Beside a point converged across a critical crossing, a second point on
// the same side halfway back to zero in the crossed ln K: with the last two
// points before the crossing it places the critical point between two
// points on each side, where a cubic through three points on one side and
// one on the other was off by a few hundredths of a kelvin. Everything the
// solve touches (X, T, P, x, y, K, the sensitivity) is put back; the point
// is kept in tr->innerX with tr->haveInner set when it converged.
void SolveInnerCrossingPoint(TwoPhaseTracer* tr, EngineThermo* thermo, double beta, double* T,
                             double* P, double* x, double* y, const double* z, double* X, double* K,
                             const uint8_t* flags, int32_t nActive, bool sameKind) {
    const int32_t nc = tr->ncomp;
    const int32_t n = tr->n;
    const int32_t k = tr->crossIdx;
    if (tr->history.Count() < 2)
        return;
    std::copy(X, X + n, tr->saveX);
    std::copy(tr->sens, tr->sens + n, tr->saveSens);
    std::copy(x, x + nc, tr->savex);
    std::copy(y, y + nc, tr->savey);
    std::copy(K, K + nc, tr->saveK);
    const double savedT = *T, savedP = *P;
    const double* nodes[3] = {tr->saveX, tr->history.At(0), tr->history.At(1)};
    // The far side's inner point with the phase types of the far side, the
    // near side's with those before the crossing.
    const double ends[2] = {tr->saveX[k], tr->history.At(0)[k]};
    double* inner[2] = {tr->innerX, tr->innerNearX};
    int solved = 0;
    // The far point was solved with the phase types exchanged when the
    // crossing was foreseen as critical; the near one needs them as before.
    const bool exchange = tr->crossSwapped != 0;
    for (int side = 0; side < 2; ++side) {
        if (side == 1 && exchange)
            SwapPhaseTypes(tr);
        // From the parabola through the ends and the point before, else
        // from the chord between the ends.
        for (int32_t count = 3; count >= 2; --count) {
            if (!PointHistory::Lagrange(nodes, count, k, 0.5 * ends[side], X, n, flags))
                continue;
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, beta);
            const int rc = SolvePoint(tr, thermo, beta, T, P, x, y, z, X, K, flags, k, true,
                                      kUndefinedInt, sameKind);
            // Halfway in, a point of this stretch lies between the ends in
            // temperature and pressure (the corrector can fall onto another
            // branch of the same ln K, near a second critical point).
            bool between = true;
            for (int32_t j = nc; j < nc + 2; ++j) {
                const double lo = std::min(tr->saveX[j], tr->history.At(0)[j]) - kBranchJump;
                const double hi = std::max(tr->saveX[j], tr->history.At(0)[j]) + kBranchJump;
                between = between && X[j] >= lo && X[j] <= hi;
            }
            if (rc >= 0 && between && !(nActive > 1 && IsTrivial(X, flags, nc)) &&
                X[k] * ends[side] > 0.0) {
                std::copy(X, X + n, inner[side]);
                ++solved;
                break;
            }
        }
        if (side == 1 && exchange)
            SwapPhaseTypes(tr);
    }
    tr->haveInner = solved == 2 ? 1 : 0;
    std::copy(tr->saveX, tr->saveX + n, X);
    std::copy(tr->saveSens, tr->saveSens + n, tr->sens);
    std::copy(tr->savex, tr->savex + nc, x);
    std::copy(tr->savey, tr->savey + nc, y);
    std::copy(tr->saveK, tr->saveK + nc, K);
    *T = savedT;
    *P = savedP;
}

// Whether a jump from v to target in unknown k reaches no farther than
// twice the spread of that unknown over the last three points.
bool WithinNodes(const PointHistory& history, int32_t k, double v, double target) {
    if (history.Count() < 3)
        return false;
    double lo = history.At(0)[k], hi = lo;
    for (int32_t h = 1; h < 3; ++h) {
        lo = std::fmin(lo, history.At(h)[k]);
        hi = std::fmax(hi, history.At(h)[k]);
    }
    return std::fabs(target - v) <= 2.0 * (hi - lo);
}

// Plans the next step when the specification variable is a ln K heading for
// zero, a critical point. A step that would end inside the band around zero
// (or beyond zero) from far outside it ends on the band's edge instead; from
// the edge, the step crosses to the other edge, predicted by the polynomial
// through the last three points rather than by the tangents, which are
// unreliable this close to a critical point. X receives the prediction.
// Returns true for a crossing, with *crossTarget the value of the ln K aimed
// at; false leaves X and *stepSize to the ordinary prediction (a step onto
// the band's edge only changes *stepSize).
bool PlanCrossing(TwoPhaseTracer* tr, int32_t specVarIdx, int32_t nActive, const uint8_t* flags,
                  const double* critT, double* X, double* stepSize, double* crossTarget) {
    const int32_t nc = tr->ncomp;
    if (specVarIdx >= nc || nActive < 2 || tr->history.Count() < 2)
        return false;
    const double v = tr->predictor[0][specVarIdx];
    const double target = v + *stepSize;
    const double band = std::min(tr->crossBand, 0.25 * tr->lnKScale);
    if (std::fabs(target) >= band && target * v > 0.0)
        return false;
    const double side = v > 0.0 ? 1.0 : -1.0;
    if (std::fabs(v) > 1.5 * band) {
        *stepSize = side * band - v;
        return false;
    }
    *crossTarget = -side * std::max(std::fabs(v), band);
    // The polynomial runs in the unknown that changes most over the points;
    // where that one turns back before the crossed ln K reaches the target
    // (pressure on a steep dew branch falling onto its critical point), the
    // polynomial in that ln K itself places the crossing, a ln K passing zero
    // monotonically at a critical point, if the jump reaches no farther than
    // twice the points' spread in it. (Methane with a tenth of n-pentane,
    // SRK: the step went on unplanned to ln K = 0.005, its corrector diverged
    // there, and the trace stopped 1 MPa above the critical point. The
    // near-azeotropic ethylene/CO2, whose ln K change by 0.01 a step, had its
    // far side put at 0 K by a jump of 0.12.)
    if (!tr->history.Reach(nullptr, 3, specVarIdx, *crossTarget, X, flags) &&
        !(WithinNodes(tr->history, specVarIdx, v, *crossTarget) &&
          tr->history.Interpolate(nullptr, 3, specVarIdx, *crossTarget, X, flags)))
        return false;
    *stepSize = *crossTarget - v;
    tr->crossIdx = specVarIdx;
    // Beyond a critical point the phases exchange their roles: the point
    // there is solved with the phase types exchanged already.
    if (CriticalBetween(tr->predictor[0], X, specVarIdx, nc, flags, critT)) {
        SwapPhaseTypes(tr);
        tr->crossSwapped = 1;
    }
    return true;
}

// Gives up a planned crossing: the phase types go back as they were.
void AbandonCrossing(TwoPhaseTracer* tr) {
    if (tr->crossSwapped != 0)
        SwapPhaseTypes(tr);
    tr->crossSwapped = 0;
    tr->crossIdx = -1;
}

// The composition of the further phase the last test found, normalised,
// into out (ncomp). Failures raise CPYCOMError.
void ReadFurtherPhase(TwoPhaseTracer* tr, EngineThermo* thermo, double* out) {
    const int32_t nc = tr->ncomp;
    thermo->FurtherPhaseComposition(out);
    double sum = 0.0;
    for (int32_t i = 0; i < nc; ++i)
        sum += out[i];
    if (std::fabs(sum - 1.0) > 1e-12 && sum > 0.0) {
        for (int32_t i = 0; i < nc; ++i)
            out[i] /= sum;
    }
}

// The largest difference in a mole fraction between a composition and
// another (normalised here) over the compounds taking part; infinite when
// the other has none of them.
double Distance(const double* a, const double* b, const uint8_t* flags, int32_t nc) {
    double sum = 0.0;
    for (int32_t i = 0; i < nc; ++i)
        sum += flags[i] == 0 ? b[i] : 0.0;
    if (!(sum > 0.0))
        return HUGE_VAL;
    double d = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 0)
            d = std::max(d, std::fabs(a[i] - b[i] / sum));
    }
    return d;
}

// Whether a composition differs from another (the incipient phase's,
// normalised here) by more than 1e-3 in some mole fraction.
bool ApartFrom(const double* a, const double* b, const uint8_t* flags, int32_t nc) {
    return Distance(a, b, flags, nc) > 1e-3;
}

// The point at offset s from the last accepted one: along the step's
// polynomial through the last points during a crossing, along the Hermite
// predictor otherwise.
void PredictAt(TwoPhaseTracer* tr, const uint8_t* flags, double s, double* X) {
    const int32_t k = tr->crossIdx;
    if (k >= 0 && tr->history.Reach(nullptr, 3, k, tr->predictor[0][k] + s, X, flags))
        return;
    Predict(tr, X, s, flags);
}

// Whether the points predicted at the offsets lo and hi lie within 1e-5 in
// pressure and 1e-3 K of each other: a three-phase point's bracket is then
// narrow enough.
bool BracketNarrow(TwoPhaseTracer* tr, const uint8_t* flags, double lo, double hi) {
    const int32_t nc = tr->ncomp;
    double* a = tr->scratchX;
    Predict(tr, a, lo, flags);
    const double lnT = a[nc], lnP = a[nc + 1];
    Predict(tr, a, hi, flags);
    return std::fabs(a[nc + 1] - lnP) < 1e-5 && std::fabs(std::exp(a[nc]) - std::exp(lnT)) < 1e-3;
}

// Shrinks the step until the chord from the last point to the predicted
// next one stays close to the predicted curve; X receives the prediction.
void LimitStepToChord(TwoPhaseTracer* tr, const uint8_t* flags, double* X, double* stepSize) {
    const int32_t nc = tr->ncomp;
    for (int k = 0; k < 20; ++k) {
        Predict(tr, tr->scratchX, 0.5 * *stepSize, flags);
        Predict(tr, X, *stepSize, flags);
        if (ChordError(tr->predictor[0], tr->scratchX, X, nc, nc + 1) <= 1.0)
            return;
        // Not below what the stall test takes for a trace that cannot go
        // on: a sharp bend is drawn with the chord it gets.
        if (std::fabs(*stepSize) * 0.6 < 1.2 * kSmallStep)
            return;
        *stepSize *= 0.6;
    }
}

}  // namespace

namespace {

// Places a temperature or pressure extremum on the curve itself: a secant
// iteration on the specification unknown for the zero of the watched
// unknown's slope along the curve, each point solved by the corrector from
// the one before and kept inside the bracket of the step that passed the
// extremum. Works in the tracer's save buffers (free between the inner
// crossing point and the next step) and puts the sensitivity back.
class CurveExtremumPlacer : public ExtremumPlacer {
  public:
    CurveExtremumPlacer(TwoPhaseTracer* tr, EngineThermo* thermo, const double* beta,
                        const double* z, const uint8_t* flags, bool sameKind,
                        const double* newPoint)
        : tr_(tr),
          thermo_(thermo),
          beta_(beta),
          z_(z),
          flags_(flags),
          sameKind_(sameKind),
          newPoint_(newPoint) {}

    bool Place(int32_t watched, int32_t spec, double lo, double hi, bool swapTypes, bool maximum,
               double* at) override {
        const int32_t nc = tr_->ncomp;
        const int32_t n = tr_->n;
        if (spec == watched || !(lo != hi))
            return false;
        if (lo > hi)
            std::swap(lo, hi);
        std::copy(tr_->sens, tr_->sens + n, tr_->saveSens);
        if (swapTypes)
            SwapPhaseTypes(tr_);
        double* w = tr_->saveX;
        std::copy(at, at + n, w);
        // A solved point belongs to this stretch of the curve when its ln T
        // and ln P lie within kBranchJump of the range spanned by the
        // estimate and the step's two ends: on a long step across the
        // extremum the estimate alone can be further off than that.
        double range[2][2] = {{at[nc], at[nc]}, {at[nc + 1], at[nc + 1]}};
        const double* ends[2] = {newPoint_,
                                 tr_->history.Count() >= 1 ? tr_->history.At(0) : nullptr};
        for (const double* e : ends) {
            for (int j = 0; j < 2 && e != nullptr; ++j) {
                range[j][0] = std::min(range[j][0], e[nc + j]);
                range[j][1] = std::max(range[j][1], e[nc + j]);
            }
        }
        auto outside = [&](int j, double v) {
            return v < range[j][0] - kBranchJump || v > range[j][1] + kBranchJump;
        };
        double v = std::min(hi, std::max(lo, at[spec]));
        double vPrev = 0.0, gPrev = 0.0;
        // The solved points on either side of the extremum (the slope's sign),
        // which bound the secant's next step once both are known.
        double vRising = NAN, vFalling = NAN;
        double best = maximum ? -HUGE_VAL : HUGE_VAL;
        bool placed = false;
        for (int it = 0; it < kMaxPlacementSolves; ++it) {
            w[spec] = v;
            double t = 0.0, p = 0.0;
            UpdateFromUnknowns(tr_, &t, &p, tr_->savex, tr_->savey, z_, tr_->saveK, flags_, w,
                               *beta_);
            const int rc = SolvePoint(tr_, thermo_, *beta_, &t, &p, tr_->savex, tr_->savey, z_, w,
                                      tr_->saveK, flags_, spec, true, kUndefinedInt, sameKind_);
            if (rc < 0 || IsTrivial(w, flags_, nc) || outside(0, w[nc]) || outside(1, w[nc + 1]))
                break;
            // Close to a critical point the slope from the corrector's
            // sensitivity is noisy: the point kept is the most extreme one
            // solved, whatever the secant does.
            if (maximum ? w[watched] > best : w[watched] < best) {
                best = w[watched];
                std::copy(w, w + n, at);
                placed = true;
            }
            const double g = tr_->sens[watched];
            (g > 0.0 ? vRising : vFalling) = v;
            double next = 0.0;
            if (it == 0) {
                // A second point a little way towards the bracket's middle.
                next = v + (v < 0.5 * (lo + hi) ? 1e-3 : -1e-3) * (hi - lo);
            } else {
                if (g == gPrev)
                    break;
                next = v - g * (v - vPrev) / (g - gPrev);
                if (next < lo)
                    next = 0.5 * (v + lo);
                else if (next > hi)
                    next = 0.5 * (v + hi);
                if (!std::isnan(vRising) && !std::isnan(vFalling) &&
                    !(next > std::min(vRising, vFalling) && next < std::max(vRising, vFalling)))
                    next = 0.5 * (vRising + vFalling);
            }
            // Converged: the watched unknown is stationary here, and a
            // move this small in the specification changes it by less than
            // the corrector's rounding (the slope's noise would keep the
            // secant going to its last solve for nothing).
            if (std::fabs(next - v) < 1e-6 * (hi - lo))
                break;
            // The next point predicted along the tangent from this one.
            for (int32_t i = 0; i < n; ++i) {
                if (flags_[i] != 1)
                    w[i] += tr_->sens[i] * (next - v);
            }
            vPrev = v;
            gPrev = g;
            v = next;
        }
        if (swapTypes)
            SwapPhaseTypes(tr_);
        std::copy(tr_->saveSens, tr_->saveSens + n, tr_->sens);
        return placed;
    }

  private:
    // Solves for one extremum at most; the secant converges in four or five.
    static constexpr int kMaxPlacementSolves = 10;

    TwoPhaseTracer* tr_;
    EngineThermo* thermo_;
    const double* beta_;
    const double* z_;
    const uint8_t* flags_;
    bool sameKind_;
    const double* newPoint_;  // the point that ends the step, when it is given
};

}  // namespace

namespace {

// One trace of a constant-fraction curve: TraceCurve's arguments, the
// state its passes carry from one to the next, and its steps.
class CurveTrace {
  public:
    // What a pass does after one of its steps.
    enum class Flow {
        kGoOn,      // the pass goes on
        kNextPass,  // a new point is set up: the next pass solves it
        kStop,      // the trace ends
    };

    CurveTrace(TwoPhaseTracer* tr, EngineThermo* thermo, double* beta, double* x, double* y,
               const double* z, double* K, double pressLow, double pressHigh, int32_t pureCompIdx,
               double* X, const uint8_t* flags, double* T, double* P, uint8_t* threePhaseFound,
               double* thirdPhaseComp, double* threePhaseP, double* threePhaseT, int32_t accessMode,
               EnvelopePointStore* store, uint8_t* threePhaseCheck, bool sameKind,
               uint8_t* invertLine, int32_t pointType, const double* critT, const double* critP,
               uint8_t* stuck)
        : tr(tr),
          thermo(thermo),
          beta(beta),
          x(x),
          y(y),
          z(z),
          K(K),
          pressLow(pressLow),
          pressHigh(pressHigh),
          pureCompIdx(pureCompIdx),
          X(X),
          flags(flags),
          T(T),
          P(P),
          threePhaseFound(threePhaseFound),
          thirdPhaseComp(thirdPhaseComp),
          threePhaseP(threePhaseP),
          threePhaseT(threePhaseT),
          accessMode(accessMode),
          store(store),
          threePhaseCheck(threePhaseCheck),
          sameKind(sameKind),
          invertLine(invertLine),
          pointType(pointType),
          critT(critT),
          critP(critP),
          stuck(stuck),
          nc(tr->ncomp),
          foundAtHi(tr->ncomp, 0.0),
          xAtHi(tr->n, 0.0) {}

    // Lets the thermodynamics' phases go however the trace ends.
    ~CurveTrace() { thermo->EndTrace(); }
    CurveTrace(const CurveTrace&) = delete;
    CurveTrace& operator=(const CurveTrace&) = delete;

    int Run();

  private:
    void Start();
    bool CriticalShowsFurtherPhase();
    void BackToLastPoint();
    Flow OutsideWindow();
    Flow AfterFailure();
    Flow CheckFurtherPhase(double pKpa, double tC);
    bool FurtherPhaseFound(double pKpa, bool* lighter);
    bool Bisect(bool* exists, bool* lighter);
    bool OutsideBracket() const;
    Flow AtThreePhasePoint(double pKpa, double tC, bool lighter);
    Flow StoreAndPlan(int rc, double pKpa);
    int Finish();

    // TraceCurve's arguments.
    TwoPhaseTracer* tr;
    EngineThermo* thermo;
    double* beta;
    double* x;
    double* y;
    const double* z;
    double* K;
    double pressLow;
    double pressHigh;
    int32_t pureCompIdx;
    double* X;
    const uint8_t* flags;
    double* T;
    double* P;
    uint8_t* threePhaseFound;
    double* thirdPhaseComp;
    double* threePhaseP;
    double* threePhaseT;
    int32_t accessMode;
    EnvelopePointStore* store;
    uint8_t* threePhaseCheck;
    bool sameKind;
    uint8_t* invertLine;
    int32_t pointType;
    const double* critT;
    const double* critP;
    uint8_t* stuck;

    const int32_t nc;
    // The feed is a liquid where a dew curve starts; the feed is nearly one
    // compound; the trace is a dew curve of a vapour feed (set in Start).
    bool liquidFeed = false;
    bool nearPure = false;
    bool vapourDew = false;
    int32_t specVarIdx = 0;
    int32_t nActive = 0;
    int32_t numb = 0;
    double stepSize = 0.0;
    int smallSteps = 0;
    // The corrector's iterations and the step of the last accepted point.
    int lastRc = 0;
    double lastStep = 0.0;
    // Consecutive small steps kept as they were because the corrector's
    // iterations did not depend on them.
    int keptSmallSteps = 0;
    // Failures of ordinary steps (not of a critical crossing's attempts)
    // since the last accepted point.
    int failedSinceAccept = 0;
    bool firstPoint = true;
    double previousKpa = 0.0;
    int32_t curveCode = 0;
    double crossTarget = 0.0;
    int crossAttempt = 0;
    // The offset of the point being solved from the last accepted one, in
    // the specification variable; the bracket of a three-phase point's
    // bisection along the step.
    double trialStep = 0.0;
    bool bisecting = false;
    double bisectLo = 0.0;
    double bisectHi = 0.0;
    // The further phase found at the bracket's upper end, and the point
    // solved there.
    std::vector<double> foundAtHi;
    std::vector<double> xAtHi;
    bool lighterAtHi = false;
    bool haveFoundAtHi = false;
    // Solves the extrema passed on the curve (made once the kind of feed
    // is known).
    std::optional<CurveExtremumPlacer> placer;
};

// The trace's set-up: the tracer reset, the kind of feed, the step.
void CurveTrace::Start() {
    Reset(tr, thermo, sameKind);
    // A dew curve whose feed is a liquid where it starts (its liquid root
    // of lower Gibbs energy: 7 ppm of water coming out of liquid propane)
    // is the boundary of a liquid-liquid region, traced with both phases on
    // the liquid root; on the vapour root, which exists there too, it ran to
    // a spurious solution 30 K away. A provider whose saturation point
    // left it no vapour phase (a liquid and a second liquid) says the same.
    liquidFeed = !sameKind && *beta == 1.0 &&
                 (!thermo->HasPhase(PhaseRoot::kVapour) ||
                  FeedTakesLiquidRoot(tr, thermo, *T, *P, z, flags));
    if (liquidFeed)
        sameKind = true;
    // A feed of nearly one compound (a product with ppm of impurities).
    nearPure = *std::max_element(z, z + nc) > kNearPureFraction;
    // A dew curve of a vapour feed has the feed's own liquid as the further
    // phase where it crosses the feed's bubble curve: a dew curve of an
    // impurity crossing a product's narrow band (water out of CO2), or a
    // minor compound's dew curve meeting the main compound's bubble curve
    // (CO2 out of methane at 156 K). Past that point the feed's liquid root
    // is the lower, and the host's test, which takes the feed on that root,
    // has nothing to find: the roots are compared here.
    vapourDew = !sameKind && *beta == 1.0;
    specVarIdx = nc + 1;
    nActive = 0;
    for (int32_t i = 0; i < nc && nActive < 2; ++i) {
        if (flags[i] == 0)
            ++nActive;
    }
    numb = 0;
    store->GetNumPoints(&numb, accessMode);
    stepSize = kInitialStep * tr->firstStepSign;
    tr->firstStepSign = 1.0;
    curveCode = pointType;
    trialStep = stepSize;
}

// Whether the critical point that the last step crossed (the crossing
// ln K interpolated linearly to zero) shows the further phase found past
// it (in tr->scratchK). thirdPhaseComp holds the phase found there until
// the three-phase point's phase replaces it.
bool CurveTrace::CriticalShowsFurtherPhase() {
    const double* prev = tr->predictor[0];
    const int32_t k = tr->crossIdx;
    const double s = prev[k] / (prev[k] - X[k]);
    const double tK = std::exp(prev[nc] + s * (X[nc] - prev[nc]));
    const double pKpa = std::exp(prev[nc + 1] + s * (X[nc + 1] - prev[nc + 1])) * kKpaPerAtm;
    bool lighter = false;
    if (!thermo->FindsFurtherPhase(tK, pKpa, &lighter))
        return false;
    ReadFurtherPhase(tr, thermo, thirdPhaseComp);
    // The phase that ends the curve, not the critical phase of the feed
    // seen from a point interpolated a little inside the envelope: it
    // lies nearer the phase found past the crossing than the feed.
    return Distance(thirdPhaseComp, tr->scratchK, flags, nc) <
           Distance(thirdPhaseComp, z, flags, nc);
}

// The state of the last accepted point, for a trace that ends there.
void CurveTrace::BackToLastPoint() {
    std::copy(tr->predictor[0], tr->predictor[0] + tr->n, X);
    UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
}

// A prediction outside the pressure window.
CurveTrace::Flow CurveTrace::OutsideWindow() {
    // A prediction that leaves the pressure window by more than a
    // whole step in ln P from the last point is a step too long
    // (a tangent steep in ln P where a ln K is the step variable),
    // not the end of the curve: the step is halved.
    if (!firstPoint && tr->crossIdx < 0 &&
        std::fabs(X[nc + 1] - tr->predictor[0][nc + 1]) > kMaxStep &&
        std::fabs(stepSize / kMaxStep) >= kCollapseLimit) {
        stepSize /= 2.0;
        Predict(tr, X, stepSize, flags);
        UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
        trialStep = stepSize;
        return Flow::kNextPass;
    }
    // Such a prediction from a step that cannot be shortened any
    // further did not reach the window's end: the trace stops short.
    // The state goes back to the last point.
    if (!firstPoint && std::fabs(X[nc + 1] - tr->predictor[0][nc + 1]) > kMaxStep) {
        *stuck = 1;
        BackToLastPoint();
    }
    return Flow::kStop;
}

// A point that failed (not the first): another way across a critical
// point, the bracket's end of a bisection, or a retreat to half the step.
CurveTrace::Flow CurveTrace::AfterFailure() {
    if (tr->crossIdx < 0)
        ++failedSinceAccept;
    if (tr->crossIdx >= 0 && ++crossAttempt < (nearPure ? 4 : 3)) {
        // Another way across: a target twice as far beyond zero
        // (better conditioned, near a pure compound's critical point
        // above all), then a straight line through the last two
        // points, then, for a near-pure feed, the parabola through
        // the last three in the crossed ln K itself (near a pure
        // compound's critical point pressure and temperature turn
        // back, and a polynomial in them cannot reach the other
        // side).
        const double v = tr->predictor[0][tr->crossIdx];
        const double target = crossAttempt == 1 ? 2.0 * crossTarget : crossTarget;
        const bool placed =
            crossAttempt < 3 ? tr->history.Reach(nullptr, crossAttempt == 2 ? 2 : 3, tr->crossIdx,
                                                 target, X, flags)
                             : tr->history.Interpolate(nullptr, 3, tr->crossIdx, target, X, flags);
        if (placed) {
            stepSize = target - v;
            trialStep = stepSize;
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
            return Flow::kNextPass;
        }
    }
    if (bisecting) {
        // A point inside the bracket failed: the three-phase point
        // is taken at the bracket's end that showed the phase.
        trialStep = bisectHi;
        bisectLo = bisectHi;
        PredictAt(tr, flags, trialStep, X);
        UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
        return Flow::kNextPass;
    }
    const bool crossing = tr->crossIdx >= 0;
    AbandonCrossing(tr);
    stepSize /= 2.0;
    if (std::fabs(stepSize / kMaxStep) < kCollapseLimit) {
        *stuck = 1;
        BackToLastPoint();
        return Flow::kStop;
    }
    // A crossing that failed every way is planned again with half
    // the band; a shorter ordinary step must not cross zero
    // unplanned.
    if (crossing) {
        tr->crossBand *= 0.5;
        if (PlanCrossing(tr, specVarIdx, nActive, flags, critT, X, &stepSize, &crossTarget)) {
            crossAttempt = 0;
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
            trialStep = stepSize;
            return Flow::kNextPass;
        }
    }
    Predict(tr, X, stepSize, flags);
    UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
    trialStep = stepSize;
    return Flow::kNextPass;
}

// Whether the host's further-phase test finds a further phase at the
// converged point (T, pKpa), into tr->scratchK, and whether it is a vapour.
bool CurveTrace::FurtherPhaseFound(double pKpa, bool* lighter) {
    bool exists = thermo->FindsFurtherPhase(*T, pKpa, lighter);
    // The host's test does not know the phase incipient on this
    // curve: a point converged a little inside the curve near a
    // critical point shows that phase below the feed's tangent
    // plane, and it is no further phase.
    if (exists) {
        ReadFurtherPhase(tr, thermo, tr->scratchK);
        // Unless the phase is of the other kind than the incipient
        // phase, well away from a critical point (where the kinds
        // are told apart reliably): it is then the incipient phase's
        // composition on its other root, as where a heavy liquid's
        // incipient vapour of almost pure methane reaches methane's
        // own vapour-pressure curve and a liquid of that
        // composition forms.
        const double* incipient = *beta == 1.0 ? x : *beta == 0.0 ? y : nullptr;
        if (incipient != nullptr && !ApartFrom(tr->scratchK, incipient, flags, nc)) {
            const int32_t incipientType = incipient == x ? tr->phaseTypeA : tr->phaseTypeB;
            const bool otherKind = *lighter != (incipientType < 0);
            const bool farFromCritical = Distance(z, incipient, flags, nc) > 0.1;
            if (!otherKind || !farFromCritical)
                exists = false;
        }
        // A trace restarted from a three-phase point starts where the
        // phase it leaves is on the feed's tangent plane too; that
        // phase, met again at the first point, is no further phase.
        if (firstPoint && !ApartFrom(tr->scratchK, thirdPhaseComp, flags, nc))
            exists = false;
    }
    if (!exists && vapourDew && !firstPoint && *invertLine == 0 && tr->phaseTypeB < 0 &&
        FeedTakesLiquidRoot(tr, thermo, *T, *P, z, flags)) {
        exists = true;
        *lighter = false;
        std::copy(z, z + nc, tr->scratchK);
    }
    return exists;
}

// The bisection along the step for where the further phase appears; the
// phase found at the bracket's upper end before stands there. True when
// the next point of the bisection is set up; otherwise the further phase
// (when *exists) is that of the bracket's end.
// Whether the point just solved lies beyond the bisection's bracket (the
// last accepted point and the point at its upper end) by more than a
// quarter of the bracket's span, both in ln T and in ln P.
bool CurveTrace::OutsideBracket() const {
    if (!haveFoundAtHi)
        return false;
    for (int32_t j = nc; j < nc + 2; ++j) {
        const double a = tr->predictor[0][j], b = xAtHi[j];
        const double margin = 0.25 * std::fabs(b - a);
        if (X[j] >= std::min(a, b) - margin && X[j] <= std::max(a, b) + margin)
            return false;
    }
    return true;
}

bool CurveTrace::Bisect(bool* exists, bool* lighter) {
    // Where along the step the further phase appears is found by
    // bisection, without storing the points solved on the way: the
    // three-phase point ends the curve, and a trace that stepped
    // past it and crept back stored points inside the envelope.
    if (!firstPoint && (*exists || bisecting)) {
        // A point inside the bracket that the corrector took beyond both
        // of its ends, in temperature and in pressure, lies on another
        // stretch of the curve (near a critical point the crossed ln K
        // runs over the same values on a metastable stretch, where the
        // further phase shows too): the three-phase point is taken at the
        // bracket's end that showed the phase. (A methane-rich gas with
        // C4 and C10 put one 28 kPa inside its bubble curve.)
        if (bisecting && trialStep != bisectHi && OutsideBracket()) {
            trialStep = bisectHi;
            bisectLo = bisectHi;
            PredictAt(tr, flags, trialStep, X);
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
            stepSize = trialStep;
            return true;
        }
        if (!bisecting) {
            bisecting = true;
            bisectLo = 0.0;
        }
        // The bracket's upper end is solved again once the bracket
        // is narrow. Where the test there no longer shows the phase
        // (the host's test starts from its last call's stationary
        // points, and a phase found from those may escape its
        // standard trials), the phase found there before stands: a
        // phase below the plane is proof enough, and the bisection
        // would otherwise return to the same point without end.
        if (!*exists && trialStep == bisectHi && haveFoundAtHi) {
            *exists = true;
            *lighter = lighterAtHi;
            std::copy(foundAtHi.begin(), foundAtHi.end(), tr->scratchK);
        }
        if (*exists) {
            std::copy(tr->scratchK, tr->scratchK + nc, foundAtHi.begin());
            std::copy(X, X + tr->n, xAtHi.begin());
            lighterAtHi = *lighter;
            haveFoundAtHi = true;
        }
        (*exists ? bisectHi : bisectLo) = trialStep;
        if (!BracketNarrow(tr, flags, bisectLo, bisectHi) || !*exists) {
            trialStep = BracketNarrow(tr, flags, bisectLo, bisectHi) ? bisectHi
                                                                     : 0.5 * (bisectLo + bisectHi);
            PredictAt(tr, flags, trialStep, X);
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
            stepSize = trialStep;
            return true;
        }
    }
    return false;
}

// A further phase found at the converged point (T, pKpa; tC in degrees
// Celsius): the three-phase point that ends the curve, or a dew curve
// meeting the bubble curve.
CurveTrace::Flow CurveTrace::AtThreePhasePoint(double pKpa, double tC, bool lighter) {
    // The step crossed a critical point before the further phase
    // appeared: the critical point is stored first, and the
    // three-phase point lies on the curve's other side (a dew
    // curve's continuation as a bubble curve). Unless the
    // critical point (where the crossing ln K interpolates to
    // zero) shows the further phase itself: it is then
    // metastable, the phase appeared within the crossing's band,
    // where no point is solved, and no critical point is stored.
    bool pastMetastableCritical = false;
    if (tr->crossIdx >= 0 && CriticalBetween(tr->predictor[0], X, tr->crossIdx, nc, flags, critT)) {
        pastMetastableCritical = CriticalShowsFurtherPhase();
        if (!pastMetastableCritical) {
            UpdatePredictor(tr, &specVarIdx, X, &stepSize, flags, accessMode, store, &numb, critT,
                            critP, nActive, &curveCode, &*placer);
            CheckPhaseSwap(tr, invertLine);
        }
    }
    for (int32_t i = 0; i < nc; ++i)
        thirdPhaseComp[i] = tr->scratchK[i];
    if (lighter && *beta == 1.0 && *invertLine == 0) {
        // A vapour appears at a dew point: the dew curve meets
        // the bubble curve here, and beyond this point it runs
        // inside the envelope. The point ends the dew curve; the
        // trace ends as stuck, and the bubble side is traced up
        // to the same point from below. A point found past a
        // metastable critical point lies beyond the meeting
        // point, which the bubble side finds: the dew curve ends
        // at its last point.
        if (!pastMetastableCritical) {
            AppendPoint(store, &numb, curveCode, pKpa, *T, accessMode);
        } else {
            BackToLastPoint();
        }
        *stuck = 1;
        tr->crossingStop = kStopAtBubbleCurve;
        return Flow::kStop;
    }
    *threePhaseFound = 1;
    *threePhaseP = pKpa / kKpaPerAtm;
    *threePhaseT = tC + kKelvinOffset;
    if (*beta != 0.0 || *invertLine != 0)
        return Flow::kStop;
    *threePhaseCheck = 0;
    return Flow::kGoOn;
}

// The host's further-phase test at the converged point (T, pKpa; tC in
// degrees Celsius): a further phase found ends the curve at a three-phase
// point, located by bisection along the step.
CurveTrace::Flow CurveTrace::CheckFurtherPhase(double pKpa, double tC) {
    bool lighter = false;
    bool exists = FurtherPhaseFound(pKpa, &lighter);
    if (Bisect(&exists, &lighter))
        return Flow::kNextPass;
    return exists ? AtThreePhasePoint(pKpa, tC, lighter) : Flow::kGoOn;
}

// Stores the converged point (rc the corrector's iterations) with the
// special points passed since the last, and plans the next step.
CurveTrace::Flow CurveTrace::StoreAndPlan(int rc, double pKpa) {
    bisecting = false;
    previousKpa = pKpa;

    UpdatePredictor(tr, &specVarIdx, X, &stepSize, flags, accessMode, store, &numb, critT, critP,
                    nActive, &curveCode, &*placer);

    if (!(pureCompIdx >= 0 && *P >= pressHigh) &&
        !(firstPoint && IsLastRow(store, numb, curveCode, pKpa, *T, accessMode))) {
        AppendPoint(store, &numb, curveCode, pKpa, *T, accessMode);
    }
    tr->history.Push(X);
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 0)
            tr->lnKScale = std::max(tr->lnKScale, std::fabs(X[i]));
    }
    // A crossing planned as critical that turned out not to be one.
    if (tr->crossSwapped != 0)
        AbandonCrossing(tr);
    tr->crossIdx = -1;
    if (*P < pressLow || *P > pressHigh || *threePhaseFound != 0)
        return Flow::kStop;

    // A small step counts towards a stall only where the corrector
    // struggles (it needed many iterations, or the step was halved after
    // failures): a step kept small by a bend of the curve (the chord
    // limit) and converged in the target number of iterations is a
    // trace going on, not one that cannot.
    // Along a stretch where every ln K stays small (a bubble curve
    // between two critical points), the corrector takes four or five
    // iterations whatever the step: a small step that converged no
    // faster than the larger one before it is kept as it is, and is no
    // stall.
    const bool iterationsIgnoreStep = rc > 3 && failedSinceAccept == 0 && lastRc > 3 &&
                                      std::fabs(stepSize) < kSmallStep &&
                                      std::fabs(stepSize) <= std::fabs(lastStep);
    lastRc = rc;
    lastStep = stepSize;
    const bool struggled = (rc > 3 && !iterationsIgnoreStep) || failedSinceAccept > 0;
    failedSinceAccept = 0;
    // Such steps carry a trace along a short stretch; kept up for longer they
    // are a creep (towards a liquid-liquid critical point, whose corrector
    // never needs fewer iterations), and the trace stops short.
    const bool crept = StepStalled(iterationsIgnoreStep ? stepSize : kMaxStep, kSmallStep,
                                   kMaxKeptSmallSteps, &keptSmallSteps);
    if (crept ||
        StepStalled(struggled ? stepSize : kMaxStep, kSmallStep, kSmallStepCount, &smallSteps)) {
        *stuck = 1;
        return Flow::kStop;
    }
    if (!iterationsIgnoreStep)
        AdaptStepToIterations(rc, &stepSize);
    // The step is bounded before the prediction, so that the step taken
    // never exceeds the maximum and the extremum tests (which need
    // |h| < 1.01) see every step of an ordinary stretch of curve.
    ClampStep(kMaxStep, &stepSize);
    if (PlanCrossing(tr, specVarIdx, nActive, flags, critT, X, &stepSize, &crossTarget)) {
        crossAttempt = 0;
    } else {
        PredictAwayFromZero([&](double* out, double s) { Predict(tr, out, s, flags); }, X,
                            specVarIdx, false, &stepSize);
        ClampStep(kMaxStep, &stepSize);
        LimitStepToChord(tr, flags, X, &stepSize);
    }
    UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
    trialStep = stepSize;
    firstPoint = false;
    return Flow::kNextPass;
}

// After the last pass: a trace that stored nothing, a liquid-liquid
// boundary handed to the bubble side, a single compound's mirrored curve.
int CurveTrace::Finish() {
    if (firstPoint) {
        *threePhaseFound = 0;
        return 1;
    }
    // That boundary is no side of the vapour-liquid envelope: where it did
    // not pass a critical point, the trace ends as one that the bubble side
    // completes, so that the vapour-liquid curves are traced from below.
    if (liquidFeed && *invertLine == 0 && *stuck == 0 && *threePhaseFound == 0) {
        *stuck = 1;
        tr->crossingStop = kStopAtLiquidBoundary;
    }
    if (pureCompIdx >= 0 && (previousKpa == 0.0 || previousKpa / kKpaPerAtm > pressHigh / 2.0)) {
        // A single compound's curve ends at its critical point: the bubble
        // side is the same curve, stored again in reverse.
        AppendPoint(store, &numb, kPointCritical, critP[pureCompIdx], critT[pureCompIdx],
                    accessMode);
        const int32_t mirrorCode = curveCode == 4 ? 1 : 4;
        for (int32_t row = numb - 2; row >= 0; --row) {
            double pRow = 0.0;
            double tRow = 0.0;
            store->GetValue(row, kCodePressure, &pRow, accessMode);
            store->GetValue(row, kCodeTemperature, &tRow, accessMode);
            AppendPoint(store, &numb, mirrorCode, pRow, tRow, accessMode);
        }
    }
    store->SetNumPoints(numb, accessMode);
    return 0;
}

int CurveTrace::Run() {
    Start();
    placer.emplace(tr, thermo, beta, z, flags, sameKind, X);
    int pass = 1;
    for (; pass < kMaxPasses; ++pass) {
        CheckPhaseSwap(tr, invertLine);
        if (*P < pressLow || *P > pressHigh) {
            if (OutsideWindow() == Flow::kNextPass)
                continue;
            break;
        }

        const double predictedLnT = X[nc], predictedLnP = X[nc + 1];
        int rc = SolvePoint(tr, thermo, *beta, T, P, x, y, z, X, K, flags, specVarIdx,
                            firstPoint || tr->crossIdx >= 0, pureCompIdx, sameKind);
        // Both phases the feed: the equations hold at any temperature and
        // pressure there, and such a point is no point of the curve.
        if (rc >= 0 && nActive > 1 &&
            (IsTrivial(X, flags, nc) ||
             (!firstPoint && tr->crossIdx < 0 && FellOntoTrivial(tr->predictor[0], X, flags, nc))))
            rc = -7;
        // A point far from its prediction lies on another stretch of the
        // curve (the same ln K is met twice on a narrow envelope) or on
        // another curve.
        if (rc >= 0 && !firstPoint &&
            JumpedAway(tr->predictor[0], predictedLnT, predictedLnP, X, nc))
            rc = -8;
        tr->haveInner = 0;
        if (rc >= 0 && tr->crossIdx >= 0 &&
            X[tr->crossIdx] * tr->predictor[0][tr->crossIdx] < 0.0) {
            SolveInnerCrossingPoint(tr, thermo, *beta, T, P, x, y, z, X, K, flags, nActive,
                                    sameKind);
        }
        if (rc < 0) {
            if (firstPoint || AfterFailure() == Flow::kStop)
                break;
            continue;
        }

        // A point reached only by halving the step below the floor after
        // failures, whose tangent keeps the same step variable, is where the
        // trace cannot go on: it stops there rather than creep on in ever
        // smaller steps. (Near a critical point the tangent hands the step
        // to a ln K, and the trace goes on.)
        if (failedSinceAccept >= 2 && !bisecting && tr->crossIdx < 0 &&
            std::fabs(trialStep) < 2.0 * kSmallStep &&
            FastestUnknown(tr->sens, flags, tr->n) == specVarIdx) {
            *stuck = 1;
            break;
        }
        *T = ClampedExp(X[nc]);
        *P = ClampedExp(X[nc + 1]);
        const double pKpa = *P * kKpaPerAtm;
        const double tC = *T - kKelvinOffset;

        if (*threePhaseCheck != 0) {
            const Flow flow = CheckFurtherPhase(pKpa, tC);
            if (flow == Flow::kNextPass)
                continue;
            if (flow == Flow::kStop)
                break;
        }
        if (StoreAndPlan(rc, pKpa) == Flow::kStop)
            break;
    }
    // Every pass used and the curve not at its end: the trace crept (steps
    // that converge but stay tiny, towards a liquid-liquid critical point)
    // and stops short.
    if (pass == kMaxPasses) {
        *stuck = 1;
        BackToLastPoint();
    }
    return Finish();
}

}  // namespace

int TraceCurve(TwoPhaseTracer* tr, EngineThermo* thermo, double* beta, double* x, double* y,
               const double* z, double* K, double pressLow, double pressHigh, int32_t pureCompIdx,
               double* X, const uint8_t* flags, double* T, double* P, uint8_t* threePhaseFound,
               double* thirdPhaseComp, double* threePhaseP, double* threePhaseT, int32_t accessMode,
               EnvelopePointStore* store, uint8_t* threePhaseCheck, bool sameKind,
               uint8_t* invertLine, int32_t pointType, int32_t /*unused*/, const double* critT,
               const double* critP, uint8_t* stuck) {
    CurveTrace trace(tr, thermo, beta, x, y, z, K, pressLow, pressHigh, pureCompIdx, X, flags, T, P,
                     threePhaseFound, thirdPhaseComp, threePhaseP, threePhaseT, accessMode, store,
                     threePhaseCheck, sameKind, invertLine, pointType, critT, critP, stuck);
    return trace.Run();
}
