// Calculator: construction, scratch space, phase properties, labelling and the
// helpers the algorithms share.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "pyrana/thermo/calculator_internal.h"
#include "pyrana/thermo/cubic_eos.h"

namespace pyrana::thermo {

const char* ToString(Outcome o) {
    switch (o) {
        case Outcome::kConverged:
            return "converged";
        case Outcome::kTrivialSplit:
            return "trivial split";
        case Outcome::kNotConverged:
            return "not converged";
        case Outcome::kInvalidInput:
            return "invalid input";
    }
    return "unknown";
}

int FlashResult::VapourIndex() const {
    for (size_t k = 0; k < phases.size(); ++k) {
        if (phases[k].type == PhaseType::kVapour)
            return static_cast<int>(k);
    }
    return -1;
}

int FlashResult::LiquidIndex(int which) const {
    int seen = 0;
    for (size_t k = 0; k < phases.size(); ++k) {
        if (phases[k].type == PhaseType::kLiquid) {
            if (seen == which)
                return static_cast<int>(k);
            ++seen;
        }
    }
    return -1;
}

Calculator::Work::Work(int n) : nc(n) {
    maxTrials = n + 8;
    maxDim = 2 * n + 4;
    const size_t un = static_cast<size_t>(n);
    z.assign(un, 0);
    lnPhiZ.assign(un, 0);
    d.assign(un, 0);
    present.assign(un, 0);
    for (int k = 0; k < detail::kMaxPhases; ++k) {
        x[k].assign(un, 0);
        lnPhi[k].assign(un, 0);
        dN[k].assign(un * un, 0);
        dT[k].assign(un, 0);
    }
    spW.assign(un * maxTrials, 0);
    spLnW.assign(un * maxTrials, 0);
    spTm.assign(maxTrials, 0);
    spConv.assign(maxTrials, 0);
    cacheW.assign(un * maxTrials, 0);
    cacheTm.assign(maxTrials, 0);
    extraW.assign(un * maxTrials, 0);
    splitW.assign(un * (maxTrials + 2 * un + 16), 0);
    bestX.assign(un * detail::kMaxPhases, 0);
    nOld.assign(un * detail::kMaxPhases, 0);
    nTrial.assign(un * detail::kMaxPhases, 0);
    refPhase.assign(un, 0);
    seedW.assign(un, 0);
    psi.assign(un * detail::kMaxPhases, 0);
    satX.assign(un * detail::kMaxPhases, 0);
    lowestW.assign(un, 0);
    for (auto* v : {&lnW, &lnWPrev, &lnW2, &delta, &deltaPrev, &w, &lnPhiW, &g, &alpha, &lnK,
                    &lnKPrev, &lnKEarly, &dK, &dKPrev, &saveA, &saveB, &lnRef})
        v->assign(un, 0);
    dNW.assign(un * un, 0);
    mat.assign(static_cast<size_t>(maxDim) * maxDim, 0);
    mat2.assign(static_cast<size_t>(maxDim) * maxDim, 0);
    eigenVectors.assign(static_cast<size_t>(maxDim) * maxDim, 0);
    rhs.assign(maxDim, 0);
    piv.assign(maxDim, 0);
    idx.assign(un, 0);
    tmp1.assign(maxDim, 0);
    tmp2.assign(maxDim, 0);
    tmp3.assign(maxDim, 0);
}

Calculator::Calculator(Fluid fluid) : Calculator(std::make_unique<CubicEos>(std::move(fluid))) {}

Calculator::Calculator(std::unique_ptr<Model> model) : model_(std::move(model)) {
    nc_ = model_->size();
    work_ = std::make_unique<Work>(nc_);
}

Calculator::~Calculator() = default;

void Calculator::DropWarmStarts() {
    work_->cacheCount = 0;
    work_->satIncipient[0].clear();
    work_->satIncipient[1].clear();
}

Root Calculator::RootForPhaseType(int phaseType) {
    if (phaseType == static_cast<int>(PhaseType::kVapour))
        return Root::Vapour;
    if (phaseType == static_cast<int>(PhaseType::kLiquid))
        return Root::Liquid;
    return Root::Stable;
}

bool Calculator::LnPhi(double t, double p, const double* x, Root root, double* lnPhi,
                       RootInfo* info) {
    if (!(t > 0) || !std::isfinite(t) || !(p > 0) || !std::isfinite(p) || lnPhi == nullptr)
        return false;
    Work& w = *work_;
    if (!detail::NormaliseComposition(nc_, x, w.w.data(), nullptr))
        return false;
    // Into scratch first: a failing model call must leave lnPhi as it was.
    if (!model_->LnPhi(t, p, w.w.data(), root, w.lnPhiW.data(), nullptr, nullptr, nullptr, info))
        return false;
    std::copy(w.lnPhiW.begin(), w.lnPhiW.begin() + nc_, lnPhi);
    return true;
}

PhaseProperties Calculator::Properties(double t, double p, const double* x, Root root,
                                       bool derivatives) {
    PhaseProperties out;
    std::string err;
    if (!(t > 0) || !std::isfinite(t)) {
        std::ostringstream os;
        os << "temperature = " << t << " K must be positive";
        out.message = os.str();
        return out;
    }
    if (!(p > 0) || !std::isfinite(p)) {
        std::ostringstream os;
        os << "pressure = " << p << " kPa must be positive";
        out.message = os.str();
        return out;
    }
    if (!detail::NormaliseComposition(nc_, x, work_->w.data(), &err)) {
        out.message = err;
        return out;
    }
    const double* xn = work_->w.data();
    out.lnPhi.assign(nc_, 0.0);
    if (derivatives) {
        out.dLnPhiDT.assign(nc_, 0.0);
        out.dLnPhiDP.assign(nc_, 0.0);
        out.dLnPhiDN.assign(static_cast<size_t>(nc_) * nc_, 0.0);
    }
    if (!model_->LnPhi(t, p, xn, root, out.lnPhi.data(),
                       derivatives ? out.dLnPhiDT.data() : nullptr,
                       derivatives ? out.dLnPhiDP.data() : nullptr,
                       derivatives ? out.dLnPhiDN.data() : nullptr, &out.root)) {
        out.message = "the equation of state has no admissible root here";
        return out;
    }
    double hr = 0, sr = 0, cpr = 0, hi = 0, si = 0, cpi = 0;
    model_->Residual(t, p, xn, root, &hr, &sr, &cpr, nullptr);
    model_->IdealGas(t, p, xn, &hi, &si, &cpi);
    out.h = hi + hr;
    out.s = si + sr;
    out.cp = cpi + cpr;
    out.g = out.h - t * out.s;
    out.ok = true;
    return out;
}

namespace detail {

bool Eval(Model& m, Calculator::Work& w, double t, double p, const double* x, double* lnPhi,
          double* dT, double* dN, Root root, RootInfo* info) {
    ++w.evaluations;
    return m.LnPhi(t, p, x, root, lnPhi, dT, nullptr, dN, info);
}

bool SolveLinear(int n, double* a, double* b, int* piv) {
    for (int k = 0; k < n; ++k) {
        int best = k;
        double big = std::fabs(a[k * n + k]);
        for (int i = k + 1; i < n; ++i) {
            const double v = std::fabs(a[i * n + k]);
            if (v > big) {
                big = v;
                best = i;
            }
        }
        if (!(big > 0.0) || !std::isfinite(big))
            return false;
        piv[k] = best;
        if (best != k) {
            for (int j = 0; j < n; ++j)
                std::swap(a[k * n + j], a[best * n + j]);
            std::swap(b[k], b[best]);
        }
        const double inv = 1.0 / a[k * n + k];
        for (int i = k + 1; i < n; ++i) {
            const double f = a[i * n + k] * inv;
            if (f == 0.0)
                continue;
            for (int j = k + 1; j < n; ++j)
                a[i * n + j] -= f * a[k * n + j];
            b[i] -= f * b[k];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = b[i];
        for (int j = i + 1; j < n; ++j)
            s -= a[i * n + j] * b[j];
        b[i] = s / a[i * n + i];
        if (!std::isfinite(b[i]))
            return false;
    }
    return true;
}

bool NormaliseComposition(int nc, const double* x, double* out, std::string* error) {
    if (x == nullptr) {
        if (error)
            *error = "composition: pointer is null";
        return false;
    }
    double sum = 0.0;
    for (int i = 0; i < nc; ++i) {
        if (!std::isfinite(x[i]) || x[i] < 0.0) {
            if (error) {
                std::ostringstream os;
                os << "composition[" << i << "] = " << x[i] << " must be finite and >= 0";
                *error = os.str();
            }
            return false;
        }
        sum += x[i];
    }
    if (!(sum > 0.0)) {
        if (error)
            *error = "composition: sum = 0 must be positive";
        return false;
    }
    for (int i = 0; i < nc; ++i)
        out[i] = x[i] / sum;
    return true;
}

double SplitError(const Calculator::Work& w) {
    double err = 0.0;
    for (int k = 1; k < w.np; ++k) {
        for (int i = 0; i < w.nc; ++i) {
            if (!w.present[i])
                continue;
            const double a = std::log(w.x[k][i]) + w.lnPhi[k][i];
            const double b = std::log(w.x[0][i]) + w.lnPhi[0][i];
            err = std::max(err, std::fabs(a - b));
        }
    }
    return err;
}

double SplitGibbs(const Calculator::Work& w) {
    double g = 0.0;
    for (int k = 0; k < w.np; ++k) {
        double gk = 0.0;
        for (int i = 0; i < w.nc; ++i) {
            const double xi = w.x[k][i];
            if (xi > 0.0)
                gk += xi * (std::log(xi) + w.lnPhi[k][i]);
        }
        g += w.beta[k] * gk;
    }
    return g;
}

namespace {
double AqueousContent(const Fluid& f, const double* x) {
    double s = 0.0;
    for (int i = 0; i < f.size(); ++i) {
        if (f.isAqueous(i))
            s += x[i];
    }
    return s;
}
void SwapPhases(Calculator::Work& w, int a, int b) {
    std::swap(w.beta[a], w.beta[b]);
    std::swap(w.x[a], w.x[b]);
    std::swap(w.lnPhi[a], w.lnPhi[b]);
    std::swap(w.dN[a], w.dN[b]);
    std::swap(w.dT[a], w.dT[b]);
    std::swap(w.vol[a], w.vol[b]);
    std::swap(w.type[a], w.type[b]);
    std::swap(w.aqueous[a], w.aqueous[b]);
}
}  // namespace

// Labelling: a single phase is vapour when its phase identification parameter
// Π <= 1 (Venkatarathnam & Oellrich 2011), which stays meaningful above Tc. Of two
// phases the one of larger molar volume is the vapour, unless it is liquid-like
// itself (Π > 1) and the pair is an aqueous/non-aqueous split, which makes two
// liquids. Of three phases the largest molar volume is the vapour. Two liquids
// are ordered with the richer in aqueous compounds (else the denser) second.
void LabelAndOrder(Model& m, Calculator::Work& w, double t, double p) {
    const Fluid& f = m.fluid();
    RootInfo info;
    for (int k = 0; k < w.np; ++k) {
        ++w.evaluations;
        m.LnPhi(t, p, w.x[k].data(), Root::Stable, w.lnPhi[k].data(), nullptr, nullptr, nullptr,
                &info);
        w.vol[k] = info.v;
        w.type[k] = PhaseType::kLiquid;
        w.aqueous[k] = false;
    }
    // Largest molar volume first.
    for (int a = 0; a < w.np; ++a) {
        for (int b = a + 1; b < w.np; ++b) {
            if (w.vol[b] > w.vol[a])
                SwapPhases(w, a, b);
        }
    }
    const bool hasAq = f.hasAqueous();
    if (w.np == 1) {
        const double pip = m.PhaseIdentification(t, p, w.x[0].data(), Root::Stable);
        w.type[0] = pip <= 1.0 ? PhaseType::kVapour : PhaseType::kLiquid;
    } else if (w.np == 2) {
        bool twoLiquids = false;
        if (hasAq) {
            const double a0 = AqueousContent(f, w.x[0].data());
            const double a1 = AqueousContent(f, w.x[1].data());
            if ((a0 < 0.5) != (a1 < 0.5)) {
                const double pip = m.PhaseIdentification(t, p, w.x[0].data(), Root::Stable);
                twoLiquids = pip > 1.0;
            }
        }
        w.type[0] = twoLiquids ? PhaseType::kLiquid : PhaseType::kVapour;
        w.type[1] = PhaseType::kLiquid;
    } else {
        w.type[0] = PhaseType::kVapour;
    }
    // Two liquids: the aqueous (or, without aqueous compounds, the denser) one last.
    const int firstLiquid = w.type[0] == PhaseType::kVapour ? 1 : 0;
    if (w.np - firstLiquid == 2) {
        const int a = firstLiquid, b = firstLiquid + 1;
        bool swap = false;
        if (hasAq) {
            swap = AqueousContent(f, w.x[a].data()) > AqueousContent(f, w.x[b].data());
        } else {
            swap = w.vol[a] < w.vol[b];
        }
        if (swap)
            SwapPhases(w, a, b);
    }
    if (hasAq) {
        for (int k = firstLiquid; k < w.np; ++k) {
            w.aqueous[k] = AqueousContent(f, w.x[k].data()) > 0.5;
        }
    }
}

double MassDensity(const Fluid& f, const double* x, double v) {
    double mass = 0.0;
    for (int i = 0; i < f.size(); ++i)
        mass += x[i] * f.compound(i).molarMass;
    return mass / v;
}

int BubbleVapour(const Model& m, const Calculator::Work& w) {
    int vap = -1;
    for (int k = 0; k < w.np; ++k) {
        if (w.type[k] == PhaseType::kVapour)
            vap = k;
    }
    if (vap < 0 || w.np < 2)
        return vap;
    const Fluid& f = m.fluid();
    const double rhoV = MassDensity(f, w.x[vap].data(), w.vol[vap]);
    for (int k = 0; k < w.np; ++k) {
        if (k != vap && !(rhoV < MassDensity(f, w.x[k].data(), w.vol[k])))
            return -1;
    }
    return vap;
}

void FillResult(Model& m, Calculator::Work& w, double t, double p, FlashResult* out) {
    out->t = t;
    out->p = p;
    out->phases.clear();
    out->phases.resize(w.np);
    for (int k = 0; k < w.np; ++k) {
        PhaseResult& ph = out->phases[k];
        ph.type = w.type[k];
        ph.aqueous = w.aqueous[k];
        ph.fraction = w.beta[k];
        ph.x.assign(w.x[k].begin(), w.x[k].end());
        double hr = 0, sr = 0, hi = 0, si = 0;
        RootInfo info;
        m.Residual(t, p, w.x[k].data(), Root::Stable, &hr, &sr, nullptr, &info);
        m.IdealGas(t, p, w.x[k].data(), &hi, &si, nullptr);
        ph.z = info.z;
        ph.v = info.v;
        ph.h = hi + hr;
        ph.s = si + sr;
    }
    out->fugacityError = SplitError(w);
    out->gibbs = SplitGibbs(w);
}

}  // namespace detail
}  // namespace pyrana::thermo
