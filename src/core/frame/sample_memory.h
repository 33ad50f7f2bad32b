// Zero-filled sample memory for the engines. Large blocks come from fresh zero pages, so
// asking for a long line costs nothing until it is used. The count of allocations lets
// tests prove that streaming allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mw {

double* AllocateSamples(std::size_t count);  // null when memory is short
void FreeSamples(double* samples);
std::uint64_t SampleAllocationCount();

struct SampleDeleter {
  void operator()(double* p) const { FreeSamples(p); }
};
using SampleArray = std::unique_ptr<double[], SampleDeleter>;

// Silent memory for `count` samples in `block`, which holds `capacity` samples. With a
// `reserve` of at least `count` (real-time sizing: the largest count the engine can ask for
// at its format), a block that already holds `count` samples is cleared where it lies, and
// a new block is made `reserve` long, so that later requests allocate nothing. With a
// smaller reserve (0 when the sizing is off) the block is replaced by one of exactly
// `count`. False when memory is short (the block is then empty).
bool FreshSamples(SampleArray& block, std::size_t& capacity, std::size_t count,
                  std::size_t reserve);

}  // namespace mw
