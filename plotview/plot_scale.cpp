// Round-number scales for plot axes.
#include "plotview/plot_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plotview {
namespace {

// The smallest round step (1, 2, 2.5, 5 x 10^k) at least `raw`; *decimals
// receives the decimals its multiples need.
double RoundStep(double raw, int* decimals) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double mantissas[] = {1.0, 2.0, 2.5, 5.0, 10.0};
    double step = 10.0 * power;
    for (double m : mantissas) {
        if (m * power >= raw * (1.0 - 1e-9)) {
            step = m * power;
            break;
        }
    }
    int d = static_cast<int>(-std::floor(std::log10(step) + 1e-9));
    if (std::fabs(step / std::pow(10.0, std::floor(std::log10(step) + 1e-9)) - 2.5) < 1e-9)
        ++d;
    *decimals = std::max(0, d);
    return step;
}

}  // namespace

double Scale::Fraction(double value) const {
    if (logarithmic) {
        return (std::log10(value) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
    }
    return (value - lo) / (hi - lo);
}

std::string FormatTick(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    // "-0", "-0.0": a zero has no sign.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

Scale LinearScale(double dataLo, double dataHi, int targetTicks) {
    if (!(dataHi > dataLo)) {
        const double centre = std::isfinite(dataLo) ? dataLo : 0.0;
        const double half = centre != 0.0 ? std::fabs(centre) * 0.1 : 1.0;
        dataLo = centre - half;
        dataHi = centre + half;
    }
    int decimals = 0;
    const double step = RoundStep((dataHi - dataLo) / std::max(1, targetTicks), &decimals);
    Scale scale;
    scale.logarithmic = false;
    scale.lo = std::floor(dataLo / step + 1e-9) * step;
    scale.hi = std::ceil(dataHi / step - 1e-9) * step;
    const long n = std::lround((scale.hi - scale.lo) / step);
    for (long i = 0; i <= n; ++i) {
        const double v = scale.lo + static_cast<double>(i) * step;
        scale.ticks.push_back({v, FormatTick(v, decimals)});
    }
    return scale;
}

Scale LogScale(double dataLo, double dataHi) {
    if (!(dataLo > 0.0))
        dataLo = dataHi > 0.0 ? dataHi / 10.0 : 1.0;
    if (!(dataHi > dataLo))
        dataHi = dataLo * 10.0;
    Scale scale;
    scale.logarithmic = true;
    // Ends at 1, 2 or 5 times a power of ten.
    auto below = [](double v) {
        const double p = std::pow(10.0, std::floor(std::log10(v) + 1e-12));
        for (double m : {5.0, 2.0, 1.0}) {
            if (m * p <= v * (1.0 + 1e-12))
                return m * p;
        }
        return p;
    };
    auto above = [](double v) {
        const double p = std::pow(10.0, std::floor(std::log10(v) - 1e-12));
        for (double m : {1.0, 2.0, 5.0, 10.0}) {
            if (m * p >= v * (1.0 - 1e-12))
                return m * p;
        }
        return 10.0 * p;
    };
    scale.lo = below(dataLo);
    scale.hi = above(dataHi);
    const bool fine = std::log10(scale.hi / scale.lo) < 3.0;
    const int first = static_cast<int>(std::floor(std::log10(scale.lo) + 1e-9));
    const int last = static_cast<int>(std::ceil(std::log10(scale.hi) - 1e-9));
    for (int e = first; e <= last; ++e) {
        const double p = std::pow(10.0, e);
        for (int m = 1; m <= 9; ++m) {
            const double v = m * p;
            if (v < scale.lo * (1.0 - 1e-9) || v > scale.hi * (1.0 + 1e-9))
                continue;
            const bool labelled = m == 1 || (fine && (m == 2 || m == 5));
            std::string label;
            if (labelled)
                label = FormatTick(v, std::max(0, -e));
            scale.ticks.push_back({v, label});
        }
    }
    return scale;
}

}  // namespace plotview
