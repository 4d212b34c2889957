// Tangent-plane analysis by successive substitution, finished by Newton's
// method where substitution crawls.
#include "tests/sweep/tangent_plane.h"

#include <cmath>

namespace sweep {
namespace {

// Substitution steps before a trial still moving is handed to Newton's
// method: near a critical point substitution converges at a rate close to
// one and would crawl for thousands of steps.
const int kMaxIterations = 200;
const int kMaxNewtonIterations = 60;

// ln φ of w [n] (normalised here), or false where the equation of state has
// no admissible root.
bool LnPhiOf(const CheckEos& eos, double t, double p, const std::vector<double>& w,
             std::vector<double>* lnPhi) {
    return !std::isnan(eos.LnPhi(t, p, w.data(), lnPhi->data()));
}

// The modified tangent-plane distance of the mole numbers W and its
// gradient in ln W, g_i = ln W_i + ln φ_i(W) - d_i (compounds present only):
// tm = 1 + Σ W_i (g_i - 1). NaN where ln φ fails.
double ModifiedTpd(const CheckEos& eos, double t, double p, const std::vector<double>& d,
                   const std::vector<bool>& present, const std::vector<double>& W,
                   std::vector<double>* g) {
    const int n = eos.size();
    std::vector<double> lnPhi(n);
    if (!LnPhiOf(eos, t, p, W, &lnPhi))
        return NAN;
    double tm = 1.0;
    for (int i = 0; i < n; ++i) {
        (*g)[i] = present[i] ? std::log(W[i]) + lnPhi[i] - d[i] : 0.0;
        tm += present[i] ? W[i] * ((*g)[i] - 1.0) : 0.0;
    }
    return tm;
}

// Solves the symmetric system A s = b [m] by Cholesky factorisation;
// false when A is not positive definite.
bool CholeskySolve(std::vector<double> A, std::vector<double> b, int m, std::vector<double>* s) {
    for (int j = 0; j < m; ++j) {
        double diag = A[j * m + j];
        for (int k = 0; k < j; ++k)
            diag -= A[j * m + k] * A[j * m + k];
        if (!(diag > 0.0))
            return false;
        A[j * m + j] = std::sqrt(diag);
        for (int i = j + 1; i < m; ++i) {
            double v = A[i * m + j];
            for (int k = 0; k < j; ++k)
                v -= A[i * m + k] * A[j * m + k];
            A[i * m + j] = v / A[j * m + j];
        }
    }
    for (int i = 0; i < m; ++i) {
        for (int k = 0; k < i; ++k)
            b[i] -= A[i * m + k] * b[k];
        b[i] /= A[i * m + i];
    }
    for (int i = m - 1; i >= 0; --i) {
        for (int k = i + 1; k < m; ++k)
            b[i] -= A[k * m + i] * b[k];
        b[i] /= A[i * m + i];
    }
    *s = b;
    return true;
}

// Minimises the modified tangent-plane distance from the mole numbers w by
// Newton's method in α_i = 2√W_i (Michelsen's variables, in which the
// Hessian δ_ij + √(W_i W_j) ∂ln φ_i/∂n_j is symmetric and positive definite
// near a minimum), with ∂ln φ/∂n by forward differences of ln φ, the
// Hessian shifted where it is not positive definite and the step halved
// until tm falls. Returns the stationary point's mole fractions, or an
// empty vector when it does not converge. Every iterate lowers `best`
// where it lies below the plane.
std::vector<double> NewtonMinimum(const CheckEos& eos, double t, double p,
                                  const std::vector<double>& d, const std::vector<bool>& present,
                                  std::vector<double> W, TangentPlaneResult* best) {
    const int n = eos.size();
    std::vector<double> g(n), g2(n), H(n * n), grad(n), step(n), trialW(n);
    double tm = ModifiedTpd(eos, t, p, d, present, W, &g);
    bool stalled = false;
    for (int it = 0; it < kMaxNewtonIterations && !std::isnan(tm); ++it) {
        double sum = 0.0, tpd = 0.0, largest = 0.0;
        for (int i = 0; i < n; ++i)
            sum += present[i] ? W[i] : 0.0;
        for (int i = 0; i < n; ++i) {
            if (present[i]) {
                tpd += W[i] / sum * (g[i] - std::log(sum));
                largest = std::fmax(largest, std::fabs(g[i]));
            }
        }
        if (tpd < best->minTpd) {
            best->minTpd = tpd;
            best->w.assign(n, 0.0);
            for (int i = 0; i < n; ++i)
                best->w[i] = present[i] ? W[i] / sum : 0.0;
        }
        // Converged; or at a floor of round-off close to it, where the
        // last step no longer lowered tm.
        if (largest < 1e-10 || (largest < 1e-7 && stalled)) {
            std::vector<double> w(n);
            for (int i = 0; i < n; ++i)
                w[i] = present[i] ? W[i] / sum : 0.0;
            return w;
        }
        // The Hessian in α, column by column from ln φ at W with n_j raised.
        for (int j = 0; j < n; ++j) {
            if (!present[j])
                continue;
            std::vector<double> Wj = W;
            const double h = 1e-7 * W[j];
            Wj[j] += h;
            if (std::isnan(ModifiedTpd(eos, t, p, d, present, Wj, &g2)))
                return {};
            for (int i = 0; i < n; ++i) {
                if (!present[i])
                    continue;
                // g2_i - g_i = ∂ln φ_i/∂n_j h (+ h/W_i for i = j).
                const double dLnPhi = (g2[i] - g[i] - (i == j ? std::log1p(h / W[i]) : 0.0)) / h;
                H[i * n + j] = (i == j ? 1.0 : 0.0) + std::sqrt(W[i] * W[j]) * dLnPhi;
            }
        }
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < i; ++j)
                H[i * n + j] = H[j * n + i] = 0.5 * (H[i * n + j] + H[j * n + i]);
            grad[i] = present[i] ? -std::sqrt(W[i]) * g[i] : 0.0;
            if (!present[i]) {
                for (int j = 0; j < n; ++j)
                    H[i * n + j] = H[j * n + i] = 0.0;
                H[i * n + i] = 1.0;
            }
        }
        double shift = 0.0;
        std::vector<double> shifted = H;
        while (!CholeskySolve(shifted, grad, n, &step)) {
            shift = shift == 0.0 ? 1e-3 : 10.0 * shift;
            if (shift > 1e6)
                return {};
            shifted = H;
            for (int i = 0; i < n; ++i)
                shifted[i * n + i] += shift;
        }
        // α + s, halved until tm falls (or holds, at round-off).
        double lambda = 1.0;
        double trialTm = NAN;
        for (int k = 0; k < 30; ++k) {
            for (int i = 0; i < n; ++i) {
                const double alpha = present[i] ? 2.0 * std::sqrt(W[i]) + lambda * step[i] : 0.0;
                trialW[i] = present[i] ? std::fmax(0.25 * alpha * alpha, 1e-300) : 0.0;
            }
            trialTm = ModifiedTpd(eos, t, p, d, present, trialW, &g2);
            if (trialTm <= tm + 1e-15 * std::fabs(tm))
                break;
            lambda *= 0.5;
        }
        if (!(trialTm <= tm + 1e-15 * std::fabs(tm)))
            return {};
        stalled = !(trialTm < tm);
        W = trialW;
        g = g2;
        tm = trialTm;
    }
    return {};
}

