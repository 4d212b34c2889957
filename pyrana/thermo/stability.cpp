// Michelsen's tangent-plane stability analysis and the further-phase test.
//
// tm(W) = 1 + Σ W_i (ln W_i + ln φ_i(w) - d_i - 1), d_i = ln z_i + ln φ_i(z). Each
// trial is iterated by successive substitution ln W_i ← d_i - ln φ_i(w) with a
// dominant-eigenvalue extrapolation every fifth step, then finished by Newton
// steps in α_i = 2√W_i, whose Hessian δ_ij + √(W_i W_j) ∂ln φ_i/∂W_j is well
// scaled (Michelsen 1982, Fluid Phase Equilib. 9, 1–19).
#include <algorithm>
#include <cmath>
#include <sstream>

#include "pyrana/thermo/calculator_internal.h"

namespace pyrana::thermo {
namespace detail {
namespace {

constexpr double kNearPure = 0.999;

struct TrialOutcome {
    double tm = 0;
    bool converged = false;
    bool trivial = false;
    int iterations = 0;
};

// Whether a trial at distance dist = Σ z_i (ln w_i - ln z_i)² from the feed, with
// tangent-plane distance tm, is falling back onto the feed. Within 1e-8 it has
// collapsed. Within 1e-3 it has where 2 tm / dist is above a half: near the feed
// tm ≈ ½ Δᵀ B Δ, B = I for an ideal solution, so that ratio is the feed's
// curvature along the trial's path relative to the ideal one; on a path towards
// another stationary point it falls away before the rim of that point's basin (to
// a quarter at the rim of a symmetric double well). A trial heading for a phase
// beside the feed (the incipient phase of a narrow band, a product's phase richer
// in a trace compound) carries on; the others stop a few iterations sooner.
bool FallingBack(double dist, double tm) {
    return dist < 1e-8 || (dist < 1e-3 && 2.0 * tm > 0.5 * dist);
}

// Runs one trial from w.lnW (ln W, unnormalised). Leaves the final ln W in w.lnW and
// the normalised composition in w.w.
TrialOutcome RunTrial(Model& m, Calculator::Work& w, double t, double p, const double* z, int maxIt,
                      Root firstRoot = Root::Stable) {
    const int nc = w.nc;
    TrialOutcome out;
    bool newton = false;
    double gPrev = HUGE_VAL;
    // ln z once per trial; ln w_i = ln W_i - ln ΣW: no logarithm per compound and step.
    for (int i = 0; i < nc; ++i)
        w.lnRef[i] = w.present[i] ? std::log(z[i]) : 0.0;
    for (int it = 0; it < maxIt; ++it) {
        out.iterations = it + 1;
        double sum = 0.0;
        for (int i = 0; i < nc; ++i) {
            const double wi = w.present[i] ? std::exp(w.lnW[i]) : 0.0;
            w.g[i] = wi;  // W_i for now
            sum += wi;
        }
        if (!(sum > 0.0) || !std::isfinite(sum))
            return out;
        for (int i = 0; i < nc; ++i)
            w.w[i] = w.g[i] / sum;
        const bool haveDN = newton;
        if (!Eval(m, w, t, p, w.w.data(), w.lnPhiW.data(), nullptr, newton ? w.dNW.data() : nullptr,
                  it == 0 ? firstRoot : Root::Stable))
            return out;
        double tm = 1.0, gnorm = 0.0, dist = 0.0;
        const double lnSum = std::log(sum);
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i]) {
                w.delta[i] = 0.0;
                continue;
            }
            const double h = w.lnW[i] + w.lnPhiW[i] - w.d[i];
            const double wi = w.g[i];
            tm += wi * (h - 1.0);
            gnorm += wi * h * h;
            w.delta[i] = -h;  // SS step in ln W
            const double dl = w.lnW[i] - lnSum - w.lnRef[i];
            dist += z[i] * dl * dl;
        }
        // Relative to the trial's size when ΣW > 1: a trial far below the plane (a nearly
        // pure water phase against a hydrocarbon liquid holding 10 % water has ΣW ~ 1e7)
        // cannot bring W_i h_i^2 below rounding, yet its composition has long converged.
        gnorm = std::sqrt(gnorm / std::max(1.0, sum));
        out.tm = tm;
        if (!std::isfinite(tm))
            return out;
        if (it >= 1 && FallingBack(dist, tm)) {
            out.trivial = true;
            return out;
        }
        if (gnorm < 1e-11) {
            out.converged = true;
            return out;
        }
        // Clearly positive and going nowhere: a trial that cannot lead below the plane.
        if (it >= 40 && tm > 0.5)
            return out;
        if (!newton && (gnorm < 1e-3 || it >= 25))
            newton = true;
        if (newton && gnorm > 10.0 * gPrev)
            newton = false;  // diverging: back to SS
        gPrev = gnorm;
        if (newton) {
            // Newton in α = 2√W; the step is taken on α and mapped back to ln W.
            if (!haveDN && !Eval(m, w, t, p, w.w.data(), w.lnPhiW.data(), nullptr, w.dNW.data()))
                return out;
            int dim = 0;
            for (int i = 0; i < nc; ++i) {
                if (w.present[i])
                    w.piv[dim++] = i;
            }
            // Map active compounds to a compact system in w.mat / w.rhs.
            double* a = w.mat.data();
            for (int r = 0; r < dim; ++r) {
                const int i = w.piv[r];
                const double si = std::sqrt(w.g[i]);
                w.tmp1[r] = si;
                w.rhs[r] = si * w.delta[i];  // -g
            }
            for (int r = 0; r < dim; ++r) {
                const int i = w.piv[r];
                for (int c = 0; c < dim; ++c) {
                    const int j = w.piv[c];
                    a[r * dim + c] =
                        (r == c ? 1.0 : 0.0) + w.tmp1[r] * w.tmp1[c] * w.dNW[i * nc + j] / sum;
                }
            }
            for (int r = 0; r < dim; ++r)
                w.tmp3[r] = static_cast<double>(w.piv[r]);
            // SolveLinear reuses piv for pivots: keep the index map in tmp3.
            if (SolveLinear(dim, a, w.rhs.data(), w.piv.data())) {
                bool ok = true;
                for (int r = 0; r < dim; ++r) {
                    const int i = static_cast<int>(w.tmp3[r]);
                    const double alpha = 2.0 * w.tmp1[r];
                    double an = alpha + w.rhs[r];
                    if (!(an > 0.0))
                        an = 0.1 * alpha;
                    const double lnNew = 2.0 * std::log(an / 2.0);
                    if (!std::isfinite(lnNew))
                        ok = false;
                    w.lnW2[i] = lnNew;
                }
                if (ok) {
                    for (int i = 0; i < nc; ++i) {
                        if (w.present[i])
                            w.lnW[i] = w.lnW2[i];
                    }
                    continue;
                }
            }
            newton = false;
        }
        // Successive substitution with dominant-eigenvalue extrapolation every 5th step.
        for (int i = 0; i < nc; ++i)
            w.lnW[i] += w.delta[i];
        if (it % 5 == 4) {
            double num = 0.0, den = 0.0;
            for (int i = 0; i < nc; ++i) {
                num += w.delta[i] * w.delta[i];
                den += w.deltaPrev[i] * w.delta[i];
            }
            if (den != 0.0) {
                const double lambda = num / den;
                if (lambda > 0.0 && lambda < 0.98) {
                    const double f = lambda / (1.0 - lambda);
                    for (int i = 0; i < nc; ++i)
                        w.lnW[i] += f * w.delta[i];
                }
            }
        }
        std::swap(w.delta, w.deltaPrev);
    }
    return out;
}

