// The one-pole low-pass of the effects' feedback paths, and the flush that keeps those paths
// out of subnormal numbers.
#pragma once

#include <cmath>

#include "core/dsp/exact_math.h"

namespace mw {

// A value smaller in magnitude than `threshold` becomes +0.0. Feedback that decays towards
// zero would otherwise end in subnormal numbers, which most processors handle slowly; each
// effect names its own threshold.
inline double FlushBelow(double v, double threshold) {
  if (std::fabs(v) < threshold) v = 0.0;
  return v;
}

// y = (1 - a) x + a y_previous, evaluated in that order. Off (a = 0, 1 - a = 1.0) it passes
// its input unchanged.
struct OnePole {
  double a = 0.0;
  double oneMinusA = 1.0;

  // The pole a = exp(-turn x cutoff / rate), with `turn` the multiple of pi the effect
  // writes (2 pi or 4 pi, each as its own constant).
  static OnePole At(double turn, double cutoff, double rate) {
    const double pole = ExactExp(-turn * cutoff / rate);
    return {pole, 1.0 - pole};
  }

  double Step(double x, double previous) const { return oneMinusA * x + a * previous; }
};

}  // namespace mw
