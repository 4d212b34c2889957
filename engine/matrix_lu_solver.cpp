// LU factorisation with partial pivoting and the matching substitution.
#include "engine/matrix_lu_solver.h"

#include <cmath>

namespace {
const double kPivotThreshold = 1e-29;
}

MatrixLUSolver::MatrixLUSolver() : singularRow(0) {}

MatrixLUSolver::~MatrixLUSolver() = default;

HRESULT MatrixLUSolver::Factor(int32_t n, double** rows, int32_t* piv) {
    singularRow = -1;
    if (n < 1)
        return E_FAIL;
    piv[n - 1] = n - 1;
    if (n == 1)
        return S_OK;

    for (int32_t k = 0; k < n - 1; ++k) {
        int32_t p = k;
        double best = std::fabs(rows[k][k]);
        for (int32_t i = k + 1; i < n; ++i) {
            if (std::fabs(rows[i][k]) > best) {
                best = std::fabs(rows[i][k]);
                p = i;
            }
        }
        if (p != k) {
            for (int32_t j = k; j < n; ++j) {
                const double t = rows[k][j];
                rows[k][j] = rows[p][j];
                rows[p][j] = t;
            }
        }
        piv[k] = p;
        for (int32_t i = k + 1; i < n; ++i) {
            if (std::fabs(rows[k][k]) < kPivotThreshold) {
                singularRow = RowBeforeInterchanges(n, rows, piv, k);
                return E_FAIL;
            }
            const double m = -rows[i][k] / rows[k][k];
            rows[i][k] = m;
            for (int32_t j = k + 1; j < n; ++j)
                rows[i][j] += m * rows[k][j];
        }
    }
    if (std::fabs(rows[n - 1][n - 1]) < kPivotThreshold) {
        singularRow = RowBeforeInterchanges(n, rows, piv, n - 1);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT MatrixLUSolver::BackSubstitute(int32_t n, double** rows, double* b, const int32_t* piv) {
    if (n < 1)
        return E_FAIL;
    if (n == 1) {
        b[0] = b[0] / rows[0][0];
        return S_OK;
    }
    for (int32_t k = 0; k < n - 1; ++k) {
        const int32_t p = piv[k];
        if (p != k) {
            const double t = b[k];
            b[k] = b[p];
            b[p] = t;
        }
        for (int32_t i = k + 1; i < n; ++i)
            b[i] += rows[i][k] * b[k];
    }
    b[n - 1] = b[n - 1] / rows[n - 1][n - 1];
    for (int32_t i = n - 2; i >= 0; --i) {
        double sum = 0.0;
        for (int32_t j = i + 1; j < n; ++j)
            sum += rows[i][j] * b[j];
        b[i] -= sum;
        b[i] = b[i] / rows[i][i];
    }
    return S_OK;
}

HRESULT MatrixLUSolver::Solve(int32_t n, double** rows, double* b) {
    if (n > static_cast<int32_t>(pivots.size()))
        pivots.resize(n);
    const HRESULT hr = Factor(n, rows, pivots.data());
    if (FAILED(hr))
        return hr;
    return BackSubstitute(n, rows, b, pivots.data());
}

int32_t MatrixLUSolver::RowBeforeInterchanges(int32_t n, double** rows, const int32_t* piv,
                                              int32_t k) {
    for (int32_t i = 0; i < n; ++i)
        rows[i][0] = static_cast<double>(i);
    for (int32_t r = 0; r <= k; ++r) {
        const int32_t p = piv[r];
        const double t = rows[r][0];
        rows[r][0] = rows[p][0];
        rows[p][0] = t;
    }
    return static_cast<int32_t>(rows[k][0] + 0.1);
}

double ClampedExp(double x) {
    if (x <= -70.0)
        return 1e-30;
    if (x >= 70.0)
        return 1e30;
    return std::exp(x);
}
