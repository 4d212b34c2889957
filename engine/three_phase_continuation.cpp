// Continuation along the boundaries of the three-phase region.
#include "engine/three_phase_continuation.h"

#include <algorithm>
#include <cmath>

#include "core/com_error.h"
#include "core/units.h"
#include "engine/cubic_predictor.h"
#include "engine/matrix_lu_solver.h"
#include "engine/step_control.h"
#include "engine/three_phase_point_solver.h"

namespace {

const double kInitialStep = 0.5;
const double kMaxStep = 1.0;
const int kMaxPasses = 400;
const double kCollapseLimit = 1e-4;
const double kStallLimit = 0.005;
const int kStallCount = 2;
// Small steps in a row that a boundary may take, however quickly each
// converges: more are a creep towards a point it does not reach.
const int kMaxSmallSteps = 30;

// Whether the sign change of unknown `changed` between the previous point
// (prev) and X marks a critical point: every other significant unknown of
// the same family kept its sign, none is far from zero on both sides (with
// three compounds or more), and their critical temperatures agree to 10 K.
bool CriticalSignChange(const double* prev, const double* X, int32_t changed, int32_t offset,
                        int32_t ncomp, const uint8_t* flags, const double* Tc) {
    if (!(prev[offset + changed] * X[offset + changed] < 0.0))
        return false;
    bool haveReference = false;
    double tcRef = 0.0;
    for (int32_t j = 0; j < ncomp; ++j) {
        if (flags[j] == 1)
            continue;
        const double now = X[offset + j];
        const double before = prev[offset + j];
        if (!(now * before >= 0.0 && std::fabs(now) > 0.005 && std::fabs(before) > 0.005)) {
            continue;
        }
        if (!haveReference) {
            if (ncomp < 3 || (std::fabs(now) > 0.5 && std::fabs(before) > 0.5))
                return false;
            haveReference = true;
            tcRef = Tc[j];
        } else if (std::fabs(Tc[j] - tcRef) > 10.0) {
            return false;
        }
    }
    return true;
}

// The offset from the current point at which the predicted ln K `k`
// vanishes. -X[k] is that offset when ln K is itself the specification
// variable; in general the step is taken in another unknown, and the zero of
// the predictor's cubic for ln K is found by Newton's method from the
// tangent's estimate. Falls back to -X[k] when no zero lies within one and a
// half steps (`delta`, the last step) of the current point.
double CrossingOffset(const ThreePhaseTracer* tr, int32_t k, double delta) {
    const double c0 = tr->hist[0][k];
    const double c1 = tr->hist[1][k];
    const double c2 = tr->hist[2][k];
    const double c3 = tr->hist[3][k];
    if (c1 == 0.0)
        return -c0;
    double s = -c0 / c1;
    for (int iter = 0; iter < 8; ++iter) {
        const double f = ((c3 * s + c2) * s + c1) * s + c0;
        const double df = (3.0 * c3 * s + 2.0 * c2) * s + c1;
        if (df == 0.0)
            break;
        s -= f / df;
    }
    const double f = ((c3 * s + c2) * s + c1) * s + c0;
    if (!std::isfinite(s) || std::fabs(s) > 1.5 * std::fabs(delta) || std::fabs(f) > 1e-6)
        return -c0;
    return s;
}

// Near a critical end point two of the three phases become alike and the
// ln K between them tend to zero together, whichever unknown the step is
// taken in; a point converged close to that zero has the near-singular
// Jacobian of a critical point, where the corrector fails and the trace used
// to collapse short of it. No point is converged within this band of a
// ln K's zero: the trace lands on the band's edge, then crosses to the other
// edge in one step predicted through the last converged points, and the
// critical end point is located on the polynomial through them.
const double kCriticalBand = 0.1;
// Beyond this |ln K| a compound is a trace in one of the phases.
const double kTraceLnK = 30.0;
// A pair of phases counts as approaching a critical end point once every
// ln K between them lies below this.
const double kCriticalSpread = 1.0;

// The point where ln K number k equals `target`, predicted from the last
// converged point: through the polynomial of up to `nodes` points when
// they are spread along that ln K over at least 0.3 of the step (else the
// extrapolation is unreliable), otherwise along the tangent (not for a step
// across zero, where the tangent is unreliable). False when neither serves.
bool PredictAlong(ThreePhaseTracer* tr, int32_t k, double target, int32_t nodes,
                  const uint8_t* flags, double* X) {
    const double* c0 = tr->hist[0];
    const double* c1 = tr->hist[1];
    const double step = target - c0[k];
    double lo = c0[k], hi = c0[k];
    for (int32_t h = 1; h < tr->history.Count() && h < nodes; ++h) {
        lo = std::min(lo, tr->history.At(h)[k]);
        hi = std::max(hi, tr->history.At(h)[k]);
    }
    if (hi - lo >= 0.3 * std::fabs(step) &&
        tr->history.Interpolate(nullptr, nodes, k, target, X, flags)) {
        return true;
    }
    if (target * c0[k] < 0.0 || c1[k] == 0.0)
        return false;
    for (int32_t i = 0; i < tr->neq; ++i) {
        if (flags[i] != 1)
            X[i] = c0[i] + step * c1[i] / c1[k];
    }
    X[k] = target;
    return true;
}

// Plans the next step near a critical end point. Two phases approach each
// other when every ln K of one set (reference against phase 1, or against
// phase 2) lies below kCriticalSpread and their largest shrank since the
// previous point. The step is then taken in that largest ln K, the natural
// parameter of the curve there (the others fold with a square root in it):
// toward zero, two fifths of its value at a time, down to the band's edge;
// from the edge it crosses to the other edge. Predictions come from the
// polynomial through the last points once they are spread along that ln K,
// from the tangent before. X, *stepSize (the step in that ln K) and
// *specVarIdx are updated; tr->crossIdx is set for a crossing. Returns the
// ln K planned for, or -1 when the ordinary prediction stands.
int32_t PlanCriticalApproach(ThreePhaseTracer* tr, double* X, const uint8_t* flags,
                             double* stepSize, int32_t* specVarIdx) {
    const double* c0 = tr->hist[0];
    const int32_t nc = tr->ncomp;
    if (tr->history.Count() < 2)
        return -1;
    const double* before = tr->history.At(1);
    double spread[2] = {0.0, 0.0};
    double spreadBefore[2] = {0.0, 0.0};
    int32_t largest[2] = {-1, -1};
    for (int32_t i = 0; i < 2 * nc; ++i) {
        if (flags[i] != 0)
            continue;
        const int32_t f = i / nc;
        if (std::fabs(c0[i]) > spread[f]) {
            spread[f] = std::fabs(c0[i]);
            largest[f] = i;
        }
        spreadBefore[f] = std::max(spreadBefore[f], std::fabs(before[i]));
    }
    int32_t k = -1;
    for (int32_t f = 0; f < 2; ++f) {
        if (largest[f] >= 0 && spread[f] < kCriticalSpread && spread[f] < spreadBefore[f] &&
            (k < 0 || spread[f] < std::fabs(c0[k]))) {
            k = largest[f];
        }
    }
    if (k < 0)
        return -1;
    const double side = c0[k] > 0.0 ? 1.0 : -1.0;
    const double now = std::fabs(c0[k]);
    double target;
    if (now > 1.5 * kCriticalBand) {
        target = side * std::max(kCriticalBand, 0.6 * now);
    } else {
        target = -side * std::max(now, kCriticalBand);
        tr->crossIdx = k;
    }
    if (!PredictAlong(tr, k, target, 3, flags, X)) {
        tr->crossIdx = -1;
        return -1;
    }
    *stepSize = target - c0[k];
    *specVarIdx = k;
    return k;
}

// Two of the three phases alike: every ln K of one set, or every difference
// of the two sets, below 1e-3. The equations hold there at any temperature
// and pressure.
bool IsTrivial(const double* X, const uint8_t* flags, int32_t nc) {
    double k2 = 0.0, k1 = 0.0, k12 = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] != 0)
            continue;
        k2 = std::max(k2, std::fabs(X[i]));
        k1 = std::max(k1, std::fabs(X[nc + i]));
        k12 = std::max(k12, std::fabs(X[i] - X[nc + i]));
    }
    return k2 < 1e-3 || k1 < 1e-3 || k12 < 1e-3;
}

