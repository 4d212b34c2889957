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

CriticalPointResult Calculator::CriticalPoint(const double* zIn) {
    CriticalPointResult r;
    Work& w = *work_;
    if (!detail::NormaliseComposition(nc_, zIn, w.z.data(), &r.message))
        return r;
    for (int i = 0; i < nc_; ++i) {
        if (!(w.z[i] > 0.0)) {
            std::ostringstream os;
            os << "composition[" << i << "] = 0: the critical point needs every compound present";
            r.message = os.str();
            return r;
        }
    }
    std::vector<double> z(w.z.begin(), w.z.end());
    const Fluid& f = fluid();
    double tpc = 0.0;
    for (int i = 0; i < nc_; ++i)
        tpc += z[i] * f.compound(i).tc;
    const double b = model_->CoVolume(z.data());
    CriticalSolver cs(*model_, z);
    double tLast = 1.5 * tpc;
    // C as a function of the packing fraction κ = b/V, with the T that makes λ = 0.
    auto cubicAt = [&](double kappa, double* tOut) -> double {
        const double vol = b / kappa;
        const double t = cs.SolveT(vol, std::max(tLast, 1.5 * tpc));
        if (!std::isfinite(t))
            return NAN;
        *tOut = t;
        cs.Lambda(t, vol);
        return cs.Cubic(t, vol);
    };
    int iters = 0;
    double k0 = 0.25, t0 = 0.0;
    double c0 = cubicAt(k0, &t0);
    double k1 = 0.28, t1 = 0.0;
    double c1 = cubicAt(k1, &t1);
    bool ok = false;
    double kc = 0, tc = 0;
    for (int it = 0; it < 50 && std::isfinite(c0) && std::isfinite(c1); ++it) {
        ++iters;
        if (c1 == c0)
            break;
        double k2 = k1 - c1 * (k1 - k0) / (c1 - c0);
        k2 = std::min(0.95, std::max(0.02, k2));
        double t2 = 0.0;
        const double c2 = cubicAt(k2, &t2);
        if (!std::isfinite(c2))
            break;
        k0 = k1;
        c0 = c1;
        k1 = k2;
        c1 = c2;
        t1 = t2;
        if (std::fabs(k1 - k0) < 1e-11 * k1) {
            ok = true;
            kc = k1;
            tc = t1;
            break;
        }
    }
    if (!ok) {
        // Scan κ for a sign change of C, then bisect.
        double ka = 0.05, ta = 0.0;
        double ca = cubicAt(ka, &ta);
        for (double kb = 0.075; kb < 0.95 && !ok; kb += 0.025) {
            double tb = 0.0;
            const double cb = cubicAt(kb, &tb);
            ++iters;
            if (std::isfinite(ca) && std::isfinite(cb) && (ca > 0) != (cb > 0)) {
                double lo = ka, hi = kb, clo = ca;
                for (int it = 0; it < 60; ++it) {
                    const double km = 0.5 * (lo + hi);
                    double tm = 0.0;
                    const double cm = cubicAt(km, &tm);
                    if (!std::isfinite(cm))
                        break;
                    if ((cm > 0) == (clo > 0)) {
                        lo = km;
                        clo = cm;
                    } else {
                        hi = km;
                    }
                    kc = km;
                    tc = tm;
                }
                ok = std::fabs(hi - lo) < 1e-9;
            }
            ka = kb;
            ca = cb;
        }
    }
    r.iterations = iters;
    r.evaluations = cs.evaluations;
    if (!ok) {
        r.outcome = Outcome::kNotConverged;
        r.message = "no critical point found";
        return r;
    }
    const double vol = b / kc;
    double p = 0.0;
    model_->HelmholtzTV(tc, vol, z.data(), &p, nullptr, nullptr);
    r.t = tc;
    r.v = vol;
    r.p = p;
    if (!(p > 0.0)) {
        r.outcome = Outcome::kNotConverged;
        r.message = "critical conditions met at a non-positive pressure";
        return r;
    }
    r.outcome = Outcome::kConverged;
    std::ostringstream os;
    os << "critical point " << tc << " K, " << p << " kPa";
    r.message = os.str();
    return r;
}

}  // namespace pyrana::thermo
