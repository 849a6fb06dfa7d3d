#pragma once

#include <atomic>

// Picks between an AVX2+FMA form of a function and a baseline one (and, where a function has one,
// an AVX-512 form, before both) on the first call. The choice is a constant-initialised atomic
// that starts at a trampoline, so it needs neither a lock nor an allocation (the first call may
// come from the audio thread) and works even during another file's static initialisation.
namespace cpu {

bool HasAvx2Fma();
// AVX-512F with AVX2 and FMA on a processor that keeps its clock while using it, and a system that
// keeps the wider registers.
bool HasAvx512();
// Whether HasAvx512 may say yes: tests turn it off before any dispatched function is first called,
// so that a machine with AVX-512 runs the AVX2 forms too.
void AllowAvx512(bool allowed);

// The processor has AVX2 and FMA, and the tests have not asked for the baseline forms. Objects
// that pick their kernels when prepared (the meters' and the gain window's block kernels, see
// LaneVectors.h) ask at every Prepare; dispatched functions on their first call, so a run of the
// tests that wants the baseline forms throughout turns AVX2 off before main.
bool UseAvx2();
void AllowAvx2(bool allowed);

template <typename Fn, Fn kAvx2, Fn kBaseline, Fn kAvx512 = kAvx2>
struct Dispatch;

template <typename R, typename... A, R (*kAvx2)(A...), R (*kBaseline)(A...), R (*kAvx512)(A...)>
struct Dispatch<R (*)(A...), kAvx2, kBaseline, kAvx512> {
  static R Call(A... a) { return chosen.load(std::memory_order_relaxed)(a...); }
  static R (*Best())(A...) {
    if (HasAvx512()) return kAvx512;
    return UseAvx2() ? kAvx2 : kBaseline;
  }

 private:
  static R SelectAndCall(A... a) {
    R (*best)(A...) = Best();
    chosen.store(best, std::memory_order_relaxed);
    return best(a...);
  }
  static inline std::atomic<R (*)(A...)> chosen{&SelectAndCall};
};

}  // namespace cpu
