// The plot view's pictures: an SVG checked for what a reader relies on (one
// path per stored curve segment, a marker for each special point present,
// axis titles with units), PNG and PDF output by extension, the view's
// answers out of order, and a whole calculation drawn through the options
// dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "driver/envelope_calculation.h"
#include "platform/com.h"
#include "plotview/envelope_plot.h"
#include "plotview/envelope_results.h"
#include "plotview/envelope_view.h"
#include "tests/support/envelope_harness.h"
#include "ui/options_dialog_driver.h"
#include "ui/phase_envelope_dlg.h"

namespace {

using plotview::EnvelopePoint;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int Count(const std::string& text, const std::string& pattern) {
    const std::regex re(pattern);
    return static_cast<int>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "/plotview_" + name;
}

EnvelopePoint Row(int type, double t, double p) {
    return {type, p, t, 10 * t, t / 10, 1000 / p};
}

// Two dew stages, the bubble side, a three-phase boundary and a
// liquid-liquid boundary, with one special point of every marked kind.
std::vector<EnvelopePoint> Store() {
    return {Row(1, 300, 500),  Row(1, 320, 2000), Row(6, 325, 2300), Row(1, 330, 2200),
            Row(1, 340, 1900), Row(5, 340, 1900), Row(4, 340, 1900), Row(8, 336, 1400),
            Row(4, 330, 900),  Row(10, 280, 400), Row(2, 280, 400),  Row(2, 290, 800),
            Row(14, 260, 200), Row(11, 262, 220), Row(14, 270, 300), Row(16, 250, 150),
            Row(16, 265, 350)};
}

TEST(EnvelopeSvgTest, OnePathPerCurveSegmentAMarkerPerSpecialPointAndAxisTitles) {
    const plotview::EnvelopeFigure figure = plotview::BuildFigure(Store(), etPT);
    ASSERT_EQ(figure.segments.size(), 5u);
    const std::string path = TempPath("store.svg");
    plotview::PlotOptions options;
    options.title = "Test fluid\nmethane 0.9, ethane 0.1";
    std::string error;
    ASSERT_EQ(plotview::DrawEnvelope(figure, options, path, &error), S_OK) << error;
    const std::string svg = Slurp(path);

    EXPECT_EQ(Count(svg, R"(<path class="curve dew")"), 2);
    EXPECT_EQ(Count(svg, R"(<path class="curve bubble")"), 1);
    EXPECT_EQ(Count(svg, R"(<path class="curve three-phase")"), 1);
    EXPECT_EQ(Count(svg, R"(<path class="curve liquid-liquid")"), 1);
    for (const char* marker : {"critical-point", "cricondenbar", "cricondentherm",
                               "three-phase-point", "three-phase-critical-point"}) {
        EXPECT_EQ(Count(svg, std::string("class=\"marker ") + marker + "\""), 1) << marker;
        EXPECT_EQ(Count(svg, std::string("class=\"marker-label ") + marker + "\""), 1) << marker;
    }
    EXPECT_EQ(Count(svg, R"(class="axis-title x"[^>]*>Temperature \(K\)</text>)"), 1);
    EXPECT_EQ(Count(svg, R"(class="axis-title y"[^>]*>Pressure \(kPa\)</text>)"), 1);
    EXPECT_EQ(Count(svg, R"(class="title"[^>]*>Test fluid</text>)"), 1);
    EXPECT_EQ(Count(svg, R"(class="legend-text"[^>]*>Liquid–liquid boundary</text>)"), 1);
    // The second dew stage starts at the three-phase point, not at the
    // critical point where the first one ended: each path starts with its
    // own move.
    EXPECT_EQ(Count(svg, R"(<path class="curve [^"]*" d="M [0-9.]+ [0-9.]+( L [0-9.]+ [0-9.]+)*")"),
              5);
}

TEST(EnvelopeSvgTest, UndefinedEnthalpiesDoNotReachThePicture) {
    std::vector<EnvelopePoint> rows = Store();
    for (EnvelopePoint& r : rows) {
        if (r.type == 14 || r.type == 11)
            r.h = plotview::kUndefinedValue;
    }
    const std::string path = TempPath("undefined.svg");
    ASSERT_EQ(plotview::DrawEnvelope(plotview::BuildFigure(rows, etPH), {}, path, nullptr), S_OK);
    const std::string svg = Slurp(path);
    EXPECT_EQ(Count(svg, R"(<path class="curve three-phase")"), 0);
    EXPECT_EQ(Count(svg, R"(class="marker three-phase-critical-point")"), 0);
    EXPECT_EQ(Count(svg, R"(class="axis-title x"[^>]*>Enthalpy \(kJ/kmol\)</text>)"), 1);
    // A -32767 would stretch the axis down to it.
    EXPECT_EQ(Count(svg, R"(tick-label x[^>]*>-[0-9]{5})"), 0);
}

TEST(EnvelopeSvgTest, PictureFormatFollowsTheExtension) {
    const plotview::EnvelopeFigure figure = plotview::BuildFigure(Store(), etPV);
    std::string error;
    ASSERT_EQ(plotview::DrawEnvelope(figure, {}, TempPath("store.PNG"), &error), S_OK) << error;
    EXPECT_EQ(Slurp(TempPath("store.PNG")).substr(0, 8), "\x89PNG\r\n\x1a\n");
    ASSERT_EQ(plotview::DrawEnvelope(figure, {}, TempPath("store.pdf"), &error), S_OK) << error;
    EXPECT_EQ(Slurp(TempPath("store.pdf")).substr(0, 5), "%PDF-");

    EXPECT_EQ(plotview::DrawEnvelope(figure, {}, TempPath("store.txt"), &error), E_INVALIDARG);
    EXPECT_NE(error.find(".txt"), std::string::npos);
    EXPECT_FALSE(std::ifstream(TempPath("store.txt")).good());
    EXPECT_EQ(plotview::DrawEnvelope(figure, {}, "/nonexistent/dir/x.svg", &error), E_FAIL);
}

TEST(EnvelopeSvgTest, AnEmptyEnvelopeStillGivesAFramedPicture) {
    const std::string path = TempPath("empty.svg");
    ASSERT_EQ(plotview::DrawEnvelope(plotview::BuildFigure({}, etPT), {}, path, nullptr), S_OK);
    const std::string svg = Slurp(path);
    EXPECT_EQ(Count(svg, "class=\"curve "), 0);
    EXPECT_EQ(Count(svg, ">No envelope points<"), 1);
}

TEST(EnvelopeViewTest, ShowNeedsAnUpdateAndUpdateNeedsARegistry) {
    plotview::ViewSettings settings;
    settings.outputPath = TempPath("never.svg");
    platform::ComPtr<IUtilityView> view;
    ASSERT_EQ(plotview::CreateEnvelopeView(settings, view.put()), S_OK);
    EXPECT_EQ(view->Show(0), E_UNEXPECTED);
    EXPECT_EQ(view->Update(nullptr, nullptr, etPT), E_POINTER);
    EXPECT_EQ(view->Show(0), E_UNEXPECTED);
    EXPECT_FALSE(std::ifstream(settings.outputPath).good());
}

// --- Whole calculations ------------------------------------------------------

class EnvelopePictureTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

// Runs of curve rows in stored order: a new run at every change of type and
// after every critical or three-phase point; extrema and three-phase
// critical points lie on their curve.
int CurveRuns(const std::vector<EnvelopePoint>& rows) {
    int runs = 0;
    int open = 0;
    for (const EnvelopePoint& r : rows) {
        const bool onCurve = (r.type >= 6 && r.type <= 9) || r.type == 11 || r.type == 12;
        if (r.type == 5 || r.type == 10) {
            open = 0;
        } else if (!onCurve && r.type != open) {
            ++runs;
            open = r.type;
        }
    }
    return runs;
}

TEST_F(EnvelopePictureTest, TheDialogDrawsTheWetFeedThroughTheView) {
    EnvelopeHarness harness(
        {{{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}}, {}});
    plotview::ViewSettings settings;
    settings.outputPath = TempPath("wet_{axes}.svg");
    settings.title = "Wet feed";
    // The reference host's property manager offers no name registry: the
    // view falls back to the one the hosting program gives it.
    settings.registry = harness.host().PropertyRegistry();
    plotview::EnvelopeViewRegistration views(settings);
    ASSERT_EQ(views.status(), S_OK);
    OptionsDialogDriver plot(etPT);
    EnvelopeCalculation calculation(harness.object(), harness.utility(), &ShowOptionsDialog);
    ASSERT_EQ(calculation.Run(nullptr, harness.phases(), harness.container(), 1, 0, 0), S_OK);
    ASSERT_EQ(views.WrittenFiles(), std::vector<std::string>{TempPath("wet_PT.svg")})
        << (views.Errors().empty() ? "" : views.Errors()[0]);
    const std::string svg = Slurp(TempPath("wet_PT.svg"));

    std::vector<EnvelopePoint> rows;
    ASSERT_EQ(plotview::ReadEnvelopeResults(harness.container(), settings.registry.Get(), &rows),
              S_OK);
    auto count = [&](int type) {
        return std::count_if(rows.begin(), rows.end(),
                             [&](const auto& r) { return r.type == type; });
    };
    EXPECT_GT(count(10), 0) << "the wet feed has a three-phase region";
    EXPECT_EQ(Count(svg, "<path class=\"curve "), CurveRuns(rows));
    EXPECT_EQ(Count(svg, "class=\"marker critical-point\""), count(5) > 0 ? 1 : 0);
    EXPECT_EQ(Count(svg, "class=\"marker three-phase-point\"") > 0, count(10) > 0);
    EXPECT_EQ(Count(svg, R"(class="axis-title y"[^>]*>Pressure \(kPa\)</text>)"), 1);
}

TEST_F(EnvelopePictureTest, RegistrationIsUndoneWithTheObject) {
    {
        plotview::EnvelopeViewRegistration views({});
        ASSERT_EQ(views.status(), S_OK);
        CLSID clsid;
        ASSERT_EQ(CLSIDFromProgID(PYRANA_ENVELOPE_VIEW_PROGID, &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_PyranaEnvelopeView);
        platform::ComPtr<IUtilityView> view;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUtilityView,
                                   view.put_void()),
                  S_OK);
        // Without an output path Show has nothing to write.
        EXPECT_EQ(view->Show(0), E_UNEXPECTED);
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(PYRANA_ENVELOPE_VIEW_PROGID, &clsid), CO_E_CLASSSTRING);
    platform::ComPtr<IUtilityView> view;
    EXPECT_EQ(CoCreateInstance(CLSID_PyranaEnvelopeView, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUtilityView, view.put_void()),
              REGDB_E_CLASSNOTREG);
}

}  // namespace
