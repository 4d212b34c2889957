// The three-phase point solver: converges one point of a boundary of the
// three-phase region, where a reference phase (xRef, betaRef, evaluated as a
// vapour) coexists with phases 1 (x1, beta1) and 2 (x2, beta2) (evaluated as
// liquids), one phase fraction held at the value the driver gave it and one
// further unknown fixed as the specification variable.
//
// Unknowns X (neq = 2 ncomp + 3 doubles, caller-owned): ln K2_i at i,
// ln K1_i at ncomp + i (K1 = xRef / x1, K2 = xRef / x2), ln T (K) at
// 2 ncomp, ln P (atm) at 2 ncomp + 1, ln of the free phase fraction at
// 2 ncomp + 2. Which fraction is free is fixed by betaMode: 3 beta1 (betaRef
// held), 5 betaRef (beta2 held), any other betaRef (beta1 held); the third
// fraction is 1 minus the other two. flags (neq bytes): 1 at i and ncomp + i
// for a compound absent from the feed, 0 otherwise.
#pragma once

#include <cstdint>

#include "engine/engine_thermo.h"
#include "engine/finite_differences.h"
#include "engine/three_phase_tracer.h"
#include "platform/com.h"

// Converges one point; fractions, T (K), P (atm), compositions, K-values and
// X are updated in place. Returns the number of Newton iterations (>= 1),
// 3 when pureCompIdx >= 0 (assembled only), or: -1 no convergence, -2
// temperature outside 50..2500 K, -3 trivial solution, -4 singular system,
// -5 step too large after the first point, -6 |ln T| or |ln P| above 70,
// -10 a phase evaluation failed. A phase that thermo cannot choose raises
// CPYCOMError.
int SolvePoint(ThreePhaseTracer* tracer, EngineThermo* thermo, double* betaRef, double* beta1,
               double* beta2, double* T, double* P, double* x1, double* xRef, const double* z,
               double* x2, double* X, double* K1, double* K2, const uint8_t* flags,
               int32_t specVarIdx, int32_t betaMode, bool firstPoint, int32_t pureCompIdx);

// ln phi and its finite-difference derivatives (per K, per atm, per mole
// number) of the phase thermo has chosen, at T (K), P (atm) and composition
// (ncomp). phaseCode -1 (reference) differences the temperature downward.
// Returns S_OK, or the HRESULT of the first failure.
HRESULT EvaluatePhase(ThreePhaseTracer* tracer, EngineThermo* thermo, int32_t phaseCode, double T,
                      double P, const double* composition, double* lnPhi, double* dLnPhidT,
                      double* dLnPhidP, double** dLnPhidn, const uint8_t* flags,
                      bool centralTP = false);

// Solves the reduced system (2 ncomp + 2 equations) with the specification
// variable eliminated; the residual in `step` becomes the Newton step, X is
// corrected, *err is the squared step norm, and the sensitivity is refreshed
// when *err <= tolerance. S_OK or E_FAIL.
HRESULT SolveReducedSystem(ThreePhaseTracer* tracer, int32_t specVarIdx, double* step, double* X,
                           double* err, double tolerance, const uint8_t* flags);

// T, P, the three fractions, the K-values and the three compositions from X.
void UpdateFromUnknowns(ThreePhaseTracer* tracer, double* T, double* P, double* x1, double* xRef,
                        double* x2, const double* z, double* K1, double* K2, const uint8_t* flags,
                        const double* X, double* betaRef, double* beta1, double* beta2,
                        int32_t betaMode);