// Shrinks the step until the chord from the last point to the predicted
// next one stays close to the predicted curve; X receives the prediction.
void LimitStepToChord(ThreePhaseTracer* tr, const uint8_t* flags, double* X, double* stepSize) {
    for (int k = 0; k < 20; ++k) {
        Predict(tr, tr->scratchX, 0.5 * *stepSize, flags);
        Predict(tr, X, *stepSize, flags);
        if (ChordError(tr->hist[0], tr->scratchX, X, tr->idxLnT, tr->idxLnP) <= 1.0)
            return;
        // Not below what the stall test takes for a trace that cannot go
        // on: a sharp bend is drawn with the chord it gets.
        if (std::fabs(*stepSize) * 0.6 < 1.2 * kStallLimit)
            return;
        *stepSize *= 0.6;
    }
}

// A boundary ends where a phase fraction that is not held fixed falls
// below this: it meets a two-phase boundary there.
const double kCornerFraction = 1e-3;

// The smaller of the free and the derived phase fraction of betaMode (the
// fixed one is betaRef for mode 3, beta2 for 5, beta1 otherwise).
double UnfixedFractionMinimum(int32_t betaMode, double betaRef, double beta1, double beta2) {
    if (betaMode == 3)
        return std::min(beta1, beta2);
    if (betaMode == 5)
        return std::min(betaRef, beta1);
    return std::min(betaRef, beta2);
}

