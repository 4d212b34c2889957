// Curve segments and markers of an envelope figure, and the round-number
// scales of its axes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "plotview/envelope_figure.h"
#include "plotview/plot_scale.h"

namespace {

using plotview::CurveKind;
using plotview::EnvelopePoint;
using plotview::MarkerKind;

constexpr double U = plotview::kUndefinedValue;

// A row at temperature t (K) and pressure p (kPa) with H = 10 t, S = t / 10,
// V = 1000 / p.
EnvelopePoint Row(int type, double t, double p) {
    return {type, p, t, 10 * t, t / 10, 1000 / p};
}

// A store as the stages write it: a dew trace over its cricondenbar to the
// critical point, the bubble side after it with its cricondentherm... then
// a three-phase point, the three-phase boundary ending there, and a
// liquid-liquid boundary.
std::vector<EnvelopePoint> Store() {
    return {
        Row(1, 300, 500),  Row(1, 320, 2000), Row(6, 325, 2300), Row(1, 330, 2200),
        Row(1, 340, 1900),  // the trace reaches the critical point
        Row(5, 340, 1900), Row(4, 340, 1900), Row(4, 335, 1500), Row(8, 336, 1400),
        Row(4, 330, 900),  Row(10, 280, 400), Row(14, 260, 200), Row(14, 270, 300),
        Row(14, 280, 400),  // the boundary ends at the three-phase point
        Row(16, 250, 150), Row(16, 265, 350),
    };
}

TEST(EnvelopeFigureTest, CurvesSplitWhereTheTypeChangesAndRunThroughTheirExtrema) {
    const plotview::EnvelopeFigure f = plotview::BuildFigure(Store(), etPT);
    ASSERT_EQ(f.segments.size(), 4u);
    EXPECT_EQ(f.segments[0].kind, CurveKind::kDew);
    EXPECT_EQ(f.segments[0].points.size(), 5u) << "the cricondenbar row is part of the curve";
    EXPECT_EQ(f.segments[0].points[2].x, 325);
    EXPECT_EQ(f.segments[1].kind, CurveKind::kBubble);
    EXPECT_EQ(f.segments[1].points.size(), 4u);
    EXPECT_EQ(f.segments[1].firstRow, 6);
    EXPECT_EQ(f.segments[2].kind, CurveKind::kThreePhase);
    EXPECT_EQ(f.segments[2].points.size(), 3u) << "the three-phase point is not joined in";
    EXPECT_EQ(f.segments[3].kind, CurveKind::kLiquidLiquid);
    // PT: temperature across, pressure up.
    EXPECT_EQ(f.segments[3].points[1].x, 265);
    EXPECT_EQ(f.segments[3].points[1].y, 350);

    ASSERT_EQ(f.markers.size(), 4u);
    EXPECT_EQ(f.markers[0].kind, MarkerKind::kCricondenbar);
    EXPECT_EQ(f.markers[1].kind, MarkerKind::kCriticalPoint);
    EXPECT_EQ(f.markers[2].kind, MarkerKind::kCricondentherm);
    EXPECT_EQ(f.markers[3].kind, MarkerKind::kThreePhasePoint);
}

TEST(EnvelopeFigureTest, StagesOfOneKindAreNeverJoined) {
    // The dew side restarted past a three-phase point (type 2) follows the
    // first dew curve directly: still a curve of its own.
    const std::vector<EnvelopePoint> rows = {Row(1, 300, 500),  Row(1, 310, 900),
                                             Row(2, 290, 300),  Row(2, 295, 700),
                                             Row(16, 250, 100), Row(15, 260, 200)};
    const plotview::EnvelopeFigure f = plotview::BuildFigure(rows, etPT);
    ASSERT_EQ(f.segments.size(), 4u);
    EXPECT_EQ(f.segments[0].kind, CurveKind::kDew);
    EXPECT_EQ(f.segments[1].kind, CurveKind::kDew);
    EXPECT_EQ(f.segments[1].points.front().x, 290);
    EXPECT_EQ(f.segments[2].kind, CurveKind::kLiquidLiquid);
    EXPECT_EQ(f.segments[3].kind, CurveKind::kLiquidLiquid);
}

TEST(EnvelopeFigureTest, UndefinedValuesAreLeftOutOfThePairsThatUseThem) {
    std::vector<EnvelopePoint> rows = {Row(14, 260, 200), Row(14, 265, 250), Row(11, 268, 280),
                                       Row(14, 270, 300)};
    rows[1].h = U;                          // a row whose enthalpy nobody computed
    rows[2].h = rows[2].s = rows[2].v = U;  // a three-phase critical row
    const plotview::EnvelopeFigure ph = plotview::BuildFigure(rows, etPH);
    ASSERT_EQ(ph.segments.size(), 1u) << "a skipped row does not split the curve";
    EXPECT_EQ(ph.segments[0].points.size(), 2u);
    EXPECT_TRUE(ph.markers.empty());

    const plotview::EnvelopeFigure pt = plotview::BuildFigure(rows, etPT);
    ASSERT_EQ(pt.segments.size(), 1u);
    EXPECT_EQ(pt.segments[0].points.size(), 4u);
    ASSERT_EQ(pt.markers.size(), 1u);
    EXPECT_EQ(pt.markers[0].kind, MarkerKind::kThreePhaseCritical);

    // A curve none of whose rows is defined in the pair draws nothing.
    std::vector<EnvelopePoint> noVolume = {Row(1, 300, 500), Row(1, 310, 600)};
    noVolume[0].v = noVolume[1].v = U;
    EXPECT_TRUE(plotview::BuildFigure(noVolume, etTV).segments.empty());
}

TEST(EnvelopeFigureTest, APointStoredAgainAtTheSamePlaceIsMarkedOnce) {
    const std::vector<EnvelopePoint> rows = {Row(10, 280, 400), Row(14, 270, 300),
                                             Row(10, 280, 400), Row(10, 290, 600)};
    const plotview::EnvelopeFigure f = plotview::BuildFigure(rows, etTS);
    ASSERT_EQ(f.markers.size(), 2u);
    EXPECT_EQ(f.markers[1].row, 3);
    // TS: entropy across, temperature up.
    EXPECT_EQ(f.markers[1].at.x, 29);
    EXPECT_EQ(f.markers[1].at.y, 290);

    // A trace that stalls may report a local temperature maximum: only the
    // envelope's highest temperature is the cricondentherm, wherever it was
    // stored.
    const std::vector<EnvelopePoint> extrema = {Row(1, 250, 900),   Row(8, 229, 8400),
                                                Row(1, 300, 5000),  Row(8, 299.8, 5260),
                                                Row(6, 265, 10890), Row(6, 264, 10880)};
    const plotview::EnvelopeFigure g = plotview::BuildFigure(extrema, etPT);
    ASSERT_EQ(g.markers.size(), 2u);
    EXPECT_EQ(g.markers[0].kind, MarkerKind::kCricondentherm);
    EXPECT_EQ(g.markers[0].row, 3);
    EXPECT_EQ(g.markers[1].kind, MarkerKind::kCricondenbar);
    EXPECT_EQ(g.markers[1].row, 4);
}

TEST(EnvelopeFigureTest, EveryPairPutsTheFirstLetterUpAndTheSecondAcross) {
    const EnvelopePoint p = Row(1, 300, 500);
    const std::pair<EnvelopeType, std::pair<double, double>> expected[] = {
        {etPT, {300, 500}}, {etPV, {2, 500}},    {etPH, {3000, 500}}, {etPS, {30, 500}},
        {etTV, {2, 300}},   {etTH, {3000, 300}}, {etTS, {30, 300}}};
    for (const auto& [type, xy] : expected) {
        const plotview::AxesPair axes = plotview::AxesOf(type);
        EXPECT_EQ(plotview::ValueOf(p, axes.x), xy.first) << type;
        EXPECT_EQ(plotview::ValueOf(p, axes.y), xy.second) << type;
    }
}

// --- Scales ---------------------------------------------------------------

bool IsRoundStep(double step) {
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (std::fabs(mantissa - m) < 1e-6)
            return true;
    }
    return false;
}

