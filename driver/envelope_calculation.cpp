// Execute: set-up, the stage plan of scans and traces, the end of the
// calculation and the results output.
#include "driver/envelope_calculation.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "bridge/host_thermo.h"
#include "bridge/provider_thermo.h"
#include "core/com_error.h"
#include "core/units.h"
#include "core/variant_arrays.h"
#include "driver/compound_data.h"
#include "driver/results_output.h"
#include "engine/three_phase_continuation.h"
#include "engine/two_phase_continuation.h"
#include "saturation/incipient_phase.h"
#include "saturation/saturation_point.h"

namespace {

const double kDominantFraction = 0.99999;
const double kBubbleScanTop = 200.0;  // atm
// Pressure ratio between successive points of a vapour-pressure curve.
const double kVapourPressureRatio = 1.25;

// The incipient-phase search converges on the lower edge of the target
// phase count's range inside its bracket; when that edge is the bracket's
// own end, the count did not change inside the bracket and the temperature
// found marks no phase boundary: it is neither traced from nor stored.
bool InsideBracket(double t, double lower, double upper) {
    const double tolerance = 0.02;  // twice the search's final bracket width, K
    return std::fabs(t - lower) > tolerance && std::fabs(t - upper) > tolerance;
}

}  // namespace

EnvelopeCalculation::EnvelopeCalculation(UtilityState* u, IPYRUtility* utility,
                                         OptionsDialogHook dialog)
    : u_(u), utility_(utility), dialog_(dialog) {}

// ---------------------------------------------------------------------------
// Set-up and end.

// The host path's set-up: the phases and compounds of the host's objects,
// the workspace sized to them, the feed read, and the host's flash settings
// saved and replaced. S_FALSE when the host's managers or the arguments are
// missing; host failures raise CPYCOMError.
HRESULT EnvelopeCalculation::SetUpHostPath(IDispatch* pPhaseCollection, IDispatch* pPropContainer) {
    UtilityState* u = u_;
    if (u->propManager == nullptr || u->flashManager == nullptr || pPhaseCollection == nullptr ||
        pPropContainer == nullptr) {
        return S_FALSE;
    }
    SafeRelease(u->phaseCollection);
    CheckFailed(
        pPropContainer->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&pStabTestPhase)));
    CheckFailed(pPhaseCollection->QueryInterface(IID_IPhaseCollection,
                                                 reinterpret_cast<void**>(&u->phaseCollection)));

    IDispatch* compounds = nullptr;
    CheckOk(u->phaseCollection->get_Compounds(&compounds));
    if (compounds == nullptr)
        throw CPYCOMError(E_POINTER);
    const HRESULT q =
        compounds->QueryInterface(IID_ICompoundCollection, reinterpret_cast<void**>(&pCompColl));
    compounds->Release();
    CheckFailed(q);
    LONG count = 0;
    CheckOk(pCompColl->get_NumberOfCompounds(&count));
    if (count < 0)
        throw CPYCOMError(E_INVALIDARG);

    u->ReleaseWorkspace();
    u->AllocateWorkspace(count);

    IDispatch* feed = nullptr;
    CheckOk(u->phaseCollection->GetPhase(kPhaseKindSpecification, 0, &feed));
    if (feed == nullptr)
        throw CPYCOMError(E_POINTER);
    const HRESULT f = feed->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&pPhase));
    feed->Release();
    CheckFailed(f);
    IRealArrayDisp* composition = nullptr;
    CheckOk(pPhase->get_Composition(&composition));
    if (composition == nullptr)
        throw CPYCOMError(E_POINTER);
    for (int32_t i = 0; i < u->ncomp; ++i) {
        const HRESULT hr = composition->get_IthValue(i, &u->hostComp[i]);
        if (hr != S_OK) {
            composition->Release();
            throw CPYCOMError(hr);
        }
    }
    composition->Release();

    if (u->numbPresent > 10)
        methodSetting = 2;
    if (u->flashSettings != nullptr) {
        u->flashSettings->GetVariableSettings(u->propIds[kPropTemperature], &tinit, &lowerBnd,
                                              &upperBnd, &delt, &tolDelBnd);
        u->flashSettings->get_IntSetting(&Storedmethod);
        u->flashSettings->put_IntSetting(methodSetting);
        settingsSaved = true;
    }
    return S_OK;
}

// The provider's path's set-up: an empty store, the feed read from the
// provider, and the provider's flash mode.
HRESULT EnvelopeCalculation::SetUpProviderPath(IDispatch* pPropContainer) {
    UtilityState* u = u_;
    // Each calculation on the provider's path starts from an empty store.
    if (pPropContainer == nullptr)
        return E_POINTER;
    if (u->pointStore != nullptr) {
        u->pointStore->Free();
        u->pointStore->Init();
        u->pointStore->SetNumPoints(0, 0);
    }
    IAppValue* value = nullptr;
    u->appThermoProvider->get_Composition(&value);
    if (value != nullptr) {
        VARIANT v;
        VariantInit(&v);
        value->get_Value(&v);
        value->Release();
        CopyArrayValues(v, u->hostComp, u->ncomp);
        VariantClear(&v);
    }
    if (u->numbPresent > 10)
        methodSetting = 2;
    u->appThermoProvider->put_Mode(methodSetting);
    return S_OK;
}

HRESULT EnvelopeCalculation::SetUp(IDispatch* pPhaseCollection, IDispatch* pPropContainer) {
    UtilityState* u = u_;
    numbCalculatedPoints = 0;
    CriticalPointFound = 0;
    methodSetting = 3;
    Storedmethod = 3;

    const HRESULT ready = u->useAppThermo == 0 ? SetUpHostPath(pPhaseCollection, pPropContainer)
                                               : SetUpProviderPath(pPropContainer);
    if (ready != S_OK)
        return ready;

    u->curPatm = u->initPkpa >= 0.0 ? u->initPkpa / kKpaPerAtm : kUndefined;

    const HRESULT loaded = LoadCompoundData(u, u->hostComp, pCompColl);
    if (FAILED(loaded))
        throw CPYCOMError(loaded);

    pureCompIdx = kUndefinedInt;
    for (int32_t i = 0; i < u->ncomp; ++i) {
        if (u->feedComp[i] > kDominantFraction)
            pureCompIdx = i;
    }
    ChoosePressureRange();

    NumbPhases = 0;
    InvertLine = 0;
    Switched = 0;
    stuck = 0;
    liquidBoundaryStop = 0;
    b3Phasestuck = 0;
    u->threePhaseCheck = 1;
    u->fromThreePhasePoint = 0;
    u->curPointType = kPointDew;
    MakeEngineThermo();
    return S_OK;
}

