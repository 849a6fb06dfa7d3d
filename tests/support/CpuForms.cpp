// ZARN_TEST_CPU=avx2 keeps the AVX-512 forms out of this run of the tests (or the benchmarks): a
// machine that has AVX-512 then tests and measures the AVX2 forms too (./run.sh test does so in its
// sanitizer run). ZARN_TEST_CPU=baseline keeps AVX2 out as well, as on a processor without it.
// Set before main, so before any dispatched function picks its form.
#include <cstdlib>
#include <string_view>

#include "dsp/kernels/CpuDispatch.h"

namespace {
const bool kAvx2Only = [] {
  const char* cpu = std::getenv("ZARN_TEST_CPU");
  const bool avx2Only = cpu != nullptr && std::string_view(cpu) == "avx2";
  const bool baseline = cpu != nullptr && std::string_view(cpu) == "baseline";
  if (avx2Only || baseline) cpu::AllowAvx512(false);
  if (baseline) cpu::AllowAvx2(false);
  return avx2Only;
}();
}  // namespace
