// Starting points for the engines from the thermodynamics' flash: the saturation
// point of the feed at a given pressure and vapour fraction, the labelling of
// the phases found, the engines' starting vector built from them, and the
// recognition of a trivial split.
//
// The routines work on the calculation's state (CalculationState): vapFrac
// is the vapour-fraction specification on entry and the vapour fraction
// found on return; yVap, xLiq1, xLiq2, liq1Frac, liq2Frac and curTdegk are
// written; unknowns (with numbUnknowns), K1 and K2 are rebuilt. Host-framework
// failures raise CPYCOMError; provider calls are not tested.
#pragma once

#include <cstdint>

#include "saturation/calculation_state.h"
#include "saturation/flash_thermo.h"

// The saturation point at P (atm): thermo flashes the feed at vapFrac and
// the phases are read back. *numbPhases receives the number of phases (1 when
// they coincide), *H, *S, *V the mixture enthalpy, entropy and molar volume.
// With storedCurve 1 the temperature is first interpolated from the stored
// dew (vapFrac 1) or three-phase bubble (vapFrac 0) rows that bracket P; then
// nothing is flashed and *numbPhases is left as it was. Returns 0, or 1 when
// the phase count is neither 2 nor 3 (the starting vector is not rebuilt).
int SaturationPoint(CalculationState* u, FlashThermo* thermo, double P, int32_t* numbPhases,
                    double* H, double* S, double* V, uint8_t storedCurve);

// Orders the liquids so that the second is the one richer in water and the
// alcohols and glycols (host IDs 19, 29, 30, 54; *switched = 1 when they were
// exchanged) and builds the starting vector: ncomp + 2 unknowns for two
// phases (ln K, ln T, ln P), 2 ncomp + 3 for three (ln K2, ln K1, ln T, ln P,
// ln of the free phase fraction). Returns 0 for two or three phases, else 1.
int PhaseLabelCheck(CalculationState* u, int32_t numbPhases, uint8_t* switched);

// True when the phases found are one and the same (every compound's fraction
// within 5e-5 of the vapour's; with three phases, in at least one liquid).
bool PhasesCoincide(CalculationState* u, int32_t numbPhases);

// ln x clamped to [-70, 70].
double ClampedLog(double x);