// The thermodynamics the engines see: the host's objects of this
// calculation, or the provider.
void EnvelopeCalculation::MakeEngineThermo() {
    UtilityState* u = u_;
    if (u->useAppThermo != 0) {
        thermo_ = std::make_unique<ProviderThermo>(u->appThermoProvider, u->ncomp, u->hostComp);
        return;
    }
    HostObjects objects;
    objects.phases = u->phaseCollection;
    objects.flashSettings = u->flashSettings;
    objects.flashManager = u->flashManager;
    objects.companion = u->settingsCompanion;
    objects.propManager = u->propManager;
    objects.workingPhase = pStabTestPhase;
    objects.conditionsPhase = pPhase;
    objects.methodSetting = methodSetting;
    objects.lnPhiPropId = u->propIds[kPropLnFugacityCoeff];
    objects.enthalpyPropId = u->propIds[kPropEnthalpy];
    objects.entropyPropId = u->propIds[kPropEntropy];
    objects.volumePropId = u->propIds[kPropMolarVolume];
    objects.seed.saved = settingsSaved;
    objects.seed.temperaturePropId = u->propIds[kPropTemperature];
    objects.seed.lower = lowerBnd;
    objects.seed.upper = upperBnd;
    objects.seed.step = delt;
    objects.seed.tolerance = tolDelBnd;
    thermo_ = std::make_unique<HostThermo>(objects, u->ncomp, u->hostComp);
}

void EnvelopeCalculation::ChoosePressureRange() {
    UtilityState* u = u_;
    if (pureCompIdx >= 0) {
        if (u->curPatm == kUndefined)
            u->curPatm = 0.5;
        pressLow = std::min(u->curPatm - 0.01, 0.25);
        pressHigh = std::min(0.97 * u->critPkpa[pureCompIdx] / kKpaPerAtm, 500.0);
    } else {
        if (u->curPatm == kUndefined)
            u->curPatm = 2.0;
        pressLow = std::min(u->curPatm - 0.01, 2.0);
        pressHigh = 500.0;
    }
    if (!(u->curPatm > pressLow))
        pressLow = u->curPatm - 0.01;
    if (!(pressHigh > u->curPatm))
        pressHigh = u->curPatm + 0.01;
    startPressLow = pressLow;
    startPressHigh = pressHigh;
}

void EnvelopeCalculation::RestoreFlashSettings() {
    if (!settingsSaved || u_->flashSettings == nullptr)
        return;
    u_->flashSettings->put_IntSetting(Storedmethod);
    u_->flashSettings->SetVariableSettings(u_->propIds[kPropTemperature], tinit, lowerBnd, upperBnd,
                                           delt, tolDelBnd);
}

void EnvelopeCalculation::ReleaseLocals() {
    thermo_.reset();
    SafeRelease(pCompColl);
    SafeRelease(pPhase);
    SafeRelease(pStabTestPhase);
}

HRESULT EnvelopeCalculation::Run(IPYRUtilityManager* pUtilityManager, IDispatch* pPhaseCollection,
                                 IDispatch* pPropContainer, LONG bRecalculate,
                                 LONG bCalculationOnly, LONG nProp) {
    if (bRecalculate == 0)
        return S_OK;
    try {
        const HRESULT ready = SetUp(pPhaseCollection, pPropContainer);
        if (ready != S_OK) {
            ReleaseLocals();
            return ready;
        }
        RunStagePlan();
        RestoreFlashSettings();
        ResultsOutput output(u_, pPhaseCollection, pPropContainer);
        const HRESULT written = output.Write(bCalculationOnly, nProp);
        const HRESULT status = written == S_OK && Gaps() != 0
                                   ? static_cast<HRESULT>(PE_S_ENVELOPE_INCOMPLETE | Gaps())
                                   : written;
        if (bCalculationOnly == 0 && dialog_ != nullptr) {
            const HRESULT shown = dialog_(utility_, pUtilityManager, pPhaseCollection,
                                          pPropContainer, u_->propManager);
            if (FAILED(shown))
                throw CPYCOMError(shown);
        }
        ReleaseLocals();
        return status;
    } catch (const CPYCOMError& e) {
        ReleaseLocals();
        u_->DropFeed();
        return e.Result();
    } catch (...) {
        ReleaseLocals();
        u_->DropFeed();
        return E_FAIL;
    }
}

// What is missing from the envelope the stages stored: the gaps the traces
// reported, and what the store itself shows.
uint32_t EnvelopeCalculation::Gaps() const {
    uint32_t all = gaps;
    const int32_t rows = StoredRows();
    if (rows >= EnvelopePointStore::kCapacity)
        all |= kGapStoreFull;
    bool boundary = false;
    for (int32_t row = 0; row < rows && !boundary; ++row) {
        int32_t type = 0;
        u_->pointStore->GetPointType(row, &type, 0);
        boundary = type >= kPointDew && type <= kPointThreePhase;
    }
    if (!boundary)
        all |= kGapNoPoints;
    if (pureCompIdx >= 0 && u_->numbPresent > 1)
        all |= kGapSingleCompound;
    return all;
}

// ---------------------------------------------------------------------------
// Common steps.

void EnvelopeCalculation::SeedFlash() {
    thermo_->SeedTemperature(u_->curTdegk);
}

