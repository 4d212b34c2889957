// Shared helpers of the thermo tests: fluids built from the database or from
// user compounds, tolerance comparisons, and the equilibrium check of a flash.
#pragma once
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "pyrana/thermo/calculator.h"
#include "pyrana/thermo/fluid.h"

namespace pyrana::thermo::testing {

// A fluid of database compounds; aborts the test binary on a bad name (tests only).
Fluid MakeFluid(std::initializer_list<const char*> names, EosKind eos = EosKind::PR);

// Same, with k_ij overrides {i, j, value}.
Fluid MakeFluid(std::initializer_list<const char*> names, std::vector<KijOverride> kij,
                EosKind eos = EosKind::PR);

// The propane–water pair with k_ij = 0.5 (PR).
Fluid PropaneWater();

// The fluid of the dry natural gas that tests and benchmarks share
// (tests/support/natural_gas.h, which also gives its fractions), with database k_ij.
Fluid NaturalGas(EosKind eos = EosKind::PR);

// Checks a converged flash against its own definition: every phase's fugacities
// equal within 1e-10 in ln f (recomputed here), the material balance closes,
// fractions sum to one. z [nc] is the feed, normalised or not.
void ExpectEquilibrium(Calculator& calc, const FlashResult& r, const std::vector<double>& z);

// Relative difference |a - b| / max(|a|, |b|, floor).
double RelDiff(double a, double b, double floor = 1e-300);

}  // namespace pyrana::thermo::testing
