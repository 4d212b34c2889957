#include "test_fluids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tests/support/natural_gas.h"

namespace pyrana::thermo::testing {

namespace {
Fluid Create(const FluidDefinition& def) {
    std::string err;
    auto f = Fluid::Create(def, &err);
    if (!f) {
        std::fprintf(stderr, "test fluid: %s\n", err.c_str());
        std::abort();
    }
    return *f;
}
}  // namespace

Fluid MakeFluid(std::initializer_list<const char*> names, std::vector<KijOverride> kij,
                EosKind eos) {
    FluidDefinition def;
    for (const char* n : names)
        def.Add(n);
    def.eos = eos;
    def.kij = std::move(kij);
    return Create(def);
}

Fluid MakeFluid(std::initializer_list<const char*> names, EosKind eos) {
    return MakeFluid(names, {}, eos);
}

Fluid PropaneWater() {
    return MakeFluid({"propane", "water"}, {{0, 1, 0.5}});
}

Fluid NaturalGas(EosKind eos) {
    FluidDefinition def;
    for (const auto& [name, z] : test_fluids::NaturalGas())
        def.Add(name);
    def.eos = eos;
    return Create(def);
}

void ExpectEquilibrium(Calculator& calc, const FlashResult& r, const std::vector<double>& z) {
    ASSERT_EQ(r.outcome, Outcome::kConverged) << r.message;
    const int nc = calc.size();
    std::vector<std::vector<double>> lnf;
    double bsum = 0;
    for (const PhaseResult& ph : r.phases) {
        EXPECT_GT(ph.fraction, 0.0);
        bsum += ph.fraction;
        const PhaseProperties pp = calc.Properties(r.t, r.p, ph.x.data(), Root::Stable);
        ASSERT_TRUE(pp.ok);
        std::vector<double> f(nc);
        for (int i = 0; i < nc; ++i)
            f[i] = std::log(ph.x[i]) + pp.lnPhi[i];
        lnf.push_back(f);
        EXPECT_NEAR(pp.root.z, ph.z, 1e-12 * ph.z);
    }
    EXPECT_NEAR(bsum, 1.0, 1e-12);
    for (size_t k = 1; k < lnf.size(); ++k) {
        for (int i = 0; i < nc; ++i)
            EXPECT_NEAR(lnf[k][i], lnf[0][i], 1e-10) << "phase " << k;
    }
    double zs = 0;
    for (double v : z)
        zs += v;
    for (int i = 0; i < nc; ++i) {
        double m = 0;
        for (const PhaseResult& ph : r.phases)
            m += ph.fraction * ph.x[i];
        EXPECT_NEAR(m, z[i] / zs, 1e-12) << "component " << i;
    }
}

double RelDiff(double a, double b, double floor) {
    return std::fabs(a - b) / std::max({std::fabs(a), std::fabs(b), floor});
}

}  // namespace pyrana::thermo::testing