bool InsideWindow(double P, double Pmin, double Pmax) {
    return P >= Pmin && P <= Pmax;
}

}  // namespace

void BeginTrace(ThreePhaseTracer* tr, EngineThermo* thermo) {
    tr->phaseCode1 = 1;
    tr->phaseCodeRef = -1;
    tr->phaseCode2 = 2;
    tr->history.Clear();
    tr->crossIdx = -1;
    for (int32_t i = 0; i < tr->neq; ++i) {
        for (int32_t j = 0; j < tr->neq; ++j)
            tr->jac[i][j] = i == j ? 1.0 : 0.0;
        tr->resid[i] = 0.0;
        tr->sens[i] = 0.0;
        for (double* row : tr->hist)
            row[i] = 0.0;
    }
    if (thermo != nullptr)
        thermo->BeginThreePhaseTrace();
}

void Predict(ThreePhaseTracer* tr, double* out, double s, const uint8_t* flags) {
    EvaluateCubic(tr->hist, tr->neq, flags, s, out);
}

namespace {

// The previous point and its tangent move down into c2 and c3. Returns the
// unknown with the largest tangent component, leaving out the ln K of
// compounds one phase holds only in traces (a heavy hydrocarbon in water,
// ln K of a hundred: it changes fastest of all and says nothing about the
// boundary, and stepping in it would crawl); *fastestLnK receives the ln K
// with the largest component, traces included.
int32_t ShiftAndFindFastest(ThreePhaseTracer* tr, const double* X, const uint8_t* flags,
                            int32_t* fastestLnK) {
    const int32_t nc = tr->ncomp;
    double** c = tr->hist;
    int32_t fastest = 0;
    *fastestLnK = 0;
    double largest = -1.0;
    double largestK = -1.0;
    for (int32_t i = 0; i < tr->neq; ++i) {
        if (flags[i] == 1)
            continue;
        c[2][i] = c[0][i];
        c[3][i] = c[1][i];
        const double a = std::fabs(tr->sens[i]);
        const bool trace = i < 2 * nc && std::fabs(X[i]) > kTraceLnK;
        if (a > largest && !trace) {
            largest = a;
            fastest = i;
        }
        if (i < 2 * nc && a > largestK) {
            largestK = a;
            *fastestLnK = i;
        }
    }
    return fastest;
}

// Normalises both points' tangents to the specification unknown, puts the
// new point in c0 and, with a previous point, fits the Hermite cubic
// through the two into c0..c3; returns the step in that unknown (0 without
// a previous point).
double RefitCubic(ThreePhaseTracer* tr, const double* X, const uint8_t* flags, int32_t spec,
                  bool noHistory) {
    NormaliseTangents(tr->hist, tr->neq, flags, tr->sens, X, spec, !noHistory);
    if (noHistory)
        return 0.0;
    const double delta = tr->hist[0][spec] - tr->hist[2][spec];
    FitHermite(tr->hist, tr->neq, flags, delta, false);
    return delta;
}

// Stores the critical end point of kind `type` where the polynomial through
// this point and the previous ones crosses zero in the ln K `crossing` (the
// tangents are unreliable this close to it), else where the cubic does.
// Uses the tracer's sensitivity array as scratch.
void StoreCriticalEndPoint(ThreePhaseTracer* tr, const double* X, const uint8_t* flags,
                           int32_t crossing, int32_t type, double delta, int32_t accessMode,
                           EnvelopePointStore* store, int32_t* numbCalculatedPoints) {
    const int32_t neq = tr->neq;
    if (!tr->history.Reach(X, PointHistory::kCapacity, crossing, 0.0, tr->sens, flags))
        Predict(tr, tr->sens, CrossingOffset(tr, crossing, delta), flags);
    const double T = ClampedExp(tr->sens[neq - 3]);
    const double P = ClampedExp(tr->sens[neq - 2]);
    const int32_t row = *numbCalculatedPoints;
    store->SetPointType(row, type, accessMode);
    store->SetValue(row, kCodePressure, P * kKpaPerAtm, accessMode);
    store->SetValue(row, kCodeTemperature, T, accessMode);
    *numbCalculatedPoints += 1;
}

}  // namespace

