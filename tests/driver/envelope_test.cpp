// Whole calculations through Execute against the reference host, on both
// thermodynamic paths: the dry natural gas, a hydrocarbon-water feed with a
// three-phase region, a binary; every stored two-phase row checked
// independently with the host's own saturation flash; the error contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "platform/com.h"
#include "pyrana/objects/fault_injection.h"
#include "pyrana/thermo/calculator.h"
#include "tests/support/envelope_harness.h"
#include "tests/support/natural_gas.h"

namespace {

const FluidSpec kNaturalGas{test_fluids::NaturalGas(), {}};

const FluidSpec kWetFeed{{{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}},
                         {}};

const FluidSpec kBinary{{{"methane", 0.5}, {"n-decane", 0.5}}, {}};

// A wet gas with heavy ends, the command line's default fluid: its
// hydrocarbon dew curve meets the water dew curve at a three-phase point and
// the three-phase region above reaches up to a critical end point.
const FluidSpec kWetGas{{{"methane", 0.80},
                         {"ethane", 0.07},
                         {"propane", 0.04},
                         {"n-butane", 0.03},
                         {"n-pentane", 0.02},
                         {"n-hexane", 0.015},
                         {"n-heptane", 0.01},
                         {"n-octane", 0.005},
                         {"water", 0.01}},
                        {}};

const FluidSpec kCarbonDioxideRich{{{"carbon dioxide", 0.7}, {"methane", 0.2}, {"n-butane", 0.1}},
                                   {}};

// The natural gas with one per cent of water.
FluidSpec NaturalGasWithWater() {
    FluidSpec spec = kNaturalGas;
    for (auto& c : spec.components)
        c.second *= 0.99;
    spec.components.emplace_back("water", 0.01);
    return spec;
}

class EnvelopeTest : public ::testing::Test {
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

// Dew-side and bubble-side rows written by the two-phase stages.
bool IsTwoPhaseCurve(int type) {
    return type == 1 || type == 2 || type == 3 || type == 4;
}

std::vector<double> Feed(const FluidSpec& spec) {
    std::vector<double> z;
    for (const auto& c : spec.components)
        z.push_back(c.second);
    return z;
}

// Checks every two-phase row away from the critical point against the
// host's saturation flash at the row's pressure, started from the row's
// temperature: dew rows at vapour fraction 1 before the critical point,
// bubble rows at 0.
void ExpectRowsOnTheSaturationCurve(const EnvelopeRun& run, pyrana::thermo::Calculator& calc,
                                    const std::vector<double>& z, double criticalKpa,
                                    double criticalK, double cricondenbarKpa) {
    int checked = 0;
    for (const EnvelopeRow& row : run.rows) {
        if (!IsTwoPhaseCurve(row.type))
            continue;
        // Near the critical point and the cricondenbar a saturation flash
        // at given pressure is ill-conditioned (two roots close together).
        if (std::fabs(row.pKpa - criticalKpa) < 0.05 * criticalKpa)
            continue;
        if (row.pKpa > 0.98 * cricondenbarKpa)
            continue;
        // Above the critical temperature a dew row is a dew point; below it
        // on the bubble side of the critical point rows of either code are
        // bubble points of the feed.
        const double beta = row.tK > criticalK ? 1.0 : (row.pKpa < criticalKpa ? -1.0 : 0.0);
        pyrana::thermo::SaturationOptions options;
        options.tInit = row.tK;
        double best = 1e9;
        for (double b : {0.0, 1.0}) {
            if (beta >= 0.0 && b != beta)
                continue;
            const pyrana::thermo::FlashResult r =
                calc.FlashSaturation(row.pKpa, b, z.data(), options);
            if (r.outcome == pyrana::thermo::Outcome::kConverged) {
                best = std::min(best, std::fabs(r.t - row.tK));
            }
        }
        EXPECT_LT(best, 0.05) << "row type " << row.type << " at " << row.pKpa << " kPa, " << row.tK
                              << " K";
        ++checked;
    }
    EXPECT_GT(checked, 10);
}

// Checks every row on a boundary of the three-phase region (bubble boundary
// 14, liquid-liquid boundaries 15 and 16) with the host's PT flash: 0.01 K to
// one side of the row there are three phases, 0.01 K to the other side fewer.
// Three-phase points and their copies are left out: there the region ends in
// a corner, with two phases on either side at a given pressure. So are rows
// of the boundaries below a three-phase point (14, 16) that lie above it: a
// trace stores its last point before it tests the pressure window, and that
// point lies on the boundary's continuation past the corner, outside the
// region. Returns the number of rows checked.
int ExpectRowsOnTheThreePhaseBoundary(const EnvelopeRun& run, pyrana::thermo::Calculator& calc,
                                      const std::vector<double>& z) {
    double cornerKpa = 0.0;
    for (const EnvelopeRow& r : run.rows) {
        if (r.type == 10)
            cornerKpa = std::max(cornerKpa, r.pKpa);
    }
    int checked = 0;
    for (const EnvelopeRow& row : run.rows) {
        if (row.type != 14 && row.type != 15 && row.type != 16)
            continue;
        if (row.type != 15 && cornerKpa > 0.0 && row.pKpa > cornerKpa)
            continue;
        // Within 2 K of a critical end point the region is too thin for the
        // flash to resolve at 0.01 K, and a trace's last point lies past it.
        const bool nearCriticalEnd =
            std::any_of(run.rows.begin(), run.rows.end(), [&](const EnvelopeRow& r) {
                return (r.type == 11 || r.type == 12) && std::fabs(r.tK - row.tK) < 2.0;
            });
        if (nearCriticalEnd)
            continue;
        const bool corner =
            std::any_of(run.rows.begin(), run.rows.end(), [&](const EnvelopeRow& r) {
                return r.type == 10 && r.pKpa == row.pKpa && r.tK == row.tK;
            });
        if (corner)
            continue;
        if (row.type == 14) {
            // A three-phase bubble point: the host's saturation flash at
            // vapour fraction 0 finds three phases at the row's temperature.
            // (Its PT flash may miss a vapour of a few 1e-4 within 0.01 K.)
            pyrana::thermo::SaturationOptions options;
            options.tInit = row.tK;
            const pyrana::thermo::FlashResult f =
                calc.FlashSaturation(row.pKpa, 0.0, z.data(), options);
            if (f.ok()) {
                EXPECT_EQ(f.phases.size(), 3u) << "row at " << row.pKpa << " kPa";
                EXPECT_NEAR(f.t, row.tK, 1e-6 * row.tK) << "row at " << row.pKpa << " kPa";
                ++checked;
                continue;
            }
        }
        // The count changes across the row in temperature, or in pressure
        // where the boundary runs level (at its own pressure maximum).
        const auto three = [&](double t, double p) {
            return calc.FlashPT(t, p, z.data()).phases.size() == 3;
        };
        const bool threeBelow = three(row.tK - 0.01, row.pKpa);
        const bool threeAbove = three(row.tK + 0.01, row.pKpa);
        const bool threeLower = three(row.tK, row.pKpa * (1.0 - 1e-4));
        const bool threeHigher = three(row.tK, row.pKpa * (1.0 + 1e-4));
        EXPECT_TRUE(threeBelow != threeAbove || threeLower != threeHigher)
            << "row type " << row.type << " at " << row.pKpa << " kPa, " << row.tK
            << " K: three phases on every side or on none";
        ++checked;
    }
    return checked;
}

TEST_F(EnvelopeTest, DryNaturalGasGivesAClosedEnvelopeWithItsSpecialPoints) {
    EnvelopeHarness harness(kNaturalGas);
    const EnvelopeRun run = harness.Run();
    ASSERT_EQ(run.status, S_OK);
    ASSERT_GT(run.rows.size(), 20u);

    // The critical point agrees with the host's own critical-point solver.
    const std::vector<double> z = Feed(kNaturalGas);
    pyrana::thermo::Calculator& calc = harness.host().calculator();
    const pyrana::thermo::CriticalPointResult critical = calc.CriticalPoint(z.data());
    ASSERT_EQ(critical.outcome, pyrana::thermo::Outcome::kConverged);
    ASSERT_GE(run.Count(5), 1);
    EXPECT_NEAR(run.Scalar("2PhaseCriticalT"), critical.t, 0.1);
    EXPECT_NEAR(run.Scalar("2PhaseCriticalP"), critical.p, 1e-3 * critical.p);

    // At a critical point the store holds the old curve code, 5, and the
    // new code at the same state.
    for (size_t i = 1; i + 1 < run.rows.size(); ++i) {
        if (run.rows[i].type != 5)
            continue;
        EXPECT_EQ(run.rows[i - 1].pKpa, run.rows[i].pKpa);
        EXPECT_EQ(run.rows[i + 1].tK, run.rows[i].tK);
        EXPECT_NE(run.rows[i - 1].type, run.rows[i + 1].type);
    }

    // The first dew trace passes the critical point itself: one critical
    // point, and no dew row stored after the first bubble row (a stuck trace
    // would leave the crossing to a second trace round the dew side).
    EXPECT_EQ(run.Count(5), 1);
    bool bubbleSeen = false;
    for (const EnvelopeRow& r : run.rows) {
        bubbleSeen = bubbleSeen || r.type == 4;
        EXPECT_FALSE(bubbleSeen && r.type == 1) << "dew row after the bubble side at " << r.pKpa;
    }

    // Cricondenbar and cricondentherm bound every stored point.
    double maxP = 0.0;
    double maxT = 0.0;
    for (const EnvelopeRow& r : run.rows) {
        maxP = std::max(maxP, r.pKpa);
        maxT = std::max(maxT, r.tK);
        EXPECT_TRUE(std::isfinite(r.h) && std::isfinite(r.s) && std::isfinite(r.v));
        EXPECT_NE(r.h, -32767.0) << "host path recomputes every two-phase row";
    }
    EXPECT_NEAR(run.Scalar("Cricondenbar"), maxP, 5e-4 * maxP);
    EXPECT_NEAR(run.Scalar("Cricondentherm"), maxT, 5e-4 * maxT);
    EXPECT_EQ(run.Count(10), 0) << "a dry gas has no three-phase region";
    EXPECT_EQ(run.Scalar("3PhaseP"), -32767.0);

    ExpectRowsOnTheSaturationCurve(run, calc, z, critical.p, critical.t, maxP);
}

TEST_F(EnvelopeTest, BothThermodynamicPathsTraceTheSameCurve) {
    EnvelopeHarness host(kNaturalGas);
    EnvelopeHarness app(kNaturalGas, /*useProvider=*/true);
    const EnvelopeRun a = host.Run();
    const EnvelopeRun b = app.Run();
    ASSERT_EQ(a.status, S_OK);
    ASSERT_EQ(b.status, S_OK);

    // Up the dew curve and through the critical point both paths take the
    // same steps: converged points agree to round-off, the special points,
    // interpolated with finite-difference tangents, less closely (the
    // tangents of the points next to the critical point are ill-conditioned).
    size_t critical = 0;
    while (critical < a.rows.size() && a.rows[critical].type != 5)
        ++critical;
    ASSERT_LT(critical + 1, a.rows.size());
    ASSERT_LT(critical + 1, b.rows.size());
    for (size_t i = 0; i <= critical + 1; ++i) {
        const EnvelopeRow& r = a.rows[i];
        const bool converged = (r.type == 1 || r.type == 4) && i + 1 < critical;
        const double tolerance = converged ? 1e-9 : 2e-4;
        EXPECT_EQ(r.type, b.rows[i].type) << "row " << i;
        EXPECT_NEAR(r.pKpa, b.rows[i].pKpa, tolerance * r.pKpa) << "row " << i;
        EXPECT_NEAR(r.tK, b.rows[i].tK, tolerance * r.tK) << "row " << i;
    }
    // Past it the corrector's iteration counts may differ by one where the
    // last step sits at the convergence threshold, and with them the step
    // sizes: the bubble sides are the same curve through different points.
    for (int type : {5, 6, 8})
        EXPECT_EQ(a.Count(type), b.Count(type)) << "type " << type;
    const std::vector<double> z = Feed(kNaturalGas);
    pyrana::thermo::Calculator& calc = host.host().calculator();
    const pyrana::thermo::CriticalPointResult c = calc.CriticalPoint(z.data());
    ASSERT_EQ(c.outcome, pyrana::thermo::Outcome::kConverged);
    ExpectRowsOnTheSaturationCurve(b, calc, z, c.p, c.t, b.Scalar("Cricondenbar"));
}

TEST_F(EnvelopeTest, HydrocarbonWaterFeedTakesTheThreePhasePath) {
    EnvelopeHarness harness(kWetFeed);
    const EnvelopeRun run = harness.Run();
    ASSERT_EQ(run.status, S_OK);
    ASSERT_GE(run.Count(10), 1);
    // The three-phase point is stored again with the types of the stages
    // that end or start there, and the scalars come from its row.
    const EnvelopeRow* point = nullptr;
    for (const EnvelopeRow& r : run.rows) {
        if (r.type == 10)
            point = &r;
    }
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(run.Scalar("3PhaseP"), point->pKpa);
    EXPECT_EQ(run.Scalar("3PhaseT"), point->tK);
    int copies = 0;
    for (const EnvelopeRow& r : run.rows) {
        if (r.type != 10 && r.pKpa == point->pKpa && r.tK == point->tK)
            ++copies;
    }
    EXPECT_GE(copies, 1);

    // At the three-phase point the host's flash finds three phases just
    // inside, where the aqueous liquid has appeared.
    const std::vector<double> z = Feed(kWetFeed);
    pyrana::thermo::Calculator& calc = harness.host().calculator();
    bool threeNearby = false;
    for (double dt : {-0.5, -0.2, 0.2, 0.5}) {
        const pyrana::thermo::FlashResult r = calc.FlashPT(point->tK + dt, point->pKpa, z.data());
        if (r.phases.size() == 3)
            threeNearby = true;
    }
    EXPECT_TRUE(threeNearby);

    EXPECT_GE(ExpectRowsOnTheThreePhaseBoundary(run, calc, z), 5);
    // The boundaries above the three-phase point close at a critical end
    // point, above the three-phase point and below the bubble boundary's top;
    // where both reach it, they agree on it.
    ASSERT_GE(run.Count(11) + run.Count(12), 1);
    const EnvelopeRow* end = nullptr;
    for (const EnvelopeRow& r : run.rows) {
        if (r.type != 11 && r.type != 12)
            continue;
        if (end != nullptr) {
            EXPECT_NEAR(r.tK, end->tK, 0.02);
            EXPECT_NEAR(r.pKpa, end->pKpa, 2e-4 * end->pKpa);
        }
        end = &r;
    }
    double bubbleTop = 0.0;
    for (const EnvelopeRow& r : run.rows) {
        if (r.type == 14)
            bubbleTop = std::max(bubbleTop, r.pKpa);
    }
    for (const EnvelopeRow& r : run.rows) {
        if (r.type == 11 || r.type == 12) {
            EXPECT_GT(r.pKpa, point->pKpa);
            EXPECT_LT(r.pKpa, bubbleTop);
            EXPECT_LT(r.tK, point->tK);
        }
    }

    // Three-phase bubble-boundary rows carry their engine's properties.
    for (const EnvelopeRow& r : run.rows) {
        if (r.type == 14) {
            EXPECT_NE(r.h, -32767.0);
        }
    }
}

// The runs of rows of one type, in store order: [first, end) of each.
std::vector<std::pair<size_t, size_t>> Runs(const EnvelopeRun& run) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 0; i < run.rows.size(); ++i) {
        if (runs.empty() || run.rows[i].type != run.rows[runs.back().first].type)
            runs.emplace_back(i, i);
        runs.back().second = i + 1;
    }
    return runs;
}

