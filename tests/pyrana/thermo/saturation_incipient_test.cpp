// Saturation flash by the incipient-phase condition: pure feeds, three-phase
// bubble points of water–hydrocarbon feeds, narrow two-phase bands, and the
// calls an envelope scan makes (initial temperature = the previous point).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;

const std::vector<double> kGas = {0.0034, 0.022, 0.834, 0.076, 0.033,
                                  0.006,  0.011, 0.004, 0.004, 0.0066};

Fluid NaturalGas() {
    return MakeFluid({"nitrogen", "carbon dioxide", "methane", "ethane", "propane", "isobutane",
                      "n-butane", "isopentane", "n-pentane", "n-hexane"});
}

// Σ z (ln φ liquid root - ln φ vapour root) of a composition at T, P.
double RootGap(Calculator& calc, double t, double p, const std::vector<double>& z) {
    const PhaseProperties l = calc.Properties(t, p, z.data(), Root::Liquid);
    const PhaseProperties v = calc.Properties(t, p, z.data(), Root::Vapour);
    EXPECT_TRUE(l.ok && v.ok);
    double g = 0;
    for (size_t i = 0; i < z.size(); ++i)
        g += z[i] * (l.lnPhi[i] - v.lnPhi[i]);
    return g;
}

TEST(PureSaturation, PropaneVapourPressureAndTheRootsFugacities) {
    Calculator calc(MakeFluid({"propane"}));
    const std::vector<double> z = {1.0};
    for (double beta : {1.0, 0.0, 0.4}) {
        const FlashResult r = calc.FlashSaturation(997.6, beta, z.data());
        ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
        // Measured: propane boils at 300 K under 997.6 kPa.
        EXPECT_NEAR(r.t, 300.0, 0.04 * 300.0);
        ASSERT_EQ(r.phases.size(), 2u);
        EXPECT_EQ(r.phases[0].type, PhaseType::kVapour);
        EXPECT_EQ(r.phases[1].type, PhaseType::kLiquid);
        EXPECT_DOUBLE_EQ(r.phases[0].fraction, beta);
        EXPECT_DOUBLE_EQ(r.phases[1].fraction, 1.0 - beta);
        EXPECT_GT(r.phases[0].z, 5.0 * r.phases[1].z);
        EXPECT_GT(r.phases[0].h, r.phases[1].h);  // heat of vaporisation
        // The liquid root is the stable one just below, the vapour root just above.
        EXPECT_LT(RootGap(calc, r.t * (1 - 1e-6), 997.6, z), 0.0);
        EXPECT_GT(RootGap(calc, r.t * (1 + 1e-6), 997.6, z), 0.0);
    }
}

TEST(PureSaturation, AboveTheCriticalPressureOrOutsideTheBoundsNone) {
    Calculator calc(MakeFluid({"propane"}));
    const std::vector<double> z = {1.0};
    EXPECT_EQ(calc.FlashSaturation(5000.0, 1.0, z.data()).outcome, Outcome::kTrivialSplit);
    SaturationOptions bounds;
    bounds.tMin = 310.0;
    bounds.tMax = 360.0;
    EXPECT_EQ(calc.FlashSaturation(997.6, 1.0, z.data(), bounds).outcome, Outcome::kTrivialSplit);
}

TEST(PureSaturation, TraceCompoundsRideAlongWithTheDominantOne) {
    Calculator pure(MakeFluid({"propane"}));
    Calculator mix(MakeFluid({"propane", "n-butane"}));
    const std::vector<double> one = {1.0}, nearly = {1.0 - 5e-6, 5e-6};
    const FlashResult a = pure.FlashSaturation(997.6, 0.0, one.data());
    const FlashResult b = mix.FlashSaturation(997.6, 0.0, nearly.data());
    ASSERT_EQ(b.outcome, Outcome::kConverged) << b.message;
    EXPECT_NEAR(b.t, a.t, 0.01);
    EXPECT_EQ(b.phases[0].x, nearly);
    EXPECT_EQ(b.phases[1].x, nearly);
}

TEST(BubblePoint, WaterHydrocarbonFeedThatIsTwoLiquidsBelowIt) {
    Calculator calc(MakeFluid({"methane", "n-butane", "n-decane", "water"}));
    const std::vector<double> z = {0.5, 0.3, 0.1, 0.1};
    SaturationOptions seeded;
    seeded.tInit = 170.0;
    double last = 0.0;
    for (double p : {202.65, 1000.0, 2026.5, 4000.0}) {
        const FlashResult r = calc.FlashSaturation(p, 0.0, z.data(), seeded);
        ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message << " at " << p << " kPa";
        ASSERT_EQ(r.phases.size(), 3u) << p;
        EXPECT_GE(r.t, 124.6);
        EXPECT_LE(r.t, 199.6);
        EXPECT_GT(r.t, last) << p;
        last = r.t;
        const int v = r.VapourIndex();
        ASSERT_GE(v, 0);
        EXPECT_EQ(r.phases[v].fraction, 0.0);
        ASSERT_GE(r.LiquidIndex(1), 0);
        EXPECT_TRUE(r.phases[r.LiquidIndex(1)].aqueous);
        EXPECT_LT(r.fugacityError, 1e-9);
        // Two liquids and no vapour just below.
        const FlashResult below = calc.FlashPT(r.t - 0.05, p, z.data());
        EXPECT_EQ(below.VapourIndex(), -1) << p;
        EXPECT_EQ(below.phases.size(), 2u) << p;
        // Without an initial temperature the same point.
        if (p == 1000.0 || p == 2026.5) {
            const FlashResult u = calc.FlashSaturation(p, 0.0, z.data());
            ASSERT_EQ(u.outcome, Outcome::kConverged) << u.message;
            EXPECT_NEAR(u.t, r.t, 1e-6);
        }
    }
}

TEST(DewPoint, BandNarrowerThanTheScanStepIsFound) {
    // 0.1 % n-butane in propane: a band of a few tenths of a kelvin at 997.6 kPa.
    Calculator calc(MakeFluid({"propane", "n-butane"}));
    const std::vector<double> z = {0.999, 0.001};
    SaturationOptions far;
    far.tInit = 250.0;
    for (const SaturationOptions& o : {SaturationOptions(), far}) {
        const FlashResult r = calc.FlashSaturation(997.6, 1.0, z.data(), o);
        ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
        EXPECT_NEAR(r.t, 300.0, 1.0);
        EXPECT_EQ(calc.FlashPT(r.t + 0.01, 997.6, z.data()).phases.size(), 1u);
        EXPECT_EQ(calc.FlashPT(r.t - 0.01, 997.6, z.data()).phases.size(), 2u);
    }
}

// The calls of an envelope scan: dew points up the pressure axis, each seeded with the
// previous temperature, must stay on one curve and cost a few hundred model calls.
TEST(DewPoint, EnvelopeScanSeededWithThePreviousPointIsCheapAndContinuous) {
    Calculator calc(NaturalGas());
    SaturationOptions o;
    o.tMin = 150.0;
    o.tMax = 400.0;
    o.tInit = 250.0;
    long evaluations = 0;
    int calls = 0;
    double tPrev = NAN;
    for (double p = 202.65; p < 10000.0; p *= 1.15) {
        const FlashResult r = calc.FlashSaturation(p, 1.0, kGas.data(), o);
        ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message << " at " << p << " kPa";
        if (std::isfinite(tPrev)) {
            EXPECT_LT(std::fabs(r.t - tPrev), 12.0) << p;
        }
        tPrev = r.t;
        o.tInit = r.t;
        evaluations += r.evaluations;
        ++calls;
    }
    EXPECT_LT(evaluations / calls, 300);
}

TEST(DewPoint, RetrogradeDoubleRootNearTheCricondenbarClosestToTheInitialTemperature) {
    Calculator calc(NaturalGas());
    SaturationOptions o;
    o.tMin = 150.0;
    o.tMax = 400.0;
    const double p = 10800.0;
    o.tInit = 250.0;
    const FlashResult lower = calc.FlashSaturation(p, 1.0, kGas.data(), o);
    o.tInit = 275.0;
    const FlashResult upper = calc.FlashSaturation(p, 1.0, kGas.data(), o);
    o.tInit = NAN;
    const FlashResult unseeded = calc.FlashSaturation(p, 1.0, kGas.data(), o);
    ASSERT_EQ(lower.outcome, Outcome::kConverged) << lower.message;
    ASSERT_EQ(upper.outcome, Outcome::kConverged) << upper.message;
    EXPECT_GT(upper.t, lower.t + 3.0);
    EXPECT_NEAR(unseeded.t, upper.t, 1e-6);
    // Two phases between them, one outside.
    EXPECT_EQ(calc.FlashPT(0.5 * (lower.t + upper.t), p, kGas.data()).phases.size(), 2u);
    EXPECT_EQ(calc.FlashPT(lower.t - 0.05, p, kGas.data()).phases.size(), 1u);
    EXPECT_EQ(calc.FlashPT(upper.t + 0.05, p, kGas.data()).phases.size(), 1u);
    // Above the cricondenbar: the trivial split, without a long search.
    const FlashResult none = calc.FlashSaturation(11500.0, 1.0, kGas.data(), o);
    EXPECT_EQ(none.outcome, Outcome::kTrivialSplit) << none.message;
    EXPECT_LT(none.evaluations, 20000);
}

}  // namespace
}  // namespace pyrana::thermo