// Near-pure trial of compound k.
void NearPure(Calculator::Work& w, const double* z, int k) {
    double rest = 0.0;
    for (int i = 0; i < w.nc; ++i) {
        if (i != k)
            rest += z[i];
    }
    for (int i = 0; i < w.nc; ++i) {
        double wi = i == k ? kNearPure : (rest > 0 ? (1.0 - kNearPure) * z[i] / rest : 0.0);
        w.lnW[i] = w.present[i] ? std::log(std::max(wi, 1e-300)) : 0.0;
    }
}

// Records the trial in w.w / w.lnW as a stationary point unless a known one.
void Record(Calculator::Work& w, const TrialOutcome& o) {
    const int nc = w.nc;
    for (int s = 0; s < w.spCount; ++s) {
        double diff = 0.0;
        for (int i = 0; i < nc; ++i)
            diff = std::max(diff, std::fabs(w.spW[s * nc + i] - w.w[i]));
        if (diff < 1e-5) {
            if (o.tm < w.spTm[s])
                w.spTm[s] = o.tm;
            return;
        }
    }
    if (w.spCount >= w.maxTrials)
        return;
    const int s = w.spCount++;
    for (int i = 0; i < nc; ++i) {
        w.spW[s * nc + i] = w.w[i];
        w.spLnW[s * nc + i] = w.lnW[i];
    }
    w.spTm[s] = o.tm;
    w.spConv[s] = o.converged ? 1 : 0;
}

}  // namespace

