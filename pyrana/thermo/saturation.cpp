// Saturation flash at given pressure and vapour fraction.
//
// The temperature is bracketed with complete PT flashes (stability analysis
// included), so a water–hydrocarbon dew point is the highest temperature where
// any liquid, hydrocarbon or aqueous, appears, and a bubble point of two liquids
// gives vapour + two liquids. The scan starts at the initial temperature and
// moves outwards (nearest saturation point first), or from the upper bound down
// when there is none (upper dew point of a retrograde isobar). A crossing is
// accepted only when the phase that appears is the one asked for (the least
// dense for a bubble point, a denser one for a dew point). The bracket is
// narrowed by bisection; a Newton method on (ln K of every non-reference phase,
// free phase fractions, ln T) then solves the saturation equations exactly.
// The single-phase side is confirmed by a stability analysis next to the
// solution. No crossing in the bounds gives the trivial split, without iterating.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "pyrana/thermo/calculator_internal.h"

namespace pyrana::thermo {
namespace {

using detail::kMaxPhases;

// What a PT flash at one temperature says about the saturation condition.
struct Probe {
    bool valid = false;
    int np = 0;
    double vapourFraction = 0;  // fraction of the phase labelled vapour (0 if none)
    bool hasVapour = false;
    // A phase labelled vapour that is lighter by mass than every other phase (see
    // detail::BubbleVapour): what a bubble point needs to appear.
    bool lightVapour = false;
};

Probe Classify(Model& m, Calculator::Work& w, double t, double p, const double* z,
               const FlashOptions& o, int* iterations) {
    Probe pr;
    const detail::CoreResult r = detail::FlashCore(m, w, t, p, z, o);
    *iterations += r.iterations + 1;
    if (!r.valid)
        return pr;
    pr.valid = true;
    pr.np = w.np;
    for (int k = 0; k < w.np; ++k) {
        if (w.type[k] == PhaseType::kVapour) {
            pr.hasVapour = true;
            pr.vapourFraction = w.beta[k];
        }
    }
    pr.lightVapour = detail::BubbleVapour(m, w) >= 0;
    return pr;
}

// Signed indicator whose change of sign marks the saturation condition asked for.
// β = 0: vapour present or not; β = 1: more than one phase or not; otherwise the
// vapour fraction against β.
double Indicator(const Probe& pr, double beta) {
    if (beta <= 0.0)
        return pr.lightVapour ? 1.0 : -1.0;
    if (beta >= 1.0)
        return pr.np >= 2 ? -1.0 : 1.0;
    return pr.vapourFraction - beta;
}

// A temperature below which no vapour can stand beside the feed's liquids at p:
// there every compound is below its critical temperature, each liquid's activities
// x_i γ_i are at most 1, so the pressure of a vapour in equilibrium with them is at
// most Σ_i P_sat,i(T), and no more than n times the largest vapour pressure. The
// bound asks for a tenth of that again (a dense vapour's non-ideality) and takes
// nine tenths of the temperature where the most volatile compound reaches it, with
// the vapour pressures of Wilson's form (the Lee–Kesler slope at the critical
// point). Below it a bubble search at high pressure would only meet splits of
// compressed liquids into liquids, the costliest probes of a search that finds none.
double LowestBubbleTemperature(const Fluid& f, const double* z, double p) {
    int n = 0;
    for (int i = 0; i < f.size(); ++i)
        n += z[i] > 0.0 ? 1 : 0;
    const double pLow = p / (10.0 * n);
    double t = HUGE_VAL;
    for (int i = 0; i < f.size(); ++i) {
        if (!(z[i] > 0.0))
            continue;
        const Compound& c = f.compound(i);
        const double slope = 5.373 * (1.0 + c.omega);
        if (!(slope > 0.0))
            return 0.0;  // no vapour-pressure estimate: no bound
        const double tSat = pLow >= c.pc ? c.tc : c.tc / (1.0 - std::log(pLow / c.pc) / slope);
        t = std::min(t, tSat);
    }
    return std::isfinite(t) ? 0.9 * t : 0.0;
}

struct NewtonSpec {
    int m = 1;             // non-reference phases
    double fixedBeta = 0;  // fraction of non-reference phase 1
};

}  // namespace

namespace detail {

bool SaturationNewton(Model& model, Calculator::Work& w, double p, const double* z, int m,
                      double fixedBeta, double* t, int* iterations) {
    const int nc = w.nc;
    int act = 0;
    int* idx = w.idx.data();
    for (int i = 0; i < nc; ++i) {
        if (w.present[i])
            idx[act++] = i;
    }
    const int nFree = m - 1;
    const int dim = m * act + nFree + 1;
    if (dim > w.maxDim)
        return false;
    // Unknowns: lnK in lnK/dK/dKPrev (phase 1, 2), β of phases 2.. in beta[], ln T.
    std::vector<double>* lnK[kMaxPhases] = {nullptr, &w.lnK, &w.lnKPrev};
    double beta[kMaxPhases] = {0, fixedBeta, 0};
    for (int k = 1; k <= m; ++k) {
        for (int i = 0; i < nc; ++i) {
            (*lnK[k])[i] = w.present[i] ? std::log(w.x[k][i] / w.x[0][i]) : 0.0;
        }
        if (k >= 2)
            beta[k] = w.beta[k];
    }
    double lt = std::log(*t);
    double* jac = w.mat.data();
    double* res = w.rhs.data();
    for (int it = 0; it < 40; ++it) {
        ++*iterations;
        const double tt = std::exp(lt);
        // Compositions from the material balance.
        for (int i = 0; i < nc; ++i) {
            if (!w.present[i]) {
                for (int k = 0; k <= m; ++k)
                    w.x[k][i] = 0.0;
                continue;
            }
            double e = 1.0;
            for (int k = 1; k <= m; ++k)
                e += beta[k] * (std::exp((*lnK[k])[i]) - 1.0);
            if (!(e > 0.0))
                return false;
            w.x[0][i] = z[i] / e;
            for (int k = 1; k <= m; ++k)
                w.x[k][i] = w.x[0][i] * std::exp((*lnK[k])[i]);
        }
        double sums[kMaxPhases];
        for (int k = 0; k <= m; ++k) {
            double s = 0.0;
            for (int i = 0; i < nc; ++i)
                s += w.x[k][i];
            sums[k] = s;
            if (!(s > 0.0) || !std::isfinite(s))
                return false;
            // Model calls take the unnormalised amounts (the model normalises).
            if (!detail::Eval(model, w, tt, p, w.x[k].data(), w.lnPhi[k].data(), w.dT[k].data(),
                              w.dN[k].data()))
                return false;
        }
        // Residuals.
        double err = 0.0;
        int row = 0;
        for (int k = 1; k <= m; ++k) {
            for (int a = 0; a < act; ++a) {
                const int i = idx[a];
                res[row + a] = (*lnK[k])[i] + w.lnPhi[k][i] - w.lnPhi[0][i];
                err = std::max(err, std::fabs(res[row + a]));
            }
            row += act;
        }
        for (int k = 1; k <= m; ++k) {
            res[row++] = sums[k] - sums[0];
            err = std::max(err, std::fabs(sums[k] - sums[0]));
        }
        // Trivial solution: a phase collapsing onto the reference.
        for (int k = 1; k <= m; ++k) {
            double tr = 0.0;
            for (int a = 0; a < act; ++a)
                tr += z[idx[a]] * (*lnK[k])[idx[a]] * (*lnK[k])[idx[a]];
            if (tr < 1e-8)
                return false;
        }
        if (err < 1e-12) {
            *t = tt;
            for (int k = 0; k <= m; ++k) {
                for (int i = 0; i < nc; ++i)
                    w.x[k][i] /= sums[k];
            }
            w.np = m + 1;
            double bsum = 0.0;
            for (int k = 1; k <= m; ++k) {
                w.beta[k] = beta[k];
                bsum += beta[k];
            }
            w.beta[0] = 1.0 - bsum;
            return true;
        }
        // Jacobian. With x_j0 = z_j/E_j, E_j = 1 + Σ_k β_k (K_jk - 1), x_jk = K_jk x_j0:
        // ∂x_j0/∂lnK_jk = -β_k x_j0 x_jk / z_j,
        // ∂x_jl/∂lnK_jk = -β_k x_jl x_jk / z_j + δ_lk x_jk, ∂x_jl/∂β_k = -x_jl (x_jk - x_j0)/z_j.
        std::fill(jac, jac + dim * dim, 0.0);
        const int colBeta = m * act, colT = m * act + nFree;
        for (int k = 1; k <= m; ++k) {       // equation block
            for (int a = 0; a < act; ++a) {  // equation component i
                const int i = idx[a];
                double* J = &jac[((k - 1) * act + a) * dim];
                J[(k - 1) * act + a] += 1.0;
                for (int q = 1; q <= m; ++q) {       // unknown block lnK_.q
                    for (int b = 0; b < act; ++b) {  // unknown component j
                        const int j = idx[b];
                        const double xq = w.x[q][j];
                        const double d0 = -beta[q] * w.x[0][j] * xq / z[j];
                        const double dk = -beta[q] * w.x[k][j] * xq / z[j] + (k == q ? xq : 0.0);
                        J[(q - 1) * act + b] +=
                            w.dN[k][i * nc + j] / sums[k] * dk - w.dN[0][i * nc + j] / sums[0] * d0;
                    }
                }
                for (int q = 2; q <= m; ++q) {
                    double v = 0.0;
                    for (int b = 0; b < act; ++b) {
                        const int j = idx[b];
                        const double f = -(w.x[q][j] - w.x[0][j]) / z[j];
                        v += w.dN[k][i * nc + j] / sums[k] * w.x[k][j] * f -
                             w.dN[0][i * nc + j] / sums[0] * w.x[0][j] * f;
                    }
                    J[colBeta + q - 2] = v;
                }
                J[colT] = tt * (w.dT[k][i] - w.dT[0][i]);
            }
        }
        for (int k = 1; k <= m; ++k) {  // sum equations Σ_j (x_jk - x_j0)
            double* J = &jac[(m * act + k - 1) * dim];
            for (int q = 1; q <= m; ++q) {
                for (int b = 0; b < act; ++b) {
                    const int j = idx[b];
                    const double xq = w.x[q][j];
                    const double d0 = -beta[q] * w.x[0][j] * xq / z[j];
                    const double dk = -beta[q] * w.x[k][j] * xq / z[j] + (k == q ? xq : 0.0);
                    J[(q - 1) * act + b] = dk - d0;
                }
            }
            for (int q = 2; q <= m; ++q) {
                double v = 0.0;
                for (int b = 0; b < act; ++b) {
                    const int j = idx[b];
                    const double f = -(w.x[q][j] - w.x[0][j]) / z[j];
                    v += w.x[k][j] * f - w.x[0][j] * f;
                }
                J[colBeta + q - 2] = v;
            }
        }
        for (int r = 0; r < dim; ++r)
            res[r] = -res[r];
        if (!detail::SolveLinear(dim, jac, res, w.piv.data()))
            return false;
        // Damped step: ln T by at most 0.05, ln K by at most 1.
        double s = 1.0;
        if (std::fabs(res[colT]) > 0.05)
            s = std::min(s, 0.05 / std::fabs(res[colT]));
        for (int r = 0; r < m * act; ++r) {
            if (std::fabs(res[r]) > 1.0)
                s = std::min(s, 1.0 / std::fabs(res[r]));
        }
        for (int k = 1; k <= m; ++k) {
            for (int a = 0; a < act; ++a)
                (*lnK[k])[idx[a]] += s * res[(k - 1) * act + a];
        }
        for (int q = 2; q <= m; ++q) {
            beta[q] = std::min(1.0, std::max(0.0, beta[q] + s * res[colBeta + q - 2]));
        }
        lt += s * res[colT];
        if (!std::isfinite(lt))
            return false;
    }
    return false;
}

}  // namespace detail

namespace {

// Whether a phase of zero fraction (the incipient one) has the composition
// and density of another phase of the result: a liquid of a split taken
// for the new phase, no saturation point.
bool IncipientCoincides(const FlashResult& r) {
    for (const PhaseResult& a : r.phases) {
        if (a.fraction != 0.0)
            continue;
        for (const PhaseResult& b : r.phases) {
            if (&a == &b)
                continue;
            double apart = std::fabs(a.z - b.z);
            for (size_t i = 0; i < a.x.size(); ++i)
                apart = std::max(apart, std::fabs(a.x[i] - b.x[i]));
            if (apart < 1e-7)
                return true;
        }
    }
    return false;
}

// The result's two liquids in the order of their fractions, the larger
// first: a saturation point with two liquids lists its main liquid first
// whichever search found it, so that clients that tell the liquids apart by
// their place (first and second liquid) see the same liquids at the same
// point, and a liquid that is only incipient comes second.
void MainLiquidFirst(FlashResult* r) {
    const int a = r->LiquidIndex(0), b = r->LiquidIndex(1);
    if (a >= 0 && b >= 0 &&
        r->phases[static_cast<size_t>(b)].fraction > r->phases[static_cast<size_t>(a)].fraction)
        std::swap(r->phases[static_cast<size_t>(a)], r->phases[static_cast<size_t>(b)]);
}

bool SaturationNewton(Model& model, Calculator::Work& w, double p, const double* z,
                      const NewtonSpec& spec, double* t, int* iterations) {
    return detail::SaturationNewton(model, w, p, z, spec.m, spec.fixedBeta, t, iterations);
}
// Saturation points from PT flashes, where the incipient-phase search leaves
// one: a change of the flash's indicator between two temperatures is narrowed
// by bisection, the Newton method is set up from the flashes on its two sides,
// and the point it finds is confirmed just outside.
class FlashBracket {
  public:
    FlashBracket(Model& model, Calculator::Work& w, double p, double beta, const double* z,
                 const FlashOptions& options, int* iterations)
        : model_(model),
          w_(w),
          nc_(w.nc),
          p_(p),
          beta_(beta),
          z_(z),
          options_(options),
          iterations_(iterations) {}

