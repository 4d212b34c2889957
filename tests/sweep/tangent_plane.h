// An independent tangent-plane stability analysis for checks, written apart
// from the reference host's stability test and further-phase test so that a
// fault cannot hide in both: plain successive substitution from Wilson's
// vapour- and liquid-like trials, a near-pure trial of every compound,
// trials a tenth and a quarter of the way towards each compound, and
// trials part of the way from the reference phase to every stationary
// point those find; finished by Newton's method where substitution is still
// moving after a couple of hundred steps (near a critical point); on the
// checks' own equation of state.
//
// The tangent plane is that of a reference phase of composition x at T, P:
// d_i = ln x_i + ln φ_i(x). A trial composition w with
// TPD(w) = Σ w_i (ln w_i + ln φ_i(w) − d_i) < 0 proves the reference phase
// unstable whatever the iteration does afterwards, so an "unstable" answer
// is certain; a "stable" one means that no trial went below the plane.
#pragma once

#include <vector>

#include "tests/sweep/check_eos.h"

namespace sweep {

struct TangentPlaneResult {
    // The lowest TPD met along every trial's iteration (0 when every trial
    // fell back onto the reference phase).
    double minTpd = 0.0;
    // The trial composition at which it was met.
    std::vector<double> w;
    // Some trial converged to a stationary point other than the reference
    // phase whose TPD is zero to 1e-8: the reference phase is at a
    // saturation point, with that point the incipient phase.
    bool incipientOnPlane = false;
};

// The reference phase x [eos.size()] at T [K], P [kPa]; compounds absent
// from x (fraction 0) are left out of the analysis.
TangentPlaneResult TangentPlane(const CheckEos& eos, double t, double p, const double* x);

// A stationary point of the tangent plane: its composition and TPD.
struct StationaryPoint {
    std::vector<double> w;
    double tpd;
};

// The stationary points other than the reference phase that the trials of
// TangentPlane converge to, distinct to 1e-4 in every mole fraction.
std::vector<StationaryPoint> StationaryPoints(const CheckEos& eos, double t, double p,
                                              const double* x);

// The temperature near t (within 5 K) at pressure p where the stationary
// point that substitution from w converges to touches the reference phase's
// tangent plane (its TPD is zero): a saturation temperature of the reference
// phase with that incipient phase. NaN where none is found (secant on T).
double TouchingTemperature(const CheckEos& eos, double t, double p, const double* x,
                           const std::vector<double>& w);

// True when the analysis finds the phase unstable by more than round-off.
inline bool Unstable(const TangentPlaneResult& r) {
    return r.minTpd < -1e-9;
}

}  // namespace sweep
