#include "test_fluids.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pyrana::thermo::testing {

Fluid MakeFluid(std::initializer_list<const char*> names, std::vector<KijOverride> kij,
                EosKind eos) {
    FluidDefinition def;
    for (const char* n : names)
        def.Add(n);
    def.eos = eos;
    def.kij = std::move(kij);
    std::string err;
    auto f = Fluid::Create(def, &err);
    if (!f) {
        std::fprintf(stderr, "test fluid: %s\n", err.c_str());
        std::abort();
    }
    return *f;
}

Fluid MakeFluid(std::initializer_list<const char*> names, EosKind eos) {
    return MakeFluid(names, {}, eos);
}

Fluid PropaneWater() {
    return MakeFluid({"propane", "water"}, {{0, 1, 0.5}});
}

double RelDiff(double a, double b, double floor) {
    return std::fabs(a - b) / std::max({std::fabs(a), std::fabs(b), floor});
}

}  // namespace pyrana::thermo::testing