    // What a PT flash at t says about the saturation condition.
    Probe At(double t) { return Classify(model_, w_, t, p_, z_, options_, iterations_); }

    // Accepts the crossing between ta < tb: bisects, checks the kind of the phase
    // that appears, polishes with Newton. True with the result in `out`.
    bool Settle(double ta, Probe pa, double tb, Probe pb, FlashResult* out) {
        for (int it = 0; it < 60 && tb - ta > 1e-7 * tb; ++it) {
            const double tm = 0.5 * (ta + tb);
            const Probe pm = At(tm);
            if (!pm.valid)
                return false;
            if ((Indicator(pm, beta_) > 0) == (Indicator(pa, beta_) > 0)) {
                ta = tm;
                pa = pm;
            } else {
                tb = tm;
                pb = pm;
            }
        }
        // The side with more phases (for β = 0 or 1) or the side nearer the target
        // fraction seeds the Newton method.
        const bool useB = (beta_ <= 0.0 || beta_ >= 1.0)
                              ? pb.np > pa.np || (pb.np == pa.np && Indicator(pb, beta_) > 0 &&
                                                  Indicator(pa, beta_) <= 0)
                              : std::fabs(Indicator(pb, beta_)) <= std::fabs(Indicator(pa, beta_));
        const double tIn = useB ? tb : ta;
        const double tOut = useB ? ta : tb;
        NewtonSpec spec;
        Probe pIn;
        const bool started = beta_ <= 0.0 || beta_ >= 1.0 ? IncipientStart(tOut, tIn, &pIn, &spec)
                                                          : FractionStart(tIn, &pIn, &spec);
        return started && SolveAndConfirm(ta, tb, tIn, tOut, pIn, spec, out);
    }

