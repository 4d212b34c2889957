// The reference files and the comparison that the Windows test host applies
// to its runs under Wine: what passes row by row, what passes only by its
// special points and row counts, and what fails.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>

#include "wintest/envelope_cases.h"

namespace {

using envelope_cases::Comparison;
using envelope_cases::EnvelopeRun;
using envelope_cases::Row;
using envelope_cases::Tolerances;

// What the Windows host allows, and the Linux check.
const Tolerances kWindows{1e-6, 5e-4};
const Tolerances kStrict{1e-6, 1e-6};

// A small two-phase envelope laid out as the utility stores one: dew rows
// with the cricondentherm among them, the critical point as the last dew
// row, the critical row and the first bubble row, bubble rows with the
// cricondenbar between them.
EnvelopeRun SampleRun() {
    EnvelopeRun run;
    run.status = S_OK;
    run.rows = {
        {1, 500.0, 250.0, -1200.5, -20.25, 4.1},  {1, 1500.0, 262.0, -1500.0, -24.0, 1.3},
        {8, 2500.0, 264.5, -1700.0, -26.0, 0.72}, {1, 4000.0, 260.0, -2100.0, -29.5, 0.31},
        {1, 6000.0, 230.0, -4000.0, -35.0, 0.09}, {5, 6000.0, 230.0, -4000.0, -35.0, 0.09},
        {4, 6000.0, 230.0, -4000.0, -35.0, 0.09}, {4, 6200.0, 215.0, -5500.0, -41.0, 0.07},
        {6, 6250.0, 205.0, 0.0004, -43.0, 0.066}, {4, 5000.0, 180.0, -7000.0, -50.0, 0.055}};
    for (const std::string& name : envelope_cases::ScalarNames())
        run.scalars[name] = kUndefined;
    run.scalars["2PhaseCriticalP"] = 6000.0;
    run.scalars["2PhaseCriticalT"] = 230.0;
    run.scalars["Cricondentherm"] = 264.5;
    run.scalars["Cricondenbar"] = 6250.0;
    return run;
}

// Moves the critical point (its three rows and its scalars) by `relative`.
void MoveCriticalPoint(EnvelopeRun* run, double relative) {
    for (size_t i = 4; i <= 6; ++i) {
        run->rows[i].p *= 1.0 + relative;
        run->rows[i].v *= 1.0 - relative;
    }
    run->scalars["2PhaseCriticalP"] *= 1.0 + relative;
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "envelope_reference_" + name;
}

TEST(EnvelopeComparison, IdenticalRunsMatchRowByRow) {
    const Comparison c = envelope_cases::CompareRuns(SampleRun(), SampleRun(), kStrict);
    EXPECT_EQ(c.kind, Comparison::Kind::kRowByRow) << c.detail;
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), SampleRun(), {0.0, 0.0}).kind,
              Comparison::Kind::kRowByRow);
}

TEST(EnvelopeComparison, ValuesWithinTheRelativeToleranceMatchRowByRow) {
    EnvelopeRun got = SampleRun();
    got.rows[3].p *= 1.0 + 9e-7;
    got.rows[9].h *= 1.0 - 9e-7;
    got.scalars["Cricondenbar"] *= 1.0 + 9e-7;
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, kStrict).kind,
              Comparison::Kind::kRowByRow);
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, {0.0, 0.0}).kind,
              Comparison::Kind::kDifferent);
}

TEST(EnvelopeComparison, ValuesNearZeroAreComparedAbsolutely) {
    // Row 8's enthalpy is 4e-4: a change of 5e-10 is far beyond 1e-6 of the
    // value, yet within 1e-6 of the 1e-3 floor.
    EnvelopeRun got = SampleRun();
    got.rows[8].h += 5e-10;
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, kStrict).kind,
              Comparison::Kind::kRowByRow);
    got.rows[8].h += 5e-9;
    EXPECT_NE(envelope_cases::CompareRuns(SampleRun(), got, kStrict).kind,
              Comparison::Kind::kRowByRow);
    EXPECT_FALSE(envelope_cases::Close(1.0, std::nan(""), 1e-6));
    EXPECT_TRUE(envelope_cases::Close(std::nan(""), std::nan(""), 1e-6));
}

