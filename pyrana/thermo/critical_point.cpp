// Mixture critical point at fixed composition.
//
// Heidemann & Khalil (1980, AIChE J. 26, 769–779) criteria in the form Michelsen
// (1980, Fluid Phase Equilib. 4, 1–10) made practical: with Q_ij = ∂²(A/RT)/∂n_i∂n_j
// at T, V (= ∂²F/∂n_i∂n_j + δ_ij/n_i), the smallest eigenvalue λ of √(z_i z_j) Q_ij
// vanishes, and the cubic form along its eigenvector Δn (Δn_i = √z_i u_i) vanishes:
// C = d²/ds² Σ Δn_i ∂(A/RT)/∂n_i (n + s Δn) = 0, evaluated by central differences.
// For each packing fraction κ = b/V the first condition is solved for T by a
// bracketed secant method (starting from 1.5 Σ z_i Tc_i downwards); κ is then
// found by the secant method on C, with a scan over κ when that fails.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "pyrana/thermo/calculator_internal.h"

namespace pyrana::thermo {
namespace {

// Smallest eigenvalue and its unit eigenvector of the symmetric n×n matrix a
// (destroyed) by cyclic Jacobi rotations; v is n×n scratch.
double SmallestEigen(int n, std::vector<double>& a, std::vector<double>& v, double* vec) {
    std::fill(v.begin(), v.end(), 0.0);
    for (int i = 0; i < n; ++i)
        v[i * n + i] = 1.0;
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0.0, diag = 0.0;
        for (int i = 0; i < n; ++i) {
            diag += a[i * n + i] * a[i * n + i];
            for (int j = i + 1; j < n; ++j)
                off += a[i * n + j] * a[i * n + j];
        }
        if (off <= 1e-30 * std::max(diag, 1e-300))
            break;
        for (int pp = 0; pp < n; ++pp) {
            for (int q = pp + 1; q < n; ++q) {
                const double apq = a[pp * n + q];
                if (std::fabs(apq) < 1e-300)
                    continue;
                const double theta = (a[q * n + q] - a[pp * n + pp]) / (2.0 * apq);
                const double t =
                    (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double akp = a[k * n + pp], akq = a[k * n + q];
                    a[k * n + pp] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {
                    const double apk = a[pp * n + k], aqk = a[q * n + k];
                    a[pp * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = v[k * n + pp], vkq = v[k * n + q];
                    v[k * n + pp] = c * vkp - s * vkq;
                    v[k * n + q] = s * vkp + c * vkq;
                }
            }
        }
    }
    int best = 0;
    for (int i = 1; i < n; ++i) {
        if (a[i * n + i] < a[best * n + best])
            best = i;
    }
    for (int k = 0; k < n; ++k)
        vec[k] = v[k * n + best];
    return a[best * n + best];
}

struct CriticalSolver {
    Model& m;
    const std::vector<double>& z;
    int nc;
    int evaluations = 0;
    std::vector<double> fnn, a, v, u, dn, n1, fn;

    CriticalSolver(Model& model, const std::vector<double>& comp)
        : m(model), z(comp), nc(model.size()) {
        fnn.resize(nc * nc);
        a.resize(nc * nc);
        v.resize(nc * nc);
        u.resize(nc);
        dn.resize(nc);
        n1.resize(nc);
        fn.resize(nc);
    }

    // λ_min at (T, V) and the eigen-direction in dn; NaN when undefined.
    double Lambda(double t, double vol) {
        ++evaluations;
        if (!m.HelmholtzTV(t, vol, z.data(), nullptr, nullptr, fnn.data()))
            return NAN;
        for (int i = 0; i < nc; ++i) {
            for (int j = 0; j < nc; ++j) {
                a[i * nc + j] =
                    std::sqrt(z[i] * z[j]) * (fnn[i * nc + j] + (i == j ? 1.0 / z[i] : 0.0));
            }
        }
        const double lam = SmallestEigen(nc, a, v, u.data());
        for (int i = 0; i < nc; ++i)
            dn[i] = std::sqrt(z[i]) * u[i];
        return lam;
    }

    // Σ Δn_i ∂(A/RT)/∂n_i at n = z + s Δn (the common ln V term is left out).
    double Directional(double t, double vol, double s) {
        for (int i = 0; i < nc; ++i)
            n1[i] = z[i] + s * dn[i];
        ++evaluations;
        if (!m.HelmholtzTV(t, vol, n1.data(), nullptr, fn.data(), nullptr))
            return NAN;
        double sum = 0.0;
        for (int i = 0; i < nc; ++i)
            sum += dn[i] * (fn[i] + std::log(n1[i]));
        return sum;
    }

    // Cubic form along the eigenvector of λ_min (Lambda must have run at t, vol).
    double Cubic(double t, double vol) {
        double smax = HUGE_VAL;
        for (int i = 0; i < nc; ++i) {
            if (dn[i] != 0.0)
                smax = std::min(smax, z[i] / std::fabs(dn[i]));
        }
        const double s = std::min(1e-4, 0.1 * smax);
        const double fp = Directional(t, vol, s), f0 = Directional(t, vol, 0.0),
                     fm = Directional(t, vol, -s);
        return (fp - 2.0 * f0 + fm) / (s * s);
    }

    // T where λ_min = 0 at this volume: from tStart downwards until λ changes sign,
    // then the Illinois variant of regula falsi. NaN when no sign change.
    double SolveT(double vol, double tStart) {
        double tb = tStart, lb = Lambda(tb, vol);
        int up = 0;
        while (!(lb > 0.0) && up < 20) {  // start where the matrix is positive definite
            tb *= 1.3;
            lb = Lambda(tb, vol);
            ++up;
        }
        if (!(lb > 0.0))
            return NAN;
        double ta = tb, la = lb;
        for (int k = 0; k < 80; ++k) {
            ta = tb * 0.95;
            la = Lambda(ta, vol);
            if (!std::isfinite(la))
                return NAN;
            if (la < 0.0)
                break;
            tb = ta;
            lb = la;
            if (ta < 1.0)
                return NAN;
        }
        if (!(la < 0.0))
            return NAN;
        int side = 0;
        for (int it = 0; it < 100; ++it) {
            const double tc = (ta * lb - tb * la) / (lb - la);
            const double lc = Lambda(tc, vol);
            if (!std::isfinite(lc))
                return NAN;
            if (std::fabs(lc) < 1e-12 || std::fabs(tb - ta) < 1e-10 * tc)
                return tc;
            if (lc < 0.0) {
                ta = tc;
                la = lc;
                if (side == -1)
                    lb *= 0.5;
                side = -1;
            } else {
                tb = tc;
                lb = lc;
                if (side == 1)
                    la *= 0.5;
                side = 1;
            }
        }
        return 0.5 * (ta + tb);
    }
};

}  // namespace

namespace {

// One root of the critical conditions in the packing fraction κ = b/V.
struct KappaRoot {
    double kappa;
    double t;
};

// C(κ) with the temperature that makes λ_min vanish at V = b/κ; NaN where
// λ_min has no root.
struct CubicAlongKappa {
    CriticalSolver& cs;
    double b;
    double tpc;
    double operator()(double kappa, double* tOut) {
        const double vol = b / kappa;
        const double t = cs.SolveT(vol, 1.5 * tpc);
        if (!std::isfinite(t))
            return NAN;
        *tOut = t;
        cs.Lambda(t, vol);
        return cs.Cubic(t, vol);
    }
};

// Refines a sign change of C between ka and kb by the Illinois variant of
// regula falsi. A sign change across a jump of T(κ) (the λ_min root moving
// to another branch) is no root: such brackets are rejected by asking T to
// vary continuously as the bracket shrinks.
bool RefineKappa(CubicAlongKappa& cubic, double ka, double ca, double ta, double kb, double cb,
                 double tb, KappaRoot* root, int* iterations) {
    int side = 0;
    double km = ka, tm = ta;
    for (int it = 0; it < 100; ++it) {
        ++*iterations;
        km = (ka * cb - kb * ca) / (cb - ca);
        if (!(km > std::min(ka, kb) && km < std::max(ka, kb)))
            km = 0.5 * (ka + kb);
        const double cm = cubic(km, &tm);
        if (!std::isfinite(cm))
            return false;
        if (cm == 0.0 || std::fabs(kb - ka) < 1e-12 * km)
            break;
        if ((cm > 0.0) == (ca > 0.0)) {
            ka = km;
            ca = cm;
            ta = tm;
            if (side == -1)
                cb *= 0.5;
            side = -1;
        } else {
            kb = km;
            cb = cm;
            tb = tm;
            if (side == 1)
                ca *= 0.5;
            side = 1;
        }
    }
    if (std::fabs(ta - tb) > 1e-6 * tm + 1e-9 && std::fabs(kb - ka) < 1e-9)
        return false;
    root->kappa = km;
    root->t = tm;
    return true;
}

}  // namespace

std::vector<CriticalPointResult> Calculator::CriticalPoints(const double* zIn) {
    std::vector<CriticalPointResult> found;
    CriticalPointResult invalid;
    Work& w = *work_;
    if (!detail::NormaliseComposition(nc_, zIn, w.z.data(), &invalid.message)) {
        found.push_back(invalid);
        return found;
    }
    for (int i = 0; i < nc_; ++i) {
        if (!(w.z[i] > 0.0)) {
            std::ostringstream os;
            os << "composition[" << i << "] = 0: the critical point needs every compound present";
            invalid.message = os.str();
            found.push_back(invalid);
            return found;
        }
    }
    std::vector<double> z(w.z.begin(), w.z.end());
    const Fluid& f = fluid();
    double tpc = 0.0;
    for (int i = 0; i < nc_; ++i)
        tpc += z[i] * f.compound(i).tc;
    CriticalSolver cs(*model_, z);
    CubicAlongKappa cubic{cs, model_->CoVolume(z.data()), tpc};

    // Every sign change of C over the packing fractions a fluid can have,
    // each refined to its root.
    int iterations = 0;
    std::vector<KappaRoot> roots;
    const double kStep = 0.01;
    double ka = 0.02, ta = 0.0;
    double ca = cubic(ka, &ta);
    for (double kb = ka + kStep; kb < 0.951; kb += kStep) {
        double tb = 0.0;
        const double cb = cubic(kb, &tb);
        ++iterations;
        if (std::isfinite(ca) && std::isfinite(cb) && (ca > 0.0) != (cb > 0.0)) {
            KappaRoot root{};
            if (RefineKappa(cubic, ka, ca, ta, kb, cb, tb, &root, &iterations))
                roots.push_back(root);
        }
        ka = kb;
        ca = cb;
        ta = tb;
    }

    for (const KappaRoot& root : roots) {
        CriticalPointResult r;
        const double vol = cubic.b / root.kappa;
        double p = 0.0;
        model_->HelmholtzTV(root.t, vol, z.data(), &p, nullptr, nullptr);
        r.t = root.t;
        r.v = vol;
        r.p = p;
        r.iterations = iterations;
        r.evaluations = cs.evaluations;
        if (!(p > 0.0) || !std::isfinite(p))
            continue;
        // A critical point lies on the phase envelope only where the feed
        // is stable: elsewhere a third phase of lower Gibbs energy exists
        // and the critical phase is metastable or unstable.
        const StabilityResult st = Stability(root.t, p, z.data());
        r.stable = st.stable || st.minTm > -1e-6;
        // Nor where the feed's root of lower Gibbs energy there is another
        // than the critical phase's: a root at the volume of a liquid where
        // the feed is a vapour (methane/CO2 at 193 K and 465 kPa, on its
        // dew curve) is the critical point of a metastable phase.
        RootInfo stableRoot;
        std::vector<double> lnPhi(nc_);
        if (r.stable && LnPhi(root.t, p, z.data(), Root::Stable, lnPhi.data(), &stableRoot)) {
            const double zCritical = p * vol / (kGasConstant * root.t);
            if (std::fabs(stableRoot.z - zCritical) > 0.1 * zCritical)
                r.stable = false;
        }
        r.outcome = Outcome::kConverged;
        std::ostringstream os;
        os << "critical point " << root.t << " K, " << p << " kPa"
           << (r.stable ? "" : " (not on the envelope: a state of lower Gibbs energy exists)");
        r.message = os.str();
        found.push_back(r);
    }
    // Stable roots first, in order of temperature; then the others.
    std::stable_sort(found.begin(), found.end(),
                     [](const CriticalPointResult& a, const CriticalPointResult& b) {
                         if (a.stable != b.stable)
                             return a.stable;
                         return a.t > b.t;
                     });
    return found;
}

CriticalPointResult Calculator::CriticalPoint(const double* zIn) {
    std::vector<CriticalPointResult> all = CriticalPoints(zIn);
    if (all.empty()) {
        CriticalPointResult r;
        r.outcome = Outcome::kNotConverged;
        r.message = "no critical point found";
        return r;
    }
    return all.front();
}

}  // namespace pyrana::thermo
