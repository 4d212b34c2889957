// Benchmarks of the reference host's model: ln φ of a 10-compound natural gas
// with and without derivatives, a two-phase PT flash of that gas, a three-phase
// flash of a hydrocarbon–water mixture and a saturation flash.
#include <benchmark/benchmark.h>

#include <vector>

#include "pyrana/thermo/calculator.h"
#include "tests/support/natural_gas.h"

namespace {

using namespace pyrana::thermo;

const std::vector<double> kGas = test_fluids::NaturalGasFractions();

Fluid NaturalGas() {
    FluidDefinition def;
    for (const auto& [name, fraction] : test_fluids::NaturalGas())
        def.Add(name);
    return *Fluid::Create(def, nullptr);
}

void BM_LnPhi(benchmark::State& state) {
    Calculator calc(NaturalGas());
    std::vector<double> lnPhi(10);
    double t = 220.0;
    for (auto _ : state) {
        calc.model().LnPhi(t, 4000.0, kGas.data(), Root::Vapour, lnPhi.data(), nullptr, nullptr,
                           nullptr, nullptr);
        benchmark::DoNotOptimize(lnPhi.data());
    }
}
BENCHMARK(BM_LnPhi);

// Temperature changes every call: includes the per-temperature a_ij update.
void BM_LnPhiNewTemperature(benchmark::State& state) {
    Calculator calc(NaturalGas());
    std::vector<double> lnPhi(10);
    double t = 220.0;
    for (auto _ : state) {
        t = t == 220.0 ? 220.001 : 220.0;
        calc.model().LnPhi(t, 4000.0, kGas.data(), Root::Vapour, lnPhi.data(), nullptr, nullptr,
                           nullptr, nullptr);
        benchmark::DoNotOptimize(lnPhi.data());
    }
}
BENCHMARK(BM_LnPhiNewTemperature);

void BM_LnPhiAllDerivatives(benchmark::State& state) {
    Calculator calc(NaturalGas());
    std::vector<double> lnPhi(10), dT(10), dP(10), dN(100);
    for (auto _ : state) {
        calc.model().LnPhi(220.0, 4000.0, kGas.data(), Root::Vapour, lnPhi.data(), dT.data(),
                           dP.data(), dN.data(), nullptr);
        benchmark::DoNotOptimize(dN.data());
    }
}
BENCHMARK(BM_LnPhiAllDerivatives);

void BM_FlashTwoPhaseNaturalGas(benchmark::State& state) {
    Calculator calc(NaturalGas());
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashPT(200.0, 3000.0, kGas.data());
        benchmark::DoNotOptimize(r.phases.data());
    }
    state.counters["phases"] = static_cast<double>(r.phases.size());
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_FlashTwoPhaseNaturalGas)->Unit(benchmark::kMicrosecond);

// Above the gas's cricondenbar: one phase, the stability analysis alone.
void BM_FlashSinglePhaseNaturalGas(benchmark::State& state) {
    Calculator calc(NaturalGas());
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashPT(300.0, 12000.0, kGas.data());
        benchmark::DoNotOptimize(r.phases.data());
    }
    state.counters["phases"] = static_cast<double>(r.phases.size());
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_FlashSinglePhaseNaturalGas)->Unit(benchmark::kMicrosecond);

// Cold and compressed, where the model splits the gas into two liquids.
void BM_FlashLiquidLiquidNaturalGas(benchmark::State& state) {
    Calculator calc(NaturalGas());
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashPT(80.0, 12000.0, kGas.data());
        benchmark::DoNotOptimize(r.phases.data());
    }
    state.counters["phases"] = static_cast<double>(r.phases.size());
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_FlashLiquidLiquidNaturalGas)->Unit(benchmark::kMicrosecond);

// A CO2-rich gas near its liquid-liquid region, where the incipient-liquid scan
// of its envelope bisects with PT flashes.
void BM_FlashCarbonDioxideRich(benchmark::State& state) {
    FluidDefinition def;
    def.Add("carbon dioxide").Add("methane").Add("n-butane");
    Calculator calc(*Fluid::Create(def, nullptr));
    const double z[] = {0.7, 0.2, 0.1};
    const double t = static_cast<double>(state.range(0));
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashPT(t, 5000.0, z);
        benchmark::DoNotOptimize(r.phases.data());
    }
    state.counters["phases"] = static_cast<double>(r.phases.size());
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_FlashCarbonDioxideRich)->Arg(200)->Arg(230)->Arg(260)->Unit(benchmark::kMicrosecond);

void BM_FlashThreePhaseHydrocarbonWater(benchmark::State& state) {
    FluidDefinition def;
    def.Add("methane").Add("propane").Add("n-hexane").Add("water");
    Calculator calc(*Fluid::Create(def, nullptr));
    const double z[] = {0.3, 0.2, 0.15, 0.35};
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashPT(300.0, 2000.0, z);
        benchmark::DoNotOptimize(r.phases.data());
    }
    state.counters["phases"] = static_cast<double>(r.phases.size());
}
BENCHMARK(BM_FlashThreePhaseHydrocarbonWater)->Unit(benchmark::kMicrosecond);

void BM_SaturationDewPointNaturalGas(benchmark::State& state) {
    Calculator calc(NaturalGas());
    SaturationOptions opt;
    opt.tInit = 250.0;
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashSaturation(3000.0, 1.0, kGas.data(), opt);
        benchmark::DoNotOptimize(r.t);
    }
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_SaturationDewPointNaturalGas)->Unit(benchmark::kMicrosecond);

// A bubble point asked for above the cricondenbar, where there is none.
void BM_SaturationNoBubblePointNaturalGas(benchmark::State& state) {
    Calculator calc(NaturalGas());
    SaturationOptions opt;
    opt.tInit = 251.0;
    FlashResult r;
    for (auto _ : state) {
        r = calc.FlashSaturation(12000.0, 0.0, kGas.data(), opt);
        benchmark::DoNotOptimize(r.t);
    }
    state.counters["evaluations"] = r.evaluations;
}
BENCHMARK(BM_SaturationNoBubblePointNaturalGas)->Unit(benchmark::kMillisecond);

}  // namespace
