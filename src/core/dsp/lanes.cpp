#include "core/dsp/lanes.h"

#include <atomic>

namespace mw {
namespace {

std::atomic<bool> plainKernels{false};

}  // namespace

bool PlainKernels() { return plainKernels.load(std::memory_order_relaxed); }
void UsePlainKernels(bool on) { plainKernels.store(on, std::memory_order_relaxed); }

}  // namespace mw
