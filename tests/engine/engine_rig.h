// The engines on their own, against the reference host, for tests: a
// utility object connected to the host (its COM objects or the
// application-side provider) with the feed loaded as a calculation's set-up
// loads it, a saturation point as the driver's scans take it, one call of the
// two-phase or three-phase tracer with the driver's arguments, and the rows
// the call stored read back. Nothing of the driver's stage plan runs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "driver/compound_data.h"
#include "driver/utility_state.h"
#include "engine/three_phase_continuation.h"
#include "engine/two_phase_continuation.h"
#include "pyrana/thermo/calculator.h"
#include "saturation/saturation_point.h"
#include "tests/support/envelope_harness.h"

// The caller has initialised COM. Construction loads the feed; `loaded` is
// LoadCompoundData's result.
class EngineRig {
  public:
    EngineRig(const FluidSpec& definition, bool useProvider)
        : harness_(std::make_unique<EnvelopeHarness>(definition, useProvider)),
          useProvider_(useProvider) {
        u = harness_->object();
        const std::vector<double>& feed = harness_->host().feed();
        const int32_t nc = static_cast<int32_t>(feed.size());
        platform::ComPtr<ICompoundCollection> compounds;
        if (!useProvider) {
            // The host path binds the phase collection and sizes the
            // workspace from it; the provider path sized it in SetThermo.
            harness_->phases()->QueryInterface(IID_IPhaseCollection,
                                               reinterpret_cast<void**>(&u->phaseCollection));
            u->ReleaseWorkspace();
            u->AllocateWorkspace(nc);
            compounds = harness_->host().NewCompoundCollection();
        }
        for (int32_t i = 0; i < nc; ++i)
            u->hostComp[i] = feed[static_cast<size_t>(i)];
        loaded = LoadCompoundData(u, u->hostComp, compounds.Get());
        if (loaded != S_OK)
            return;
        z.assign(u->feedComp, u->feedComp + u->ncomp);
        if (useProvider) {
            u->appThermoProvider->put_Mode(u->numbPresent > 10 ? 2 : 3);
        } else {
            harness_->container()->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&working_));
            platform::ComPtr<IDispatch> feedObject;
            u->phaseCollection->GetPhase(1, 0, feedObject.put());
            feedObject->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&feedPhase_));
        }
        thermo_ = ThermoBridgeFor(u, working_, feedPhase_);
    }
    ~EngineRig() {
        thermo_.reset();
        if (working_ != nullptr)
            working_->Release();
        if (feedPhase_ != nullptr)
            feedPhase_->Release();
    }
    EngineRig(const EngineRig&) = delete;
    EngineRig& operator=(const EngineRig&) = delete;

    // The host's saturation point of the feed at pAtm and vapour fraction
    // vapFrac (betaMode says which fraction a three-phase start frees), as
    // the driver's scans take it; returns the phase count.
    int32_t Saturate(double pAtm, double vapFrac, int32_t betaMode = 3) {
        u->curPatm = pAtm;
        u->vapFrac = vapFrac;
        u->betaMode = betaMode;
        int32_t phases = 0;
        double h = 0.0, s = 0.0, v = 0.0;
        SaturationPoint(u, thermo_.get(), pAtm, &phases, &h, &s, &v, 0);
        return phases;
    }

    // One two-phase trace from the saturation point, third-phase watch off,
    // liquid xLiq1 against vapour yVap, as the driver's dew scan calls it.
    int TraceTwoPhase(double pressLowAtm, double pressHighAtm, int32_t pureCompIdx,
                      int32_t pointType) {
        u->threePhaseCheck = 0;
        ThreePhasePoint& record = u->threePhasePoints[0];
        return TraceCurve(u->twoPhaseTracer, thermo_.get(), &u->vapFrac, u->xLiq1, u->yVap,
                          u->feedComp, u->K1, pressLowAtm, pressHighAtm, pureCompIdx, u->unknowns,
                          u->twoPhaseSkip, &u->curTdegk, &u->curPatm, &u->threePhaseFound, u->xLiq2,
                          &record.Patm, &record.Tdegk, 0, u->pointStore, &u->threePhaseCheck, false,
                          &invertLine, pointType, 0, u->critTdegk, u->critPkpa, &stuck);
    }

    // One three-phase trace from the saturation point, as the driver's
    // bubble-boundary scan calls it.
    int TraceThreePhase(double pressLowAtm, double pressHighAtm, int32_t pointType) {
        return TraceBoundary(u->threePhaseTracer, thermo_.get(), &u->vapFrac, &u->liq1Frac,
                             &u->liq2Frac, u->xLiq1, u->yVap, u->xLiq2, u->feedComp, u->K1, u->K2,
                             pressLowAtm, pressHighAtm, -32767, u->unknowns, u->threePhaseSkip,
                             &u->curTdegk, &u->curPatm, u->betaMode, 0, u->pointStore, pointType,
                             u->critTdegk, &criticalFound, &stuck);
    }

    // Type, pressure (kPa) and temperature (K) of every stored row.
    std::vector<EnvelopeRow> Rows() const {
        std::vector<EnvelopeRow> rows;
        int32_t n = 0;
        u->pointStore->GetNumPoints(&n, 0);
        for (int32_t i = 0; i < n; ++i) {
            EnvelopeRow r{};
            u->pointStore->GetPointType(i, &r.type, 0);
            u->pointStore->GetValue(i, kCodePressure, &r.pKpa, 0);
            u->pointStore->GetValue(i, kCodeTemperature, &r.tK, 0);
            rows.push_back(r);
        }
        return rows;
    }

    pyrana::thermo::Calculator& calc() { return harness_->host().calculator(); }
    const pyrana::thermo::Fluid& fluid() { return harness_->host().calculator().fluid(); }
    IPhase* workingPhase() const { return working_; }
    EngineThermo* thermo() const { return thermo_.get(); }

    UtilityState* u = nullptr;
    HRESULT loaded = E_FAIL;
    std::vector<double> z;  // the normalised feed
    uint8_t invertLine = 0;
    uint8_t stuck = 0;
    uint8_t criticalFound = 0;

  private:
    std::unique_ptr<EnvelopeHarness> harness_;
    bool useProvider_;
    IPhase* working_ = nullptr;
    IPhase* feedPhase_ = nullptr;
    std::unique_ptr<ThermoBridge> thermo_;
};