// Records a stationary point that Newton's method converged to (none when
// `stationary` is empty or it is the reference phase x).
void AddStationaryPoint(const CheckEos& eos, double t, double p, const std::vector<double>& x,
                        const std::vector<double>& d, const std::vector<bool>& present,
                        const std::vector<double>& stationary, TangentPlaneResult* best,
                        std::vector<StationaryPoint>* points) {
    const int n = eos.size();
    std::vector<double> lnPhi(n);
    if (stationary.empty() || !LnPhiOf(eos, t, p, stationary, &lnPhi))
        return;
    double tpd = 0.0, distance = 0.0;
    for (int i = 0; i < n; ++i) {
        if (!present[i])
            continue;
        tpd += stationary[i] * (std::log(stationary[i]) + lnPhi[i] - d[i]);
        const double dl = std::log(stationary[i]) - std::log(x[i]);
        distance += dl * dl;
    }
    if (distance > 1e-6) {
        if (std::fabs(tpd) < 1e-8)
            best->incipientOnPlane = true;
        if (points != nullptr)
            points->push_back({stationary, tpd});
    }
}

// Follows one trial by successive substitution, W <- exp(d - ln φ(w)), and
// lowers `best` wherever an iterate lies below the tangent plane. A trial
// that converges away from the reference phase is added to `points` when
// given.
void FollowTrial(const CheckEos& eos, double t, double p, const std::vector<double>& x,
                 const std::vector<double>& d, const std::vector<bool>& present,
                 std::vector<double> w, TangentPlaneResult* best,
                 std::vector<StationaryPoint>* points = nullptr) {
    const int n = eos.size();
    std::vector<double> lnPhi(n), lnW(n), lastStep(n, 0.0);
    for (int it = 0; it < kMaxIterations; ++it) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i)
            sum += present[i] ? w[i] : 0.0;
        for (int i = 0; i < n; ++i)
            w[i] = present[i] ? w[i] / sum : 0.0;
        if (std::isnan(eos.LnPhi(t, p, w.data(), lnPhi.data())))
            return;
        double tpd = 0.0;
        double distance = 0.0;
        for (int i = 0; i < n; ++i) {
            if (!present[i])
                continue;
            tpd += w[i] * (std::log(w[i]) + lnPhi[i] - d[i]);
            const double dl = std::log(w[i]) - std::log(x[i]);
            distance += dl * dl;
        }
        if (tpd < best->minTpd) {
            best->minTpd = tpd;
            best->w = w;
        }
        // Back on the reference phase: this trial shows nothing.
        if (distance < 1e-10)
            return;
        double change = 0.0;
        double dot = 0.0, dotPrevious = 0.0;
        for (int i = 0; i < n; ++i) {
            if (!present[i])
                continue;
            const double next = d[i] - lnPhi[i];
            const double step = next - lnW[i];
            if (it > 0) {
                change = std::fmax(change, std::fabs(step));
                dot += step * step;
                dotPrevious += step * lastStep[i];
            }
            lastStep[i] = step;
            lnW[i] = next;
        }
        if (it > 0 && change < 1e-11) {
            if (std::fabs(tpd) < 1e-8 && distance > 1e-6)
                best->incipientOnPlane = true;
            if (points != nullptr && distance > 1e-6)
                points->push_back({w, tpd});
            return;
        }
        // Every fifth step, extrapolation along the dominant eigenvalue of
        // the substitution (Crowe and Nishio): near a critical point plain
        // substitution converges too slowly to show a small negative TPD.
        if (it % 5 == 4 && dotPrevious != 0.0) {
            const double lambda = dot / dotPrevious;
            if (lambda > 0.0 && lambda < 0.99) {
                for (int i = 0; i < n; ++i) {
                    if (present[i])
                        lnW[i] += lastStep[i] * lambda / (1.0 - lambda);
                }
            }
        }
        for (int i = 0; i < n; ++i)
            w[i] = present[i] ? std::exp(lnW[i]) : 0.0;
    }
    // Still moving: Newton's method from where substitution got to.
    AddStationaryPoint(eos, t, p, x, d, present, NewtonMinimum(eos, t, p, d, present, w, best),
                       best, points);
}

}  // namespace

