// Tangent-plane analysis by plain successive substitution.
#include "tests/sweep/tangent_plane.h"

#include <cmath>

namespace sweep {
namespace {

const int kMaxIterations = 1000;

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
    // A near-pure trial of every compound present.
    for (int k = 0; k < n; ++k) {
        if (!present[k])
            continue;
        std::vector<double> w(n);
        for (int i = 0; i < n; ++i)
            w[i] = present[i] ? (i == k ? 1.0 - 1e-3 : 1e-3 * x[i]) : 0.0;
        FollowTrial(eos, t, p, x, d, present, w, &result, points);
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
    FollowTrial(eos, t, p, xn, d, present, w, &ignored, &found);
    if (found.empty())
        return NAN;
    if (points != nullptr)
        points->push_back(found.front());
    return found.front().tpd;
}

}  // namespace

TangentPlaneResult TangentPlane(const CheckEos& eos, double t, double p, const double* x) {
    return Analyse(eos, t, p, x, nullptr);
}

std::vector<StationaryPoint> StationaryPoints(const CheckEos& eos, double t, double p,
                                              const double* x) {
    std::vector<StationaryPoint> all;
    Analyse(eos, t, p, x, &all);
    // Trials a quarter, half and three quarters of the way from the
    // reference phase to each stationary point found: an incipient phase
    // between the two (a second vapour nearer the liquid's composition) is
    // reached from there.
    const int n = eos.size();
    const size_t found = all.size();
    for (size_t k = 0; k < found; ++k) {
        for (double f : {0.25, 0.5, 0.75}) {
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
