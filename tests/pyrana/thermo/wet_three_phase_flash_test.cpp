// PT flash of a hydrocarbon–water feed above its three-phase bubble point, where a
// vapour, a hydrocarbon liquid and a nearly pure aqueous liquid coexist: the
// flash finds all three at a bounded cost, its Gibbs energy lies below the
// two-phase splits (a hydrocarbon liquid holding ~10 % water among them), and no
// trial phase lies below the common tangent plane of the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"

namespace pyrana::thermo {
namespace {

using testing::ExpectEquilibrium;
using testing::MakeFluid;

constexpr int kWater = 3;

class WetThreePhaseFlash : public ::testing::Test {
  protected:
    WetThreePhaseFlash() : calc_(MakeFluid({"methane", "n-butane", "n-decane", "water"})) {}

    // Σ_k β_k Σ_i x_ik (ln x_ik + ln φ_ik), recomputed from the phases of r.
    double Gibbs(const FlashResult& r) {
        double g = 0;
        for (const PhaseResult& ph : r.phases) {
            const PhaseProperties pp = calc_.Properties(r.t, r.p, ph.x.data(), Root::Stable);
            for (int i = 0; i < calc_.size(); ++i) {
                if (ph.x[i] > 0)
                    g += ph.fraction * ph.x[i] * (std::log(ph.x[i]) + pp.lnPhi[i]);
            }
        }
        return g;
    }

    Calculator calc_;
    const std::vector<double> z_ = {0.5, 0.3, 0.1, 0.1};
};

TEST_F(WetThreePhaseFlash, VapourHydrocarbonLiquidAndWaterFromTheBubblePointUp) {
    // Three-phase bubble points of this feed (a colleague's figures for the same model).
    const struct {
        double p, bubble;
    } cases[] = {{1000.0, 156.17}, {2026.5, 175.68}, {4000.0, 199.57}};
    FlashOptions twoOnly;
    twoOnly.allowThreePhases = false;
    for (const auto& c : cases) {
        const FlashResult bp = calc_.FlashSaturation(c.p, 0.0, z_.data());
        ASSERT_EQ(bp.outcome, Outcome::kConverged) << bp.message;
        EXPECT_NEAR(bp.t, c.bubble, 0.01) << c.p;
        // From 1 K above the bubble point to 190 K (at 4000 kPa, above 190 K, a 10 K band).
        const double tEnd = std::max(190.0, bp.t + 10.0);
        int worst = 0;
        for (double t = bp.t + 1.0; t <= tEnd; t += 0.75) {
            SCOPED_TRACE(::testing::Message() << c.p << " kPa, " << t << " K");
            const FlashResult r = calc_.FlashPT(t, c.p, z_.data());
            ASSERT_EQ(r.phases.size(), 3u) << r.message;
            ExpectEquilibrium(calc_, r, z_);
            EXPECT_LT(r.fugacityError, 1e-10);
            EXPECT_EQ(r.phases[0].type, PhaseType::kVapour);
            EXPECT_FALSE(r.phases[1].aqueous);
            EXPECT_LT(r.phases[1].x[kWater], 1e-3);
            EXPECT_TRUE(r.phases[2].aqueous);
            EXPECT_GT(r.phases[2].x[kWater], 0.999);
            EXPECT_LT(r.evaluations, 2000);
            worst = std::max(worst, r.evaluations);
            // The reported Gibbs energy is the phases' own, and below the best two-phase split.
            EXPECT_NEAR(r.gibbs, Gibbs(r), 1e-9 * std::fabs(r.gibbs));
            const FlashResult two = calc_.FlashPT(t, c.p, z_.data(), twoOnly);
            ASSERT_EQ(two.phases.size(), 2u) << two.message;
            EXPECT_LT(r.gibbs, two.gibbs - 1e-6);
            // No phase of any composition lowers it further: the vapour's tangent plane
            // (common to the three phases) has no trial below it.
            const StabilityResult st = calc_.Stability(t, c.p, r.phases[0].x.data());
            EXPECT_GT(st.minTm, -1e-8);
        }
        RecordProperty("worst evaluations at " + std::to_string(c.p) + " kPa", worst);
    }
}

TEST_F(WetThreePhaseFlash, TwoPhaseSplitWithAWetHydrocarbonLiquidIsRejected) {
    // Two phases only: the split from the feed's stability test holds a hydrocarbon
    // liquid with about 10 % water, a state the aqueous phase lowers much further.
    const double t = 162.0, p = 1000.0;
    FlashOptions twoOnly;
    twoOnly.allowThreePhases = false;
    const FlashResult wet = calc_.FlashPT(t, p, z_.data(), twoOnly);
    ASSERT_EQ(wet.phases.size(), 2u) << wet.message;
    const int liquid = wet.LiquidIndex(0);
    ASSERT_GE(liquid, 0);
    const std::vector<double>& x = wet.phases[liquid].x;
    ASSERT_GT(x[kWater], 0.05);
    ASSERT_GT(x[0] + x[1] + x[2], 0.5);
    // The wet liquid is unstable towards nearly pure water, whichever trial set is used.
    for (bool full : {false, true}) {
        FlashOptions o;
        o.fullStability = full;
        const StabilityResult st = calc_.Stability(t, p, x.data(), o);
        ASSERT_FALSE(st.stable);
        bool aqueous = false;
        for (const StationaryPoint& sp : st.points)
            aqueous = aqueous || (sp.tm < 0 && sp.w[kWater] > 0.999);
        EXPECT_TRUE(aqueous) << "full " << full;
    }
    // The full flash replaces it by three phases of lower Gibbs energy.
    const FlashResult r = calc_.FlashPT(t, p, z_.data());
    ASSERT_EQ(r.phases.size(), 3u) << r.message;
    ExpectEquilibrium(calc_, r, z_);
    EXPECT_LT(r.gibbs, wet.gibbs - 1.0);
    EXPECT_LT(r.evaluations, 2000);
}

TEST_F(WetThreePhaseFlash, TwoLiquidsJustBelowTheBubblePointAndNoSpuriousVapour) {
    // Between the bubble point and the three-phase region the flash must not report a
    // vapour too early nor lose the aqueous liquid.
    const FlashResult bp = calc_.FlashSaturation(1000.0, 0.0, z_.data());
    ASSERT_EQ(bp.outcome, Outcome::kConverged) << bp.message;
    for (double dt : {-2.0, -0.2}) {
        const FlashResult r = calc_.FlashPT(bp.t + dt, 1000.0, z_.data());
        ASSERT_EQ(r.phases.size(), 2u) << r.message << " at " << dt;
        EXPECT_EQ(r.VapourIndex(), -1);
        EXPECT_TRUE(r.phases[1].aqueous);
        ExpectEquilibrium(calc_, r, z_);
    }
    const FlashResult above = calc_.FlashPT(bp.t + 0.2, 1000.0, z_.data());
    ASSERT_EQ(above.phases.size(), 3u) << above.message;
    EXPECT_LT(above.phases[0].fraction, 0.05);
    ExpectEquilibrium(calc_, above, z_);
}

}  // namespace
}  // namespace pyrana::thermo