TEST(EnvelopeComparison, InterpolatedRowsAreSpecialPointsAndTheirCopies) {
    const std::vector<bool> flags = envelope_cases::InterpolatedRows(SampleRun());
    const std::vector<bool> want = {false, false, true,  false, true,
                                    true,  true,  false, true,  false};
    EXPECT_EQ(flags, want);
}

TEST(EnvelopeComparison, InterpolatedPointsMayDifferMoreThanConvergedRows) {
    EnvelopeRun got = SampleRun();
    MoveCriticalPoint(&got, 2e-5);
    const Comparison windows = envelope_cases::CompareRuns(SampleRun(), got, kWindows);
    EXPECT_EQ(windows.kind, Comparison::Kind::kInterpolatedPoints);
    EXPECT_NE(windows.detail.find("row 4 (dew): P 6000.1199"), std::string::npos) << windows.detail;
    // The Linux check allows no such slack.
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, kStrict).kind,
              Comparison::Kind::kDifferent);
    // Beyond the slack, the interpolated points fail too.
    MoveCriticalPoint(&got, 1e-3);
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, kWindows).kind,
              Comparison::Kind::kDifferent);
}

TEST(EnvelopeComparison, MovedCurveRowsFallBackToSpecialPointsAndCounts) {
    // What a step decision going the other way looks like: the same curve
    // kinds with the same counts, intermediate points elsewhere.
    EnvelopeRun got = SampleRun();
    got.rows[1].p = 1450.0;
    got.rows[1].t = 261.5;
    got.rows[3].v = 0.33;
    const Comparison c = envelope_cases::CompareRuns(SampleRun(), got, kWindows);
    EXPECT_EQ(c.kind, Comparison::Kind::kSpecialPoints);
    EXPECT_NE(c.detail.find("row 1 (dew): P 1450"), std::string::npos) << c.detail;
    // A converged row is no interpolated point: 2e-5 is too much for it.
    got = SampleRun();
    got.rows[7].t *= 1.0 + 2e-5;
    EXPECT_EQ(envelope_cases::CompareRuns(SampleRun(), got, kWindows).kind,
              Comparison::Kind::kSpecialPoints);
}

TEST(EnvelopeComparison, DifferencesBeyondTheFallbackFail) {
    struct Case {
        const char* what;
        void (*change)(EnvelopeRun*);
        const char* detail;
    };
    const Case cases[] = {
        {"a special point's value", [](EnvelopeRun* r) { r->rows[5].t += 0.5; },
         "special point 1 (critical): T 230.5"},
        {"one more curve row",
         [](EnvelopeRun* r) {
             r->rows.push_back({4, 4000.0, 170.0, -7500.0, -52.0, 0.05});
         },
         "4 rows of type 4 (bubble), reference 3"},
        {"a curve row of another kind", [](EnvelopeRun* r) { r->rows[3].type = 4; },
         "rows of type 1 (dew)"},
        {"special points swapped",
         [](EnvelopeRun* r) { std::swap(r->rows[2].type, r->rows[5].type); },
         "special point 0: critical, reference cricondentherm"},
        {"a scalar", [](EnvelopeRun* r) { r->scalars["Cricondentherm"] = 265.0; },
         "Cricondentherm 265"},
        {"a scalar written where the reference has none",
         [](EnvelopeRun* r) { r->scalars["3PhaseP"] = 3000.0; }, "3PhaseP 3000"},
        {"the status", [](EnvelopeRun* r) { r->status = E_FAIL; },
         "status 0x80004005, reference 0x00000000"},
    };
    for (const Case& c : cases) {
        EnvelopeRun got = SampleRun();
        c.change(&got);
        const Comparison result = envelope_cases::CompareRuns(SampleRun(), got, kWindows);
        EXPECT_EQ(result.kind, Comparison::Kind::kDifferent) << c.what;
        EXPECT_NE(result.detail.find(c.detail), std::string::npos)
            << c.what << ": " << result.detail;
    }
}