TEST(PlotScaleTest, LinearScalesCoverTheDataWithRoundTicks) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> magnitude(-3.0, 5.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 500; ++i) {
        const double scale = std::pow(10.0, magnitude(random));
        double a = unit(random) * scale;
        double b = a + std::fabs(unit(random)) * scale + 1e-6 * scale;
        const plotview::Scale s = plotview::LinearScale(a, b, 7);
        ASSERT_LE(s.lo, a);
        ASSERT_GE(s.hi, b);
        ASSERT_GE(s.ticks.size(), 3u) << a << " " << b;
        ASSERT_LE(s.ticks.size(), 16u) << a << " " << b;
        const double step = s.ticks[1].value - s.ticks[0].value;
        EXPECT_TRUE(IsRoundStep(step)) << step;
        EXPECT_DOUBLE_EQ(s.ticks.front().value, s.lo);
        EXPECT_NEAR(s.ticks.back().value, s.hi, 1e-9 * std::fabs(s.hi) + 1e-12);
        // Labels tell the ticks apart and carry no negative zero.
        for (size_t k = 1; k < s.ticks.size(); ++k) {
            ASSERT_NE(s.ticks[k].label, s.ticks[k - 1].label) << step;
            ASSERT_NE(s.ticks[k].label.rfind("-0", 0) == 0 &&
                          s.ticks[k].label.find_first_not_of("-0.") == std::string::npos,
                      true);
        }
    }
}

TEST(PlotScaleTest, LabelsUseTheDecimalsTheStepNeeds) {
    const plotview::Scale pressure = plotview::LinearScale(230.0, 9410.0, 7);
    EXPECT_EQ(pressure.ticks.front().label, "0");
    EXPECT_EQ(pressure.ticks[1].label, "2000");
    const plotview::Scale entropy = plotview::LinearScale(-0.12, 0.87, 5);
    EXPECT_EQ(entropy.ticks[1].label, "0.0") << "no '-0.0' at zero";
    EXPECT_EQ(plotview::LinearScale(0.0, 1.0, 4).ticks[1].label, "0.25");
    // A single value still gets an axis around it.
    const plotview::Scale flat = plotview::LinearScale(373.15, 373.15, 5);
    EXPECT_LT(flat.lo, 373.15);
    EXPECT_GT(flat.hi, 373.15);
}

TEST(PlotScaleTest, LogarithmicScalesLabelDecadesAndEndOnRoundValues) {
    const plotview::Scale wide = plotview::LogScale(0.043, 27.0);
    EXPECT_DOUBLE_EQ(wide.lo, 0.02);
    EXPECT_DOUBLE_EQ(wide.hi, 50.0);
    std::vector<std::string> labels;
    for (const plotview::Tick& t : wide.ticks) {
        if (!t.label.empty())
            labels.push_back(t.label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"0.1", "1", "10"}));
    EXPECT_NEAR(wide.Fraction(std::sqrt(wide.lo * wide.hi)), 0.5, 1e-12);

    const plotview::Scale narrow = plotview::LogScale(0.15, 3.0);
    labels.clear();
    for (const plotview::Tick& t : narrow.ticks) {
        if (!t.label.empty())
            labels.push_back(t.label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"0.1", "0.2", "0.5", "1", "2", "5"}));
}

}  // namespace
