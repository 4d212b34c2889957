// Cubic equations of state in the generic (δ1, δ2) form.
#include "pyrana/thermo/cubic_eos.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace pyrana::thermo {
namespace {

constexpr double kR = kGasConstant;
constexpr double kPi = 3.14159265358979323846;

// Antiderivatives of the clamped ideal-gas heat capacity (Cp°/R constant outside the
// fitted range, so the polynomial is never extrapolated).
double CpOverR(const IdealGasCp& c, double t) {
    t = std::min(std::max(t, c.tMin), c.tMax);
    return c.a[0] + t * (c.a[1] + t * (c.a[2] + t * (c.a[3] + t * c.a[4])));
}
double PolyIntCp(const IdealGasCp& c, double t) {
    return t * (c.a[0] + t * (c.a[1] / 2 + t * (c.a[2] / 3 + t * (c.a[3] / 4 + t * c.a[4] / 5))));
}
double PolyIntCpOverT(const IdealGasCp& c, double t) {
    return c.a[0] * std::log(t) +
           t * (c.a[1] + t * (c.a[2] / 2 + t * (c.a[3] / 3 + t * c.a[4] / 4)));
}
double IntCp(const IdealGasCp& c, double t) {  // ∫ Cp/R dT up to an additive constant
    if (t < c.tMin)
        return PolyIntCp(c, c.tMin) + CpOverR(c, c.tMin) * (t - c.tMin);
    if (t > c.tMax)
        return PolyIntCp(c, c.tMax) + CpOverR(c, c.tMax) * (t - c.tMax);
    return PolyIntCp(c, t);
}
double IntCpOverT(const IdealGasCp& c, double t) {  // ∫ Cp/(R T) dT up to a constant
    if (t < c.tMin)
        return PolyIntCpOverT(c, c.tMin) + CpOverR(c, c.tMin) * std::log(t / c.tMin);
    if (t > c.tMax)
        return PolyIntCpOverT(c, c.tMax) + CpOverR(c, c.tMax) * std::log(t / c.tMax);
    return PolyIntCpOverT(c, t);
}

}  // namespace

CubicEos::CubicEos(Fluid fluid) : fluid_(std::move(fluid)) {
    nc_ = fluid_.size();
    d1_ = fluid_.delta1();
    d2_ = fluid_.delta2();
    const size_t n = static_cast<size_t>(nc_);
    sqrtA_.assign(n, 0.0);
    sqrtAc_.assign(n, 0.0);
    for (int i = 0; i < nc_; ++i)
        sqrtAc_[i] = std::sqrt(fluid_.ac(i));
    dSqrtA_.assign(n, 0.0);
    d2SqrtA_.assign(n, 0.0);
    oneMinusK_.assign(n * n, 0.0);
    for (int i = 0; i < nc_; ++i) {
        for (int j = 0; j < nc_; ++j)
            oneMinusK_[i * nc_ + j] = 1.0 - fluid_.kij(i, j);
    }
    aij_.assign(n * n, 0.0);
    aijT_.assign(n * n, 0.0);
    aijTT_.assign(n * n, 0.0);
    x_.assign(n, 0.0);
    psi_.assign(n, 0.0);
    psiT_.assign(n, 0.0);
    psiTT_.assign(n, 0.0);
    pi_.assign(n, 0.0);
}

int CubicEos::SolveCubic(double c2, double c1, double c0, double* roots) {
    // Depressed cubic t³ + p t + q = 0 with Z = t - c2/3.
    const double shift = c2 / 3.0;
    const double p = c1 - c2 * shift;
    const double q = 2.0 * shift * shift * shift - shift * c1 + c0;
    const double disc = q * q / 4.0 + p * p * p / 27.0;
    int count;
    if (disc > 0.0) {
        const double sq = std::sqrt(disc);
        const double u = std::cbrt(-q / 2.0 + sq);
        const double w = std::cbrt(-q / 2.0 - sq);
        roots[0] = u + w - shift;
        count = 1;
    } else if (p == 0.0) {
        roots[0] = roots[1] = roots[2] = -shift;
        count = 3;
    } else {
        const double r = 2.0 * std::sqrt(-p / 3.0);
        double arg = 3.0 * q / (p * r);
        arg = std::min(1.0, std::max(-1.0, arg));
        const double phi = std::acos(arg) / 3.0;
        for (int k = 0; k < 3; ++k)
            roots[k] = r * std::cos(phi - 2.0 * kPi * k / 3.0) - shift;
        count = 3;
    }
    // Newton polish: the closed forms lose digits when roots nearly coincide.
    for (int k = 0; k < count; ++k) {
        double z = roots[k];
        for (int it = 0; it < 3; ++it) {
            const double f = ((z + c2) * z + c1) * z + c0;
            const double df = (3.0 * z + 2.0 * c2) * z + c1;
            if (df == 0.0)
                break;
            const double dz = f / df;
            z -= dz;
            if (std::fabs(dz) <= 1e-15 * std::max(1.0, std::fabs(z)))
                break;
        }
        roots[k] = z;
    }
    std::sort(roots, roots + count);
    return count;
}

