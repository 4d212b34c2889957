// Special points and chords of envelopes against the host's solver and
// flashes and the checks' own tangent-plane analysis.
#include "tests/sweep/special_points.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

#include "cli/envelope_run.h"
#include "host/undefined.h"
#include "pyrana/thermo/calculator.h"
#include "tests/support/natural_gas.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/tangent_plane.h"

namespace sweep {
namespace {

namespace thermo = pyrana::thermo;

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

// Solves A x = b in place by Gaussian elimination with partial pivoting.
bool SolveDense(int n, std::vector<double>& a, std::vector<double>& b) {
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r) {
            if (std::fabs(a[r * n + c]) > std::fabs(a[pivot * n + c]))
                pivot = r;
        }
        if (!(std::fabs(a[pivot * n + c]) > 0.0))
            return false;
        for (int k = 0; k < n; ++k)
            std::swap(a[c * n + k], a[pivot * n + k]);
        std::swap(b[c], b[pivot]);
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k)
                a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    for (int c = n - 1; c >= 0; --c) {
        for (int k = c + 1; k < n; ++k)
            b[c] -= a[c * n + k] * b[k];
        b[c] /= a[c * n + c];
    }
    return true;
}

// A saturation point of z on the checks' own equation of state: the
// incipient phase w = z K (Σ w = 1) in equilibrium with the feed at T, P.
struct Saturation {
    std::vector<double> lnK;
    double t = NAN, p = NAN;
};

// Solves the saturation point on which ln K of compound `spec` equals
// `value`, from the point passed in: Newton with a central-difference
// Jacobian on ln K, ln T and ln P. This parameterisation holds through the
// cricondenbar and cricondentherm and close to the critical point, where
// saturation pressure at fixed temperature (or the converse) has two nearby
// roots or none. False when Newton does not converge or falls onto the
// trivial solution.
bool SolveSaturation(const CheckEos& eos, const std::vector<double>& z, int spec, double value,
                     Saturation* s) {
    const int nc = eos.size(), n = nc + 2;
    std::vector<double> x(n), f(n), fp(n), fm(n), jac(n * n), w(nc), phiW(nc), phiZ(nc);
    for (int i = 0; i < nc; ++i)
        x[i] = z[i] > 0.0 ? s->lnK[i] : 0.0;
    x[spec] = value;
    x[nc] = std::log(s->t);
    x[nc + 1] = std::log(s->p);
    auto residual = [&](const std::vector<double>& v, std::vector<double>& out) {
        const double t = std::exp(v[nc]), p = std::exp(v[nc + 1]);
        double sum = 0.0;
        for (int i = 0; i < nc; ++i) {
            w[i] = z[i] * std::exp(v[i]);
            sum += w[i];
        }
        if (!std::isfinite(eos.LnPhi(t, p, w.data(), phiW.data())) ||
            !std::isfinite(eos.LnPhi(t, p, z.data(), phiZ.data())))
            return false;
        for (int i = 0; i < nc; ++i)
            out[i] = z[i] > 0.0 ? v[i] + phiW[i] - phiZ[i] : v[i];
        out[nc] = std::log(sum);
        out[nc + 1] = v[spec] - value;
        return true;
    };
    for (int it = 0; it < 50; ++it) {
        if (!residual(x, f))
            return false;
        double err = 0.0;
        for (double v : f)
            err = std::max(err, std::fabs(v));
        if (err < 1e-12) {
            s->lnK.assign(x.begin(), x.begin() + nc);
            s->t = std::exp(x[nc]);
            s->p = std::exp(x[nc + 1]);
            return true;
        }
        for (int c = 0; c < n; ++c) {
            const double h = 1e-7;
            std::vector<double> xp = x, xm = x;
            xp[c] += h;
            xm[c] -= h;
            if (!residual(xp, fp) || !residual(xm, fm))
                return false;
            for (int r = 0; r < n; ++r)
                jac[r * n + c] = (fp[r] - fm[r]) / (2.0 * h);
        }
        std::vector<double> dx(n);
        for (int r = 0; r < n; ++r)
            dx[r] = -f[r];
        if (!SolveDense(n, jac, dx))
            return false;
        double scale = 1.0;  // ln T and ln P by at most 0.05, ln K by at most 0.5
        for (int r = 0; r < n; ++r)
            scale = std::min(scale, (r < nc ? 0.5 : 0.05) / std::max(std::fabs(dx[r]), 1e-300));
        for (int r = 0; r < n; ++r)
            x[r] += scale * dx[r];
    }
    return false;
}