void EnvelopeCalculation::AppendPoint(double patm, double tdegk, double h, double s, double v) {
    EnvelopePointStore* store = u_->pointStore;
    int32_t row = 0;
    store->GetNumPoints(&row, 0);
    store->SetPointType(row, u_->curPointType, 0);
    store->SetValue(row, kCodePressure, patm * kKpaPerAtm, 0);
    store->SetValue(row, kCodeTemperature, tdegk, 0);
    store->SetValue(row, kCodeEnthalpy, h, 3);
    store->SetValue(row, kCodeEntropy, s, 3);
    store->SetValue(row, kCodeMolarVolume, v, 3);
    store->SetNumPoints(row + 1, 0);
}

void EnvelopeCalculation::RecordThreePhasePoint(int record) {
    UtilityState* u = u_;
    ThreePhasePoint& p = u->threePhasePoints[record];
    // The feed's own state at the point, in the root of the curve it lies
    // on (the liquid's past a critical point).
    if (thermo_->HasPhaseProperties()) {
        thermo_->SelectPhase(InvertLine != 0 ? PhaseRoot::kLiquid : PhaseRoot::kVapour);
        CheckOk(
            thermo_->PhaseProperties(p.Patm * kKpaPerAtm, p.Tdegk, u->feedComp, &p.H, &p.S, &p.V));
    }
    u->curPointType = kPointThreePhase;
    AppendRecord(record);
}

void EnvelopeCalculation::AppendRecord(int record) {
    const ThreePhasePoint& p = u_->threePhasePoints[record];
    AppendPoint(p.Patm, p.Tdegk, p.H, p.S, p.V);
}

int EnvelopeCalculation::TraceTwoPhase(double* x, double* y, int record) {
    UtilityState* u = u_;
    ThreePhasePoint& p = u->threePhasePoints[record];
    // `stuck` keeps what earlier traces set; this trace's own collapse is a
    // gap in the envelope, unless it stopped where its dew curve meets the
    // bubble curve, which the bubble side's trace completes.
    const uint8_t before = stuck;
    stuck = 0;
    const int rc = TraceCurveOnce(x, y, p);
    if (stuck != 0 && u->twoPhaseTracer->crossingStop == kNoCrossingStop)
        gaps |= kGapTraceStopped;
    stuck |= before;
    return rc;
}

int EnvelopeCalculation::TraceCurveOnce(double* x, double* y, ThreePhasePoint& p) {
    UtilityState* u = u_;
    return TraceCurve(u->twoPhaseTracer, thermo_.get(), &u->vapFrac, x, y, u->feedComp, u->K1,
                      pressLow, pressHigh, pureCompIdx, u->unknowns, u->twoPhaseSkip, &u->curTdegk,
                      &u->curPatm, &u->threePhaseFound, u->xLiq2, &p.Patm, &p.Tdegk, 0,
                      u->pointStore, &u->threePhaseCheck, u->fromThreePhasePoint != 0, &InvertLine,
                      u->curPointType, 0, u->critTdegk, u->critPkpa, &stuck);
}

int EnvelopeCalculation::TraceThreePhase() {
    UtilityState* u = u_;
    b3Phasestuck = 0;
    const int rc = TraceBoundary(
        u->threePhaseTracer, thermo_.get(), &u->vapFrac, &u->liq1Frac, &u->liq2Frac, u->xLiq1,
        u->yVap, u->xLiq2, u->feedComp, u->K1, u->K2, pressLow, pressHigh, pureCompIdx, u->unknowns,
        u->threePhaseSkip, &u->curTdegk, &u->curPatm, u->betaMode, 0, u->pointStore,
        u->curPointType, u->critTdegk, &CriticalPointFound, &b3Phasestuck);
    if (b3Phasestuck != 0)
        gaps |= kGapBoundaryStopped;
    return rc;
}

// ---------------------------------------------------------------------------
// Scans.

void EnvelopeCalculation::DewScan(double bound, int record, bool firstStage) {
    UtilityState* u = u_;
    while (u->curPatm < bound) {
        pressStep = u->curPatm < 100.0 ? 2.0 : 20.0;
        u->vapFrac = 1.0;
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        if (NumbPhases == 2) {
            SeedFlash();
            Tsat = u->curTdegk;
            // The saturation point's own state: a trace that fails may have
            // moved the current one.
            const double satPatm = u->curPatm;
            if (TraceTwoPhase(u->xLiq1, u->yVap, record) == 0) {
                if (firstStage) {
                    lastPointInverted = InvertLine;
                    if (stuck != 0) {
                        liquidBoundaryStop =
                            u->twoPhaseTracer->crossingStop == kStopAtLiquidBoundary;
                        stuckPatm = u->curPatm;
                        stuckTdegk = u->curTdegk;
                    }
                }
                return;
            }
            AppendPoint(satPatm, Tsat, H, S, V);
            u->curPatm = satPatm;
        }
        u->curPatm += pressStep;
    }
}

void EnvelopeCalculation::IncipientLiquidScan(double bound, int record) {
    UtilityState* u = u_;
    const ThreePhasePoint& p = u->threePhasePoints[record];
    NumbPhases = 2;
    const double lower = p.Tdegk - 50.0;
    const double upper = p.Tdegk + 50.0;
    while (u->curPatm < bound) {
        pressStep = u->curPatm < 100.0 ? 2.0 : 20.0;
        u->vapFrac = 1.0;
        IncipientPhaseCurve(u, thermo_.get(), u->curPatm, lower, upper, &IncipientLiqTdegk,
                            &NumbPhases, &H, &S, &V);
        if (NumbPhases == 2 && InsideBracket(IncipientLiqTdegk, lower, upper)) {
            const double satPatm = u->curPatm;
            if (TraceTwoPhase(u->xLiq2, u->xLiq1, record) == 0)
                return;
            AppendPoint(satPatm, IncipientLiqTdegk, H, S, V);
            u->curPatm = satPatm;
        }
        u->curPatm += pressStep;
    }
}

