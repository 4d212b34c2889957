// Saturation flash, further-phase test and mixture critical point.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"
#include "tests/support/natural_gas.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;
using testing::NaturalGas;
using testing::PropaneWater;

int PhaseCount(Calculator& calc, double t, double p, const std::vector<double>& z) {
    const FlashResult r = calc.FlashPT(t, p, z.data());
    EXPECT_EQ(r.outcome, Outcome::kConverged) << r.message << " at " << t << " K";
    return static_cast<int>(r.phases.size());
}

// The saturation temperature separates the phase counts: 0.05 K to one side the
// flash has `inside` phases, to the other `inside - 1`.
void ExpectBoundary(Calculator& calc, const FlashResult& sat, const std::vector<double>& z,
                    double insideSign) {
    ASSERT_EQ(sat.outcome, Outcome::kConverged) << sat.message;
    const int in = PhaseCount(calc, sat.t + insideSign * 0.05, sat.p, z);
    const int out = PhaseCount(calc, sat.t - insideSign * 0.05, sat.p, z);
    EXPECT_EQ(in, out + 1) << "at " << sat.t << " K";
    EXPECT_LT(sat.fugacityError, 1e-10);
}

const std::vector<double> kGas = test_fluids::NaturalGasFractions();

TEST(SaturationFlash, PropaneWaterBubblePointHasVapourAndTwoLiquidsNear300K) {
    Calculator calc(PropaneWater());
    const std::vector<double> z = {0.5, 0.5};
    const FlashResult r = calc.FlashSaturation(1000.0, 0.0, z.data());
    ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
    ASSERT_EQ(r.phases.size(), 3u);
    EXPECT_NEAR(r.t, 300.0, 1.0);
    const int v = r.VapourIndex();
    ASSERT_GE(v, 0);
    EXPECT_EQ(r.phases[v].fraction, 0.0);
    const int l1 = r.LiquidIndex(0), l2 = r.LiquidIndex(1);
    ASSERT_GE(l2, 0);
    EXPECT_GT(r.phases[l1].x[0], 0.9);
    EXPECT_TRUE(r.phases[l2].aqueous);
    EXPECT_NEAR(r.phases[l1].fraction + r.phases[l2].fraction, 1.0, 1e-12);
    // Just below: two liquids, no vapour; just above: vapour present.
    EXPECT_EQ(calc.FlashPT(r.t - 0.05, 1000.0, z.data()).VapourIndex(), -1);
    EXPECT_GE(calc.FlashPT(r.t + 0.05, 1000.0, z.data()).VapourIndex(), 0);
}

// Methane with 0.4 % n-heptane at 3972 kPa: the bubble point is a
// three-phase point where a liquid of 71 % methane appears beside the feed's
// own liquid. The main liquid comes first, as a client that tells the
// liquids apart by their place expects, whichever search found the point.
TEST(SaturationFlash, AThreePhaseBubblePointListsItsMainLiquidFirst) {
    Calculator calc(MakeFluid({"methane", "n-heptane"}));
    const std::vector<double> z = {0.995923, 0.004077};
    for (const double tInit : {std::nan(""), 180.0, 190.0}) {
        SaturationOptions options;
        options.tInit = tInit;
        const FlashResult r = calc.FlashSaturation(3971.93, 0.0, z.data(), options);
        ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
        ASSERT_EQ(r.phases.size(), 3u) << "at " << r.t << " K";
        const int l1 = r.LiquidIndex(0), l2 = r.LiquidIndex(1);
        EXPECT_NEAR(r.phases[l1].fraction, 1.0, 1e-5) << tInit;
        EXPECT_NEAR(r.phases[l1].x[0], z[0], 1e-5) << tInit;
        EXPECT_LT(r.phases[l2].x[0], 0.8) << tInit;
    }
}