// A first saturation point near the envelope point (t, p), solved at the
// value of ln K of the compound that the trial phase of the tangent-plane
// analysis at a state just inside the envelope sets furthest from the feed.
// The inside state is looked for below the pressure (near a cricondenbar) or
// below the temperature (near a cricondentherm), each a little further.
bool StartSaturation(const CheckEos& eos, const std::vector<double>& z, double t, double p,
                     bool belowPressure, Saturation* s, int* spec) {
    for (double step : {1e-5, 1e-4, 1e-3, 3e-3, 1e-2, 3e-2, 1e-1}) {
        for (double aside : {0.0, -1.0, 1.0}) {
            const double tInside =
                belowPressure ? t + aside * 200.0 * step : t * (1.0 - 0.2 * step);
            const double pInside = belowPressure ? p * (1.0 - step) : p * (1.0 + aside * step);
            const TangentPlaneResult tp = TangentPlane(eos, tInside, pInside, z.data());
            if (!Unstable(tp))
                continue;
            s->lnK.assign(z.size(), 0.0);
            *spec = 0;
            for (size_t i = 0; i < z.size(); ++i) {
                s->lnK[i] = z[i] > 0.0 ? std::log(tp.w[i] / z[i]) : 0.0;
                if (std::fabs(s->lnK[i]) > std::fabs(s->lnK[*spec]))
                    *spec = static_cast<int>(i);
            }
            s->t = t;
            s->p = p;
            if (getenv("SP_DEBUG"))
                fprintf(stderr, "start %g %g spec %d lnK %g\n", tInside, pInside, *spec,
                        s->lnK[*spec]);
            if (SolveSaturation(eos, z, *spec, s->lnK[*spec], s))
                return true;
        }
    }
    return false;
}

