// The names of the properties the utility registers with the host, and the
// calculation's workspace.
#include "saturation/calculation_state.h"

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "engine/three_phase_tracer.h"
#include "engine/two_phase_tracer.h"
#include "host/enums.h"

namespace {

template <class T>
void FreeArray(T*& p) {
    delete[] p;
    p = nullptr;
}
}  // namespace

const wchar_t* const kPropertyNames[kNumPropertyIds] = {
    L"Temperature",
    L"Pressure",
    L"Enthalpy",
    L"Entropy",
    L"MolarVolume",
    L"LnFugacityCoeff",
    L"EnvelopeResultsMatrix",
    L"TypeOfDataPoint",
    L"ColumnName",
    L"2PhaseCriticalP",
    L"2PhaseCriticalT",
    L"3PhaseCriticalP",
    L"3PhaseCriticalT",
    L"3PhaseP",
    L"3PhaseT",
    L"Cricondentherm",
    L"Cricondenbar",
    L"PTCurve",
    L"PHCurve",
    L"PSCurve",
    L"PVCurve",
    L"THCurve",
    L"TSCurve",
    L"TVCurve",
};

void CalculationState::ResetCalculationState() {
    vapFrac = kUndefined;
    liq1Frac = kUndefined;
    liq2Frac = kUndefined;
    betaMode = 3;
    threePhaseFound = 0;
    threePhaseCheck = 0;
    fromThreePhasePoint = 0;
    initPkpa = kUndefined;
    curPatm = kUndefined;
    curTdegk = kUndefined;
    for (ThreePhasePoint& p : threePhasePoints)
        p = {kUndefined, kUndefined, kUndefined, kUndefined, kUndefined};
}

void CalculationState::AllocateWorkspace(int32_t n) {
    if (n < 0)
        n = 0;
    compound19Index = -1;
    ResetCalculationState();
    ncomp = n;
    numbPresent = 0;
    numbUnknowns = kUndefinedInt;

    yVap = new double[n];
    xLiq1 = new double[n];
    xLiq2 = new double[n];
    feedComp = new double[n];
    hostComp = new double[n];
    K1 = new double[n];
    K2 = new double[n];
    critTdegk = new double[n];
    critPkpa = new double[n];
    compID = new int32_t[n];
    compFamily = new int32_t[n];
    for (int32_t i = 0; i < n; ++i)
        compFamily[i] = eHydrocarbon;

    twoPhaseSkip = new uint8_t[n + 2];
    threePhaseSkip = new uint8_t[2 * n + 3];
    twoPhaseSkip[n] = twoPhaseSkip[n + 1] = 0;
    threePhaseSkip[2 * n] = threePhaseSkip[2 * n + 1] = threePhaseSkip[2 * n + 2] = 0;

    delete twoPhaseTracer;
    twoPhaseTracer = new TwoPhaseTracer();
    twoPhaseTracer->Init(n);

    delete threePhaseTracer;
    threePhaseTracer = new ThreePhaseTracer();
    threePhaseTracer->Init(n);

    if (pointStore != nullptr) {
        pointStore->Free();
        delete pointStore;
    }
    pointStore = new EnvelopePointStore();
    pointStore->Init();
}

void CalculationState::ReleaseWorkspace() {
    FreeArray(yVap);
    FreeArray(xLiq1);
    FreeArray(xLiq2);
    FreeArray(feedComp);
    FreeArray(K1);
    FreeArray(K2);
    FreeArray(hostComp);
    FreeArray(twoPhaseSkip);
    FreeArray(threePhaseSkip);
    FreeArray(critPkpa);
    FreeArray(critTdegk);
    FreeArray(compFamily);
    FreeArray(compID);
}