int SecondLookTrials(Model& m, Calculator::Work& w, double t, double p, const double* z,
                     std::initializer_list<double> towardsCompound, double* out, int first) {
    const int nc = w.nc;
    int row = first;
    for (int k = 0; k < nc; ++k) {
        if (!(z[k] > 0.0))
            continue;
        for (double f : towardsCompound) {
            for (int i = 0; i < nc; ++i)
                out[row * nc + i] = (1.0 - f) * z[i] + (i == k ? f : 0.0);
            ++row;
        }
    }
    for (int side = 0; side < 2; ++side) {
        double sum = 0.0;
        for (int i = 0; i < nc; ++i) {
            const double k = m.fluid().WilsonK(i, t, p);
            w.g[i] = z[i] > 0.0 ? (side == 0 ? z[i] * k : z[i] / k) : 0.0;
            sum += w.g[i];
        }
        for (double f : {0.25, 0.5, 0.75}) {
            for (int i = 0; i < nc; ++i)
                out[row * nc + i] = (1.0 - f) * z[i] + f * w.g[i] / sum;
            ++row;
        }
    }
    return row;
}

int StabilityCore(Model& m, Calculator::Work& w, double t, double p, const double* z,
                  const double* lnPhiZ, bool full, const double* extraTrials, int extraCount,
                  bool standard, double stopBelow, bool nearPureTrials) {
    const int nc = w.nc;
    const Fluid& f = m.fluid();
    w.spCount = 0;
    w.minTm = 0.0;
    for (int i = 0; i < nc; ++i) {
        w.present[i] = z[i] > 0.0 ? 1 : 0;
        w.d[i] = w.present[i] ? std::log(z[i]) + lnPhiZ[i] : 0.0;
    }
    w.lowestTm = HUGE_VAL;
    bool stop = false;
    auto consider = [&](const TrialOutcome& o) {
        if (o.trivial)
            return;
        if (o.converged && o.tm < w.lowestTm) {
            w.lowestTm = o.tm;
            std::copy(w.w.begin(), w.w.end(), w.lowestW.begin());
        }
        w.minTm = std::min(w.minTm, o.tm);
        if (o.tm < -1e-12)
            Record(w, o);
        if (o.tm < stopBelow)
            stop = true;
    };
    const int maxIt = 300;
    // Warm starts.
    for (int e = 0; e < extraCount && !stop; ++e) {
        for (int i = 0; i < nc; ++i) {
            const double wi = extraTrials[e * nc + i];
            w.lnW[i] = w.present[i] ? std::log(std::max(wi, 1e-300)) : 0.0;
        }
        consider(RunTrial(m, w, t, p, z, maxIt));
    }
    // Wilson vapour-like and liquid-like trials.
    for (int side = 0; side < (standard ? 2 : 0) && !stop; ++side) {
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i])
                continue;
            const double lk = std::log(f.WilsonK(i, t, p));
            w.lnW[i] = std::log(z[i]) + (side == 0 ? lk : -lk);
        }
        consider(RunTrial(m, w, t, p, z, maxIt));
    }
    // Near-pure trials: every compound (full), or aqueous compounds, the heaviest and
    // the lightest (reduced). Water is always tried: Wilson's K-values cannot see an
    // aqueous phase.
    int heavy = -1, light = -1;
    for (int i = 0; i < nc; ++i) {
        if (!w.present[i] || f.isAqueous(i))
            continue;
        if (heavy < 0 || f.compound(i).tc > f.compound(heavy).tc)
            heavy = i;
        if (light < 0 || f.compound(i).tc < f.compound(light).tc)
            light = i;
    }
    const int present =
        static_cast<int>(std::count(w.present.begin(), w.present.end(), static_cast<char>(1)));
    if (present > 1 && standard && nearPureTrials) {
        for (int k = 0; k < nc && !stop; ++k) {
            if (!w.present[k])
                continue;
            const bool wanted = full || f.isAqueous(k) || k == heavy || k == light;
            if (!wanted)
                continue;
            NearPure(w, z, k);
            const TrialOutcome o = RunTrial(m, w, t, p, z, maxIt);
            consider(o);
            // A compound a little below its vapour pressure (CO2 at 260 K and 2.4 MPa
            // beside n-decane) has the vapour as its stable root: the near-pure trial
            // ends on the vapour's stationary point above the plane, while a liquid
            // rich in the compound lies below it on the other root. The trial is run
            // again with its first step taken on the liquid root.
            if (!stop && o.converged && !o.trivial && o.tm > 0.0) {
                NearPure(w, z, k);
                RootInfo info;
                for (int i = 0; i < nc; ++i)
                    w.w[i] = w.present[i] ? std::exp(w.lnW[i]) : 0.0;
                if (Eval(m, w, t, p, w.w.data(), w.lnPhiW.data(), nullptr, nullptr, Root::Stable,
                         &info) &&
                    info.roots >= 3 && info.largest)
                    consider(RunTrial(m, w, t, p, z, maxIt, Root::Liquid));
            }
        }
    }
    // Sort by tm, lowest first.
    for (int a = 0; a < w.spCount; ++a) {
        for (int b = a + 1; b < w.spCount; ++b) {
            if (w.spTm[b] < w.spTm[a]) {
                std::swap(w.spTm[a], w.spTm[b]);
                std::swap(w.spConv[a], w.spConv[b]);
                for (int i = 0; i < nc; ++i) {
                    std::swap(w.spW[a * nc + i], w.spW[b * nc + i]);
                    std::swap(w.spLnW[a * nc + i], w.spLnW[b * nc + i]);
                }
            }
        }
    }
    return w.spCount;
}