void EnvelopeCalculation::BubbleBoundaryScan(double bound, bool saturationAtEndOfPass) {
    UtilityState* u = u_;
    u->vapFrac = 0.0;
    u->betaMode = 3;
    CriticalPointFound = 0;
    while (u->curPatm < bound) {
        b3Phasestuck = 0;
        if (!saturationAtEndOfPass) {
            SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        }
        const double passPatm = u->curPatm;
        // The saturation point's temperature: a trace that fails at its
        // first point leaves its own in curTdegk (a bubble-boundary row was
        // stored at 1.3e6 K with the properties of 97 K).
        const double passTdegk = u->curTdegk;
        const int32_t firstRow = StoredRows();
        bool traceFailed = false;
        if (NumbPhases == 2)
            bubbleTwoPhase = 1;
        if (NumbPhases == 3) {
            bubbleTraced = 1;
            SeedFlash();
            const int rc = TraceThreePhase();
            if (rc == 0 && b3Phasestuck == 0)
                return;
            if (rc != 0) {
                AppendPoint(passPatm, passTdegk, H, S, V);
                traceFailed = true;
            }
        }
        u->curPatm = NextScanPressure(passPatm, firstRow);
        // Where the trace cannot start (the lowest pressures, with traces
        // dissolved in water at 1e-100), the scan's own saturation points are
        // the boundary's rows: the next pass comes at most half the pressure
        // higher, so that they lie close enough to draw the boundary with.
        if (traceFailed)
            u->curPatm = std::min(u->curPatm, 1.5 * passPatm);
        if (saturationAtEndOfPass) {
            SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        }
    }
}

double EnvelopeCalculation::HighestRow(int32_t first, int32_t end, int32_t type) const {
    double highest = 0.0;
    for (int32_t row = first; row < end; ++row) {
        int32_t code = 0;
        double pKpa = 0.0;
        u_->pointStore->GetPointType(row, &code, 0);
        u_->pointStore->GetValue(row, kCodePressure, &pKpa, 0);
        if (type == kAnyRowType || code == type)
            highest = std::max(highest, pKpa / kKpaPerAtm);
    }
    return highest;
}

int32_t EnvelopeCalculation::StoredRows() const {
    int32_t rows = 0;
    u_->pointStore->GetNumPoints(&rows, 0);
    return rows;
}

// The pressure of a boundary scan's next pass. The trace of this pass moved
// curPatm along its boundary and stored its points from firstRow on; the
// scan goes on one step above the highest of the pass's own pressure, the
// trace's end and its highest stored point. Without the first, a trace that
// got stuck below the pass's pressure would send the scan back down, pass
// after pass, without end; without the last, a trace that climbed and came
// back down would be traced again from the next pass.
double EnvelopeCalculation::NextScanPressure(double passPatm, int32_t firstRow) const {
    const double highest = std::max(passPatm, u_->curPatm);
    return std::max(highest, HighestRow(firstRow, StoredRows(), kAnyRowType)) + pressStep;
}

void EnvelopeCalculation::LiquidLiquidScan(double bound, bool clearCriticalPoint) {
    UtilityState* u = u_;
    bothSaturations = 1;
    if (clearCriticalPoint)
        CriticalPointFound = 0;
    while (u->curPatm < bound) {
        b3Phasestuck = 0;
        u->vapFrac = 1.0;
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        const double dewT = u->curTdegk;
        u->vapFrac = 0.0;
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        const double bubbleT = u->curTdegk;
        NumbPhases = 3;
        IncipientPhaseCurve(u, thermo_.get(), u->curPatm, bubbleT, dewT, &IncipientLiqTdegk,
                            &NumbPhases, &H, &S, &V);
        u->betaMode = u->liq2Frac > u->liq1Frac ? 4 : 5;
        const double passPatm = u->curPatm;
        const int32_t firstRow = StoredRows();
        if (NumbPhases == 3 && InsideBracket(IncipientLiqTdegk, bubbleT, dewT)) {
            const int rc = TraceThreePhase();
            if (rc == 0 && b3Phasestuck == 0)
                break;
            if (rc != 0)
                AppendPoint(passPatm, IncipientLiqTdegk, H, S, V);
        }
        u->curPatm = NextScanPressure(passPatm, firstRow);
    }
    bothSaturations = 0;
}

// ---------------------------------------------------------------------------
// The stage plan.

void EnvelopeCalculation::RunStagePlan() {
    UtilityState* u = u_;
    u->curPointType = kPointDew;
    if (pureCompIdx >= 0) {
        VapourPressureCurve();
        return;
    }
    DewScan(pressHigh, 0, true);
    if (u->threePhaseFound != 0) {
        ThreePhasePath();
    } else {
        TwoPhasePath();
    }
}

// A single compound. Its saturated vapour and liquid share one composition,
// so there is no constant-fraction curve for the tracer to follow (its point
// solver makes no correction for a single compound) and the saturation
// routine reports the two phases as one. The envelope is the vapour-pressure
// curve: saturation flashes from the starting pressure up to the window's top
// (0.97 Pc), 25 % apart in pressure, stored as the dew side with the
// saturated vapour's properties; the compound's critical point; and the same
// states again in reverse as the bubble side with the saturated liquid's
// properties, as the tracer completes a single-compound trace.
void EnvelopeCalculation::VapourPressureCurve() {
    UtilityState* u = u_;
    struct State {
        double patm, tdegk, h, s, v;
    };
    std::vector<State> liquid;
    u->curPointType = kPointDew;
    double patm = u->curPatm;
    for (;;) {
        const double at = std::min(patm, pressHigh);
        u->vapFrac = 1.0;
        SaturationPoint(u, thermo_.get(), at, &NumbPhases, &H, &S, &V, 0);
        const double tdegk = u->curTdegk;
        AppendPoint(at, tdegk, H, S, V);
        u->vapFrac = 0.0;
        SaturationPoint(u, thermo_.get(), at, &NumbPhases, &H, &S, &V, 0);
        liquid.push_back({at, tdegk, H, S, V});
        if (at >= pressHigh)
            break;
        patm *= kVapourPressureRatio;
    }
    u->curPointType = kPointCritical;
    AppendPoint(u->critPkpa[pureCompIdx] / kKpaPerAtm, u->critTdegk[pureCompIdx], kUndefined,
                kUndefined, kUndefined);
    u->curPointType = kPointBubble;
    for (auto it = liquid.rbegin(); it != liquid.rend(); ++it) {
        AppendPoint(it->patm, it->tdegk, it->h, it->s, it->v);
    }
}