void UpdatePredictor(ThreePhaseTracer* tr, int32_t* specVarIdx, const double* X, double* stepSize,
                     const uint8_t* flags, int32_t accessMode, EnvelopePointStore* store,
                     int32_t* numbCalculatedPoints, const double* Tc, int32_t numFree,
                     uint8_t* critFound) {
    const int32_t nc = tr->ncomp;
    const double* c2 = tr->hist[2];

    int32_t c = 0;
    int32_t newSpec = ShiftAndFindFastest(tr, X, flags, &c);
    const bool noHistory = c2[newSpec] == 0.0;
    // The first point's tangent is normalised to the unknown it was solved
    // at: ln P usually; the free fraction's logarithm for a boundary that
    // starts where that fraction vanishes, which changes there far faster
    // than ln P.
    if (noHistory)
        newSpec = *specVarIdx;

    int32_t type = 0;
    int32_t crossing = -1;  // the ln K whose sign change marks the critical point
    bool found = false;
    // A step planned across a ln K's zero watches that ln K.
    if (tr->crossIdx >= 0)
        c = tr->crossIdx;
    if (c >= nc)
        c -= nc;
    if (!noHistory && numFree > 1) {
        if (CriticalSignChange(c2, X, c, 0, nc, flags, Tc)) {
            type = kPointThreePhaseCritical;
            crossing = c;
            found = true;
        }
        if (CriticalSignChange(c2, X, c, nc, nc, flags, Tc)) {
            type = found ? kPointThreePhaseCriticalOther : kPointThreePhaseCritical;
            crossing = nc + c;
            found = true;
        }
        if (found)
            *critFound = 1;
    }

    const double delta = RefitCubic(tr, X, flags, newSpec, noHistory);
    if (!noHistory) {
        *stepSize = delta;
        if (found) {
            StoreCriticalEndPoint(tr, X, flags, crossing, type, delta, accessMode, store,
                                  numbCalculatedPoints);
        }
    }
    *specVarIdx = newSpec;
}

// Whether a composition has a mole fraction below zero beyond rounding, or
// one that is not a number.
bool HasNegativeFraction(const double* x, int32_t nc) {
    for (int32_t i = 0; i < nc; ++i) {
        if (!(x[i] >= -1e-12))
            return true;
    }
    return false;
}

