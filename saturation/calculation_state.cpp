// The names of the properties the utility registers with the host, and the
// calculation's workspace.
#include "saturation/calculation_state.h"

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "engine/three_phase_tracer.h"
#include "engine/two_phase_tracer.h"
#include "host/enums.h"

// What the pointer fields point into.
struct CalculationState::Storage {
    std::vector<double> yVap, xLiq1, xLiq2, feedComp, hostComp, K1, K2, critTdegk, critPkpa;
    std::vector<int32_t> compID, compFamily;
    std::vector<uint8_t> twoPhaseSkip, threePhaseSkip;
    std::vector<double> unknowns;
    std::unique_ptr<TwoPhaseTracer> twoPhaseTracer;
    std::unique_ptr<ThreePhaseTracer> threePhaseTracer;
    std::unique_ptr<EnvelopePointStore> pointStore;
};

namespace {

// Sizes v for n elements (at least one, so that the view is never null while
// the array is meant to exist) and returns the view.
template <class T>
T* Sized(std::vector<T>& v, int32_t n) {
    v.assign(static_cast<size_t>(n > 0 ? n : 1), T());
    return v.data();
}

// Frees v and nulls its view.
template <class T>
void Free(std::vector<T>& v, T*& view) {
    std::vector<T>().swap(v);
    view = nullptr;
}

}  // namespace

CalculationState::CalculationState() : storage_(std::make_unique<Storage>()) {}

CalculationState::~CalculationState() = default;

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

    Storage& m = *storage_;
    yVap = Sized(m.yVap, n);
    xLiq1 = Sized(m.xLiq1, n);
    xLiq2 = Sized(m.xLiq2, n);
    feedComp = Sized(m.feedComp, n);
    hostComp = Sized(m.hostComp, n);
    K1 = Sized(m.K1, n);
    K2 = Sized(m.K2, n);
    critTdegk = Sized(m.critTdegk, n);
    critPkpa = Sized(m.critPkpa, n);
    compID = Sized(m.compID, n);
    compFamily = Sized(m.compFamily, n);
    for (int32_t i = 0; i < n; ++i)
        compFamily[i] = eHydrocarbon;

    // The tails (ln T, ln P and a phase fraction) are never skipped: they
    // hold the 0 the arrays start with.
    twoPhaseSkip = Sized(m.twoPhaseSkip, n + 2);
    threePhaseSkip = Sized(m.threePhaseSkip, 2 * n + 3);

    m.twoPhaseTracer = std::make_unique<TwoPhaseTracer>();
    twoPhaseTracer = m.twoPhaseTracer.get();
    twoPhaseTracer->Init(n);

    m.threePhaseTracer = std::make_unique<ThreePhaseTracer>();
    threePhaseTracer = m.threePhaseTracer.get();
    threePhaseTracer->Init(n);

    m.pointStore = std::make_unique<EnvelopePointStore>();
    pointStore = m.pointStore.get();
    pointStore->Init();
}

void CalculationState::ReleaseWorkspace() {
    Storage& m = *storage_;
    Free(m.yVap, yVap);
    Free(m.xLiq1, xLiq1);
    Free(m.xLiq2, xLiq2);
    Free(m.feedComp, feedComp);
    Free(m.K1, K1);
    Free(m.K2, K2);
    Free(m.hostComp, hostComp);
    Free(m.twoPhaseSkip, twoPhaseSkip);
    Free(m.threePhaseSkip, threePhaseSkip);
    Free(m.critPkpa, critPkpa);
    Free(m.critTdegk, critTdegk);
    Free(m.compFamily, compFamily);
    Free(m.compID, compID);
}

void CalculationState::SizeUnknowns(int32_t count) {
    numbUnknowns = count;
    unknowns = Sized(storage_->unknowns, count);
}

void CalculationState::DropFeed() {
    Free(storage_->feedComp, feedComp);
}

void CalculationState::ReleaseEngines() {
    Storage& m = *storage_;
    Free(m.unknowns, unknowns);
    m.twoPhaseTracer.reset();
    twoPhaseTracer = nullptr;
    m.threePhaseTracer.reset();
    threePhaseTracer = nullptr;
    m.pointStore.reset();
    pointStore = nullptr;
}
