// The fixed part of the envelope sweep that every test run makes: generated
// feeds of every kind, the feeds that showed each class of silent wrong
// answer, and special points of a few mixtures on both thermodynamic paths,
// each checked by the sweep's independent checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "cli/envelope_run.h"
#include "cli/fluid_input.h"
#include "platform/com.h"
#include "pyrana/thermo/calculator.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/envelope_checks.h"
#include "tests/sweep/feeds.h"
#include "tests/sweep/special_points.h"
#include "tests/sweep/tangent_plane.h"

namespace {

namespace thermo = pyrana::thermo;

// The sanitizer build runs every check ten to twenty times slower: it takes
// a few feeds of each list.
#ifdef SWEEP_SHORT
constexpr bool kShort = true;
#else
constexpr bool kShort = false;
#endif
using sweep::NamedFeed;

class Sweep : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }

    // Every failure of the feed's checks, one per line, for the message.
    static std::string Failures(const sweep::FeedReport& r) {
        std::string text;
        for (const auto& f : r.failures)
            text += "  " + f.check + ": " + f.detail + "\n";
        return text;
    }

    static int Count(const cli::EnvelopeResult& r, int type) {
        return static_cast<int>(std::count_if(r.points.begin(), r.points.end(),
                                              [&](const auto& p) { return p.type == type; }));
    }
};

// Feeds of the seeded generator (seed 1) that cover natural, wet and lean
// gases, binaries, products, condensates and CO2-rich gases with PR and SRK;
// the whole sweep (`make sweep`) runs a thousand.
TEST_F(Sweep, GeneratedFeedsPassEveryCheck) {
    const std::vector<sweep::SweepFeed> feeds = sweep::GenerateFeeds(1, 40);
    const int chosen[] = {1,  2,  7,  8,  9,  10, 12, 14, 15, 16, 17, 18, 19, 20, 21,
                          22, 23, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38};
    int run = 0;
    for (int k : chosen) {
        if (kShort && ++run > 4)
            break;
        const sweep::SweepFeed& feed = feeds[static_cast<size_t>(k - 1)];
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty())
            << "feed " << k << " (" << feed.kind << "): phase-envelope " << feed.Arguments() << "\n"
            << Failures(r);
    }
}

// The digest `envelope_sweep --digests` compares builds with: the same feed
// gives the same digest run after run, and envelopes that differ (the same
// binary with either equation of state, which moves every row) give
// different ones.
TEST_F(Sweep, DigestsAgreeOnOneEnvelopeAndTellTwoApart) {
    const sweep::SweepFeed pr = NamedFeed("binary", {{"methane", 0.5}, {"n-butane", 0.5}});
    const sweep::SweepFeed srk = NamedFeed("binary", {{"methane", 0.5}, {"n-butane", 0.5}}, true);
    sweep::CheckOptions quick;
    quick.comparePaths = false;
    quick.repeat = false;
    const sweep::FeedReport a = sweep::CheckFeed(pr, quick);
    const sweep::FeedReport b = sweep::CheckFeed(pr, quick);
    const sweep::FeedReport c = sweep::CheckFeed(srk, quick);
    ASSERT_GT(a.rows, 10);
    EXPECT_EQ(a.digest, b.digest);
    EXPECT_NE(a.digest, c.digest);
    EXPECT_NE(a.digest, 0u);
}

// Products with ppm of methane: the dew and bubble curves lie a fraction of
// a kelvin apart, and the envelope still runs through the critical point.
TEST_F(Sweep, HighPurityProductsGetTheirWholeEnvelope) {
    for (const char* product : {"ethylene", "ethane", "propane"}) {
        const sweep::SweepFeed feed = NamedFeed("product", {{product, 0.99995}, {"methane", 5e-5}});
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << product << "\n" << Failures(r);
        const cli::EnvelopeResult e =
            cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
        EXPECT_EQ(e.status, S_OK) << product;
        EXPECT_EQ(Count(e, 5), 1) << product << ": one critical row";
        EXPECT_GT(Count(e, 1), 10) << product;
        EXPECT_GT(Count(e, 4), 10) << product;
    }
}

// Trials that fall back onto the feed stop near it, but not where the
// phase they are heading for lies near the feed too: a product's incipient
// phase differs from it in a trace compound alone (ethylene with 12 ppm CO2,
// SRK), and a near-azeotropic pair's in every compound by a few per cent
// (cyclohexane with benzene, every k_ij 0). Either envelope lost its dew curve,
// or its first dew point, when a trial within 1e-6 of such a feed (weighted
// by its fractions), or within 3 % of it in every compound, was taken for one
// falling back.
TEST_F(Sweep, TrialsHeadingForAPhaseBesideTheFeedAreNotTakenForTheFeed) {
    const sweep::SweepFeed product =
        NamedFeed("product", {{"ethylene", 0.999988}, {"carbon dioxide", 1.20064e-05}}, true);
    const sweep::SweepFeed pair =
        NamedFeed("binary", {{"cyclohexane", 0.15571}, {"benzene", 0.84429}}, false, true);
    for (const sweep::SweepFeed& feed : {product, pair}) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << feed.Arguments() << "\n" << Failures(r);
        const cli::EnvelopeResult e =
            cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
        EXPECT_EQ(e.status, S_OK) << feed.Arguments();
        ASSERT_GT(Count(e, 1), 10) << feed.Arguments();
        EXPECT_GT(Count(e, 4), 10) << feed.Arguments();
        EXPECT_EQ(Count(e, 5), 1) << feed.Arguments();
    }
    // The pair's dew curve starts at the scan's first pressure, 2 atm.
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(pair.Input(), cli::EnvelopeRequest());
    ASSERT_FALSE(e.points.empty());
    EXPECT_EQ(e.points.front().type, 1);
    EXPECT_NEAR(e.points.front().p, 202.65, 1e-6);
    EXPECT_NEAR(e.points.front().t, 377.615, 0.01);
}

// Ethylene with 0.1 % methane: the trace passes the cricondenbar and the
// critical point and comes back down the bubble side.
TEST_F(Sweep, NearPureEthylenePassesItsCriticalPointToTheBubbleSide) {
    const sweep::SweepFeed feed = NamedFeed("product", {{"ethylene", 0.999}, {"methane", 0.001}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 5), 1);
    const auto critical =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 5; });
    // The host's critical-point solver: 282.285 K, 5044.4 kPa.
    EXPECT_NEAR(critical->t, 282.285, 0.02);
    EXPECT_NEAR(critical->p, 5044.4, 0.0002 * 5044.4);
    EXPECT_GT(Count(e, 4), 5);
}

// Methane with n-heptane: the bubble side stops where it cannot go on (a
// liquid-liquid split near 157 K) instead of creeping in ever smaller steps,
// and says so; its three-phase line (checked with every other row) is stored
// where the phase pair changes, not as a lone row where there is no third
// phase.
TEST_F(Sweep, ABubbleSideThatCannotGoOnStopsAndSaysSo) {
    const sweep::SweepFeed feed = NamedFeed("binary", {{"methane", 0.8301}, {"n-heptane", 0.1699}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040201)) << "incomplete: a trace stopped";
    // No creeping: consecutive bubble rows stay more than 0.01 K apart.
    for (size_t i = 1; i < e.points.size(); ++i) {
        if (e.points[i].type == 4 && e.points[i - 1].type == 4) {
            EXPECT_GT(std::fabs(e.points[i].t - e.points[i - 1].t), 0.01) << "row " << i + 1;
        }
    }
}

// Methane with isopentane and cyclohexane (every k_ij 0): the upper dew
// branch ends at the three-phase point where it meets the bubble branch, no
// dew row lies inside the envelope, and both boundaries of the three-phase
// region start from that point.
TEST_F(Sweep, ADewBranchEndsAtTheThreePhasePointAndTheRegionIsTracedFromIt) {
    const sweep::SweepFeed feed =
        NamedFeed("lean gas", {{"methane", 0.919}, {"isopentane", 0.039}, {"cyclohexane", 0.041}},
                  false, true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("scalars")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1);
    const auto point =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 10; });
    for (const auto& p : e.points) {
        if (p.type == 1) {
            EXPECT_GE(p.t, point->t - 1e-3) << "a dew row below the three-phase point";
        }
    }
    EXPECT_GT(Count(e, 14), 5);
    EXPECT_GT(Count(e, 15), 5);
}

