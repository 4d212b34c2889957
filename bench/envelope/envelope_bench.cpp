// Whole envelopes through Execute against the reference host: the dry
// natural gas and the hydrocarbon-water feed, with the host calls each
// envelope costs; and the dry gas's two-phase trace with and without the
// third-phase watch, with the host calls per stored point.
#include <benchmark/benchmark.h>

#include "driver/compound_data.h"
#include "engine/two_phase_continuation.h"
#include "pyrana/objects/fault_injection.h"
#include "saturation/saturation_point.h"
#include "tests/support/envelope_harness.h"

namespace {

const FluidSpec kNaturalGas{{{"nitrogen", 0.0034},
                             {"carbon dioxide", 0.022},
                             {"methane", 0.834},
                             {"ethane", 0.076},
                             {"propane", 0.033},
                             {"isobutane", 0.006},
                             {"n-butane", 0.011},
                             {"isopentane", 0.004},
                             {"n-pentane", 0.004},
                             {"n-hexane", 0.0066}},
                            {}};
const FluidSpec kWetFeed{{{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}},
                         {}};

void Execute(benchmark::State& state, const FluidSpec& spec) {
    CoInitialize(nullptr);
    {
        EnvelopeHarness harness(spec);
        long calls = 0;
        size_t rows = 0;
        for (auto _ : state) {
            pyrana::objects::ScopedFaultPlan count({0, "", E_FAIL});
            const EnvelopeRun run = harness.Run();
            calls = pyrana::objects::HostCallCount();
            rows = run.rows.size();
        }
        state.counters["host_calls"] = static_cast<double>(calls);
        state.counters["rows"] = static_cast<double>(rows);
    }
    CoUninitialize();
}

void BM_ExecuteDryNaturalGas(benchmark::State& state) {
    Execute(state, kNaturalGas);
}
void BM_ExecuteHydrocarbonWater(benchmark::State& state) {
    Execute(state, kWetFeed);
}

// The first dew trace of the natural gas from its dew point at 2 atm.
void TwoPhaseTrace(benchmark::State& state, bool watchThirdPhase) {
    CoInitialize(nullptr);
    {
        EnvelopeHarness harness(kNaturalGas);
        UtilityState* u = harness.object();
        harness.phases()->QueryInterface(IID_IPhaseCollection,
                                         reinterpret_cast<void**>(&u->phaseCollection));
        platform::ComPtr<IPhase> working;
        harness.container()->QueryInterface(IID_IPhase, working.put_void());
        platform::ComPtr<IDispatch> spec;
        u->phaseCollection->GetPhase(1, 0, spec.put());
        platform::ComPtr<IPhase> feed;
        spec->QueryInterface(IID_IPhase, feed.put_void());
        platform::ComPtr<ICompoundCollection> compounds = harness.host().NewCompoundCollection();
        long calls = 0;
        long evaluations = 0;
        int32_t stored = 0;
        for (auto _ : state) {
            u->ReleaseWorkspace();
            u->AllocateWorkspace(10);
            const std::vector<double>& z = harness.host().feed();
            for (int i = 0; i < 10; ++i)
                u->hostComp[i] = z[static_cast<size_t>(i)];
            LoadCompoundData(u, u->hostComp, compounds.Get());
            u->curPatm = 2.0;
            u->vapFrac = 1.0;
            int32_t phases = 0;
            double h = 0, s = 0, v = 0;
            SaturationPoint(u, 2.0, &phases, &h, &s, &v, 0);
            u->threePhaseCheck = watchThirdPhase ? 1 : 0;
            uint8_t invert = 0;
            uint8_t stuck = 0;
            ThreePhasePoint& record = u->threePhasePoints[0];
            // Every ln phi evaluation of the trace is one CalcProperty.
            pyrana::objects::ScopedFaultPlan count({0, "", E_FAIL});
            pyrana::objects::CountOperation("IPropManager::CalcProperty");
            TraceCurve(u->twoPhaseTracer, u->phaseCollection, u->flashSettings, working.Get(),
                       u->propManager, u->flashManager, u->settingsCompanion, &u->vapFrac, u->xLiq1,
                       u->yVap, u->feedComp, u->K1, 1.99, 500.0, -32767, u->unknowns,
                       u->twoPhaseSkip, &u->curTdegk, &u->curPatm, &u->threePhaseFound, u->xLiq2,
                       &record.Patm, &record.Tdegk, 0, u->pointStore, &u->threePhaseCheck, false,
                       &invert, 1, 0, u->critTdegk, u->critPkpa, &stuck, 3, nullptr, false,
                       feed.Get());
            calls = pyrana::objects::HostCallCount();
            evaluations = pyrana::objects::OperationCallCount();
            u->pointStore->GetNumPoints(&stored, 0);
        }
        state.counters["host_calls_per_point"] =
            stored > 0 ? static_cast<double>(calls) / stored : 0.0;
        state.counters["ln_phi_per_point"] =
            stored > 0 ? static_cast<double>(evaluations) / stored : 0.0;
        state.counters["points"] = stored;
    }
    CoUninitialize();
}

void BM_TraceNaturalGasDewCurve(benchmark::State& state) {
    TwoPhaseTrace(state, false);
}
void BM_TraceNaturalGasDewCurveWatchingThirdPhase(benchmark::State& state) {
    TwoPhaseTrace(state, true);
}

}  // namespace

BENCHMARK(BM_ExecuteDryNaturalGas)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExecuteHydrocarbonWater)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceNaturalGasDewCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceNaturalGasDewCurveWatchingThirdPhase)->Unit(benchmark::kMillisecond);
