#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define ZARN_HAVE_MXCSR 1
#endif

// Flush-to-zero and denormals-are-zero for the lifetime of the guard; the caller's floating-point
// mode is given back on exit, since hosts do not expect a plug-in to change it.
class DenormalGuard {
 public:
#if ZARN_HAVE_MXCSR
  DenormalGuard() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
  ~DenormalGuard() { _mm_setcsr(saved_); }
#else
  DenormalGuard() = default;
#endif
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
#if ZARN_HAVE_MXCSR
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_;
#endif
};
