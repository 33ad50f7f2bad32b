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

}  // namespace mw
