// Bubble and dew points by the incipient-phase condition, and the saturation
// temperature of a (nearly) pure feed.
//
// A bubble point (β = 0) or dew point (β = 1) is where a phase of zero amount is
// in equilibrium with the phases present: Σ_i x_i K_i = 1 with K from the
// incipient phase's stationary point of the tangent-plane distance. It is solved
// by the Newton method on (ln K of the incipient phase and of a second liquid,
// the second liquid's fraction, ln T) that SaturationNewton implements, so the
// liquid–liquid split under a three-phase bubble point and the incipient vapour
// are solved together.
//
// The Newton method starts from the caller's initial temperature (the incipient
// composition from the previous call, or Wilson's K-values), which is what an
// envelope scan needs: one call costs a few model evaluations when the initial
// temperature is close. Otherwise a scan brackets the transition with cheap probes
// (stability analysis of the feed for a dew point; a PT flash for a bubble point,
// where the feed may already be two liquids) in 3 % steps; where the feed stays
// stable at three successive probes but its tangent-plane distance dips towards
// zero in the middle, the minimum is searched for, so a two-phase band narrower
// than the step is not missed. Every point is confirmed 0.01 K on its
// single-phase side: a dew point with the feed stable there (all trials, so a
// water dew point above a hydrocarbon one replaces it), a bubble point without
// vapour there (a second liquid found there restarts the method as a three-phase
// bubble point).
#include <algorithm>
#include <cmath>
#include <sstream>

#include "pyrana/thermo/calculator_internal.h"

namespace pyrana::thermo::detail {
namespace {

constexpr double kSide = 0.01;        // K: distance of the confirming probe from the point
constexpr double kStep = 1.03;        // scan step ratio in T
constexpr double kUnstable = -1e-10;  // tm below which a trial phase is present
constexpr int kMaxRestarts = 3;
// Halvings of a bubble bracket whose side without vapour has three liquids.
constexpr int kThreeLiquidHalvings = 6;

// What the search knows about one temperature.
struct State {
    bool valid = false;
    double t = 0;
    // The incipient kind of phase is present: dew, the feed is unstable; bubble, a
    // phase labelled vapour exists (the single phase included).
    bool inside = false;
    int np = 0;                 // phases of the PT flash (bubble probes; 1 for dew)
    double vapourFraction = 0;  // of the phase labelled vapour (bubble probes)
    // Molar volume of the phase labelled vapour, or of the single phase (bubble probes).
    double vapourVolume = NAN;
    double lowestTm = HUGE_VAL;  // lowest tm of a non-trivial stationary point of the feed
    // Σ z_i (ln φ_i(liquid root) - ln φ_i(vapour root)) of the feed, NaN with one root.
    // It changes sign inside every two-phase band (where both roots of the feed have the
    // same Gibbs energy, a split lowers it), however narrow the band is.
    double rootGap = NAN;
    // Which root of the feed is stable: -1 the liquid, +1 the vapour (the sign of
    // rootGap; with one root, liquid-like or vapour-like by the phase identification
    // parameter). A change between two single-phase probes below the cricondenbar
    // brackets a band even where the feed has one root at one of them (near the
    // critical point).
    double rootSide = 0;
    // Molar volumes of the feed's liquid and vapour roots where it has three (else NaN).
    double feedLiquidVolume = NAN, feedVapourVolume = NAN;
    // Reference phases (the feed, or the liquids of a bubble probe) and their fractions.
    int nRef = 1;
    double refBeta[2] = {1.0, 0.0};
    std::vector<double> ref[2];
    // Incipient composition (the vapour of a bubble probe inside, the stationary point
    // of a dew probe); empty when unknown.
    std::vector<double> inc;
};

// The phase labelled vapour of a two-phase bubble probe s is the feed's liquid
// carried on from the single-phase probe `liquid` beside it: nearer by molar volume
// to the feed's liquid root than to its vapour root where the feed has three, or
// within 5 % of the single phase's volume where it has one.
bool FeedsOwnLiquid(const State& s, const State& liquid) {
    if (!std::isfinite(s.vapourVolume))
        return false;
    if (!std::isfinite(s.feedLiquidVolume))
        return std::fabs(std::log(s.vapourVolume / liquid.vapourVolume)) < 0.05;
    return std::fabs(std::log(s.vapourVolume / s.feedLiquidVolume)) <
           std::fabs(std::log(s.vapourVolume / s.feedVapourVolume));
}

ProbeSummary Summary(const State& s) {
    return {s.t, s.valid, s.np, s.inside};
}

class Search {
  public:
    Search(Model& m, Calculator::Work& w, SaturationTask& task)
        : m_(m), w_(w), task_(task), nc_(w.nc), dew_(task.beta >= 1.0) {
        for (auto* v : {&x0_, &x1_, &x2_, &trial_})
            v->assign(nc_, 0.0);
    }

    SearchEnd Run(FlashResult* out);

