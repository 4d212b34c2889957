// Finite-difference derivatives of a phase's ln fugacity coefficients,
// shared by both engines: the base values at T, P and the composition, then
// one evaluation each at a perturbed pressure, temperature and mole number of
// every compound present.
#pragma once

#include <cstdint>

#include "engine/engine_thermo.h"

struct LnPhiDifferencing {
    int32_t ncomp;
    const uint8_t* flags;    // entries with flag 1 report 0
    double temperatureStep;  // K, signed
    bool putActive;          // put_Active(1) with the conditions
    bool restoreAlways;      // put the base composition back even without dn
    double* work;            // scratch, ncomp: the compositions sent
    double* result;          // scratch, ncomp: the values read
    // Temperature and pressure derivatives by central differences with
    // larger increments (1e-4 K, 1e-6 P): their rounding is about 1e-10 of
    // the derivative where the forward differences' is about 1e-6, for a
    // tangent that must resolve two nearly parallel columns (near a
    // critical point). Larger increments (1e-3 K) straddled root changes of
    // near-pure products and lost their critical points.
    bool centralTP = false;
};

// Evaluates at T (K), P (atm) and `composition` (ncomp doubles, normalised
// over the entries above kNegligibleFraction before it is sent) into lnPhi, and the
// derivatives per kelvin, per atmosphere and per mole number into the
// outputs that are not null. Mole-number derivatives are symmetrised off the
// diagonal and scaled by the raw total. Failures raise CPYCOMError.
void DifferenceLnPhi(LnPhiChannel& channel, const LnPhiDifferencing& d, double T, double P,
                     const double* composition, double* lnPhi, double* dLnPhidT, double* dLnPhidP,
                     double** dLnPhidn);
