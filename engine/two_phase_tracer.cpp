// Lifecycle of the two-phase envelope engine's object.
#include "engine/two_phase_tracer.h"

#include "core/units.h"
#include "engine/work_arrays.h"

TwoPhaseTracer::TwoPhaseTracer()
    : ncomp(kUndefinedInt),
      nEquations(0),
      n(0),
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
      scratchy(nullptr) {}

void TwoPhaseTracer::Init(int32_t count) {
    ncomp = count;
    nEquations = count + 1;
    n = count + 2;
    jac = arrays_.Matrix(n, n);
    resid = arrays_.Vector(n);
    sens = arrays_.Vector(n);
    pivots = arrays_.Indices(n);
    lnPhiA = arrays_.Vector(ncomp);
    lnPhiB = arrays_.Vector(ncomp);
    dLnPhiAdT = arrays_.Vector(ncomp);
    dLnPhiBdT = arrays_.Vector(ncomp);
    dLnPhiAdP = arrays_.Vector(ncomp);
    dLnPhiBdP = arrays_.Vector(ncomp);
    dLnPhiAdn = arrays_.Matrix(ncomp, ncomp);
    dLnPhiBdn = arrays_.Matrix(ncomp, ncomp);
    dxdK = arrays_.Vector(ncomp);
    dydK = arrays_.Vector(ncomp);
    workComp = arrays_.Vector(ncomp);
    workResult = arrays_.Vector(ncomp);
    for (double*& row : predictor)
        row = arrays_.Vector(n);
    halfStepX = arrays_.Vector(n);
    history.Init(n);
    innerX = arrays_.Vector(n);
    innerNearX = arrays_.Vector(n);
    saveX = arrays_.Vector(n);
    saveSens = arrays_.Vector(n);
    saveK = arrays_.Vector(ncomp);
    savex = arrays_.Vector(ncomp);
    savey = arrays_.Vector(ncomp);
    scratchX = arrays_.Vector(n);
    scratchK = arrays_.Vector(ncomp);
    scratchx = arrays_.Vector(ncomp);
    scratchy = arrays_.Vector(ncomp);
}

TwoPhaseTracer::~TwoPhaseTracer() = default;