  private:
    // Phases for the Newton method: 0 the reference, 1 the fixed-fraction phase. A
    // bubble point takes its liquids from the side without vapour and the vapour from
    // the other side (which also covers the jump from two liquids to vapour + liquid
    // at a three-phase temperature); a dew point takes the vapour from the
    // single-phase side and the incipient liquid, which must be denser than the
    // vapour, from the other side; a mid fraction takes the side nearer the target.
    // Bubble (β = 0) or dew (β = 1) point: the phases of both sides' flashes.
    bool IncipientStart(double tOut, double tIn, Probe* pInOut, NewtonSpec* specOut) {
        Probe& pIn = *pInOut;
        NewtonSpec& spec = *specOut;
        const Probe pOut = At(tOut);
        if (!pOut.valid)
            return false;
        const int npOut = w_.np;
        double bOut[kMaxPhases];
        for (int k = 0; k < npOut; ++k) {
            bOut[k] = w_.beta[k];
            std::copy(w_.x[k].begin(), w_.x[k].end(), w_.satX.begin() + k * nc_);
        }
        pIn = At(tIn);
        if (!pIn.valid || pIn.np < 2)
            return false;
        int main = 0, vap = -1;
        for (int k = 0; k < w_.np; ++k) {
            if (w_.beta[k] > w_.beta[main])
                main = k;
            if (w_.type[k] == PhaseType::kVapour)
                vap = k;
        }
        if (beta_ <= 0.0) {
            vap = detail::BubbleVapour(model_, w_);
            if (vap < 0 || npOut + 1 > kMaxPhases)
                return false;
            int inc = 0;
            for (int k = 1; k < w_.np; ++k) {
                if (w_.beta[k] < w_.beta[inc])
                    inc = k;
            }
            if (inc != vap && npOut < 2)
                return false;  // the vapour is the main phase: a dew point, not a bubble point
            std::copy(w_.x[vap].begin(), w_.x[vap].end(), w_.saveA.begin());
            const int ref = (npOut == 2 && bOut[1] > bOut[0]) ? 1 : 0;
            std::copy(w_.satX.begin() + ref * nc_, w_.satX.begin() + (ref + 1) * nc_,
                      w_.x[0].begin());
            w_.beta[0] = bOut[ref];
            std::copy(w_.saveA.begin(), w_.saveA.end(), w_.x[1].begin());
            w_.beta[1] = 0.0;
            if (npOut == 2) {
                std::copy(w_.satX.begin() + (1 - ref) * nc_, w_.satX.begin() + (2 - ref) * nc_,
                          w_.x[2].begin());
                w_.beta[2] = bOut[1 - ref];
            }
            w_.np = npOut + 1;
            spec.m = npOut;
        } else {
            if (npOut != 1)
                return false;
            int inc = -1;
            for (int k = 0; k < w_.np; ++k) {
                if (k != main && (inc < 0 || w_.vol[k] < w_.vol[inc]))
                    inc = k;
            }
            if (inc < 0 || !(w_.vol[inc] < w_.vol[main]))
                return false;  // the new phase is the lighter one: a bubble point
            std::copy(w_.x[inc].begin(), w_.x[inc].end(), w_.x[1].begin());
            std::copy(w_.satX.begin(), w_.satX.begin() + nc_, w_.x[0].begin());
            w_.beta[0] = 1.0;
            w_.beta[1] = 0.0;
            w_.np = 2;
            spec.m = 1;
        }
        spec.fixedBeta = 0.0;
        return true;
    }