// A condensate rich in toluene: its bubble curve, coming down from the
// critical point, meets a second, toluene-rich liquid at a three-phase point
// near 186 K and 3.5 MPa, above which the feed's liquid splits into two
// liquids on cooling up to a liquid-liquid critical point near 28 MPa. That
// boundary was missing, with the envelope called complete: the
// incipient-liquid scan's bisection ran down past the liquid the host
// labels vapour to its lower bound at every pressure, and the trace from the
// point started from the incipient vapour's ratios. It is now traced from
// the point; where it cannot reach the liquid-liquid critical point the
// envelope says that a trace stopped.
TEST_F(Sweep, ASecondHydrocarbonLiquidsBoundaryIsTracedFromTheThreePhasePoint) {
    const sweep::SweepFeed feed = NamedFeed("condensate", {{"methane", 0.572143},
                                                           {"ethane", 0.038304},
                                                           {"isopentane", 0.0452626},
                                                           {"isobutane", 0.048413},
                                                           {"n-butane", 0.0586973},
                                                           {"methylcyclohexane", 0.0292901},
                                                           {"toluene", 0.140623},
                                                           {"2-methylpentane", 0.0859131}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("three-phase")) << Failures(r);
    EXPECT_FALSE(r.Failed("paths")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1);
    const auto point =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 10; });
    // The boundary rises from the point, colder as the pressure grows.
    double lastP = 0.0, lastT = HUGE_VAL;
    for (const auto& p : e.points) {
        if (p.type != 13)
            continue;
        EXPECT_GE(p.p, point->p - 1e-9) << "an incipient-liquid row below the point";
        EXPECT_GT(p.p, lastP);
        EXPECT_LT(p.t, lastT);
        lastP = p.p;
        lastT = p.t;
    }
    EXPECT_GT(Count(e, 13), 5);
    EXPECT_GT(lastP, 20000.0) << "the boundary reaches 20 MPa";
    // Short of the liquid-liquid critical point (28.0 MPa) it says so.
    if (lastP < 27000.0) {
        EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040201)) << "incomplete: a trace stopped";
    }
}

// A methane-rich gas whose three-phase point lies near methane's critical
// point (202 K, 5.7 MPa): the further phase there is a light liquid, and a
// trace from the point against it ran onto the feed's own bubble curve and
// through the envelope's critical point, storing the bubble curve again as
// incipient-liquid rows with a second critical row. Such a trace is dropped.
TEST_F(Sweep, ATraceFromAThreePhasePointOntoTheBubbleCurveIsDropped) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.929996},
                                             {"n-pentane", 0.0834575},
                                             {"ethane", 0.0466144},
                                             {"isobutane", 0.0197386},
                                             {"n-hexane", 0.000722441}},
                                            true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1) << "the three-phase point";
    EXPECT_EQ(Count(e, 5), 1) << "one critical point";
    EXPECT_EQ(Count(e, 13), 0) << "no incipient-liquid rows";
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("critical")) << Failures(r);
}

// A lean gas with n-hexane and m-xylene: its bubble side has a three-phase
// point at 191.6 K and 4.5 MPa, and below 123 K at 2 atm the liquid splits
// in two, so the bubble point there is a three-phase one. The three-phase
// bubble boundary from 2 atm ends where its second liquid vanishes (122.9 K,
// 221 kPa), and the two-phase bubble curve from there up to the three-phase
// point, which only the other branch of the stage plan traced, was missing
// under S_OK.
TEST_F(Sweep, TheBubbleCurveAboveAThreePhaseBoundaryThatEndsFarBelowItsPointIsTraced) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.525359},
                                             {"propane", 0.0362952},
                                             {"n-pentane", 0.0410912},
                                             {"m-xylene", 0.0156041},
                                             {"n-hexane", 0.149579}},
                                            false);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1) << "the three-phase point";
    EXPECT_GE(Count(e, 14), 3) << "the three-phase bubble boundary at the lowest pressures";
    double pointP = 0.0;
    for (const cli::EnvelopePoint& p : e.points) {
        if (p.type == 10)
            pointP = p.p;
    }
    int below = 0;
    for (const cli::EnvelopePoint& p : e.points) {
        if (p.type == 4 && p.p < pointP && p.p > 500.0)
            ++below;
    }
    EXPECT_GE(below, 10) << "bubble rows between the boundary's end and the point";
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("status")) << Failures(r);
}

// Methane, isobutane, toluene and 2-methylpentane: the same boundary
// creeps towards its liquid-liquid critical point in steps of 0.3 % in
// pressure that converge in five iterations whatever their size, and used
// every pass of the trace (395 rows); the host's path called that a
// complete envelope while the provider's path stopped earlier and said so.
// Such a trace now stops short on both paths.
TEST_F(Sweep, ATraceThatCreepsStopsAndSaysSo) {
    const sweep::SweepFeed feed = NamedFeed(
        "condensate",
        {{"methane", 0.57}, {"isobutane", 0.1}, {"toluene", 0.15}, {"2-methylpentane", 0.18}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("paths")) << Failures(r);
    EXPECT_FALSE(r.Failed("status")) << Failures(r);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040201)) << "incomplete: a trace stopped";
    EXPECT_LT(Count(e, 13), 100) << "the boundary stops before it creeps";
}

// Methane with n-pentane and a little water: near 191 K and 4.3 MPa a
// methane-rich liquid takes the vapour's place beside the hydrocarbon liquid
// and the water. The three-phase bubble boundary traced on beyond there was
// that of a metastable equilibrium (three phases on every side of its rows,
// by the checks' flash), and crept back in ever smaller steps; it now stops
// where the further-phase test finds a phase below the three phases' tangent
// plane, says so, and the scan's later boundary rows are stable ones.
TEST_F(Sweep, AThreePhaseBoundaryStopsWhereItsPhasesBecomeMetastable) {
    const sweep::SweepFeed feed =
        NamedFeed("wet gas", {{"methane", 0.8957}, {"n-pentane", 0.096}, {"water", 0.0019}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040202)) << "incomplete: a boundary stopped";
    EXPECT_GT(Count(e, 14), 10);
    EXPECT_EQ(Count(e, 11), 1) << "the three-phase critical point";
}

// Methane with isopentane and a little cyclohexane (SRK): the bubble side
// traced down from the critical point meets, at 195.26 K and 5064 kPa, the
// bubble curve of another incipient vapour (0.998 methane instead of
// 0.966), and the three-phase region between the two curves is thinner than
// the bubble-boundary scan sees. The bubble curve below that point used to
// be missing under S_OK; it is traced from the lowest pressure up to the
// point, and its rows are on the feed's stability boundary.
TEST_F(Sweep, ABubbleCurveGoesOnBelowAThreePhasePointWhereTwoBubbleCurvesCross) {
    const sweep::SweepFeed feed = NamedFeed(
        "natural gas",
        {{"methane", 0.946104}, {"isopentane", 0.0586447}, {"cyclohexane", 0.00430457}}, true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("paths")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1);
    const auto point =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 10; });
    int below = 0;
    double lowest = point->p;
    for (const auto& p : e.points) {
        if (p.type == 4 && p.p < point->p) {
            ++below;
            lowest = std::min(lowest, p.p);
        }
    }
    EXPECT_GT(below, 10);
    EXPECT_LT(lowest, 500.0) << "the bubble curve reaches the lowest pressures";
}