void CubicEos::SetTemperature(double t, bool derivatives) {
    if (t == tCached_ && (tDerivCached_ || !derivatives))
        return;
    // √ac_i is kept from construction; √(T/Tc) and √(T Tc) are taken as they are
    // (not from one √T, which would round differently and move every result).
    for (int i = 0; i < nc_; ++i) {
        const double tc = fluid_.compound(i).tc;
        const double sac = sqrtAc_[i];
        const double m = fluid_.m(i);
        const double sqrtTr = std::sqrt(t / tc);
        sqrtA_[i] = sac * (1.0 + m * (1.0 - sqrtTr));
        if (derivatives) {
            // d√a/dT = -√ac m / (2 √(T Tc)); d²√a/dT² = √ac m / (4 T √(T Tc)).
            const double stt = std::sqrt(t * tc);
            dSqrtA_[i] = -sac * m / (2.0 * stt);
            d2SqrtA_[i] = sac * m / (4.0 * t * stt);
        }
    }
    for (int i = 0; i < nc_; ++i) {
        for (int j = i; j < nc_; ++j) {
            const double k = oneMinusK_[i * nc_ + j];
            const double a = k * sqrtA_[i] * sqrtA_[j];
            aij_[i * nc_ + j] = aij_[j * nc_ + i] = a;
        }
    }
    if (derivatives) {
        for (int i = 0; i < nc_; ++i) {
            for (int j = i; j < nc_; ++j) {
                const double k = oneMinusK_[i * nc_ + j];
                const double at = k * (dSqrtA_[i] * sqrtA_[j] + sqrtA_[i] * dSqrtA_[j]);
                const double att = k * (d2SqrtA_[i] * sqrtA_[j] + 2.0 * dSqrtA_[i] * dSqrtA_[j] +
                                        sqrtA_[i] * d2SqrtA_[j]);
                aijT_[i * nc_ + j] = aijT_[j * nc_ + i] = at;
                aijTT_[i * nc_ + j] = aijTT_[j * nc_ + i] = att;
            }
        }
    }
    tCached_ = t;
    tDerivCached_ = derivatives;
}

double CubicEos::DepartureGibbs(double z, double bigA, double bigB) const {
    // G^r/(RT) = Σ x_i ln φ_i of one root.
    return z - 1.0 - std::log(z - bigB) -
           bigA / (bigB * (d1_ - d2_)) * std::log((z + d1_ * bigB) / (z + d2_ * bigB));
}

