// The tracers against the reference host: the two-phase trace of a
// hydrocarbon-water feed stopping where the host's further-phase test first
// finds the aqueous liquid.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "driver/compound_data.h"
#include "engine/two_phase_continuation.h"
#include "pyrana/thermo/calculator.h"
#include "saturation/saturation_point.h"
#include "tests/support/envelope_harness.h"

namespace {

class TracerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        harness = std::make_unique<EnvelopeHarness>(FluidSpec{
            {{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}}, {}});
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
        harness->container()->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&working));
        platform::ComPtr<IDispatch> spec;
        ASSERT_EQ(u->phaseCollection->GetPhase(1, 0, spec.put()), S_OK);
        spec->QueryInterface(IID_IPhase, reinterpret_cast<void**>(&feedPhase));
    }
    void TearDown() override {
        working->Release();
        feedPhase->Release();
        harness.reset();
        CoUninitialize();
    }
    std::vector<EnvelopeRow> Rows() {
        std::vector<EnvelopeRow> rows;
        int32_t n = 0;
        u->pointStore->GetNumPoints(&n, 0);
        for (int32_t i = 0; i < n; ++i) {
            EnvelopeRow r{};
            u->pointStore->GetPointType(i, &r.type, 0);
            u->pointStore->GetValue(i, kCodePressure, &r.pKpa, 0);
            u->pointStore->GetValue(i, kCodeTemperature, &r.tK, 0);
            rows.push_back(r);
        }
        return rows;
    }

    std::unique_ptr<EnvelopeHarness> harness;
    UtilityState* u = nullptr;
    IPhase* working = nullptr;
    IPhase* feedPhase = nullptr;
    std::vector<double> z;
};

TEST_F(TracerTest, DewTraceStopsWhereTheAqueousLiquidAppears) {
    u->curPatm = 2.0;
    u->vapFrac = 1.0;
    int32_t phases = 0;
    double h = 0, s = 0, v = 0;
    const std::unique_ptr<ThermoBridge> thermo = ThermoBridgeFor(u, working, feedPhase);
    ASSERT_EQ(SaturationPoint(u, thermo.get(), u->curPatm, &phases, &h, &s, &v, 0), 0);
    ASSERT_EQ(phases, 2);
    u->threePhaseCheck = 1;
    uint8_t invert = 0;
    uint8_t stuck = 0;
    ThreePhasePoint& record = u->threePhasePoints[0];
    const int rc = TraceCurve(u->twoPhaseTracer, thermo.get(), &u->vapFrac, u->xLiq1, u->yVap,
                              u->feedComp, u->K1, 1.99, 500.0, -32767, u->unknowns, u->twoPhaseSkip,
                              &u->curTdegk, &u->curPatm, &u->threePhaseFound, u->xLiq2,
                              &record.Patm, &record.Tdegk, 0, u->pointStore, &u->threePhaseCheck,
                              false, &invert, 1, 0, u->critTdegk, u->critPkpa, &stuck);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(u->threePhaseFound, 1);
    EXPECT_GT(u->xLiq2[3], 0.9) << "the new phase is the aqueous liquid";
    double sum = 0.0;
    for (int i = 0; i < 4; ++i)
        sum += u->xLiq2[i];
    EXPECT_NEAR(sum, 1.0, 1e-12);

    // The point itself (a dew trace does not store it) has the further
    // phase; the last stored point has not, and neither has the dew point
    // 0.01 % below it in pressure: the point is where the phase appears.
    const std::vector<EnvelopeRow> rows = Rows();
    ASSERT_FALSE(rows.empty());
    const EnvelopeRow& last = rows.back();
    const double pKpa = record.Patm * kKpaPerAtm;
    pyrana::thermo::Calculator& calc = harness->host().calculator();
    EXPECT_TRUE(calc.FurtherPhase(record.Tdegk, pKpa, z.data(), nullptr).found);
    EXPECT_FALSE(calc.FurtherPhase(last.tK, last.pKpa, z.data(), nullptr).found);
    const double below = pKpa * (1.0 - 1e-4);
    pyrana::thermo::SaturationOptions start;
    start.tInit = record.Tdegk;
    const pyrana::thermo::FlashResult dew = calc.FlashSaturation(below, 1.0, z.data(), start);
    ASSERT_TRUE(dew.ok()) << dew.message;
    EXPECT_NEAR(dew.t, record.Tdegk, 0.1);
    EXPECT_FALSE(calc.FurtherPhase(dew.t, below, z.data(), nullptr).found);
}

}  // namespace
