// The constant-fraction two-phase point solver: converges one point at which
// phase A (composition x) and phase B (composition y) are in equilibrium with
// a fixed molar fraction beta of phase B, one iteration variable held fixed
// as the specification variable, by Newton's method with ln phi derivatives
// obtained from the thermodynamics by finite differences.
//
// Iteration vector X (n = ncomp + 2 doubles, caller-owned): ln K_i
// (K_i = y_i / x_i) at 0..ncomp-1, ln T (K) at ncomp, ln P (atm) at ncomp+1.
// flags (n bytes): 0 active, 1 inactive (a compound absent from the feed);
// the last two are always 0. Compositions x, y, z and K-values K are ncomp
// doubles. T is in kelvin, P in atmospheres; the thermodynamics receives
// kelvin and kPa.
#pragma once

#include <cstdint>

#include "engine/engine_thermo.h"
#include "engine/finite_differences.h"
#include "engine/two_phase_tracer.h"
#include "platform/com.h"

// Converges one point. T, P, x, y, K and X hold the current estimates on
// entry and are updated in place; thermo evaluates the phases. sameKind
// evaluates phase B as a liquid too.
// Returns the number of Newton iterations (>= 0; 3 for a single-compound
// feed, pureCompIdx >= 0, where nothing is corrected), or: -1 iteration
// limit (50; 25 after the first point), -2 temperature outside 50..2500 K,
// -3 no temperature or pressure sensitivity, -4 singular system, -5 step
// too large after the first point, -6 |ln T| or |ln P| above 70, -10 a host
// evaluation failed.
int SolvePoint(TwoPhaseTracer* tracer, EngineThermo* thermo, double beta, double* T, double* P,
               double* x, double* y, const double* z, double* X, double* K, const uint8_t* flags,
               int32_t specVarIdx, bool firstPoint, int32_t pureCompIdx, bool sameKind);

// Evaluates ln phi of one phase (phaseType +1 liquid, -1 vapour; sameKind
// forces liquid) at T (K), P (atm) and composition (ncomp doubles, not
// necessarily normalised) into lnPhi, and by finite differences its
// derivatives per kelvin, per atmosphere and per mole number into the
// outputs given (any may be null: not computed), through the phase that
// thermo has chosen. Entries of compounds with flag 1 or a fraction at or
// below kNegligibleFraction are 0. Failures of the thermodynamics raise
// CPYCOMError. Returns S_OK. centralTP: temperature and pressure
// derivatives by central differences (see LnPhiDifferencing).
HRESULT EvaluatePhase(TwoPhaseTracer* tracer, EngineThermo* thermo, int32_t phaseType, double T,
                      double P, const double* composition, double* lnPhi, double* dLnPhidT,
                      double* dLnPhidP, double** dLnPhidn, const uint8_t* flags, bool sameKind,
                      bool centralTP = false);

// Whether the feed z at T (K), P (atm) has a liquid root of lower Gibbs
// energy than its vapour root: a feed of liquid density at its dew point
// (liquid propane out of which a trace of water comes) is a liquid beside
// the incipient one. False where one root serves both, where thermo lacks
// a phase of either root, or where an evaluation failed.
bool FeedTakesLiquidRoot(TwoPhaseTracer* tracer, EngineThermo* thermo, double T, double P,
                         const double* z, const uint8_t* flags);

// Solves the reduced Newton system with the specification variable
// eliminated: rhs (the residual) becomes the step, X is corrected, *err is
// the squared step norm; when *err <= tolerance the sensitivity dX/dX_spec
// is refreshed in the tracer's sens. Returns S_OK or E_FAIL (singular).
HRESULT SolveReducedSystem(TwoPhaseTracer* tracer, int32_t specVarIdx, double* rhs, double* X,
                           double* err, double tolerance, const uint8_t* flags);

// T, P, K and the compositions x = z / (beta (K - 1) + 1), y = K x from X.
void UpdateFromUnknowns(TwoPhaseTracer* tracer, double* T, double* P, double* x, double* y,
                        const double* z, double* K, const uint8_t* flags, const double* X,
                        double beta);
