// The fluid input shared by every command of phase-envelope: a feed given on
// the command line ("methane=0.8,ethane=0.15,water=0.05") or a fluid file in
// JSON, turned into a fluid definition of the reference host's model and a
// feed composition.
//
// Fluid file:
//   {
//     "eos": "PR" | "SRK",                      (optional, default PR)
//     "components": [
//       {"name": "methane", "z": 0.8},          database compound (name or alias)
//       {"name": "C7+", "z": 0.05, "Tc": 540.0, "Pc": 2700.0, "omega": 0.35,
//        "mw": 100.2, "cp": [a0, a1, a2, a3, a4]}
//                                               user compound: Tc K, Pc kPa, acentric
//                                               factor, molar mass kg/kmol, optional
//                                               ideal-gas Cp/R = a0 + a1 T + ... + a4 T^4
//                                               (T in K; 1 to 5 coefficients)
//     ],
//     "kij": [{"i": "methane", "j": "C7+", "value": 0.03}],   (optional)
//     "volume_shift": true | false              (optional, default false)
//   }
// A database name given with constants of its own keeps the database's ID,
// family and heat capacity and takes the given constants. Fractions are
// normalised by the host.
//
// Every problem (unknown name, negative, NaN or all-zero fractions, a
// compound given twice, missing or non-physical constants, unknown keys,
// malformed text) throws InputError with a one-line message naming it.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "pyrana/thermo/fluid.h"

namespace cli {

class InputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct FluidInput {
    pyrana::thermo::FluidDefinition definition;
    // One fraction per component of `definition`, as given (not normalised).
    std::vector<double> feed;
};

// Parses "name=fraction,name=fraction,...".
FluidInput ParseFeed(const std::string& text);

// Parses the content of a fluid file.
FluidInput ParseFluidJson(const std::string& text);

// Reads and parses a fluid file; a file that cannot be read is an InputError.
FluidInput LoadFluidFile(const std::string& path);

// Binary interaction parameters from the command line: "zero" sets every k_ij
// of the fluid to 0 (no database values); "a:b=0.05,c:d=0.1" overrides the
// named pairs. Applied after the fluid file's own k_ij.
void ApplyKijText(const std::string& text, FluidInput* input);

// "PR" or "SRK" (case-insensitive).
pyrana::thermo::EosKind ParseEos(const std::string& text);

// Validates the input (fractions) and builds the model's fluid.
pyrana::thermo::Fluid BuildFluid(const FluidInput& input);

}  // namespace cli