// Methane with ethane and 750 ppm of benzene: the dew curve of a benzene-rich
// liquid comes down from the cricondenbar and meets, 0.8 K above the
// mixture's critical point, the dew curve of a methane-rich liquid. The
// dew side restarted from that three-phase point used to fail at its first
// point (its starting unknowns came from the liquid-liquid scan run in
// between) and the scan after it traced the benzene dew curve a second
// time, with no critical point and no bubble side. It now starts from the
// point's own phases, turns downward where upward meets the benzene liquid
// at once, and passes the critical point to the bubble side.
TEST_F(Sweep, ADewSideRestartedFromAThreePhasePointReachesTheCriticalPoint) {
    const sweep::SweepFeed feed = NamedFeed(
        "natural gas", {{"methane", 0.891435}, {"ethane", 0.0635172}, {"benzene", 0.00075254}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(Count(e, 5), 1) << "the critical point";
    EXPECT_GT(Count(e, 4), 10) << "the bubble side";
    EXPECT_LT(Count(e, 2), 10) << "the benzene dew curve traced once";
}

// Methane, n-pentane, benzene, methylcyclohexane and nitrogen (SRK): the
// bubble side between the two critical points (393.6 K and 150.1 K) keeps
// every ln K below 0.2, where the corrector takes four or five iterations
// whatever the step. The trace used to halve its step on each and stop as
// stalled 60 K short of the second critical point; it now keeps a small step
// that converged no slower than the one before, and reaches both.
TEST_F(Sweep, ATraceBetweenTwoCriticalPointsReachesBoth) {
    const sweep::SweepFeed feed = NamedFeed("condensate",
                                            {{"methane", 0.666524},
                                             {"n-pentane", 0.0366558},
                                             {"benzene", 0.0405768},
                                             {"methylcyclohexane", 0.132037},
                                             {"nitrogen", 0.0403575}},
                                            true);
    if (!kShort) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << Failures(r);
    }
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(Count(e, 5), 2) << "both critical points";
}

// Methane with n-pentane, isopentane, n-eicosane, toluene, n-octane and
// m-xylene (SRK): the three-phase boundary's point solver converged at
// 128 K with -0.3 of both aromatics in a phase. Such a point was stored as a
// boundary row, and once each point was put to the further-phase test the
// host rejected the composition and Execute failed; it is now a failed point
// of the trace.
TEST_F(Sweep, ABoundaryPointWithNegativeFractionsIsAFailedPoint) {
    const sweep::SweepFeed feed = NamedFeed("condensate",
                                            {{"methane", 0.390695},
                                             {"n-pentane", 0.0543565},
                                             {"isopentane", 0.0386368},
                                             {"n-eicosane", 0.0187614},
                                             {"toluene", 0.0313113},
                                             {"n-octane", 0.146457},
                                             {"m-xylene", 0.046871}},
                                            true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_TRUE(SUCCEEDED(e.status)) << std::hex << e.status;
    EXPECT_EQ(Count(e, 5), 1) << "the critical point";
    EXPECT_EQ(Count(e, 10), 1) << "the three-phase point";
}

// Methane, ethane, n-butane and 170 ppm of m-xylene (SRK): the three-phase
// point lies 5 K above the mixture's critical point, and past it the
// methane-rich liquid's dew curve starts with every ln K below 2e-3. The
// further-phase test used to miss the liquid until the dew curve had run a
// few kelvin on, the restart from there could not converge, and the dew scan
// after it traced the m-xylene dew curve twice more (those rows are taken
// back since). Found where it appears, the point restarts the dew side onto
// the critical point the solver finds, and nothing is traced twice.
TEST_F(Sweep, ARestartCloseAboveTheCriticalPointReachesIt) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.612306},
                                             {"ethane", 0.0386096},
                                             {"n-butane", 0.015116},
                                             {"m-xylene", 0.000168064}},
                                            true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, S_OK);
    EXPECT_EQ(Count(e, 10), 1) << "one three-phase point";
    EXPECT_EQ(Count(e, 3), 0) << "no dew curve past a second three-phase point";
    EXPECT_EQ(Count(e, 5), 1) << "the critical point";
    EXPECT_NEAR(e.Scalar("2PhaseCriticalT"), 212.311, 0.05);
    if (!kShort) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << Failures(r);
    }
}

// A lean gas with H2S and 0.25 % methanol (SRK): the step that crossed the
// critical point (216.17 K, the solver's) found a methanol-rich liquid at its
// end, and the bisection placed the three-phase point 1 K past the critical
// point. The trace ended there without storing the critical point it had
// crossed, and the three-phase point was taken for one on the dew side. The
// critical point is now stored first, and the three-phase point after it.
TEST_F(Sweep, AThreePhasePointJustPastTheCriticalPointComesAfterIt) {
    const sweep::SweepFeed feed = NamedFeed("wet gas",
                                            {{"methane", 0.8736},
                                             {"propane", 0.0328},
                                             {"isopentane", 0.0286},
                                             {"n-butane", 0.0256},
                                             {"n-heptane", 0.0086},
                                             {"hydrogen sulfide", 0.0224},
                                             {"methanol", 0.0025}},
                                            true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_TRUE(SUCCEEDED(e.status)) << std::hex << e.status;
    auto first = [&](int type) {
        return std::find_if(e.points.begin(), e.points.end(),
                            [&](const auto& p) { return p.type == type; });
    };
    const auto critical = first(5);
    const auto threePhase = first(10);
    ASSERT_NE(critical, e.points.end()) << "the critical point";
    ASSERT_NE(threePhase, e.points.end()) << "the three-phase point";
    EXPECT_LT(critical, threePhase) << "the critical point is passed first";
    EXPECT_NEAR(critical->t, 216.169, 0.05);
    EXPECT_NEAR(critical->p, 8618.4, 0.005 * 8618.4);
    EXPECT_LT(threePhase->t, critical->t);
}

// A lean gas with 0.5 % methanol (SRK): methanol's liquid appears on the
// dew curve 0.15 K before the critical point, within the crossing's band.
// The step across found it past the critical point, which was stored first,
// though it lies inside methanol's region; the dew rows before it too.
TEST_F(Sweep, ACriticalPointInsideAnotherLiquidsRegionIsNotStored) {
    const sweep::SweepFeed feed = NamedFeed("wet gas",
                                            {{"methane", 0.943838},
                                             {"isobutane", 0.0745603},
                                             {"n-butane", 0.0396126},
                                             {"ethane", 0.0355911},
                                             {"2-methylpentane", 0.000158739},
                                             {"cyclohexane", 0.00121521},
                                             {"methanol", 0.00466919}},
                                            true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(Count(e, 5), 0) << "no critical row";
    EXPECT_EQ(Count(e, 10), 2) << "the dew curve ends at its second three-phase point";
}

// A lean gas with n-pentane and methylcyclohexane (k_ij 0): its dew curve
// meets its bubble curve at a three-phase point (193.97 K, 4876 kPa) 0.3 K
// before a metastable critical point. The step across that critical point
// found the vapour past it and stored its end there, inside the envelope,
// as a dew row, and the bubble side closed on it. (The host's flash still
// fails to converge beside the three-phase point, where the third phase
// lies 7e-9 below the plane.)
TEST_F(Sweep, ADewCurveEndsBeforeAMetastableCriticalPointItsStepCrossed) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.671941},
                                             {"isopentane", 0.0262518},
                                             {"n-pentane", 0.00813804},
                                             {"n-dodecane", 0.000263054},
                                             {"methylcyclohexane", 0.00263213}},
                                            false, true);
    sweep::CheckOptions options;
    options.comparePaths = false;
    const sweep::FeedReport r = sweep::CheckFeed(feed, options);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("three-phase")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_NEAR(e.Scalar("3PhaseT"), 193.969, 0.05);
    EXPECT_EQ(Count(e, 5), 0) << "no critical row";
}

// Ethylene/CO2 50/50 with k_ij 0: the envelope is 0.04 in ln K wide, the
// dew trace enters the critical band with ln P its step variable, and its
// predictions near the critical point leave the pressure window from a
// step that cannot shrink further. That ended the envelope at the last dew
// row under S_OK, without the critical point or the bubble side; now the
// trace says it stopped and the bubble side is traced from below through
// the critical point.
TEST_F(Sweep, APredictionOutOfTheWindowFromACollapsedStepIsATraceThatStopped) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"ethylene", 0.5}, {"carbon dioxide", 0.5}}, false, true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040201)) << "incomplete: a trace stopped";
    EXPECT_EQ(Count(e, 5), 1) << "one critical row";
    EXPECT_GT(Count(e, 4), 10) << "the bubble side";
}

// A CO2 product with 15 ppm of water: the water dew curve crosses the
// product's own narrow band at a three-phase point. Past the band the feed
// takes its liquid root and the liquid of almost its composition is the
// further phase; the water dew curve went on through the band, storing dew
// rows inside the envelope, and the three-phase point was missed.
TEST_F(Sweep, WaterOutOfAHighPurityProductMeetsTheProductsOwnLiquidAtAThreePhasePoint) {
    const sweep::SweepFeed feed = NamedFeed("product", {{"carbon dioxide", 0.999878},
                                                        {"n-butane", 2.68974e-05},
                                                        {"methane", 2.91026e-05},
                                                        {"water", 1.50472e-05}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, S_OK);
    const auto threePhase =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 10; });
    ASSERT_NE(threePhase, e.points.end()) << "the three-phase point";
    // The point lies on CO2's own vapour-pressure curve (the band is a few
    // ppm wide): the plain check model's vapour and liquid roots of pure CO2
    // change order within 0.2 % of its pressure.
    const sweep::CheckEos co2(
        cli::BuildFluid(NamedFeed("pure", {{"carbon dioxide", 1.0}}).Input()));
    const double one = 1.0;
    const double below = co2.RootGibbsGap(threePhase->t, 0.998 * threePhase->p, &one);
    const double above = co2.RootGibbsGap(threePhase->t, 1.002 * threePhase->p, &one);
    EXPECT_LT(below * above, 0.0) << below << " " << above;
    EXPECT_EQ(Count(e, 5), 1) << "one critical row";
}

