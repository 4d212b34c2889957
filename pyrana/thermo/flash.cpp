// Isothermal (PT) flash with up to three phases.
//
// Stability analysis of the feed first; an unstable trial seeds the two-phase
// split (K = W/z), solved by successive substitution on ln K with the
// Rachford–Rice equation in β (Leibovici–Neoschil bracket, safeguarded Newton)
// and dominant-eigenvalue acceleration, then by Newton steps on the Gibbs energy
// in the mole numbers (Michelsen 1982, Fluid Phase Equilib. 9, 21–40). A
// stability test of one phase of the split looks for a third phase; three
// phases are solved by successive substitution with the phase fractions from
// the convex minimisation Q(β) = Σ β_k - Σ z_i ln Σ_k β_k/φ_ik over β >= 0
// (Michelsen 1994; the reference-phase form of Okuno, Johns & Sepehrnoori 2010
// is the same problem with negative fractions allowed), which removes a
// vanishing phase by itself, and finished by the same Newton method.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "pyrana/thermo/calculator_internal.h"

namespace pyrana::thermo {
namespace detail {
namespace {

// The split's stability test runs every compound's near-pure trial up to this
// many compounds present; the liquids it was needed for (a methane-rich
// liquid between vapour and an aromatic liquid, a CO2-rich liquid) appeared
// in fluids of ten compounds at most.
const int kFullSplitTest = 20;

// Rachford–Rice: Σ z_i (K_i - 1)/(1 + β (K_i - 1)) = 0 for β inside the bracket that
// keeps both phases' mole fractions in [0, 1] (Leibovici & Neoschil 1992). False when
// every K is on one side of 1.
bool SolveRachfordRice(const Calculator::Work& w, const double* z, const double* k, double* beta) {
    double lo = -HUGE_VAL, hi = HUGE_VAL;
    bool above = false, below = false;
    for (int i = 0; i < w.nc; ++i) {
        if (!w.present[i])
            continue;
        const double ki = k[i];
        if (ki > 1.0) {
            above = true;
            lo = std::max(lo, (ki * z[i] - 1.0) / (ki - 1.0));
        } else if (ki < 1.0) {
            below = true;
            hi = std::min(hi, (1.0 - z[i]) / (1.0 - ki));
        }
    }
    if (!above || !below || !(lo < hi))
        return false;
    auto g = [&](double b, double* dg) {
        double s = 0.0, ds = 0.0;
        for (int i = 0; i < w.nc; ++i) {
            if (!w.present[i])
                continue;
            const double km1 = k[i] - 1.0;
            const double e = 1.0 / (1.0 + b * km1);
            s += z[i] * km1 * e;
            ds -= z[i] * km1 * km1 * e * e;
        }
        *dg = ds;
        return s;
    };
    double b = std::min(std::max(*beta, lo), hi);
    if (!(b > lo && b < hi))
        b = 0.5 * (lo + hi);
    for (int it = 0; it < 100; ++it) {
        double dg;
        const double gv = g(b, &dg);
        if (gv > 0.0) {
            lo = b;
        } else {
            hi = b;
        }
        if (gv == 0.0)
            break;
        double bn = b - gv / dg;
        if (!(bn > lo && bn < hi))
            bn = 0.5 * (lo + hi);
        if (std::fabs(bn - b) <= 1e-15 * std::max(1.0, std::fabs(b))) {
            b = bn;
            break;
        }
        b = bn;
        if (hi - lo <= 1e-16 * std::max(1.0, std::fabs(b)))
            break;
    }
    *beta = b;
    return true;
}

// Phase fractions of np phases at fixed fugacity coefficients: minimises the convex
// Q(β) = Σ_k β_k - Σ_i z_i ln E_i, E_i = Σ_k β_k ψ_ik, ψ_ik = exp(-(ln φ_ik - min_k ln φ_ik)),
// over β >= 0 by an active-set Newton method. Leaves ψ in w.psi ([np][nc]) and E in w.g.
void SolveFractions(Calculator::Work& w, const double* z, int np, double* beta) {
    const int nc = w.nc;
    double* psi = w.psi.data();
    for (int i = 0; i < nc; ++i) {
        if (!w.present[i])
            continue;
        double lo = HUGE_VAL;
        for (int k = 0; k < np; ++k)
            lo = std::min(lo, w.lnPhi[k][i]);
        for (int k = 0; k < np; ++k)
            psi[k * nc + i] = std::exp(-(w.lnPhi[k][i] - lo));
    }
    double sum = 0.0;
    for (int k = 0; k < np; ++k) {
        if (!(beta[k] > 0.0))
            beta[k] = 0.0;
        sum += beta[k];
    }
    if (!(sum > 0.0)) {
        for (int k = 0; k < np; ++k)
            beta[k] = 1.0 / np;
    }
    auto fill = [&]() {
        double q = 0.0;
        for (int k = 0; k < np; ++k)
            q += beta[k];
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i])
                continue;
            double e = 0.0;
            for (int k = 0; k < np; ++k)
                e += beta[k] * psi[k * nc + i];
            w.g[i] = e;
            q -= z[i] * std::log(e);
        }
        return q;
    };
    double q = fill();
    double grad[kMaxPhases], hess[kMaxPhases * kMaxPhases], step[kMaxPhases];
    int freeIdx[kMaxPhases];
    int pivots[kMaxPhases];
    for (int it = 0; it < 100; ++it) {
        for (int k = 0; k < np; ++k) {
            double s = 1.0;
            for (int i = 0; i < nc; ++i) {
                if (w.present[i])
                    s -= z[i] * psi[k * nc + i] / w.g[i];
            }
            grad[k] = s;
        }
        int nf = 0;
        double gmax = 0.0;
        for (int k = 0; k < np; ++k) {
            if (beta[k] > 0.0 || grad[k] < 0.0) {
                freeIdx[nf++] = k;
                gmax = std::max(gmax, std::fabs(grad[k]));
            }
        }
        if (gmax < 1e-14 || nf == 0)
            break;
        for (int a = 0; a < nf; ++a) {
            for (int b = 0; b < nf; ++b) {
                const int ka = freeIdx[a], kb = freeIdx[b];
                double h = 0.0;
                for (int i = 0; i < nc; ++i) {
                    if (w.present[i])
                        h += z[i] * psi[ka * nc + i] * psi[kb * nc + i] / (w.g[i] * w.g[i]);
                }
                hess[a * nf + b] = h;
            }
            step[a] = -grad[freeIdx[a]];
        }
        if (!SolveLinear(nf, hess, step, pivots))
            break;
        // Largest step that keeps β >= 0.
        double s = 1.0;
        for (int a = 0; a < nf; ++a) {
            const int k = freeIdx[a];
            if (step[a] < 0.0 && beta[k] + s * step[a] < 0.0)
                s = -beta[k] / step[a];
        }
        double old[kMaxPhases];
        std::copy(beta, beta + np, old);
        bool improved = false;
        for (int ls = 0; ls < 30; ++ls) {
            for (int a = 0; a < nf; ++a) {
                const int k = freeIdx[a];
                beta[k] = std::max(0.0, old[k] + s * step[a]);
            }
            double tot = 0.0;
            for (int k = 0; k < np; ++k)
                tot += beta[k];
            if (tot > 0.0) {
                const double qn = fill();
                if (qn <= q + 1e-15 * std::fabs(q)) {
                    q = qn;
                    improved = true;
                    break;
                }
            }
            s *= 0.5;
        }
        if (!improved) {
            std::copy(old, old + np, beta);
            fill();
            break;
        }
    }
}

}  // namespace

