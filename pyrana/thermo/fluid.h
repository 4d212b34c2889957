// The fluid definition of the reference host's thermodynamic model: which
// compounds, which cubic equation of state, the binary interaction parameters
// and whether volumes carry the Peneloux translation.
//
// A FluidDefinition is what a caller fills in (compounds by database name or
// as user-defined pseudo-components, k_ij overrides); Fluid::Create validates
// it and produces an immutable Fluid holding every per-compound constant the
// equation of state needs, already reduced to the form it uses (a_c, b, m, c).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "pyrana/thermo/compound.h"

namespace pyrana::thermo {

// Gas constant, kJ/(kmol K) = kPa m3/(kmol K).
inline constexpr double kGasConstant = 8.31446261815324;
// Reference state of enthalpy and entropy: each compound as ideal gas here has H = S = 0.
inline constexpr double kReferenceTemperature = 298.15;  // K
inline constexpr double kReferencePressure = 101.325;    // kPa

// One entry of a fluid definition.
struct ComponentSpec {
    // Database compound: the name or alias to look up (FindCompound).
    // User compound: the name it is reported under.
    std::string name;
    // true: `data` holds a user-defined compound (pseudo-component); the
    // database is not consulted. Its `cp` may be all zero, in which case the
    // ideal-gas heat capacity is estimated (EstimateIdealGasCp).
    bool user = false;
    Compound data{};
};

// An override of one binary interaction parameter, by component index.
struct KijOverride {
    int i = 0;
    int j = 0;
    double value = 0.0;
};

struct FluidDefinition {
    std::vector<ComponentSpec> components;
    EosKind eos = EosKind::PR;
    // Peneloux translation of molar volumes (it leaves ln phi, H, S and all
    // equilibria unchanged: the shift of ln phi_i would be the same in every phase).
    bool volumeTranslation = false;
    // Applied after the default table (DefaultKij), symmetric: (i,j) also sets (j,i).
    std::vector<KijOverride> kij;

    // Convenience: add a database compound by name or alias.
    FluidDefinition& Add(std::string nameOrAlias);
    // Convenience: add a user compound from Tc [K], Pc [kPa], acentric factor
    // and molar mass [kg/kmol]; family pseudo, Z_RA from ω, Cp estimated.
    FluidDefinition& AddPseudo(std::string name, double tc, double pc, double omega,
                               double molarMass);
    FluidDefinition& SetKij(int i, int j, double value);
};

// Estimate of the ideal-gas heat capacity of a pseudo-component from its molar
// mass: the component is taken as the n-paraffin of the same molar mass
// (carbon number n = (M - 2.016)/14.027, fractional allowed, at least 1) and
// its Cp° is built from Joback's group contributions (2 CH3 + (n-2) CH2; Joback
// & Reid 1987, as tabulated by Poling, Prausnitz & O'Connell, 5th ed., ch. 3).
// Joback's cubic in T is converted to Cp°/R with a[4] = 0, range 200–1000 K.
// For n-alkanes it reproduces Cp°(298 K) to about 1 % (n-decane 234.8 J/(mol K)
// against 233); aromatic or naphthenic fractions come out some 10 % high.
IdealGasCp EstimateIdealGasCp(double molarMass);

// Rackett compressibility when none is known: Z_RA = 0.29056 - 0.08775 ω
// (Yamada & Gunn 1973).
double EstimateRackettZ(double omega);

// An immutable, validated fluid. Per-compound arrays are indexed like the
// definition's components.
class Fluid {
  public:
    // Validates `def` and builds the fluid. On failure returns nullopt and, when
    // `error` is not null, a message naming the component, the field, its value
    // and the rule it broke, e.g. "component 'X7': Tc = -5 K must be positive".
    static std::optional<Fluid> Create(const FluidDefinition& def, std::string* error);

    int size() const { return static_cast<int>(compounds_.size()); }
    EosKind eos() const { return eos_; }
    bool volumeTranslation() const { return volumeTranslation_; }
    const Compound& compound(int i) const { return compounds_[i]; }
    // Index of the compound with this name or alias (case-insensitive), or -1.
    int IndexOf(const std::string& nameOrAlias) const;

    // Symmetric k_ij (zero diagonal).
    double kij(int i, int j) const { return kij_[i * size() + j]; }

    // Equation-of-state constants.
    double delta1() const { return delta1_; }    // PR 1+√2, SRK 1
    double delta2() const { return delta2_; }    // PR 1-√2, SRK 0
    double ac(int i) const { return ac_[i]; }    // a at Tc, kPa m6/kmol2
    double b(int i) const { return b_[i]; }      // co-volume, m3/kmol
    double m(int i) const { return m_[i]; }      // alpha slope: √α = 1 + m (1 - √Tr)
    double shift(int i) const { return c_[i]; }  // Peneloux shift, m3/kmol (0 when off)

    // Aqueous candidates: water, methanol, ethanol, glycols (family 3 or host IDs
    // 19, 29, 30, 54). They get near-pure stability trials and decide which of two
    // liquids is reported second.
    bool isAqueous(int i) const { return aqueous_[i] != 0; }
    bool hasAqueous() const;
    int waterIndex() const { return water_; }  // -1 when absent

    // Wilson's K-value estimate at T [K], P [kPa].
    double WilsonK(int i, double t, double p) const;

  private:
    std::vector<Compound> compounds_;
    EosKind eos_ = EosKind::PR;
    bool volumeTranslation_ = false;
    std::vector<double> kij_;
    double delta1_ = 0.0, delta2_ = 0.0;
    std::vector<double> ac_, b_, m_, c_;
    std::vector<char> aqueous_;
    int water_ = -1;
};

}  // namespace pyrana::thermo
