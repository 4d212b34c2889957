// The increments with which the engines difference the host's ln fugacity
// coefficients.
#pragma once

#include <cstdint>

// Pressure increment (kPa): -1e-4 above 1e-4 kPa, else +1e-4.
inline double PressureStep(double pKpa) { return pKpa > 1e-4 ? -1e-4 : 1e-4; }

// Temperature increment (K): -1e-4 for a vapour-like phase code (-1) unless
// the phase is evaluated as a liquid of the same kind, else +1e-4.
inline double TemperatureStep(int32_t phaseCode, bool sameKind = false) {
    return (phaseCode == -1 && !sameKind) ? -1e-4 : 1e-4;
}

// Mole-number increment: 1e-6 n, at least 1e-8.
inline double CompositionStep(double n) {
    const double h = 1e-6 * n;
    return h > 1e-8 ? h : 1e-8;
}