namespace {

// Eigenvalues (on the diagonal of a, which is overwritten) and eigenvectors
// (the columns of v) of the symmetric n x n matrix a, by cyclic Jacobi
// rotations.
void SymmetricEigen(int n, double* a, double* v) {
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            v[i * n + j] = i == j ? 1.0 : 0.0;
    }
    for (int sweep = 0; sweep < 60; ++sweep) {
        double off = 0.0, diag = 0.0;
        for (int i = 0; i < n; ++i) {
            diag += a[i * n + i] * a[i * n + i];
            for (int j = i + 1; j < n; ++j)
                off += a[i * n + j] * a[i * n + j];
        }
        if (off <= 1e-24 * diag)
            return;
        for (int p = 0; p < n; ++p) {
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[p * n + q];
                if (apq == 0.0)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double akp = a[k * n + p], akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {
                    const double apk = a[p * n + k], aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = v[k * n + p], vkq = v[k * n + q];
                    v[k * n + p] = c * vkp - s * vkq;
                    v[k * n + q] = s * vkp + c * vkq;
                }
            }
        }
    }
}

// Solves |H| x = b in place of b, |H| being the symmetric matrix h (n x n,
// overwritten) with each eigenvalue replaced by its magnitude (at least 1e-8
// of the largest): a descent direction of a function with Hessian h and
// gradient -b even where h is indefinite. v (n x n) and y (n) are scratch.
bool SaddleFreeSolve(int n, double* h, double* b, double* v, double* y) {
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j)
            h[i * n + j] = h[j * n + i] = 0.5 * (h[i * n + j] + h[j * n + i]);
    }
    SymmetricEigen(n, h, v);
    double largest = 0.0;
    for (int i = 0; i < n; ++i)
        largest = std::max(largest, std::fabs(h[i * n + i]));
    if (!(largest > 0.0) || !std::isfinite(largest))
        return false;
    for (int k = 0; k < n; ++k) {
        double dot = 0.0;
        for (int i = 0; i < n; ++i)
            dot += v[i * n + k] * b[i];
        y[k] = dot / std::max(std::fabs(h[k * n + k]), 1e-8 * largest);
    }
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int k = 0; k < n; ++k)
            sum += v[i * n + k] * y[k];
        b[i] = sum;
    }
    return true;
}

}  // namespace