// Whether a further phase lies below the tangent plane that the three
// phases of a converged point share. The test is made on the most abundant
// phase; what it finds within 1e-3 in every mole fraction of one of the
// three is that phase, not a further one.
bool FurtherPhaseBelow(ThreePhaseTracer* tr, FurtherPhaseTest* test, double T, double pKpa,
                       double betaRef, double beta1, double beta2, const double* xRef,
                       const double* x1, const double* x2) {
    const double* tested = xRef;
    if (beta1 > betaRef && beta1 >= beta2)
        tested = x1;
    else if (beta2 > betaRef && beta2 > beta1)
        tested = x2;
    double* found = tr->foundPhase;
    if (!test->FindsPhaseBelow(T, pKpa, tested, found))
        return false;
    for (const double* phase : {xRef, x1, x2}) {
        double apart = 0.0;
        for (int32_t i = 0; i < tr->ncomp; ++i)
            apart = std::max(apart, std::fabs(found[i] - phase[i]));
        if (apart <= 1e-3)
            return false;
    }
    return true;
}

namespace {

// The code of a converged point that is no point of the boundary, else
// `ret`: -7 a trivial solution (where more than one compound is free), -9 a
// phase with negative mole fractions, -11 a phase fraction that is not
// held fixed below zero after the first point.
int RejectedPointCode(int ret, const double* X, const uint8_t* flags, int32_t nc,
                      bool trivialPossible, const double* x1, const double* xRef, const double* x2,
                      bool afterFirst, int32_t betaMode, double betaRef, double beta1,
                      double beta2) {
    if (trivialPossible && IsTrivial(X, flags, nc))
        return -7;
    // Equations solved with a phase of negative mole fractions are no
    // point of any boundary (methane with n-eicosane, toluene and
    // m-xylene met one at 128 K: -0.3 of both aromatics).
    if (HasNegativeFraction(x1, nc) || HasNegativeFraction(xRef, nc) || HasNegativeFraction(x2, nc))
        return -9;
    // A point where a phase fraction that is not held fixed came out
    // negative lies past the corner where that phase vanishes (the
    // boundary meets a two-phase boundary there): the step is retreated
    // like a failed one, and the corner is approached from inside, where
    // the vanishing fraction ends the trace. (A condensate's three-phase
    // bubble boundary stored a row at -0.27 of the second liquid, 3 K
    // past the end of the liquid-liquid split.)
    if (afterFirst && UnfixedFractionMinimum(betaMode, betaRef, beta1, beta2) < 0.0)
        return -11;
    return ret;
}

// Stores a converged boundary point in row `row`: its pressure and
// temperature, and where thermo answers them the enthalpy, entropy and volume of its
// two liquids (a three-phase bubble boundary) or of its reference phase and
// the larger liquid (a liquid-liquid boundary), weighted by their fractions;
// *status receives the last property evaluation's result.
void StoreBoundaryPoint(EngineThermo* thermo, EnvelopePointStore* store, int32_t row,
                        int32_t pointType, int32_t accessMode, double T, double pKpa,
                        const double* x1, const double* xRef, const double* x2, double betaRef,
                        double beta1, double beta2, HRESULT* status) {
    double h1 = 0.0, h2 = 0.0, s1 = 0.0, s2 = 0.0, v1 = 0.0, v2 = 0.0;
    store->SetPointType(row, pointType, accessMode);
    store->SetValue(row, kCodePressure, pKpa, accessMode);
    store->SetValue(row, kCodeTemperature, T, accessMode);
    double h = 0.0, s = 0.0, v = 0.0;
    if (thermo->HasPhaseProperties()) {
        if (pointType == kPointThreePhaseBubble) {
            thermo->SelectPhase(PhaseRoot::kLiquid);
            *status = thermo->PhaseProperties(pKpa, T, x1, &h1, &s1, &v1);
            *status = thermo->PhaseProperties(pKpa, T, x2, &h2, &s2, &v2);
            h = h1 * beta1 + h2 * beta2;
            s = s1 * beta1 + s2 * beta2;
            v = v1 * beta1 + v2 * beta2;
        } else if (pointType == kPointLiquidLiquidUpper || pointType == kPointLiquidLiquid) {
            thermo->SelectPhase(PhaseRoot::kVapour);
            *status = thermo->PhaseProperties(pKpa, T, xRef, &h1, &s1, &v1);
            thermo->SelectPhase(PhaseRoot::kLiquid);
            const bool second = beta2 > beta1;
            const double betaOther = second ? beta2 : beta1;
            *status = thermo->PhaseProperties(pKpa, T, second ? x2 : x1, &h2, &s2, &v2);
            h = h1 * betaRef + h2 * betaOther;
            s = s1 * betaRef + s2 * betaOther;
            v = v1 * betaRef + v2 * betaOther;
        }
    }
    store->SetValue(row, kCodeEnthalpy, h, 3);
    store->SetValue(row, kCodeEntropy, s, 3);
    store->SetValue(row, kCodeMolarVolume, v, 3);
}

}  // namespace