  private:
    bool ProbeAt(double t, State* s);
    double RootGap(double t, double* vLiquid = nullptr, double* vVapour = nullptr);
    double RootSide(double t, double gap);
    bool GapSearch(const State& a, const State& b, FlashResult* out);
    bool BandBeside(State lo, State hi, FlashResult* out);
    bool StartNewton(const State& s, double t);
    bool Solve(const State& s, FlashResult* out);
    enum class Bracket { kSolved, kOtherKind, kUnsolved };
    Bracket SolveBracket(State a, State b, FlashResult* out);
    Bracket Unsolved(const State& a, const State& b) {
        narrowLo_ = Summary(a);
        narrowHi_ = Summary(b);
        return Bracket::kUnsolved;
    }
    bool DipSearch(const State& a, const State& b, const State& c, FlashResult* out);
    bool Fast(FlashResult* out);
    bool Accept(double t, FlashResult* out);

    const double* z() const { return task_.z; }
    double p() const { return task_.p; }
    void SetPresent(const double* x) {
        for (int i = 0; i < nc_; ++i)
            w_.present[i] = x[i] > 0.0 ? 1 : 0;
    }
    // Molar volume of x at t with the stable root (NaN when none).
    double Volume(double t, const double* x) {
        RootInfo info;
        if (!Eval(m_, w_, t, p(), x, w_.tmp2.data(), nullptr, nullptr, Root::Stable, &info))
            return NAN;
        return info.v;
    }
    // Stationary point of a trial phase against the reference x at t, from `start`;
    // true with the normalised composition in trial_ (non-trivial, converged).
    bool Stationary(double t, const double* x, const double* start, double* tm);
    // Stationary point of a liquid-like trial (Wilson) against the feed's vapour root at
    // t, which must be one of three roots; true with the normalised composition, denser
    // than that vapour, in trial_.
    bool LiquidAgainstVapour(double t);
    // The denser phase of a two-phase PT flash of the feed at t (the feed has one
    // root there, so no vapour root to stand against); true with it in trial_.
    bool DenserFlashPhase(double t);