bool NewtonSplit(Model& m, Calculator::Work& w, double t, double p, const double* z, double tol,
                 int maxIt, int* iterations) {
    const int nc = w.nc, np = w.np;
    for (int k = 0; k < np; ++k) {
        if (!(w.beta[k] > 0.0))
            return false;
    }
    // Active compounds, and for each the phase that holds most of it. That phase's amount
    // of the compound follows from the material balance; the other phases' amounts are the
    // unknowns. A compound's amount is thus never the small difference of large ones: with
    // one reference phase for all compounds, a trace of water (1e-10) in a hydrocarbon
    // phase beside a nearly pure aqueous phase would carry an absolute rounding error of
    // 1e-17 of the feed's water, and the fugacity error could not fall below about 1e-8.
    int* comp = w.idx.data();
    int* ref = w.refPhase.data();
    int act = 0;
    for (int i = 0; i < nc; ++i) {
        if (!w.present[i])
            continue;
        int r = 0;
        for (int k = 1; k < np; ++k) {
            if (w.beta[k] * w.x[k][i] > w.beta[r] * w.x[r][i])
                r = k;
        }
        ref[act] = r;
        comp[act++] = i;
    }
    const int nk = np - 1;
    const int dim = nk * act;
    if (dim > w.maxDim)
        return false;
    // Phase of the s-th unknown of active compound a: the phases other than its reference.
    auto phaseOf = [&](int a, int s) { return s < ref[a] ? s : s + 1; };
    // Mole numbers n_ik (phase k, active compound a) at [k * act + a]; the material balance
    // restored through each compound's reference phase.
    double* nOld = w.nOld.data();
    auto fromMoles = [&](const double* n) {
        for (int k = 0; k < np; ++k) {
            double b = 0.0;
            for (int a = 0; a < act; ++a)
                b += n[k * act + a];
            w.beta[k] = b;
            for (int a = 0; a < act; ++a)
                w.x[k][comp[a]] = n[k * act + a] / b;
        }
    };
    for (int a = 0; a < act; ++a) {
        const int i = comp[a];
        double nr = z[i];
        for (int k = 0; k < np; ++k) {
            if (k == ref[a])
                continue;
            nOld[k * act + a] = w.beta[k] * w.x[k][i];
            nr -= nOld[k * act + a];
        }
        if (!(nr > 0.0))
            return false;
        nOld[ref[a] * act + a] = nr;
    }
    fromMoles(nOld);
    double* n = w.nTrial.data();  // trial mole numbers, [np][act]
    double* scale = w.tmp3.data();
    double* h = w.mat2.data();
    double errPrev = HUGE_VAL, gibbsPrev = HUGE_VAL;
    int slow = 0;
    for (int it = 0; it < maxIt; ++it) {
        ++*iterations;
        for (int k = 0; k < np; ++k) {
            if (!Eval(m, w, t, p, w.x[k].data(), w.lnPhi[k].data(), nullptr, w.dN[k].data()))
                return false;
        }
        const double gibbs = SplitGibbs(w);
        const double err = SplitError(w);
        if (err < tol)
            return true;
        if (!std::isfinite(err))
            return false;
        // Near the solution each step cuts the error by orders of magnitude; an error that
        // stops falling means rounding or a saddle, where more steps only cost model calls.
        // Steps that still lower the Gibbs energy clearly (two phases near their
        // critical point, where the Hessian is indefinite away from the solution
        // and the shifted steps are short) are going somewhere.
        const bool descending = gibbsPrev - gibbs > 1e-10 * std::fabs(gibbs);
        slow = err > 0.5 * errPrev && !descending ? slow + 1 : 0;
        if (slow >= 3)
            return false;
        errPrev = err;
        gibbsPrev = gibbs;
        for (int k = 0; k < np; ++k) {
            for (int a = 0; a < act; ++a)
                nOld[k * act + a] = w.beta[k] * w.x[k][comp[a]];
        }
        // Gradient g_v = μ_ik - μ_ir (negated, in tmp1) and Hessian of G in the unknowns,
        // scaled by √n on both sides so that trace amounts do not swamp the elimination:
        // ∂μ_im/∂n_jl = M^m_ij (δ_ml - δ_m,r(j)), M^m_ij = (δ_ij/x_im - 1 + n ∂ln φ_im/∂n_j)/β_m.
        auto mu = [&](int k, int i) { return std::log(w.x[k][i]) + w.lnPhi[k][i]; };
        auto mm = [&](int k, int i, int j) {
            return ((i == j ? 1.0 / w.x[k][i] : 0.0) - 1.0 + w.dN[k][i * nc + j]) / w.beta[k];
        };
        for (int s = 0; s < nk; ++s) {
            for (int a = 0; a < act; ++a) {
                const int k = phaseOf(a, s), i = comp[a];
                scale[s * act + a] = std::sqrt(nOld[k * act + a]);
                w.tmp1[s * act + a] = -(mu(k, i) - mu(ref[a], i));
            }
        }
        for (int s = 0; s < nk; ++s) {
            for (int a = 0; a < act; ++a) {
                const int k = phaseOf(a, s), i = comp[a], ri = ref[a];
                const int v = s * act + a;
                for (int s2 = 0; s2 < nk; ++s2) {
                    for (int b = 0; b < act; ++b) {
                        const int l = phaseOf(b, s2), j = comp[b], rj = ref[b];
                        double hv = 0.0;
                        const double ek = (k == l ? 1.0 : 0.0) - (k == rj ? 1.0 : 0.0);
                        if (ek != 0.0)
                            hv += ek * mm(k, i, j);
                        const double er = (ri == l ? 1.0 : 0.0) - (ri == rj ? 1.0 : 0.0);
                        if (er != 0.0)
                            hv -= er * mm(ri, i, j);
                        const int u = s2 * act + b;
                        h[v * dim + u] = scale[v] * hv * scale[u];
                    }
                }
            }
        }
        // Newton step on H + μ diag(H): μ = 0 first. Where that step does not lower G
        // (near a critical point of two phases H is indefinite away from the solution),
        // the step of H with its eigenvalues made positive, which leaves the saddle
        // along the direction of negative curvature at full length; then a larger μ.
        bool accepted = false;
        const double kSaddleFree = -1.0;
        const double mus[] = {0.0, kSaddleFree, 1e-2, 1e-1, 1.0, 10.0};
        for (double muShift : mus) {
            if (accepted)
                break;
            std::copy(h, h + dim * dim, w.mat.begin());
            for (int v = 0; v < dim; ++v)
                w.rhs[v] = scale[v] * w.tmp1[v];
            if (muShift == kSaddleFree) {
                if (!SaddleFreeSolve(dim, w.mat.data(), w.rhs.data(), w.eigenVectors.data(),
                                     w.tmp2.data()))
                    continue;
            } else {
                for (int v = 0; v < dim; ++v)
                    w.mat[v * dim + v] += muShift * std::fabs(h[v * dim + v]);
                if (!SolveLinear(dim, w.mat.data(), w.rhs.data(), w.piv.data()))
                    continue;
            }
            double slope = 0.0;
            for (int v = 0; v < dim; ++v) {
                w.rhs[v] *= scale[v];  // back to mole numbers
                slope -= w.tmp1[v] * w.rhs[v];
            }
            if (!(slope < 0.0) && err >= 1e-6)
                continue;
            // Largest step (up to 1) that keeps every mole number positive.
            double step = 1.0;
            for (int a = 0; a < act; ++a) {
                double dnr = 0.0;
                for (int s = 0; s < nk; ++s) {
                    const double dn = w.rhs[s * act + a];
                    const double n0 = nOld[phaseOf(a, s) * act + a];
                    if (n0 + step * dn <= 0.0)
                        step = std::min(step, 0.9 * n0 / -dn);
                    dnr -= dn;
                }
                const double nr = nOld[ref[a] * act + a];
                if (nr + step * dnr <= 0.0)
                    step = std::min(step, 0.9 * nr / -dnr);
            }
            for (int ls = 0; ls < 6 && !accepted; ++ls) {
                for (int a = 0; a < act; ++a) {
                    double nr = z[comp[a]];
                    for (int s = 0; s < nk; ++s) {
                        const int k = phaseOf(a, s);
                        n[k * act + a] = nOld[k * act + a] + step * w.rhs[s * act + a];
                        nr -= n[k * act + a];
                    }
                    n[ref[a] * act + a] = nr;
                }
                fromMoles(n);
                // Line search on G only far from the solution; close to it G is flat to rounding.
                if (err < 1e-6) {
                    accepted = true;
                    break;
                }
                bool ok = true;
                for (int k = 0; k < np && ok; ++k)
                    ok = Eval(m, w, t, p, w.x[k].data(), w.lnPhi[k].data());
                if (ok && SplitGibbs(w) <= gibbs + 1e-14 * std::fabs(gibbs)) {
                    accepted = true;
                } else {
                    step *= 0.5;
                }
            }
        }
        if (!accepted)
            return false;
        for (int k = 0; k < np; ++k) {
            if (!(w.beta[k] > 0.0))
                return false;
        }
    }
    for (int k = 0; k < np; ++k) {
        if (!Eval(m, w, t, p, w.x[k].data(), w.lnPhi[k].data()))
            return false;
    }
    return SplitError(w) < tol;
}

