// Finite-difference derivatives of ln phi through a phase channel.
#include "engine/ln_phi_differences.h"

#include "core/units.h"
#include "engine/finite_differences.h"

namespace {

void ZeroAbsent(double* v, const double* w, const uint8_t* flags, int32_t ncomp) {
    for (int32_t i = 0; i < ncomp; ++i) {
        if (flags[i] == 1 || w[i] < kNegligibleFraction)
            v[i] = 0.0;
    }
}

// The normalised composition sent to the channel; returns the raw total.
double Normalise(const double* composition, double* w, int32_t ncomp) {
    double sum = 0.0;
    for (int32_t i = 0; i < ncomp; ++i) {
        if (composition[i] > kNegligibleFraction)
            sum += composition[i];
    }
    for (int32_t i = 0; i < ncomp; ++i) {
        w[i] = composition[i] > kNegligibleFraction ? composition[i] / sum : 0.0;
    }
    return sum;
}

// The temperature (per K) and pressure (per atm) derivatives by central
// differences at the composition last sent; conditions are put back.
void DifferenceCentral(LnPhiChannel& channel, const LnPhiDifferencing& d, double T, double pKpa,
                       double* dLnPhidT, double* dLnPhidP) {
    const int32_t nc = d.ncomp;
    double* v = d.result;
    const struct {
        double* out;
        double value;
        double step;
        double perUnit;  // the derivative's unit in the variable's (atm per kPa, 1 per K)
        bool pressure;
    } columns[] = {{dLnPhidP, pKpa, 1e-6 * pKpa, kKpaPerAtm, true},
                   {dLnPhidT, T, 1e-4, 1.0, false}};
    for (const auto& c : columns) {
        if (c.out == nullptr)
            continue;
        const double ahead = c.value + c.step, behind = c.value - c.step;
        // The values ahead are held in the output until those behind are read.
        for (double at : {ahead, behind}) {
            if (c.pressure)
                channel.PutPressure(at);
            else
                channel.PutTemperature(at);
            channel.Evaluate(at == ahead ? c.out : v, d.flags);
        }
        ZeroAbsent(c.out, d.work, d.flags, nc);
        ZeroAbsent(v, d.work, d.flags, nc);
        for (int32_t i = 0; i < nc; ++i)
            c.out[i] = (c.out[i] - v[i]) / (ahead - behind) * c.perUnit;
        if (c.pressure)
            channel.PutPressure(pKpa);
        else
            channel.PutTemperature(T);
    }
}

}  // namespace

void DifferenceLnPhi(LnPhiChannel& channel, const LnPhiDifferencing& d, double T, double P,
                     const double* composition, double* lnPhi, double* dLnPhidT, double* dLnPhidP,
                     double** dLnPhidn) {
    const int32_t nc = d.ncomp;
    double* w = d.work;
    double* v = d.result;
    const double sum = Normalise(composition, w, nc);

    const double pKpa = P * kKpaPerAtm;
    channel.PutPressure(pKpa);
    channel.PutTemperature(T);
    if (d.putActive)
        channel.PutActive();
    channel.SendComposition(w);
    channel.Evaluate(v, d.flags);
    ZeroAbsent(v, w, d.flags, nc);
    for (int32_t i = 0; i < nc; ++i) {
        if (lnPhi != nullptr)
            lnPhi[i] = v[i];
        if (dLnPhidT != nullptr)
            dLnPhidT[i] = v[i];
        if (dLnPhidP != nullptr)
            dLnPhidP[i] = v[i];
        if (dLnPhidn != nullptr) {
            for (int32_t j = 0; j < nc; ++j)
                dLnPhidn[i][j] = v[i];
        }
    }

    if (d.centralTP) {
        DifferenceCentral(channel, d, T, pKpa, dLnPhidT, dLnPhidP);
    } else if (dLnPhidP != nullptr) {
        const double h = PressureStep(pKpa);
        channel.PutPressure(pKpa + h);
        channel.Evaluate(v, d.flags);
        ZeroAbsent(v, w, d.flags, nc);
        for (int32_t i = 0; i < nc; ++i)
            dLnPhidP[i] = (v[i] - dLnPhidP[i]) / (h / kKpaPerAtm);
        channel.PutPressure(pKpa);
    }

    if (!d.centralTP && dLnPhidT != nullptr) {
        const double h = d.temperatureStep;
        channel.PutTemperature(T + h);
        channel.Evaluate(v, d.flags);
        ZeroAbsent(v, w, d.flags, nc);
        for (int32_t i = 0; i < nc; ++i)
            dLnPhidT[i] = (v[i] - dLnPhidT[i]) / h;
        channel.PutTemperature(T);
    }

    if (dLnPhidn != nullptr) {
        for (int32_t k = 0; k < nc; ++k) {
            const double nk = composition[k];
            if (nk > kNegligibleFraction) {
                double h = CompositionStep(nk);
                if (nk > 0.5)
                    h = -h;
                for (int32_t i = 0; i < nc; ++i) {
                    const double ni = composition[i] > kNegligibleFraction ? composition[i] : 0.0;
                    w[i] = (i == k ? ni + h : ni) / (sum + h);
                }
                channel.SendComposition(w);
                channel.Evaluate(v, d.flags);
                ZeroAbsent(v, w, d.flags, nc);
                for (int32_t i = 0; i < nc; ++i)
                    dLnPhidn[i][k] = (v[i] - dLnPhidn[i][k]) / h;
            } else {
                for (int32_t i = 0; i < nc; ++i)
                    dLnPhidn[i][k] = 0.0;
                dLnPhidn[k][k] = 1.0;
            }
        }
        for (int32_t i = 0; i < nc; ++i) {
            for (int32_t k = i + 1; k < nc; ++k) {
                const double s = sum * 0.5 * (dLnPhidn[i][k] + dLnPhidn[k][i]);
                dLnPhidn[i][k] = s;
                dLnPhidn[k][i] = s;
            }
        }
    }
    if (dLnPhidn != nullptr || d.restoreAlways) {
        Normalise(composition, w, nc);
        channel.SendComposition(w);
    }
}
