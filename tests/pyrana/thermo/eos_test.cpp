// Cubic equation of state: roots, vapour pressures against measurements, and the
// analytic derivatives and departure functions checked against finite differences
// and thermodynamic identities at random states of random mixtures.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "pyrana/thermo/cubic_eos.h"
#include "test_fluids.h"

namespace pyrana::thermo {
namespace {

using testing::MakeFluid;
using testing::RelDiff;

TEST(CubicRoots, RecoversRootsMultipliedIntoThePolynomial) {
    const double cases[][3] = {{0.05, 0.3, 1.1}, {0.01, 0.0125, 0.9}, {0.2, 0.2000001, 0.7}};
    for (const auto& r : cases) {
        // (Z - r0)(Z - r1)(Z - r2)
        const double c2 = -(r[0] + r[1] + r[2]);
        const double c1 = r[0] * r[1] + r[0] * r[2] + r[1] * r[2];
        const double c0 = -r[0] * r[1] * r[2];
        double roots[3];
        ASSERT_EQ(CubicEos::SolveCubic(c2, c1, c0, roots), 3);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(roots[k], r[k], 1e-6) << k;
    }
    // One real root: (Z - 0.8)(Z² + 0.1 Z + 0.5).
    double roots[3];
    ASSERT_EQ(CubicEos::SolveCubic(0.1 - 0.8, 0.5 - 0.08, -0.4, roots), 1);
    EXPECT_NEAR(roots[0], 0.8, 1e-13);
}

// Saturation pressure of a pure compound from the model: P ← P exp(ln φL - ln φV).
double ModelVapourPressure(Calculator& calc, int i, double t, double pGuess) {
    std::vector<double> x(calc.size(), 0.0);
    x[i] = 1.0;
    std::vector<double> lv(calc.size()), ll(calc.size());
    double p = pGuess;
    for (int it = 0; it < 500; ++it) {
        RootInfo iv, il;
        calc.model().LnPhi(t, p, x.data(), Root::Vapour, lv.data(), nullptr, nullptr, nullptr, &iv);
        calc.model().LnPhi(t, p, x.data(), Root::Liquid, ll.data(), nullptr, nullptr, nullptr, &il);
        const double step = ll[i] - lv[i];
        p *= std::exp(step);
        if (std::fabs(step) < 1e-13)
            break;
    }
    return p;
}

struct Measured {
    const char* name;
    double t;  // K
    double p;  // kPa
    double tolerance;
};

TEST(CubicEos, PengRobinsonVapourPressuresMatchMeasurements) {
    // Measured saturation pressures (NIST Chemistry WebBook, saturation tables; normal
    // boiling points for n-decane).
    const Measured data[] = {
        {"propane", 300.0, 997.6, 0.04},    {"carbon dioxide", 273.15, 3485.0, 0.04},
        {"methane", 150.0, 1040.5, 0.04},   {"n-butane", 300.0, 258.0, 0.04},
        {"n-decane", 447.3, 101.325, 0.04}, {"water", 373.15, 101.42, 0.10},
    };
    for (const Measured& m : data) {
        Calculator calc(MakeFluid({m.name}));
        const double tr = m.t / calc.fluid().compound(0).tc;
        EXPECT_GT(tr, 0.55) << m.name;
        EXPECT_LT(tr, 0.95) << m.name;
        const double p = ModelVapourPressure(calc, 0, m.t, m.p);
        EXPECT_LT(RelDiff(p, m.p), m.tolerance) << m.name << " model " << p << " kPa";
    }
}

// Random mixtures and states for the identity checks.
struct State {
    Fluid fluid;
    std::vector<double> x;
    double t, p;
};

std::vector<State> RandomStates(int count, unsigned seed) {
    const char* pool[] = {"methane",          "ethane",   "propane",        "n-butane",
                          "n-hexane",         "n-decane", "carbon dioxide", "nitrogen",
                          "hydrogen sulfide", "water",    "methanol",       "toluene"};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<State> out;
    for (int s = 0; s < count; ++s) {
        FluidDefinition def;
        def.eos = s % 3 == 0 ? EosKind::SRK : EosKind::PR;
        const int n = 2 + static_cast<int>(u(rng) * 5);
        std::vector<int> chosen;
        while (static_cast<int>(chosen.size()) < n) {
            const int k = static_cast<int>(u(rng) * 12);
            if (std::find(chosen.begin(), chosen.end(), k) == chosen.end())
                chosen.push_back(k);
        }
        for (int k : chosen)
            def.Add(pool[k]);
        if (s % 4 == 1)
            def.AddPseudo("C20+", 780.0, 1100.0, 0.95, 300.0);
        std::string err;
        auto f = Fluid::Create(def, &err);
        EXPECT_TRUE(f.has_value()) << err;
        State st{*f, {}, 0, 0};
        for (int i = 0; i < f->size(); ++i)
            st.x.push_back(0.02 + u(rng));
        st.t = 200.0 + 500.0 * u(rng);
        st.p = std::exp(std::log(20.0) + u(rng) * std::log(30000.0 / 20.0));
        out.push_back(std::move(st));
    }
    return out;
}

// ln φ of both roots at a perturbed state; false when the root count changes (a
// perturbation across a spinodal is no test of the derivative).
bool LnPhiAt(Model& m, double t, double p, const std::vector<double>& x, Root root, int roots,
             std::vector<double>* out) {
    RootInfo info;
    out->assign(x.size(), 0.0);
    if (!m.LnPhi(t, p, x.data(), root, out->data(), nullptr, nullptr, nullptr, &info))
        return false;
    return info.roots == roots;
}

TEST(CubicEos, AnalyticLnPhiDerivativesAgreeWithFiniteDifferencesAndGibbsDuhem) {
    int checked = 0;
    for (State& s : RandomStates(60, 7)) {
        Calculator calc(s.fluid);
        Model& m = calc.model();
        const int nc = calc.size();
        double sum = 0;
        for (double v : s.x)
            sum += v;
        for (double& v : s.x)
            v /= sum;
        for (Root root : {Root::Vapour, Root::Liquid}) {
            std::vector<double> lp(nc), dt(nc), dp(nc), dn(nc * nc);
            RootInfo info;
            ASSERT_TRUE(m.LnPhi(s.t, s.p, s.x.data(), root, lp.data(), dt.data(), dp.data(),
                                dn.data(), &info));
            // Gibbs–Duhem and symmetry hold exactly.
            for (int j = 0; j < nc; ++j) {
                double gd = 0;
                for (int i = 0; i < nc; ++i) {
                    gd += s.x[i] * dn[i * nc + j];
                    EXPECT_NEAR(dn[i * nc + j], dn[j * nc + i],
                                1e-10 * (1 + std::fabs(dn[i * nc + j])));
                }
                EXPECT_NEAR(gd, 0.0, 1e-9);
            }
            // Σ x_i ∂ln φ_i/∂P = (Z - 1)/P.
            double sdp = 0;
            for (int i = 0; i < nc; ++i)
                sdp += s.x[i] * dp[i];
            EXPECT_NEAR(sdp, (info.z - 1.0) / s.p, 1e-9 * std::fabs((info.z - 1.0) / s.p) + 1e-14);

            std::vector<double> a, b;
            const double ht = 1e-6 * s.t, hp = 1e-6 * s.p, hn = 1e-6;
            if (LnPhiAt(m, s.t + ht, s.p, s.x, root, info.roots, &a) &&
                LnPhiAt(m, s.t - ht, s.p, s.x, root, info.roots, &b)) {
                for (int i = 0; i < nc; ++i) {
                    const double fd = (a[i] - b[i]) / (2 * ht);
                    EXPECT_NEAR(dt[i], fd, 1e-6 * (std::fabs(fd) + 1e-3)) << "dT " << i;
                }
                ++checked;
            }
            if (LnPhiAt(m, s.t, s.p + hp, s.x, root, info.roots, &a) &&
                LnPhiAt(m, s.t, s.p - hp, s.x, root, info.roots, &b)) {
                for (int i = 0; i < nc; ++i) {
                    const double fd = (a[i] - b[i]) / (2 * hp);
                    EXPECT_NEAR(dp[i], fd, 1e-6 * (std::fabs(fd) + 1.0 / s.p)) << "dP " << i;
                }
            }
            for (int j = 0; j < nc; ++j) {
                std::vector<double> xp = s.x, xm = s.x;
                xp[j] += hn;
                xm[j] -= hn;
                if (!LnPhiAt(m, s.t, s.p, xp, root, info.roots, &a) ||
                    !LnPhiAt(m, s.t, s.p, xm, root, info.roots, &b))
                    continue;
                for (int i = 0; i < nc; ++i) {
                    // Total moles are 1 at the base point, so n ∂/∂n_j = ∂/∂n_j there.
                    const double fd = (a[i] - b[i]) / (2 * hn);
                    EXPECT_NEAR(dn[i * nc + j], fd, 1e-5 * (std::fabs(fd) + 1.0))
                        << "dN " << i << j;
                }
            }
        }
    }
    EXPECT_GT(checked, 60);
}

TEST(CubicEos, EnthalpyEntropyAndGibbsEnergyAreConsistentWithLnPhi) {
    for (State& s : RandomStates(40, 11)) {
        Calculator calc(s.fluid);
        const int nc = calc.size();
        double sum = 0;
        for (double v : s.x)
            sum += v;
        for (double& v : s.x)
            v /= sum;
        for (Root root : {Root::Vapour, Root::Liquid}) {
            const PhaseProperties pr = calc.Properties(s.t, s.p, s.x.data(), root);
            ASSERT_TRUE(pr.ok) << pr.message;
            // G from the chemical potentials: Σ x_i (g_i°(T) + RT ln(x_i φ_i P/P°)), with
            // g_i° = h_i° - T s_i° of the pure ideal gas at P°.
            double g = 0;
            for (int i = 0; i < nc; ++i) {
                std::vector<double> e(nc, 0.0);
                e[i] = 1.0;
                double h0, s0;
                calc.model().IdealGas(s.t, kReferencePressure, e.data(), &h0, &s0, nullptr);
                g += s.x[i] *
                     (h0 - s.t * s0 +
                      kGasConstant * s.t *
                          (std::log(s.x[i]) + pr.lnPhi[i] + std::log(s.p / kReferencePressure)));
            }
            EXPECT_NEAR(pr.g, g, 1e-8 * (std::fabs(g) + kGasConstant * s.t));

            // ∂H/∂T at constant P against the model's Cp (same root on both sides).
            const double h = 1e-3;
            const PhaseProperties up = calc.Properties(s.t + h, s.p, s.x.data(), root);
            const PhaseProperties dn = calc.Properties(s.t - h, s.p, s.x.data(), root);
            if (up.root.roots == pr.root.roots && dn.root.roots == pr.root.roots) {
                const double cpFd = (up.h - dn.h) / (2 * h);
                EXPECT_NEAR(pr.cp, cpFd, 1e-5 * std::fabs(cpFd) + 1e-4);
                // ∂S/∂T = Cp/T as well.
                EXPECT_NEAR((up.s - dn.s) / (2 * h), pr.cp / s.t, 1e-5 * pr.cp / s.t + 1e-6);
            }
        }
    }
}

TEST(CubicEos, DepartureFunctionsVanishAtLowPressureAndReferenceStateIsZero) {
    Calculator calc(MakeFluid({"methane", "n-hexane", "water"}));
    const double x[] = {0.5, 0.3, 0.2};
    double h, s, cp;
    RootInfo info;
    ASSERT_TRUE(calc.model().Residual(350.0, 1e-6, x, Root::Vapour, &h, &s, &cp, &info));
    EXPECT_NEAR(h, 0.0, 1e-5);
    EXPECT_NEAR(s, 0.0, 1e-8);
    EXPECT_NEAR(cp, 0.0, 1e-8);
    EXPECT_NEAR(info.z, 1.0, 1e-9);
    std::vector<double> lp(3);
    calc.model().LnPhi(350.0, 1e-6, x, Root::Vapour, lp.data(), nullptr, nullptr, nullptr, nullptr);
    for (double v : lp)
        EXPECT_NEAR(v, 0.0, 1e-8);
    // Each pure compound as ideal gas at 298.15 K and 101.325 kPa: H = S = 0.
    for (int i = 0; i < 3; ++i) {
        double e[3] = {0, 0, 0};
        e[i] = 1;
        double hi, si;
        calc.model().IdealGas(kReferenceTemperature, kReferencePressure, e, &hi, &si, nullptr);
        EXPECT_NEAR(hi, 0.0, 1e-9);
        EXPECT_NEAR(si, 0.0, 1e-12);
    }
}

TEST(CubicEos, HelmholtzFormAgreesWithThePressureExplicitProperties) {
    for (State& s : RandomStates(20, 3)) {
        Calculator calc(s.fluid);
        const int nc = calc.size();
        double sum = 0;
        for (double v : s.x)
            sum += v;
        for (double& v : s.x)
            v /= sum;
        std::vector<double> lp(nc), fn(nc);
        RootInfo info;
        ASSERT_TRUE(calc.model().LnPhi(s.t, s.p, s.x.data(), Root::Stable, lp.data(), nullptr,
                                       nullptr, nullptr, &info));
        double p;
        const double v = info.z * kGasConstant * s.t / s.p;  // untranslated: no shift set
        ASSERT_TRUE(calc.model().HelmholtzTV(s.t, v, s.x.data(), &p, fn.data(), nullptr));
        EXPECT_LT(RelDiff(p, s.p), 1e-9);
        for (int i = 0; i < nc; ++i)
            EXPECT_NEAR(fn[i] - std::log(info.z), lp[i], 1e-9);
    }
}

TEST(CubicEos, VolumeTranslationShiftsVolumesOnly) {
    FluidDefinition def;
    def.Add("propane").Add("n-decane");
    auto plain = Fluid::Create(def, nullptr);
    def.volumeTranslation = true;
    auto shifted = Fluid::Create(def, nullptr);
    ASSERT_TRUE(plain && shifted);
    Calculator a(*plain), b(*shifted);
    const double x[] = {0.4, 0.6};
    const PhaseProperties pa = a.Properties(320.0, 5000.0, x, Root::Liquid);
    const PhaseProperties pb = b.Properties(320.0, 5000.0, x, Root::Liquid);
    const double c = 0.4 * shifted->shift(0) + 0.6 * shifted->shift(1);
    EXPECT_NE(c, 0.0);
    EXPECT_NEAR(pb.root.v, pa.root.v - c, 1e-12);
    for (int i = 0; i < 2; ++i)
        EXPECT_DOUBLE_EQ(pa.lnPhi[i], pb.lnPhi[i]);
    EXPECT_DOUBLE_EQ(pa.h, pb.h);
}

TEST(FluidDefinition, ValidationNamesComponentFieldValueAndRule) {
    std::string err;
    FluidDefinition def;
    def.AddPseudo("X7", -5.0, 3000.0, 0.3, 100.0);
    EXPECT_FALSE(Fluid::Create(def, &err));
    EXPECT_EQ(err, "component 'X7': Tc = -5 K must be positive");

    FluidDefinition unknown;
    unknown.Add("unobtainium");
    EXPECT_FALSE(Fluid::Create(unknown, &err));
    EXPECT_NE(err.find("'unobtainium'"), std::string::npos);

    FluidDefinition pair;
    pair.Add("methane").Add("ethane").SetKij(0, 2, 0.1);
    EXPECT_FALSE(Fluid::Create(pair, &err));
    EXPECT_NE(err.find("index"), std::string::npos);

    FluidDefinition twice;
    twice.Add("methane").Add("CH4");
    EXPECT_FALSE(Fluid::Create(twice, &err));
    EXPECT_NE(err.find("more than once"), std::string::npos);

    FluidDefinition pc;
    pc.AddPseudo("C7+", 540.0, 0.0, 0.35, 100.0);
    EXPECT_FALSE(Fluid::Create(pc, &err));
    EXPECT_EQ(err, "component 'C7+': Pc = 0 kPa must be positive");
}

TEST(FluidDefinition, KijFromTableOverriddenPerPairAndHeavyAlphaSwitch) {
    FluidDefinition def;
    def.Add("water").Add("propane").Add("n-eicosane").SetKij(1, 0, 0.42);
    auto f = Fluid::Create(def, nullptr);
    ASSERT_TRUE(f);
    EXPECT_DOUBLE_EQ(f->kij(0, 1), 0.42);
    EXPECT_DOUBLE_EQ(f->kij(1, 0), 0.42);
    EXPECT_DOUBLE_EQ(f->kij(0, 2), DefaultKij(f->compound(0), f->compound(2), EosKind::PR));
    // ω > 0.491 takes the 1978 polynomial.
    const double w = f->compound(2).omega;
    ASSERT_GT(w, 0.491);
    EXPECT_NEAR(f->m(2), 0.379642 + 1.48503 * w - 0.164423 * w * w + 0.016666 * w * w * w, 1e-14);
    EXPECT_EQ(f->waterIndex(), 0);
    EXPECT_TRUE(f->isAqueous(0));
    EXPECT_FALSE(f->isAqueous(1));
}

TEST(FluidDefinition, PseudoComponentHeatCapacityEstimateIsNearTheParaffinOfSameMass) {
    const Compound* decane = FindCompound("n-decane");
    ASSERT_NE(decane, nullptr);
    const IdealGasCp est = EstimateIdealGasCp(decane->molarMass);
    for (double t : {300.0, 500.0, 800.0}) {
        auto cp = [t](const IdealGasCp& c) {
            return c.a[0] + t * (c.a[1] + t * (c.a[2] + t * (c.a[3] + t * c.a[4])));
        };
        EXPECT_LT(RelDiff(cp(est), cp(decane->cp)), 0.03) << t;
    }
}

}  // namespace
}  // namespace pyrana::thermo