// Methane with 1.3 % CO2: the CO2-rich liquid's dew curve meets the
// methane-rich liquid's bubble curve at a three-phase point (155.7 K,
// 1175 kPa), where the feed's own liquid is the further phase. The dew
// trace went on past it on the feed's metastable vapour root and turned at
// 157.5 K, storing a cricondentherm and a cricondenbar inside the envelope.
TEST_F(Sweep, AMinorCompoundsDewCurveEndsWhereTheFeedsOwnLiquidForms) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.98739}, {"carbon dioxide", 0.0126101}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    const auto threePhase =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 10; });
    ASSERT_NE(threePhase, e.points.end()) << "the three-phase point";
    for (const auto& p : e.points) {
        if (p.type == 1) {
            EXPECT_LE(p.p, threePhase->p) << "a dew row of the first trace past the point";
        }
    }
    EXPECT_EQ(Count(e, 5), 1) << "one critical row";
}

// A heavy liquid with a light compound (methane in toluene, CO2 in
// n-dodecane, nitrogen in n-decane): the bubble curve's incipient vapour is
// almost the pure light compound, and where it reaches that compound's own
// vapour-pressure curve a liquid of the same composition forms, on the
// other root. The bubble curve ends there at a three-phase point; it went
// on down to 113 K with every row inside the liquid-liquid region, because
// a further phase within 1e-3 of the incipient phase was taken for that
// phase.
TEST_F(Sweep, AHeavyLiquidsBubbleCurveEndsWhereItsIncipientVapourCondensesOnTheOtherRoot) {
    struct Case {
        sweep::SweepFeed feed;
        const char* light;
    };
    const Case cases[] = {
        {NamedFeed("binary", {{"methane", 0.168629}, {"toluene", 0.831371}}, true), "methane"},
        {NamedFeed("binary", {{"n-dodecane", 0.652275}, {"carbon dioxide", 0.347725}}),
         "carbon dioxide"},
        {NamedFeed("binary", {{"nitrogen", 0.0914867}, {"n-decane", 0.908513}}), "nitrogen"},
    };
    for (const Case& c : cases) {
        const sweep::FeedReport r = sweep::CheckFeed(c.feed);
        EXPECT_FALSE(r.Failed("boundary")) << c.light << "\n" << Failures(r);
        EXPECT_FALSE(r.Failed("three-phase")) << c.light << "\n" << Failures(r);
        const cli::EnvelopeResult e =
            cli::RunEnvelopeCalculation(c.feed.Input(), cli::EnvelopeRequest());
        const auto threePhase = std::find_if(e.points.begin(), e.points.end(),
                                             [](const auto& p) { return p.type == 10; });
        ASSERT_NE(threePhase, e.points.end()) << c.light << ": the three-phase point";
        for (const auto& p : e.points) {
            if (p.type == 4) {
                EXPECT_GT(p.t, threePhase->t - 1e-6) << c.light << ": a bubble row past it";
            }
        }
        // The point lies on the light compound's vapour-pressure curve, within
        // the lowering that the dissolved heavy compound gives.
        const sweep::CheckEos pure(
            cli::BuildFluid(NamedFeed("pure", {{c.light, 1.0}}, c.feed.srk).Input()));
        const double one = 1.0;
        const double below = pure.RootGibbsGap(threePhase->t, 0.99 * threePhase->p, &one);
        const double above = pure.RootGibbsGap(threePhase->t, 1.01 * threePhase->p, &one);
        EXPECT_LT(below * above, 0.0) << c.light << ": " << below << " " << above;
    }
}

// A condensate whose dew curve creeps towards a critical point beside a
// critical end point (SRK): the trace stops where its step cannot be
// shortened further, and the bubble side's recovery stores a row where it
// stopped. That row was taken from the last failed prediction, off the
// curve (5 K and 1.2 MPa off, single-phase on every side, after another
// approach to the critical point); the trace now ends at its last point.
TEST_F(Sweep, ATraceWhoseStepCollapsedEndsAtItsLastPoint) {
    const sweep::SweepFeed feed = NamedFeed("condensate",
                                            {{"methane", 0.65662},
                                             {"ethane", 0.0586328},
                                             {"isobutane", 0.0430434},
                                             {"n-butane", 0.0487769},
                                             {"n-decane", 0.0189301},
                                             {"carbon dioxide", 0.00129548}},
                                            true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), {});
    EXPECT_NE(e.status, S_OK) << "the dew trace stopped";
    const auto lastDew =
        std::find_if(e.points.rbegin(), e.points.rend(), [](const auto& p) { return p.type == 1; });
    ASSERT_NE(lastDew, e.points.rend());
    const bool storedThere = std::any_of(e.points.begin(), e.points.end(), [&](const auto& p) {
        return p.type == 4 && p.t == lastDew->t && p.p == lastDew->p;
    });
    EXPECT_TRUE(storedThere) << "the recovery's row at the dew trace's end, " << lastDew->t
                             << " K, " << lastDew->p << " kPa";
}

// A condensate (SRK) whose three-phase bubble boundary, traced up from
// 2 atm, ends near 125 K where its second liquid vanishes (the liquid-liquid
// split meets the bubble curve). The step past that corner converged with
// the second liquid's fraction at -0.27 and stored a row 3 K beyond it,
// where the feed is one liquid; the corner is now approached from inside.
TEST_F(Sweep, AThreePhaseBoundaryEndsAtTheCornerWhereItsSecondLiquidVanishes) {
    const sweep::SweepFeed feed = NamedFeed("condensate",
                                            {{"methane", 0.620387},
                                             {"isobutane", 0.0720458},
                                             {"n-butane", 0.0247171},
                                             {"cyclohexane", 0.126644},
                                             {"2-methylpentane", 0.04837},
                                             {"nitrogen", 9.14362e-06}},
                                            true);
    sweep::CheckOptions options;
    options.comparePaths = false;
    const sweep::FeedReport r = sweep::CheckFeed(feed, options);
    EXPECT_FALSE(r.Failed("three-phase")) << Failures(r);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
}

// Methane 0.998 with n-pentane: the further-phase test finds a phase 1 K
// above the mixture's critical point (the incipient liquid seen across the
// critical region), and the dew side restarted from that point ran back
// along the dew curve, storing its cricondenbar and cricondentherm a second
// time, under S_OK. The restart is taken back and the envelope says that a
// trace stopped.
TEST_F(Sweep, ARestartThatRunsBackAlongTheFirstCurveIsTakenBack) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.998035}, {"n-pentane", 0.00196494}});
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, static_cast<HRESULT>(0x00040201)) << "incomplete: a trace stopped";
    EXPECT_EQ(Count(e, 6), 1) << "one cricondenbar row";
    EXPECT_EQ(Count(e, 8), 1) << "one cricondentherm row";
    EXPECT_LE(Count(e, 2), 1) << "the dew curve not traced back";
}

// Where a trace passes several local extrema, the summary values are the
// extremes of the rows.
TEST_F(Sweep, SummaryExtremesAreTheExtremesOfTheRows) {
    for (const sweep::SweepFeed& feed :
         {NamedFeed("lean gas", {{"methane", 0.811}, {"n-hexane", 0.141}, {"cyclohexane", 0.048}}),
          NamedFeed("binary", {{"methane", 0.078}, {"n-dodecane", 0.922}})}) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_FALSE(r.Failed("scalars")) << feed.Arguments() << "\n" << Failures(r);
        EXPECT_FALSE(r.Failed("boundary")) << feed.Arguments() << "\n" << Failures(r);
    }
}

