// Levels in tenths of a decibel and their linear gains.
#pragma once

#include <cstdint>

#include "core/dsp/exact_math.h"

namespace mw {

// 10^(v x 0.005) above the floor; at or below the floor the level means silence.
inline double LevelToGain(std::int32_t tenthsDb, std::int32_t floor) {
  if (tenthsDb > floor) return ExactPow(10.0, tenthsDb * 0.005);
  return 0.0;
}

}  // namespace mw
