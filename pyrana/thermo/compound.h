// Pure-compound data of the reference host: the record of one compound, the
// built-in database and the default binary interaction parameters.
//
// The database and the interaction table are plain data (compound_database.cpp,
// interaction_parameters.cpp); the fluid definition (fluid.h) copies the records
// it needs, so nothing here is referenced after a Fluid has been built.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace pyrana::thermo {

// Family codes as the host reports them (tagCompoundFamilyEnum): 1 marks a solid.
enum CompoundFamily : int {
    kFamilyGeneral = 0,
    kFamilySolid = 1,
    kFamilyHydrocarbon = 2,
    kFamilyAqueous = 3,  // water, alcohols, glycols: candidates for a second liquid
    kFamilyGas = 4,      // permanent and acid gases
    kFamilyPseudo = 5,   // user-defined pseudo-components
};

// Ideal-gas heat capacity Cp°/R = a[0] + a[1] T + a[2] T² + a[3] T³ + a[4] T⁴, T in K,
// fitted over [tMin, tMax] K.
struct IdealGasCp {
    double a[5];
    double tMin;
    double tMax;
};

struct Compound {
    std::string name;                  // canonical lower-case name, e.g. "methane"
    std::vector<std::string> aliases;  // e.g. {"C1", "CH4"}; matched case-insensitively
    std::string formula;               // e.g. "CH4"
    int id;                            // host compound ID: water 19, methanol 29, ethanol 30,
                                       // ethylene glycol 54, others stable numbers
    int family;                        // CompoundFamily
    double molarMass;                  // kg/kmol
    double tc;                         // critical temperature, K
    double pc;                         // critical pressure, kPa
    double omega;                      // acentric factor
    double zra;                        // Rackett compressibility, basis of the volume translation
    IdealGasCp cp;
};

enum class EosKind { PR, SRK };

// The built-in database (at least 45 compounds), in a fixed order.
const std::vector<Compound>& CompoundDatabase();

// Case-insensitive look-up by name or alias; null when unknown.
const Compound* FindCompound(std::string_view nameOrAlias);

// Default binary interaction parameter k_ij for the pair (symmetric; 0 for pairs
// without a tabulated value), for the given equation of state.
double DefaultKij(const Compound& a, const Compound& b, EosKind eos);

}  // namespace pyrana::thermo