// Two runs of one calculation on the two thermodynamic paths store the same
// stages (runs of rows of one type, in the same order) with the same points
// to 1e-4. Near the end of a run the two may part: where a corrector's last
// squared step sits at its convergence threshold the two paths' round-off
// decides its iteration count and with it the next step, and next to a
// critical end point the tracer's tangents are near singular. A run may have
// one more row than the other; or the two part at some row and end within
// 1 % in pressure and 0.5 K of each other.
void ExpectTheSameStagesAndPoints(const EnvelopeRun& a, const EnvelopeRun& b) {
    const auto runsA = Runs(a);
    const auto runsB = Runs(b);
    ASSERT_EQ(runsA.size(), runsB.size());
    for (size_t r = 0; r < runsA.size(); ++r) {
        const size_t lengthA = runsA[r].second - runsA[r].first;
        const size_t lengthB = runsB[r].second - runsB[r].first;
        ASSERT_EQ(a.rows[runsA[r].first].type, b.rows[runsB[r].first].type) << "run " << r;
        size_t k = 0;
        while (k < std::min(lengthA, lengthB)) {
            const EnvelopeRow& x = a.rows[runsA[r].first + k];
            const EnvelopeRow& y = b.rows[runsB[r].first + k];
            if (std::fabs(x.pKpa - y.pKpa) > 1e-4 * x.pKpa || std::fabs(x.tK - y.tK) > 1e-4 * x.tK)
                break;
            ++k;
        }
        if (k == std::min(lengthA, lengthB)) {
            // One path took one more step before the window's edge.
            EXPECT_LE(std::max(lengthA, lengthB) - k, 1u) << "run " << r;
            continue;
        }
        // A trace that ends at a critical end point stores its last point
        // past it, wherever its last step took it; the critical rows, the
        // next run, are compared instead.
        const bool beforeCriticalEnd =
            r + 1 < runsA.size() &&
            (a.rows[runsA[r + 1].first].type == 11 || a.rows[runsA[r + 1].first].type == 12);
        if (beforeCriticalEnd)
            continue;
        const EnvelopeRow& endA = a.rows[runsA[r].second - 1];
        const EnvelopeRow& endB = b.rows[runsB[r].second - 1];
        EXPECT_NEAR(endA.pKpa, endB.pKpa, 0.01 * endA.pKpa) << "run " << r;
        EXPECT_NEAR(endA.tK, endB.tK, 0.5) << "run " << r;
    }
}