namespace {

// One trace of a three-phase boundary: TraceBoundary's arguments, the state
// its passes carry from one to the next, and its steps.
class BoundaryTrace {
  public:
    BoundaryTrace(ThreePhaseTracer* tr, EngineThermo* thermo, double* betaRef, double* beta1,
                  double* beta2, double* x1, double* xRef, double* x2, const double* z, double* K1,
                  double* K2, double Pmin, double Pmax, int32_t pureCompIdx, double* X,
                  const uint8_t* flags, double* T, double* P, int32_t betaMode, int32_t accessMode,
                  EnvelopePointStore* store, int32_t pointType, const double* Tc,
                  uint8_t* critFound, uint8_t* stuck)
        : tr(tr),
          thermo(thermo),
          betaRef(betaRef),
          beta1(beta1),
          beta2(beta2),
          x1(x1),
          xRef(xRef),
          x2(x2),
          z(z),
          K1(K1),
          K2(K2),
          Pmin(Pmin),
          Pmax(Pmax),
          pureCompIdx(pureCompIdx),
          X(X),
          flags(flags),
          T(T),
          P(P),
          betaMode(betaMode),
          accessMode(accessMode),
          store(store),
          pointType(pointType),
          Tc(Tc),
          critFound(critFound),
          stuck(stuck),
          nc(tr->ncomp) {}

    // The thermodynamics' phases are held only for this trace.
    ~BoundaryTrace() { thermo->EndTrace(); }
    BoundaryTrace(const BoundaryTrace&) = delete;
    BoundaryTrace& operator=(const BoundaryTrace&) = delete;

    int Run();

  private:
    // What a pass does after one of its steps.
    enum class Flow {
        kNextPass,  // a new point is set up: the next pass solves it
        kStop,      // the trace ends
    };

    void Start();
    Flow AfterFailure();
    Flow StoreAndPlan(int ret);

    // TraceBoundary's arguments.
    ThreePhaseTracer* tr;
    EngineThermo* thermo;
    double* betaRef;
    double* beta1;
    double* beta2;
    double* x1;
    double* xRef;
    double* x2;
    const double* z;
    double* K1;
    double* K2;
    double Pmin;
    double Pmax;
    int32_t pureCompIdx;
    double* X;
    const uint8_t* flags;
    double* T;
    double* P;
    int32_t betaMode;
    int32_t accessMode;
    EnvelopePointStore* store;
    int32_t pointType;
    const double* Tc;
    uint8_t* critFound;
    uint8_t* stuck;

