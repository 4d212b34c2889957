// Robustness: random states of random mixtures (3 to 15 compounds, with and
// without water). Every flash must end with a clear status, finite numbers, and,
// when converged, equal fugacities and a closed material balance.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "pyrana/thermo/calculator.h"

namespace pyrana::thermo {
namespace {

#ifdef PYRTHERMO_LIGHT_SWEEP
constexpr int kFluids = 40;
#else
constexpr int kFluids = 200;
#endif
constexpr int kStatesPerFluid = 10;

const char* kPool[] = {
    "nitrogen",  "carbon dioxide", "hydrogen sulfide", "methane",   "ethane",   "propane",
    "isobutane", "n-butane",       "isopentane",       "n-pentane", "n-hexane", "n-heptane",
    "n-octane",  "n-decane",       "n-hexadecane",     "benzene",   "toluene",  "cyclohexane",
    "ethylene",  "propylene",      "methanol"};

bool AllFinite(const FlashResult& r) {
    if (!std::isfinite(r.t) || !std::isfinite(r.p))
        return false;
    for (const PhaseResult& ph : r.phases) {
        if (!std::isfinite(ph.fraction) || !std::isfinite(ph.z) || !std::isfinite(ph.v) ||
            !std::isfinite(ph.h) || !std::isfinite(ph.s))
            return false;
        for (double x : ph.x) {
            if (!std::isfinite(x))
                return false;
        }
    }
    return true;
}

TEST(Robustness, RandomStatesOfRandomMixturesFlashWithClearStatus) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const int poolSize = static_cast<int>(sizeof(kPool) / sizeof(kPool[0]));
    int flashes = 0, converged = 0, multiphase = 0, threePhase = 0;
    for (int f = 0; f < kFluids; ++f) {
        FluidDefinition def;
        def.eos = f % 4 == 3 ? EosKind::SRK : EosKind::PR;
        const bool water = f % 2 == 0;
        const int n = 3 + static_cast<int>(u(rng) * 13) - (water ? 1 : 0);
        std::vector<int> chosen;
        while (static_cast<int>(chosen.size()) < std::min(n, poolSize)) {
            const int k = static_cast<int>(u(rng) * poolSize);
            if (std::find(chosen.begin(), chosen.end(), k) == chosen.end())
                chosen.push_back(k);
        }
        for (int k : chosen)
            def.Add(kPool[k]);
        if (water)
            def.Add("water");
        if (f % 5 == 1)
            def.AddPseudo("C25+", 830.0, 950.0, 1.1, 360.0);
        std::string err;
        auto fluid = Fluid::Create(def, &err);
        ASSERT_TRUE(fluid.has_value()) << err;
        Calculator calc(*fluid);
        const int nc = calc.size();
        for (int s = 0; s < kStatesPerFluid; ++s) {
            std::vector<double> z(nc);
            double sum = 0;
            for (double& v : z) {
                v = std::pow(u(rng), 2.0) + (u(rng) < 0.1 ? 0.0 : 1e-6);
                sum += v;
            }
            if (!(sum > 0))
                z[0] = sum = 1.0;
            const double t = 150.0 + 550.0 * u(rng);
            const double p = std::exp(std::log(10.0) + u(rng) * std::log(30000.0 / 10.0));
            const FlashResult r = calc.FlashPT(t, p, z.data());
            ++flashes;
            ASSERT_TRUE(r.outcome == Outcome::kConverged || r.outcome == Outcome::kNotConverged)
                << r.message;
            EXPECT_FALSE(r.message.empty());
            ASSERT_TRUE(AllFinite(r)) << "T " << t << " P " << p;
            ASSERT_FALSE(r.phases.empty());
            if (r.outcome != Outcome::kConverged)
                continue;
            ++converged;
            if (r.phases.size() > 1)
                ++multiphase;
            if (r.phases.size() == 3)
                ++threePhase;
            EXPECT_LT(r.fugacityError, 1e-10) << "T " << t << " P " << p;
            for (int i = 0; i < nc; ++i) {
                double m = 0;
                for (const PhaseResult& ph : r.phases)
                    m += ph.fraction * ph.x[i];
                EXPECT_NEAR(m, z[i] / sum, 1e-12) << "T " << t << " P " << p << " i " << i;
            }
        }
    }
    // Failures must stay rare; each already carried a status and message above.
    EXPECT_GE(converged, flashes * 99 / 100) << converged << " of " << flashes;
    // The sweep must actually exercise multiphase splits.
    EXPECT_GT(multiphase, flashes / 10);
    EXPECT_GT(threePhase, 0);
}

TEST(Robustness, SaturationFlashesOfRandomMixturesEndWithAStatus) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const int poolSize = static_cast<int>(sizeof(kPool) / sizeof(kPool[0]));
#ifdef PYRTHERMO_LIGHT_SWEEP
    const int count = 6;
#else
    const int count = 30;
#endif
    int solved = 0;
    for (int c = 0; c < count; ++c) {
        FluidDefinition def;
        const int n = 3 + static_cast<int>(u(rng) * 6);
        std::vector<int> chosen;
        while (static_cast<int>(chosen.size()) < n) {
            const int k = static_cast<int>(u(rng) * poolSize);
            if (std::find(chosen.begin(), chosen.end(), k) == chosen.end())
                chosen.push_back(k);
        }
        for (int k : chosen)
            def.Add(kPool[k]);
        if (c % 3 == 0)
            def.Add("water");
        auto fluid = Fluid::Create(def, nullptr);
        ASSERT_TRUE(fluid);
        Calculator calc(*fluid);
        std::vector<double> z(calc.size());
        for (double& v : z)
            v = 0.05 + u(rng);
        const double p = std::exp(std::log(50.0) + u(rng) * std::log(20000.0 / 50.0));
        const double beta = c % 3 == 1 ? 0.0 : (c % 3 == 2 ? 1.0 : 0.3);
        const FlashResult r = calc.FlashSaturation(p, beta, z.data());
        EXPECT_NE(r.outcome, Outcome::kInvalidInput) << r.message;
        EXPECT_FALSE(r.message.empty());
        EXPECT_TRUE(AllFinite(r));
        ASSERT_GE(r.phases.size(), 2u);
        if (r.outcome == Outcome::kConverged) {
            ++solved;
            EXPECT_LT(r.fugacityError, 1e-10);
        }
    }
    EXPECT_GT(solved, count / 3);
}

}  // namespace
}  // namespace pyrana::thermo