// The host forgets its warm starts when a calculation begins: a second
// Execute on the same object gives the first one's envelope to the last
// digit (this gas's second run once found a critical point the first missed).
TEST_F(Sweep, ASecondExecuteOnTheSameObjectGivesTheSameEnvelope) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.720914},
                                             {"isopentane", 0.0296803},
                                             {"n-pentane", 0.0110861},
                                             {"n-butane", 0.00751225},
                                             {"propane", 0.00496643},
                                             {"n-decane", 0.0062133},
                                             {"n-dodecane", 0.00723945},
                                             {"cyclohexane", 0.000285994}},
                                            true, true);
    cli::EnvelopeRequest request;
    request.executions = 2;
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), request);
    EXPECT_EQ(e.first.status, e.status);
    ASSERT_EQ(e.first.points.size(), e.points.size());
    for (size_t i = 0; i < e.points.size(); ++i) {
        EXPECT_EQ(e.first.points[i].type, e.points[i].type) << "row " << i + 1;
        EXPECT_EQ(e.first.points[i].p, e.points[i].p) << "row " << i + 1;
        EXPECT_EQ(e.first.points[i].t, e.points[i].t) << "row " << i + 1;
    }
    EXPECT_EQ(e.first.scalars, e.scalars);
}

// Critical points, cricondenbars and cricondentherms of a few mixtures of
// the special-point sweep against the solver and the checks' own densely
// solved saturation curves (the whole set: `make sweep SPECIAL=1`).
TEST_F(Sweep, SpecialPointsAgreeWithTheSolverAndTheSaturationCurve) {
    const std::vector<sweep::SweepFeed> all = sweep::SpecialPointMixtures();
    for (const sweep::SweepFeed& feed : all) {
        const std::string& kind = feed.kind;
        if (kind != "methane/propane (PR)" && kind != "CO2/ethane (SRK)" &&
            kind != "methane/hydrogen sulfide (SRK)" && kind != "gas condensate (PR)" &&
            kind != "nitrogen/methane (SRK)")
            continue;
        const sweep::SpecialPointReport r = sweep::CheckSpecialPoints(feed);
        std::string text;
        for (const auto& f : r.failures)
            text += "  " + f.check + ": " + f.detail + "\n";
        EXPECT_TRUE(r.failures.empty()) << kind << "\n" << text;
    }
}

// Methane / n-decane 50/50 with every k_ij 0, whose critical row was once
// taken from a trivial solution: within 0.02 K and 0.02 % of the solver on
// both thermodynamic paths.
// A dew branch falling steeply onto its critical point (methane with a tenth
// of n-pentane, SRK): the polynomial in pressure through the last points
// turned back before the crossed ln K reached the far side, the step went on
// unplanned to ln K = 0.005, and the trace stopped 1 MPa above the critical
// point. The crossing is placed in the ln K itself (where the jump is at
// most twice the last points' spread in it, which keeps the near-azeotropic
// ethylene/CO2 pair on its own crossing, see
// APredictionOutOfTheWindowFromACollapsedStepIsATraceThatStopped); both paths
// reach the solver's critical point within half a per cent.
TEST_F(Sweep, ASteepDewBranchCrossesItsCriticalPoint) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.693889}, {"n-pentane", 0.0735949}}, true);
    const cli::FluidInput input = feed.Input();
    thermo::Calculator calc(cli::BuildFluid(input));
    const double z[2] = {0.693889, 0.0735949};
    const thermo::CriticalPointResult c = calc.CriticalPoint(z);
    ASSERT_EQ(c.outcome, thermo::Outcome::kConverged);
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(input, request);
        EXPECT_EQ(e.status, S_OK);
        ASSERT_EQ(Count(e, 5), 1);
        const auto critical = std::find_if(e.points.begin(), e.points.end(),
                                           [](const auto& p) { return p.type == 5; });
        EXPECT_NEAR(critical->t, c.t, 0.5);
        EXPECT_NEAR(critical->p, c.p, 0.005 * c.p);
        EXPECT_GT(Count(e, 4), 10) << "the bubble side beyond it";
    }
}

TEST_F(Sweep, MethaneNDecaneCriticalPointOnBothPaths) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.5}, {"n-decane", 0.5}}, false, true);
    const cli::FluidInput input = feed.Input();
    thermo::Calculator calc(cli::BuildFluid(input));
    const double z[2] = {0.5, 0.5};
    const thermo::CriticalPointResult c = calc.CriticalPoint(z);
    ASSERT_EQ(c.outcome, thermo::Outcome::kConverged);
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(input, request);
        ASSERT_EQ(Count(e, 5), 1);
        const auto critical = std::find_if(e.points.begin(), e.points.end(),
                                           [](const auto& p) { return p.type == 5; });
        EXPECT_NEAR(critical->t, c.t, 0.02);
        EXPECT_NEAR(critical->p, c.p, 0.0002 * c.p);
    }
}

// The host's PT flash where the sweep found it wanting: two of three phases
// near their critical point, a deep aromatic liquid that the first unstable
// trial does not lead to, a methane vapour beside a liquid of 99.9 % methane,
// a methane-rich liquid between vapour and an aromatic liquid, a trace of
// water at its solubility limit. Each
// result converges and every phase is stable by the checks' own analysis.
TEST_F(Sweep, HostFlashConvergesWhereTheSweepFoundItWanting) {
    const struct {
        sweep::SweepFeed feed;
        double t, p;
        size_t phases;
    } cases[] = {
        {NamedFeed("wet gas",
                   {{"methane", 0.604209},
                    {"isopentane", 0.0595525},
                    {"n-heptane", 0.00601435},
                    {"hydrogen sulfide", 0.0438979},
                    {"water", 0.0230958}},
                   true),
         246.347, 13236.86, 3},
        {NamedFeed("natural gas",
                   {{"methane", 0.620987},
                    {"ethane", 0.0209801},
                    {"propane", 0.00798292},
                    {"benzene", 0.00575571},
                    {"m-xylene", 0.00529606},
                    {"n-hexane", 0.00571435}},
                   true, true),
         200.423, 5353.64, 3},
        {NamedFeed("natural gas", {{"methane", 0.8645},
                                   {"isopentane", 0.0393779},
                                   {"ethane", 0.0249774},
                                   {"isobutane", 0.00972453},
                                   {"cyclohexane", 0.000251425},
                                   {"m-xylene", 0.00427766},
                                   {"n-octane", 0.00175179}}),
         199.915, 5489.94, 2},
        {NamedFeed("natural gas", {{"methane", 0.79755},
                                   {"n-butane", 0.0462059},
                                   {"propane", 0.0193308},
                                   {"m-xylene", 0.00836531}}),
         207.965, 6543.78, 3},
        {NamedFeed("binary", {{"methane", 0.992403}, {"benzene", 0.00759734}}), 120.743, 202.04, 2},
        {NamedFeed("condensate", {{"methane", 0.377346},
                                  {"n-butane", 0.0428754},
                                  {"propane", 0.0384221},
                                  {"ethane", 0.0285243},
                                  {"cyclohexane", 0.0904327},
                                  {"toluene", 0.130323}}),
         148.149, 866.44, 2},
        {NamedFeed("binary",
                   {{"methane", 0.274489}, {"n-pentane", 0.725511}, {"water", 5.53051e-06}}, false,
                   true),
         156.203, 439.45, 2},
        // Water at 5e-6 beside a hydrocarbon vapour and liquid: its phase
        // lowers the Gibbs energy by less than rounding (about 1e-14), and
        // the three phases used to be rejected as no better than the two.
        {NamedFeed("condensate",
                   {{"methane", 0.565178},
                    {"n-pentane", 0.0359205},
                    {"isobutane", 0.0358532},
                    {"propane", 0.0321843},
                    {"ethane", 0.0180614},
                    {"n-decane", 0.0802727},
                    {"2-methylpentane", 0.133219},
                    {"water", 5.20809e-06}},
                   true),
         238.316, 6128.46, 3},
        // Two vapours of 93 % methane beside a liquid: the second vapour
        // lies a little way along the soft direction of the first one's
        // tangent plane, where no standard trial leads.
        {NamedFeed("natural gas",
                   {{"methane", 0.871018},
                    {"n-pentane", 0.038114},
                    {"ethane", 0.0136866},
                    {"cyclohexane", 0.00203421},
                    {"n-decane", 0.000345938},
                    {"n-dodecane", 0.000161191},
                    {"nitrogen", 0.0411533}},
                   false, true),
         194.129, 5368.87, 3},
        // A feed close to its critical point that splits into a phase
        // near it (TPD -1.5e-4): every standard trial falls back onto the
        // feed.
        {NamedFeed("natural gas",
                   {{"methane", 0.612306},
                    {"ethane", 0.0386096},
                    {"n-butane", 0.015116},
                    {"m-xylene", 0.000168064}},
                   true),
         215.2585, 6888.85, 2},
        // A liquid of 14 % CO2 beside a vapour of 7 % near methane's
        // critical point (TPD -7e-3): every standard trial falls back onto
        // the feed, a trial a tenth of the way towards CO2 reaches it.
        {NamedFeed("binary", {{"methane", 0.927817}, {"carbon dioxide", 0.0721831}}, true), 197.0,
         4675.358, 2},
        // A liquid of 96 % methane a tenth of the way from a vapour of
        // 99.6 % to a liquid of 47 %: the split of the two was taken as
        // stable (TPD -8e-3 against it).
        {NamedFeed("condensate", {{"methane", 0.796279},
                                  {"propane", 0.0328549},
                                  {"methylcyclohexane", 0.0684716},
                                  {"benzene", 0.100714},
                                  {"hydrogen sulfide", 0.0195515}}),
         183.575, 3515.70, 2},
        // A liquid of 99.0 % methane a fiftieth of the way from a vapour of
        // 99.8 % to a liquid of 55 %, near methane's critical point (TPD
        // -5e-4 against the split of the two).
        {NamedFeed("condensate",
                   {{"methane", 0.595269},
                    {"n-pentane", 0.0625307},
                    {"n-butane", 0.0548797},
                    {"propane", 0.0114819},
                    {"isopentane", 0.0681678},
                    {"m-xylene", 0.0904142},
                    {"n-nonane", 0.136559}},
                   true),
         192.565, 4738.51, 2},
    };
    for (const auto& c : cases) {
        const cli::FluidInput input = c.feed.Input();
        const thermo::Fluid fluid = cli::BuildFluid(input);
        thermo::Calculator calc(fluid);
        const sweep::CheckEos eos(fluid);
        double sum = 0.0;
        for (double v : input.feed)
            sum += v;
        std::vector<double> z;
        for (double v : input.feed)
            z.push_back(v / sum);
        const thermo::FlashResult f = calc.FlashPT(c.t, c.p, z.data());
        EXPECT_TRUE(f.ok()) << c.feed.Arguments() << ": " << f.message;
        EXPECT_EQ(f.phases.size(), c.phases) << c.feed.Arguments();
        for (const auto& phase : f.phases) {
            EXPECT_FALSE(sweep::Unstable(sweep::TangentPlane(eos, c.t, c.p, phase.x.data())))
                << c.feed.Arguments() << ": a phase of the flash is unstable";
        }
    }
}