namespace {

// The analysis of TangentPlane, also collecting the stationary points.
TangentPlaneResult Analyse(const CheckEos& eos, double t, double p, const double* xIn,
                           std::vector<StationaryPoint>* points) {
    const int n = eos.size();
    TangentPlaneResult result;
    std::vector<double> x(xIn, xIn + n);
    std::vector<bool> present(n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        present[i] = x[i] > 0.0;
        sum += present[i] ? x[i] : 0.0;
    }
    for (int i = 0; i < n; ++i)
        x[i] = present[i] ? x[i] / sum : 0.0;
    std::vector<double> lnPhi(n), d(n);
    if (std::isnan(eos.LnPhi(t, p, x.data(), lnPhi.data())))
        return result;
    for (int i = 0; i < n; ++i)
        d[i] = present[i] ? std::log(x[i]) + lnPhi[i] : 0.0;

    // Wilson's K-values give a vapour-like and a liquid-like trial.
    std::vector<double> vapourLike(n), liquidLike(n);
    for (int i = 0; i < n; ++i) {
        const double k =
            eos.pc(i) / p * std::exp(5.373 * (1.0 + eos.omega(i)) * (1.0 - eos.tc(i) / t));
        vapourLike[i] = x[i] * k;
        liquidLike[i] = x[i] / k;
    }
    FollowTrial(eos, t, p, x, d, present, vapourLike, &result, points);
    FollowTrial(eos, t, p, x, d, present, liquidLike, &result, points);
    // A near-pure trial of every compound present, and trials a tenth and
    // a quarter of the way from the reference phase towards each compound:
    // a phase a little richer in one compound than the reference (a liquid
    // of 15 % CO2 beside a vapour of 7 %, near methane's critical point)
    // lies in a basin that the near-pure trials pass by.
    for (int k = 0; k < n; ++k) {
        if (!present[k])
            continue;
        std::vector<double> w(n);
        for (int i = 0; i < n; ++i)
            w[i] = present[i] ? (i == k ? 1.0 - 1e-3 : 1e-3 * x[i]) : 0.0;
        FollowTrial(eos, t, p, x, d, present, w, &result, points);
        for (double f : {0.1, 0.25}) {
            for (int i = 0; i < n; ++i)
                w[i] = present[i] ? (1.0 - f) * x[i] + (i == k ? f : 0.0) : 0.0;
            FollowTrial(eos, t, p, x, d, present, w, &result, points);
        }
    }
    return result;
}

// The TPD of the stationary point that substitution from w converges to,
// at T; NaN when it falls back onto the reference phase. The point is added
// to `points` when given.
double StationaryTpdFrom(const CheckEos& eos, double t, double p, const double* x,
                         const std::vector<double>& w, std::vector<StationaryPoint>* points) {
    const int n = eos.size();
    std::vector<bool> present(n);
    std::vector<double> xn(x, x + n), lnPhi(n), d(n);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        present[i] = x[i] > 0.0;
        sum += present[i] ? x[i] : 0.0;
    }
    for (int i = 0; i < n; ++i)
        xn[i] = present[i] ? x[i] / sum : 0.0;
    if (std::isnan(eos.LnPhi(t, p, xn.data(), lnPhi.data())))
        return NAN;
    for (int i = 0; i < n; ++i)
        d[i] = present[i] ? std::log(xn[i]) + lnPhi[i] : 0.0;
    TangentPlaneResult ignored;
    std::vector<StationaryPoint> found;
    // Newton's method first: from a stationary point found at a nearby
    // temperature, or from a trial between the reference phase and one, it
    // stays in that point's basin where substitution may crawl into
    // another's.
    AddStationaryPoint(eos, t, p, xn, d, present, NewtonMinimum(eos, t, p, d, present, w, &ignored),
                       &ignored, &found);
    if (found.empty())
        FollowTrial(eos, t, p, xn, d, present, w, &ignored, &found);
    if (found.empty())
        return NAN;
    if (points != nullptr)
        points->push_back(found.front());
    return found.front().tpd;
}

}  // namespace