bool CubicEos::Prepare(double t, double p, const double* x, Root root, bool tDerivatives,
                       State* s) {
    if (!(t > 0.0) || !(p > 0.0) || !std::isfinite(t) || !std::isfinite(p) || x == nullptr)
        return false;
    double sum = 0.0;
    for (int i = 0; i < nc_; ++i) {
        if (!(x[i] >= 0.0) || !std::isfinite(x[i]))
            return false;
        sum += x[i];
    }
    if (!(sum > 0.0) || !std::isfinite(sum))
        return false;
    for (int i = 0; i < nc_; ++i)
        x_[i] = x[i] / sum;

    SetTemperature(t, tDerivatives);
    double a = 0.0, b = 0.0;
    for (int i = 0; i < nc_; ++i) {
        const double* row = &aij_[i * nc_];
        double ps = 0.0;
        for (int j = 0; j < nc_; ++j)
            ps += row[j] * x_[j];
        psi_[i] = ps;
        a += x_[i] * ps;
        b += x_[i] * fluid_.b(i);
    }
    const double rt = kR * t;
    const double bigA = a * p / (rt * rt);
    const double bigB = b * p / rt;
    const double sd = d1_ + d2_, pd = d1_ * d2_;
    const double c2 = -(1.0 + bigB - sd * bigB);
    const double c1 = bigA + pd * bigB * bigB - sd * bigB * (bigB + 1.0);
    const double c0 = -(bigA * bigB + pd * bigB * bigB * (bigB + 1.0));
    double roots[3];
    const int count = SolveCubic(c2, c1, c0, roots);
    // Admissible roots: Z > B.
    double zLo = std::numeric_limits<double>::quiet_NaN(), zHi = zLo;
    int admissible = 0;
    for (int k = 0; k < count; ++k) {
        if (roots[k] > bigB) {
            if (admissible == 0)
                zLo = roots[k];
            zHi = roots[k];
            ++admissible;
        }
    }
    if (admissible == 0)
        return false;
    double z;
    bool largest;
    if (root == Root::Vapour || zHi - zLo <= 1e-12 * zHi) {
        z = zHi;
        largest = true;
    } else if (root == Root::Liquid) {
        z = zLo;
        largest = false;
    } else {
        const bool hi = DepartureGibbs(zHi, bigA, bigB) <= DepartureGibbs(zLo, bigA, bigB);
        z = hi ? zHi : zLo;
        largest = hi;
    }
    s->t = t;
    s->p = p;
    s->a = a;
    s->b = b;
    s->bigA = bigA;
    s->bigB = bigB;
    s->z = z;
    s->v = z * rt / p;
    s->roots = admissible;
    s->largest = largest;
    if (tDerivatives) {
        for (int i = 0; i < nc_; ++i) {
            const double* rowT = &aijT_[i * nc_];
            const double* rowTT = &aijTT_[i * nc_];
            double pt = 0.0, ptt = 0.0;
            for (int j = 0; j < nc_; ++j) {
                pt += rowT[j] * x_[j];
                ptt += rowTT[j] * x_[j];
            }
            psiT_[i] = pt;
            psiTT_[i] = ptt;
        }
    }
    return true;
}

void CubicEos::FillVb(double v, double b, Vb* q) const {
    const double vmb = v - b;
    q->g = std::log(1.0 - b / v);
    q->gV = b / (v * vmb);
    q->gB = -1.0 / vmb;
    q->gVV = -1.0 / (vmb * vmb) + 1.0 / (v * v);
    q->gBV = 1.0 / (vmb * vmb);
    q->gBB = -1.0 / (vmb * vmb);
    q->gVVV = 2.0 / (vmb * vmb * vmb) - 2.0 / (v * v * v);
    const double e1 = v + d1_ * b, e2 = v + d2_ * b;
    const double qq = e1 * e2, qp = 2.0 * v + (d1_ + d2_) * b;
    q->f = std::log(e1 / e2) / (kR * b * (d1_ - d2_));
    q->fV = -1.0 / (kR * qq);
    q->fB = -(q->f + v * q->fV) / b;
    q->fVV = qp / (kR * qq * qq);
    q->fBV = -(2.0 * q->fV + v * q->fVV) / b;
    q->fBB = -(2.0 * q->fB + v * q->fBV) / b;
    q->fVVV = (2.0 * qq - 2.0 * qp * qp) / (kR * qq * qq * qq);
}