    const int32_t nc;
    int32_t specVarIdx = 0;
    int32_t numFree = 0;
    int32_t numb = 0;
    double stepSize = kInitialStep;
    int stalls = 0;
    int smallSteps = 0;
    bool firstPoint = true;
    HRESULT status = S_OK;
    // The specification of the ordinary prediction, restored when a step
    // planned in a ln K fails; the ln K aimed at by a crossing.
    int32_t plannedSpec = 0;
    double plannedStep = kInitialStep;
    // The ln K a step near a critical end point is planned in (or -1), the
    // value aimed at and the attempts made.
    int32_t approachIdx = -1;
    double approachTarget = 0.0;
    int approachAttempt = 0;
    // The smaller of the two phase fractions that are not held fixed, at the
    // last point.
    double lastSmallest = HUGE_VAL;
};

void BoundaryTrace::Start() {
    BeginTrace(tr, thermo);
    specVarIdx = tr->firstSpecIdx >= 0 ? tr->firstSpecIdx : tr->idxLnP;
    tr->firstSpecIdx = -1;
    for (int32_t i = 0; i < nc && numFree < 2; ++i) {
        if (flags[i] == 0)
            ++numFree;
    }
    store->GetNumPoints(&numb, accessMode);
    plannedSpec = specVarIdx;
    plannedStep = stepSize;
}

// A point that failed (not the first): another way to a critical end
// point, back to the ordinary prediction, or a retreat to half the step.
BoundaryTrace::Flow BoundaryTrace::AfterFailure() {
    if (approachIdx >= 0 && ++approachAttempt < 3) {
        // A step planned in a ln K failed: an approach tries half the
        // distance; a crossing a target twice as far beyond zero,
        // then a straight line through the last two points.
        const int32_t k = approachIdx;
        const double from = tr->hist[0][k];
        double target = from + (approachTarget - from) * 0.5;
        int32_t nodes = 3;
        if (tr->crossIdx >= 0) {
            target = approachAttempt == 1 ? 2.0 * approachTarget : approachTarget;
            nodes = approachAttempt == 1 ? 3 : 2;
        }
        if (PredictAlong(tr, k, target, nodes, flags, X)) {
            UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                               betaMode);
            return Flow::kNextPass;
        }
    }
    if (approachIdx >= 0) {
        // Back to the ordinary prediction.
        specVarIdx = plannedSpec;
        stepSize = plannedStep;
        approachIdx = -1;
        tr->crossIdx = -1;
    }
    // Retreat to half the step. A retreat still predicted outside
    // the pressure window is halved again: the window ends a trace
    // where the continuation leaves it, not where an overlong step
    // that failed happened to point.
    bool collapsed = false;
    do {
        stepSize /= 2.0;
        if (std::fabs(stepSize / kMaxStep) < kCollapseLimit) {
            collapsed = true;
            break;
        }
        Predict(tr, X, stepSize, flags);
    } while (!InsideWindow(ClampedExp(X[tr->idxLnP]), Pmin, Pmax));
    if (collapsed) {
        *stuck = 1;
        return Flow::kStop;
    }
    UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                       betaMode);
    return Flow::kNextPass;
}

// Stores the converged point (ret the corrector's iterations) and plans
// the next step.
BoundaryTrace::Flow BoundaryTrace::StoreAndPlan(int ret) {
    *T = ClampedExp(X[tr->idxLnT]);
    *P = ClampedExp(X[tr->idxLnP]);
    if (pureCompIdx < 0 || *P < Pmax) {
        StoreBoundaryPoint(thermo, store, numb, pointType, accessMode, *T, *P * kKpaPerAtm, x1,
                           xRef, x2, *betaRef, *beta1, *beta2, &status);
        numb += 1;
    }

    UpdatePredictor(tr, &specVarIdx, X, &stepSize, flags, accessMode, store, &numb, Tc, numFree,
                    critFound);
    tr->history.Push(X);
    tr->crossIdx = -1;
    approachIdx = -1;
    if (*critFound != 0)
        return Flow::kStop;
    if (*P < Pmin || *P > Pmax)
        return Flow::kStop;
    // A second phase fraction vanishing: the boundary has reached the
    // corner where it meets a two-phase boundary (a three-phase point).
    // In the logarithm of that fraction the corner lies at minus
    // infinity, and the steps would approach it without end.
    const double smallest = UnfixedFractionMinimum(betaMode, *betaRef, *beta1, *beta2);
    if (smallest < kCornerFraction && lastSmallest < HUGE_VAL && smallest < lastSmallest)
        return Flow::kStop;
    lastSmallest = smallest;

    // As in the two-phase trace: only a corrector that struggles stalls.
    // A boundary converging in few iterations with steps kept small (by the
    // approach to a three-phase point at the scan's bound, 0.002 kPa a row
    // at 7.1 MPa) creeps: it stops short, as a stalled one does.
    if (StepStalled(ret > 3 ? stepSize / kMaxStep : 1.0, kStallLimit, kStallCount, &stalls) ||
        StepStalled(stepSize, kStallLimit, kMaxSmallSteps, &smallSteps)) {
        *stuck = 1;
        return Flow::kStop;
    }
    AdaptStepToIterations(ret, &stepSize);
    ClampStep(kMaxStep, &stepSize);
    PredictAwayFromZero([this](double* out, double s) { Predict(tr, out, s, flags); }, X,
                        specVarIdx, false, &stepSize);
    ClampStep(kMaxStep, &stepSize);
    LimitStepToChord(tr, flags, X, &stepSize);
    plannedSpec = specVarIdx;
    plannedStep = stepSize;
    approachIdx = PlanCriticalApproach(tr, X, flags, &stepSize, &specVarIdx);
    if (approachIdx >= 0) {
        approachTarget = X[approachIdx];
        approachAttempt = 0;
    }
    UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                       betaMode);
    firstPoint = false;
    return Flow::kNextPass;
}

