// Bubble and dew points of plain hydrocarbon binaries and a ternary swept up the
// pressure axis to near the critical pressure, without an initial temperature and
// from one near and far: each point must be a true phase boundary (a PT flash just
// inside splits, just outside does not), the same whatever the start, and the two
// curves must run smoothly in P.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "test_fluids.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;

struct Sweep {
    std::vector<double> z;
    std::vector<double> pressures;  // kPa, increasing, below the critical pressure
    double tMin = NAN;              // K, search bound (NaN: the default)
    // The dew curve may pass its cricondentherm below the critical pressure (the
    // critical point lies left of it): T then rises and falls once along the sweep.
    bool dewHasCricondentherm = false;
};

// Number of times the sequence turns (rising to falling or back).
int Turns(const std::vector<double>& v) {
    int turns = 0, dir = 0;
    for (size_t k = 1; k < v.size(); ++k) {
        const int d = v[k] > v[k - 1] ? 1 : -1;
        if (dir != 0 && d != dir)
            ++turns;
        dir = d;
    }
    return turns;
}

// Saturation point at p, checked as a phase boundary: two phases 0.05 K on the inside
// (below a dew point, above a bubble point), one phase 0.05 K outside.
double CheckedPoint(Calculator& calc, double p, double beta, const std::vector<double>& z,
                    const SaturationOptions& o, const std::string& what) {
    const FlashResult r = calc.FlashSaturation(p, beta, z.data(), o);
    EXPECT_EQ(r.outcome, Outcome::kConverged) << what << ": " << r.message;
    if (r.outcome != Outcome::kConverged)
        return NAN;
    EXPECT_LT(r.fugacityError, 1e-9) << what;
    const double inward = beta >= 1.0 ? -0.05 : 0.05;
    const FlashResult in = calc.FlashPT(r.t + inward, p, z.data());
    const FlashResult out = calc.FlashPT(r.t - inward, p, z.data());
    EXPECT_EQ(in.phases.size(), 2u) << what << " at " << r.t << " K";
    EXPECT_EQ(out.phases.size(), 1u) << what << " at " << r.t << " K";
    return r.t;
}

void RunSweep(Calculator& calc, const Sweep& s) {
    const CriticalPointResult cp = calc.CriticalPoint(s.z.data());
    ASSERT_EQ(cp.outcome, Outcome::kConverged) << cp.message;
    ASSERT_GT(cp.p, s.pressures.back());
    std::vector<double> bubble, dew;
    for (double p : s.pressures) {
        for (double beta : {0.0, 1.0}) {
            const std::string what =
                std::string(beta > 0 ? "dew" : "bubble") + " at " + std::to_string(p) + " kPa";
            SaturationOptions o;
            o.tMin = s.tMin;
            const double t = CheckedPoint(calc, p, beta, s.z, o, what);
            if (!std::isfinite(t))
                continue;
            (beta > 0 ? dew : bubble).push_back(t);
            // One saturation point of this kind at this pressure: every start finds it.
            for (double offset : {-3.0, 2.0, -45.0, 45.0}) {
                o.tInit = t + offset;
                const FlashResult r = calc.FlashSaturation(p, beta, s.z.data(), o);
                EXPECT_EQ(r.outcome, Outcome::kConverged)
                    << what << " from " << o.tInit << " K: " << r.message;
                if (r.outcome != Outcome::kConverged)
                    continue;
                EXPECT_NEAR(r.t, t, 1e-6) << what << " from " << o.tInit << " K";
                // A close start is what an envelope scan gives: a few Newton steps, away
                // from the critical point (where the trials collapse onto the feed and a
                // short scan brackets the point).
                if (std::fabs(offset) < 5.0 && p < 0.7 * cp.p) {
                    EXPECT_LT(r.evaluations, 400) << what << " from " << o.tInit << " K";
                }
            }
        }
    }
    ASSERT_EQ(bubble.size(), s.pressures.size());
    ASSERT_EQ(dew.size(), s.pressures.size());
    for (size_t k = 0; k < bubble.size(); ++k)
        EXPECT_GT(dew[k], bubble[k]) << s.pressures[k] << " kPa";
    EXPECT_EQ(Turns(bubble), 0);
    EXPECT_GT(bubble.back(), bubble.front());
    EXPECT_EQ(Turns(dew), s.dewHasCricondentherm ? 1 : 0);
    EXPECT_GT(dew[1], dew[0]);
}

TEST(SaturationSweep, PropaneNButaneHalfAndHalf) {
    Calculator calc(MakeFluid({"propane", "n-butane"}));
    Sweep s;
    s.z = {0.5, 0.5};
    s.pressures = {200, 500, 1000, 1500, 2000, 2500, 3000, 3500, 3800, 4100};
    RunSweep(calc, s);
    // The point the host's temperature settings bound: 1000 kPa, between 300 and 360 K.
    SaturationOptions o;
    const FlashResult r = calc.FlashSaturation(1000.0, 1.0, s.z.data(), o);
    EXPECT_GT(r.t, 300.0);
    EXPECT_LT(r.t, 360.0);
}

TEST(SaturationSweep, MethaneNDecaneHalfAndHalfUpToNearTheCriticalPressure) {
    Calculator calc(MakeFluid({"methane", "n-decane"}));
    Sweep s;
    s.z = {0.5, 0.5};
    const CriticalPointResult cp = calc.CriticalPoint(s.z.data());
    ASSERT_EQ(cp.outcome, Outcome::kConverged) << cp.message;
    s.pressures = {500, 1000, 2000, 3500, 5000, 6500, 8000, 0.97 * cp.p};
    // Below about 100 K the equation of state splits the liquid into two: keep to the
    // vapour–liquid region.
    s.tMin = 120.0;
    s.dewHasCricondentherm = true;
    RunSweep(calc, s);
}

TEST(SaturationSweep, EthanePropaneNButane) {
    Calculator calc(MakeFluid({"ethane", "propane", "n-butane"}));
    Sweep s;
    s.z = {0.3, 0.4, 0.3};
    s.pressures = {300, 1000, 2000, 3000, 4000, 4500, 4800};
    RunSweep(calc, s);
}

}  // namespace
}  // namespace pyrana::thermo
