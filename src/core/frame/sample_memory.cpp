#include "core/frame/sample_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace mw {
namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

double* AllocateSamples(std::size_t count) {
  if (count == 0 || count > SIZE_MAX / sizeof(double)) return nullptr;
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return static_cast<double*>(std::calloc(count, sizeof(double)));
}

void FreeSamples(double* samples) { std::free(samples); }

bool FreshSamples(SampleArray& block, std::size_t& capacity, std::size_t count,
                  std::size_t reserve) {
  const bool keep = reserve >= count;
  if (keep && block != nullptr && capacity >= count) {
    std::memset(block.get(), 0, count * sizeof(double));
    return true;
  }
  block.reset();
  capacity = 0;
  const std::size_t n = keep ? reserve : count;
  block.reset(AllocateSamples(n));
  if (block == nullptr) return false;
  capacity = n;
  return true;
}

std::uint64_t SampleAllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace mw