TrialResult TangentPlaneTrial(Model& m, Calculator::Work& w, double t, double p, const double* ref,
                              const double* start) {
    for (int i = 0; i < w.nc; ++i)
        w.lnW[i] = w.present[i] ? std::log(std::max(start[i], 1e-300)) : 0.0;
    const TrialOutcome o = RunTrial(m, w, t, p, ref, 300);
    TrialResult r;
    r.tm = o.tm;
    r.converged = o.converged;
    r.trivial = o.trivial;
    return r;
}

}  // namespace detail

namespace {
bool CheckTP(double t, double p, std::string* msg) {
    std::ostringstream os;
    if (!(t > 0) || !std::isfinite(t)) {
        os << "temperature = " << t << " K must be positive and finite";
        *msg = os.str();
        return false;
    }
    if (!(p > 0) || !std::isfinite(p)) {
        os << "pressure = " << p << " kPa must be positive and finite";
        *msg = os.str();
        return false;
    }
    return true;
}
}  // namespace

StabilityResult Calculator::Stability(double t, double p, const double* z,
                                      const FlashOptions& options) {
    StabilityResult r;
    Work& w = *work_;
    w.evaluations = 0;
    if (!CheckTP(t, p, &r.message) || !detail::NormaliseComposition(nc_, z, w.z.data(), &r.message))
        return r;
    if (!detail::Eval(*model_, w, t, p, w.z.data(), w.lnPhiZ.data())) {
        r.message = "the equation of state has no admissible root for the feed";
        return r;
    }
    detail::StabilityCore(*model_, w, t, p, w.z.data(), w.lnPhiZ.data(), options.fullStability,
                          nullptr, 0);
    r.outcome = Outcome::kConverged;
    r.evaluations = static_cast<int>(w.evaluations);
    r.iterations = w.spCount;
    r.minTm = w.minTm;
    r.stable = !(w.spCount > 0 && w.spTm[0] < -1e-10);
    for (int s = 0; s < w.spCount; ++s) {
        StationaryPoint sp;
        sp.w.assign(w.spW.begin() + s * nc_, w.spW.begin() + (s + 1) * nc_);
        sp.tm = w.spTm[s];
        sp.converged = w.spConv[s] != 0;
        r.points.push_back(std::move(sp));
    }
    r.message = r.stable ? "stable" : "unstable";
    return r;
}

