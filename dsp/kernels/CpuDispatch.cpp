#include "dsp/kernels/CpuDispatch.h"

namespace {
std::atomic<bool> gAvx512Allowed{true};
std::atomic<bool> gAvx2Allowed{true};
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

// libgcc's answer for avx512f also checks that the system saves the registers' upper parts. Only
// processors of the generation that brought VBMI2 (Ice Lake, Zen 4) and later: the earlier ones
// lower the clock of the whole core while its wide units run, which would slow the host's other
// work on it more than the wider vectors save here.
bool HasAvx512() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return gAvx512Allowed.load(std::memory_order_relaxed) && UseAvx2() && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512vbmi2");
#else
  return false;
#endif
}

void AllowAvx512(bool allowed) { gAvx512Allowed.store(allowed, std::memory_order_relaxed); }

bool UseAvx2() { return gAvx2Allowed.load(std::memory_order_relaxed) && HasAvx2Fma(); }

void AllowAvx2(bool allowed) { gAvx2Allowed.store(allowed, std::memory_order_relaxed); }

}  // namespace cpu