bool CubicEos::LnPhi(double t, double p, const double* x, Root root, double* lnPhi,
                     double* dLnPhiDT, double* dLnPhiDP, double* dLnPhiDN, RootInfo* info) {
    State s;
    if (!lnPhi || !Prepare(t, p, x, root, dLnPhiDT != nullptr, &s))
        return false;
    const double z = s.z, bigA = s.bigA, bigB = s.bigB;
    const double lnZmB = std::log(z - bigB);
    const double logRatio = std::log((z + d1_ * bigB) / (z + d2_ * bigB));
    const double coef = bigA / (bigB * (d1_ - d2_)) * logRatio;
    const double invA = 1.0 / s.a, invB = 1.0 / s.b;
    for (int i = 0; i < nc_; ++i) {
        const double bi = fluid_.b(i) * invB;
        lnPhi[i] = bi * (z - 1.0) - lnZmB - coef * (2.0 * psi_[i] * invA - bi);
    }
    if (info) {
        double shift = 0.0;
        if (fluid_.volumeTranslation()) {
            for (int i = 0; i < nc_; ++i)
                shift += x_[i] * fluid_.shift(i);
        }
        info->z = z;
        info->v = s.v - shift;
        info->roots = s.roots;
        info->largest = s.largest;
    }
    if (!dLnPhiDT && !dLnPhiDP && !dLnPhiDN)
        return true;

    // Derivatives from F(T, V, n) at n = 1 (Michelsen & Mollerup, ch. 2).
    const double v = s.v, b = s.b, d = s.a, rt = kR * t;
    Vb q;
    FillVb(v, b, &q);
    const double fBB = -q.gBB - d / t * q.fBB;
    const double fBV = -q.gBV - d / t * q.fBV;
    const double fVV = -q.gVV - d / t * q.fVV;
    const double fnB = -q.gB;
    const double fnV = -q.gV;
    const double fBD = -q.fB / t;
    const double fDV = -q.fV / t;
    const double fD = -q.f / t;
    const double pV = -rt * fVV - rt / (v * v);
    for (int i = 0; i < nc_; ++i) {
        const double fiV = fnV + fBV * fluid_.b(i) + fDV * 2.0 * psi_[i];
        pi_[i] = -rt * fiV + rt / v;
    }
    if (dLnPhiDP) {
        for (int i = 0; i < nc_; ++i)
            dLnPhiDP[i] = -pi_[i] / pV / rt - 1.0 / p;
    }
    if (dLnPhiDT) {
        double dT = 0.0;
        for (int i = 0; i < nc_; ++i)
            dT += x_[i] * psiT_[i];
        const double fVT = d * q.fV / (t * t) - q.fV / t * dT;
        const double pT = p / t - rt * fVT;
        const double cB = q.fB * (d / (t * t) - dT / t);
        for (int i = 0; i < nc_; ++i) {
            const double fiT =
                fluid_.b(i) * cB + q.f * 2.0 * psi_[i] / (t * t) - q.f / t * 2.0 * psiT_[i];
            const double vbar = -pi_[i] / pV;
            dLnPhiDT[i] = fiT + 1.0 / t - vbar * pT / rt;
        }
    }
    if (dLnPhiDN) {
        const double c = 1.0 / (rt * pV);
        for (int i = 0; i < nc_; ++i) {
            const double bi = fluid_.b(i), di = 2.0 * psi_[i];
            for (int j = i; j < nc_; ++j) {
                const double bj = fluid_.b(j), dj = 2.0 * psi_[j];
                const double fij = fnB * (bi + bj) + fBB * bi * bj + fBD * (bi * dj + bj * di) +
                                   fD * 2.0 * aij_[i * nc_ + j];
                const double val = fij + 1.0 + pi_[i] * pi_[j] * c;
                dLnPhiDN[i * nc_ + j] = dLnPhiDN[j * nc_ + i] = val;
            }
        }
    }
    return true;
}

bool CubicEos::Residual(double t, double p, const double* x, Root root, double* hRes, double* sRes,
                        double* cpRes, RootInfo* info) {
    State s;
    if (!Prepare(t, p, x, root, true, &s))
        return false;
    const double v = s.v, b = s.b, d = s.a, rt = kR * t;
    double dT = 0.0, dTT = 0.0;
    for (int i = 0; i < nc_; ++i) {
        dT += x_[i] * psiT_[i];
        dTT += x_[i] * psiTT_[i];
    }
    Vb q;
    FillVb(v, b, &q);
    const double fT = d * q.f / (t * t) - q.f / t * dT;
    const double f = -q.g - d / t * q.f;
    if (hRes)
        *hRes = -rt * t * fT + p * v - rt;
    if (sRes)
        *sRes = -kR * t * fT - kR * f + kR * std::log(s.z);
    if (cpRes) {
        const double fTT = -2.0 * d * q.f / (t * t * t) + 2.0 * q.f / (t * t) * dT - q.f / t * dTT;
        const double fVV = -q.gVV - d / t * q.fVV;
        const double fVT = d * q.fV / (t * t) - q.fV / t * dT;
        const double pV = -rt * fVV - rt / (v * v);
        const double pT = p / t - rt * fVT;
        const double cvRes = -rt * t * fTT - 2.0 * rt * fT;
        *cpRes = cvRes - t * pT * pT / pV - kR;
    }
    if (info) {
        double shift = 0.0;
        if (fluid_.volumeTranslation()) {
            for (int i = 0; i < nc_; ++i)
                shift += x_[i] * fluid_.shift(i);
        }
        info->z = s.z;
        info->v = s.v - shift;
        info->roots = s.roots;
        info->largest = s.largest;
    }
    return true;
}

