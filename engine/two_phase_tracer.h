// The two-phase envelope engine's object: the work arrays of the
// constant-fraction point solver and of its continuation along dew and bubble
// curves. The object is created and initialised once per workspace by the
// utility object; every array is sized in Init and owned by the object, so a
// trace itself allocates nothing.
//
// Sizes: ncomp compounds; n = ncomp + 2 iteration variables (ln K of each
// compound, ln T with T in K, ln P with P in atm).
#pragma once

#include <cstdint>

#include "engine/matrix_lu_solver.h"
#include "engine/point_history.h"
#include "engine/work_arrays.h"

// Why a two-phase trace stopped for the bubble side to complete it.
enum CrossingStop : uint8_t {
    kNoCrossingStop = 0,
    // Its dew curve met the bubble curve (a vapour appeared at a dew point).
    kStopAtBubbleCurve = 1,
    // It was a liquid feed's boundary with a further liquid (water coming
    // out of a liquid product), no side of the vapour-liquid envelope.
    kStopAtLiquidBoundary = 2,
};

class TwoPhaseTracer {
  public:
    TwoPhaseTracer();
    ~TwoPhaseTracer();
    TwoPhaseTracer(const TwoPhaseTracer&) = delete;
    TwoPhaseTracer& operator=(const TwoPhaseTracer&) = delete;

    // Records the sizes and sizes every work array for ncomp compounds
    // (ncomp >= 0). Called once per object.
    void Init(int32_t ncomp);

    // Sizes.
    int32_t ncomp;       // kUndefinedInt until Init
    int32_t nEquations;  // ncomp + 1: equilibrium rows and the material balance
    int32_t n;           // ncomp + 2: the iteration variables

    // Point solver.
    MatrixLUSolver luSolver;
    double** jac;     // n x n
    double* resid;    // n
    double* sens;     // n: dX/dS at the last converged point
    int32_t* pivots;  // n
    double* lnPhiA;   // ncomp each
    double* lnPhiB;
    double* dLnPhiAdT;
    double* dLnPhiBdT;
    double* dLnPhiAdP;
    double* dLnPhiBdP;
    double** dLnPhiAdn;  // ncomp x ncomp each
    double** dLnPhiBdn;
    double* dxdK;  // ncomp each
    double* dydK;
    double* workComp;    // normalised composition handed to the host
    double* workResult;  // values read back
    int32_t phaseTypeA;  // +1 liquid, -1 vapour
    int32_t phaseTypeB;

    // Continuation.
    double* predictor[4];  // rows c0..c3 of n doubles
    double* halfStepX;     // n
    // 1: exchange the phase types and invert the line before the next
    // point; 2: only invert the line (the types were exchanged already).
    uint8_t swapPending;
    // The last converged points of the trace: the crossing of a critical
    // point is predicted, and the critical point interpolated, through them.
    PointHistory history;
    // The ln K being carried across zero by the current step, or -1.
    int32_t crossIdx;
    // The phase types were exchanged for a crossing predicted to pass a
    // critical point.
    uint8_t crossSwapped;
    // The half-width of the band around zero that a crossing goes from edge
    // to edge, in ln K: the default, halved after each crossing that failed
    // (a narrow envelope, whose ln K stay small along the whole curve, puts
    // a wide band's far edge on another stretch of the curve).
    double crossBand;
    // The largest |ln K| met on the trace so far: on a narrow envelope (an
    // almost azeotropic pair) the band is a quarter of it at most.
    double lnKScale;
    // Where the last trace stopped for the bubble side to complete it (it
    // set `stuck` for the driver's recovery, which traces the bubble side
    // from below): a CrossingStop value.
    uint8_t crossingStop;
    // The sign of the next trace's first step in ln P: +1 unless the caller
    // sets it (for a curve restarted from a three-phase point that runs on
    // downward); it is used once.
    double firstStepSign;
    // Points solved on either side of a critical crossing, halfway to zero
    // in the crossed ln K from the points on either side, for locating the
    // critical point (n doubles each; valid while haveInner is set), and the
    // state they were solved from.
    double* innerX;      // on the far side
    double* innerNearX;  // on the near side
    uint8_t haveInner;
    double* saveX;
    double* saveSens;
    double* saveK;
    double* savex;
    double* savey;
    // Scratch for interpolations and for refining a special point, n or
    // ncomp doubles.
    double* scratchX;
    double* scratchK;
    double* scratchx;
    double* scratchy;

  private:
    // Owns every array above (Init sizes them once).
    WorkArrays arrays_;
};