// The incipient-liquid stage (type 13) from three-phase point `record`.
void EnvelopeCalculation::IncipientStageFrom(int record, bool clearInvertLine,
                                             double pressLowOffset) {
    UtilityState* u = u_;
    const ThreePhasePoint& p = u->threePhasePoints[record];
    u->threePhaseCheck = 0;
    u->fromThreePhasePoint = 1;
    NumbPhases = 2;
    u->vapFrac = 1.0;
    u->curPointType = kPointIncipientLiquid;
    if (clearInvertLine)
        InvertLine = 0;
    pressLow = p.Patm - pressLowOffset;
    u->curTdegk = p.Tdegk;
    u->curPatm = p.Patm;
    const int32_t nc = u->ncomp;
    const std::vector<double> further(u->xLiq2, u->xLiq2 + nc);
    PhaseLabelCheck(u, NumbPhases, &Switched);
    if (TraceTwoPhase(u->xLiq2, u->xLiq1, record) == 0)
        return;
    NumbPhases = 2;
    u->curPatm = p.Patm + 2.0;
    const int32_t before = StoredRows();
    IncipientLiquidScan(pressHigh, record);
    if (StoredRows() == before)
        FeedLiquidBoundaryFrom(record, further);
}

// A hydrocarbon second liquid above three-phase point `record` (toluene out
// of a methane-rich liquid): the feed's liquid splits into two liquids at
// temperatures below the boundary, where the host labels the liquid of
// larger molar volume a vapour, so the incipient-liquid scan's bisection,
// which moves down past a vapour, ends at its lower bound at every
// pressure. The boundary is traced from the point instead, the feed against
// the further liquid. The line is inverted there: the feed is the trace's
// first phase and xLiq1 holds the incipient vapour, whose ratios to the
// further liquid belong to no point of this curve; and the recorded point,
// whose flag would end the trace at its first point, is where it starts.
void EnvelopeCalculation::FeedLiquidBoundaryFrom(int record, const std::vector<double>& further) {
    UtilityState* u = u_;
    const ThreePhasePoint& p = u->threePhasePoints[record];
    const int32_t nc = u->ncomp;
    NumbPhases = 2;
    u->vapFrac = 1.0;
    u->curTdegk = p.Tdegk;
    u->curPatm = p.Patm;
    // The first point converges at the point's pressure to rounding, which
    // may lie below it: the window opens an atmosphere lower.
    pressLow = p.Patm - 1.0;
    std::copy(u->feedComp, u->feedComp + nc, u->xLiq1);
    std::copy(further.begin(), further.end(), u->xLiq2);
    PhaseLabelCheck(u, NumbPhases, &Switched);
    const uint8_t found = u->threePhaseFound;
    const uint32_t gapsBefore = gaps;
    // The boundary's first row is the point itself.
    const int32_t start = StoredRows();
    AppendRecord(record);
    u->threePhaseFound = 0;
    TraceTwoPhase(u->xLiq2, u->xLiq1, record);
    u->threePhaseFound = found;
    // The curve is the boundary of the region where the feed's liquid splits
    // on cooling only where the feed splits just below it and is stable just
    // above it. Where the further liquid forms inside the two-phase region (a
    // CO2-rich liquid's further phase at its three-phase point), the feed
    // splits on both sides; where the further phase is a light liquid near
    // methane's critical point (a methane-rich gas with C4-C6, 202 K and
    // 5.7 MPa), the trace runs onto the feed's own bubble curve, with the
    // feed stable below and split above, and on through the envelope's
    // critical point. The rows from the first such row on are dropped, and
    // a boundary cut short says so; with no row left past the point, the
    // point's copy goes too and nothing changes.
    const int32_t end = StoredRows();
    int32_t kept = start + 1;
    while (kept < end && SplitsOnlyBelow(kept))
        ++kept;
    if (kept == start + 1) {
        u->pointStore->SetNumPoints(start, 0);
        gaps = gapsBefore;
    } else if (kept < end) {
        u->pointStore->SetNumPoints(kept, 0);
        gaps |= kGapTraceStopped;
    }
}

// Whether the feed splits 0.3 K below stored row `row` and is stable 0.3 K
// above it, at the row's pressure.
bool EnvelopeCalculation::SplitsOnlyBelow(int32_t row) {
    double pKpa = 0.0, tK = 0.0;
    u_->pointStore->GetValue(row, kCodePressure, &pKpa, 0);
    u_->pointStore->GetValue(row, kCodeTemperature, &tK, 0);
    bool lighter = false;
    return thermo_->FindsFurtherPhase(tK - 0.3, pKpa, &lighter) &&
           !thermo_->FindsFurtherPhase(tK + 0.3, pKpa, &lighter);
}

// Restarts the dew side from three-phase point `record`, the liquids swapped.
void EnvelopeCalculation::RestartDewSide(int record, int32_t pointType, double scanStartOffset) {
    UtilityState* u = u_;
    const ThreePhasePoint& p = u->threePhasePoints[record];
    u->threePhaseCheck = 1;
    u->threePhaseFound = 0;
    u->fromThreePhasePoint = 0;
    NumbPhases = 2;
    u->vapFrac = 1.0;
    pressLow = startPressLow;
    pressHigh = startPressHigh;
    for (int32_t i = 0; i < u->ncomp; ++i)
        std::swap(u->xLiq1[i], u->xLiq2[i]);
    // The point's temperature and pressure first: the check builds the
    // trace's starting unknowns from them.
    u->curTdegk = p.Tdegk;
    u->curPatm = p.Patm;
    PhaseLabelCheck(u, NumbPhases, &Switched);
    u->curPointType = pointType;
    const RestartState before = SaveRestartState(record);
    int rc = TraceTwoPhase(u->xLiq1, u->yVap, 1);
    // The new curve runs on from the point upward in pressure, or downward
    // (where the envelope turns at the point, as past the dew curve of a
    // heavy compound near the mixture's critical point). A trace that went
    // the wrong way met the phase it left within a step: it is taken back
    // and the curve traced the other way.
    const ThreePhasePoint& found = u->threePhasePoints[1];
    if (rc == 0 && u->threePhaseFound != 0 && SamePoint(found, before.point)) {
        RestoreRestartState(before);
        u->twoPhaseTracer->firstStepSign = -1.0;
        rc = TraceTwoPhase(u->xLiq1, u->yVap, 1);
    }
    // A restart that stored a cricondenbar or cricondentherm the first curve
    // has already (they are solved exactly) ran back along that curve: the
    // further phase at the point was the incipient one seen across the
    // mixture's critical region. It is taken back; the envelope says that a
    // trace stopped, and no scan retraces the curve again.
    if (RepeatsAnExtremum(before.rows)) {
        RestoreRestartState(before);
        gaps |= kGapTraceStopped;
        return;
    }
    if (rc != 0) {
        const RestartState beforeScan = SaveRestartState(record);
        u->curPatm = before.point.Patm + scanStartOffset;
        DewScan(pressHigh, 1, false);
        // A scan that meets the same three-phase point again traced the
        // first curve a second time (the curve past the point could not be
        // started near the mixture's critical point): its rows are taken
        // back, and the envelope says that a trace stopped.
        if ((u->threePhaseFound != 0 && SamePoint(found, before.point)) ||
            RepeatsAnExtremum(beforeScan.rows)) {
            RestoreRestartState(beforeScan);
            gaps |= kGapTraceStopped;
        }
    }
}

