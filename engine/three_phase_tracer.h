// The three-phase boundary engine's object: the work arrays of the
// three-phase point solver and of its continuation along the boundaries of
// the three-phase region. Created and initialised once per workspace by the
// utility object; every array is sized in Init and owned by the object.
//
// Sizes: ncomp compounds; neq = 2 ncomp + 3 unknowns (ln K2, ln K1 of each
// compound, ln T with T in K, ln P with P in atm, ln of the free phase
// fraction); the linear system has 2 ncomp + 2 equations.
#pragma once

#include <cstdint>

#include "engine/matrix_lu_solver.h"
#include "engine/point_history.h"
#include "engine/work_arrays.h"

class ThreePhaseTracer {
  public:
    ThreePhaseTracer();
    ~ThreePhaseTracer();
    ThreePhaseTracer(const ThreePhaseTracer&) = delete;
    ThreePhaseTracer& operator=(const ThreePhaseTracer&) = delete;

    // Records the sizes and index fields and sizes every work array for
    // ncomp compounds (ncomp >= 0).
    void Init(int32_t ncomp);

    // Sizes and indices.
    int32_t ncomp;  // kUndefinedInt until Init
    int32_t neq;    // 2 ncomp + 3
    int32_t idxLnT;
    int32_t idxLnP;
    int32_t idxLnBeta;

    // Phase codes handed to the phase evaluation (sign of the temperature
    // increment).
    int32_t phaseCode1;
    int32_t phaseCodeRef;
    int32_t phaseCode2;

    // Point solver.
    MatrixLUSolver luSolver;
    double** jac;  // neq x neq
    double* resid;
    double* sens;
    int32_t* pivots;  // neq, kept with the tracer rather than allocated per solve
    double* lnPhiRef;
    double* lnPhi1;
    double* lnPhi2;
    double* dLnPhiRefdT;
    double* dLnPhi1dT;
    double* dLnPhi2dT;
    double* dLnPhiRefdP;
    double* dLnPhi1dP;
    double* dLnPhi2dP;
    double** dLnPhiRefdn;  // ncomp x ncomp each
    double** dLnPhi1dn;
    double** dLnPhi2dn;
    // d(composition)/d(K1), d/d(K2), d/d(beta) of xRef, x1 and x2.
    double* dxRefdK1;
    double* dxRefdK2;
    double* dxRefdBeta;
    double* dx1dK1;
    double* dx1dK2;
    double* dx1dBeta;
    double* dx2dK1;
    double* dx2dK2;
    double* dx2dBeta;
    double* workComp;
    double* workResult;

    // Continuation: predictor coefficients c0..c3 of the last converged point.
    double* hist[4];
    // The last converged points: a critical end point is approached,
    // crossed and located through them (see PointHistory).
    PointHistory history;
    // The ln K being carried across zero by the current step, or -1.
    int32_t crossIdx;
    // The unknown held fixed at the first point of the next trace (-1: ln P,
    // the usual). A boundary that starts at a three-phase point, where its
    // free phase fraction vanishes, starts from a small fraction instead.
    int32_t firstSpecIdx;
    // Scratch, neq doubles.
    double* scratchX;

    // Scratch for the phase that the further-phase test of a boundary
    // point finds, ncomp doubles.
    double* foundPhase;

  private:
    // Owns every array above (Init sizes them once).
    WorkArrays arrays_;
};
