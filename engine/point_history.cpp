// The last converged points of a trace and interpolation through them.
#include "engine/point_history.h"

#include <cmath>

void PointHistory::Init(int32_t n) {
    n_ = n > 0 ? n : 0;
    rows_.assign(static_cast<size_t>(n_) * kCapacity, 0.0);
    scratch_.assign(static_cast<size_t>(n_), 0.0);
    count_ = 0;
    head_ = 0;
}

void PointHistory::Push(const double* X) {
    head_ = (head_ + kCapacity - 1) % kCapacity;
    double* row = rows_.data() + static_cast<size_t>(head_) * n_;
    for (int32_t i = 0; i < n_; ++i)
        row[i] = X[i];
    if (count_ < kCapacity)
        ++count_;
}

const double* PointHistory::At(int32_t h) const {
    return rows_.data() + static_cast<size_t>((head_ + h) % kCapacity) * n_;
}

bool PointHistory::Interpolate(const double* current, int32_t nodes, int32_t k, double at,
                               double* out, const uint8_t* flags) const {
    const double* node[kCapacity + 1];
    int32_t m = 0;
    if (current != nullptr)
        node[m++] = current;
    for (int32_t h = 0; h < count_ && m < nodes && m <= kCapacity; ++h)
        node[m++] = At(h);
    if (m < 2)
        return false;
    return Lagrange(node, m, k, at, out, n_, flags);
}

bool PointHistory::Lagrange(const double* const* nodes, int32_t m, int32_t k, double at,
                            double* out, int32_t n, const uint8_t* flags) {
    double weight[kCapacity + 2];
    if (m > kCapacity + 2)
        return false;
    for (int32_t a = 0; a < m; ++a) {
        double w = 1.0;
        for (int32_t b = 0; b < m; ++b) {
            if (b == a)
                continue;
            const double gap = nodes[a][k] - nodes[b][k];
            if (std::fabs(gap) < 1e-12)
                return false;
            w *= (at - nodes[b][k]) / gap;
        }
        weight[a] = w;
    }
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        double v = 0.0;
        for (int32_t a = 0; a < m; ++a)
            v += weight[a] * nodes[a][i];
        out[i] = v;
    }
    out[k] = at;
    return true;
}

bool PointHistory::Reach(const double* current, int32_t nodes, int32_t k, double value, double* out,
                         const uint8_t* flags) const {
    const double* node[kCapacity + 1];
    int32_t m = 0;
    if (current != nullptr)
        node[m++] = current;
    for (int32_t h = 0; h < count_ && m < nodes && m <= kCapacity; ++h)
        node[m++] = At(h);
    if (m < 2)
        return false;
    // The unknown that changes most over the nodes carries the polynomial.
    int32_t var = k;
    double widest = -1.0;
    for (int32_t i = 0; i < n_; ++i) {
        if (flags[i] == 1)
            continue;
        double lo = node[0][i], hi = node[0][i];
        for (int32_t a = 1; a < m; ++a) {
            lo = std::fmin(lo, node[a][i]);
            hi = std::fmax(hi, node[a][i]);
        }
        if (hi - lo > widest) {
            widest = hi - lo;
            var = i;
        }
    }
    if (var == k)
        return Interpolate(current, nodes, k, value, out, flags);
    double* trial = scratch_.data();
    auto gap = [&](double at, double* g) {
        if (!Interpolate(current, nodes, var, at, trial, flags))
            return false;
        *g = trial[k] - value;
        return std::isfinite(*g);
    };
    double a0 = node[1][var], a1 = node[0][var];
    double g0 = 0.0, g1 = 0.0;
    if (!gap(a0, &g0) || !gap(a1, &g1))
        return false;
    const double span = std::fabs(a1 - a0) * 8.0 + std::fabs(widest);
    for (int it = 0; it < 40; ++it) {
        if (g1 == g0)
            return false;
        const double a2 = a1 - g1 * (a1 - a0) / (g1 - g0);
        if (!std::isfinite(a2) || std::fabs(a2 - node[0][var]) > span)
            return false;
        a0 = a1;
        g0 = g1;
        a1 = a2;
        if (!gap(a1, &g1))
            return false;
        if (std::fabs(g1) < 1e-12)
            break;
    }
    if (!(std::fabs(g1) < 1e-9))
        return false;
    for (int32_t i = 0; i < n_; ++i) {
        if (flags[i] != 1)
            out[i] = trial[i];
    }
    out[k] = value;
    return true;
}
