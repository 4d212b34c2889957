// The last converged points of a trace, shared by both tracers. Near a
// critical point the tangents the tracers get from their finite-difference
// Jacobians are unreliable while the converged points are not: there the
// next point is predicted, and the critical point located, by the
// polynomial through the last points instead of the cubic Hermite predictor.
#pragma once

#include <cstdint>
#include <vector>

class PointHistory {
  public:
    static const int32_t kCapacity = 4;

    // Room for kCapacity points of n unknowns; the history is empty.
    void Init(int32_t n);
    void Clear() { count_ = 0; }
    // Remembers a converged point (n doubles), forgetting the oldest.
    void Push(const double* X);
    int32_t Count() const { return count_; }
    // The h-th most recent point (0: the last pushed), h < Count().
    const double* At(int32_t h) const;

    // The polynomial through `current` (when not null) and the most recent
    // points, `nodes` points in all (at most Count() + 1), in the unknown k,
    // evaluated where that unknown equals `at`, into out for every entry
    // whose flag is not 1. False (out untouched) when fewer than two nodes
    // are available or two of them share a value of unknown k.
    bool Interpolate(const double* current, int32_t nodes, int32_t k, double at, double* out,
                     const uint8_t* flags) const;

    // The polynomial through the m points nodes[0..m-1] (n unknowns each) in
    // the unknown k, evaluated where that unknown equals `at`, into out for
    // every entry whose flag is not 1. False when two nodes share a value of
    // unknown k.
    static bool Lagrange(const double* const* nodes, int32_t m, int32_t k, double at, double* out,
                         int32_t n, const uint8_t* flags);

    // The point on the same polynomial where unknown k equals `value`. The
    // polynomial runs in the unknown that changes most over the nodes, and
    // the place where its k-th component reaches `value` is found by the
    // secant method from the two most recent nodes (it may lie beyond them:
    // a crossing is an extrapolation). False (out untouched) when it is not
    // found.
    bool Reach(const double* current, int32_t nodes, int32_t k, double value, double* out,
               const uint8_t* flags) const;

  private:
    int32_t n_ = 0;
    int32_t count_ = 0;
    int32_t head_ = 0;  // slot of the most recent point
    std::vector<double> rows_;
    mutable std::vector<double> scratch_;  // n: the search's trial points
};
