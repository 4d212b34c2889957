// The state a calculation works on: per-compound working arrays, compound
// data, the engine objects, the point store and the registered property IDs,
// in the order the utility object declares them. The saturation routines see
// the utility object through this view of it, without its host connections
// (UtilityState in driver/ adds those).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/undefined.h"

class EnvelopePointStore;
class TwoPhaseTracer;
class ThreePhaseTracer;

// A three-phase point: pressure (atm), temperature (K), and the mixture
// enthalpy, entropy and molar volume stored with it.
struct ThreePhasePoint {
    double Patm;
    double Tdegk;
    double H;
    double S;
    double V;
};

// Indices of the 24 property IDs registered by InitializePropertyIDs, in
// their order of registration.
enum PropertyIdIndex {
    kPropTemperature,
    kPropPressure,
    kPropEnthalpy,
    kPropEntropy,
    kPropMolarVolume,
    kPropLnFugacityCoeff,
    kPropEnvelopeResultsMatrix,
    kPropTypeOfDataPoint,
    kPropColumnName,
    kProp2PhaseCriticalP,
    kProp2PhaseCriticalT,
    kProp3PhaseCriticalP,
    kProp3PhaseCriticalT,
    kProp3PhaseP,
    kProp3PhaseT,
    kPropCricondentherm,
    kPropCricondenbar,
    kPropPTCurve,
    kPropPHCurve,
    kPropPSCurve,
    kPropPVCurve,
    kPropTHCurve,
    kPropTSCurve,
    kPropTVCurve,
    kNumPropertyIds
};

// The registered names, indexed by PropertyIdIndex.
extern const wchar_t* const kPropertyNames[kNumPropertyIds];

// The pointer fields are views into storage the state owns: the arrays
// and objects are made and freed by the methods below, never by hand.
struct CalculationState {
    CalculationState();
    ~CalculationState();
    CalculationState(const CalculationState&) = delete;
    CalculationState& operator=(const CalculationState&) = delete;

    // Sets up the per-calculation state and arrays for n compounds, with new
    // engine objects and a new, empty point store. The caller has run
    // ReleaseWorkspace.
    void AllocateWorkspace(int32_t n);
    // Frees the per-compound arrays (the engines, point store and unknowns
    // stay). A second call does nothing.
    void ReleaseWorkspace();
    // Sets the calculation state that AllocateWorkspace resets.
    void ResetCalculationState();
    // Sizes `unknowns` for count values (their contents undefined until
    // written) and sets numbUnknowns.
    void SizeUnknowns(int32_t count);
    // Frees the feed's mole fractions (a calculation that failed drops them).
    void DropFeed();
    // Frees the unknowns, the engines and the point store.
    void ReleaseEngines();

    uint8_t* twoPhaseSkip = nullptr;    // ncomp + 2
    uint8_t* threePhaseSkip = nullptr;  // 2 ncomp + 3
    int32_t numbUnknowns = kUndefinedInt;
    double* unknowns = nullptr;
    double* K1 = nullptr;
    double* K2 = nullptr;
    double* feedComp = nullptr;
    double* hostComp = nullptr;
    double* yVap = nullptr;
    double* xLiq1 = nullptr;
    double* xLiq2 = nullptr;
    int32_t betaMode{};
    double vapFrac{};
    double liq1Frac{};
    double liq2Frac{};
    uint8_t threePhaseFound{};
    int32_t* compFamily = nullptr;
    double* critTdegk = nullptr;
    double* critPkpa = nullptr;
    int32_t* compID = nullptr;
    uint8_t threePhaseCheck{};
    uint8_t fromThreePhasePoint{};
    uint8_t notifyChangeUsed{};
    uint8_t compColChanged{};
    int32_t ncomp{};
    int32_t numbPresent{};
    int32_t compound19Index{};
    int32_t outColumns{};
    double initPkpa{};
    double curPatm{};
    double curTdegk{};
    ThreePhasePoint threePhasePoints[2]{};
    int32_t curPointType{};
    EnvelopePointStore* pointStore = nullptr;
    TwoPhaseTracer* twoPhaseTracer = nullptr;
    ThreePhaseTracer* threePhaseTracer = nullptr;
    int32_t propIds[kNumPropertyIds]{};
    uint8_t useAppThermo{};

  private:
    struct Storage;
    std::unique_ptr<Storage> storage_;
};
