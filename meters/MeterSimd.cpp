#include "meters/MeterSimd.h"

#include <atomic>

namespace meter_simd {

namespace {
std::atomic<bool> gAvx2Allowed{true};
}

bool UseAvx2() {
  if (!gAvx2Allowed.load(std::memory_order_relaxed)) return false;
#if ZARN_METERS_X86
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

void AllowAvx2(bool allowed) { gAvx2Allowed.store(allowed, std::memory_order_relaxed); }

}  // namespace meter_simd