TEST(SaturationFlash, NaturalGasDewAndBubblePointsSeparatePhaseCounts) {
    Calculator calc(NaturalGas());
    const FlashResult dew = calc.FlashSaturation(3000.0, 1.0, kGas.data());
    ExpectBoundary(calc, dew, kGas, -1.0);
    EXPECT_EQ(dew.phases[0].type, PhaseType::kVapour);
    EXPECT_NEAR(dew.phases[0].fraction, 1.0, 1e-14);
    const FlashResult bub = calc.FlashSaturation(3000.0, 0.0, kGas.data());
    ExpectBoundary(calc, bub, kGas, +1.0);
    EXPECT_LT(bub.t, dew.t);
    // A mid fraction lies between them with the vapour fraction asked for.
    const FlashResult mid = calc.FlashSaturation(3000.0, 0.5, kGas.data());
    ASSERT_EQ(mid.outcome, Outcome::kConverged) << mid.message;
    EXPECT_GT(mid.t, bub.t);
    EXPECT_LT(mid.t, dew.t);
    const FlashResult check = calc.FlashPT(mid.t, 3000.0, kGas.data());
    ASSERT_GE(check.VapourIndex(), 0);
    EXPECT_NEAR(check.phases[check.VapourIndex()].fraction, 0.5, 1e-6);
}

TEST(SaturationFlash, WetGasDewPointIsTheHighestTemperatureWhereAnyLiquidAppears) {
    Calculator calc(MakeFluid({"methane", "ethane", "propane", "n-hexane", "water"}));
    const std::vector<double> z = {0.80, 0.08, 0.05, 0.02, 0.05};
    const FlashResult dew = calc.FlashSaturation(2000.0, 1.0, z.data());
    ExpectBoundary(calc, dew, z, -1.0);
    // The water dew point lies above the hydrocarbon one here: the liquid that appears
    // is aqueous.
    const int l = dew.LiquidIndex(0);
    ASSERT_GE(l, 0);
    EXPECT_GT(dew.phases[l].x[4], 0.9);
}

TEST(SaturationFlash, RetrogradeDewPointClosestToInitialTemperature) {
    Calculator calc(MakeFluid({"methane", "n-butane"}));
    const std::vector<double> z = {0.9, 0.1};
    const CriticalPointResult cp = calc.CriticalPoint(z.data());
    ASSERT_EQ(cp.outcome, Outcome::kConverged);
    // Above the critical pressure the isobar crosses the dew curve twice.
    const double p = 1.1 * cp.p;
    const FlashResult upper = calc.FlashSaturation(p, 1.0, z.data());
    ExpectBoundary(calc, upper, z, -1.0);
    SaturationOptions low;
    low.tInit = cp.t;
    const FlashResult lower = calc.FlashSaturation(p, 1.0, z.data(), low);
    ASSERT_EQ(lower.outcome, Outcome::kConverged) << lower.message;
    EXPECT_LT(lower.t, upper.t - 20.0);
    EXPECT_GT(lower.t, cp.t);
    // The two-phase region lies between them: the lower dew point has it above.
    ExpectBoundary(calc, lower, z, +1.0);
    EXPECT_EQ(PhaseCount(calc, 0.5 * (lower.t + upper.t), p, z), 2);
}

// Methane with 0.1 % cyclohexane at 2 atm: a heavy liquid appears near 225 K,
// and the vapour stays above 99.8 % of the feed down to within a kelvin of the
// bubble point, where the methane condenses at once. The bracket of the bubble
// point has the vapour as its main phase on the inside and the feed's liquid
// root outside; it was taken for a dew point and no bubble point was found
// from the upper bound.
TEST(SaturationFlash, BubblePointOfANearlyPureFeedWhoseVapourIsTheMainPhaseToTheEnd) {
    Calculator calc(MakeFluid({"methane", "cyclohexane"}));
    const std::vector<double> z = {0.99894287, 0.00105713};
    const FlashResult bub = calc.FlashSaturation(202.65, 0.0, z.data());
    ExpectBoundary(calc, bub, z, +1.0);
    EXPECT_NEAR(bub.t, 120.745, 0.01);
}

