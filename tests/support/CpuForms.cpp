// ZARN_TEST_CPU=avx2 keeps the AVX-512 forms out of this run of the tests (or the benchmarks): a
// machine that has AVX-512 then tests and measures the AVX2 forms too (./run.sh test does so in its
// sanitizer run). Set before main, so before any dispatched function picks its form.
#include <cstdlib>
#include <string_view>

#include "dsp/kernels/CpuDispatch.h"

namespace {
const bool kAvx2Only = [] {
  const char* cpu = std::getenv("ZARN_TEST_CPU");
  const bool avx2Only = cpu != nullptr && std::string_view(cpu) == "avx2";
  if (avx2Only) cpu::AllowAvx512(false);
  return avx2Only;
}();
}  // namespace