TangentPlaneResult TangentPlane(const CheckEos& eos, double t, double p, const double* x) {
    std::vector<StationaryPoint> found;
    TangentPlaneResult result = Analyse(eos, t, p, x, &found);
    // Trials a quarter, half and three quarters of the way from the
    // reference phase to each stationary point found, above the plane or
    // below it: an incipient phase between the two (a liquid of 92 %
    // methane between a liquid feed and its 99.7 % vapour, just past the
    // bubble point) is reached only from there.
    const int n = eos.size();
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += x[i] > 0.0 ? x[i] : 0.0;
    for (const StationaryPoint& s : std::vector<StationaryPoint>(found)) {
        for (double f : {0.25, 0.5, 0.75}) {
            std::vector<double> w(n);
            for (int i = 0; i < n; ++i) {
                const double xi = x[i] > 0.0 ? x[i] / sum : 0.0;
                w[i] = xi + f * (s.w[i] - xi);
            }
            std::vector<StationaryPoint> reached;
            const double tpd = StationaryTpdFrom(eos, t, p, x, w, &reached);
            if (reached.empty() || std::isnan(tpd))
                continue;
            if (std::fabs(tpd) < 1e-8)
                result.incipientOnPlane = true;
            if (tpd < result.minTpd) {
                result.minTpd = tpd;
                result.w = reached.front().w;
            }
        }
    }
    return result;
}

std::vector<StationaryPoint> StationaryPoints(const CheckEos& eos, double t, double p,
                                              const double* x) {
    std::vector<StationaryPoint> all;
    Analyse(eos, t, p, x, &all);
    // Trials a tenth, a quarter, half and three quarters of the way from the
    // reference phase to each stationary point found: an incipient phase
    // between the two (a second vapour nearer the liquid's composition) is
    // reached from there.
    const int n = eos.size();
    const size_t found = all.size();
    for (size_t k = 0; k < found; ++k) {
        for (double f : {0.1, 0.25, 0.5, 0.75}) {
            std::vector<double> w(n);
            for (int i = 0; i < n; ++i)
                w[i] = x[i] + f * (all[k].w[i] - x[i]);
            StationaryTpdFrom(eos, t, p, x, w, &all);
        }
    }
    std::vector<StationaryPoint> distinct;
    for (const StationaryPoint& s : all) {
        bool known = false;
        for (const StationaryPoint& k : distinct) {
            double apart = 0.0;
            for (size_t i = 0; i < s.w.size(); ++i)
                apart = std::fmax(apart, std::fabs(s.w[i] - k.w[i]));
            known = known || apart < 1e-4;
        }
        if (!known)
            distinct.push_back(s);
    }
    return distinct;
}

double TouchingTemperature(const CheckEos& eos, double t, double p, const double* x,
                           const std::vector<double>& w) {
    double t0 = t, t1 = t + 0.01;
    double f0 = StationaryTpdFrom(eos, t0, p, x, w, nullptr);
    double f1 = StationaryTpdFrom(eos, t1, p, x, w, nullptr);
    for (int it = 0; it < 30; ++it) {
        if (std::isnan(f0) || std::isnan(f1) || f1 == f0)
            return NAN;
        const double t2 = t1 - f1 * (t1 - t0) / (f1 - f0);
        if (!(std::fabs(t2 - t) < 5.0))
            return NAN;
        if (std::fabs(t2 - t1) < 1e-7)
            return t2;
        t0 = t1;
        f0 = f1;
        t1 = t2;
        f1 = StationaryTpdFrom(eos, t1, p, x, w, nullptr);
    }
    return NAN;
}

}  // namespace sweep