bool TwoPhaseSplit(Model& m, Calculator::Work& w, double t, double p, const double* z,
                   const FlashOptions& options, int* iterations) {
    const int nc = w.nc;
    w.np = 2;
    double beta = 0.5;
    double errPrev = HUGE_VAL;
    // After a failed Newton finish, successive substitution must cut the error well below
    // where it failed before Newton is tried again.
    double newtonBelow = HUGE_VAL;
    int newtonTries = 0;
    int damped = 0;
    // The K-values of the third substitution step, from which Newton's
    // method is tried once when substitution collapses onto the trivial
    // solution.
    bool haveEarly = false, fromEarly = false;
    for (int it = 0; it < options.maxIterations; ++it) {
        ++*iterations;
        for (int i = 0; i < nc; ++i)
            w.dK[i] = w.present[i] ? std::exp(w.lnK[i]) : 1.0;
        // K-values with no root of the Rachford-Rice equation (every K on
        // one side of one) after a substitution step that overshot: the
        // step is halved back towards the last K-values that had one. A gas
        // with 220 ppm of n-dodecane at 200 K and 4.4 MPa, whose incipient
        // liquid takes up methane as it grows, overshot so at its fifth
        // step, and the split of a feed unstable by -7.8 was given up (so
        // was that of a gas with 2.7 % methanol at 16 MPa, later on).
        if (!SolveRachfordRice(w, z, w.dK.data(), &beta)) {
            if (it == 0 || ++damped > 20)
                return false;
            for (int i = 0; i < nc; ++i)
                w.lnK[i] = w.lnKPrev[i] + 0.5 * (w.lnK[i] - w.lnKPrev[i]);
            continue;
        }
        std::copy(w.lnK.begin(), w.lnK.end(), w.lnKPrev.begin());
        if (it == 2 && !fromEarly) {
            std::copy(w.lnK.begin(), w.lnK.end(), w.lnKEarly.begin());
            haveEarly = true;
        }
        double s0 = 0.0, s1 = 0.0;
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i]) {
                w.x[0][i] = w.x[1][i] = 0.0;
                continue;
            }
            const double xi = z[i] / (1.0 + beta * (w.dK[i] - 1.0));
            w.x[0][i] = xi;
            w.x[1][i] = w.dK[i] * xi;
            s0 += w.x[0][i];
            s1 += w.x[1][i];
        }
        for (int i = 0; i < nc; ++i) {
            w.x[0][i] /= s0;
            w.x[1][i] /= s1;
        }
        w.beta[0] = 1.0 - beta;
        w.beta[1] = beta;
        if (!Eval(m, w, t, p, w.x[0].data(), w.lnPhi[0].data()) ||
            !Eval(m, w, t, p, w.x[1].data(), w.lnPhi[1].data()))
            return false;
        double err = 0.0, triv = 0.0;
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i]) {
                w.delta[i] = 0.0;
                continue;
            }
            const double target = w.lnPhi[0][i] - w.lnPhi[1][i];
            w.delta[i] = target - w.lnK[i];
            err = std::max(err, std::fabs(w.delta[i]));
            triv += z[i] * target * target;
        }
        const bool inside = beta > 0.0 && beta < 1.0;
        if (inside && err < options.tolerance)
            return true;
        // Collapsing onto the trivial solution. Where the feed's liquid takes
        // up so much of the other compounds as it grows that substitution
        // slides onto the feed (a gas with 0.7 % methanol at 255 K and
        // 6 MPa, unstable by -2.3), Newton's method from the third step's
        // K-values still reaches the split: it is tried once from there.
        if (triv < 1e-10) {
            if (!haveEarly || fromEarly)
                return false;
            fromEarly = true;
            std::copy(w.lnKEarly.begin(), w.lnKEarly.end(), w.lnK.begin());
            continue;
        }
        // Near a critical point successive substitution crawls and Newton
        // may fail from an early state but succeed from a later one: it is
        // tried again every twenty iterations while the error is small.
        const bool retry = (it >= 30 && it % 20 == 0 && err < 1e-3 && newtonTries < 6) || fromEarly;
        if (inside && ((err < newtonBelow && (err < 1e-4 || (it >= 30 && err < 1e-2))) || retry)) {
            ++newtonTries;
            // Second-order finish; the substitution state to fall back on is
            // in lnKPrev (the K-values of this step).
            if (NewtonSplit(m, w, t, p, z, options.tolerance, 30, iterations) && w.np == 2 &&
                w.beta[0] > 0.0 && w.beta[1] > 0.0)
                return true;
            w.np = 2;
            if (fromEarly)
                return false;
            std::copy(w.lnKPrev.begin(), w.lnKPrev.end(), w.lnK.begin());
            newtonBelow = 1e-2 * err;
            if (it >= 60 && !retry)
                return false;
        }
        for (int i = 0; i < nc; ++i)
            w.lnK[i] += w.delta[i];
        if (it % 5 == 4 && err < errPrev) {
            double num = 0.0, den = 0.0;
            for (int i = 0; i < nc; ++i) {
                num += w.delta[i] * w.delta[i];
                den += w.dKPrev[i] * w.delta[i];
            }
            if (den != 0.0) {
                const double lambda = num / den;
                if (lambda > 0.0 && lambda < 0.98) {
                    const double f = lambda / (1.0 - lambda);
                    for (int i = 0; i < nc; ++i)
                        w.lnK[i] += f * w.delta[i];
                }
            }
        }
        errPrev = err;
        std::copy(w.delta.begin(), w.delta.end(), w.dKPrev.begin());
    }
    return false;
}

