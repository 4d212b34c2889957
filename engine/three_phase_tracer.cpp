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
      foundPhase(nullptr) {}

void ThreePhaseTracer::Init(int32_t count) {
    ncomp = count;
    neq = 2 * count + 3;
    idxLnT = 2 * count;
    idxLnP = 2 * count + 1;
    idxLnBeta = 2 * count + 2;
    jac = arrays_.Matrix(neq, neq);
    resid = arrays_.Vector(neq);
    sens = arrays_.Vector(neq);
    pivots = arrays_.Indices(neq);
    lnPhiRef = arrays_.Vector(ncomp);
    lnPhi1 = arrays_.Vector(ncomp);
    lnPhi2 = arrays_.Vector(ncomp);
    dLnPhiRefdT = arrays_.Vector(ncomp);
    dLnPhi1dT = arrays_.Vector(ncomp);
    dLnPhi2dT = arrays_.Vector(ncomp);
    dLnPhiRefdP = arrays_.Vector(ncomp);
    dLnPhi1dP = arrays_.Vector(ncomp);
    dLnPhi2dP = arrays_.Vector(ncomp);
    dLnPhiRefdn = arrays_.Matrix(ncomp, ncomp);
    dLnPhi1dn = arrays_.Matrix(ncomp, ncomp);
    dLnPhi2dn = arrays_.Matrix(ncomp, ncomp);
    dxRefdK1 = arrays_.Vector(ncomp);
    dxRefdK2 = arrays_.Vector(ncomp);
    dxRefdBeta = arrays_.Vector(ncomp);
    dx1dK1 = arrays_.Vector(ncomp);
    dx1dK2 = arrays_.Vector(ncomp);
    dx1dBeta = arrays_.Vector(ncomp);
    dx2dK1 = arrays_.Vector(ncomp);
    dx2dK2 = arrays_.Vector(ncomp);
    dx2dBeta = arrays_.Vector(ncomp);
    workComp = arrays_.Vector(ncomp);
    workResult = arrays_.Vector(ncomp);
    foundPhase = arrays_.Vector(ncomp);
    history.Init(neq);
    scratchX = arrays_.Vector(neq);
    for (double*& row : hist)
        row = arrays_.Vector(neq);
}

ThreePhaseTracer::~ThreePhaseTracer() = default;
