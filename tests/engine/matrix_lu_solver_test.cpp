// LU factorisation with partial pivoting: edge cases of the pivot rules and
// accuracy on random well-conditioned systems.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/matrix_lu_solver.h"

namespace {

// A dense matrix stored as a table of row pointers.
class Matrix {
  public:
    Matrix(int n, std::initializer_list<double> values) : n_(n), data_(values) { Link(); }
    explicit Matrix(int n) : n_(n), data_(static_cast<size_t>(n * n)) { Link(); }
    double** Rows() { return rows_.data(); }
    double& At(int i, int j) { return data_[static_cast<size_t>(i * n_ + j)]; }

  private:
    void Link() {
        rows_.resize(static_cast<size_t>(n_));
        for (int i = 0; i < n_; ++i)
            rows_[static_cast<size_t>(i)] = &data_[static_cast<size_t>(i * n_)];
    }
    int n_;
    std::vector<double> data_;
    std::vector<double*> rows_;
};

TEST(MatrixLUSolver, EmptySystemFailsAndWritesNothing) {
    MatrixLUSolver solver;
    int32_t pivots[1] = {77};
    double b[1] = {3.0};
    EXPECT_EQ(solver.Factor(0, nullptr, pivots), E_FAIL);
    EXPECT_EQ(solver.BackSubstitute(0, nullptr, b, pivots), E_FAIL);
    EXPECT_EQ(pivots[0], 77);
    EXPECT_EQ(b[0], 3.0);
    EXPECT_EQ(solver.singularRow, -1);
}

TEST(MatrixLUSolver, OneByOneIsAcceptedWhateverItsEntry) {
    MatrixLUSolver solver;
    Matrix a(1, {4.0});
    int32_t pivots[1] = {-5};
    EXPECT_EQ(solver.Factor(1, a.Rows(), pivots), S_OK);
    EXPECT_EQ(pivots[0], 0);
    double b[1] = {2.0};
    EXPECT_EQ(solver.BackSubstitute(1, a.Rows(), b, pivots), S_OK);
    EXPECT_DOUBLE_EQ(b[0], 0.5);
    Matrix zero(1, {0.0});
    EXPECT_EQ(solver.Factor(1, zero.Rows(), pivots), S_OK);
}

TEST(MatrixLUSolver, ATinyLeadingPivotIsExchangedForTheLargerRow) {
    MatrixLUSolver solver;
    Matrix a(2, {1e-30, 1.0, 1.0, 1.0});
    int32_t pivots[2];
    ASSERT_EQ(solver.Factor(2, a.Rows(), pivots), S_OK);
    EXPECT_EQ(pivots[0], 1);
    double b[2] = {1.0, 2.0};  // solution x = (1, 1) to within 1e-30
    ASSERT_EQ(solver.BackSubstitute(2, a.Rows(), b, pivots), S_OK);
    EXPECT_NEAR(b[0], 1.0, 1e-14);
    EXPECT_NEAR(b[1], 1.0, 1e-14);
}

TEST(MatrixLUSolver, TiesKeepTheLowerRow) {
    MatrixLUSolver solver;
    Matrix a(3, {2.0, 1.0, 0.0, -2.0, 3.0, 1.0, 2.0, 0.0, 5.0});
    int32_t pivots[3];
    ASSERT_EQ(solver.Factor(3, a.Rows(), pivots), S_OK);
    EXPECT_EQ(pivots[0], 0);
    EXPECT_DOUBLE_EQ(a.At(1, 0), 1.0) << "multiplier stored with its sign reversed: -(-2)/2";
}

TEST(MatrixLUSolver, SingularMatrixNamesItsRowBeforeInterchanges) {
    MatrixLUSolver solver;
    // Row 1 is twice row 0; row 2 has the largest first entry, so it is
    // exchanged to the top, row 1 wins the second pivot, and the zero pivot
    // appears at position 2, where row 0 of the caller's matrix then stands.
    // Every step is exact in binary arithmetic.
    Matrix a(3, {1.0, 2.0, 3.0, 2.0, 4.0, 6.0, 4.0, 1.0, 1.0});
    int32_t pivots[3];
    EXPECT_EQ(solver.Factor(3, a.Rows(), pivots), E_FAIL);
    EXPECT_EQ(pivots[0], 2);
    EXPECT_EQ(pivots[1], 1);
    EXPECT_EQ(solver.singularRow, 0);
}

TEST(MatrixLUSolver, SolvesRandomWellConditionedSystems) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    MatrixLUSolver solver;
    for (int n : {2, 3, 7, 13, 33}) {
        for (int trial = 0; trial < 20; ++trial) {
            Matrix a(n);
            std::vector<double> x(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                x[static_cast<size_t>(i)] = u(rng);
                for (int j = 0; j < n; ++j)
                    a.At(i, j) = u(rng) + (i == j ? n : 0.0);
            }
            std::vector<double> b(static_cast<size_t>(n), 0.0);
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j)
                    b[static_cast<size_t>(i)] += a.At(i, j) * x[static_cast<size_t>(j)];
            }
            ASSERT_EQ(solver.Solve(n, a.Rows(), b.data()), S_OK);
            for (int i = 0; i < n; ++i)
                EXPECT_NEAR(b[static_cast<size_t>(i)], x[static_cast<size_t>(i)], 1e-12);
        }
    }
}

TEST(MatrixLUSolver, OneFactorisationServesTwoRightHandSides) {
    MatrixLUSolver solver;
    Matrix a(3, {0.0, 2.0, 1.0, 1.0, 1.0, 0.0, 3.0, 0.0, 1.0});
    int32_t pivots[3];
    ASSERT_EQ(solver.Factor(3, a.Rows(), pivots), S_OK);
    double b1[3] = {3.0, 2.0, 4.0};  // x = (1, 1, 1)
    double b2[3] = {5.0, 1.0, 3.0};  // x = (0, 1, 3)
    solver.BackSubstitute(3, a.Rows(), b1, pivots);
    solver.BackSubstitute(3, a.Rows(), b2, pivots);
    EXPECT_NEAR(b1[0], 1.0, 1e-15);
    EXPECT_NEAR(b1[2], 1.0, 1e-15);
    EXPECT_NEAR(b2[0], 0.0, 1e-15);
    EXPECT_NEAR(b2[2], 3.0, 1e-15);
}

TEST(ClampedExp, ClampsAtSeventy) {
    EXPECT_EQ(ClampedExp(-70.0), 1e-30);
    EXPECT_EQ(ClampedExp(-1000.0), 1e-30);
    EXPECT_EQ(ClampedExp(70.0), 1e30);
    EXPECT_EQ(ClampedExp(69.9), std::exp(69.9));
    EXPECT_EQ(ClampedExp(0.0), 1.0);
}

}  // namespace
