// Two-parameter cubic equations of state (Peng–Robinson, Soave–Redlich–Kwong)
// in the generic form P = RT/(V-b) - a/((V+δ1 b)(V+δ2 b)) with the van der
// Waals one-fluid mixing rule, implementing the Model interface.
//
// Every property comes from the reduced residual Helmholtz energy
//   F = -n ln(1 - B/V) - D(T)/T · f(V, B),  f = ln((V+δ1B)/(V+δ2B)) / (R B (δ1-δ2)),
// with B = Σ n_i b_i and D = ΣΣ n_i n_j √(a_i a_j)(1 - k_ij), and its analytic
// derivatives as laid out by Michelsen & Mollerup ("Thermodynamic Models:
// Fundamentals and Computational Aspects", 2nd ed., ch. 2–3). Roots of the cubic
// in Z come in closed form (trigonometric for three real roots) and are polished
// by Newton steps.
//
// Temperature-dependent data (√a_i and its T-derivatives, a_ij and its
// T-derivatives) are recomputed only when T changes; all scratch space is
// allocated once in the constructor, so property calls never allocate.
#pragma once
#include <vector>

#include "pyrana/thermo/fluid.h"
#include "pyrana/thermo/model.h"

namespace pyrana::thermo {

class CubicEos final : public Model {
  public:
    explicit CubicEos(Fluid fluid);

    const Fluid& fluid() const override { return fluid_; }
    int size() const override { return nc_; }

    bool LnPhi(double t, double p, const double* x, Root root, double* lnPhi, double* dLnPhiDT,
               double* dLnPhiDP, double* dLnPhiDN, RootInfo* info) override;
    bool Residual(double t, double p, const double* x, Root root, double* hRes, double* sRes,
                  double* cpRes, RootInfo* info) override;
    double PhaseIdentification(double t, double p, const double* x, Root root) override;
    void IdealGas(double t, double p, const double* x, double* h, double* s,
                  double* cp) const override;
    bool HelmholtzTV(double t, double v, const double* n, double* p, double* fn,
                     double* fnn) override;
    double CoVolume(const double* x) const override;

    // Real roots of Z³ + c2 Z² + c1 Z + c0 = 0, ascending, each polished by Newton
    // steps; `roots` has room for 3. Returns the count (1 or 3; a double root is
    // reported twice). Exposed for tests.
    static int SolveCubic(double c2, double c1, double c0, double* roots);

  private:
    // Per-call mixture state (n = 1 basis).
    struct State {
        double t, p, a, b, bigA, bigB, z, v;
        int roots;
        bool largest;
    };
    // The functions f(V,B), g(V,B) and their derivatives at one (V, B).
    struct Vb {
        double g, gV, gB, gVV, gBV, gBB, gVVV;
        double f, fV, fB, fVV, fBV, fBB, fVVV;
    };

    void SetTemperature(double t, bool derivatives);
    bool Prepare(double t, double p, const double* x, Root root, bool tDerivatives, State* s);
    void FillVb(double v, double b, Vb* q) const;
    double DepartureGibbs(double z, double bigA, double bigB) const;

    Fluid fluid_;
    int nc_;
    double d1_, d2_;

    // Temperature cache.
    double tCached_ = -1.0;
    bool tDerivCached_ = false;
    std::vector<double> sqrtAc_;                    // √ac_i [nc]
    std::vector<double> sqrtA_, dSqrtA_, d2SqrtA_;  // [nc]
    std::vector<double> oneMinusK_;                 // [nc*nc]
    std::vector<double> aij_, aijT_, aijTT_;        // [nc*nc]

    // Scratch.
    std::vector<double> x_;                   // normalised composition
    std::vector<double> psi_, psiT_, psiTT_;  // Σ_j a_ij x_j and its T-derivatives
    std::vector<double> pi_;                  // ∂P/∂n_i
};

}  // namespace pyrana::thermo
