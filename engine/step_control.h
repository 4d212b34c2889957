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

// |stepSize| at most maxStep, keeping its sign.
inline void ClampStep(double maxStep, double* stepSize) {
    if (std::fabs(*stepSize) > maxStep)
        *stepSize = *stepSize > 0.0 ? maxStep : -maxStep;
}