TEST(EnvelopeComparison, SummaryCountsRowsByKind) {
    EXPECT_EQ(envelope_cases::Summary(SampleRun()),
              "10 rows (dew 4, bubble 3, critical 1, cricondenbar 1, cricondentherm 1)");
}

TEST(EnvelopeReferenceFile, RoundTripKeepsEveryValueExactly) {
    EnvelopeRun run = SampleRun();
    run.status = static_cast<HRESULT>(0x80040154L);
    run.rows[0].p = 1.0 / 3.0;
    run.rows[0].v = std::numeric_limits<double>::denorm_min();
    run.rows[5].s = kUndefined;
    const std::string path = TempPath("round_trip.txt");
    std::string error;
    ASSERT_TRUE(envelope_cases::WriteReference(path, envelope_cases::Cases()[2],
                                               envelope_cases::ThermoPath::kApp, run, &error))
        << error;
    EnvelopeRun read;
    ASSERT_TRUE(envelope_cases::ReadReference(path, &read, &error)) << error;
    EXPECT_EQ(read.status, run.status);
    EXPECT_EQ(read.scalars, run.scalars);
    ASSERT_EQ(read.rows.size(), run.rows.size());
    for (size_t i = 0; i < run.rows.size(); ++i) {
        const Row& a = run.rows[i];
        const Row& b = read.rows[i];
        EXPECT_EQ(a.type, b.type) << i;
        EXPECT_EQ(a.p, b.p) << i;
        EXPECT_EQ(a.t, b.t) << i;
        EXPECT_EQ(a.h, b.h) << i;
        EXPECT_EQ(a.s, b.s) << i;
        EXPECT_EQ(a.v, b.v) << i;
    }
    std::remove(path.c_str());
}

TEST(EnvelopeReferenceFile, MalformedFilesAreRejectedWithTheirLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const std::string scalars =
        "scalar 2PhaseCriticalP 1\nscalar 2PhaseCriticalT 1\nscalar 3PhaseCriticalP 1\n"
        "scalar 3PhaseCriticalT 1\nscalar 3PhaseP 1\nscalar 3PhaseT 1\n"
        "scalar Cricondentherm 1\nscalar Cricondenbar 1\n";
    const std::string good = "status 0x00000000\n" + scalars + "rows 1\n1 2 3 4 5 6\n";
    const Case cases[] = {
        {"status 0x00000000\nscalar Cricondenbar\nrows 0\n", ":2: expected scalar NAME VALUE"},
        {"status zero\nrows 0\n", ":1: bad status"},
        {"# comment\nstatus 0x0\nvalues 3\n", ":3: unknown line"},
        {"status 0x0\nrows 2\n1 2 3 4 5 6\n", "1 rows, the header says 2"},
        {"status 0x0\nrows 1\n1 2 3 4 5\n", ":3: expected TYPE P T H S V"},
        {"rows 0\n", "no status or rows line"},
        {"status 0x0\nscalar Cricondenbar 5\nrows 0\n", "1 scalars, expected 8"},
    };
    std::string error;
    EnvelopeRun run;
    const std::string goodPath = TempPath("good.txt");
    std::ofstream(goodPath) << good;
    EXPECT_TRUE(envelope_cases::ReadReference(goodPath, &run, &error)) << error;
    EXPECT_EQ(run.rows.size(), 1u);
    std::remove(goodPath.c_str());
    for (const Case& c : cases) {
        const std::string path = TempPath("bad.txt");
        std::ofstream(path) << c.text;
        error.clear();
        EXPECT_FALSE(envelope_cases::ReadReference(path, &run, &error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
        std::remove(path.c_str());
    }
    EXPECT_FALSE(envelope_cases::ReadReference(TempPath("missing.txt"), &run, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace
