// The two-phase point solver and tracer on a model whose curves are known
// without them: an ideal liquid solution with a Poynting factor against an
// ideal gas, for two compounds with vapour pressures ln Psat_i = A_i - B_i/T.
// Then K_i = Psat_i/P exp(vP/RT) does not depend on composition;
// the dew curve sum z_i/K_i = 1 and the bubble curve sum z_i K_i = 1 are
// found at any pressure by bisection in temperature, and both turn at a
// temperature maximum at exactly P = RT/v (where the P-derivative of
// ln sum vanishes). With vapour pressures that cross and roots that exchange
// there, the dew curve passes a point where every K-value is 1: a critical
// point known exactly. The engines see the model through EngineThermo alone:
// no host, no COM object.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "core/envelope_point_store.h"
#include "core/units.h"
#include "engine/engine_thermo.h"
#include "engine/two_phase_continuation.h"
#include "engine/two_phase_point_solver.h"
#include "engine/two_phase_tracer.h"

namespace {

constexpr double kGasConstant = 8.314462618;  // J/(mol K)

struct Model {
    double a[2] = {14.509, 16.118};
    double b[2] = {1381.6, 4144.7};
    double v = 3e-4;  // liquid molar volume, m3/mol
    // Above this temperature the liquid and vapour roots exchange their
    // roles, as a fluid's phases do at its critical point.
    double rootsExchangeAbove = HUGE_VAL;  // K

    double Psat(int i, double tK) const { return std::exp(a[i] - b[i] / tK); }  // kPa
    double LnPhiLiquid(int i, double tK, double pKpa) const {
        return std::log(Psat(i, tK) / pKpa) + v * pKpa * 1e3 / (kGasConstant * tK);
    }
    double K(int i, double tK, double pKpa) const { return std::exp(LnPhiLiquid(i, tK, pKpa)); }
    // sum z_i / K_i - 1 at a dew point, sum z_i K_i - 1 at a bubble point.
    double Residual(const double* z, double tK, double pKpa, bool dew) const {
        double sum = 0.0;
        for (int i = 0; i < 2; ++i)
            sum += dew ? z[i] / K(i, tK, pKpa) : z[i] * K(i, tK, pKpa);
        return sum - 1.0;
    }
    // The temperature maximum of a curve, at P = RT/v.
    double TurningPressureKpa(double tK) const { return kGasConstant * tK / v * 1e-3; }
};

// The root of f in [lo, hi] by bisection (f changes sign there).
double Bisect(const std::function<double(double)>& f, double lo, double hi) {
    const double flo = f(lo);
    for (int i = 0; i < 200 && hi - lo > 1e-13 * hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        if ((f(mid) < 0.0) == (flo < 0.0))
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

// The model as the engines see it; counts its ln phi evaluations.
class ModelThermo final : public EngineThermo {
  public:
    explicit ModelThermo(const Model& model) : channel_(model) {}

    void BeginTwoPhaseTrace(bool) override {}
    void BeginThreePhaseTrace() override {}
    void EndTrace() override {}
    bool HasPhase(PhaseRoot) const override { return true; }
    void SelectPhase(PhaseRoot root) override { channel_.liquid = root == PhaseRoot::kLiquid; }
    LnPhiChannel& Channel() override { return channel_; }
    bool FindsFurtherPhase(double, double, bool*) override { return false; }
    void FurtherPhaseComposition(double* out) override { out[0] = out[1] = 0.0; }
    bool FindsPhaseBelow(double, double, const double*, double*) override { return false; }
    bool HasPhaseProperties() const override { return false; }
    HRESULT PhaseProperties(double, double, const double*, double*, double*, double*) override {
        return E_NOTIMPL;
    }

    int evaluations() const { return channel_.evaluations; }

  private:
    struct ModelChannel final : LnPhiChannel {
        explicit ModelChannel(const Model& m) : model(m) {}
        void PutPressure(double pKpa) override { p = pKpa; }
        void PutTemperature(double tKelvin) override { t = tKelvin; }
        void PutActive() override {}
        void SendComposition(const double*) override {}
        void Evaluate(double* result, const uint8_t*) override {
            ++evaluations;
            for (int i = 0; i < 2; ++i)
                result[i] =
                    liquid == (t <= model.rootsExchangeAbove) ? model.LnPhiLiquid(i, t, p) : 0.0;
        }
        const Model& model;
        double t = 0.0, p = 0.0;
        bool liquid = true;
        int evaluations = 0;
    };
    ModelChannel channel_;
};

struct Row {
    int32_t type;
    double pKpa, tK;
};

class AnalyticModel : public ::testing::Test {
  protected:
    void SetUp() override {
        tracer.Init(2);
        ASSERT_EQ(store.Init(), S_OK);
    }

    // The exact point of the curve at pAtm on its lower branch, as the
    // tracer's unknowns, compositions and K-values.
    void StartAt(double pAtm, bool dew) {
        const double pKpa = pAtm * kKpaPerAtm;
        T = Bisect([&](double t) { return model.Residual(z, t, pKpa, dew); }, 150.0, 600.0);
        P = pAtm;
        beta = dew ? 1.0 : 0.0;
        for (int i = 0; i < 2; ++i) {
            K[i] = model.K(i, T, pKpa);
            X[i] = std::log(K[i]);
            x[i] = dew ? z[i] / K[i] : z[i];
            y[i] = dew ? z[i] : z[i] * K[i];
        }
        X[2] = std::log(T);
        X[3] = std::log(P);
    }

    int Trace(double pressLowAtm, double pressHighAtm, int32_t pointType) {
        uint8_t threePhaseCheck = 0, threePhaseFound = 0, invertLine = 0;
        double third[2] = {0.0, 0.0}, threeP = 0.0, threeT = 0.0;
        const double critT[2] = {0.0, 0.0}, critP[2] = {0.0, 0.0};
        return TraceCurve(&tracer, &thermo, &beta, x, y, z, K, pressLowAtm, pressHighAtm,
                          kUndefinedInt, X, flags, &T, &P, &threePhaseFound, third, &threeP,
                          &threeT, 0, &store, &threePhaseCheck, false, &invertLine, pointType, 0,
                          critT, critP, &stuck);
    }

    std::vector<Row> Rows() {
        std::vector<Row> rows;
        int32_t n = 0;
        store.GetNumPoints(&n, 0);
        for (int32_t i = 0; i < n; ++i) {
            Row r{};
            store.GetPointType(i, &r.type, 0);
            store.GetValue(i, kCodePressure, &r.pKpa, 0);
            store.GetValue(i, kCodeTemperature, &r.tK, 0);
            rows.push_back(r);
        }
        return rows;
    }

    // The curve's temperature maximum found independently: the highest
    // temperature at which the curve reaches P = RT/v.
    double TurningTemperature(bool dew) const {
        return Bisect(
            [&](double t) { return model.Residual(z, t, model.TurningPressureKpa(t), dew); }, 150.0,
            900.0);
    }

    // Checks a whole trace of one curve: every row on the curve, the
    // temperature maximum stored exactly once where the model puts it,
    // the trace turned and ran up to the window's top.
    void ExpectWholeCurve(bool dew, double pressHighAtm) {
        const std::vector<Row> rows = Rows();
        ASSERT_GT(rows.size(), 5u);
        int maxima = 0;
        double tTop = TurningTemperature(dew);
        for (const Row& r : rows) {
            EXPECT_NEAR(model.Residual(z, r.tK, r.pKpa, dew), 0.0, 1e-9)
                << "type " << r.type << " at " << r.tK << " K, " << r.pKpa << " kPa";
            EXPECT_LE(r.tK, tTop + 1e-9);
            if (r.type != kPointCricondentherm)
                continue;
            ++maxima;
            EXPECT_NEAR(r.tK, tTop, 1e-7);
            EXPECT_NEAR(r.pKpa, model.TurningPressureKpa(tTop), 1e-6 * r.pKpa);
        }
        EXPECT_EQ(maxima, 1);
        EXPECT_EQ(stuck, 0);
        EXPECT_NEAR(rows.back().pKpa, pressHighAtm * kKpaPerAtm, 0.05 * pressHighAtm * kKpaPerAtm)
            << "the trace ends at the top of its window";
    }

    Model model;
    ModelThermo thermo{model};
    TwoPhaseTracer tracer;
    EnvelopePointStore store;
    double z[2] = {0.9, 0.1};
    uint8_t flags[4] = {0, 0, 0, 0};
    double X[4] = {}, x[2] = {}, y[2] = {}, K[2] = {};
    double T = 0.0, P = 0.0, beta = 1.0;
    uint8_t stuck = 0;
};

TEST_F(AnalyticModel, PointSolverConvergesQuadraticallyOntoTheCurve) {
    for (const bool dew : {true, false}) {
        StartAt(20.0, dew);
        const double exactT = T;
        // 2 % off in temperature and 10 % in the K-values.
        X[2] = std::log(T * 1.02);
        X[0] += 0.1;
        X[1] -= 0.1;
        UpdateFromUnknowns(&tracer, &T, &P, x, y, z, K, flags, X, beta);
        Reset(&tracer, &thermo, false);
        const int iterations = SolvePoint(&tracer, &thermo, beta, &T, &P, x, y, z, X, K, flags, 3,
                                          true, kUndefinedInt, false);
        ASSERT_GE(iterations, 0) << (dew ? "dew" : "bubble");
        // Newton's method with a right Jacobian: a handful of iterations
        // to 1e-14 in the squared step.
        EXPECT_LE(iterations, 6) << (dew ? "dew" : "bubble");
        EXPECT_NEAR(T, exactT, 1e-9 * exactT);
        EXPECT_NEAR(P, 20.0, 1e-13) << "the pressure was the specification";
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(K[i], model.K(i, exactT, 20.0 * kKpaPerAtm), 1e-9 * K[i]);
        // The sensitivity is the curve's slope: dlnT/dlnP from the implicit
        // function theorem on the model's residual.
        const double h = 1e-6;
        const double pKpa = 20.0 * kKpaPerAtm;
        auto r = [&](double t, double p) { return model.Residual(z, t, p, dew); };
        const double dRdlnT = (r(exactT * (1 + h), pKpa) - r(exactT * (1 - h), pKpa)) / (2 * h);
        const double dRdlnP = (r(exactT, pKpa * (1 + h)) - r(exactT, pKpa * (1 - h))) / (2 * h);
        EXPECT_NEAR(tracer.sens[2], -dRdlnP / dRdlnT, 1e-5 * std::fabs(dRdlnP / dRdlnT));
    }
}

TEST_F(AnalyticModel, DewCurveTurnsAtItsTemperatureMaximumAndRunsToTheWindowTop) {
    StartAt(2.0, true);
    ASSERT_EQ(Trace(1.99, 400.0, kPointDew), 0);
    ExpectWholeCurve(true, 400.0);
    // A smooth curve in a few dozen steps, each corrected from the cubic
    // predictor in two or three iterations on average: an iteration costs
    // 10 evaluations (the base, the T and P columns and one per compound,
    // for each phase).
    const std::vector<Row> rows = Rows();
    EXPECT_LE(rows.size(), 40u);
    EXPECT_LE(thermo.evaluations(), static_cast<int>(rows.size()) * 30);
}

TEST_F(AnalyticModel, BubbleCurveTurnsAtItsTemperatureMaximumAndRunsToTheWindowTop) {
    // The upper branch falls steeply in temperature (below 120 K at
    // 240 atm): the window ends at 200 atm.
    StartAt(2.0, false);
    ASSERT_EQ(Trace(1.99, 200.0, kPointDew), 0);
    ExpectWholeCurve(false, 200.0);
    const std::vector<Row> rows = Rows();
    EXPECT_LE(rows.size(), 40u);
    EXPECT_LE(thermo.evaluations(), static_cast<int>(rows.size()) * 30);
}

// Vapour-pressure curves that cross at 300 K, 5000 kPa (no Poynting term),
// and liquid and vapour roots that exchange their roles there: every K-value
// passes 1 at that point of the dew curve sum z_i/K_i = 1, a critical point
// of the model. The trace crosses it with the phases' roots exchanged and
// goes on along the same curve as its bubble side.
TEST_F(AnalyticModel, TheTraceCrossesTheCriticalPointWhereEveryKValuePassesOne) {
    const double tCross = 300.0, pCross = 5000.0;
    model.b[0] = 500.0;
    model.b[1] = 6000.0;
    for (int i = 0; i < 2; ++i)
        model.a[i] = std::log(pCross) + model.b[i] / tCross;
    model.v = 0.0;
    model.rootsExchangeAbove = tCross;
    z[0] = 0.8;
    z[1] = 0.2;
    StartAt(2.0, true);
    ASSERT_EQ(Trace(1.99, 100.0, kPointDew), 0);
    EXPECT_EQ(stuck, 0);

    const std::vector<Row> rows = Rows();
    int criticalRows = 0;
    Row critical{};
    for (const Row& r : rows) {
        if (r.type == kPointCritical) {
            ++criticalRows;
            critical = r;
        }
    }
    ASSERT_EQ(criticalRows, 1);
    // Interpolated from the points on either side of the crossing.
    EXPECT_NEAR(critical.tK, tCross, 1e-5 * tCross);
    EXPECT_NEAR(critical.pKpa, pCross, 1e-5 * pCross);
    bool past = false;
    for (const Row& r : rows) {
        // The critical point also ends the dew side and starts the bubble
        // side.
        if (r.tK == critical.tK && r.pKpa == critical.pKpa) {
            past = past || r.type == kPointCritical;
            continue;
        }
        // Dew rows below the critical point, bubble rows above it.
        EXPECT_EQ(r.type, past ? kPointBubble : kPointDew) << r.tK << " K";
        EXPECT_NEAR(model.Residual(z, r.tK, r.pKpa, true), 0.0, 1e-9) << r.tK << " K";
        EXPECT_EQ(r.tK > tCross, past) << r.tK << " K";
    }
    EXPECT_NEAR(rows.back().pKpa, 100.0 * kKpaPerAtm, 0.05 * 100.0 * kKpaPerAtm)
        << "the trace ends at the top of its window";
}

}  // namespace
