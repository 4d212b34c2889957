// The engines' work arrays: zero-filled vectors and matrices (tables of row
// pointers) that one owner hands out and keeps for its lifetime, so that a
// tracer sizes its workspace once and frees nothing by hand.
#pragma once

#include <cstdint>
#include <vector>

class WorkArrays {
  public:
    // n zero-filled doubles (an empty array for n <= 0), valid while this
    // object lives.
    double* Vector(int32_t n) {
        vectors_.emplace_back(n > 0 ? n : 0, 0.0);
        return vectors_.back().data();
    }

    // rows x cols zero-filled doubles as a table of row pointers.
    double** Matrix(int32_t rows, int32_t cols) {
        std::vector<double*> table(rows > 0 ? rows : 0);
        for (double*& row : table)
            row = Vector(cols);
        tables_.push_back(std::move(table));
        return tables_.back().data();
    }

    // n zero-filled indices.
    int32_t* Indices(int32_t n) {
        indices_.emplace_back(n > 0 ? n : 0, 0);
        return indices_.back().data();
    }

  private:
    // Moving a std::vector keeps its buffer: the pointers handed out stay
    // valid as these lists grow.
    std::vector<std::vector<double>> vectors_;
    std::vector<std::vector<double*>> tables_;
    std::vector<std::vector<int32_t>> indices_;
};
