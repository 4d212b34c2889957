// The three-phase tracer against the reference host: the bubble boundary of
// the three-phase region (vapour fraction 0 against a hydrocarbon and an
// aqueous liquid), started as the driver's bubble-boundary scan starts it and
// traced in one call; every stored point checked with the host's own
// three-phase saturation flash, the end of the trace with the host's phases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com.h"
#include "tests/engine/engine_rig.h"

namespace {

namespace th = pyrana::thermo;

// A tolerance reached, for the test report.
std::string Scientific(double v) {
    std::ostringstream os;
    os << std::scientific << std::setprecision(2) << v;
    return os.str();
}

// The harness fluid of the tracer test. Peng-Robinson puts its n-decane in
// the aqueous liquid at fractions down to 1e-137 on the bubble boundary.
const FluidSpec kWetFeed{{{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}},
                         {}};
// The same with n-pentane, whose bubble boundary ends at a critical end
// point where the vapour and the hydrocarbon liquid become alike.
const FluidSpec kPentaneWetFeed{
    {{"methane", 0.5}, {"n-butane", 0.3}, {"n-pentane", 0.1}, {"water", 0.1}}, {}};

// The driver's bubble-boundary scan (atm): from 2 atm in tenths of the
// window up to 200 atm.
const double kPressLow = 1.99;
const double kPressHigh = 200.0;

class ThreePhaseBoundary : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        liveBefore_ = platform::LiveObjectCount();
    }
    void TearDown() override {
        EXPECT_EQ(platform::LiveObjectCount(), liveBefore_) << platform::LiveObjectReport();
        CoUninitialize();
    }
    long liveBefore_ = 0;
};

// A start of the scan whose first point did not converge.
struct FailedStart {
    double pAtm;
    double smallestAqueous;  // smallest fraction of a feed compound in the aqueous liquid
};

struct BoundaryTrace {
    bool started = false;
    double startPatm = 0.0;
    double endPatm = 0.0;  // where the trace stopped
    int rc = -1;
    uint8_t stuck = 0;
    uint8_t criticalFound = 0;
    std::vector<EnvelopeRow> rows;
    std::vector<FailedStart> failed;
};

// Scans the three-phase bubble points from 2 atm as the driver does and
// traces from the first one whose first point converges.
BoundaryTrace ScanAndTrace(EngineRig& rig) {
    BoundaryTrace b;
    UtilityState* u = rig.u;
    const double step = (kPressHigh - kPressLow) / 10.0;
    for (double p = 2.0; p < kPressHigh; p += step) {
        if (rig.Saturate(p, 0.0, 3) != 3)
            continue;
        double smallest = 1.0;
        for (int32_t i = 0; i < u->ncomp; ++i)
            smallest = std::min(smallest, u->xLiq2[i]);
        const int rc = rig.TraceThreePhase(kPressLow, kPressHigh, kPointThreePhaseBubble);
        if (rc == 1) {
            b.failed.push_back({p, smallest});
            continue;
        }
        b.started = true;
        b.startPatm = p;
        b.endPatm = u->curPatm;
        b.rc = rc;
        b.stuck = rig.stuck;
        b.criticalFound = rig.criticalFound;
        b.rows = rig.Rows();
        break;
    }
    return b;
}

// Every scanned pressure where the host finds a three-phase bubble point
// starts the trace, however small a compound's fraction in the aqueous
// liquid (the smallest is reported).
void ExpectTheFirstStartConverges(const BoundaryTrace& b) {
    for (const FailedStart& f : b.failed) {
        ADD_FAILURE() << "start at " << f.pAtm << " atm failed; smallest aqueous fraction "
                      << Scientific(f.smallestAqueous);
    }
}

