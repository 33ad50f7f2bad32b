#include "core/dsp/lanes.h"

#include <atomic>

namespace mw {
namespace {

std::atomic<bool> plainKernels{false};

}  // namespace

bool PlainKernels() { return plainKernels.load(std::memory_order_relaxed); }
void UsePlainKernels(bool on) { plainKernels.store(on, std::memory_order_relaxed); }

bool HasWideVectors() {
#if MW_WIDE_KERNELS
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

}  // namespace mw