// Near a critical point the temperature and pressure columns of the
// tracer's Jacobian are nearly parallel: the tangent from forward
// differences differed sevenfold in ln P between the two paths, whose
// rounding differs, and the provider's trace stepped off and stopped 1 K
// short of the critical point that the host's reached.
TEST_F(Sweep, BothPathsStepAcrossACriticalPointAlike) {
    const sweep::SweepFeed feed = NamedFeed("natural gas", {{"methane", 0.839436},
                                                            {"n-pentane", 0.0304878},
                                                            {"isopentane", 0.0188371},
                                                            {"propane", 0.01104},
                                                            {"n-nonane", 0.000563277}});
    double critical[2][2] = {};
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), request);
        EXPECT_EQ(e.status, S_OK) << feed.Arguments();
        const int k = path == cli::ThermoPath::kApp ? 1 : 0;
        critical[k][0] = e.Scalar("2PhaseCriticalT");
        critical[k][1] = e.Scalar("2PhaseCriticalP");
    }
    // The host's critical-point solver puts it at 201.28 K, 6210 kPa.
    EXPECT_NEAR(critical[0][0], 201.28, 0.05);
    EXPECT_NEAR(critical[1][0], critical[0][0], 0.01);
    EXPECT_NEAR(critical[1][1], critical[0][1], 1e-4 * critical[0][1]);
}

// A wet gas with methanol has a second, metastable critical point 55 K
// below the one its dew curve crosses. On the provider's path the point
// halfway between the crossing's far end and zero in ln K fell onto that
// second branch (252 K, where the ends lie at 299 and 314 K), and the
// critical row was interpolated through it to 271.7 K. A halfway point off
// the stretch between the ends is solved again from the chord.
TEST_F(Sweep, ACriticalPointIsPlacedFromPointsOfItsOwnStretchOfTheCurve) {
    const sweep::SweepFeed feed = NamedFeed("wet gas", {{"methane", 0.827654},
                                                        {"n-pentane", 0.0737552},
                                                        {"isobutane", 0.0270683},
                                                        {"isopentane", 0.017184},
                                                        {"n-butane", 0.00745286},
                                                        {"n-heptane", 0.0175773},
                                                        {"methylcyclohexane", 0.0157766},
                                                        {"m-xylene", 0.000118452},
                                                        {"methanol", 0.0738114}});
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), request);
        // The host's critical-point solver: 306.800 K, 23 397.0 kPa.
        EXPECT_NEAR(e.Scalar("2PhaseCriticalT"), 306.80, 0.05) << feed.Arguments();
        EXPECT_NEAR(e.Scalar("2PhaseCriticalP"), 23397.0, 5.0) << feed.Arguments();
    }
}

// Propylene with ppm of propane: near a pure compound's critical point
// temperature and pressure turn back as the impurity's ln K passes zero, so
// the crossing predicted by a polynomial in pressure (the unknown that
// changed most) landed 8 K beyond the critical temperature, where the two
// phases are one, and the dew trace stopped 0.007 K short with no bubble
// side. The crossing is predicted in the ln K itself when the others fail.
TEST_F(Sweep, AProductsTraceCrossesItsCriticalPointWherePressureTurnsBack) {
    const struct {
        sweep::SweepFeed feed;
        double criticalT;  // the host solver's, K
    } cases[] = {
        {NamedFeed("product", {{"propylene", 0.999986}, {"propane", 1.40255e-05}}), 364.85},
        {NamedFeed("product", {{"propylene", 0.998788}, {"propane", 0.00028596}}, true), 364.85},
    };
    for (const auto& c : cases) {
        const sweep::FeedReport r = sweep::CheckFeed(c.feed);
        EXPECT_TRUE(r.failures.empty()) << c.feed.Arguments() << "\n" << Failures(r);
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(c.feed.Input(), {});
        EXPECT_EQ(e.status, S_OK) << c.feed.Arguments();
        EXPECT_NEAR(e.Scalar("2PhaseCriticalT"), c.criticalT, 0.02) << c.feed.Arguments();
        EXPECT_GT(Count(e, 4), 10) << c.feed.Arguments() << ": the bubble side";
    }
}

// A close-boiling binary approaches its critical point with every ln K
// small and slower than pressure, which stayed the step variable: the trace
// ran into the trivial solution and stopped short. CO2 with ppm of propane
// has an azeotrope at 235 K, where every ln K vanishes between a liquid and
// a vapour: no critical point is recorded there. n-Heptane/cyclohexane
// (SRK) has its cricondenbar just past the critical point, so pressure
// changes as fast as the ln K near it, and its two phases' ln φ change with
// pressure less alike there than the rule for handing the step to a ln K
// asked: its steps in ln P ran over the critical point into the trivial
// solution, and the bubble side stepped around the critical point onto the
// dew curve.
TEST_F(Sweep, ANarrowEnvelopeReachesItsCriticalPointAndAnAzeotropeIsNoCriticalPoint) {
    const struct {
        sweep::SweepFeed feed;
        double criticalT;  // the host solver's, K
    } cases[] = {
        {NamedFeed("binary", {{"toluene", 0.77312}, {"n-octane", 0.22688}}, false, true), 581.7},
        {NamedFeed("product", {{"carbon dioxide", 0.999988}, {"propane", 1.16831e-05}}), 304.21},
        {NamedFeed("binary", {{"n-heptane", 0.563852}, {"cyclohexane", 0.436148}}, true), 543.07},
    };
    for (const auto& c : cases) {
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(c.feed.Input(), {});
        EXPECT_EQ(e.status, S_OK) << c.feed.Arguments();
        EXPECT_EQ(Count(e, 5), 1) << c.feed.Arguments();
        EXPECT_NEAR(e.Scalar("2PhaseCriticalT"), c.criticalT, 0.1) << c.feed.Arguments();
        EXPECT_GT(Count(e, 4), 10) << c.feed.Arguments() << ": the bubble side";
    }
}