namespace {

// Three phases from the compositions in w.x[0..2] and fractions in w.beta: successive
// substitution with fractions from SolveFractions, then Newton. On return w.np is 3
// (converged), or 2 when a phase vanished (the remaining pair is in x[0], x[1]).
// False when nothing usable came out.
bool ThreePhaseSplit(Model& m, Calculator::Work& w, double t, double p, const double* z,
                     const FlashOptions& options, int* iterations) {
    const int nc = w.nc;
    w.np = 3;
    int zeroRun[kMaxPhases] = {0, 0, 0};
    double newtonBelow = 1e-5;  // lowered after a failed Newton finish
    double errMark = HUGE_VAL;  // error ten iterations ago
    for (int it = 0; it < options.maxIterations; ++it) {
        ++*iterations;
        for (int k = 0; k < 3; ++k) {
            if (!Eval(m, w, t, p, w.x[k].data(), w.lnPhi[k].data()))
                return false;
        }
        SolveFractions(w, z, 3, w.beta);
        // Error among the phases present.
        double err = 0.0;
        for (int k = 0; k < 3; ++k) {
            if (w.beta[k] <= 0.0)
                continue;
            for (int l = k + 1; l < 3; ++l) {
                if (w.beta[l] <= 0.0)
                    continue;
                for (int i = 0; i < nc; ++i) {
                    if (!w.present[i])
                        continue;
                    const double a = std::log(w.x[k][i]) + w.lnPhi[k][i];
                    const double b = std::log(w.x[l][i]) + w.lnPhi[l][i];
                    err = std::max(err, std::fabs(a - b));
                }
            }
        }
        int alive = 0;
        for (int k = 0; k < 3; ++k) {
            zeroRun[k] = w.beta[k] <= 0.0 ? zeroRun[k] + 1 : 0;
            if (w.beta[k] > 0.0)
                ++alive;
        }
        // New compositions x_ik = z_i ψ_ik / E_i (ψ in psi, E in g).
        for (int k = 0; k < 3; ++k) {
            double s = 0.0;
            for (int i = 0; i < nc; ++i) {
                const double xi = w.present[i] ? z[i] * w.psi[k * nc + i] / w.g[i] : 0.0;
                w.x[k][i] = xi;
                s += xi;
            }
            for (int i = 0; i < nc; ++i)
                w.x[k][i] /= s;
        }
        // A phase that stays at zero fraction is gone.
        for (int k = 0; k < 3; ++k) {
            if (zeroRun[k] >= 3) {
                // Move the vanished phase to slot 2 and drop it.
                if (k != 2) {
                    std::swap(w.x[k], w.x[2]);
                    std::swap(w.lnPhi[k], w.lnPhi[2]);
                    std::swap(w.beta[k], w.beta[2]);
                }
                w.np = 2;
                const double s = w.beta[0] + w.beta[1];
                w.beta[0] /= s;
                w.beta[1] /= s;
                if (alive < 2)
                    return false;
                return true;
            }
        }
        if (alive == 3 && err < newtonBelow) {
            if (NewtonSplit(m, w, t, p, z, options.tolerance, 30, iterations))
                return true;
            w.np = 3;
            newtonBelow = 1e-2 * err;
        }
        if (alive == 3 && err < options.tolerance)
            return true;
        // Stalled: three phases that cannot coexist (a binary off its three-phase pressure
        // keeps a vanishing phase at a tiny fraction while the error stays put).
        // Near a critical point of two of the phases successive substitution
        // crawls (the error falls by a few per cent an iteration): Newton is
        // tried from there, and the loop gives up when it does not fall.
        if (it % 10 == 9) {
            if (alive == 3 && err > 0.5 * errMark && err < 0.1) {
                if (NewtonSplit(m, w, t, p, z, options.tolerance, 30, iterations))
                    return true;
                w.np = 3;
            }
            if (err > 0.9 * errMark)
                return false;
            errMark = err;
        }
    }
    return false;
}

bool Distinct(const double* a, const double* b, int nc, double tol) {
    double d = 0.0;
    for (int i = 0; i < nc; ++i)
        d = std::max(d, std::fabs(a[i] - b[i]));
    return d > tol;
}

void SaveSplit(Calculator::Work& w, double* store, double* betas, int* np) {
    *np = w.np;
    for (int k = 0; k < w.np; ++k) {
        betas[k] = w.beta[k];
        std::copy(w.x[k].begin(), w.x[k].end(), store + k * w.nc);
    }
}
void RestoreSplit(Calculator::Work& w, const double* store, const double* betas, int np) {
    w.np = np;
    for (int k = 0; k < np; ++k) {
        w.beta[k] = betas[k];
        std::copy(store + k * w.nc, store + (k + 1) * w.nc, w.x[k].begin());
    }
}

// Trials beside a phase of a split that lies close to the limit of its own
// stability: the smallest eigenvalue of the Hessian of the tangent-plane
// distance at the phase itself, B_ij = δ_ij + √(x_i x_j) ∂ln φ_i/∂n_j, is
// below 0.1 (a phase near a critical point with a further phase, where the
// plane is flat along that eigenvector and the further phase lies a little
// way along it: a second methane-rich vapour beside a vapour of 93 %
// methane). Two trials each way along the eigenvector, in α = 2√x, are
// appended to `trials` ([.][nc]) from row *count. False when ln φ fails.
bool AddSoftDirectionTrials(Model& m, Calculator::Work& w, double t, double p, const double* x,
                            double* trials, int* count) {
    const int nc = w.nc;
    if (!Eval(m, w, t, p, x, w.lnPhiW.data(), nullptr, w.dNW.data()))
        return false;
    int dim = 0;
    for (int i = 0; i < nc; ++i) {
        if (x[i] > 0.0)
            w.idx[dim++] = i;
    }
    double* b = w.mat.data();
    double* v = w.eigenVectors.data();
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c < dim; ++c) {
            const int i = w.idx[r], j = w.idx[c];
            b[r * dim + c] = (r == c ? 1.0 : 0.0) +
                             std::sqrt(x[i] * x[j]) * 0.5 * (w.dNW[i * nc + j] + w.dNW[j * nc + i]);
        }
    }
    SymmetricEigen(dim, b, v);
    int soft = 0;
    for (int r = 1; r < dim; ++r) {
        if (b[r * dim + r] < b[soft * dim + soft])
            soft = r;
    }
    if (!(b[soft * dim + soft] < 0.1))
        return true;
    for (double step : {-0.15, -0.05, 0.05, 0.15}) {
        double* trial = &trials[*count * nc];
        std::fill(trial, trial + nc, 0.0);
        for (int r = 0; r < dim; ++r) {
            const int i = w.idx[r];
            const double alpha = 2.0 * std::sqrt(x[i]) + step * v[r * dim + soft];
            trial[i] = std::max(0.25 * alpha * alpha, 1e-12 * x[i]);
        }
        ++*count;
    }
    return true;
}