    // A vapour fraction between 0 and 1: the phases of the side nearer it.
    bool FractionStart(double tIn, Probe* pInOut, NewtonSpec* specOut) {
        Probe& pIn = *pInOut;
        NewtonSpec& spec = *specOut;
        pIn = At(tIn);
        if (!pIn.valid || pIn.np < 2)
            return false;
        int vap = -1;
        for (int k = 0; k < w_.np; ++k) {
            if (w_.type[k] == PhaseType::kVapour)
                vap = k;
        }
        if (vap < 0)
            return false;
        auto swapPh = [&](int a, int b) {
            if (a == b)
                return;
            std::swap(w_.x[a], w_.x[b]);
            std::swap(w_.beta[a], w_.beta[b]);
        };
        swapPh(1, vap);
        // Reference: the most abundant remaining liquid.
        const int ref = (w_.np == 3 && w_.beta[2] > w_.beta[0]) ? 2 : 0;
        swapPh(0, ref);
        spec.m = w_.np - 1;
        spec.fixedBeta = beta_;
        return true;
    }

    // The Newton method from the set-up phases at tIn, then the confirmation
    // on the other side.
    bool SolveAndConfirm(double ta, double tb, double tIn, double tOut, const Probe& pIn,
                         const NewtonSpec& spec, FlashResult* out) {
        double tSat = tIn;
        for (int i = 0; i < nc_; ++i)
            w_.present[i] = z_[i] > 0.0 ? 1 : 0;
        if (!SaturationNewton(model_, w_, p_, z_, spec, &tSat, iterations_))
            return false;
        if (std::fabs(tSat - tIn) > std::max(0.5, 2.0 * std::fabs(tb - ta)))
            return false;
        // The incipient phase converged onto one of the others (a liquid of the
        // split taken for the new vapour): no saturation point.
        for (int k = 0; k < w_.np; ++k) {
            if (k == 1)
                continue;
            double apart = 0.0;
            for (int i = 0; i < nc_; ++i)
                apart = std::max(apart, std::fabs(w_.x[1][i] - w_.x[k][i]));
            if (apart < 1e-7)
                return false;
        }
        // Save the saturation phases before confirming.
        const int np = w_.np;
        double savedBeta[kMaxPhases];
        for (int k = 0; k < np; ++k) {
            savedBeta[k] = w_.beta[k];
            std::copy(w_.x[k].begin(), w_.x[k].end(), w_.satX.begin() + k * nc_);
        }
        // Confirm the other side: slightly outside, the phase just found must be absent.
        const double dir = tOut > tIn ? 1.0 : -1.0;
        const Probe outside = At(tSat + dir * 0.01);
        if (!outside.valid)
            return false;
        if ((Indicator(outside, beta_) > 0) == (Indicator(pIn, beta_) > 0))
            return false;
        w_.np = np;
        for (int k = 0; k < np; ++k) {
            w_.beta[k] = savedBeta[k];
            std::copy(w_.satX.begin() + k * nc_, w_.satX.begin() + (k + 1) * nc_, w_.x[k].begin());
        }
        detail::LabelAndOrder(model_, w_, tSat, p_);
        // A vapour of zero fraction may be denser than expected near a critical point;
        // keep the fixed-fraction phase labelled vapour for a bubble or mid fraction.
        detail::FillResult(model_, w_, tSat, p_, out);
        out->t = tSat;
        out->outcome = out->fugacityError < 1e-9 ? Outcome::kConverged : Outcome::kNotConverged;
        return true;
    }

