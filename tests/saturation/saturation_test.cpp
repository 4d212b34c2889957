// The saturation-point routines: the engines' starting vector, phase
// labelling, trivial splits and the stored-curve interpolation on a bare
// utility state; saturation points and the incipient-phase bisection against
// the reference host.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/envelope_point_store.h"
#include "driver/compound_data.h"
#include "pyrana/thermo/calculator.h"
#include "saturation/incipient_phase.h"
#include "saturation/saturation_point.h"
#include "tests/support/envelope_harness.h"

namespace {

// A utility state of three compounds with no host attached: enough for the
// routines that only look at the state.
class BareState : public ::testing::Test {
  protected:
    void SetUp() override {
        state.AllocateWorkspace(3);
        const int32_t ids[3] = {12, 19, 27};  // methane, water, n-decane
        for (int i = 0; i < 3; ++i) {
            state.compID[i] = ids[i];
            state.compFamily[i] = 2;
        }
        state.curTdegk = 300.0;
        state.curPatm = 10.0;
    }
    void Set(double* v, double a, double b, double c) {
        v[0] = a;
        v[1] = b;
        v[2] = c;
    }
    void Append(int type, double pKpa, double tK) {
        int32_t row = 0;
        state.pointStore->GetNumPoints(&row, 0);
        state.pointStore->SetPointType(row, type, 0);
        state.pointStore->SetValue(row, kCodePressure, pKpa, 0);
        state.pointStore->SetValue(row, kCodeTemperature, tK, 0);
        state.pointStore->SetNumPoints(row + 1, 0);
    }
    CalculationState state{};
};

TEST(ClampedLog, ClampsAtSeventy) {
    EXPECT_EQ(ClampedLog(0.0), -70.0);
    EXPECT_EQ(ClampedLog(-1.0), -70.0);
    EXPECT_EQ(ClampedLog(1e-40), -70.0);
    EXPECT_EQ(ClampedLog(1e40), 70.0);
    EXPECT_DOUBLE_EQ(ClampedLog(2.0), std::log(2.0));
}

TEST_F(BareState, TwoPhaseStartingVectorHoldsLnKThenLnTAndLnP) {
    Set(state.yVap, 0.9, 0.05, 0.05);
    Set(state.xLiq1, 0.3, 0.0, 0.7);
    uint8_t switched = 0;
    ASSERT_EQ(PhaseLabelCheck(&state, 2, &switched), 0);
    EXPECT_EQ(switched, 0);
    ASSERT_EQ(state.numbUnknowns, 5);
    EXPECT_DOUBLE_EQ(state.unknowns[0], std::log(3.0));
    EXPECT_DOUBLE_EQ(state.unknowns[1], std::log(0.05 / 1e-30)) << "a zero denominator is guarded";
    EXPECT_DOUBLE_EQ(state.unknowns[3], std::log(300.0));
    EXPECT_DOUBLE_EQ(state.unknowns[4], std::log(10.0));
    EXPECT_DOUBLE_EQ(state.K1[0], 3.0);
}

TEST_F(BareState, ThreePhasesPutTheAqueousLiquidSecond) {
    Set(state.yVap, 0.9, 0.05, 0.05);
    Set(state.xLiq1, 0.01, 0.98, 0.01);  // aqueous first: must be exchanged
    Set(state.xLiq2, 0.2, 0.01, 0.79);
    state.liq1Frac = 0.1;
    state.liq2Frac = 0.4;
    state.vapFrac = 0.5;
    state.betaMode = 3;
    uint8_t switched = 0;
    ASSERT_EQ(PhaseLabelCheck(&state, 3, &switched), 0);
    EXPECT_EQ(switched, 1);
    EXPECT_EQ(state.xLiq2[1], 0.98);
    EXPECT_EQ(state.xLiq1[1], 0.01);
    EXPECT_EQ(state.liq1Frac, 0.4);
    EXPECT_EQ(state.liq2Frac, 0.1);
    ASSERT_EQ(state.numbUnknowns, 9);
    EXPECT_DOUBLE_EQ(state.unknowns[1], std::log(0.05 / 0.98)) << "ln K2 of water";
    EXPECT_DOUBLE_EQ(state.unknowns[3], std::log(0.9 / 0.2)) << "ln K1 of methane";
    EXPECT_DOUBLE_EQ(state.unknowns[8], std::log(0.4)) << "betaMode 3 frees the first liquid";
    state.betaMode = 4;
    PhaseLabelCheck(&state, 3, &switched);
    EXPECT_DOUBLE_EQ(state.unknowns[8], std::log(0.5)) << "otherwise the vapour fraction";
    EXPECT_EQ(PhaseLabelCheck(&state, 1, &switched), 1);
}

TEST_F(BareState, PhasesCoincideWhenEveryFractionAgreesToFiveTimesTenToTheMinusFiveOfItself) {
    Set(state.yVap, 0.5, 0.3, 0.2);
    Set(state.xLiq1, 0.500024, 0.299986, 0.2);
    EXPECT_TRUE(PhasesCoincide(&state, 2));
    state.xLiq1[2] = 0.20002;  // 1e-4 of itself
    EXPECT_FALSE(PhasesCoincide(&state, 2));
    // With three phases one liquid close to the vapour is enough.
    Set(state.xLiq2, 0.5, 0.3, 0.2);
    EXPECT_TRUE(PhasesCoincide(&state, 3));
    state.xLiq2[0] = 0.6;
    EXPECT_TRUE(PhasesCoincide(&state, 3)) << "no compound is apart in both liquids";
    state.xLiq2[2] = 0.3;
    EXPECT_FALSE(PhasesCoincide(&state, 3));
    EXPECT_TRUE(PhasesCoincide(&state, 1));
}

TEST_F(BareState, AHighPurityProductsSaturatedPhasesAreTwoPhases) {
    // Ethylene 0.99995 with methane 5e-5 at its dew point: every fraction
    // differs by less than 5e-5, and methane's by a factor of twenty.
    Set(state.yVap, 0.99995, 5e-5, 0.0);
    Set(state.xLiq1, 0.9999972, 2.8e-6, 0.0);
    EXPECT_FALSE(PhasesCoincide(&state, 2));
}

TEST_F(BareState, StoredCurveGivesTheTemperatureWithoutAFlash) {
    // No host is attached: a flash would fail on the missing collection.
    Append(1, 200.0, 250.0);
    Append(5, 300.0, 999.0);  // not a dew row: ignored
    Append(1, 400.0, 270.0);
    Append(14, 500.0, 150.0);
    state.vapFrac = 1.0;
    int32_t phases = 7;
    double h = 1.0, s = 1.0, v = 1.0;
    EXPECT_EQ(SaturationPoint(&state, nullptr, 400.0 / 101.325, &phases, &h, &s, &v, 1), 0);
    EXPECT_DOUBLE_EQ(state.curTdegk, 270.0);
    EXPECT_EQ(phases, 7);
    EXPECT_EQ(h, 0.0);
    // Between rows: linear in pressure from the previous matching row (the
    // row before the bracketing one gives the temperature).
    EXPECT_EQ(SaturationPoint(&state, nullptr, 300.0 / 101.325, &phases, &h, &s, &v, 1), 0);
    EXPECT_DOUBLE_EQ(state.curTdegk, 999.0 + (300.0 - 200.0) * (270.0 - 999.0) / (400.0 - 200.0));
    // The first matching row already above the pressure: its temperature.
    EXPECT_EQ(SaturationPoint(&state, nullptr, 150.0 / 101.325, &phases, &h, &s, &v, 1), 0);
    EXPECT_DOUBLE_EQ(state.curTdegk, 250.0 + (150.0 - 100.0) * 0.0);
    state.vapFrac = 0.0;
    EXPECT_EQ(SaturationPoint(&state, nullptr, 500.0 / 101.325, &phases, &h, &s, &v, 1), 0);
    EXPECT_DOUBLE_EQ(state.curTdegk, 150.0);
}

// ---------------------------------------------------------------------------
// Against the reference host: the utility object after a calculation holds a
// bound phase collection and a loaded feed.

class HostRoutines : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        harness = std::make_unique<EnvelopeHarness>(FluidSpec{
            {{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}}, {}});
        // Bind the collection and load the feed as a calculation's set-up does.
        u = harness->object();
        harness->phases()->QueryInterface(IID_IPhaseCollection,
                                          reinterpret_cast<void**>(&u->phaseCollection));
        u->ReleaseWorkspace();
        u->AllocateWorkspace(4);
        const std::vector<double>& feed = harness->host().feed();
        for (int i = 0; i < 4; ++i)
            u->hostComp[i] = feed[static_cast<size_t>(i)];
        platform::ComPtr<ICompoundCollection> compounds = harness->host().NewCompoundCollection();
        ASSERT_EQ(LoadCompoundData(u, u->hostComp, compounds.Get()), S_OK);
        z.assign(u->feedComp, u->feedComp + u->ncomp);
        thermo = ThermoBridgeFor(u, nullptr, nullptr);
    }
    void TearDown() override {
        thermo.reset();
        harness.reset();
        CoUninitialize();
    }
    std::unique_ptr<EnvelopeHarness> harness;
    UtilityState* u = nullptr;
    std::unique_ptr<ThermoBridge> thermo;
    std::vector<double> z;
};

