// Saturation flash by the incipient-phase condition: pure feeds, three-phase
// bubble points of water–hydrocarbon feeds, narrow two-phase bands, and the
// calls an envelope scan makes (initial temperature = the previous point).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"
#include "tests/support/natural_gas.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;
using testing::NaturalGas;

const std::vector<double> kGas = test_fluids::NaturalGasFractions();

// Every phase of a saturation result (the incipient one of zero fraction
// included) has the fugacities of the first, recomputed here with the root its
// label names, within 1e-8 in ln f; the phases with fractions hold the feed.
void ExpectSaturated(Calculator& calc, const FlashResult& r, const std::vector<double>& z) {
    ASSERT_GE(r.phases.size(), 2u);
    std::vector<std::vector<double>> lnF;
    std::vector<double> feed(z.size(), 0.0);
    for (const PhaseResult& ph : r.phases) {
        const Root root = ph.type == PhaseType::kVapour ? Root::Vapour : Root::Liquid;
        const PhaseProperties pp = calc.Properties(r.t, r.p, ph.x.data(), root);
        ASSERT_TRUE(pp.ok) << pp.message;
        std::vector<double> f(z.size());
        for (size_t i = 0; i < z.size(); ++i) {
            f[i] = std::log(ph.x[i]) + pp.lnPhi[i];
            feed[i] += ph.fraction * ph.x[i];
        }
        lnF.push_back(f);
    }
    for (size_t k = 1; k < lnF.size(); ++k) {
        for (size_t i = 0; i < z.size(); ++i)
            EXPECT_NEAR(lnF[k][i], lnF[0][i], 1e-8) << "phase " << k << " compound " << i;
    }
    for (size_t i = 0; i < z.size(); ++i)
        EXPECT_NEAR(feed[i], z[i], 1e-9) << "compound " << i;
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

// A bubble point asked for above the natural gas's cricondenbar (database k_ij):
// none, while the model splits the cold, compressed gas into two liquids below
// about 106 K (a heavy liquid drops out of the feed's own) and into three below
// 60 K. Those probes cost ten times a plain one, and the drop-out was bisected
// as if it were a bubble point: 118 000 model calls once, 22 800 before the
// search stopped at the temperature where no vapour can stand beside liquids
// at this pressure (70 K) and stopped taking a denser phase's appearance for a
// bubble point.
TEST(BubblePoint, AboveTheCricondenbarNoneThoughTheColdGasSplitsIntoLiquids) {
    Calculator calc(NaturalGas());
    const double p = 12000.0;
    SaturationOptions o;
    o.tInit = 251.0;
    const FlashResult none = calc.FlashSaturation(p, 0.0, kGas.data(), o);
    EXPECT_EQ(none.outcome, Outcome::kTrivialSplit) << none.message;
    EXPECT_LT(none.evaluations, 10000);
    // The stability analysis (a routine of its own) finds the feed in one phase
    // from the liquids' region up to well above every critical temperature.
    for (double t = 110.0; t < 600.0; t *= 1.1) {
        EXPECT_TRUE(calc.Stability(t, p, kGas.data()).stable) << t << " K";
    }
    // Two liquids below: what the search met, and judged no bubble point.
    EXPECT_GE(calc.FlashPT(80.0, p, kGas.data()).phases.size(), 2u);
}

// An ethylene product with ppm of nitrogen, CO2 and water, at 2869 kPa: a
// probe at the zero of the feed's root gap between two single-phase probes
// shows a vapour in one phase, which leaves a gap bracket beside it; the
// search solved that bracket by the same gap search, found the same zero and
// recursed until the stack overflowed. Whatever it answers, it answers.
TEST(BubblePoint, AGapBracketBesideTheGapsZeroIsNotSearchedWithoutEnd) {
    Calculator calc(MakeFluid({"ethylene", "nitrogen", "carbon dioxide", "water"}));
    const std::vector<double> z = {0.99997584099896886, 9.1354529895450306e-06,
                                   1.2934330766956974e-05, 2.0892172746237602e-06};
    SaturationOptions o;
    o.tInit = 181.9611002416911;
    o.tMin = 44.17;
    o.tMax = 841.2248;
    const FlashResult r = calc.FlashSaturation(2868.863755303465, 0.0, z.data(), o);
    if (r.outcome == Outcome::kConverged)
        ExpectSaturated(calc, r, z);
    else
        EXPECT_EQ(r.outcome, Outcome::kTrivialSplit) << r.message;
}

// Isobutane with 92 ppm of water and 7 ppm of nitrogen (SRK) boils at 2 atm
// between 280.411 and 280.516 K; the zero of its root gap lies at 280.517 K,
// just above the band. Seeded at 273.648 K, where water drops out of the
// liquid, the search's first probes are the liquid and, at 281.9 K, the
// vapour: the gap search's probe at the zero saw one phase, and no bubble
// point was found at any pressure (the envelope then had no bubble curve and
// no critical point, under S_OK). A flash and the fugacities, not the search,
// say where the band is: two phases 0.05 K above the point, one below.
TEST(BubblePoint, ANearlyPureFeedsBandBesideTheRootGapsZeroIsFound) {
    Calculator calc(MakeFluid({"isobutane", "nitrogen", "water"}, EosKind::SRK));
    const double sum = 0.999993 + 6.6297e-06 + 9.20918e-05;
    const std::vector<double> z = {0.999993 / sum, 6.6297e-06 / sum, 9.20918e-05 / sum};
    SaturationOptions o;
    o.tInit = 273.648;
    const FlashResult r = calc.FlashSaturation(202.65, 0.0, z.data(), o);
    ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
    ExpectSaturated(calc, r, z);
    EXPECT_NEAR(r.t, 280.411, 0.01);
    EXPECT_EQ(calc.FlashPT(r.t + 0.05, 202.65, z.data()).phases.size(), 2u);
    EXPECT_EQ(calc.FlashPT(r.t - 0.05, 202.65, z.data()).phases.size(), 1u);
}

// A wet gas with methanol at 2 atm, seeded at 395.5 K: three liquids at
// 117.7 K, an aqueous and a hydrocarbon liquid just below the three-phase
// bubble point at 121.23 K, vapour beside both at 121.26 K. The scan's
// bracket had three liquids on its side without vapour and was judged to need
// a fourth phase; the envelope of the provider's path (which seeds the search
// there) had no bubble side at all.
TEST(BubblePoint, ABracketWithThreeLiquidsOnOneSideMayHoldAThreePhaseBubblePoint) {
    Calculator calc(
        MakeFluid({"methane", "n-pentane", "n-hexane", "cyclohexane", "water", "methanol"}));
    const std::vector<double> raw = {0.83985,   0.0264285,  0.000572998,
                                     0.0188616, 0.00869138, 0.000817592};
    double sum = 0.0;
    for (double v : raw)
        sum += v;
    std::vector<double> z;
    for (double v : raw)
        z.push_back(v / sum);
    SaturationOptions o;
    o.tInit = 395.547;
    const FlashResult r = calc.FlashSaturation(202.65, 0.0, z.data(), o);
    ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
    EXPECT_EQ(r.phases.size(), 3u);
    ExpectSaturated(calc, r, z);
    EXPECT_NEAR(r.t, 121.23, 0.05);
}

// Methane/n-decane at 2 atm, seeded at its dew point: the search crosses the
// whole band (446 K down to 123 K) with the step doubling while the vapour
// stays abundant, and ends at the bubble point a start beside it reaches.
TEST(BubblePoint, WideBandCrossedFromTheDewPointToTheSameBubblePoint) {
    Calculator calc(MakeFluid({"methane", "n-decane"}));
    const std::vector<double> z = {0.5, 0.5};
    SaturationOptions far;
    far.tInit = 446.07;
    const FlashResult fromDew = calc.FlashSaturation(202.65, 0.0, z.data(), far);
    SaturationOptions near;
    near.tInit = 123.0;
    const FlashResult beside = calc.FlashSaturation(202.65, 0.0, z.data(), near);
    ASSERT_EQ(fromDew.outcome, Outcome::kConverged) << fromDew.message;
    ASSERT_EQ(beside.outcome, Outcome::kConverged) << beside.message;
    EXPECT_NEAR(fromDew.t, beside.t, 1e-6);
    EXPECT_NEAR(fromDew.t, 123.13, 0.05);
    ExpectSaturated(calc, fromDew, z);
    // Vapour present just above, absent just below.
    EXPECT_EQ(calc.FlashPT(fromDew.t + 0.05, 202.65, z.data()).phases.size(), 2u);
    EXPECT_EQ(calc.FlashPT(fromDew.t - 0.05, 202.65, z.data()).phases.size(), 1u);
    EXPECT_LT(fromDew.evaluations, 3500);
}

// Methane with 2.2 % toluene at 2 atm, seeded at 301 K: the incipient-phase
// search leaves its bracket unsolved and the PT-flash method settles it from
// the probes the search recorded. It is a three-phase bubble point (toluene
// splits off as a second liquid below it), the one a start beside it finds.
TEST(BubblePoint, BracketTheIncipientSearchLeftIsSettledFromItsProbes) {
    Calculator calc(MakeFluid({"methane", "toluene"}));
    const std::vector<double> z = {0.977945706616288, 0.022054293383712};
    SaturationOptions seeded;
    seeded.tInit = 301.0586;
    const FlashResult r = calc.FlashSaturation(202.65, 0.0, z.data(), seeded);
    ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
    EXPECT_NEAR(r.t, 120.7334, 1e-3);
    ASSERT_EQ(r.phases.size(), 3u);
    ExpectSaturated(calc, r, z);
    SaturationOptions near;
    near.tInit = 120.7;
    EXPECT_NEAR(calc.FlashSaturation(202.65, 0.0, z.data(), near).t, r.t, 1e-6);
    // Two liquids below (dense, whatever their labels), a gas-like phase above.
    const FlashResult below = calc.FlashPT(r.t - 0.05, 202.65, z.data());
    ASSERT_EQ(below.phases.size(), 2u);
    for (const PhaseResult& ph : below.phases)
        EXPECT_LT(ph.z, 0.1);
    const FlashResult above = calc.FlashPT(r.t + 0.05, 202.65, z.data());
    ASSERT_GE(above.phases.size(), 2u);
    EXPECT_GT(above.phases[0].z, 0.8);
}

}  // namespace
}  // namespace pyrana::thermo
