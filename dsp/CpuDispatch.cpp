#include "dsp/CpuDispatch.h"

namespace {
std::atomic<bool> gAvx512Allowed{true};
}  // namespace

namespace cpu {

bool HasAvx2Fma() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

// libgcc's answer for avx512f also checks that the system saves the registers' upper parts.
bool HasAvx512() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return gAvx512Allowed.load(std::memory_order_relaxed) && HasAvx2Fma() && __builtin_cpu_supports("avx512f");
#else
  return false;
#endif
}

void AllowAvx512(bool allowed) { gAvx512Allowed.store(allowed, std::memory_order_relaxed); }

}  // namespace cpu