// Other feeds: whatever path their stages take, the calculation succeeds,
// both thermodynamic paths store the same points, and the two-phase rows are
// saturation points of the host.
class OtherFeeds : public EnvelopeTest,
                   public ::testing::WithParamInterface<std::pair<const char*, FluidSpec>> {};

TEST_P(OtherFeeds, BothPathsAgreeAndTwoPhaseRowsAreSaturationPoints) {
    const FluidSpec& spec = GetParam().second;
    EnvelopeHarness host(spec);
    EnvelopeHarness app(spec, /*useProvider=*/true);
    const EnvelopeRun a = host.Run();
    const EnvelopeRun b = app.Run();
    ASSERT_EQ(a.status, S_OK);
    ASSERT_EQ(b.status, S_OK);
    ASSERT_GT(a.rows.size(), 10u);
    ExpectTheSameStagesAndPoints(a, b);
    // Scalars come from their rows.
    for (const EnvelopeRow& r : a.rows) {
        if (r.type == 5) {
            EXPECT_EQ(a.Scalar("2PhaseCriticalT"), r.tK);
        }
        if (r.type == 10) {
            EXPECT_EQ(a.Scalar("3PhaseP"), r.pKpa);
        }
    }
    const std::vector<double> z = Feed(spec);
    pyrana::thermo::Calculator& calc = host.host().calculator();
    const pyrana::thermo::CriticalPointResult critical = calc.CriticalPoint(z.data());
    double maxP = 0.0;
    for (const EnvelopeRow& r : a.rows)
        maxP = std::max(maxP, r.pKpa);
    // Rows below the critical pressure: above it both ends of a binary's
    // band are bubble points, between which the host's saturation flash does
    // not reliably return the one nearer its starting temperature.
    if (critical.outcome == pyrana::thermo::Outcome::kConverged && a.Count(10) == 0 &&
        a.Count(14) == 0) {
        ExpectRowsOnTheSaturationCurve(a, calc, z, critical.p, critical.t,
                                       std::min(maxP, critical.p));
    }
    ExpectRowsOnTheThreePhaseBoundary(a, calc, z);
    // A boundary scan never traces a stretch of boundary twice: no row of a
    // boundary lies on a row of the same kind stored before it, other than
    // the one just before it (a trace that stalls stores its last state
    // again).
    for (size_t i = 0; i < a.rows.size(); ++i) {
        const EnvelopeRow& r = a.rows[i];
        if (r.type != 14 && r.type != 15 && r.type != 16)
            continue;
        for (size_t j = 0; j + 1 < i; ++j) {
            const EnvelopeRow& q = a.rows[j];
            const bool same = q.type == r.type && std::fabs(q.pKpa - r.pKpa) < 1e-4 * r.pKpa &&
                              std::fabs(q.tK - r.tK) < 1e-4 * r.tK;
            bool stall = true;
            for (size_t k = j + 1; k <= i && stall; ++k) {
                stall = std::fabs(a.rows[k].pKpa - r.pKpa) < 1e-4 * r.pKpa;
            }
            EXPECT_FALSE(same && !stall) << "row " << i << " repeats row " << j << " at " << r.pKpa
                                         << " kPa, " << r.tK << " K";
        }
    }
    // An incipient-liquid row is where a phase appears: the host's flash
    // counts different phases 0.01 K to either side of it. The boundary's
    // first row, where it starts at a three-phase point, is that point.
    for (const EnvelopeRow& r : a.rows) {
        const bool corner = std::any_of(a.rows.begin(), a.rows.end(), [&](const EnvelopeRow& q) {
            return q.type == 10 && q.pKpa == r.pKpa && q.tK == r.tK;
        });
        if (r.type != 13 || corner)
            continue;
        const size_t below = calc.FlashPT(r.tK - 0.01, r.pKpa, z.data()).phases.size();
        const size_t above = calc.FlashPT(r.tK + 0.01, r.pKpa, z.data()).phases.size();
        EXPECT_NE(below, above) << "incipient-liquid row at " << r.pKpa << " kPa, " << r.tK << " K";
    }
}

INSTANTIATE_TEST_SUITE_P(Feeds, OtherFeeds,
                         ::testing::Values(std::make_pair("MethaneDecane", kBinary),
                                           std::make_pair("CarbonDioxideRich", kCarbonDioxideRich),
                                           std::make_pair("NaturalGasWithWater",
                                                          NaturalGasWithWater()),
                                           std::make_pair("WetGasWithHeavyEnds", kWetGas)),
                         [](const ::testing::TestParamInfo<OtherFeeds::ParamType>& info) {
                             return std::string(info.param.first);
                         });

// A single compound: its vapour-pressure curve as the dew side, its
// critical point, and the same states in reverse as the bubble side, on both
// thermodynamic paths.
TEST_F(EnvelopeTest, ASingleCompoundGivesItsVapourPressureCurve) {
    for (bool provider : {false, true}) {
        EnvelopeHarness harness(FluidSpec{{{"propane", 1.0}}, {}}, provider);
        const EnvelopeRun run = harness.Run();
        ASSERT_EQ(run.status, S_OK);
        ASSERT_GE(run.Count(1), 10);
        ASSERT_EQ(run.Count(1), run.Count(4));
        ASSERT_EQ(run.Count(5), 1);
        ASSERT_EQ(run.rows.size(), 2 * static_cast<size_t>(run.Count(1)) + 1);

        pyrana::thermo::Calculator& calc = harness.host().calculator();
        const double z[1] = {1.0};
        const size_t n = static_cast<size_t>(run.Count(1));
        double lastKpa = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const EnvelopeRow& dew = run.rows[i];
            ASSERT_EQ(dew.type, 1) << "row " << i;
            EXPECT_GT(dew.pKpa, lastKpa) << "the dew side climbs";
            lastKpa = dew.pKpa;
            // Each state is on the host's vapour-pressure curve...
            pyrana::thermo::SaturationOptions options;
            options.tInit = dew.tK;
            const pyrana::thermo::FlashResult r = calc.FlashSaturation(dew.pKpa, 0.5, z, options);
            ASSERT_EQ(r.outcome, pyrana::thermo::Outcome::kConverged) << dew.pKpa;
            EXPECT_NEAR(r.t, dew.tK, 1e-6 * dew.tK) << dew.pKpa;
            // ...and stored again, in reverse, on the bubble side.
            const EnvelopeRow& bubble = run.rows[2 * n - i];
            EXPECT_EQ(bubble.type, 4);
            EXPECT_EQ(bubble.pKpa, dew.pKpa);
            EXPECT_EQ(bubble.tK, dew.tK);
        }
        // The curve climbs to 0.97 Pc and closes at the critical point.
        const EnvelopeRow& critical = run.rows[n];
        EXPECT_EQ(critical.type, 5);
        EXPECT_DOUBLE_EQ(critical.pKpa, 4248.0);
        EXPECT_DOUBLE_EQ(critical.tK, 369.83);
        EXPECT_NEAR(run.rows[n - 1].pKpa, 0.97 * 4248.0, 1e-9 * 4248.0);
        EXPECT_EQ(run.Scalar("2PhaseCriticalT"), critical.tK);
        if (provider) {
            // The provider's flashes give each side its own phase: the
            // saturated vapour is the larger volume.
            EXPECT_GT(run.rows[0].v, 5.0 * run.rows[2 * n].v);
        }
    }
}

TEST_F(EnvelopeTest, BadFeedsReturnAnErrorAndWriteNothing) {
    EnvelopeHarness harness(kBinary);
    platform::ComPtr<IDispatch> spec;
    ASSERT_EQ(harness.phases()->GetPhase(1, 0, spec.put()), S_OK);
    platform::ComPtr<IPhase> feed;
    spec->QueryInterface(IID_IPhase, feed.put_void());
    platform::ComPtr<IRealArrayDisp> composition;
    feed->get_Composition(composition.put());
    for (const auto& values :
         std::vector<std::vector<double>>{{0.0, 0.0}, {0.5, NAN}, {1.2, -0.2}}) {
        composition->put_IthValue(0, values[0]);
        composition->put_IthValue(1, values[1]);
        const EnvelopeRun run = harness.Run();
        EXPECT_EQ(run.status, E_INVALIDARG);
        EXPECT_TRUE(run.rows.empty());
        EXPECT_EQ(run.Scalar("2PhaseCriticalP"), -32767.0);
    }
}

TEST_F(EnvelopeTest, MissingServicesOrContainerAnswerFalseAndTouchNothing) {
    EnvelopeHarness harness(kBinary);
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(harness.utility()->Execute(nullptr, nullptr, nullptr, harness.phases(), nullptr, 1, 0,
                                         0, none),
              S_FALSE);
    EXPECT_EQ(harness.object()->pointStore, nullptr);
    EXPECT_EQ(harness.utility()->Execute(nullptr, nullptr, nullptr, harness.phases(),
                                         harness.container(), 0, 0, 0, none),
              S_OK);
    EXPECT_EQ(harness.object()->pointStore, nullptr) << "no recalculation asked";
}

// Fails the k-th host call of a whole calculation for positions spread over
// it (and the first call of every operation): the calculation returns the
// failure (or absorbs it where an engine treats it as a failed step), writes
// nothing when it failed before the output, and leaves no object alive.
TEST_F(EnvelopeTest, AFailingHostCallEndsTheCalculationCleanly) {
    long total = 0;
    size_t fullRows = 0;
    {
        EnvelopeHarness harness(kBinary);
        pyrana::objects::ScopedFaultPlan count({0, "", E_FAIL});
        const EnvelopeRun full = harness.Run();
        ASSERT_EQ(full.status, S_OK);
        fullRows = full.rows.size();
        total = pyrana::objects::HostCallCount();
    }
    ASSERT_GT(total, 100);
#ifdef PE_SANITIZE_BUILD
    const long positions = 120;
#else
    const long positions = 400;
#endif
    const HRESULT injected = E_OUTOFMEMORY;
    int failures = 0;
    for (long n = 0; n < positions; ++n) {
        const long k = 1 + (n * (total - 1)) / (positions - 1);
        EnvelopeHarness harness(kBinary);
        EnvelopeRun run;
        {
            pyrana::objects::ScopedFaultPlan plan({k, "", injected});
            run = harness.Run();
        }
        if (run.status == injected) {
            ++failures;
        } else {
            EXPECT_EQ(run.status, S_OK) << "call " << k;
        }
        // Nothing is written when the failure came before the output; a
        // failure inside the recomputation of stored rows only ends that
        // recomputation (the output is complete); the output's own calls
        // leave what they had already set.
        const std::string op = pyrana::objects::InjectedOperation();
        const bool inOutput = op.find("PropContainer") != std::string::npos ||
                              op.find("RealArray") != std::string::npos ||
                              op.find("RealMatrix") != std::string::npos ||
                              op.find("ClassFactory") != std::string::npos;
        if (run.status == injected && !inOutput) {
            if (run.rows.empty()) {
                EXPECT_EQ(run.Scalar("2PhaseCriticalT"), -32767.0) << "call " << k << " " << op;
            } else {
                EXPECT_EQ(run.rows.size(), fullRows) << "call " << k << " " << op;
            }
        }
    }
    // Failures inside the tracers' correctors end that point's Newton
    // iteration (the step is retried shorter) rather than the calculation, and
    // the tracers solve extra points to place extrema and critical points
    // exactly: of the calls sampled, about one in twelve now carries its
    // failure out of Execute. The cases above must still be plenty.
    EXPECT_GT(failures, positions / 20);
}

}  // namespace