// The highest temperature (or pressure) along the saturation curve near the
// envelope point (t, p): the ln K of the specified compound is stepped away
// from the start, uphill, until the height falls again, and the maximum so
// bracketed is refined by golden section. Each point is solved from the
// solved point nearest in ln K; a point that lands far from it in T or P
// (another stretch of the curve) counts as failed, and the bracket never
// crosses ln K = 0 (the critical point).
double HighestAlongSaturation(const CheckEos& eos, const std::vector<double>& z, double t, double p,
                              bool pressure) {
    Saturation start;
    int spec = 0;
    if (!StartSaturation(eos, z, t, p, pressure, &start, &spec))
        return NAN;
    std::vector<Saturation> solved = {start};
    auto height = [&](double value) {
        if (value * start.lnK[spec] <= 0.0)
            return -HUGE_VAL;
        const Saturation* from = &solved.front();
        for (const Saturation& s : solved) {
            if (std::fabs(s.lnK[spec] - value) < std::fabs(from->lnK[spec] - value))
                from = &s;
        }
        Saturation trial = *from;
        if (!SolveSaturation(eos, z, spec, value, &trial) ||
            std::fabs(std::log(trial.t / from->t)) > 0.1 ||
            std::fabs(std::log(trial.p / from->p)) > 0.1) {
            if (getenv("SP_DEBUG"))
                fprintf(stderr, "fail %g from %g: %g %g\n", value, from->lnK[spec], trial.t,
                        trial.p);
            return -HUGE_VAL;
        }
        if (getenv("SP_DEBUG"))
            fprintf(stderr, "at %g: %g %g\n", value, trial.t, trial.p);
        solved.push_back(trial);
        return pressure ? trial.p : trial.t;
    };
    const double s0 = start.lnK[spec];
    double d = 0.002 * std::fabs(s0);
    double xa = s0 - d, xb = s0, xc = s0 + d;
    double fa = height(xa), fb = pressure ? start.p : start.t, fc = height(xc);
    if (fa > fc || (!std::isfinite(fc) && std::isfinite(fa))) {  // uphill is towards xa
        std::swap(xa, xc);
        std::swap(fa, fc);
        d = -d;
    }
    for (int k = 0; k < 200 && (fc > fb || !std::isfinite(fc)); ++k) {
        if (!std::isfinite(fc)) {  // the step went too far for the solver: shorter
            d *= 0.25;
            if (std::fabs(d) < 1e-8 * std::fabs(s0))
                break;
            xc = xb + d;
            fc = height(xc);
            continue;
        }
        xa = xb;
        fa = fb;
        xb = xc;
        fb = fc;
        d *= 1.5;
        xc = xb + d;
        fc = height(xc);
    }
    if (!(fb >= fa && fb >= fc) || !std::isfinite(fa) || !std::isfinite(fc))
        return NAN;
    double lo = std::min(xa, xc), hi = std::max(xa, xc);
    if (getenv("SP_DEBUG"))
        fprintf(stderr, "bracket %g %g %g: %.9g %.9g %.9g\n", xa, xb, xc, fa, fb, fc);
    const double g = 0.5 * (std::sqrt(5.0) - 1.0);
    double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
    double f1 = height(x1), f2 = height(x2);
    for (int it = 0; it < 200 && hi - lo > 1e-9 * std::fabs(s0); ++it) {
        if (f1 > f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - g * (hi - lo);
            f1 = height(x1);
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + g * (hi - lo);
            f2 = height(x2);
        }
    }
    const double best = std::max({f1, f2, fb});
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
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, double>>>>
        mixtures = {
            {"methane/ethane", {{"methane", 0.7}, {"ethane", 0.3}}},
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
            {"CO2/methane/n-butane",
             {{"carbon dioxide", 0.5}, {"methane", 0.3}, {"n-butane", 0.2}}},
            {"nitrogen/methane/ethane", {{"nitrogen", 0.1}, {"methane", 0.8}, {"ethane", 0.1}}},
            {"methane/CO2/hydrogen sulfide",
             {{"methane", 0.6}, {"carbon dioxide", 0.2}, {"hydrogen sulfide", 0.2}}},
            {"ethane/propane/n-butane", {{"ethane", 0.3}, {"propane", 0.4}, {"n-butane", 0.3}}},
            {"dry natural gas", test_fluids::NaturalGas()},
            {"lean gas",
             {{"methane", 0.92},
              {"ethane", 0.04},
              {"propane", 0.02},
              {"n-butane", 0.01},
              {"nitrogen", 0.01}}},
            {"rich gas",
             {{"methane", 0.75},
              {"ethane", 0.1},
              {"propane", 0.07},
              {"n-butane", 0.04},
              {"n-pentane", 0.02},
              {"n-hexane", 0.01},
              {"carbon dioxide", 0.01}}},
            {"gas condensate",
             {{"methane", 0.7},
              {"ethane", 0.08},
              {"propane", 0.05},
              {"n-butane", 0.04},
              {"n-pentane", 0.03},
              {"n-hexane", 0.03},
              {"n-heptane", 0.03},
              {"n-decane", 0.04}}},
            {"CO2-rich gas",
             {{"carbon dioxide", 0.8}, {"methane", 0.15}, {"ethane", 0.03}, {"propane", 0.02}}},
            {"light oil",
             {{"methane", 0.45},
              {"ethane", 0.08},
              {"propane", 0.07},
              {"n-butane", 0.06},
              {"n-hexane", 0.1},
              {"n-decane", 0.24}}},
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
    return {NamedFeed("dry natural gas", test_fluids::NaturalGas()),
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
    const thermo::Fluid fluid = cli::BuildFluid(input);
    thermo::Calculator calc(fluid);
    const CheckEos eos(fluid);
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
            if (p.type == 5 &&
                (nearest == nullptr || std::fabs(p.t - c.t) < std::fabs(nearest->t - c.t)))
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
        double tBar = NAN, nearestBar = HUGE_VAL;
        for (const cli::EnvelopePoint& p : r.points) {
            if (p.type == 6 && std::fabs(p.p - bar) < nearestBar) {
                nearestBar = std::fabs(p.p - bar);
                tBar = p.t;
            }
        }
        const double reference = HighestAlongSaturation(eos, z, tBar, bar, true);
        if (!std::isfinite(reference)) {
            fail("cricondenbar", Text("no reference found near %.2f kPa", bar));
        } else {
            report.cricondenbarRelative = std::fabs(bar - reference) / reference;
            if (report.cricondenbarRelative > 2e-4) {
                fail("cricondenbar",
                     Text("%.3f kPa against %.3f kPa, the highest saturation pressure", bar,
                          reference));
            }
        }
    }
    const double therm = r.Scalar("Cricondentherm");
    if (therm != kUndefined) {
        double pTherm = NAN, nearestTherm = HUGE_VAL;
        for (const cli::EnvelopePoint& p : r.points) {
            if (p.type == 8 && std::fabs(p.t - therm) < nearestTherm) {
                nearestTherm = std::fabs(p.t - therm);
                pTherm = p.p;
            }
        }
        const double reference = HighestAlongSaturation(eos, z, therm, pTherm, false);
        if (!std::isfinite(reference)) {
            fail("cricondentherm", Text("no reference found near %.3f K", therm));
        } else {
            report.cricondenthermKelvin = std::fabs(therm - reference);
            if (report.cricondenthermKelvin > 0.02) {
                fail("cricondentherm",
                     Text("%.4f K against %.4f K, the highest saturation temperature", therm,
                          reference));
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
        auto at = [&](double v) {
            return alongT ? inside(curve, v, fixed) : inside(curve, fixed, v);
        };
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
            what =
                Text("at %.2f kPa the chord gives %.3f K, the curve %.3f K", pMid, tChord, found);
        } else {
            const double tMid = 0.5 * (a.t + b.t);
            const double pChord = a.p + (b.p - a.p) * (tMid - a.t) / (b.t - a.t);
            ok = boundary(curveA, false, tMid, pChord, &found) &&
                 std::fabs(found - pChord) <= 0.005 * found;
            what =
                Text("at %.3f K the chord gives %.2f kPa, the curve %.2f kPa", tMid, pChord, found);
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