bool EnvelopeCalculation::RepeatsAnExtremum(int32_t firstNewRow) const {
    EnvelopePointStore* store = u_->pointStore;
    const int32_t rows = StoredRows();
    auto extremum = [&](int32_t row, int32_t* type, double* p, double* t) {
        store->GetPointType(row, type, 0);
        if (*type != kPointCricondenbar && *type != kPointCricondentherm)
            return false;
        store->GetValue(row, kCodePressure, p, 0);
        store->GetValue(row, kCodeTemperature, t, 0);
        return true;
    };
    for (int32_t row = firstNewRow; row < rows; ++row) {
        int32_t type = 0, earlierType = 0;
        double p = 0.0, t = 0.0, earlierP = 0.0, earlierT = 0.0;
        if (!extremum(row, &type, &p, &t))
            continue;
        for (int32_t earlier = 0; earlier < firstNewRow; ++earlier) {
            if (extremum(earlier, &earlierType, &earlierP, &earlierT) && earlierType == type &&
                std::fabs(earlierP - p) <= 1e-6 * p && std::fabs(earlierT - t) <= 1e-4)
                return true;
        }
    }
    return false;
}

bool EnvelopeCalculation::SamePoint(const ThreePhasePoint& a, const ThreePhasePoint& b) {
    return std::fabs(a.Tdegk - b.Tdegk) < 0.5 && std::fabs(std::log(a.Patm / b.Patm)) < 0.01;
}

EnvelopeCalculation::RestartState EnvelopeCalculation::SaveRestartState(int record) const {
    const UtilityState* u = u_;
    const int32_t nc = u->ncomp;
    RestartState r;
    r.point = u->threePhasePoints[record];
    r.record1 = u->threePhasePoints[1];
    r.rows = StoredRows();
    r.invertLine = InvertLine;
    r.stuck = stuck;
    r.gaps = gaps;
    r.tdegk = u->curTdegk;
    r.patm = u->curPatm;
    r.liquid.assign(u->xLiq1, u->xLiq1 + nc);
    r.vapour.assign(u->yVap, u->yVap + nc);
    r.further.assign(u->xLiq2, u->xLiq2 + nc);
    r.k.assign(u->K1, u->K1 + nc);
    r.unknowns.assign(u->unknowns, u->unknowns + u->numbUnknowns);
    return r;
}

void EnvelopeCalculation::RestoreRestartState(const RestartState& r) {
    UtilityState* u = u_;
    u->threePhasePoints[1] = r.record1;
    u->pointStore->SetNumPoints(r.rows, 0);
    InvertLine = r.invertLine;
    stuck = r.stuck;
    gaps = r.gaps;
    u->threePhaseFound = 0;
    u->threePhaseCheck = 1;
    u->curTdegk = r.tdegk;
    u->curPatm = r.patm;
    std::copy(r.liquid.begin(), r.liquid.end(), u->xLiq1);
    std::copy(r.vapour.begin(), r.vapour.end(), u->yVap);
    std::copy(r.further.begin(), r.further.end(), u->xLiq2);
    std::copy(r.k.begin(), r.k.end(), u->K1);
    std::copy(r.unknowns.begin(), r.unknowns.end(), u->unknowns);
}

// The three-phase bubble boundary (type 14) from 2 atm up to three-phase
// point `record`, in five steps, closed by the point itself.
void EnvelopeCalculation::BubbleBoundaryBelow(int record) {
    UtilityState* u = u_;
    const double top = u->threePhasePoints[record].Patm;
    u->curPointType = kPointThreePhaseBubble;
    u->curPatm = 2.0;
    pressLow = startPressLow;
    pressHigh = top;
    pressStep = (top - startPressLow) / 5.0;
    BubbleBoundaryScan(top, false);
    AppendRecord(record);
}

// Where the bubble-boundary scan below a three-phase point on the bubble
// side found two-phase bubble points and no three-phase one, the point is
// where two bubble curves cross (the three-phase region between them is thinner than the scan
// sees): below it the bubble curve goes on with the other incipient phase,
// and no other stage traces it. It is traced here up from the scan's lowest
// pressure, with the third-phase watch on, to the point, where the watch
// ends it. Record 1 and the found flag are left as they were.
void EnvelopeCalculation::BubbleCurveBelow(int record) {
    UtilityState* u = u_;
    const double top = u->threePhasePoints[record].Patm;
    const ThreePhasePoint saved = u->threePhasePoints[1];
    const uint8_t savedFound = u->threePhaseFound;
    const uint8_t savedInvert = InvertLine;
    u->curPatm = 2.0;
    u->vapFrac = 0.0;
    pressLow = startPressLow;
    pressHigh = top + 1.0;
    pressStep = (top - startPressLow) / 10.0;
    u->threePhaseCheck = 1;
    u->fromThreePhasePoint = 0;
    u->curPointType = kPointBubble;
    InvertLine = 0;
    u->threePhaseFound = 0;
    while (u->curPatm < top) {
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        if (NumbPhases == 2) {
            SeedFlash();
            if (TraceTwoPhase(u->xLiq1, u->yVap, 1) == 0)
                break;
        }
        u->curPatm += pressStep;
    }
    u->threePhasePoints[1] = saved;
    u->threePhaseFound = savedFound;
    InvertLine = savedInvert;
}