// How far apart the host's vapour and hydrocarbon liquid are at a row's
// three-phase bubble point (max |y_i - x_i|; -1 when the host's flash there
// has not three phases).
double HydrocarbonPhasesApart(th::Calculator& calc, const std::vector<double>& z,
                              const EnvelopeRow& r) {
    th::SaturationOptions options;
    options.tInit = r.tK;
    const th::FlashResult f = calc.FlashSaturation(r.pKpa, 0.0, z.data(), options);
    if (f.phases.size() != 3u || f.VapourIndex() < 0 || f.LiquidIndex(0) < 0)
        return -1.0;
    const std::vector<double>& y = f.phases[static_cast<size_t>(f.VapourIndex())].x;
    const std::vector<double>& x = f.phases[static_cast<size_t>(f.LiquidIndex(0))].x;
    double apart = 0.0;
    for (size_t i = 0; i < z.size(); ++i)
        apart = std::max(apart, std::fabs(y[i] - x[i]));
    return apart;
}

// Every stored point is a three-phase bubble point of the host: its
// saturation flash at vapour fraction 0 and the row's pressure, started from
// the row's temperature, finds a vapour and two liquids at that temperature.
// The trace ends at the window, at a recorded critical point, or stuck where
// the host's vapour and hydrocarbon liquid become alike (a critical end
// point, past which the boundary does not go on). A critical row follows the
// point converged just past the critical end point (on the boundary's
// continuation, where the vapour and the hydrocarbon liquid have changed
// places and the host's stable state is another), and lies between that
// point and the one before it.
void ExpectPointsOnTheHostsThreePhaseBubbleCurve(const BoundaryTrace& b, th::Calculator& calc,
                                                 const std::vector<double>& z) {
    ASSERT_TRUE(b.started);
    EXPECT_EQ(b.rc, 0);
    ASSERT_GE(b.rows.size(), 5u);
    EXPECT_NEAR(b.rows[0].pKpa, b.startPatm * kKpaPerAtm, 1e-9 * b.rows[0].pKpa)
        << "the first point is converged at the starting pressure";
    // At the boundary's pressure maximum a saturation flash at given pressure
    // has two roots close together and the host's may fail; the rows there
    // are checked with PT flashes to either side instead.
    double maxKpa = 0.0;
    for (const EnvelopeRow& r : b.rows)
        maxKpa = std::max(maxKpa, r.pKpa);
    double worst = 0.0;
    for (size_t i = 0; i < b.rows.size(); ++i) {
        const EnvelopeRow& r = b.rows[i];
        if (r.type == kPointThreePhaseCritical || r.type == kPointThreePhaseCriticalOther) {
            EXPECT_EQ(i + 1, b.rows.size()) << "a critical point ends the trace";
            ASSERT_GE(i, 2u);
            const double before = b.rows[i - 2].tK;
            const double past = b.rows[i - 1].tK;
            EXPECT_GT(r.tK, std::min(before, past));
            EXPECT_LT(r.tK, std::max(before, past));
            continue;
        }
        const bool pastCriticalEnd =
            i + 1 < b.rows.size() && (b.rows[i + 1].type == kPointThreePhaseCritical ||
                                      b.rows[i + 1].type == kPointThreePhaseCriticalOther);
        if (pastCriticalEnd)
            continue;
        EXPECT_EQ(r.type, kPointThreePhaseBubble) << "row " << i;
        EXPECT_GE(r.pKpa, kPressLow * kKpaPerAtm);
        if (r.pKpa > 0.998 * maxKpa) {
            // Just below the row's pressure three phases, just above none.
            EXPECT_EQ(calc.FlashPT(r.tK, r.pKpa * (1.0 - 1e-6), z.data()).phases.size(), 3u)
                << "row " << i;
            EXPECT_LT(calc.FlashPT(r.tK, maxKpa * (1.0 + 1e-4), z.data()).phases.size(), 3u)
                << "row " << i;
            continue;
        }
        th::SaturationOptions options;
        options.tInit = r.tK;
        const th::FlashResult f = calc.FlashSaturation(r.pKpa, 0.0, z.data(), options);
        ASSERT_TRUE(f.ok()) << "row " << i << ": " << f.message;
        ASSERT_EQ(f.phases.size(), 3u) << "row " << i << " at " << r.pKpa << " kPa, " << r.tK;
        EXPECT_GE(f.VapourIndex(), 0) << "row " << i;
        EXPECT_GE(f.LiquidIndex(1), 0) << "row " << i;
        // Reached: 1e-14 relative along most of the boundary, 1.3e-9 at the
        // last points, where the vapour and the hydrocarbon liquid differ by
        // a few thousandths and the host's flash loses conditioning.
        EXPECT_NEAR(f.t, r.tK, 1e-8 * r.tK) << "row " << i << " at " << r.pKpa << " kPa";
        worst = std::max(worst, std::fabs(f.t - r.tK) / r.tK);
    }
    ::testing::Test::RecordProperty("worst_relative", Scientific(worst));

    const bool outOfWindow = b.endPatm < kPressLow || b.endPatm > kPressHigh;
    const int lastType = b.rows.back().type;
    const bool critical = b.criticalFound != 0 && (lastType == kPointThreePhaseCritical ||
                                                   lastType == kPointThreePhaseCriticalOther);
    EXPECT_TRUE(outOfWindow || critical || b.stuck != 0)
        << "the trace stopped at " << b.endPatm << " atm for no reason it knows";
    if (b.stuck != 0 && !critical && !outOfWindow) {
        const EnvelopeRow& last = b.rows.back();
        const double apart = HydrocarbonPhasesApart(calc, z, last);
        EXPECT_GE(apart, 0.0);
        EXPECT_LT(apart, 0.01) << "stuck at " << last.pKpa << " kPa, " << last.tK
                               << " K with the vapour and the hydrocarbon liquid apart";
    }
}

