// Tangent-plane analysis by plain successive substitution.
#include "tests/sweep/tangent_plane.h"

#include <cmath>

namespace sweep {
namespace {

const int kMaxIterations = 1000;

// Follows one trial by successive substitution, W <- exp(d - ln φ(w)), and
// lowers `best` wherever an iterate lies below the tangent plane.
void FollowTrial(const CheckEos& eos, double t, double p, const std::vector<double>& x,
                 const std::vector<double>& d, const std::vector<bool>& present,
                 std::vector<double> w, TangentPlaneResult* best) {
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
}

}  // namespace

TangentPlaneResult TangentPlane(const CheckEos& eos, double t, double p, const double* xIn) {
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
    FollowTrial(eos, t, p, x, d, present, vapourLike, &result);
    FollowTrial(eos, t, p, x, d, present, liquidLike, &result);
    // A near-pure trial of every compound present.
    for (int k = 0; k < n; ++k) {
        if (!present[k])
            continue;
        std::vector<double> w(n);
        for (int i = 0; i < n; ++i)
            w[i] = present[i] ? (i == k ? 1.0 - 1e-3 : 1e-3 * x[i]) : 0.0;
        FollowTrial(eos, t, p, x, d, present, w, &result);
    }
    return result;
}

}  // namespace sweep