TEST(SaturationFlash, AboveTheCricondenbarGivesTheTrivialSplitQuickly) {
    Calculator calc(NaturalGas());
    // Bounds of the hydrocarbon envelope (far below it the model finds a CO2-rich liquid).
    SaturationOptions bounds;
    bounds.tInit = 250.0;
    bounds.tMin = 150.0;
    bounds.tMax = 400.0;
    const auto start = std::chrono::steady_clock::now();
    const FlashResult r = calc.FlashSaturation(30000.0, 1.0, kGas.data(), bounds);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.outcome, Outcome::kTrivialSplit) << r.message;
    ASSERT_EQ(r.phases.size(), 2u);
    EXPECT_EQ(r.phases[0].type, PhaseType::kVapour);
    EXPECT_EQ(r.phases[1].type, PhaseType::kLiquid);
    double zs = 0;
    for (double v : kGas)
        zs += v;
    for (size_t i = 0; i < kGas.size(); ++i) {
        EXPECT_DOUBLE_EQ(r.phases[0].x[i], kGas[i] / zs);
        EXPECT_DOUBLE_EQ(r.phases[1].x[i], kGas[i] / zs);
    }
    EXPECT_LT(seconds, 2.0);
    EXPECT_LT(r.evaluations, 200000);
}

// A nitrogen-rich liquid boils at 2 atm near 80 K, above nitrogen's boiling
// point and above the lower bound of the search (which rises with the pressure).
TEST(SaturationFlash, ALiquidOfTheLightestCompoundStillHasItsBubblePoint) {
    Calculator calc(MakeFluid({"nitrogen", "methane"}));
    const std::vector<double> z = {0.9, 0.1};
    SaturationOptions seed;
    seed.tInit = 150.0;
    const FlashResult bub = calc.FlashSaturation(202.65, 0.0, z.data(), seed);
    ExpectBoundary(calc, bub, z, +1.0);
    EXPECT_GT(bub.t, 75.0);
    EXPECT_LT(bub.t, 85.0);
}

TEST(SaturationFlash, InitialTemperatureAndBoundsAreHonoured) {
    Calculator calc(NaturalGas());
    SaturationOptions narrow;
    narrow.tMin = 300.0;
    narrow.tMax = 400.0;  // the dew point at 3000 kPa lies below this window
    const FlashResult r = calc.FlashSaturation(3000.0, 1.0, kGas.data(), narrow);
    EXPECT_EQ(r.outcome, Outcome::kTrivialSplit);
    SaturationOptions bad;
    bad.tMin = 400.0;
    bad.tMax = 300.0;
    EXPECT_EQ(calc.FlashSaturation(3000.0, 1.0, kGas.data(), bad).outcome, Outcome::kInvalidInput);
    EXPECT_EQ(calc.FlashSaturation(3000.0, 1.5, kGas.data()).outcome, Outcome::kInvalidInput);
}

TEST(CriticalPoint, BinaryDewAndBubbleTemperaturesMeetAtTheCriticalPoint) {
    Calculator calc(MakeFluid({"methane", "propane"}));
    const std::vector<double> z = {0.6, 0.4};
    const CriticalPointResult cp = calc.CriticalPoint(z.data());
    ASSERT_EQ(cp.outcome, Outcome::kConverged) << cp.message;
    EXPECT_GT(cp.t, 190.0);
    EXPECT_LT(cp.t, 370.0);
    // Next to the critical pressure, bubble and dew points closest to Tc close in on it:
    // just below Pc one kind of curve passes next to the critical point, just above it
    // the other (which one depends on where the cricondenbar lies).
    SaturationOptions near;
    near.tInit = cp.t;
    int bubbles = 0, dews = 0;
    for (double f : {0.999, 1.001}) {
        for (double beta : {0.0, 1.0}) {
            const FlashResult r = calc.FlashSaturation(f * cp.p, beta, z.data(), near);
            if (r.outcome == Outcome::kConverged && std::fabs(r.t - cp.t) < 1.0)
                ++(beta == 0.0 ? bubbles : dews);
        }
    }
    EXPECT_GE(bubbles, 1);
    EXPECT_GE(dews, 1);
}

TEST(CriticalPoint, PureCompoundCriticalPointIsItsOwnTcAndPc) {
    Calculator calc(MakeFluid({"ethane", "propane"}));
    // A nearly pure compound: the mixture critical point tends to the EOS critical point,
    // which by construction of Ωa, Ωb is the compound's Tc, Pc.
    const std::vector<double> z = {1e-7, 1.0 - 1e-7};
    const CriticalPointResult cp = calc.CriticalPoint(z.data());
    ASSERT_EQ(cp.outcome, Outcome::kConverged) << cp.message;
    const Compound& c = calc.fluid().compound(1);
    EXPECT_NEAR(cp.t, c.tc, 0.01);
    EXPECT_NEAR(cp.p, c.pc, 0.1);
}

