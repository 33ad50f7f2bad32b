#include "core/frame/sample_memory.h"

#include <atomic>
#include <cstdlib>

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

std::uint64_t SampleAllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace mw
