// How the resampler's interpolation kernel is evaluated: a sinc stretched over the
// kernel's half-width m = h + 1 times a 4-term Blackman-Harris window, tabulated over |d|
// from 0 to m in 4000 steps (4003 entries, the last two zero). Shared by the table
// generator and the tests that check the stored tables against it.
#pragma once

#include <vector>

#include "core/dsp/exact_math.h"

namespace mw {

inline std::vector<double> BuildSincKernel(int half) {
  constexpr double kPi = 3.14159265356;
  std::vector<double> table(4003, 0.0);
  table[0] = 1.0;
  const int m = half + 1;
  for (int i = 1; i <= 3999; ++i) {
    const double x = static_cast<double>(m * i) * 0.00025 * kPi;
    const double sinc = ExactSin(x) / x;
    const double t = x / m + kPi;
    const double window = 0.35875 - 0.48829 * ExactCos(t) + 0.14128 * ExactCos(2 * t) -
                          0.01168 * ExactCos(3 * t);
    table[i] = window * sinc;
  }
  table[4000] = table[3999];
  return table;
}

}  // namespace mw