// Methane/CO2: besides the critical point on the envelope, the critical
// conditions have a root at 193 K and 465 kPa at a liquid's volume, where
// the feed is a vapour one phase (its dew curve passes 0.8 K away). That
// root is the critical point of a metastable phase, not of the envelope.
TEST(CriticalPoint, ARootAtTheVolumeOfAMetastablePhaseIsNotOnTheEnvelope) {
    Calculator calc(MakeFluid({"methane", "carbon dioxide"}));
    const std::vector<double> z = {0.644994, 0.355006};
    const std::vector<CriticalPointResult> roots = calc.CriticalPoints(z.data());
    ASSERT_GE(roots.size(), 2u);
    EXPECT_TRUE(roots[0].stable);
    EXPECT_NEAR(roots[0].t, 233.375, 0.05);
    bool sawLowRoot = false;
    for (const CriticalPointResult& r : roots) {
        if (r.p > 1000.0)
            continue;
        sawLowRoot = true;
        EXPECT_FALSE(r.stable) << r.message;
        const FlashResult flash = calc.FlashPT(r.t, r.p, z.data());
        ASSERT_EQ(flash.phases.size(), 1u);
        EXPECT_GT(flash.phases[0].z, 0.8) << "a vapour";
        EXPECT_LT(r.p * r.v / (kGasConstant * r.t), 0.3) << "at a liquid's volume";
    }
    EXPECT_TRUE(sawLowRoot);
}

TEST(FurtherPhase, FindsTheOtherLiquidNearAThreePhaseVapourAndWarmStartsCheaper) {
    Calculator calc(MakeFluid({"methane", "propane", "n-hexane", "water"}));
    const std::vector<double> z = {0.3, 0.2, 0.15, 0.35};
    const FlashResult r = calc.FlashPT(300.0, 2000.0, z.data());
    ASSERT_EQ(r.phases.size(), 3u);
    const std::vector<double>& y = r.phases[0].x;
    const std::vector<double>& hc = r.phases[1].x;
    const std::vector<double>& aq = r.phases[2].x;
    // The vapour 1 K colder: both liquids lie below its tangent plane. Told the
    // hydrocarbon liquid is the incipient one, the test reports the aqueous one.
    const FurtherPhaseResult a = calc.FurtherPhase(299.0, 2000.0, y.data(), hc.data());
    ASSERT_TRUE(a.found) << a.message;
    EXPECT_LT(a.tm, -1e-8);
    EXPECT_EQ(a.type, PhaseType::kLiquid);
    EXPECT_NEAR(a.x[3], aq[3], 0.02);
    // And the other way round.
    const FurtherPhaseResult b = calc.FurtherPhase(299.0, 2000.0, y.data(), aq.data());
    ASSERT_TRUE(b.found);
    EXPECT_NEAR(b.x[2], hc[2], 0.05);
    // The next call at a neighbouring point starts from these stationary points.
    const FurtherPhaseResult c = calc.FurtherPhase(299.1, 2000.0, y.data(), hc.data());
    ASSERT_TRUE(c.found);
    EXPECT_LT(c.evaluations, a.evaluations);
}

TEST(FurtherPhase, NoFurtherPhaseOnAPlainHydrocarbonDewPoint) {
    Calculator calc(NaturalGas());
    const FlashResult dew = calc.FlashSaturation(3000.0, 1.0, kGas.data());
    ASSERT_EQ(dew.outcome, Outcome::kConverged);
    const int l = dew.LiquidIndex(0);
    ASSERT_GE(l, 0);
    const FurtherPhaseResult r =
        calc.FurtherPhase(dew.t, 3000.0, kGas.data(), dew.phases[l].x.data());
    EXPECT_EQ(r.outcome, Outcome::kConverged);
    EXPECT_FALSE(r.found) << r.message;
}

}  // namespace
}  // namespace pyrana::thermo
