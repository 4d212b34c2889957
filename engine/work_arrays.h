// Allocation of the engines' work arrays: zero-filled vectors and matrices
// stored as tables of separately allocated rows.
#pragma once

#include <cstdint>

// n zero-filled doubles (an empty array for n <= 0).
inline double* NewVector(int32_t n) {
    return new double[n > 0 ? n : 0]();
}

// rows x cols zero-filled doubles as a table of row pointers.
inline double** NewMatrix(int32_t rows, int32_t cols) {
    double** m = new double*[rows > 0 ? rows : 0];
    for (int32_t i = 0; i < rows; ++i)
        m[i] = NewVector(cols);
    return m;
}

// Frees a table made by NewMatrix (null is fine).
inline void DeleteMatrix(double** m, int32_t rows) {
    if (m == nullptr)
        return;
    for (int32_t i = 0; i < rows; ++i)
        delete[] m[i];
    delete[] m;
}