// The second look at the feed: trials along the soft direction of its
// plane, a tenth and a quarter of the way towards each compound, and part of
// the way towards Wilson's compositions, run without the standard ones
// (stopping at the first trial below `stopBelow`). False when the soft
// direction could not be evaluated.
bool SecondLook(Model& m, Calculator::Work& w, double t, double p, const double* z,
                double stopBelow) {
    int extra = 0;
    if (!AddSoftDirectionTrials(m, w, t, p, z, w.splitW.data(), &extra))
        return false;
    extra = SecondLookTrials(m, w, t, p, z, {0.1, 0.25}, w.splitW.data(), extra);
    StabilityCore(m, w, t, p, z, w.lnPhiZ.data(), false, w.splitW.data(), extra, false, stopBelow);
    for (int i = 0; i < w.nc; ++i)
        w.present[i] = z[i] > 0.0 ? 1 : 0;
    return true;
}

}  // namespace

CoreResult FlashCore(Model& m, Calculator::Work& w, double t, double p, const double* z,
                     const FlashOptions& options) {
    const int nc = w.nc;
    CoreResult r;
    for (int i = 0; i < nc; ++i)
        w.present[i] = z[i] > 0.0 ? 1 : 0;
    if (!Eval(m, w, t, p, z, w.lnPhiZ.data()))
        return r;
    r.valid = true;
    double g1 = 0.0;
    for (int i = 0; i < nc; ++i) {
        if (z[i] > 0.0)
            g1 += z[i] * (std::log(z[i]) + w.lnPhiZ[i]);
    }
    auto single = [&]() {
        w.np = 1;
        w.beta[0] = 1.0;
        std::copy(z, z + nc, w.x[0].begin());
        std::copy(w.lnPhiZ.begin(), w.lnPhiZ.end(), w.lnPhi[0].begin());
    };
    StabilityCore(m, w, t, p, z, w.lnPhiZ.data(), options.fullStability, nullptr, 0, true, -1e-3);
    w.feedLowestTm = w.lowestTm;
    // A feed near a critical point may split into a phase a little way
    // along the soft direction of its plane, or a little richer in one
    // compound (a liquid of 15 % CO2 beside a vapour of 7 % near methane's
    // critical point), which the standard trials miss (they fall back onto
    // the feed): trials along the soft direction, and a tenth and a quarter
    // of the way from the feed towards each compound, and part of the way
    // towards Wilson's compositions, before the feed is called stable.
    if (options.secondLook && (w.spCount == 0 || w.spTm[0] >= -1e-10) &&
        !SecondLook(m, w, t, p, z, -1e-3))
        return r;
    if (w.spCount == 0 || w.spTm[0] >= -1e-10) {
        single();
        LabelAndOrder(m, w, t, p);
        r.converged = true;
        r.gibbs = g1;
        return r;
    }
    // Keep the feed's stationary points (normalised): they warm-start the search for a
    // third phase.
    w.extraCount = w.spCount;
    std::copy(w.spW.begin(), w.spW.begin() + w.spCount * nc, w.extraW.begin());

    // Best split found so far.
    double* bestX = w.bestX.data();
    double bestBeta[kMaxPhases];
    int bestNp = 0;
    double bestG = g1;

    // The analysis stopped at the first trial well below the plane; when no
    // split converges from what it found, every trial is run and the
    // stationary points so found are tried in turn, lowest first (a
    // methane-rich trial found first can leave the split crawling towards an
    // aromatic liquid that lies far deeper).
    // Near a liquid-liquid critical point the stationary points found may
    // lie within a hundredth of the feed and 1e-8 below its plane, from
    // where no split converges, while a deeper one lies elsewhere (a
    // condensate with benzene at 164 K and 1.7 MPa, 2 K from its
    // liquid-liquid critical point, unstable by -9e-5): the second look's
    // trials are run last.
    for (int pass = 0; pass < 3 && bestNp == 0; ++pass) {
        if (pass == 1) {
            StabilityCore(m, w, t, p, z, w.lnPhiZ.data(), true, nullptr, 0, true, -HUGE_VAL);
            w.extraCount = w.spCount;
            std::copy(w.spW.begin(), w.spW.begin() + w.spCount * nc, w.extraW.begin());
        } else if (pass == 2) {
            if (!options.secondLook || !SecondLook(m, w, t, p, z, -HUGE_VAL))
                break;
            w.extraCount = w.spCount;
            std::copy(w.spW.begin(), w.spW.begin() + w.spCount * nc, w.extraW.begin());
        }
        int tries = 0;
        for (int s = 0; s < w.extraCount && tries < (pass == 0 ? 3 : 6); ++s) {
            if (w.spTm[s] >= -1e-10)
                break;
            ++tries;
            // K = W/z with the unnormalised W of the stationary point; where every K then
            // lies above 1 (ΣW far above 1, a trial deep below the plane) the Rachford–Rice
            // equation has no root, and K = w/z of the normalised composition, which has K
            // on both sides, is tried instead.
            bool split = false;
            for (int form = 0; form < 2 && !split; ++form) {
                for (int i = 0; i < nc; ++i) {
                    w.lnK[i] = !w.present[i] ? 0.0
                               : form == 0   ? w.spLnW[s * nc + i] - std::log(z[i])
                                             : std::log(w.spW[s * nc + i] / z[i]);
                }
                split = TwoPhaseSplit(m, w, t, p, z, options, &r.iterations);
            }
            if (split) {
                // A phase of a trace compound (water at its solubility limit) lowers the
                // Gibbs energy by less than rounding: a converged split of an unstable
                // feed stands unless it is higher than the feed.
                const double g2 = SplitGibbs(w);
                if (g2 < bestG - 1e-13 || (bestNp == 0 && g2 <= bestG + 1e-14 * std::fabs(bestG))) {
                    bestG = g2;
                    SaveSplit(w, bestX, bestBeta, &bestNp);
                    break;
                }
            }
        }
    }
    if (bestNp == 0) {
        // Unstable feed but no split converged: report the feed with the failure.
        single();
        LabelAndOrder(m, w, t, p);
        r.converged = false;
        r.gibbs = g1;
        r.error = HUGE_VAL;
        return r;
    }
    RestoreSplit(w, bestX, bestBeta, bestNp);

    // A two-phase split is only accepted once a stability test shows no phase that would
    // lower its Gibbs energy further. At equilibrium both phases share one tangent plane
    // (d_i = ln f_i - ln P is the same in each), so one test against phase 0 covers both;
    // its trials are the feed's stationary points, Wilson's, and the near-pure ones (of every
    // compound in the full analysis, else the reduced set), water always among them
    // (Wilson's K-values cannot see an aqueous phase). The reduced set misses a second
    // liquid rich in an intermediate compound: a methane-rich liquid beside vapour and an
    // aromatic liquid at 124 K, a CO2-rich liquid at 192 K.
    // An unstable direction seeds a three-phase split; where that collapses onto another
    // pair of lower Gibbs energy, the new pair is tested the same way.
    bool unresolved = false;
    const int present = nc - static_cast<int>(std::count(z, z + nc, 0.0));
    if (options.allowThreePhases) {
        for (int round = 0; round < 4; ++round) {
            RestoreSplit(w, bestX, bestBeta, bestNp);
            if (w.np != 2)
                break;
            std::copy(w.x[0].begin(), w.x[0].end(), w.saveA.begin());
            std::copy(w.x[1].begin(), w.x[1].end(), w.saveB.begin());
            // The test runs against each phase in turn until one shows a further
            // phase: the plane is the same, but the trials start from the reference
            // phase, and a liquid of intermediate composition (a methane-rich liquid
            // between vapour and an aromatic liquid) is reached from the vapour's
            // trials and not from the liquid's.
            // Beside the feed's stationary points, trials between the phases: a tenth, a
            // quarter, half, three quarters and nine tenths of the way, and the feed (a
            // liquid of 95 % methane lies a tenth of the way from a vapour of 99.6 % to a
            // liquid of 47 %). A liquid of intermediate
            // composition is reached from there when every trial that starts near a
            // phase of the split converges back onto the split (a methane-rich liquid
            // a third of the way from the vapour to an aromatic liquid at 148 K).
            int splitCount = w.extraCount;
            std::copy(w.extraW.begin(), w.extraW.begin() + w.extraCount * nc, w.splitW.begin());
            for (int i = 0; i < nc; ++i) {
                w.splitW[splitCount * nc + i] = 0.5 * (w.saveA[i] + w.saveB[i]);
                w.splitW[(splitCount + 1) * nc + i] = z[i];
                w.splitW[(splitCount + 2) * nc + i] = 0.75 * w.saveA[i] + 0.25 * w.saveB[i];
                w.splitW[(splitCount + 3) * nc + i] = 0.25 * w.saveA[i] + 0.75 * w.saveB[i];
            }
            splitCount += 4;
            // The second look: a tenth and a fiftieth of the way from each
            // phase to the other (a methane-rich vapour of 99.8 % beside a
            // liquid of 99.0 % that a liquid of 55 % leaves out, near
            // methane's critical point), and along each phase's soft
            // direction.
            if (options.secondLook) {
                for (int i = 0; i < nc; ++i) {
                    w.splitW[splitCount * nc + i] = 0.9 * w.saveA[i] + 0.1 * w.saveB[i];
                    w.splitW[(splitCount + 1) * nc + i] = 0.1 * w.saveA[i] + 0.9 * w.saveB[i];
                    w.splitW[(splitCount + 2) * nc + i] = 0.98 * w.saveA[i] + 0.02 * w.saveB[i];
                    w.splitW[(splitCount + 3) * nc + i] = 0.02 * w.saveA[i] + 0.98 * w.saveB[i];
                }
                splitCount += 4;
                if (!AddSoftDirectionTrials(m, w, t, p, w.saveA.data(), w.splitW.data(),
                                            &splitCount) ||
                    !AddSoftDirectionTrials(m, w, t, p, w.saveB.data(), w.splitW.data(),
                                            &splitCount))
                    break;
            }
            int seed = -1;
            for (int ref = 0; ref < 2 && seed < 0; ++ref) {
                const double* reference = ref == 0 ? w.saveA.data() : w.saveB.data();
                if (!Eval(m, w, t, p, reference, w.lnPhi[ref].data()))
                    break;
                // StabilityCore overwrites present/d: restore present afterwards.
                // The near-pure trials and the trials of fixed composition (the
                // feed's stationary points, those between the phases, along their
                // soft directions) do not depend on the reference phase (the plane
                // is the same): the second phase runs only Wilson's trials from
                // itself. Every compound's near-pure trial up to kFullSplitTest
                // compounds; beyond, the reduced set (the cost grows as the cube of
                // the count).
                StabilityCore(m, w, t, p, reference, w.lnPhi[ref].data(),
                              options.fullStability && present <= kFullSplitTest, w.splitW.data(),
                              ref == 0 ? splitCount : 0, true, -HUGE_VAL, ref == 0);
                for (int i = 0; i < nc; ++i)
                    w.present[i] = z[i] > 0.0 ? 1 : 0;
                for (int s = 0; s < w.spCount; ++s) {
                    if (w.spTm[s] >= -1e-9)
                        break;
                    // A trial clearly below the plane is a phase of its own even
                    // when its composition is within 1e-3 of one of the split's (a
                    // methane vapour beside a liquid of 99.9 % methane): a phase of
                    // the split lies on the plane.
                    const double* cand = &w.spW[s * nc];
                    if ((Distinct(cand, w.saveA.data(), nc, 1e-3) &&
                         Distinct(cand, w.saveB.data(), nc, 1e-3)) ||
                        w.spTm[s] < -1e-6) {
                        seed = s;
                        break;
                    }
                }
            }
            unresolved = seed >= 0;
            if (seed < 0)
                break;  // stable: the split stands
            double* seedW = w.seedW.data();
            std::copy(&w.spW[seed * nc], &w.spW[(seed + 1) * nc], seedW);
            w.np = 3;
            std::copy(w.saveA.begin(), w.saveA.end(), w.x[0].begin());
            std::copy(w.saveB.begin(), w.saveB.end(), w.x[1].begin());
            std::copy(seedW, seedW + nc, w.x[2].begin());
            w.beta[0] = bestBeta[0];
            w.beta[1] = bestBeta[1];
            w.beta[2] = 0.1 * std::min(bestBeta[0], bestBeta[1]);
            bool improved = false;
            bool threeSolved = ThreePhaseSplit(m, w, t, p, z, options, &r.iterations);
            if (!threeSolved || w.np != 3) {
                // A further phase close to the phase it was found against (the two
                // near their critical point) leaves successive substitution with
                // too poor a start: that phase is split on its own first, and the
                // two parts with the other phase start the three-phase solution.
                double distA = 0.0, distB = 0.0;
                for (int i = 0; i < nc; ++i) {
                    distA += (seedW[i] - w.saveA[i]) * (seedW[i] - w.saveA[i]);
                    distB += (seedW[i] - w.saveB[i]) * (seedW[i] - w.saveB[i]);
                }
                const int near = distA <= distB ? 0 : 1;
                const double* split = near == 0 ? w.saveA.data() : w.saveB.data();
                const double* other = near == 0 ? w.saveB.data() : w.saveA.data();
                const double splitBeta = bestBeta[near], otherBeta = bestBeta[1 - near];
                for (int i = 0; i < nc; ++i)
                    w.lnK[i] = w.present[i] ? std::log(seedW[i] / split[i]) : 0.0;
                if (TwoPhaseSplit(m, w, t, p, split, options, &r.iterations) &&
                    Distinct(w.x[0].data(), w.x[1].data(), nc, 1e-6)) {
                    w.np = 3;
                    std::copy(other, other + nc, w.x[2].begin());
                    w.beta[0] *= splitBeta;
                    w.beta[1] *= splitBeta;
                    w.beta[2] = otherBeta;
                    threeSolved = ThreePhaseSplit(m, w, t, p, z, options, &r.iterations);
                }
            }
            if (threeSolved) {
                if (w.np == 3 && Distinct(w.x[0].data(), w.x[1].data(), nc, 1e-6) &&
                    Distinct(w.x[0].data(), w.x[2].data(), nc, 1e-6) &&
                    Distinct(w.x[1].data(), w.x[2].data(), nc, 1e-6)) {
                    // A third phase of a trace compound (water at 1e-6 beside
                    // hydrocarbons) lowers the Gibbs energy by less than
                    // rounding: the converged three phases of a split shown
                    // unstable stand unless they are higher than the split.
                    const double g = SplitGibbs(w);
                    if (g < bestG - 1e-13 || g <= bestG + 1e-14 * std::fabs(bestG)) {
                        bestG = g;
                        SaveSplit(w, bestX, bestBeta, &bestNp);
                        unresolved = false;
                        break;
                    }
                } else if (w.np == 2) {
                    // A different pair survived: solve it as a two-phase split.
                    for (int i = 0; i < nc; ++i)
                        w.lnK[i] = w.present[i] ? std::log(w.x[1][i] / w.x[0][i]) : 0.0;
                    if (TwoPhaseSplit(m, w, t, p, z, options, &r.iterations)) {
                        const double g = SplitGibbs(w);
                        if (g < bestG - 1e-13) {
                            bestG = g;
                            SaveSplit(w, bestX, bestBeta, &bestNp);
                            improved = true;
                        }
                    }
                }
            }
            if (!improved) {
                // No three phases: the new phase may instead replace one of the split's
                // (a binary beside its three-phase pressure, where the liquid-liquid pair
                // is below the vapour-liquid one). Pair it with each phase in turn.
                for (int k = 0; k < 2; ++k) {
                    const double* other = k == 0 ? w.saveA.data() : w.saveB.data();
                    for (int i = 0; i < nc; ++i)
                        w.lnK[i] = w.present[i] ? std::log(seedW[i] / other[i]) : 0.0;
                    if (!TwoPhaseSplit(m, w, t, p, z, options, &r.iterations))
                        continue;
                    const double g = SplitGibbs(w);
                    if (g < bestG - 1e-13) {
                        bestG = g;
                        SaveSplit(w, bestX, bestBeta, &bestNp);
                        improved = true;
                    }
                }
            }
            if (!improved)
                break;  // unresolved: the direction found could not be followed
            // The new pair is tested in the next round.
        }
        RestoreSplit(w, bestX, bestBeta, bestNp);
    }
    for (int k = 0; k < w.np; ++k)
        Eval(m, w, t, p, w.x[k].data(), w.lnPhi[k].data());
    r.error = SplitError(w);
    r.gibbs = SplitGibbs(w);
    // A split with a known direction of lower Gibbs energy that could not be followed is
    // the best estimate, not an equilibrium.
    r.unstable = unresolved;
    r.converged = r.error < options.tolerance && !unresolved;
    LabelAndOrder(m, w, t, p);
    return r;
}

}  // namespace detail