void EnvelopeCalculation::ThreePhasePath() {
    UtilityState* u = u_;
    ThreePhasePoint* points = u->threePhasePoints;
    RecordThreePhasePoint(0);

    if (InvertLine != 0) {
        FromInvertedThreePhasePoint();
        return;
    }

    // The phases at the three-phase point, which the liquid-liquid scan's
    // saturation points overwrite: the dew side restarts from them.
    const int32_t nc = u->ncomp;
    const std::vector<double> liquid(u->xLiq1, u->xLiq1 + nc);
    const std::vector<double> vapour(u->yVap, u->yVap + nc);
    const std::vector<double> further(u->xLiq2, u->xLiq2 + nc);

    u->curPointType = kPointLiquidLiquid;
    u->curPatm = 2.0;
    u->betaMode = 4;
    pressLow = startPressLow;
    pressHigh = points[0].Patm;
    pressStep = (points[0].Patm - startPressLow) / 5.0;
    LiquidLiquidScan(points[0].Patm, true);
    AppendRecord(0);

    u->curPointType = kPointDewAfterThreePhase;
    AppendRecord(0);
    std::copy(liquid.begin(), liquid.end(), u->xLiq1);
    std::copy(vapour.begin(), vapour.end(), u->yVap);
    std::copy(further.begin(), further.end(), u->xLiq2);
    RestartDewSide(0, kPointDewAfterThreePhase, 1.0);

    if (u->threePhaseFound != 0) {
        FromSecondThreePhasePoint();
        return;
    }

    u->curPatm = 2.0;
    u->vapFrac = 0.0;
    SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
    u->betaMode = 3;
    if (NumbPhases == 3) {
        u->curPointType = kPointThreePhaseBubble;
        pressLow = startPressLow;
        pressHigh = kBubbleScanTop;
        pressStep = (kBubbleScanTop - startPressLow) / 10.0;
        BubbleBoundaryScan(startPressHigh, true);
    }
    u->curPointType = kPointLiquidLiquidUpper;
    AppendRecord(0);
    u->curPatm = points[0].Patm + 1.0;
    pressLow = points[0].Patm;
    pressHigh = kBubbleScanTop;
    u->betaMode = 4;
    pressStep = (kBubbleScanTop - points[0].Patm) / 10.0;
    LiquidLiquidScan(kBubbleScanTop, true);
}

// The first trace's three-phase point with the line inverted: the
// incipient-liquid stage from it, the bubble side below it, and the
// liquid-liquid boundary up to it.
void EnvelopeCalculation::FromInvertedThreePhasePoint() {
    UtilityState* u = u_;
    ThreePhasePoint* points = u->threePhasePoints;
    IncipientStageFrom(0, true, 1.0);

    bubbleTraced = 0;
    bubbleTwoPhase = 0;
    const int32_t firstRow = StoredRows();
    BubbleBoundaryBelow(0);
    // A three-phase bubble boundary that ends where its second liquid
    // vanishes, far below the point (a lean gas's liquid splits in two below
    // 123 K at 2 atm, under a three-phase point at 192 K and 4.5 MPa), leaves
    // the two-phase bubble curve between them to no other stage.
    const bool endedFarBelow =
        bubbleTraced != 0 &&
        HighestRow(firstRow, StoredRows() - 1, kPointThreePhaseBubble) < 0.5 * points[0].Patm;
    if ((bubbleTraced == 0 && bubbleTwoPhase != 0) || endedFarBelow)
        BubbleCurveBelow(0);

    if (u->numbPresent > 2) {
        u->curPointType = kPointLiquidLiquid;
        u->curPatm = 2.0;
        u->betaMode = 4;
        pressStep = (points[0].Patm - startPressLow) / 5.0;
        LiquidLiquidScan(points[0].Patm, true);
        AppendRecord(0);
    }
}

// The dew side restarted past the first three-phase point met a second one:
// with the line inverted, the incipient-liquid stage and the bubble side
// below it and the upper liquid-liquid boundary between the two points;
// else the dew side restarted past it and the three-phase bubble boundary.
void EnvelopeCalculation::FromSecondThreePhasePoint() {
    UtilityState* u = u_;
    ThreePhasePoint* points = u->threePhasePoints;
    RecordThreePhasePoint(1);
    if (InvertLine != 0) {
        IncipientStageFrom(1, false, 0.0);

        BubbleBoundaryBelow(1);

        const double lower = std::min(points[0].Patm, points[1].Patm);
        const double higher = std::max(points[0].Patm, points[1].Patm);
        u->curPointType = kPointLiquidLiquidUpper;
        u->betaMode = 4;
        u->curPatm = lower + 1.0;
        pressLow = lower;
        pressHigh = higher;
        LiquidLiquidScan(points[1].Patm, false);
        AppendRecord(points[1].Patm > points[0].Patm ? 1 : 0);
        return;
    }

    u->curPointType = kPointDewAfterSecond;
    AppendRecord(1);
    RestartDewSide(1, kPointDewAfterSecond, 2.0);
    u->curPatm = 2.0;
    u->vapFrac = 0.0;
    u->betaMode = 3;
    SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
    if (NumbPhases == 3) {
        u->curPointType = kPointThreePhaseBubble;
        u->curPatm = 2.0;
        pressLow = startPressLow;
        pressHigh = kBubbleScanTop;
        pressStep = (kBubbleScanTop - startPressLow) / 10.0;
        BubbleBoundaryScan(startPressHigh, false);
    }
}