    Model& m_;
    Calculator::Work& w_;
    SaturationTask& task_;
    const int nc_;
    const bool dew_;
    int nonRef_ = 1;  // non-reference phases of the Newton method in progress
    std::vector<double> x0_, x1_, x2_, trial_;
    double solvedBeta_[kMaxPhases] = {0, 0, 0};
    bool wrongKind_ = false;  // the last Solve found a transition of the other kind
    // The bracket of the last unsolved SolveBracket, as far as it was narrowed.
    ProbeSummary narrowLo_, narrowHi_;
    // Gap searches in progress: a probe at a gap's zero that shows a vapour
    // with one phase still leaves a gap bracket beside it, and searching that
    // again would find the same zero without end.
    int gapDepth_ = 0;
};

bool Search::Stationary(double t, const double* x, const double* start, double* tm) {
    SetPresent(x);
    if (!Eval(m_, w_, t, p(), x, w_.lnPhiZ.data()))
        return false;
    for (int i = 0; i < nc_; ++i)
        w_.d[i] = w_.present[i] ? std::log(x[i]) + w_.lnPhiZ[i] : 0.0;
    const TrialResult r = TangentPlaneTrial(m_, w_, t, p(), x, start);
    ++task_.iterations;
    if (!r.converged || r.trivial)
        return false;
    std::copy(w_.w.begin(), w_.w.end(), trial_.begin());
    *tm = r.tm;
    return true;
}

bool Search::LiquidAgainstVapour(double t) {
    RootInfo iv;
    if (!Eval(m_, w_, t, p(), z(), w_.lnPhiZ.data(), nullptr, nullptr, Root::Vapour, &iv) ||
        iv.roots < 3)
        return false;
    SetPresent(z());
    const Fluid& f = m_.fluid();
    for (int i = 0; i < nc_; ++i) {
        w_.d[i] = w_.present[i] ? std::log(z()[i]) + w_.lnPhiZ[i] : 0.0;
        w_.saveA[i] = z()[i] / f.WilsonK(i, t, p());
    }
    const TrialResult r = TangentPlaneTrial(m_, w_, t, p(), z(), w_.saveA.data());
    ++task_.iterations;
    if (!r.converged || r.trivial)
        return false;
    std::copy(w_.w.begin(), w_.w.end(), trial_.begin());
    return Volume(t, trial_.data()) < iv.v;
}

bool Search::DenserFlashPhase(double t) {
    const CoreResult r = FlashCore(m_, w_, t, p(), z(), *task_.options);
    task_.iterations += r.iterations + 1;
    if (!r.valid || w_.np < 2)
        return false;
    int dense = 0;
    for (int k = 1; k < w_.np; ++k) {
        if (w_.vol[k] < w_.vol[dense])
            dense = k;
    }
    std::copy(w_.x[dense].begin(), w_.x[dense].end(), trial_.begin());
    return true;
}

double Search::RootGap(double t, double* vLiquid, double* vVapour) {
    RootInfo il, iv;
    if (!Eval(m_, w_, t, p(), z(), w_.tmp1.data(), nullptr, nullptr, Root::Liquid, &il) ||
        il.roots < 3 ||
        !Eval(m_, w_, t, p(), z(), w_.tmp2.data(), nullptr, nullptr, Root::Vapour, &iv))
        return NAN;
    if (vLiquid)
        *vLiquid = il.v;
    if (vVapour)
        *vVapour = iv.v;
    double g = 0.0;
    for (int i = 0; i < nc_; ++i)
        g += z()[i] * (w_.tmp1[i] - w_.tmp2[i]);
    return g;
}

double Search::RootSide(double t, double gap) {
    if (std::isfinite(gap))
        return gap < 0.0 ? -1.0 : 1.0;
    const double pip = m_.PhaseIdentification(t, p(), z(), Root::Stable);
    ++w_.evaluations;
    if (!std::isfinite(pip))
        return 0.0;
    return pip > 1.0 ? -1.0 : 1.0;
}

bool Search::ProbeAt(double t, State* s) {
    s->valid = false;
    s->t = t;
    s->inc.clear();
    s->lowestTm = HUGE_VAL;
    s->feedLiquidVolume = s->feedVapourVolume = NAN;
    s->rootGap = RootGap(t, &s->feedLiquidVolume, &s->feedVapourVolume);
    s->rootSide = RootSide(t, s->rootGap);
    const FlashOptions& o = *task_.options;
    if (dew_) {
        if (!Eval(m_, w_, t, p(), z(), w_.lnPhiZ.data()))
            return false;
        const std::vector<double>& cache = w_.satIncipient[1];
        StabilityCore(m_, w_, t, p(), z(), w_.lnPhiZ.data(), o.fullStability,
                      cache.empty() ? nullptr : cache.data(), cache.empty() ? 0 : 1);
        ++task_.iterations;
        s->valid = true;
        s->np = 1;
        s->inside = w_.spCount > 0 && w_.spTm[0] < kUnstable;
        s->lowestTm = w_.lowestTm;
        s->nRef = 1;
        s->refBeta[0] = 1.0;
        s->ref[0].assign(z(), z() + nc_);
        if (s->inside)
            s->inc.assign(w_.spW.begin(), w_.spW.begin() + nc_);
        else if (std::isfinite(w_.lowestTm))
            s->inc.assign(w_.lowestW.begin(), w_.lowestW.end());
        // Inside the band on its bubble side the feed's stable root is the liquid one and
        // its most unstable direction is the vapour: a dew point needs the liquid that
        // stands against the feed as vapour instead.
        if (s->inside) {
            const double vFeed = Volume(t, z()), vInc = Volume(t, s->inc.data());
            if (!(vInc < vFeed)) {
                if (LiquidAgainstVapour(t))
                    s->inc.assign(trial_.begin(), trial_.end());
                else if (DenserFlashPhase(t))
                    s->inc.assign(trial_.begin(), trial_.end());
            }
        }
        return true;
    }
    const CoreResult r = FlashCore(m_, w_, t, p(), z(), o);
    task_.iterations += r.iterations + 1;
    if (!r.valid)
        return false;
    s->valid = true;
    s->np = w_.np;

    s->lowestTm = w_.np == 1 ? w_.feedLowestTm : -HUGE_VAL;
    // A phase labelled vapour that is denser than a liquid beside it is the heavier of
    // two liquids (at low temperature, where a light hydrocarbon liquid splits off).
    const int vap = BubbleVapour(m_, w_);
    s->inside = vap >= 0;
    s->vapourFraction = vap >= 0 ? w_.beta[vap] : 0.0;
    s->vapourVolume = w_.np == 1 ? w_.vol[0] : vap >= 0 ? w_.vol[vap] : NAN;
    s->nRef = 0;
    double sum = 0.0;
    for (int k = 0; k < w_.np && s->nRef < 2; ++k) {
        if (k == vap && w_.np > 1)
            continue;
        s->ref[s->nRef].assign(w_.x[k].begin(), w_.x[k].end());
        s->refBeta[s->nRef++] = w_.beta[k];
        sum += w_.beta[k];
    }
    for (int k = 0; k < s->nRef; ++k)
        s->refBeta[k] /= sum;
    if (vap >= 0 && w_.np > 1)
        s->inc.assign(w_.x[vap].begin(), w_.x[vap].end());
    return true;
}

// Sets up the Newton method from the state s at temperature t: phase 0 the main
// reference phase, phase 1 the incipient one (fraction 0), phase 2 the second liquid.
bool Search::StartNewton(const State& s, double t) {
    if (s.nRef < 1)
        return false;
    const int main = (s.nRef == 2 && s.refBeta[1] > s.refBeta[0]) ? 1 : 0;
    std::copy(s.ref[main].begin(), s.ref[main].end(), x0_.begin());
    if (!s.inc.empty()) {
        std::copy(s.inc.begin(), s.inc.end(), x1_.begin());
    } else {
        // A trial against the main reference phase: the incipient phase of the last
        // call, then Wilson's K-values (vapour-like for a bubble, liquid-like for a dew).
        const std::vector<double>& cache = w_.satIncipient[dew_ ? 1 : 0];
        double tm = 0.0;
        bool found = !cache.empty() && Stationary(t, x0_.data(), cache.data(), &tm);
        if (!found) {
            const Fluid& f = m_.fluid();
            for (int i = 0; i < nc_; ++i) {
                const double k = f.WilsonK(i, t, p());
                w_.saveA[i] = x0_[i] * (dew_ ? 1.0 / k : k);
            }
            found = Stationary(t, x0_.data(), w_.saveA.data(), &tm);
        }
        // Near the critical point both trials may collapse onto the reference: the last
        // call's incipient phase itself starts the Newton method then.
        if (!found && !cache.empty()) {
            std::copy(cache.begin(), cache.end(), trial_.begin());
            found = true;
        }
        if (!found)
            return false;
        std::copy(trial_.begin(), trial_.end(), x1_.begin());
    }
    nonRef_ = s.nRef;
    std::copy(x0_.begin(), x0_.end(), w_.x[0].begin());
    std::copy(x1_.begin(), x1_.end(), w_.x[1].begin());
    w_.beta[0] = s.refBeta[main];
    w_.beta[1] = 0.0;
    if (s.nRef == 2) {
        std::copy(s.ref[1 - main].begin(), s.ref[1 - main].end(), w_.x[2].begin());
        w_.beta[2] = s.refBeta[1 - main];
    }
    w_.np = s.nRef + 1;
    return true;
}

// Newton method from the set-up phases at s.t, then the confirmation on the
// single-phase side, restarting from a further phase found there. True with `out`.
bool Search::Solve(const State& start, FlashResult* out) {
    double t = start.t;
    if (!StartNewton(start, t))
        return false;
    const FlashOptions& o = *task_.options;
    for (int restart = 0; restart <= kMaxRestarts; ++restart) {
        SetPresent(z());
        double ts = t;
        if (!SaturationNewton(m_, w_, p(), z(), nonRef_, 0.0, &ts, &task_.iterations))
            return false;
        if (!(ts >= task_.tLo - kSide && ts <= task_.tHi + kSide))
            return false;
        // Keep the solution: phases and fractions.
        const int np = w_.np;
        std::copy(w_.x[0].begin(), w_.x[0].end(), x0_.begin());
        std::copy(w_.x[1].begin(), w_.x[1].end(), x1_.begin());
        if (np == 3)
            std::copy(w_.x[2].begin(), w_.x[2].end(), x2_.begin());
        std::copy(w_.beta, w_.beta + np, solvedBeta_);
        // Which side holds the incipient phase: d ln Σ_i x0_i K_i / dT at fixed
        // compositions is Σ_i x1_i (∂ln φ_i0/∂T - ∂ln φ_i1/∂T).
        double slope = 0.0;
        for (int i = 0; i < nc_; ++i)
            slope += x1_[i] * (w_.dT[0][i] - w_.dT[1][i]);
        // The incipient phase must be the kind asked for: denser than the feed for a
        // dew point, lighter than the reference liquid for a bubble point.
        // A bubble point's vapour must also be lighter by mass: a heavy liquid that
        // splits off a light one has the larger molar volume but the larger density.
        const double v0 = Volume(ts, x0_.data()), v1 = Volume(ts, x1_.data());
        const Fluid& fl = m_.fluid();
        const bool lighter = MassDensity(fl, x1_.data(), v1) < MassDensity(fl, x0_.data(), v0);
        if (!(dew_ ? v1 < v0 : v1 > v0 && lighter)) {
            wrongKind_ = true;
            return false;
        }
        const double tOut = ts + (slope > 0.0 ? -kSide : kSide);
        if (dew_) {
            if (!Eval(m_, w_, tOut, p(), z(), w_.lnPhiZ.data()))
                return false;
            StabilityCore(m_, w_, tOut, p(), z(), w_.lnPhiZ.data(), o.fullStability, x1_.data(), 1);
            ++task_.iterations;
            if (w_.spCount == 0 || w_.spTm[0] >= kUnstable)
                return Accept(ts, out);
            // Another liquid already there: its dew point lies beyond this one.
            int other = -1;
            for (int s = 0; s < w_.spCount && other < 0; ++s) {
                if (w_.spTm[s] >= kUnstable)
                    break;
                double diff = 0.0;
                for (int i = 0; i < nc_; ++i)
                    diff = std::max(diff, std::fabs(w_.spW[s * nc_ + i] - x1_[i]));
                if (diff > 1e-3)
                    other = s;
            }
            if (other < 0)
                return false;
            std::copy(w_.spW.begin() + other * nc_, w_.spW.begin() + (other + 1) * nc_,
                      x1_.begin());
            std::copy(z(), z() + nc_, w_.x[0].begin());
            std::copy(x1_.begin(), x1_.end(), w_.x[1].begin());
            w_.beta[0] = 1.0;
            w_.beta[1] = 0.0;
            w_.np = 2;
            nonRef_ = 1;
            t = tOut;
            continue;
        }
        const CoreResult r = FlashCore(m_, w_, tOut, p(), z(), o);
        task_.iterations += r.iterations + 1;
        if (!r.valid)
            return false;
        const int vap = w_.np > 1 ? BubbleVapour(m_, w_) : -1;
        const bool vapour = vap >= 0;
        int liquids[kMaxPhases], nl = 0;
        for (int k = 0; k < w_.np; ++k) {
            if (k != vap)
                liquids[nl++] = k;
        }
        if (!vapour && w_.np == nonRef_)
            return Accept(ts, out);
        // Two liquids there (with or without a vapour): the feed as one liquid was only
        // metastable, and the bubble point is the three-phase one of those liquids.
        if (!(nl == 2 && nonRef_ == 1))
            return false;
        const int la = liquids[0], lb = liquids[1];
        const int main = w_.beta[lb] > w_.beta[la] ? lb : la, other = la + lb - main;
        const double sum = w_.beta[la] + w_.beta[lb];
        const double b0 = w_.beta[main] / sum, b2 = w_.beta[other] / sum;
        std::copy(w_.x[main].begin(), w_.x[main].end(), x0_.begin());
        std::copy(w_.x[other].begin(), w_.x[other].end(), x2_.begin());
        std::copy(x0_.begin(), x0_.end(), w_.x[0].begin());
        std::copy(x1_.begin(), x1_.end(), w_.x[1].begin());
        std::copy(x2_.begin(), x2_.end(), w_.x[2].begin());
        w_.beta[0] = b0;
        w_.beta[1] = 0.0;
        w_.beta[2] = b2;
        w_.np = 3;
        nonRef_ = 2;
        t = tOut;
    }
    return false;
}

bool Search::Accept(double t, FlashResult* out) {
    const int np = nonRef_ + 1;
    w_.np = np;
    std::copy(x0_.begin(), x0_.end(), w_.x[0].begin());
    std::copy(x1_.begin(), x1_.end(), w_.x[1].begin());
    if (np == 3)
        std::copy(x2_.begin(), x2_.end(), w_.x[2].begin());
    std::copy(solvedBeta_, solvedBeta_ + np, w_.beta);
    w_.satIncipient[dew_ ? 1 : 0].assign(x1_.begin(), x1_.end());
    LabelAndOrder(m_, w_, t, p());
    FillResult(m_, w_, t, p(), out);
    out->t = t;
    out->outcome = out->fugacityError < 1e-9 ? Outcome::kConverged : Outcome::kNotConverged;
    return true;
}

// From the caller's initial temperature: the incipient phase of the last call or a
// Wilson trial against the feed (a bubble point under which the feed splits into two
// liquids is reached through the restart in Solve).
bool Search::Fast(FlashResult* out) {
    State s;
    s.t = task_.t0;
    s.valid = true;
    s.nRef = 1;
    s.refBeta[0] = 1.0;
    s.ref[0].assign(z(), z() + nc_);
    if (!Solve(s, out))
        return false;
    // Farther than a scan step: a nearer point may lie in between; let the scan decide.
    return std::fabs(std::log(out->t / task_.t0)) <= std::log(kStep);
}

Search::Bracket Search::SolveBracket(State a, State b, FlashResult* out) {
    const State* in = a.inside ? &a : &b;
    // A bubble-probe label change between two single phases is no phase transition,
    // and a vapour that is the main phase next to it marks a dew point, not a bubble point.
    if (!dew_ && a.np == 1 && b.np == 1) {
        const bool band = a.rootSide * b.rootSide < 0.0;
        return band && GapSearch(a, b, out) ? Bracket::kSolved : Bracket::kOtherKind;
    }
    // Three phases already on the side without a vapour: its bubble point would
    // need a fourth phase, which neither this method nor the flash represents,
    // unless two of the liquids merge within the bracket before the vapour
    // appears (a wet gas with methanol at 2 atm: three liquids at 117.7 K, an
    // aqueous and a hydrocarbon liquid below the three-phase bubble point at
    // 121.23 K, vapour with both at 121.26 K). The bracket is halved a few
    // times while its side without vapour keeps three phases.
    for (int k = 0; !dew_ && (a.inside ? b : a).np >= kMaxPhases; ++k) {
        State mid;
        if (k == kThreeLiquidHalvings || !ProbeAt(0.5 * (a.t + b.t), &mid))
            return Bracket::kOtherKind;
        if (mid.inside == a.inside)
            a = std::move(mid);
        else
            b = std::move(mid);
    }
    bool triedOutside = false;  // after a wrong kind from inside, the outside start once
    bool forceOutside = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        in = a.inside ? &a : &b;
        // Every other attempt starts from the single-phase side (its stationary point of
        // positive tm): near a double point the Newton method from inside may run to the
        // farther root.
        const State* outside = a.inside ? &b : &a;
        const State* start = (attempt % 2 == 1 || forceOutside) ? outside : in;
        forceOutside = false;
        if (start->inc.empty())
            start = in;
        // Two liquids on the single-phase side of a bubble point: they are the reference
        // and the vapour from the other side the incipient phase (a binary has its
        // three-phase point at one temperature, with two phases on either side).
        State seed;
        if (!dew_ && outside->nRef == 2 && !in->inc.empty()) {
            seed = *outside;
            seed.inc = in->inc;
            start = &seed;
        }
        wrongKind_ = false;
        // The phase that appears has the smaller fraction next to the transition: a
        // vapour that is the main phase there marks a dew point, unless the single
        // phase on the other side is the feed's liquid root (a nearly pure feed, whose
        // vapour condenses within hundredths of a kelvin: methane with 0.1 % of
        // cyclohexane at 2 atm still has 99.9 % vapour 5 K above its bubble point).
        const bool vapourMain = !dew_ && outside->np == 1 && in->np == 2 &&
                                in->vapourFraction > 0.5 && !(outside->rootSide < 0.0);
        if (vapourMain && b.t - a.t < 1e-3 * b.t)
            return Bracket::kOtherKind;
        // Next to the feed's liquid root, a phase labelled vapour that holds all but a
        // hundredth of the feed and is the feed's own liquid carried across (see
        // FeedsOwnLiquid) leaves the denser minor phase as the one that appears: a
        // liquid dropping out of a compressed liquid or a dense gas, not a vapour. (A
        // nearly pure feed that boils within the bracket has its vapour as the main
        // phase instead.)
        if (!dew_ && outside->np == 1 && outside->rootSide < 0.0 && in->np == 2 &&
            in->vapourFraction > 0.99 && FeedsOwnLiquid(*in, *outside))
            return Bracket::kOtherKind;
        if (!vapourMain && Solve(*start, out)) {
            const double slack = kSide + 1e-6 * b.t;
            if (out->t >= a.t - slack && out->t <= b.t + slack)
                return Bracket::kSolved;
            if (dew_ && out->t > b.t)
                return Bracket::kSolved;  // a higher dew point found from this one: the rule wants
                                          // it
        } else if (wrongKind_) {
            // The single-phase side tells the kind of the bracket: next to a vapour-like
            // feed it is a dew bracket, whichever end of the band the Newton method ran
            // to from inside (near the critical point, or where the feed's stable root
            // inside is the liquid). Its incipient liquid leads to the dew point; without
            // one, the narrowed bracket is tried again.
            if (!dew_ || outside->rootSide < 0.0)
                return Bracket::kOtherKind;
            if (!triedOutside && start != outside && !outside->inc.empty()) {
                triedOutside = forceOutside = true;
                --attempt;
                continue;
            }
        }
        if (attempt == 3)
            break;
        // Narrow the bracket before the next attempt.
        for (int k = 0; k < 3; ++k) {
            if (b.t - a.t < 1e-6 * b.t)
                return Unsolved(a, b);
            State mid;
            if (!ProbeAt(0.5 * (a.t + b.t), &mid))
                return Unsolved(a, b);
            if (mid.inside == a.inside)
                a = std::move(mid);
            else
                b = std::move(mid);
        }
    }
    return Unsolved(a, b);
}

// Three successive probes a < b < c (in T) outside, the middle one closest to a
// split: golden-section search of the lowest tm over [a, c] for a probe inside; the
// brackets on both sides of it are then solved, nearest the start first.
bool Search::DipSearch(const State& a, const State& b, const State& c, FlashResult* out) {
    constexpr double kGolden = 0.381966011250105;
    State lo = a, hi = c, m1 = b;
    for (int it = 0; it < 16; ++it) {
        if (hi.t - lo.t < 1e-4 * hi.t)
            return false;
        const bool left = (m1.t - lo.t) > (hi.t - m1.t);
        const double tn = left ? m1.t - kGolden * (m1.t - lo.t) : m1.t + kGolden * (hi.t - m1.t);
        State n;
        if (!ProbeAt(tn, &n))
            return false;
        if (n.inside) {
            const State& l = left ? lo : m1;
            const State& r = left ? m1 : hi;
            const bool upFirst = !task_.haveInit || n.t < task_.t0;
            if (upFirst)
                return SolveBracket(n, r, out) == Bracket::kSolved ||
                       SolveBracket(l, n, out) == Bracket::kSolved;
            return SolveBracket(l, n, out) == Bracket::kSolved ||
                   SolveBracket(n, r, out) == Bracket::kSolved;
        }
        if (!(std::isfinite(n.lowestTm)))
            return false;
        if (n.lowestTm < m1.lowestTm) {
            (left ? hi : lo) = std::move(m1);
            m1 = std::move(n);
        } else {
            (left ? lo : hi) = std::move(n);
        }
    }
    return false;
}

// Two successive probes a < b (in T) outside on whose two sides different roots of the
// feed are stable: a band lies between them below the cricondenbar. The gap's zero
// (secant steps on a bracket, bisection where the feed has one root) is probed; inside
// it, the brackets on both sides are solved, nearest the start first.
bool Search::GapSearch(const State& a, const State& b, FlashResult* out) {
    constexpr int kMaxGapDepth = 3;
    if (gapDepth_ >= kMaxGapDepth)
        return false;
    struct Depth {
        int& d;
        explicit Depth(int& depth) : d(depth) { ++d; }
        ~Depth() { --d; }
    } depth(gapDepth_);
    double ta = a.t, tb = b.t, ga = a.rootGap, gb = b.rootGap, sa = a.rootSide;
    double tn = 0.5 * (ta + tb);
    for (int it = 0; it < 30; ++it) {
        // Secant steps where the feed has two roots at both ends, bisection otherwise.
        tn = (std::isfinite(ga) && std::isfinite(gb)) ? ta - ga * (tb - ta) / (gb - ga)
                                                      : 0.5 * (ta + tb);
        if (!(tn > ta && tn < tb))
            tn = 0.5 * (ta + tb);
        const double gn = RootGap(tn);
        const double sn = RootSide(tn, gn);
        if (sn == 0.0)
            return false;
        if (sn == sa) {
            ta = tn;
            ga = gn;
        } else {
            tb = tn;
            gb = gn;
        }
        if (std::fabs(gn) < 1e-12 || tb - ta < 1e-9 * tb)
            break;
    }
    State n;
    if (!ProbeAt(tn, &n) || !n.inside)
        return false;
    // A bubble probe of one phase at the zero: the band lies beside it, thinner
    // than the distance to the probe on the other side of the label change.
    if (!dew_ && n.np < 2) {
        if (n.inside != a.inside)
            return BandBeside(a, n, out);
        return n.inside != b.inside && BandBeside(n, b, out);
    }
    const bool upFirst = !task_.haveInit || n.t < task_.t0;
    if (upFirst)
        return SolveBracket(n, b, out) == Bracket::kSolved ||
               SolveBracket(a, n, out) == Bracket::kSolved;
    return SolveBracket(a, n, out) == Bracket::kSolved ||
           SolveBracket(n, b, out) == Bracket::kSolved;
}

// Two single-phase bubble probes lo < hi (in T), one with the feed's liquid and
// one with a phase labelled vapour, between which the root gap's zero gave no
// band: a nearly pure feed's band may lie a tenth of a kelvin beside the zero
// (isobutane with 92 ppm of water boils at 2 atm between 280.411 and 280.516 K,
// the zero at 280.517 K). The label change is bisected until a probe shows two
// phases, which with the end that has no vapour brackets the bubble point; a
// change of label within one phase ends the search.
bool Search::BandBeside(State lo, State hi, FlashResult* out) {
    for (int it = 0; it < 60 && hi.t - lo.t > 1e-7 * hi.t; ++it) {
        State m;
        if (!ProbeAt(0.5 * (lo.t + hi.t), &m))
            return false;
        if (m.inside && m.np >= 2) {
            if (lo.inside)
                return SolveBracket(m, hi, out) == Bracket::kSolved;
            return SolveBracket(lo, m, out) == Bracket::kSolved;
        }
        (m.inside == lo.inside ? lo : hi) = std::move(m);
    }
    return false;
}

// A dip of the lowest tm in the middle of three outside probes.
bool Dip(const State& a, const State& b, const State& c) {
    return !a.inside && !b.inside && !c.inside && std::isfinite(a.lowestTm) &&
           std::isfinite(b.lowestTm) && std::isfinite(c.lowestTm) && b.lowestTm < a.lowestTm &&
           b.lowestTm < c.lowestTm && b.lowestTm >= 0.0;
}

SearchEnd Search::Run(FlashResult* out) {
    if (task_.haveInit && Fast(out))
        return SearchEnd::kFound;
    bool transition = false;
    // Scan outwards from t0 (or down from the upper bound) in steps of 3 % in T,
    // keeping the last three probes of each direction for the dip test.
    State up[3], dn[3];
    if (!ProbeAt(task_.t0, &up[0]))
        return SearchEnd::kFailed;
    dn[0] = up[0];
    int nUp = 1, nDn = 1;
    double tUp = task_.t0, tDn = task_.t0;
    const bool goUp = task_.haveInit;
    task_.scan.clear();
    task_.scanComplete = false;
    auto record = [&](const State& s, bool upward) {
        if (!dew_) {
            ScanProbe probe;
            probe.at = Summary(s);
            probe.upward = upward;
            task_.scan.push_back(probe);
        }
    };
    record(up[0], false);
    auto advance = [&](State* h, int* n, double tn, bool upward) -> int {
        State s;
        const bool probed = ProbeAt(tn, &s);
        record(s, upward);
        if (!probed)
            return 0;
        State& last = h[0];
        if (last.valid && s.inside != last.inside) {
            const Bracket b = upward ? SolveBracket(last, s, out) : SolveBracket(s, last, out);
            if (b == Bracket::kSolved)
                return 2;
            if (!dew_) {
                ScanProbe& probe = task_.scan.back();
                probe.bracketFrom = last.t;
                probe.otherKind = b == Bracket::kOtherKind;
                probe.narrowed = b == Bracket::kUnsolved;
                if (probe.narrowed) {
                    probe.lo = narrowLo_;
                    probe.hi = narrowHi_;
                }
            }
            transition = transition || b == Bracket::kUnsolved;
        }
        if (last.valid && !last.inside && !s.inside && last.rootSide * s.rootSide < 0.0) {
            const bool ok = upward ? GapSearch(last, s, out) : GapSearch(s, last, out);
            if (ok)
                return 2;
        }
        h[2] = std::move(h[1]);
        h[1] = std::move(h[0]);
        h[0] = std::move(s);
        *n = std::min(3, *n + 1);
        if (*n == 3 && Dip(h[2], h[1], h[0])) {
            const bool ok =
                upward ? DipSearch(h[2], h[1], h[0], out) : DipSearch(h[0], h[1], h[2], out);
            if (ok)
                return 2;
        }
        return 1;
    };
    // Inside a bubble point's band the step in ln T doubles, up to four scan steps,
    // while the vapour is not about to vanish: two phases at the last two probes of
    // the direction, with at least a tenth of vapour at both, whose linear trend in
    // ln T keeps a twentieth at the next probe. Anywhere else the scan keeps its
    // step: outside, a band narrower than a few steps (a retrograde dew point near
    // the cricondenbar) can lie between probes that see no phase at all.
    auto nextStep = [this](const State* h, int n) {
        if (dew_ || n < 2 || !h[0].valid || !h[1].valid || !h[0].inside || !h[1].inside ||
            h[0].np != 2 || h[1].np != 2 || h[0].vapourFraction < 0.1 || h[1].vapourFraction < 0.1)
            return kStep;
        const double last = std::fabs(std::log(h[0].t / h[1].t));
        const double doubled = std::exp(std::min(2.0 * last, 4.0 * std::log(kStep)));
        const double next = h[0].vapourFraction +
                            (h[0].vapourFraction - h[1].vapourFraction) * std::log(doubled) / last;
        return next >= 0.05 ? doubled : kStep;
    };
    while ((goUp && tUp < task_.tHi) || tDn > task_.tLo) {
        if (goUp && tUp < task_.tHi) {
            tUp = std::min(task_.tHi, tUp * nextStep(up, nUp));
            if (advance(up, &nUp, tUp, true) == 2)
                return SearchEnd::kFound;
        }
        if (tDn > task_.tLo) {
            tDn = std::max(task_.tLo, tDn / nextStep(dn, nDn));
            if (advance(dn, &nDn, tDn, false) == 2)
                return SearchEnd::kFound;
        }
    }
    task_.scanComplete = true;
    return transition ? SearchEnd::kFailed : SearchEnd::kNone;
}

}  // namespace

