// One envelope calculation: what the utility's Execute does from its
// arguments to its result. The set-up binds the host objects of the call,
// rebuilds the workspace, reads and normalises the feed, borrows the host
// flash's settings and chooses the pressure range; the stage plan runs the
// dew, bubble, three-phase and liquid-liquid scans whose curves the engines
// trace; the end puts the host's settings back and writes the results.
//
// Host failures in the set-up and the stages end the calculation with the
// failing HRESULT and no output; the engines' and saturation routines'
// result codes only steer the stages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bridge/thermo_bridge.h"
#include "core/envelope_point_store.h"
#include "core/units.h"
#include "driver/utility_state.h"
#include "host/interfaces.h"

// Shows the options dialog after a full calculation; returns S_OK, or the
// HRESULT of a dialog that could not be set up (its plot view not created).
// Null: no dialog.
typedef HRESULT (*OptionsDialogHook)(IPYRUtility* utility, IPYRUtilityManager* utilityManager,
                                     IDispatch* phaseCollection, IDispatch* propContainer,
                                     IPropManager* propManager);

class EnvelopeCalculation {
  public:
    // u: the utility's state; utility: the utility object itself (handed to
    // the options dialog).
    EnvelopeCalculation(UtilityState* u, IPYRUtility* utility, OptionsDialogHook dialog);

    // The whole calculation; the arguments are Execute's.
    HRESULT Run(IPYRUtilityManager* pUtilityManager, IDispatch* pPhaseCollection,
                IDispatch* pPropContainer, LONG bRecalculate, LONG bCalculationOnly, LONG nProp);

  private:
    // Set-up; S_FALSE when the services or arguments are missing.
    HRESULT SetUp(IDispatch* pPhaseCollection, IDispatch* pPropContainer);
    HRESULT SetUpHostPath(IDispatch* pPhaseCollection, IDispatch* pPropContainer);
    HRESULT SetUpProviderPath(IDispatch* pPropContainer);
    void MakeEngineThermo();
    void ChoosePressureRange();
    void RunStagePlan();
    void RestoreFlashSettings();
    void ReleaseLocals();

    // Common steps.
    void SeedFlash();
    void AppendPoint(double patm, double tdegk, double h, double s, double v);
    void RecordThreePhasePoint(int record);
    void AppendRecord(int record);
    int TraceTwoPhase(double* x, double* y, int record);
    int TraceThreePhase();

    // Rows in the point store; the next pass's pressure of a boundary scan.
    int32_t StoredRows() const;
    // The highest pressure (atm) of the rows of `type` (kAnyRowType: every
    // row) among rows [first, end), 0 if none.
    static constexpr int32_t kAnyRowType = -1;
    double HighestRow(int32_t first, int32_t end, int32_t type) const;
    double NextScanPressure(double passPatm, int32_t firstRow) const;

    // Scans; each runs while curPatm < bound.
    void DewScan(double bound, int record, bool firstStage);
    void IncipientLiquidScan(double bound, int record);
    void BubbleBoundaryScan(double bound, bool saturationAtEndOfPass);
    void LiquidLiquidScan(double bound, bool clearCriticalPoint);

    // Stage-plan branches.
    void VapourPressureCurve();
    void ThreePhasePath();
    void FromInvertedThreePhasePoint();
    void FromSecondThreePhasePoint();
    void IncipientStageFrom(int record, bool clearInvertLine, double pressLowOffset);
    void FeedLiquidBoundaryFrom(int record, const std::vector<double>& further);
    bool SplitsOnlyBelow(int32_t row);
    void RestartDewSide(int record, int32_t pointType, double scanStartOffset);
    // What a restart from a three-phase point changes, kept to take back a
    // trace that went the wrong way from the point.
    struct RestartState {
        ThreePhasePoint point, record1;
        int32_t rows = 0;
        uint8_t invertLine = 0, stuck = 0;
        uint32_t gaps = 0;
        double tdegk = 0.0, patm = 0.0;
        std::vector<double> liquid, vapour, further, k, unknowns;
    };
    RestartState SaveRestartState(int record) const;
    // Two three-phase points within 0.5 K and 1 % in pressure.
    static bool SamePoint(const ThreePhasePoint& a, const ThreePhasePoint& b);
    // Whether a row from firstNewRow on is a cricondenbar or cricondentherm
    // stored before it already (the same type, 1e-6 in pressure, 1e-4 K).
    bool RepeatsAnExtremum(int32_t firstNewRow) const;
    void RestoreRestartState(const RestartState& state);
    void BubbleBoundaryBelow(int record);
    void BubbleCurveBelow(int record);
    void TwoPhasePath();
    int TraceCurveOnce(double* x, double* y, ThreePhasePoint& p);
    uint32_t Gaps() const;
    void BoundaryFromThreePhasePoint(int record, const std::vector<double>& liquid,
                                     const std::vector<double>& vapour,
                                     const std::vector<double>& further, int32_t pointType);

    UtilityState* u_;
    IPYRUtility* utility_;
    OptionsDialogHook dialog_;
    // The thermodynamics the engines see, made at the set-up.
    std::unique_ptr<ThermoBridge> thermo_;

    // Execute's locals.
    ICompoundCollection* pCompColl = nullptr;
    IPhase* pPhase = nullptr;
    IPhase* pStabTestPhase = nullptr;
    int32_t methodSetting = 3;
    int Storedmethod = 3;
    double tinit = 0.0;
    double lowerBnd = 0.0;
    double upperBnd = 0.0;
    double delt = 0.0;
    double tolDelBnd = 0.0;
    bool settingsSaved = false;
    int32_t pureCompIdx = kUndefinedInt;
    double pressLow = 0.0;
    double pressHigh = 0.0;
    double pressStep = 0.0;
    double startPressLow = 0.0;
    double startPressHigh = 0.0;
    int32_t numbCalculatedPoints = 0;
    int32_t NumbPhases = 0;
    double H = 0.0;
    double S = 0.0;
    double V = 0.0;
    double IncipientLiqTdegk = 0.0;
    uint8_t InvertLine = 0;
    uint8_t Switched = 0;
    // Some pass of the last bubble-boundary scan found a two-phase bubble
    // point.
    uint8_t bubbleTwoPhase = 0;
    uint8_t stuck = 0;
    uint8_t b3Phasestuck = 0;
    uint8_t CriticalPointFound = 0;
    uint8_t lastPointInverted = 0;
    // The first stage's trace was a liquid feed's boundary with a further
    // liquid: the vapour-liquid curves are still to be traced.
    uint8_t liquidBoundaryStop = 0;
    double stuckPatm = 0.0;
    double stuckTdegk = 0.0;
    uint8_t bothSaturations = 0;
    uint8_t bubbleTraced = 0;
    double Tsat = 0.0;
    // What the traces left out (EnvelopeGap bits).
    uint32_t gaps = 0;
};
