// Whole envelopes as phase-envelope computes them (the utility module loaded
// and created by ProgID, Execute timed alone, median of 7) for the
// benchmark fluids, each with its host calls; after the timings, a table of
// every fluid's host calls and time by kind of call, from one profiled run.
// Also the dry gas's two-phase trace with and without the third-phase watch,
// with the host calls per stored point.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "cli/default_fluid.h"
#include "cli/envelope_run.h"
#include "cli/fluid_input.h"
#include "driver/compound_data.h"
#include "engine/two_phase_continuation.h"
#include "pyrana/objects/fault_injection.h"
#include "saturation/saturation_point.h"
#include "tests/support/envelope_harness.h"
#include "tests/support/natural_gas.h"

namespace {

// The benchmark fluids, as phase-envelope's --feed and --kij would give them.
struct BenchFluid {
    const char* name;
    const char* feed;  // empty: the built-in default fluid
    const char* kij;   // empty: database k_ij
};
const std::string kDryGas = test_fluids::NaturalGasFeedText();
const BenchFluid kBenchFluids[] = {
    {"dry natural gas", kDryGas.c_str(), ""},
    {"dry natural gas, k_ij 0", kDryGas.c_str(), "zero"},
    {"default wet gas", "", ""},
    {"methane/n-butane/n-decane/water", "methane=0.5,n-butane=0.3,n-decane=0.1,water=0.1", ""},
    {"methane/n-decane", "methane=0.5,n-decane=0.5", ""},
    {"CO2-rich gas", "carbon dioxide=0.7,methane=0.2,n-butane=0.1", ""},
    {"propane", "propane=1", ""},
};

cli::FluidInput InputOf(const BenchFluid& fluid) {
    cli::FluidInput input =
        fluid.feed[0] == '\0' ? cli::DefaultFluid() : cli::ParseFeed(fluid.feed);
    if (fluid.kij[0] != '\0') {
        cli::ApplyKijText(fluid.kij, &input);
    }
    return input;
}

// Execute's own wall time (the module's loading and the host's set-up are
// outside it), with its host calls and stored points.
void WholeEnvelope(benchmark::State& state, const BenchFluid& fluid) {
    const cli::FluidInput input = InputOf(fluid);
    cli::EnvelopeRequest request;
    cli::EnvelopeResult result;
    for (auto _ : state) {
        result = cli::RunEnvelopeCalculation(input, request);
        state.SetIterationTime(result.elapsedMs * 1e-3);
    }
    state.counters["host_calls"] = static_cast<double>(result.hostCalls);
    state.counters["points"] = static_cast<double>(result.points.size());
    if (FAILED(result.status)) {
        state.SkipWithError("Execute failed");
    }
}

// The kinds of host call grouped as the table shows them.
const char* GroupOf(const std::string& kind) {
    static const std::map<std::string, const char*> groups = {
        {"IPropManager::CalcProperty (ln phi)", "ln phi"},
        {"IAppPhase::GetLnFugacity", "ln phi"},
        {"IFlashManager::Flash (PT)", "PT flash"},
        {"IAppThermoProvider::FlashTP", "PT flash"},
        {"IFlashManager::Flash (saturation)", "saturation flash"},
        {"IAppThermoProvider::FlashPVF", "saturation flash"},
        {"ISettingsCompanion::StabilityTest", "further-phase test"},
        {"IAppThermoProvider::FindThirdPhase", "further-phase test"},
        {"IPropManager::CalcProperty (H, S or V)", "properties"},
    };
    const auto found = groups.find(kind);
    return found == groups.end() ? "other (phases, arrays, settings)" : found->second;
}

// One profiled Execute per fluid: a markdown table of host calls and time
// by group, and the utility's own share (Execute's time outside host calls).
void PrintProfiles(bool kinds) {
    const char* order[] = {"ln phi",           "PT flash",
                           "saturation flash", "further-phase test",
                           "properties",       "other (phases, arrays, settings)"};
    std::printf("\n| fluid | Execute ms | host calls |");
    for (const char* group : order) {
        std::printf(" %s: calls, %% time |", group);
    }
    std::printf(" utility %% |\n|---|---|---|");
    for (size_t i = 0; i <= std::size(order); ++i) {
        std::printf("---|");
    }
    std::printf("\n");
    for (const BenchFluid& fluid : kBenchFluids) {
        cli::EnvelopeRequest request;
        request.profile = true;
        const cli::EnvelopeResult result = cli::RunEnvelopeCalculation(InputOf(fluid), request);
        std::map<std::string, std::pair<long, double>> byGroup;
        double hostSeconds = 0.0;
        for (const auto& tally : result.profile) {
            auto& group = byGroup[GroupOf(tally.kind)];
            group.first += tally.calls;
            group.second += tally.seconds;
            hostSeconds += tally.seconds;
        }
        const double total = result.elapsedMs * 1e-3;
        std::printf("| %s | %.1f | %ld |", fluid.name, result.elapsedMs, result.hostCalls);
        for (const char* group : order) {
            const auto& [calls, seconds] = byGroup[group];
            std::printf(" %ld, %.0f |", calls, total > 0 ? 100.0 * seconds / total : 0.0);
        }
        std::printf(" %.0f |\n",
                    total > 0 ? 100.0 * std::max(0.0, total - hostSeconds) / total : 0.0);
        if (kinds) {
            std::vector<pyrana::objects::HostCallTally> byCalls = result.profile;
            std::sort(byCalls.begin(), byCalls.end(),
                      [](const auto& a, const auto& b) { return a.calls > b.calls; });
            for (const auto& tally : byCalls) {
                std::printf("|   %s | | %ld | %.2f ms |\n", tally.kind.c_str(), tally.calls,
                            tally.seconds * 1e3);
            }
        }
    }
}

const FluidSpec kNaturalGas{test_fluids::NaturalGas(), {}};
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
            const std::unique_ptr<ThermoBridge> thermo =
                ThermoBridgeFor(u, working.Get(), feed.Get());
            SaturationPoint(u, thermo.get(), 2.0, &phases, &h, &s, &v, 0);
            u->threePhaseCheck = watchThirdPhase ? 1 : 0;
            uint8_t invert = 0;
            uint8_t stuck = 0;
            ThreePhasePoint& record = u->threePhasePoints[0];
            // Every ln phi evaluation of the trace is one CalcProperty.
            pyrana::objects::ScopedFaultPlan count({0, "", E_FAIL});
            pyrana::objects::CountOperation("IPropManager::CalcProperty");
            TraceCurve(u->twoPhaseTracer, thermo.get(), &u->vapFrac, u->xLiq1, u->yVap, u->feedComp,
                       u->K1, 1.99, 500.0, -32767, u->unknowns, u->twoPhaseSkip, &u->curTdegk,
                       &u->curPatm, &u->threePhaseFound, u->xLiq2, &record.Patm, &record.Tdegk, 0,
                       u->pointStore, &u->threePhaseCheck, false, &invert, 1, 0, u->critTdegk,
                       u->critPkpa, &stuck);
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

BENCHMARK(BM_TraceNaturalGasDewCurve)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceNaturalGasDewCurveWatchingThirdPhase)->Unit(benchmark::kMillisecond);

// --kinds: the profile table lists every kind of host call under its fluid.
int main(int argc, char** argv) {
    bool kinds = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--kinds") {
            kinds = true;
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            break;
        }
    }
    for (const BenchFluid& fluid : kBenchFluids) {
        benchmark::RegisterBenchmark(
            (std::string("Execute/") + fluid.name).c_str(),
            [&fluid](benchmark::State& state) { WholeEnvelope(state, fluid); })
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(7)
            ->ComputeStatistics(
                "min",
                [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // Whole calculations run in this thread's apartment, as in phase-envelope.
    if (FAILED(CoInitialize(nullptr))) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintProfiles(kinds);
    CoUninitialize();
    return 0;
}