TEST_F(ThreePhaseBoundary, WetFeedBubbleBoundaryIsOnTheHostsThreePhaseCurve) {
    EngineRig rig(kWetFeed, false);
    ASSERT_EQ(rig.loaded, S_OK);
    const BoundaryTrace b = ScanAndTrace(rig);
    ASSERT_TRUE(b.started) << "the host finds no three-phase bubble point";
    ExpectTheFirstStartConverges(b);
    ExpectPointsOnTheHostsThreePhaseBubbleCurve(b, rig.calc(), rig.z);
}

TEST_F(ThreePhaseBoundary, PentaneWetFeedTracesToItsCriticalEndOnBothPaths) {
    EngineRig hostRig(kPentaneWetFeed, false);
    EngineRig appRig(kPentaneWetFeed, true);
    ASSERT_EQ(hostRig.loaded, S_OK);
    ASSERT_EQ(appRig.loaded, S_OK);
    const BoundaryTrace a = ScanAndTrace(hostRig);
    const BoundaryTrace b = ScanAndTrace(appRig);
    ASSERT_TRUE(a.started) << "no start of the scan converged";
    ExpectTheFirstStartConverges(a);
    ExpectPointsOnTheHostsThreePhaseBubbleCurve(a, hostRig.calc(), hostRig.z);

    // The provider path takes the same steps: its points agree to round-off
    // where the vapour and the hydrocarbon liquid are well apart; close to
    // the critical end the system is near singular and the points agree to
    // the corrector's own tolerance, a step of 1e-7 in the logarithms
    // (reached: 1e-14, and 1.2e-9 at the last point).
    ASSERT_TRUE(b.started);
    EXPECT_EQ(a.startPatm, b.startPatm);
    EXPECT_EQ(a.stuck, b.stuck);
    EXPECT_EQ(a.criticalFound, b.criticalFound);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (size_t i = 0; i < a.rows.size(); ++i) {
        EXPECT_EQ(a.rows[i].type, b.rows[i].type) << "row " << i;
        // The critical row is interpolated with finite-difference tangents
        // at the edge of the near-singular region, and the point before it
        // lies past the critical end: both to 2e-4.
        const bool nearCriticalEnd = i + 2 >= a.rows.size() && a.criticalFound != 0;
        const double tolerance =
            nearCriticalEnd                                                       ? 2e-4
            : HydrocarbonPhasesApart(hostRig.calc(), hostRig.z, a.rows[i]) > 0.01 ? 1e-9
                                                                                  : 1e-7;
        EXPECT_NEAR(a.rows[i].pKpa, b.rows[i].pKpa, tolerance * a.rows[i].pKpa) << "row " << i;
        EXPECT_NEAR(a.rows[i].tK, b.rows[i].tK, tolerance * a.rows[i].tK) << "row " << i;
    }
}

}  // namespace
