// The checks' own cubic equation of state: textbook formulas, roots by
// bisection between the cubic's turning points.
#include "tests/sweep/check_eos.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sweep {
namespace {

const double kR = 8.31446261815324;  // kPa m3/(kmol K)

// The real roots of z^3 + c2 z^2 + c1 z + c0 above zmin, ascending, found by
// bisection on each monotone stretch of the cubic that changes sign.
std::vector<double> CubicRoots(double c2, double c1, double c0, double zmin) {
    auto f = [&](double z) { return ((z + c2) * z + c1) * z + c0; };
    std::vector<double> edges = {zmin};
    const double disc = c2 * c2 - 3.0 * c1;  // of the derivative 3z^2 + 2 c2 z + c1, over 4
    if (disc > 0.0) {
        const double r = std::sqrt(disc);
        for (double s : {(-c2 - r) / 3.0, (-c2 + r) / 3.0}) {
            if (s > zmin)
                edges.push_back(s);
        }
    }
    double top = 2.0;
    while (f(top) <= 0.0)
        top *= 2.0;
    edges.push_back(std::max(top, edges.back() + 1.0));
    std::vector<double> roots;
    for (size_t k = 0; k + 1 < edges.size(); ++k) {
        double lo = edges[k];
        double hi = edges[k + 1];
        double flo = f(lo);
        const double fhi = f(hi);
        if (flo == 0.0 && lo > zmin) {
            roots.push_back(lo);
            continue;
        }
        if ((flo > 0.0) == (fhi > 0.0))
            continue;
        for (int it = 0; it < 200 && hi - lo > 1e-15 * hi; ++it) {
            const double mid = 0.5 * (lo + hi);
            const double fm = f(mid);
            if ((fm > 0.0) == (flo > 0.0)) {
                lo = mid;
                flo = fm;
            } else {
                hi = mid;
            }
        }
        roots.push_back(0.5 * (lo + hi));
    }
    return roots;
}

}  // namespace

CheckEos::CheckEos(const pyrana::thermo::Fluid& fluid) {
    const int n = fluid.size();
    pr_ = fluid.eos() == pyrana::thermo::EosKind::PR;
    if (pr_) {
        omegaA_ = 0.45723552892138;
        omegaB_ = 0.07779607390389;
        delta1_ = 1.0 + std::sqrt(2.0);
        delta2_ = 1.0 - std::sqrt(2.0);
    } else {
        omegaA_ = 0.42748023354;
        omegaB_ = 0.08664034996;
        delta1_ = 1.0;
        delta2_ = 0.0;
    }
    for (int i = 0; i < n; ++i) {
        tc_.push_back(fluid.compound(i).tc);
        pc_.push_back(fluid.compound(i).pc);
        omega_.push_back(fluid.compound(i).omega);
    }
    kij_.assign(static_cast<size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            kij_[static_cast<size_t>(i * n + j)] = fluid.kij(i, j);
    }
}

double CheckEos::LnPhi(double t, double p, const double* x, double* lnPhi) const {
    const std::vector<double> g = RootGibbs(t, p, x, lnPhi);
    if (g.empty())
        return std::numeric_limits<double>::quiet_NaN();
    return *std::min_element(g.begin(), g.end());
}

double CheckEos::RootGibbsGap(double t, double p, const double* x) const {
    const std::vector<double> g = RootGibbs(t, p, x, nullptr);
    if (g.size() < 2)
        return std::numeric_limits<double>::quiet_NaN();
    return g.back() - g.front();
}

std::vector<double> CheckEos::RootGibbs(double t, double p, const double* xIn,
                                        double* lnPhi) const {
    const int n = size();
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += xIn[i];
    std::vector<double> x(n), ai(n), bi(n), abar(n);
    for (int i = 0; i < n; ++i) {
        x[i] = xIn[i] / sum;
        const double w = omega_[i];
        double m;
        if (pr_) {
            m = w <= 0.491 ? 0.37464 + 1.54226 * w - 0.26992 * w * w
                           : 0.379642 + 1.48503 * w - 0.164423 * w * w + 0.016666 * w * w * w;
        } else {
            m = 0.480 + 1.574 * w - 0.176 * w * w;
        }
        const double alphaRoot = 1.0 + m * (1.0 - std::sqrt(t / tc_[i]));
        ai[i] = omegaA_ * kR * kR * tc_[i] * tc_[i] / pc_[i] * alphaRoot * alphaRoot;
        bi[i] = omegaB_ * kR * tc_[i] / pc_[i];
    }
    double a = 0.0;
    double b = 0.0;
    for (int i = 0; i < n; ++i) {
        abar[i] = 0.0;
        for (int j = 0; j < n; ++j)
            abar[i] +=
                x[j] * std::sqrt(ai[i] * ai[j]) * (1.0 - kij_[static_cast<size_t>(i * n + j)]);
        a += x[i] * abar[i];
        b += x[i] * bi[i];
    }
    const double A = a * p / (kR * kR * t * t);
    const double B = b * p / (kR * t);
    const double d1 = delta1_;
    const double d2 = delta2_;
    const double c2 = (d1 + d2 - 1.0) * B - 1.0;
    const double c1 = A + d1 * d2 * B * B - (d1 + d2) * B * (B + 1.0);
    const double c0 = -(A * B + d1 * d2 * B * B * (B + 1.0));
    const std::vector<double> roots = CubicRoots(c2, c1, c0, B);
    double best = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> trial(n);
    std::vector<double> gibbs;
    for (double Z : roots) {
        const double logTerm = std::log((Z + d1 * B) / (Z + d2 * B));
        double g = 0.0;
        for (int i = 0; i < n; ++i) {
            trial[i] = bi[i] / b * (Z - 1.0) - std::log(Z - B) -
                       A / (B * (d1 - d2)) * (2.0 * abar[i] / a - bi[i] / b) * logTerm;
            g += x[i] * trial[i];
        }
        gibbs.push_back(g);
        if (!(g >= best)) {
            best = g;
            if (lnPhi != nullptr)
                std::copy(trial.begin(), trial.end(), lnPhi);
        }
    }
    // With three real roots the middle one is unstable: keep the outer two.
    if (gibbs.size() == 3)
        gibbs.erase(gibbs.begin() + 1);
    return gibbs;
}

}  // namespace sweep
