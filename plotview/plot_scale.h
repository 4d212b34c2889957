// Axis scales of a plot: a data range widened to round numbers, the tick
// values on it and their labels, for linear and logarithmic axes.
#pragma once

#include <string>
#include <vector>

namespace plotview {

struct Tick {
    double value;
    std::string label;  // empty for a minor tick
};

struct Scale {
    double lo;
    double hi;
    bool logarithmic;
    std::vector<Tick> ticks;  // ascending, all within [lo, hi]

    // Position of `value` on the axis as a fraction of its length (0 at lo,
    // 1 at hi).
    double Fraction(double value) const;
};

// A linear scale covering [dataLo, dataHi] whose ends are multiples of a
// round step (1, 2, 2.5 or 5 times a power of ten) chosen to give about
// `targetTicks` labelled ticks. An empty or degenerate range is widened
// around its value. Labels carry as many decimals as the step needs.
Scale LinearScale(double dataLo, double dataHi, int targetTicks);

// A logarithmic scale over [dataLo, dataHi] (both > 0) from a power of ten
// or a 2 or 5 multiple of one below the data to one above; labelled ticks at
// the powers of ten, and at 2 and 5 times them when the range spans less
// than three decades, minor ticks at the other integer multiples.
Scale LogScale(double dataLo, double dataHi);

// `value` written with `decimals` decimals, without a negative zero.
std::string FormatTick(double value, int decimals);

}  // namespace plotview
