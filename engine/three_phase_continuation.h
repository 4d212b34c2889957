// Continuation along a boundary of the three-phase region: from a converged
// or estimated three-phase state, steps along the curve on which one phase
// fraction is held, converging each point with the three-phase point solver
// and appending it to the envelope point store with the mixture enthalpy,
// entropy and molar volume; stops at a critical point between two of the
// three phases (recorded as a type 11 or 12 row), at the pressure window, or
// when the step collapses.
#pragma once

#include <cstdint>

#include "core/envelope_point_store.h"
#include "engine/engine_thermo.h"
#include "engine/three_phase_tracer.h"

// Traces one boundary. Fractions, T (K) and P (atm) are updated, vectors in
// place. Pmin/Pmax (atm) bound the trace; Tc (K) are the compounds' critical
// temperatures. *critFound is set when a critical point was recorded (a set
// flag on entry stops the trace after its first point); *stuck when the step
// collapsed or stalled. Returns 1 when not even the first point converged,
// otherwise the status of the last phase-property evaluation (0 when all
// went well, and where thermo answers no properties). A phase that thermo
// cannot choose raises CPYCOMError; each converged point is checked with
// thermo's further-phase test.
int TraceBoundary(ThreePhaseTracer* tracer, EngineThermo* thermo, double* betaRef, double* beta1,
                  double* beta2, double* x1, double* xRef, double* x2, const double* z, double* K1,
                  double* K2, double Pmin, double Pmax, int32_t pureCompIdx, double* X,
                  const uint8_t* flags, double* T, double* P, int32_t betaMode, int32_t accessMode,
                  EnvelopePointStore* store, int32_t pointType, const double* Tc,
                  uint8_t* critFound, uint8_t* stuck);

// Starts a trace: phase codes 1, -1, 2; identity Jacobian; zero residual,
// sensitivity and predictor; thermo (may be null) readies its phases: the
// vapour root for the reference phase, the liquid root for phases 1 and 2.
void BeginTrace(ThreePhaseTracer* tracer, EngineThermo* thermo);

// After a converged point: refits the predictor, picks the next
// specification variable and records a critical point passed since the
// previous point.
void UpdatePredictor(ThreePhaseTracer* tracer, int32_t* specVarIdx, const double* X,
                     double* stepSize, const uint8_t* flags, int32_t accessMode,
                     EnvelopePointStore* store, int32_t* numbCalculatedPoints, const double* Tc,
                     int32_t numFree, uint8_t* critFound);

// out = ((c3 s + c2) s + c1) s + c0 for entries with flag != 1.
void Predict(ThreePhaseTracer* tracer, double* out, double s, const uint8_t* flags);
