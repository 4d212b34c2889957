// Step control shared by both continuations: counting small steps, adapting
// the step to the corrector's iteration count, keeping the predicted
// specification variable away from zero, and clamping the step.
#pragma once

#include <cmath>
#include <cstdint>

// Counts consecutive steps below smallStep in magnitude; true once more than
// `limit` followed each other (the trace is stuck).
inline bool StepStalled(double stepSize, double smallStep, int limit, int* count) {
    if (std::fabs(stepSize) < smallStep) {
        ++*count;
    } else {
        *count = 0;
    }
    return *count > limit;
}

// The next step from the corrector's iteration count against a target of 3:
// fewer than 2 doubles it, 2 enlarges it by half, more than 4 halves it.
inline void AdaptStepToIterations(int iterations, double* stepSize) {
    if (iterations < 2) {
        *stepSize *= 2.0;
    } else if (iterations == 2) {
        *stepSize *= 1.5;
    } else if (iterations > 4) {
        *stepSize /= 2.0;
    }
}

// Predicts X at the step, up to ten times enlarging the step by half (and
// halving it again above 0.025) while the predicted specification variable
// stays within 0.01 of zero. `predict(out, s)` evaluates the tracer's
// predictor.
//
// When the specification variable is a ln K (`specIsLnK`), zero is a
// critical point, and there the Jacobian's temperature and pressure columns
// and its composition block all tend to singular: the finite-difference
// tangent of a point converged at |ln K| = 0.05 may be off by tens of per
// cent, and the critical point interpolated from it by a tenth of a per cent
// in pressure. A step that heads for zero and would end within 0.1 of it is
// therefore stretched to end 0.1 beyond it, so that the crossing is spanned
// by the cubic between two well-conditioned points.
template <class PredictFn>
void PredictAwayFromZero(PredictFn predict, double* X, int32_t specVarIdx, bool specIsLnK,
                         double* stepSize) {
    for (int k = 0; k < 10; ++k) {
        predict(X, *stepSize);
        if (std::fabs(X[specVarIdx]) > 0.01)
            break;
        *stepSize *= 1.5;
        if (std::fabs(*stepSize) > 0.025)
            *stepSize /= 2.0;
    }
    const double band = 0.1;
    if (!specIsLnK || std::fabs(X[specVarIdx]) > band)
        return;
    // The predictor is linear in its own variable: X[spec](s) = x0 + s.
    predict(X, 0.0);
    const double x0 = X[specVarIdx];
    if (x0 * *stepSize < 0.0)
        *stepSize = (x0 < 0.0 ? band : -band) - x0;
    predict(X, *stepSize);
}

// Step control aims at stored points whose straight chord stays this close
// to the curve (a fraction of the accuracy promised to a plot, 0.5 % or
// 0.5 K, the predictor being only an estimate of the curve): in pressure
// (relative) where temperature is the free variable, in temperature (K)
// where pressure is.
const double kChordPressure = 0.002;
const double kChordTemperature = 0.2;

// How far the straight chord from the point `from` to the predicted point
// `to` lies from the predicted point `mid` halfway along the step, in units
// of the chord tolerance (<= 1 is close enough). The vectors hold ln T (K)
// at idxLnT and ln P at idxLnP. The free variable is the one that changes
// more in units of its tolerance; the error is measured in the other, at
// the free variable's value of `mid`, on linear axes as a plot draws it.
inline double ChordError(const double* from, const double* mid, const double* to, int32_t idxLnT,
                         int32_t idxLnP) {
    const double t0 = std::exp(from[idxLnT]), p0 = std::exp(from[idxLnP]);
    const double tm = std::exp(mid[idxLnT]), pm = std::exp(mid[idxLnP]);
    const double t1 = std::exp(to[idxLnT]), p1 = std::exp(to[idxLnP]);
    const double dT = t1 - t0;
    const double dLnP = to[idxLnP] - from[idxLnP];
    if (std::fabs(dLnP) / kChordPressure >= std::fabs(dT) / kChordTemperature) {
        if (p1 == p0)
            return 0.0;
        const double chordT = t0 + dT * (pm - p0) / (p1 - p0);
        return std::fabs(tm - chordT) / kChordTemperature;
    }
    if (dT == 0.0)
        return 0.0;
    const double chordP = p0 + (p1 - p0) * (tm - t0) / dT;
    return std::fabs(pm - chordP) / pm / kChordPressure;
}

// |stepSize| at most maxStep, keeping its sign.
inline void ClampStep(double maxStep, double* stepSize) {
    if (std::fabs(*stepSize) > maxStep)
        *stepSize = *stepSize > 0.0 ? maxStep : -maxStep;
}