TEST_F(HostRoutines, BubblePointOfTheWetFeedHasTwoLiquidsWithTheAqueousSecond) {
    u->vapFrac = 0.0;
    u->betaMode = 3;
    u->curPatm = 2.0;
    int32_t phases = 0;
    double h = 0, s = 0, v = 0;
    EXPECT_EQ(SaturationPoint(u, thermo.get(), 2.0, &phases, &h, &s, &v, 0), 0);
    ASSERT_EQ(phases, 3);
    EXPECT_GT(u->xLiq2[3], 0.9) << "the second liquid is the aqueous one";
    EXPECT_LT(u->xLiq1[3], 0.1);
    EXPECT_EQ(u->numbUnknowns, 2 * 4 + 3);
    // The host's own flash agrees: three phases just above, two below.
    pyrana::thermo::Calculator& calc = harness->host().calculator();
    const double p = 2.0 * 101.325;
    EXPECT_EQ(calc.FlashPT(u->curTdegk + 0.1, p, z.data()).phases.size(), 3u);
    EXPECT_EQ(calc.FlashPT(u->curTdegk - 0.1, p, z.data()).phases.size(), 2u);
    EXPECT_TRUE(std::isfinite(h) && std::isfinite(s) && v > 0.0);
}

TEST_F(HostRoutines, IncipientPhaseBisectionEndsWithinAHundredthOfAKelvin) {
    const double p = 2.0 * 101.325;
    pyrana::thermo::Calculator& calc = harness->host().calculator();
    int32_t phases = 0;
    double h = 0, s = 0, v = 0;
    u->vapFrac = 0.0;
    SaturationPoint(u, thermo.get(), 2.0, &phases, &h, &s, &v, 0);
    const double bubble = u->curTdegk;
    u->vapFrac = 1.0;
    SaturationPoint(u, thermo.get(), 2.0, &phases, &h, &s, &v, 0);
    const double dew = u->curTdegk;
    ASSERT_GT(dew, bubble + 10.0);
    // Three phases from the bubble point up to where the hydrocarbon liquid
    // is gone: the bisection finds that upper edge.
    double t = 0.0;
    phases = 3;
    IncipientPhaseCurve(u, thermo.get(), 2.0, bubble + 1.0, dew, &t, &phases, &h, &s, &v);
    EXPECT_EQ(phases, 3);
    EXPECT_EQ(calc.FlashPT(t, p, z.data()).phases.size(), 3u) << "the reported flash has the count";
    EXPECT_LT(calc.FlashPT(t + 0.02, p, z.data()).phases.size(), 3u);
    EXPECT_DOUBLE_EQ(u->curTdegk, t);
    // One liquid fraction is set to zero, the other two sum to one.
    EXPECT_TRUE(u->liq1Frac == 0.0 || u->liq2Frac == 0.0);
    EXPECT_NEAR(u->vapFrac + u->liq1Frac + u->liq2Frac, 1.0, 1e-12);
    // An undefined bracket end: nothing done.
    phases = 3;
    EXPECT_EQ(IncipientPhaseCurve(u, thermo.get(), 2.0, -32767.0, 300.0, &t, &phases, &h, &s, &v),
              1);
    EXPECT_EQ(phases, 0);
}

}  // namespace