// A three-phase bubble-boundary scan whose trace fails at its first point
// stores the scan's own saturation point, which took its temperature from
// the failed trace: 1.3e6 K beside the enthalpy of 91 K.
TEST_F(Sweep, AScanPointStoredAfterAFailedTraceKeepsItsOwnTemperature) {
    const sweep::SweepFeed feed = NamedFeed("condensate", {{"methane", 0.305032},
                                                           {"n-pentane", 0.0118115},
                                                           {"n-butane", 0.0244538},
                                                           {"n-dodecane", 0.106282},
                                                           {"benzene", 0.130577},
                                                           {"2-methylpentane", 0.0204316},
                                                           {"toluene", 0.0859897},
                                                           {"nitrogen", 0.0444865}});
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    for (const auto& p : e.points)
        EXPECT_LT(p.t, 1000.0) << "row of type " << p.type << " at " << p.p << " kPa";
    if (!kShort) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << Failures(r);
    }
}

// Methane 30 % / CO2 70 % (SRK): below 2.5 MPa its liquid splits off a
// liquid of about 71 % methane, between the feed and the bubble curve's
// incipient vapour of 96 %; every standard trial of the further-phase test
// converges onto the vapour or the feed. The test missed the liquid for 6 K
// along the bubble curve, and its warm start found it once and then not
// again, which left the bisection circling one point and the envelope with
// no three-phase point under S_OK. The two-phase rows and the three-phase
// point, where the liquid appears, now pass the checks.
TEST_F(Sweep, ALiquidBetweenTheFeedAndItsIncipientVapourIsFoundWhereItAppears) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.295696}, {"carbon dioxide", 0.704304}}, true);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    ASSERT_EQ(Count(e, 10), 1);
    // Where the bubble curve meets the liquid's incipient curve, found
    // apart from the envelope from the checks' stationary points: the liquid
    // touches the plane at 178.48-178.57 K between 2.42 and 2.52 MPa.
    EXPECT_NEAR(e.Scalar("3PhaseT"), 178.5, 0.1);
    EXPECT_NEAR(e.Scalar("3PhaseP"), 2497.0, 15.0);
    if (!kShort) {
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        EXPECT_TRUE(r.failures.empty()) << Failures(r);
    }
}

// Near a three-phase critical point two phases grow alike and the
// three-phase tracer's tangent amplified the rounding of its forward
// differences: the host's upper liquid-liquid boundary crept on in steps of
// 0.03 K while the provider's stopped. Both now take the same steps and end
// at the same row, and say so.
TEST_F(Sweep, BothPathsTraceAThreePhaseBoundaryAlikeNearItsCriticalPoint) {
    const sweep::SweepFeed feed = NamedFeed("natural gas", {{"methane", 0.827505},
                                                            {"ethane", 0.0208466},
                                                            {"isobutane", 0.0134037},
                                                            {"n-butane", 0.0108342},
                                                            {"n-dodecane", 0.0012036}});
    std::vector<cli::EnvelopePoint> upper[2];
    HRESULT status[2] = {E_FAIL, E_FAIL};
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), request);
        const int k = path == cli::ThermoPath::kApp ? 1 : 0;
        status[k] = e.status;
        for (const auto& p : e.points) {
            if (p.type == 15)
                upper[k].push_back(p);
        }
    }
    EXPECT_EQ(status[0], status[1]);
    ASSERT_EQ(upper[0].size(), upper[1].size());
    ASSERT_GT(upper[0].size(), 20u);
    EXPECT_NEAR(upper[0].back().t, upper[1].back().t, 1e-6);
    EXPECT_NEAR(upper[0].back().p, upper[1].back().p, 1e-6 * upper[0].back().p);
}

// Methane with 0.4 % n-heptane: the three-phase bubble boundary starts at
// a three-phase point near methane's critical point. The host's saturation
// flash listed the incipient liquid first there, the provider's the feed's
// liquid: the host path's trace took the vanishing liquid's fraction (5e-7)
// as its variable, failed at every step and stopped at its first row, while
// the provider's reached the three-phase critical point.
TEST_F(Sweep, BothPathsTraceAThreePhaseBubbleBoundaryFromTheSameLiquids) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"methane", 0.995923}, {"n-heptane", 0.004077}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), {});
    EXPECT_EQ(e.status, S_OK);
    EXPECT_GT(Count(e, 14), 5) << "the three-phase bubble boundary";
    EXPECT_EQ(Count(e, 11), 1) << "its three-phase critical point";
}

// Propane with 7 ppm of water: at 2 atm water comes out of the liquid
// propane at 244.76 K (the host's saturation flash and the checks' own
// stationary point agree), 3 K below the propane's bubble point. The
// liquid feed was traced on its vapour root, which exists there too, and
// the "dew" curve ran from 244.8 K to a spurious solution at 215 K; now the
// water's boundary rises from the saturation point on the liquid root and
// the propane's own curves are traced from below through their critical
// point, on both paths.
TEST_F(Sweep, WaterComingOutOfLiquidPropaneIsTracedOnTheLiquidRoot) {
    const sweep::SweepFeed feed = NamedFeed(
        "product", {{"propane", 0.999973}, {"carbon dioxide", 2.734e-05}, {"water", 7.43803e-06}});
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, S_OK);
    ASSERT_FALSE(e.points.empty());
    EXPECT_EQ(e.points.front().type, 1);
    EXPECT_NEAR(e.points.front().t, 244.758, 0.01);
    for (const auto& p : e.points) {
        if (p.type == 1 && p.p < 4000.0) {
            EXPECT_GT(p.t, 244.0) << "a dew row at " << p.p << " kPa";
        }
    }
    EXPECT_NEAR(e.Scalar("2PhaseCriticalT"), 369.83, 0.05);
    cli::EnvelopeRequest app;
    app.path = cli::ThermoPath::kApp;
    const cli::EnvelopeResult a = cli::RunEnvelopeCalculation(feed.Input(), app);
    EXPECT_EQ(a.status, S_OK);
    EXPECT_EQ(a.points.size(), e.points.size());
    EXPECT_NEAR(a.Scalar("2PhaseCriticalT"), 369.83, 0.05);
}

// A propane product with 14 ppm of water, CO2 and ethane: water's boundary
// rises from the liquid feed's saturation point, and below 250 kPa the
// bubble boundary has water's liquid as a third phase. The bubble-boundary
// scan traced those two rows and the envelope ended there, under S_OK,
// without the propane's own curves; now they are traced from the first
// pressure above that where the bubble point has two phases. The
// provider's path, whose saturation point left it no vapour phase, failed
// every first point of water's boundary and stored the scan's points
// instead; it now takes the feed as the liquid it is, and both paths agree.
// (The three-phase bubble boundary's last row lies where the checks find
// no three phases.)
TEST_F(Sweep, APropaneProductsOwnCurvesFollowWaterAndAThreePhaseBubbleBoundary) {
    const sweep::SweepFeed feed = NamedFeed("product", {{"propane", 0.999599},
                                                        {"carbon dioxide", 0.000208632},
                                                        {"ethane", 8.12229e-05},
                                                        {"water", 1.41792e-05}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_FALSE(r.Failed("boundary")) << Failures(r);
    EXPECT_FALSE(r.Failed("critical")) << Failures(r);
    EXPECT_FALSE(r.Failed("paths")) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    EXPECT_EQ(e.status, S_OK);
    EXPECT_EQ(Count(e, 5), 1) << "one critical row";
    EXPECT_GT(Count(e, 4), 10) << "the bubble side";
}

// At a three-phase point where a bubble curve from a critical point crosses
// another bubble curve, one incipient phase lies close to the feed, where
// the tangent plane is so flat that substitution crawls (its Hessian's
// smallest eigenvalue is about 2e-3): the checks' analysis must still find
// both incipient phases on the plane, and below it a little inside.
TEST_F(Sweep, TheChecksFindAnIncipientPhaseBesideTheFeedNearItsCriticalPoint) {
    const sweep::SweepFeed feed = NamedFeed("natural gas", {{"methane", 0.839436},
                                                            {"n-pentane", 0.0304878},
                                                            {"isopentane", 0.0188371},
                                                            {"propane", 0.01104},
                                                            {"n-nonane", 0.000563277}});
    const cli::FluidInput input = feed.Input();
    const sweep::CheckEos eos(cli::BuildFluid(input));
    double sum = 0.0;
    for (double v : input.feed)
        sum += v;
    std::vector<double> z;
    for (double v : input.feed)
        z.push_back(v / sum);
    // The three-phase point the envelope stores on both bubble curves.
    const double t = 197.42309, p = 5306.202;
    std::vector<std::vector<double>> touching;
    for (const sweep::StationaryPoint& s : sweep::StationaryPoints(eos, t, p, z.data())) {
        const double ts = sweep::TouchingTemperature(eos, t, p, z.data(), s.w);
        if (std::fabs(ts - t) < 1e-3)
            touching.push_back(s.w);
    }
    ASSERT_EQ(touching.size(), 2u);
    // The methane fractions of the two: one a few hundredths above the
    // feed's 0.932, one nearly pure methane.
    const double lower = std::min(touching[0][0], touching[1][0]);
    const double upper = std::max(touching[0][0], touching[1][0]);
    EXPECT_NEAR(lower, 0.955, 2e-3);
    EXPECT_NEAR(upper, 0.994, 2e-3);
}

// A cricondenbar a hundredth of a kelvin past the critical point, where the
// slope along the curve is noisy: both paths place it at the same pressure.
TEST_F(Sweep, ACricondenbarBesideTheCriticalPointIsTheSameOnBothPaths) {
    const sweep::SweepFeed feed =
        NamedFeed("binary", {{"propane", 0.0881666}, {"ethane", 0.911833}});
    double bar[2] = {0.0, 0.0};
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), request);
        bar[path == cli::ThermoPath::kApp ? 1 : 0] = e.Scalar("Cricondenbar");
        EXPECT_GE(e.Scalar("Cricondenbar"), e.Scalar("2PhaseCriticalP"));
    }
    EXPECT_NEAR(bar[0], bar[1], 1e-5 * bar[0]);
}

