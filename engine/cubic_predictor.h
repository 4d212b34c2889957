// The cubic predictor both tracers step with: rows c[0..3] of n unknowns,
// X(s) = c0 + c1 s + c2 s^2 + c3 s^3 in the offset s of the specification
// unknown from the last converged point. Entries whose flag is 1 (absent
// compounds) are left alone.
#pragma once

#include <cstdint>

// X(s) into out.
inline void EvaluateCubic(double* const* c, int32_t n, const uint8_t* flags, double s,
                          double* out) {
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        out[i] = ((c[3][i] * s + c[2][i]) * s + c[1][i]) * s + c[0][i];
    }
}

// After a converged point X with tangent `sens`, the previous point and its
// tangent having moved into c2 and c3: both tangents are normalised to the
// specification unknown `spec` (the previous one only when `previous`) and
// X becomes c0.
inline void NormaliseTangents(double* const* c, int32_t n, const uint8_t* flags, const double* sens,
                              const double* X, int32_t spec, bool previous) {
    const double a = sens[spec];
    const double b = c[3][spec];
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        c[1][i] = sens[i] / a;
        if (previous)
            c[3][i] /= b;
        c[0][i] = X[i];
    }
}

// The Hermite cubic through the previous point (c2, tangent c3) and the new
// one (c0, tangent c1), h apart in the specification unknown, into c0..c3;
// with `tangentOnly` the prediction follows the new tangent alone.
inline void FitHermite(double* const* c, int32_t n, const uint8_t* flags, double h,
                       bool tangentOnly) {
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        if (tangentOnly) {
            c[2][i] = c[3][i] = 0.0;
            continue;
        }
        const double A = ((c[2][i] - c[0][i]) + h * c[1][i]) / (h * h);
        const double B = (c[3][i] - c[1][i]) / h;
        c[2][i] = 3.0 * A + B;
        c[3][i] = (2.0 * A + B) / h;
    }
}
