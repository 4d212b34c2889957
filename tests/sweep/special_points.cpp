// Special points and chords of envelopes against the host's solver and
// flashes and the checks' own tangent-plane analysis.
#include "tests/sweep/special_points.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include "cli/envelope_run.h"
#include "pyrana/thermo/calculator.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/tangent_plane.h"

namespace sweep {
namespace {

namespace thermo = pyrana::thermo;

const double kUndefined = -32767.0;

std::string Text(const char* fmt, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[256];
    std::snprintf(text, sizeof(text), fmt, a, b, c, d);
    return text;
}

std::vector<double> Normalised(const std::vector<double>& feed) {
    double sum = 0.0;
    for (double f : feed)
        sum += f;
    std::vector<double> z;
    for (double f : feed)
        z.push_back(f / sum);
    return z;
}

// A dew (vf 1) or bubble (vf 0) point of the host's saturation flash at P
// kPa, started at tInit K; NaN where there is none.
double SaturationTemperature(thermo::Calculator& calc, const std::vector<double>& z, double p,
                             double vf, double tInit) {
    thermo::SaturationOptions start;
    start.tInit = tInit;
    const thermo::FlashResult f = calc.FlashSaturation(p, vf, z.data(), start);
    return f.ok() ? f.t : NAN;
}

// The highest pressure at which the saturation flash finds a dew or bubble
// point near tNear: bisection between a pressure with one and one without.
double HighestSaturationPressure(thermo::Calculator& calc, const std::vector<double>& z,
                                 double pNear, double tNear) {
    auto exists = [&](double p) {
        for (double dt : {0.0, -1.0, 1.0, -3.0, 3.0}) {
            for (double vf : {1.0, 0.0}) {
                if (std::isfinite(SaturationTemperature(calc, z, p, vf, tNear + dt)))
                    return true;
            }
        }
        return false;
    };
    double lo = pNear * 0.995, hi = pNear * 1.005;
    for (int k = 0; k < 20 && !exists(lo); ++k)
        lo *= 0.99;
    for (int k = 0; k < 20 && exists(hi); ++k)
        hi *= 1.01;
    if (!exists(lo) || exists(hi))
        return NAN;
    for (int it = 0; it < 40; ++it) {
        const double mid = 0.5 * (lo + hi);
        (exists(mid) ? lo : hi) = mid;
    }
    return lo;
}

// The highest dew temperature over pressure near pNear: golden section.
double HighestDewTemperature(thermo::Calculator& calc, const std::vector<double>& z, double pNear,
                             double tNear) {
    auto dew = [&](double lnP) {
        const double t = SaturationTemperature(calc, z, std::exp(lnP), 1.0, tNear);
        return std::isfinite(t) ? t : -HUGE_VAL;
    };
    const double g = 0.5 * (std::sqrt(5.0) - 1.0);
    double a = std::log(pNear) - 0.3, b = std::log(pNear) + 0.3;
    double c = b - g * (b - a), d = a + g * (b - a);
    double fc = dew(c), fd = dew(d);
    for (int it = 0; it < 60 && b - a > 1e-8; ++it) {
        if (fc > fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - g * (b - a);
            fc = dew(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + g * (b - a);
            fd = dew(d);
        }
    }
    const double best = std::max(fc, fd);
    return std::isfinite(best) ? best : NAN;
}

// The curve a row belongs to, for chords: the first trace's dew and bubble
// curve with its special points; each other kind its own; -1 for the rows
// that are corners (three-phase points).
int CurveOf(int type) {
    if (type == 1 || (type >= 4 && type <= 9))
        return 1;
    if (type == 10)
        return -1;
    return type;
}

}  // namespace

std::vector<SweepFeed> SpecialPointMixtures() {
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, double>>>> mixtures =
        {{"methane/ethane", {{"methane", 0.7}, {"ethane", 0.3}}},
         {"methane/propane", {{"methane", 0.7}, {"propane", 0.3}}},
         {"methane/n-butane", {{"methane", 0.7}, {"n-butane", 0.3}}},
         {"methane/n-pentane", {{"methane", 0.8}, {"n-pentane", 0.2}}},
         {"methane/n-hexane", {{"methane", 0.8}, {"n-hexane", 0.2}}},
         {"methane/n-heptane", {{"methane", 0.85}, {"n-heptane", 0.15}}},
         {"methane/n-octane", {{"methane", 0.85}, {"n-octane", 0.15}}},
         {"methane/n-decane", {{"methane", 0.5}, {"n-decane", 0.5}}},
         {"CO2/ethane", {{"carbon dioxide", 0.5}, {"ethane", 0.5}}},
         {"CO2/propane", {{"carbon dioxide", 0.6}, {"propane", 0.4}}},
         {"CO2/n-butane", {{"carbon dioxide", 0.7}, {"n-butane", 0.3}}},
         {"nitrogen/methane", {{"nitrogen", 0.3}, {"methane", 0.7}}},
         {"ethane/propane", {{"ethane", 0.5}, {"propane", 0.5}}},
         {"propane/n-butane", {{"propane", 0.5}, {"n-butane", 0.5}}},
         {"ethylene/ethane", {{"ethylene", 0.5}, {"ethane", 0.5}}},
         {"methane/hydrogen sulfide", {{"methane", 0.8}, {"hydrogen sulfide", 0.2}}},
         {"methane/ethane/propane", {{"methane", 0.6}, {"ethane", 0.25}, {"propane", 0.15}}},
         {"methane/propane/n-pentane", {{"methane", 0.7}, {"propane", 0.2}, {"n-pentane", 0.1}}},
         {"methane/n-butane/n-decane", {{"methane", 0.6}, {"n-butane", 0.3}, {"n-decane", 0.1}}},
         {"CO2/methane/n-butane", {{"carbon dioxide", 0.5}, {"methane", 0.3}, {"n-butane", 0.2}}},
         {"nitrogen/methane/ethane", {{"nitrogen", 0.1}, {"methane", 0.8}, {"ethane", 0.1}}},
         {"methane/CO2/hydrogen sulfide",
          {{"methane", 0.6}, {"carbon dioxide", 0.2}, {"hydrogen sulfide", 0.2}}},
         {"ethane/propane/n-butane", {{"ethane", 0.3}, {"propane", 0.4}, {"n-butane", 0.3}}},
         {"dry natural gas",
          {{"nitrogen", 0.0034},
           {"carbon dioxide", 0.022},
           {"methane", 0.834},
           {"ethane", 0.076},
           {"propane", 0.033},
           {"isobutane", 0.006},
           {"n-butane", 0.011},
           {"isopentane", 0.004},
           {"n-pentane", 0.004},
           {"n-hexane", 0.0066}}},
         {"lean gas",
          {{"methane", 0.92}, {"ethane", 0.04}, {"propane", 0.02}, {"n-butane", 0.01},
           {"nitrogen", 0.01}}},
         {"rich gas",
          {{"methane", 0.75}, {"ethane", 0.1}, {"propane", 0.07}, {"n-butane", 0.04},
           {"n-pentane", 0.02}, {"n-hexane", 0.01}, {"carbon dioxide", 0.01}}},
         {"gas condensate",
          {{"methane", 0.7}, {"ethane", 0.08}, {"propane", 0.05}, {"n-butane", 0.04},
           {"n-pentane", 0.03}, {"n-hexane", 0.03}, {"n-heptane", 0.03}, {"n-decane", 0.04}}},
         {"CO2-rich gas",
          {{"carbon dioxide", 0.8}, {"methane", 0.15}, {"ethane", 0.03}, {"propane", 0.02}}},
         {"light oil",
          {{"methane", 0.45}, {"ethane", 0.08}, {"propane", 0.07}, {"n-butane", 0.06},
           {"n-hexane", 0.1}, {"n-decane", 0.24}}},
         {"methane/ethane/n-butane/n-pentane",
          {{"methane", 0.55}, {"ethane", 0.2}, {"n-butane", 0.15}, {"n-pentane", 0.1}}}};
    std::vector<SweepFeed> feeds;
    for (bool srk : {false, true}) {
        for (const auto& m : mixtures)
            feeds.push_back(NamedFeed(m.first + (srk ? " (SRK)" : " (PR)"), m.second, srk));
    }
    return feeds;
}

std::vector<SweepFeed> ChordFluids() {
    return {NamedFeed("dry natural gas", {{"nitrogen", 0.0034},
                                          {"carbon dioxide", 0.022},
                                          {"methane", 0.834},
                                          {"ethane", 0.076},
                                          {"propane", 0.033},
                                          {"isobutane", 0.006},
                                          {"n-butane", 0.011},
                                          {"isopentane", 0.004},
                                          {"n-pentane", 0.004},
                                          {"n-hexane", 0.0066}}),
            NamedFeed("default wet gas", {{"methane", 0.80},
                                          {"ethane", 0.07},
                                          {"propane", 0.04},
                                          {"n-butane", 0.03},
                                          {"n-pentane", 0.02},
                                          {"n-hexane", 0.015},
                                          {"n-heptane", 0.01},
                                          {"n-octane", 0.005},
                                          {"water", 0.01}}),
            NamedFeed("methane/n-butane/n-decane/water",
                      {{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}})};
}

SpecialPointReport CheckSpecialPoints(const SweepFeed& feed) {
    SpecialPointReport report;
    const cli::FluidInput input = feed.Input();
    thermo::Calculator calc(cli::BuildFluid(input));
    const std::vector<double> z = Normalised(input.feed);
    const cli::EnvelopeResult r = cli::RunEnvelopeCalculation(input, cli::EnvelopeRequest());
    auto fail = [&](const std::string& check, const std::string& detail) {
        report.failures.push_back({check, detail});
    };

    // The critical point, where the solver finds exactly one on the envelope.
    std::vector<thermo::CriticalPointResult> onEnvelope;
    for (const auto& c : calc.CriticalPoints(z.data())) {
        if (c.outcome == thermo::Outcome::kConverged && c.stable && c.p < 500.0 * 101.325)
            onEnvelope.push_back(c);
    }
    report.criticalKelvin = report.criticalRelative = NAN;
    if (onEnvelope.size() == 1) {
        const thermo::CriticalPointResult& c = onEnvelope.front();
        const cli::EnvelopePoint* nearest = nullptr;
        for (const cli::EnvelopePoint& p : r.points) {
            if (p.type == 5 && (nearest == nullptr ||
                                std::fabs(p.t - c.t) < std::fabs(nearest->t - c.t)))
                nearest = &p;
        }
        if (nearest == nullptr) {
            fail("critical", Text("no critical row; the solver finds %.3f K, %.2f kPa", c.t, c.p));
        } else {
            report.criticalKelvin = std::fabs(nearest->t - c.t);
            report.criticalRelative = std::fabs(nearest->p - c.p) / c.p;
            if (report.criticalKelvin > 0.02 || report.criticalRelative > 2e-4) {
                fail("critical", Text("%.4f K, %.3f kPa against the solver's %.4f K, %.3f kPa",
                                      nearest->t, nearest->p, c.t, c.p));
            }
        }
    }

    // The cricondenbar and cricondentherm, where the envelope reports them.
    report.cricondenbarRelative = report.cricondenthermKelvin = NAN;
    const double bar = r.Scalar("Cricondenbar");
    if (bar != kUndefined) {
        double tBar = NAN;
        for (const cli::EnvelopePoint& p : r.points) {
            if (p.type == 6 && p.p == bar)
                tBar = p.t;
        }
        const double reference = HighestSaturationPressure(calc, z, bar, tBar);
        if (!std::isfinite(reference)) {
            fail("cricondenbar", Text("no reference found near %.2f kPa", bar));
        } else {
            report.cricondenbarRelative = std::fabs(bar - reference) / reference;
            if (report.cricondenbarRelative > 2e-4) {
                fail("cricondenbar",
                     Text("%.3f kPa against %.3f kPa from the saturation flash", bar, reference));
            }
        }
    }
    const double therm = r.Scalar("Cricondentherm");
    if (therm != kUndefined) {
        double pTherm = NAN;
        for (const cli::EnvelopePoint& p : r.points) {
            if (p.type == 8 && p.t == therm)
                pTherm = p.p;
        }
        const double reference = HighestDewTemperature(calc, z, pTherm, therm);
        if (!std::isfinite(reference)) {
            fail("cricondentherm", Text("no reference found near %.3f K", therm));
        } else {
            report.cricondenthermKelvin = std::fabs(therm - reference);
            if (report.cricondenthermKelvin > 0.02) {
                fail("cricondentherm",
                     Text("%.4f K against %.4f K from the saturation flash", therm, reference));
            }
        }
    }
    return report;
}

std::vector<CheckFailure> CheckChords(const SweepFeed& feed, int* checked) {
    std::vector<CheckFailure> failures;
    const cli::FluidInput input = feed.Input();
    const thermo::Fluid fluid = cli::BuildFluid(input);
    thermo::Calculator calc(fluid);
    const CheckEos eos(fluid);
    const std::vector<double> z = Normalised(input.feed);
    const cli::EnvelopeResult r = cli::RunEnvelopeCalculation(input, cli::EnvelopeRequest());
    int count = 0;

    // Whether the state is inside the region of the curve's kind: for a dew
    // or bubble curve, the feed unstable; for a three-phase boundary, three
    // phases (the host's flash, confirmed by the analysis).
    auto inside = [&](int curve, double t, double p) {
        if (curve == 1 || curve == 2 || curve == 3)
            return Unstable(TangentPlane(eos, t, p, z.data()));
        const thermo::FlashResult f = calc.FlashPT(t, p, z.data());
        if (f.phases.size() >= 3)
            return true;
        return f.phases.size() == 2 && Unstable(TangentPlane(eos, t, p, f.phases[0].x.data()));
    };
    // Where `inside` changes along the line from the chord's point outwards
    // (temperature at fixed pressure, or pressure at fixed temperature):
    // steps of 0.05 K or 0.05 % out to 5 K or 5 %, then bisection.
    auto boundary = [&](int curve, bool alongT, double fixed, double start, double* found) {
        auto at = [&](double v) { return alongT ? inside(curve, v, fixed) : inside(curve, fixed, v); };
        const bool here = at(start);
        const double unit = alongT ? 0.05 : 5e-4 * start;
        for (int k = 1; k <= 100; ++k) {
            for (double sign : {1.0, -1.0}) {
                const double v = start + sign * k * unit;
                if (at(v) == here)
                    continue;
                double a = start + sign * (k - 1) * unit, b = v;
                for (int it = 0; it < 30; ++it) {
                    const double mid = 0.5 * (a + b);
                    (at(mid) == here ? a : b) = mid;
                }
                *found = 0.5 * (a + b);
                return true;
            }
        }
        return false;
    };

    for (size_t i = 0; i + 1 < r.points.size(); ++i) {
        const cli::EnvelopePoint& a = r.points[i];
        const cli::EnvelopePoint& b = r.points[i + 1];
        int curveA = CurveOf(a.type), curveB = CurveOf(b.type);
        if (b.type == 11 || b.type == 12)
            curveB = curveA;
        if (curveA < 0 || curveA != curveB || a.type == 11 || a.type == 12)
            continue;
        if (std::fabs(a.p - b.p) < 1e-9 * a.p && std::fabs(a.t - b.t) < 1e-9)
            continue;
        const double dLnP = std::fabs(std::log(b.p / a.p));
        const double dT = std::fabs(b.t - a.t);
        const bool pressureFree = dLnP / 0.005 >= dT / 0.5;
        double found = 0.0;
        bool ok = true;
        std::string what;
        if (pressureFree) {
            const double pMid = 0.5 * (a.p + b.p);
            const double tChord = a.t + (b.t - a.t) * (pMid - a.p) / (b.p - a.p);
            ok = boundary(curveA, true, pMid, tChord, &found) && std::fabs(found - tChord) <= 0.5;
            what = Text("at %.2f kPa the chord gives %.3f K, the curve %.3f K", pMid, tChord,
                        found);
        } else {
            const double tMid = 0.5 * (a.t + b.t);
            const double pChord = a.p + (b.p - a.p) * (tMid - a.t) / (b.t - a.t);
            ok = boundary(curveA, false, tMid, pChord, &found) &&
                 std::fabs(found - pChord) <= 0.005 * found;
            what = Text("at %.3f K the chord gives %.2f kPa, the curve %.2f kPa", tMid, pChord,
                        found);
        }
        ++count;
        if (!ok) {
            failures.push_back({"chord", "rows " + std::to_string(i + 1) + " and " +
                                             std::to_string(i + 2) + ": " + what});
        }
    }
    if (checked != nullptr)
        *checked = count;
    return failures;
}

}  // namespace sweep