FurtherPhaseResult Calculator::FurtherPhase(double t, double p, const double* feed,
                                            const double* incipient, const FlashOptions& options) {
    FurtherPhaseResult r;
    Work& w = *work_;
    w.evaluations = 0;
    if (!CheckTP(t, p, &r.message) ||
        !detail::NormaliseComposition(nc_, feed, w.z.data(), &r.message))
        return r;
    // Keep the incipient composition in saveA (normalised) when given.
    if (incipient && !detail::NormaliseComposition(nc_, incipient, w.saveA.data(), &r.message)) {
        r.message = "incipient " + r.message;
        return r;
    }
    RootInfo feedRoot;
    if (!detail::Eval(*model_, w, t, p, w.z.data(), w.lnPhiZ.data(), nullptr, nullptr, Root::Stable,
                      &feedRoot)) {
        r.message = "the equation of state has no admissible root for the feed";
        return r;
    }
    constexpr double kTmLimit = -1e-8;
    // A phase apart from the feed (and the incipient phase) in composition,
    // or, within 1e-3 of the feed's, on its other root: a product with ppm of
    // impurities has its own liquid as the further phase where an impurity's
    // dew curve (water out of CO2) crosses the product's narrow band.
    auto distinct = [&](const double* x) {
        double dz = 0.0, di = 0.0;
        for (int i = 0; i < nc_; ++i) {
            dz = std::max(dz, std::fabs(x[i] - w.z[i]));
            if (incipient)
                di = std::max(di, std::fabs(x[i] - w.saveA[i]));
        }
        if (incipient && di <= 1e-3)
            return false;
        if (dz > 1e-3)
            return true;
        RootInfo info;
        return detail::Eval(*model_, w, t, p, x, w.tmp2.data(), nullptr, nullptr, Root::Stable,
                            &info) &&
               std::fabs(info.z - feedRoot.z) > 0.5 * std::max(info.z, feedRoot.z);
    };
    // Warm start: the previous call's stationary points, without the standard trials
    // when one of them already shows a further phase.
    int best = -1;
    if (w.cacheCount > 0) {
        detail::StabilityCore(*model_, w, t, p, w.z.data(), w.lnPhiZ.data(), false, w.cacheW.data(),
                              w.cacheCount, false);
        for (int s = 0; s < w.spCount; ++s) {
            if (w.spTm[s] < kTmLimit && distinct(&w.spW[s * nc_])) {
                best = s;
                break;
            }
        }
    }
    if (best < 0) {
        detail::StabilityCore(*model_, w, t, p, w.z.data(), w.lnPhiZ.data(), options.fullStability,
                              nullptr, 0);
        for (int s = 0; s < w.spCount; ++s) {
            if (w.spTm[s] < kTmLimit && distinct(&w.spW[s * nc_])) {
                best = s;
                break;
            }
        }
    }
    // Trials a tenth of the way from the feed towards each compound, and a
    // quarter, half and three quarters of the way towards
    // Wilson's vapour- and liquid-like trials: a phase of intermediate
    // composition (a liquid of 71 % methane between a liquid of 30 % and
    // its incipient vapour of 96 %, TPD -2e-3) lies in a basin that the
    // standard trials pass by, each converging onto the vapour or the feed.
    if (best < 0) {
        const int count =
            detail::SecondLookTrials(*model_, w, t, p, w.z.data(), {0.1}, w.splitW.data(), 0);
        detail::StabilityCore(*model_, w, t, p, w.z.data(), w.lnPhiZ.data(), false, w.splitW.data(),
                              count, false);
        for (int s = 0; s < w.spCount; ++s) {
            if (w.spTm[s] < kTmLimit && distinct(&w.spW[s * nc_])) {
                best = s;
                break;
            }
        }
    }
    // Cache the stationary points found for the next call.
    w.cacheCount = w.spCount;
    std::copy(w.spW.begin(), w.spW.begin() + w.spCount * nc_, w.cacheW.begin());
    std::copy(w.spTm.begin(), w.spTm.begin() + w.spCount, w.cacheTm.begin());

    r.outcome = Outcome::kConverged;
    r.evaluations = static_cast<int>(w.evaluations);
    r.iterations = w.spCount;
    if (best >= 0) {
        r.found = true;
        r.tm = w.spTm[best];
        r.x.assign(w.spW.begin() + best * nc_, w.spW.begin() + (best + 1) * nc_);
        const double pip = model_->PhaseIdentification(t, p, r.x.data(), Root::Stable);
        r.type = pip <= 1.0 ? PhaseType::kVapour : PhaseType::kLiquid;
        std::ostringstream os;
        os << "further phase with tm = " << r.tm;
        r.message = os.str();
    } else {
        r.message = "no further phase";
    }
    return r;
}

}  // namespace pyrana::thermo