FlashResult Calculator::FlashPT(double t, double p, const double* z, const FlashOptions& options) {
    FlashResult out;
    Work& w = *work_;
    w.evaluations = 0;
    out.t = t;
    out.p = p;
    std::ostringstream os;
    if (!(t > 0) || !std::isfinite(t)) {
        os << "temperature = " << t << " K must be positive and finite";
        out.message = os.str();
        return out;
    }
    if (!(p > 0) || !std::isfinite(p)) {
        os << "pressure = " << p << " kPa must be positive and finite";
        out.message = os.str();
        return out;
    }
    if (!detail::NormaliseComposition(nc_, z, w.z.data(), &out.message))
        return out;
    const detail::CoreResult r = detail::FlashCore(*model_, w, t, p, w.z.data(), options);
    out.iterations = r.iterations;
    if (!r.valid) {
        out.message = "the equation of state has no admissible root for the feed";
        out.evaluations = static_cast<int>(w.evaluations);
        return out;
    }
    detail::FillResult(*model_, w, t, p, &out);
    out.evaluations = static_cast<int>(w.evaluations);
    out.outcome = r.converged ? Outcome::kConverged : Outcome::kNotConverged;
    os << out.phases.size() << (out.phases.size() == 1 ? " phase" : " phases");
    if (r.unstable)
        os << "; a further phase lowers the Gibbs energy but its split did not converge";
    else if (!r.converged)
        os << "; fugacity error " << r.error << " above tolerance";
    out.message = os.str();
    return out;
}

}  // namespace pyrana::thermo