int BoundaryTrace::Run() {
    Start();
    // The trace stopped where the three phases became metastable.
    bool metastable = false;
    for (int pass = 1; pass < kMaxPasses; ++pass) {
        if (pass > 2 && (*P < Pmin || *P > Pmax))
            break;
        int ret =
            SolvePoint(tr, thermo, betaRef, beta1, beta2, T, P, x1, xRef, z, x2, X, K1, K2, flags,
                       specVarIdx, betaMode, firstPoint || approachIdx >= 0, pureCompIdx);
        if (ret >= 0)
            ret = RejectedPointCode(ret, X, flags, nc, numFree > 1 && pureCompIdx < 0, x1, xRef, x2,
                                    !firstPoint, betaMode, *betaRef, *beta1, *beta2);
        // Where a further phase lies below the three phases' tangent plane,
        // their equilibrium is metastable: another phase takes the place of
        // one of them, or a fourth joins them, which three phases cannot
        // describe. The boundary beyond is not the feed's, and the trace
        // stops before storing the point.
        if (ret >= 0 && FurtherPhaseBelow(tr, thermo, ClampedExp(X[tr->idxLnT]),
                                          ClampedExp(X[tr->idxLnP]) * kKpaPerAtm, *betaRef, *beta1,
                                          *beta2, xRef, x1, x2)) {
            metastable = true;
            *stuck = 1;
            break;
        }
        if (ret < 0) {
            if (firstPoint || AfterFailure() == Flow::kStop)
                break;
            continue;
        }
        if (StoreAndPlan(ret) == Flow::kStop)
            break;
    }

    // A trace that could not start returns non-zero, and its caller stores
    // the starting point; a metastable start is no point of the boundary.
    if (firstPoint)
        return metastable ? 0 : 1;
    store->SetNumPoints(numb, accessMode);
    return static_cast<int>(status);
}

}  // namespace

int TraceBoundary(ThreePhaseTracer* tr, EngineThermo* thermo, double* betaRef, double* beta1,
                  double* beta2, double* x1, double* xRef, double* x2, const double* z, double* K1,
                  double* K2, double Pmin, double Pmax, int32_t pureCompIdx, double* X,
                  const uint8_t* flags, double* T, double* P, int32_t betaMode, int32_t accessMode,
                  EnvelopePointStore* store, int32_t pointType, const double* Tc,
                  uint8_t* critFound, uint8_t* stuck) {
    BoundaryTrace trace(tr, thermo, betaRef, beta1, beta2, x1, xRef, x2, z, K1, K2, Pmin, Pmax,
                        pureCompIdx, X, flags, T, P, betaMode, accessMode, store, pointType, Tc,
                        critFound, stuck);
    return trace.Run();
}
