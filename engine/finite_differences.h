// The increments with which the engines difference the host's ln fugacity
// coefficients.
#pragma once

#include <cstdint>

// Pressure increment (kPa): -1e-4 above 1e-4 kPa, else +1e-4.
inline double PressureStep(double pKpa) {
    return pKpa > 1e-4 ? -1e-4 : 1e-4;
}

// Temperature increment (K), the same +1e-4 for every phase. Each phase's
// derivative carries a forward-difference error of about dT/2 times its
// second derivative, which grows without bound towards a critical point. The
// Jacobian uses the difference of two phases' derivatives, and that
// difference vanishes where the phases become alike: differenced in the same
// direction their errors cancel there, differenced in opposite directions
// they add, and the Newton iteration then slows to a crawl within a few per
// cent of the critical point. The phase code is kept so the callers say which
// phase they difference.
inline double TemperatureStep(int32_t /*phaseCode*/, bool /*sameKind*/ = false) {
    return 1e-6;
}

// Mole-number increment: 1e-6 n, at least 1e-8.
inline double CompositionStep(double n) {
    const double h = 1e-6 * n;
    return h > 1e-8 ? h : 1e-8;
}

// Mole fractions at or below this are taken as absent: the composition sent
// to the host carries 0 for them and their ln phi is reported as 0. It lies
// at the bottom of the double range rather than at a round 1e-30 because
// Peng-Robinson puts heavy hydrocarbons in liquid water at fractions of
// 1e-35 to 1e-140 (ln K up to about 300), and a compound reported with
// ln phi 0 while its ln K says otherwise leaves its equilibrium equation
// without a solution: the three-phase tracer could not start on such feeds.
// The host evaluates ln phi at these fractions as at infinite dilution.
const double kNegligibleFraction = 1e-300;
