// Lifecycle of the two-phase envelope engine's object.
#include "engine/two_phase_tracer.h"

#include "core/units.h"
#include "engine/work_arrays.h"

TwoPhaseTracer::TwoPhaseTracer()
    : ncomp(kUndefinedInt),
      nEquations(0),
      n(0),
      luSolver(nullptr),
      jac(nullptr),
      resid(nullptr),
      sens(nullptr),
      pivots(nullptr),
      lnPhiA(nullptr),
      lnPhiB(nullptr),
      dLnPhiAdT(nullptr),
      dLnPhiBdT(nullptr),
      dLnPhiAdP(nullptr),
      dLnPhiBdP(nullptr),
      dLnPhiAdn(nullptr),
      dLnPhiBdn(nullptr),
      dxdK(nullptr),
      dydK(nullptr),
      workComp(nullptr),
      workResult(nullptr),
      phaseTypeA(1),
      phaseTypeB(-1),
      lnPhiPropId(kUndefinedInt),
      predictor{nullptr, nullptr, nullptr, nullptr},
      halfStepX(nullptr),
      swapPending(0),
      crossIdx(-1),
      crossSwapped(0),
      crossingStop(kNoCrossingStop),
      firstStepSign(1.0),
      innerX(nullptr),
      innerNearX(nullptr),
      haveInner(0),
      saveX(nullptr),
      saveSens(nullptr),
      saveK(nullptr),
      savex(nullptr),
      savey(nullptr),
      scratchX(nullptr),
      scratchK(nullptr),
      scratchx(nullptr),
      scratchy(nullptr),
      fracOnePhase(nullptr),
      fracZeroPhase(nullptr),
      compositionBound{0, 0} {
    VariantInit(&compositionVariant);
}

void TwoPhaseTracer::Init(int32_t count) {
    ncomp = count;
    nEquations = count + 1;
    n = count + 2;
    luSolver = new MatrixLUSolver();
    jac = NewMatrix(n, n);
    resid = NewVector(n);
    sens = NewVector(n);
    pivots = new int32_t[n];
    lnPhiA = NewVector(ncomp);
    lnPhiB = NewVector(ncomp);
    dLnPhiAdT = NewVector(ncomp);
    dLnPhiBdT = NewVector(ncomp);
    dLnPhiAdP = NewVector(ncomp);
    dLnPhiBdP = NewVector(ncomp);
    dLnPhiAdn = NewMatrix(ncomp, ncomp);
    dLnPhiBdn = NewMatrix(ncomp, ncomp);
    dxdK = NewVector(ncomp);
    dydK = NewVector(ncomp);
    workComp = NewVector(ncomp);
    workResult = NewVector(ncomp);
    for (double*& row : predictor)
        row = NewVector(n);
    halfStepX = NewVector(n);
    history.Init(n);
    innerX = NewVector(n);
    innerNearX = NewVector(n);
    saveX = NewVector(n);
    saveSens = NewVector(n);
    saveK = NewVector(ncomp);
    savex = NewVector(ncomp);
    savey = NewVector(ncomp);
    scratchX = NewVector(n);
    scratchK = NewVector(ncomp);
    scratchx = NewVector(ncomp);
    scratchy = NewVector(ncomp);
    compositionBound.lLbound = 0;
    compositionBound.cElements = static_cast<ULONG>(ncomp);
    compositionVariant.vt = VT_ARRAY | VT_R8;
    compositionVariant.parray = SafeArrayCreate(VT_R8, 1, &compositionBound);
}

TwoPhaseTracer::~TwoPhaseTracer() {
    delete luSolver;
    DeleteMatrix(jac, n);
    delete[] resid;
    delete[] sens;
    delete[] pivots;
    delete[] lnPhiA;
    delete[] lnPhiB;
    delete[] dLnPhiAdT;
    delete[] dLnPhiBdT;
    delete[] dLnPhiAdP;
    delete[] dLnPhiBdP;
    DeleteMatrix(dLnPhiAdn, ncomp);
    DeleteMatrix(dLnPhiBdn, ncomp);
    delete[] dxdK;
    delete[] dydK;
    delete[] workComp;
    delete[] workResult;
    for (double* row : predictor)
        delete[] row;
    delete[] halfStepX;
    delete[] innerX;
    delete[] innerNearX;
    delete[] saveX;
    delete[] saveSens;
    delete[] saveK;
    delete[] savex;
    delete[] savey;
    delete[] scratchX;
    delete[] scratchK;
    delete[] scratchx;
    delete[] scratchy;
    VariantClear(&compositionVariant);
}
