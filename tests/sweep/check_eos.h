// A second, deliberately plain implementation of the cubic equations of
// state, for checks that must not trust the reference host's model: ln φ of
// Peng-Robinson and Soave-Redlich-Kwong with the van der Waals one-fluid
// mixing rule, computed from the compounds' critical constants, acentric
// factors and the fluid's k_ij. It shares no code with pyrana/thermo beyond
// reading those constants; it has no derivatives, caches nothing and is
// meant to be slow and obvious.
#pragma once

#include <vector>

#include "pyrana/thermo/fluid.h"

namespace sweep {

class CheckEos {
  public:
    explicit CheckEos(const pyrana::thermo::Fluid& fluid);

    int size() const { return static_cast<int>(tc_.size()); }
    double tc(int i) const { return tc_[i]; }
    double pc(int i) const { return pc_[i]; }
    double omega(int i) const { return omega_[i]; }

    // ln φ_i of the root of lower Gibbs energy at T [K], P [kPa] and mole
    // fractions x [size()] (normalised here; entries >= 0, sum > 0) into
    // lnPhi [size()]. Returns the reduced residual Gibbs energy of that root,
    // Σ x_i ln φ_i, or NaN when no admissible root exists.
    double LnPhi(double t, double p, const double* x, double* lnPhi) const;

    // Reduced Gibbs energy of the vapour root less that of the liquid root,
    // Σ x_i (ln φ_i^V - ln φ_i^L), at T, P and x; NaN when the cubic has one
    // admissible root. Zero on a pure compound's vapour-pressure curve.
    double RootGibbsGap(double t, double p, const double* x) const;

  private:
    // The admissible roots' Σ x_i ln φ_i, ascending in Z; ln φ of the root
    // of lower Gibbs energy into lnPhi when it is not null.
    std::vector<double> RootGibbs(double t, double p, const double* x, double* lnPhi) const;

    std::vector<double> tc_, pc_, omega_;
    std::vector<double> kij_;  // size() x size(), row-major
    double omegaA_, omegaB_, delta1_, delta2_;
    bool pr_;
};

}  // namespace sweep
