// The narrow interface through which the reference host's algorithms
// (stability, flash, saturation, critical point) see a thermodynamic model.
//
// The algorithms know a model only through `Model`: ln fugacity coefficients
// with optional analytic derivatives at (T, P, composition, root), residual
// enthalpy/entropy/heat capacity, the ideal-gas part, and the reduced residual
// Helmholtz energy at (T, V, n) for the critical-point conditions. The cubic
// equations (cubic_eos.h) implement it; another model would plug in the same way.
//
// Every array argument is caller-owned storage of the documented size; the model
// never keeps a pointer past the call. Calls are not thread-safe on one
// instance (the model reuses its own scratch space, sized once at construction).
#pragma once

namespace pyrana::thermo {

class Fluid;

// Which volume root to use at given T, P and composition.
enum class Root {
    Vapour,  // largest admissible Z
    Liquid,  // smallest admissible Z
    Stable,  // the admissible root of lower Gibbs energy
};

// What a property call found about the chosen root.
struct RootInfo {
    double z = 0;          // compressibility factor of the chosen root
    double v = 0;          // molar volume, m3/kmol (volume-translated when the fluid asks)
    int roots = 0;         // number of admissible roots (Z > B): 1 or 3 (2 distinct choices)
    bool largest = false;  // the chosen root is the largest admissible one
};

class Model {
  public:
    virtual ~Model() = default;

    virtual const Fluid& fluid() const = 0;
    virtual int size() const = 0;

    // ln φ_i at T [K], P [kPa] and composition x.
    //   x:        [nc] mole fractions or mole numbers (normalised internally); >= 0, sum > 0.
    //   lnPhi:    [nc] out, required.
    //   dLnPhiDT: [nc] out, ∂ln φ_i/∂T at P, x (1/K); null when not wanted.
    //   dLnPhiDP: [nc] out, ∂ln φ_i/∂P at T, x (1/kPa); null when not wanted.
    //   dLnPhiDN: [nc*nc] out, row-major, n ∂ln φ_i/∂n_j at T, P (n = total moles);
    //             symmetric, Σ_i x_i (n ∂ln φ_i/∂n_j) = 0; null when not wanted.
    //   info:     out, root description; null when not wanted.
    // Returns false (outputs unspecified) when T <= 0, P <= 0, x has a negative or
    // non-finite entry or sums to zero.
    virtual bool LnPhi(double t, double p, const double* x, Root root, double* lnPhi,
                       double* dLnPhiDT, double* dLnPhiDP, double* dLnPhiDN, RootInfo* info) = 0;

    // Residual (departure from ideal gas at the same T, P, x) molar enthalpy
    // [kJ/kmol], entropy [kJ/(kmol K)] and isobaric heat capacity [kJ/(kmol K)]; any
    // output pointer may be null. Same inputs and return value as LnPhi.
    virtual bool Residual(double t, double p, const double* x, Root root, double* hRes,
                          double* sRes, double* cpRes, RootInfo* info) = 0;

    // Phase identification parameter Π (Venkatarathnam & Oellrich 2011) of the chosen
    // root: Π > 1 liquid-like, Π <= 1 vapour-like (the ideal gas has Π = 1). NaN on invalid input.
    virtual double PhaseIdentification(double t, double p, const double* x, Root root) = 0;

    // Ideal-gas molar enthalpy [kJ/kmol], entropy [kJ/(kmol K)] (including mixing and
    // the pressure term against 101.325 kPa) and heat capacity [kJ/(kmol K)] at T [K],
    // P [kPa], mole fractions x[nc] (normalised internally). Null outputs are skipped.
    virtual void IdealGas(double t, double p, const double* x, double* h, double* s,
                          double* cp) const = 0;

    // Reduced residual Helmholtz energy F = A^r/(RT) at T [K], total volume V [m3]
    // and mole numbers n[nc] [kmol]:
    //   p:   out, pressure [kPa]; null when not wanted.
    //   fn:  [nc] out, ∂F/∂n_i at T, V; null when not wanted.
    //   fnn: [nc*nc] out, row-major ∂²F/∂n_i∂n_j at T, V [1/kmol]; null when not wanted.
    // Returns false when V is not above the co-volume or inputs are invalid.
    virtual bool HelmholtzTV(double t, double v, const double* n, double* p, double* fn,
                             double* fnn) = 0;

    // Mixture co-volume Σ x_i b_i [m3/kmol] of mole fractions x[nc] (normalised internally).
    virtual double CoVolume(const double* x) const = 0;
};

}  // namespace pyrana::thermo