double CubicEos::PhaseIdentification(double t, double p, const double* x, Root root) {
    State s;
    if (!Prepare(t, p, x, root, true, &s))
        return std::numeric_limits<double>::quiet_NaN();
    const double v = s.v, b = s.b, d = s.a, rt = kR * t;
    double dT = 0.0;
    for (int i = 0; i < nc_; ++i)
        dT += x_[i] * psiT_[i];
    Vb q;
    FillVb(v, b, &q);
    const double fVV = -q.gVV - d / t * q.fVV;
    const double fVVV = -q.gVVV - d / t * q.fVVV;
    const double fVT = d * q.fV / (t * t) - q.fV / t * dT;
    const double fVVT = d * q.fVV / (t * t) - q.fVV / t * dT;
    const double pV = -rt * fVV - rt / (v * v);
    const double pVV = -rt * fVVV + 2.0 * rt / (v * v * v);
    const double pT = p / t - rt * fVT;
    const double pTV = -kR * fVV - rt * fVVT - kR / (v * v);
    return v * (pTV / pT - pVV / pV);
}

void CubicEos::IdealGas(double t, double p, const double* x, double* h, double* s,
                        double* cp) const {
    double sum = 0.0;
    for (int i = 0; i < nc_; ++i)
        sum += x[i];
    double hh = 0.0, ss = 0.0, cc = 0.0;
    for (int i = 0; i < nc_; ++i) {
        const double xi = x[i] / sum;
        if (xi <= 0.0)
            continue;
        const IdealGasCp& c = fluid_.compound(i).cp;
        if (h)
            hh += xi * (IntCp(c, t) - IntCp(c, kReferenceTemperature));
        if (s)
            ss += xi * (IntCpOverT(c, t) - IntCpOverT(c, kReferenceTemperature) - std::log(xi));
        if (cp)
            cc += xi * CpOverR(c, t);
    }
    if (h)
        *h = kR * hh;
    if (s)
        *s = kR * (ss - std::log(p / kReferencePressure));
    if (cp)
        *cp = kR * cc;
}

bool CubicEos::HelmholtzTV(double t, double v, const double* n, double* p, double* fn,
                           double* fnn) {
    if (!(t > 0.0) || !(v > 0.0) || n == nullptr)
        return false;
    SetTemperature(t, false);
    double ntot = 0.0, bb = 0.0, dd = 0.0;
    for (int i = 0; i < nc_; ++i) {
        if (!(n[i] >= 0.0))
            return false;
        ntot += n[i];
        bb += n[i] * fluid_.b(i);
    }
    if (!(ntot > 0.0))
        return false;
    for (int i = 0; i < nc_; ++i) {
        const double* row = &aij_[i * nc_];
        double ps = 0.0;
        for (int j = 0; j < nc_; ++j)
            ps += row[j] * n[j];
        psi_[i] = ps;  // D_i = 2 psi_i
        dd += n[i] * ps;
    }
    if (!(v > bb))
        return false;
    Vb q;
    FillVb(v, bb, &q);
    const double rt = kR * t;
    if (p)
        *p = -rt * (-ntot * q.gV - dd / t * q.fV) + ntot * rt / v;
    const double fB = -ntot * q.gB - dd / t * q.fB;
    const double fD = -q.f / t;
    if (fn) {
        for (int i = 0; i < nc_; ++i)
            fn[i] = -q.g + fB * fluid_.b(i) + fD * 2.0 * psi_[i];
    }
    if (fnn) {
        const double fnB = -q.gB;
        const double fBB = -ntot * q.gBB - dd / t * q.fBB;
        const double fBD = -q.fB / t;
        for (int i = 0; i < nc_; ++i) {
            const double bi = fluid_.b(i), di = 2.0 * psi_[i];
            for (int j = i; j < nc_; ++j) {
                const double bj = fluid_.b(j), dj = 2.0 * psi_[j];
                const double val = fnB * (bi + bj) + fBB * bi * bj + fBD * (bi * dj + bj * di) +
                                   fD * 2.0 * aij_[i * nc_ + j];
                fnn[i * nc_ + j] = fnn[j * nc_ + i] = val;
            }
        }
    }
    return true;
}

double CubicEos::CoVolume(const double* x) const {
    double sum = 0.0, b = 0.0;
    for (int i = 0; i < nc_; ++i) {
        sum += x[i];
        b += x[i] * fluid_.b(i);
    }
    return b / sum;
}

}  // namespace pyrana::thermo