// A CO2-rich gas with a little water (every k_ij 0): its dew curve turns at
// the cricondentherm near CO2's critical temperature within one long step,
// where the step's cubic put the extremum 0.4 K and 600 kPa off the curve.
// The extremum is solved on the curve, between the step's two points.
TEST_F(Sweep, ACricondenthermWithinALongStepLiesOnTheCurve) {
    const sweep::SweepFeed feed = NamedFeed("CO2-rich",
                                            {{"carbon dioxide", 0.913653},
                                             {"methane", 0.110897},
                                             {"n-pentane", 0.0077117},
                                             {"water", 0.00175607}},
                                            false, true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), cli::EnvelopeRequest());
    const auto it =
        std::find_if(e.points.begin(), e.points.end(), [](const auto& p) { return p.type == 8; });
    ASSERT_NE(it, e.points.end());
    ASSERT_TRUE(it != e.points.begin() && it + 1 != e.points.end());
    // Warmer than the dew rows on either side, and between them in pressure.
    EXPECT_GT(it->t, std::max((it - 1)->t, (it + 1)->t));
    EXPECT_GT(it->p, std::min((it - 1)->p, (it + 1)->p));
    EXPECT_LT(it->p, std::max((it - 1)->p, (it + 1)->p));
}

// The boundaries of the named fluids are stored densely enough to draw:
// every chord between consecutive rows of a curve within 0.5 % (or 0.5 K) of
// the curve.
TEST_F(Sweep, ChordsOfTheTracedCurvesStayCloseToTheCurves) {
    for (const sweep::SweepFeed& feed : sweep::ChordFluids()) {
        if (kShort && feed.kind != "dry natural gas")
            continue;
        int checked = 0;
        const std::vector<sweep::CheckFailure> failures = sweep::CheckChords(feed, &checked);
        std::string text;
        for (const auto& f : failures)
            text += "  " + f.detail + "\n";
        EXPECT_TRUE(failures.empty()) << feed.kind << "\n" << text;
        EXPECT_GT(checked, 50) << feed.kind;
    }
}

// Just past a critical point the bisection for where a further liquid
// appears on a methane-rich bubble curve solved a point on a metastable
// stretch, beyond both ends of its bracket, and stored the three-phase
// point there, 28 kPa inside the two-phase region. A bisection point off
// its bracket leaves the three-phase point at the bracket's end that
// showed the phase, which lies on the curve: two phases just below its
// pressure, one just above.
TEST_F(Sweep, AThreePhasePointFoundByBisectionLiesOnTheCurve) {
    const sweep::SweepFeed feed = NamedFeed("natural gas",
                                            {{"methane", 0.764115},
                                             {"isobutane", 0.0414151},
                                             {"propane", 0.0359065},
                                             {"n-hexane", 0.00448953},
                                             {"n-decane", 0.00379019},
                                             {"nitrogen", 0.00903933}},
                                            true, true);
    const cli::FluidInput input = feed.Input();
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(input, {});
    ASSERT_EQ(e.status, S_OK) << feed.Arguments();
    const double t = e.Scalar("3PhaseT"), p = e.Scalar("3PhaseP");
    ASSERT_GT(t, 0.0) << feed.Arguments() << ": a three-phase point";
    thermo::Calculator calc(cli::BuildFluid(input));
    double sum = 0.0;
    for (double v : input.feed)
        sum += v;
    std::vector<double> z;
    for (double v : input.feed)
        z.push_back(v / sum);
    EXPECT_EQ(calc.FlashPT(t, p * 0.997, z.data()).phases.size(), 2u) << feed.Arguments();
    EXPECT_EQ(calc.FlashPT(t, p * 1.003, z.data()).phases.size(), 1u) << feed.Arguments();
}

// A condensate's bubble curve between its two critical points: as it neared
// the second (182.7 K, 3980 kPa) every ln K was small, and the tangent handed
// the step from a ln K back to pressure by a hair; in pressure the corrector
// needed twenty iterations a point, the steps collapsed and the trace
// stopped 0.7 K short, with 700 000 host calls. A step already made in a
// ln K heading for zero stays in it a little longer, and the trace crosses.
TEST_F(Sweep, ABubbleCurveKeepsItsStepInALnKUpToItsSecondCriticalPoint) {
    const sweep::SweepFeed feed = NamedFeed("wet gas",
                                            {{"methane", 0.632133},
                                             {"n-pentane", 0.0579964},
                                             {"ethane", 0.0302101},
                                             {"isopentane", 0.026071},
                                             {"n-octane", 0.00216788},
                                             {"n-heptane", 0.017853},
                                             {"toluene", 0.00826455},
                                             {"methanol", 0.00138456}},
                                            true);
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << feed.Arguments() << "\n" << Failures(r);
    const cli::EnvelopeResult e = cli::RunEnvelopeCalculation(feed.Input(), {});
    EXPECT_EQ(e.status, S_OK) << feed.Arguments() << ": a complete envelope";
    int critical = 0;
    for (const cli::EnvelopePoint& point : e.points) {
        if (point.type != 5)
            continue;
        ++critical;
        // The host's critical-point solver has two roots on the envelope:
        // 276.721 K, 19 607.4 kPa and 182.716 K, 3979.85 kPa.
        const bool second = point.t < 230.0;
        EXPECT_NEAR(point.t, second ? 182.716 : 276.721, 0.05) << feed.Arguments();
        EXPECT_NEAR(point.p, second ? 3979.85 : 19607.4, second ? 5.0 : 20.0) << feed.Arguments();
    }
    EXPECT_EQ(critical, 2) << feed.Arguments();
}

// A dew trace creeping near a critical point it does not reach (a
// methane-rich gas with C5-C9): on the provider's path the corrector
// converged from |ln K| = 0.07 to 1e-4 within one small step, onto the
// trivial solution, and the further phase the test found there was stored
// as a three-phase point 3 K and 870 kPa from the host path's. A point that
// falls onto the trivial solution in an ordinary step is a failed point.
TEST_F(Sweep, APointThatFallsOntoTheTrivialSolutionIsNoThreePhasePoint) {
    const sweep::SweepFeed feed = NamedFeed("natural gas", {{"methane", 0.736961},
                                                            {"n-pentane", 0.070698},
                                                            {"2-methylpentane", 0.00354388},
                                                            {"n-nonane", 0.00442729},
                                                            {"cyclohexane", 0.000185375}});
    const sweep::FeedReport r = sweep::CheckFeed(feed);
    EXPECT_TRUE(r.failures.empty()) << feed.Arguments() << "\n" << Failures(r);
    double threePhaseT[2] = {0.0, 0.0};
    int k = 0;
    for (cli::ThermoPath path : {cli::ThermoPath::kHost, cli::ThermoPath::kApp}) {
        cli::EnvelopeRequest request;
        request.path = path;
        threePhaseT[k++] = cli::RunEnvelopeCalculation(feed.Input(), request).Scalar("3PhaseT");
    }
    EXPECT_GT(threePhaseT[0], 0.0) << feed.Arguments();
    EXPECT_NEAR(threePhaseT[1], threePhaseT[0], 0.05) << feed.Arguments();
}

}  // namespace