int DominantCompound(int nc, const double* z) {
    for (int i = 0; i < nc; ++i) {
        if (z[i] > 0.99999)
            return i;
    }
    return -1;
}

bool PureSaturation(Model& m, Calculator::Work& w, SaturationTask& task, int k, FlashResult* out) {
    const int nc = w.nc;
    const double p = task.p;
    const double* z = task.z;
    const Compound& c = m.fluid().compound(k);
    if (!(p < c.pc))
        return false;
    // Vapour-pressure estimate of Wilson's K-value form (the Lee–Kesler slope at the
    // critical point): ln(P/Pc) = 5.373 (1 + ω)(1 - Tc/T).
    double t = c.tc / (1.0 - std::log(p / c.pc) / (5.373 * (1.0 + c.omega)));
    double lo = 0.0, hi = c.tc;  // g < 0 below the saturation temperature, > 0 above
    std::vector<double>& lnL = w.lnPhi[0];
    std::vector<double>& lnV = w.lnPhi[1];
    std::vector<double>& dL = w.dT[0];
    std::vector<double>& dV = w.dT[1];
    bool done = false;
    for (int it = 0; it < 100 && !done; ++it) {
        ++task.iterations;
        RootInfo il, iv;
        if (!Eval(m, w, t, p, z, lnL.data(), dL.data(), nullptr, Root::Liquid, &il) ||
            !Eval(m, w, t, p, z, lnV.data(), dV.data(), nullptr, Root::Vapour, &iv))
            return false;
        double tn;
        if (il.roots < 3 || std::fabs(il.z - iv.z) < 1e-9 * iv.z) {
            // One root: liquid-like below the saturation temperature, vapour-like above.
            const double pip = m.PhaseIdentification(t, p, z, Root::Stable);
            (pip > 1.0 ? lo : hi) = t;
            tn = lo > 0.0 ? 0.5 * (lo + hi) : 0.9 * t;
        } else {
            // The dominant compound's fugacities of the two roots agree.
            const double g = lnL[k] - lnV[k], dg = dL[k] - dV[k];
            if (std::fabs(g) < 1e-14) {
                done = true;
                break;
            }
            (g < 0.0 ? lo : hi) = t;
            tn = t - g / dg;
            if (!(tn > lo && tn < hi) || !std::isfinite(tn))
                tn = lo > 0.0 ? 0.5 * (lo + hi) : 0.9 * t;
            done = std::fabs(tn - t) < 1e-13 * t;
        }
        if (hi - lo < 1e-14 * hi)
            done = true;
        t = tn;
    }
    if (!done || !(t >= task.tLo && t <= task.tHi))
        return false;
    RootInfo il, iv;
    if (!Eval(m, w, t, p, z, lnL.data(), nullptr, nullptr, Root::Liquid, &il) ||
        !Eval(m, w, t, p, z, lnV.data(), nullptr, nullptr, Root::Vapour, &iv) || il.roots < 3)
        return false;
    out->t = t;
    out->p = p;
    out->phases.assign(2, PhaseResult());
    double gibbs = 0.0;
    for (int ph = 0; ph < 2; ++ph) {
        PhaseResult& r = out->phases[ph];
        const bool vap = ph == 0;
        r.type = vap ? PhaseType::kVapour : PhaseType::kLiquid;
        r.fraction = vap ? task.beta : 1.0 - task.beta;
        r.x.assign(z, z + nc);
        double hr = 0, sr = 0, hi0 = 0, si = 0;
        RootInfo info;
        m.Residual(t, p, z, vap ? Root::Vapour : Root::Liquid, &hr, &sr, nullptr, &info);
        m.IdealGas(t, p, z, &hi0, &si, nullptr);
        r.z = info.z;
        r.v = info.v;
        r.h = hi0 + hr;
        r.s = si + sr;
        const std::vector<double>& lp = vap ? lnV : lnL;
        for (int i = 0; i < nc; ++i) {
            if (z[i] > 0.0)
                gibbs += r.fraction * z[i] * (std::log(z[i]) + lp[i]);
        }
    }
    // The two phases share the composition: the dominant compound's fugacities agree
    // (the traces ride along, as in a pure compound).
    out->fugacityError = std::fabs(lnL[k] - lnV[k]);
    out->gibbs = gibbs;
    out->outcome = out->fugacityError < 1e-9 ? Outcome::kConverged : Outcome::kNotConverged;
    return true;
}

SearchEnd IncipientSaturation(Model& m, Calculator::Work& w, SaturationTask& task,
                              FlashResult* out) {
    Search s(m, w, task);
    return s.Run(out);
}

}  // namespace pyrana::thermo::detail