void EnvelopeCalculation::TwoPhasePath() {
    UtilityState* u = u_;
    const uint8_t stageAStuck = stuck;

    u->curPointType = kPointThreePhaseBubble;
    u->curPatm = 2.0;
    pressLow = startPressLow;
    pressHigh = kBubbleScanTop;
    u->betaMode = 3;
    pressStep = (kBubbleScanTop - startPressLow) / 10.0;
    bubbleTraced = 0;
    BubbleBoundaryScan(kBubbleScanTop, false);

    if (bubbleTraced != 0 && u->numbPresent > 2) {
        u->curPointType = kPointLiquidLiquid;
        u->curPatm = 2.0;
        pressLow = startPressLow;
        pressHigh = kBubbleScanTop;
        u->betaMode = 4;
        pressStep = (kBubbleScanTop - startPressLow) / 10.0;
        LiquidLiquidScan(kBubbleScanTop, true);
        if (liquidBoundaryStop == 0)
            return;
    }
    // A binary too: its dew curve may meet its bubble curve at a three-phase
    // point (methane with n-heptane), and the bubble side up to that point
    // is traced only here.
    // A liquid feed's boundary (water coming out of liquid propane) leaves
    // the vapour-liquid curves to this recovery whatever the scans before
    // it traced; a three-phase bubble point at its first pressure is below
    // the three-phase point where the two-phase bubble curve starts, which
    // is looked for in smaller steps.
    if ((bubbleTraced != 0 && liquidBoundaryStop == 0) || stageAStuck == 0 ||
        lastPointInverted != 0 || u->numbPresent < 2) {
        return;
    }

    // Stuck recovery: trace the bubble side with the third-phase watch on.
    u->curPatm = 2.0;
    u->vapFrac = 0.0;
    pressLow = startPressLow;
    pressHigh = startPressHigh;
    u->threePhaseCheck = 1;
    u->fromThreePhasePoint = 0;
    u->curPointType = kPointBubble;
    InvertLine = 0;
    u->threePhaseFound = 0;
    pressStep = (startPressHigh - startPressLow) / 10.0;
    while (u->curPatm < startPressHigh) {
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        if (NumbPhases == 2) {
            SeedFlash();
            if (TraceTwoPhase(u->xLiq1, u->yVap, 0) == 0) {
                if (InvertLine == 0) {
                    const ThreePhasePoint& p = u->threePhasePoints[0];
                    AppendPoint(stuckPatm, stuckTdegk, p.H, p.S, p.V);
                }
                break;
            }
        }
        if (liquidBoundaryStop != 0 && NumbPhases == 3)
            u->curPatm *= 1.25;
        else
            u->curPatm += pressStep;
    }

    if (u->threePhaseFound != 0) {
        u->curPointType = kPointThreePhase;
        AppendRecord(0);
        // The phases at the three-phase point: the feed as the liquid, the
        // incipient vapour, and the further liquid.
        const std::vector<double> liquid(u->xLiq1, u->xLiq1 + u->ncomp);
        const std::vector<double> vapour(u->yVap, u->yVap + u->ncomp);
        const std::vector<double> further(u->xLiq2, u->xLiq2 + u->ncomp);
        u->curPatm = u->threePhasePoints[0].Patm;
        u->vapFrac = 0.0;
        SaturationPoint(u, thermo_.get(), u->curPatm, &NumbPhases, &H, &S, &V, bothSaturations);
        u->betaMode = 3;
        if (NumbPhases == 3) {
            u->curPointType = kPointThreePhaseBubble;
            pressLow = startPressLow;
            pressHigh = kBubbleScanTop;
            pressStep = (kBubbleScanTop - startPressLow) / 10.0;
            BubbleBoundaryScan(startPressHigh, true);
        } else {
            BoundaryFromThreePhasePoint(0, liquid, vapour, further, kPointThreePhaseBubble);
        }
        if (u->numbPresent > 2)
            BoundaryFromThreePhasePoint(0, liquid, vapour, further, kPointLiquidLiquidUpper);
    }
}

// One boundary of the three-phase region that starts at three-phase point
// `record`, where the feed (`liquid`) meets an incipient vapour and a further
// liquid, traced from that point: the three-phase bubble boundary (type 14,
// the vapour incipient, the further liquid growing from nothing) or the
// boundary where the further liquid stays incipient (type 15, the vapour
// growing from nothing). No saturation point of the host need exist on
// either: near a critical end point the region is a sliver a few hundredths
// of a kelvin wide.
void EnvelopeCalculation::BoundaryFromThreePhasePoint(int record, const std::vector<double>& liquid,
                                                      const std::vector<double>& vapour,
                                                      const std::vector<double>& further,
                                                      int32_t pointType) {
    UtilityState* u = u_;
    const ThreePhasePoint& p = u->threePhasePoints[record];
    std::copy(liquid.begin(), liquid.end(), u->xLiq1);
    std::copy(vapour.begin(), vapour.end(), u->yVap);
    std::copy(further.begin(), further.end(), u->xLiq2);
    u->curTdegk = p.Tdegk;
    u->curPatm = p.Patm;
    u->curPointType = pointType;
    pressLow = startPressLow;
    pressHigh = startPressHigh;
    CriticalPointFound = 0;
    b3Phasestuck = 0;
    // The boundary's free fraction starts at the point: the further liquid
    // grows from nothing on the bubble boundary, and is held at zero on the
    // other, where the vapour's fraction is the free one. That fraction
    // cannot start at zero (its logarithm is the unknown), so the first point
    // is solved with it held at 1e-3 instead of at the point's pressure.
    const double start = 1e-3;
    if (pointType == kPointThreePhaseBubble) {
        u->betaMode = 3;
        u->vapFrac = 0.0;
        u->liq1Frac = 1.0;
        u->liq2Frac = 0.0;
    } else {
        u->betaMode = 5;
        u->vapFrac = start;
        u->liq1Frac = 1.0 - start;
        u->liq2Frac = 0.0;
    }
    PhaseLabelCheck(u, 3, &Switched);
    if (pointType != kPointThreePhaseBubble) {
        // The boundary starts at the point itself, a little short of its
        // first solved point.
        AppendRecord(record);
        u->threePhaseTracer->firstSpecIdx = u->threePhaseTracer->idxLnBeta;
    }
    TraceThreePhase();
}
