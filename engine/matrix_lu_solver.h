// Dense LU factorisation with partial pivoting by row interchanges, shared by
// both equilibrium engines, and ClampedExp, through which every engine turns
// a logarithmic unknown back into a value.
//
// Matrices are arrays of row pointers: rows[i] points to the n doubles of
// row i; the caller owns the storage and Factor overwrites it in place. After
// Factor the upper triangle holds U and the strict lower triangle the
// elimination multipliers with their sign reversed (m_ik = -a_ik / a_kk);
// pivots[k] is the row exchanged with row k at step k (k when none) and
// pivots[n-1] = n-1. Only columns k..n-1 are exchanged at step k, so the
// interchanges must be replayed in order during substitution.
//
// Status codes: S_OK (0) or E_FAIL (0x80004005).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com.h"

class MatrixLUSolver {
  public:
    MatrixLUSolver();
    virtual ~MatrixLUSolver();
    MatrixLUSolver(const MatrixLUSolver&) = delete;
    MatrixLUSolver& operator=(const MatrixLUSolver&) = delete;

    // Factorises the n x n matrix in place and records the interchanges in
    // pivots (n entries, caller-owned). n < 1: E_FAIL. A pivot below 1e-29 in
    // absolute value: E_FAIL, with singularRow naming the offending row in
    // the caller's order before interchanges (column 0 is then destroyed).
    // A 1 x 1 matrix is accepted whatever its entry.
    HRESULT Factor(int32_t n, double** rows, int32_t* pivots);

    // Solves with a matrix factorised by Factor: b holds the right-hand side
    // on entry and the solution on return. n < 1: E_FAIL. The diagonal is
    // not tested.
    HRESULT BackSubstitute(int32_t n, double** rows, double* b, const int32_t* pivots);

    // Factor and BackSubstitute with the solver's own pivot array, grown as
    // needed. Returns Factor's failure unchanged.
    HRESULT Solve(int32_t n, double** rows, double* b);

    // The index, before interchanges, of the row standing at position k
    // after the interchanges 0..k. Overwrites column 0 of the matrix.
    int32_t RowBeforeInterchanges(int32_t n, double** rows, const int32_t* pivots, int32_t k);

    // Row of the zero pivot found by the last Factor, -1 when none.
    int32_t singularRow;

  private:
    std::vector<int32_t> pivots;
};

// e^x, with x <= -70 giving 1e-30 and x >= 70 giving 1e30.
double ClampedExp(double x);