    Model& model_;
    Calculator::Work& w_;
    const int nc_;
    const double p_, beta_;
    const double* z_;
    const FlashOptions& options_;
    int* iterations_;
};

}  // namespace

FlashResult Calculator::FlashSaturation(double p, double beta, const double* z,
                                        const SaturationOptions& sat, const FlashOptions& options) {
    FlashResult out;
    Work& w = *work_;
    w.evaluations = 0;
    out.p = p;
    std::ostringstream os;
    if (!(p > 0) || !std::isfinite(p)) {
        os << "pressure = " << p << " kPa must be positive and finite";
        out.message = os.str();
        return out;
    }
    if (!(beta >= 0.0 && beta <= 1.0)) {
        os << "vapour fraction = " << beta << " must lie in [0, 1]";
        out.message = os.str();
        return out;
    }
    if (!detail::NormaliseComposition(nc_, z, w.z.data(), &out.message))
        return out;
    const Fluid& f = fluid();
    double tcMin = HUGE_VAL, tcMax = 0.0, tPseudo = 0.0;
    for (int i = 0; i < nc_; ++i) {
        if (w.z[i] <= 0.0)
            continue;
        tcMin = std::min(tcMin, f.compound(i).tc);
        tcMax = std::max(tcMax, f.compound(i).tc);
        tPseudo += w.z[i] * f.compound(i).tc;
    }
    double tLo = std::isfinite(sat.tMin) ? sat.tMin : 0.35 * tcMin;
    if (beta <= 0.0)
        tLo = std::max(tLo, LowestBubbleTemperature(f, w.z.data(), p));
    double tHi = std::isfinite(sat.tMax) ? sat.tMax : 1.3 * tcMax;
    if (!(tLo > 0.0) || !(tHi > tLo)) {
        os << "temperature bounds [" << tLo << ", " << tHi << "] K must be positive and increasing";
        out.message = os.str();
        return out;
    }
    const bool haveInit = std::isfinite(sat.tInit) && sat.tInit > 0.0;
    const double t0 = haveInit ? std::min(std::max(sat.tInit, tLo), tHi) : tHi;

    std::vector<double>& zz = w.z;  // normalised feed (FlashCore leaves w.z alone)
    int iters = 0;
    detail::SaturationTask task;
    task.p = p;
    task.beta = beta;
    task.z = zz.data();
    task.tLo = tLo;
    task.tHi = tHi;
    task.haveInit = haveInit;
    task.t0 = t0;
    FlashOptions scanOptions = options;
    scanOptions.secondLook = false;
    task.options = &scanOptions;
    auto finish = [&]() {
        MainLiquidFirst(&out);
        out.iterations = task.iterations;
        out.evaluations = static_cast<int>(w.evaluations);
        os << "saturation temperature " << out.t << " K with " << out.phases.size() << " phases";
        if (out.outcome != Outcome::kConverged)
            os << "; fugacity error " << out.fugacityError;
        out.message = os.str();
        return out;
    };
    // A (nearly) pure feed: the two-phase band has no width; solve the vapour pressure.
    bool none = false;
    const int dominant = detail::DominantCompound(nc_, zz.data());
    if (dominant >= 0) {
        if (detail::PureSaturation(*model_, w, task, dominant, &out))
            return finish();
        none = true;
    } else if (beta <= 0.0 || beta >= 1.0) {
        const detail::SearchEnd end = detail::IncipientSaturation(*model_, w, task, &out);
        if (end == detail::SearchEnd::kFound && !IncipientCoincides(out))
            return finish();
        none = end == detail::SearchEnd::kNone;
        out.phases.clear();
    }
    iters = task.iterations;
    FlashBracket bracket(*model_, w, p, beta, zz.data(), scanOptions, &iters);
    auto probe = [&](double t) { return bracket.At(t); };

    auto settle = [&](double ta, Probe pa, double tb, Probe pb) {
        return bracket.Settle(ta, pa, tb, pb, &out);
    };

    // Scan outwards from t0 (or downwards from the upper bound) in steps of 3 % in T.
    const double ratio = 1.03;
    bool done = false;
    if (none) {
        // Nothing to bracket: fall through to the trivial split.
    } else if (beta <= 0.0 && task.scanComplete && !task.scan.empty()) {
        // The incipient-phase scan of a bubble point probed with the PT flashes this
        // scan would make, outwards from the same start (its step only wider inside a
        // wide band): its brackets are settled from what it recorded instead of
        // scanning again. A
        // bracket it narrowed by bisection is settled from where it stopped (the
        // bisection here would probe the same midpoints first). Brackets it found to
        // hold no bubble point (a label change between single phases, a vapour that
        // is the main phase, an incipient phase of the wrong kind) are not settled: in
        // the sweeps none ever gave one here, while probing them cost most of a
        // failing search.
        auto asProbe = [](const detail::ProbeSummary& s) {
            Probe pr;
            pr.valid = s.valid;
            pr.np = s.np;
            pr.lightVapour = s.lightVapour;
            return pr;
        };
        const detail::ScanProbe* lastUp = &task.scan.front();
        const detail::ScanProbe* lastDn = &task.scan.front();
        for (size_t k = 1; k < task.scan.size() && !done; ++k) {
            const detail::ScanProbe& s = task.scan[k];
            const detail::ScanProbe*& last = s.upward ? lastUp : lastDn;
            const Probe pn = asProbe(s.at);
            const Probe pl = asProbe(last->at);
            if (pn.valid && !s.otherKind &&
                (Indicator(pn, beta) > 0) != (Indicator(pl, beta) > 0)) {
                if (s.narrowed && s.bracketFrom == last->at.t)
                    done = settle(s.lo.t, asProbe(s.lo), s.hi.t, asProbe(s.hi));
                else if (s.upward)
                    done = settle(last->at.t, pl, s.at.t, pn);
                else
                    done = settle(s.at.t, pn, last->at.t, pl);
            }
            last = &s;
        }
    } else if (haveInit) {
        Probe p0 = probe(t0);
        if (!p0.valid) {
            out.message = "the equation of state has no admissible root for the feed";
            return out;
        }
        double tUp = t0, tDn = t0;
        Probe pUp = p0, pDn = p0;
        while (!done && (tUp < tHi || tDn > tLo)) {
            if (tUp < tHi) {
                const double tn = std::min(tHi, tUp * ratio);
                const Probe pn = probe(tn);
                if (pn.valid && (Indicator(pn, beta) > 0) != (Indicator(pUp, beta) > 0))
                    done = settle(tUp, pUp, tn, pn);
                tUp = tn;
                pUp = pn;
            }
            if (!done && tDn > tLo) {
                const double tn = std::max(tLo, tDn / ratio);
                const Probe pn = probe(tn);
                if (pn.valid && (Indicator(pn, beta) > 0) != (Indicator(pDn, beta) > 0))
                    done = settle(tn, pn, tDn, pDn);
                tDn = tn;
                pDn = pn;
            }
        }
    } else {
        double tb = tHi;
        Probe pb = probe(tb);
        while (!done && tb > tLo) {
            const double ta = std::max(tLo, tb / ratio);
            const Probe pa = probe(ta);
            if (pa.valid && pb.valid && (Indicator(pa, beta) > 0) != (Indicator(pb, beta) > 0))
                done = settle(ta, pa, tb, pb);
            tb = ta;
            pb = pa;
        }
    }
    out.iterations = iters;
    if (done) {
        MainLiquidFirst(&out);
        out.evaluations = static_cast<int>(w.evaluations);
        os << "saturation temperature " << out.t << " K with " << out.phases.size() << " phases";
        if (out.outcome != Outcome::kConverged)
            os << "; fugacity error " << out.fugacityError;
        out.message = os.str();
        return out;
    }
    // No saturation point in the bounds: the trivial split, vapour and first liquid
    // of the feed's composition, at the pseudo-critical temperature Σ z_i Tc_i brought
    // into the search bounds. It does not depend on the caller's initial temperature,
    // so callers that seed the search differently (or not at all) receive the same result.
    const double tt = std::min(std::max(tPseudo, tLo), tHi);
    out.t = tt;
    out.phases.assign(2, PhaseResult());
    for (int k = 0; k < 2; ++k) {
        PhaseResult& ph = out.phases[k];
        ph.type = k == 0 ? PhaseType::kVapour : PhaseType::kLiquid;
        ph.fraction = k == 0 ? beta : 1.0 - beta;
        ph.x.assign(zz.begin(), zz.end());
        const Root root = k == 0 ? Root::Vapour : Root::Liquid;
        double hr = 0, sr = 0, hi = 0, si = 0;
        RootInfo info;
        model_->Residual(tt, p, zz.data(), root, &hr, &sr, nullptr, &info);
        model_->IdealGas(tt, p, zz.data(), &hi, &si, nullptr);
        ph.z = info.z;
        ph.v = info.v;
        ph.h = hi + hr;
        ph.s = si + sr;
    }
    out.outcome = Outcome::kTrivialSplit;
    out.evaluations = static_cast<int>(w.evaluations);
    os << "no saturation point at " << p << " kPa in [" << tLo << ", " << tHi
       << "] K: trivial split";
    out.message = os.str();
    return out;
}

}  // namespace pyrana::thermo
