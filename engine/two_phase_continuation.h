// Continuation of constant-fraction two-phase curves (dew curves at beta 1,
// bubble curves at beta 0, or any vapour fraction): a predictor-corrector
// trace in ln T and ln P with a cubic Hermite predictor, adaptive steps in
// the fastest-changing variable, detection of critical points (the dominant
// K-value crossing 1), of pressure and temperature extrema, and, while
// asked, a watch for a third phase at every accepted point through the
// thermodynamics' further-phase test. Accepted points go to the envelope point store with
// pressure (kPa) and temperature (K) only.
#pragma once

#include <cstdint>

#include "core/envelope_point_store.h"
#include "engine/engine_thermo.h"
#include "engine/two_phase_tracer.h"

// Traces one curve from the starting estimate in X, T (K), P (atm), x, y, K,
// with the phases thermo evaluates.
// Points are appended to `store` with `pointType` (1..4; it changes at a
// critical point: 1, 2, 3 become 4 and 4 becomes 1) and `accessMode`.
// pressLow/pressHigh bound the trace (atm). With *threePhaseCheck set, the
// first accepted point where thermo finds a further phase ends the trace
// with *threePhaseFound set, its composition in thirdPhaseComp (ncomp) and
// its pressure (atm) and temperature (K) in *threePhaseP, *threePhaseT.
// *invertLine is set once a critical point has been passed; *stuck when the
// step collapsed. unused is not read. critT (K) and critP (kPa) complete the
// envelope of a single-compound feed (pureCompIdx >= 0).
// Returns 0 when at least one point converged, else 1 (and
// *threePhaseFound is cleared). Failures of the further-phase test raise
// CPYCOMError.
int TraceCurve(TwoPhaseTracer* tracer, EngineThermo* thermo, double* beta, double* x, double* y,
               const double* z, double* K, double pressLow, double pressHigh, int32_t pureCompIdx,
               double* X, const uint8_t* flags, double* T, double* P, uint8_t* threePhaseFound,
               double* thirdPhaseComp, double* threePhaseP, double* threePhaseT, int32_t accessMode,
               EnvelopePointStore* store, uint8_t* threePhaseCheck, bool sameKind,
               uint8_t* invertLine, int32_t pointType, int32_t unused, const double* critT,
               const double* critP, uint8_t* stuck);

// Starts a trace: phase types liquid/vapour, no pending swap, identity
// Jacobian, zero residual, sensitivity and predictor; thermo (may be null)
// readies its phases, without a vapour for sameKind.
void Reset(TwoPhaseTracer* tracer, EngineThermo* thermo, bool sameKind);

// After a critical point: sets *invertLine and swaps the phase types.
void CheckPhaseSwap(TwoPhaseTracer* tracer, uint8_t* invertLine);

// out = c0 + c1 s + c2 s^2 + c3 s^3 for entries with flag != 1.
void Predict(TwoPhaseTracer* tracer, double* out, double s, const uint8_t* flags);

// Solves a temperature or pressure extremum of the curve exactly, where the
// predictor only estimated it.
class ExtremumPlacer {
  public:
    virtual ~ExtremumPlacer() = default;
    // The point between the unknown spec's values lo and hi at which the
    // unknown `watched` (ln T or ln P) is stationary along the curve, into
    // at (n unknowns), which holds the estimate on entry. swapTypes: the
    // extremum lies on the other side of a critical point than the point
    // last solved; maximum: a maximum of the watched unknown, else a minimum.
    // False leaves the estimate.
    virtual bool Place(int32_t watched, int32_t spec, double lo, double hi, bool swapTypes,
                       bool maximum, double* at) = 0;
};

// After a converged point: refits the cubic predictor through it and the
// previous point, chooses the next specification variable, and stores the
// critical point and extrema passed since the previous point, the extrema
// placed by `placer` where one is given. Returns the new specification
// index (also in *specVarIdx).
int32_t UpdatePredictor(TwoPhaseTracer* tracer, int32_t* specVarIdx, const double* X,
                        double* stepSize, const uint8_t* flags, int32_t accessMode,
                        EnvelopePointStore* store, int32_t* numbCalculatedPoints,
                        const double* critT, const double* critP, int32_t nActive,
                        int32_t* pointType, ExtremumPlacer* placer = nullptr);
