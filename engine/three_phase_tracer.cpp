// Lifecycle of the three-phase boundary engine's object.
#include "engine/three_phase_tracer.h"

#include "core/units.h"
#include "engine/work_arrays.h"

ThreePhaseTracer::ThreePhaseTracer()
    : ncomp(kUndefinedInt),
      neq(0),
      idxLnT(0),
      idxLnP(0),
      idxLnBeta(0),
      phaseCode1(1),
      phaseCodeRef(-1),
      phaseCode2(2),
      luSolver(nullptr),
      jac(nullptr),
      resid(nullptr),
      sens(nullptr),
      pivots(nullptr),
      lnPhiRef(nullptr),
      lnPhi1(nullptr),
      lnPhi2(nullptr),
      dLnPhiRefdT(nullptr),
      dLnPhi1dT(nullptr),
      dLnPhi2dT(nullptr),
      dLnPhiRefdP(nullptr),
      dLnPhi1dP(nullptr),
      dLnPhi2dP(nullptr),
      dLnPhiRefdn(nullptr),
      dLnPhi1dn(nullptr),
      dLnPhi2dn(nullptr),
      dxRefdK1(nullptr),
      dxRefdK2(nullptr),
      dxRefdBeta(nullptr),
      dx1dK1(nullptr),
      dx1dK2(nullptr),
      dx1dBeta(nullptr),
      dx2dK1(nullptr),
      dx2dK2(nullptr),
      dx2dBeta(nullptr),
      workComp(nullptr),
      workResult(nullptr),
      hist{nullptr, nullptr, nullptr, nullptr},
      crossIdx(-1),
      firstSpecIdx(-1),
      scratchX(nullptr),
      propIdEnthalpy(kUndefinedInt),
      propIdEntropy(kUndefinedInt),
      propIdVolume(kUndefinedInt),
      lnPhiPropId(kUndefinedInt),
      furtherPhaseTest(nullptr),
      foundPhase(nullptr),
      appPhaseRef(nullptr),
      appPhaseOther(nullptr) {
    VariantInit(&compositionVariant);
}

void ThreePhaseTracer::Init(int32_t count) {
    ncomp = count;
    neq = 2 * count + 3;
    idxLnT = 2 * count;
    idxLnP = 2 * count + 1;
    idxLnBeta = 2 * count + 2;
    luSolver = new MatrixLUSolver();
    jac = NewMatrix(neq, neq);
    resid = NewVector(neq);
    sens = NewVector(neq);
    pivots = new int32_t[neq];
    lnPhiRef = NewVector(ncomp);
    lnPhi1 = NewVector(ncomp);
    lnPhi2 = NewVector(ncomp);
    dLnPhiRefdT = NewVector(ncomp);
    dLnPhi1dT = NewVector(ncomp);
    dLnPhi2dT = NewVector(ncomp);
    dLnPhiRefdP = NewVector(ncomp);
    dLnPhi1dP = NewVector(ncomp);
    dLnPhi2dP = NewVector(ncomp);
    dLnPhiRefdn = NewMatrix(ncomp, ncomp);
    dLnPhi1dn = NewMatrix(ncomp, ncomp);
    dLnPhi2dn = NewMatrix(ncomp, ncomp);
    dxRefdK1 = NewVector(ncomp);
    dxRefdK2 = NewVector(ncomp);
    dxRefdBeta = NewVector(ncomp);
    dx1dK1 = NewVector(ncomp);
    dx1dK2 = NewVector(ncomp);
    dx1dBeta = NewVector(ncomp);
    dx2dK1 = NewVector(ncomp);
    dx2dK2 = NewVector(ncomp);
    dx2dBeta = NewVector(ncomp);
    workComp = NewVector(ncomp);
    workResult = NewVector(ncomp);
    foundPhase = NewVector(ncomp);
    history.Init(neq);
    scratchX = NewVector(neq);
    for (double*& row : hist)
        row = NewVector(neq);
    compositionVariant.vt = VT_ARRAY | VT_R8;
    compositionVariant.parray = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(ncomp));
}

void ThreePhaseTracer::SetPropertyIds(int32_t enthalpy, int32_t entropy, int32_t volume,
                                      int32_t lnPhi) {
    propIdEnthalpy = enthalpy;
    propIdEntropy = entropy;
    propIdVolume = volume;
    lnPhiPropId = lnPhi;
}

ThreePhaseTracer::~ThreePhaseTracer() {
    delete luSolver;
    DeleteMatrix(jac, neq);
    delete[] pivots;
    for (double* v :
         {resid,       sens,      lnPhiRef,  lnPhi1,   lnPhi2,   dLnPhiRefdT, dLnPhi1dT, dLnPhi2dT,
          dLnPhiRefdP, dLnPhi1dP, dLnPhi2dP, dxRefdK1, dxRefdK2, dxRefdBeta,  dx1dK1,    dx1dK2,
          dx1dBeta,    dx2dK1,    dx2dK2,    dx2dBeta, workComp, workResult,  foundPhase}) {
        delete[] v;
    }
    DeleteMatrix(dLnPhiRefdn, ncomp);
    DeleteMatrix(dLnPhi1dn, ncomp);
    DeleteMatrix(dLnPhi2dn, ncomp);
    delete[] scratchX;
    for (double* row : hist)
        delete[] row;
    VariantClear(&compositionVariant);
}
