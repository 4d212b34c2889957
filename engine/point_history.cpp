// The last converged points of a trace and interpolation through them.
#include "engine/point_history.h"

#include <cmath>

void PointHistory::Init(int32_t n) {
    n_ = n > 0 ? n : 0;
    rows_.assign(static_cast<size_t>(n_) * kCapacity, 0.0);
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
    double weight[kCapacity + 1];
    for (int32_t a = 0; a < m; ++a) {
        double w = 1.0;
        for (int32_t b = 0; b < m; ++b) {
            if (b == a)
                continue;
            const double gap = node[a][k] - node[b][k];
            if (std::fabs(gap) < 1e-12)
                return false;
            w *= (at - node[b][k]) / gap;
        }
        weight[a] = w;
    }
    for (int32_t i = 0; i < n_; ++i) {
        if (flags[i] == 1)
            continue;
        double v = 0.0;
        for (int32_t a = 0; a < m; ++a)
            v += weight[a] * node[a][i];
        out[i] = v;
    }
    out[k] = at;
    return true;
}
