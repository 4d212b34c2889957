// Bubble points (vapour fraction 0) of a natural gas with 2 % water over pressure.
// Below about 90 K the model splits the hydrocarbon liquid into a light and a heavy
// liquid, and the heavy one, of the largest molar volume, is labelled vapour by the
// three-phase flash; such a point is no bubble point. Every point the saturation
// flash returns must be one: a vapour lighter than the liquids 0.05 K above it,
// none 0.05 K below it, the vapour far less dense than the liquid. Where no light
// vapour appears at any temperature the result is the trivial split.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;

class WetGasBubble : public ::testing::Test {
  protected:
    WetGasBubble()
        : calc_(MakeFluid({"methane", "ethane", "propane", "n-butane", "n-pentane", "n-heptane",
                           "n-decane", "water"})) {}

    double MassDensity(const PhaseResult& ph) const {
        double mass = 0.0;
        for (int i = 0; i < calc_.size(); ++i)
            mass += ph.x[i] * calc_.fluid().compound(i).molarMass;
        return mass / ph.v;
    }

    // A PT flash at t shows a vapour: a phase labelled vapour, beside at least one
    // liquid, lighter by mass than each of them.
    bool LightVapourAt(double t, double p) {
        const FlashResult r = calc_.FlashPT(t, p, z_.data());
        if (r.phases.size() < 2)
            return false;
        for (const PhaseResult& v : r.phases) {
            if (v.type != PhaseType::kVapour)
                continue;
            bool lighter = true;
            for (const PhaseResult& l : r.phases)
                lighter = lighter && (&l == &v || MassDensity(v) < MassDensity(l));
            return lighter;
        }
        return false;
    }

    // A returned bubble point is a true one: the vapour appears between 0.05 K below
    // and 0.05 K above it, and is at most half as dense (molar) as the hydrocarbon
    // liquid. A trivial split is accepted here; where it is wrong is checked apart.
    void ExpectBubblePointOrNone(const FlashResult& r, double p) {
        SCOPED_TRACE(::testing::Message() << p << " kPa: " << r.message);
        if (r.outcome == Outcome::kTrivialSplit)
            return;
        ASSERT_EQ(r.outcome, Outcome::kConverged);
        ASSERT_GE(r.phases.size(), 2u);
        ASSERT_EQ(r.phases[0].type, PhaseType::kVapour);
        EXPECT_NEAR(r.phases[0].fraction, 0.0, 1e-12);
        const PhaseResult& liquid = r.phases[1];
        EXPECT_FALSE(liquid.aqueous);
        EXPECT_LT(liquid.v / r.phases[0].v, 0.5) << "vapour " << r.phases[0].v << " m3/kmol";
        for (const PhaseResult& ph : r.phases)
            EXPECT_LT(MassDensity(r.phases[0]),
                      ph.type == PhaseType::kVapour ? HUGE_VAL : MassDensity(ph));
        EXPECT_TRUE(LightVapourAt(r.t + 0.05, p)) << r.t << " K";
        EXPECT_FALSE(LightVapourAt(r.t - 0.05, p)) << r.t << " K";
    }

    Calculator calc_;
    const std::vector<double> z_ = {0.81, 0.07, 0.04, 0.03, 0.01, 0.01, 0.01, 0.02};
};

TEST_F(WetGasBubble, EveryPointOverPressureIsABubblePointOrTheTrivialSplit) {
    const double pressures[] = {202.65, 1000.0, 2000.0, 3000.0, 5000.0, 10000.0, 20000.0, 50000.0};
    for (const double p : pressures) {
        const FlashResult cold = calc_.FlashSaturation(p, 0.0, z_.data());
        ExpectBubblePointOrNone(cold, p);
    }
    // Started next to the previous point, as an envelope trace along the three-phase
    // boundary calls it (its 2 MPa steps), and from far below.
    double previous = 120.0;
    for (double p = 202.65; p < 51000.0; p += 2006.336325) {
        SaturationOptions so;
        so.tInit = previous;
        const FlashResult r = calc_.FlashSaturation(p, 0.0, z_.data(), so);
        ExpectBubblePointOrNone(r, p);
        if (r.outcome == Outcome::kConverged)
            previous = r.t;
    }
    for (const double p : pressures) {
        SaturationOptions so;
        so.tInit = 95.0;
        ExpectBubblePointOrNone(calc_.FlashSaturation(p, 0.0, z_.data(), so), p);
    }
}

TEST_F(WetGasBubble, BubblePointsUpToFiveMegapascalsAreFound) {
    // The bubble curve rises with pressure; the split of the hydrocarbon liquid near
    // 90 K below it never stands in for it.
    double last = 0.0;
    for (const double p : {202.65, 1000.0, 2000.0, 3000.0, 4000.0, 5000.0}) {
        SaturationOptions so;
        so.tInit = last > 0.0 ? last : NAN;
        const FlashResult r = calc_.FlashSaturation(p, 0.0, z_.data(), so);
        ASSERT_EQ(r.outcome, Outcome::kConverged) << p << " kPa: " << r.message;
        EXPECT_EQ(r.phases.size(), 3u) << p;
        EXPECT_GT(r.t, last) << p;
        last = r.t;
    }
}

TEST_F(WetGasBubble, TrivialSplitWhereNoVapourAppears) {
    // At 20 and 50 MPa no light vapour appears from the lower search bound to 400 K
    // (a 2 % scan), so there is no bubble point to return.
    for (const double p : {20000.0, 50000.0}) {
        bool vapour = false;
        for (double t = 0.35 * 190.56; t < 400.0 && !vapour; t *= 1.02)
            vapour = LightVapourAt(t, p);
        ASSERT_FALSE(vapour) << p;
        for (const double tInit : {double(NAN), 90.0, 200.0}) {
            SaturationOptions so;
            so.tInit = tInit;
            const FlashResult r = calc_.FlashSaturation(p, 0.0, z_.data(), so);
            EXPECT_EQ(r.outcome, Outcome::kTrivialSplit)
                << p << " kPa from " << tInit << " K: " << r.message;
        }
    }
}

}  // namespace
}  // namespace pyrana::thermo
