// Circular delay lines: a position that moves through a buffer and wraps, and the line that
// is read and rewritten under it.
#pragma once

#include <cstdint>

namespace mw {

// Moves a circular position one step up, from length - 1 back to 0.
inline void StepUp(std::uint32_t& position, std::uint32_t length) {
  if (++position == length) position = 0;
}

// Moves a circular position one step down, from 0 to length - 1.
inline void StepDown(std::uint32_t& position, std::uint32_t length) {
  position = (position == 0 ? length : position) - 1;
}

// `length` samples read and rewritten at one position that moves up a sample a step: the
// value under the position is the one written `length` steps before.
struct DelayLine {
  double* buffer = nullptr;  // not owned
  std::uint32_t length = 0;
  std::uint32_t position = 0;

  double& Slot() const { return buffer[position]; }
  void Advance() { StepUp(position, length); }
};

}  // namespace mw
