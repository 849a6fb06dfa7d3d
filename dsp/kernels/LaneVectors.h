#pragma once

#include <cstring>
#include <type_traits>

// The block kernels of the meters and the gain window are written once, as templates over a lane
// bundle, and built twice: with pairs of 16-byte vectors for the x86-64 baseline (SSE2; GCC keeps
// 32-byte vector types in memory where the target has no 32-byte registers), and with 32-byte
// vectors inside functions marked ZARN_LANES_AVX2 or ZARN_LANES_AVX2_FMA. The baseline and the
// plain AVX2 builds round exactly like the per-sample code, lane by lane. The AVX2 + FMA builds
// (the double-precision filters and averages) let the compiler fuse multiplies and adds, the terms
// ordered for the recursions' latency: they round differently, by parts in 1e16. Objects pick the
// build when prepared (cpu::UseAvx2 in CpuDispatch.h).

// 32-byte vectors only ever live inside inlined kernels: no function passes one across the ABI.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace lanes {

typedef double V2d __attribute__((vector_size(16)));
typedef double V4d __attribute__((vector_size(32)));
typedef double V8d __attribute__((vector_size(64)));
typedef float V2f __attribute__((vector_size(8)));
typedef float V4f __attribute__((vector_size(16)));
typedef float V8f __attribute__((vector_size(32)));
// Masks, as comparisons give them (their 64-bit lane type is long or long long by platform).
typedef decltype(V2d{} < V2d{}) V2l;
typedef decltype(V4d{} < V4d{}) V4l;
typedef decltype(V4f{} < V4f{}) V4i;
typedef decltype(V8f{} < V8f{}) V8i;

#if defined(__x86_64__) || defined(__i386__)
#define ZARN_LANES_X86 1
#define ZARN_LANES_AVX2 __attribute__((target("avx2")))
#define ZARN_LANES_AVX2_FMA __attribute__((target("avx2,fma")))
#else
#define ZARN_LANES_X86 0
#define ZARN_LANES_AVX2
#define ZARN_LANES_AVX2_FMA
#endif
// Kernel bodies are inlined into both builds, so each is compiled for its caller's instructions.
#define ZARN_LANES_INLINE inline __attribute__((always_inline))

// Two 16-byte vectors standing for one 32-byte vector: lanes 0..n/2-1 in lo, the rest in hi.
template <class V>
struct Pair {
  V lo, hi;
};

template <class T>
struct IsPair : std::false_type {};
template <class V>
struct IsPair<Pair<V>> : std::true_type {};

#define ZARN_PAIR_BINARY(op)                                                            \
  template <class V>                                                                    \
  ZARN_LANES_INLINE auto operator op(const Pair<V>& a, const Pair<V>& b) {             \
    return Pair<decltype(a.lo op b.lo)>{a.lo op b.lo, a.hi op b.hi};                    \
  }                                                                                     \
  template <class V, class S, class = std::enable_if_t<std::is_arithmetic_v<S>>>        \
  ZARN_LANES_INLINE auto operator op(const Pair<V>& a, S s) {                          \
    return Pair<decltype(a.lo op s)>{a.lo op s, a.hi op s};                             \
  }                                                                                     \
  template <class V, class S, class = std::enable_if_t<std::is_arithmetic_v<S>>>        \
  ZARN_LANES_INLINE auto operator op(S s, const Pair<V>& a) {                          \
    return Pair<decltype(s op a.lo)>{s op a.lo, s op a.hi};                             \
  }
ZARN_PAIR_BINARY(+)
ZARN_PAIR_BINARY(-)
ZARN_PAIR_BINARY(*)
ZARN_PAIR_BINARY(/)
ZARN_PAIR_BINARY(&)
ZARN_PAIR_BINARY(|)
ZARN_PAIR_BINARY(<)
ZARN_PAIR_BINARY(<=)
ZARN_PAIR_BINARY(>)
#undef ZARN_PAIR_BINARY

template <class V>
ZARN_LANES_INLINE Pair<V>& operator+=(Pair<V>& a, const Pair<V>& b) {
  return a = a + b;
}
template <class V>
ZARN_LANES_INLINE Pair<V> operator~(const Pair<V>& a) {
  return {~a.lo, ~a.hi};
}

// The lane bundles: four doubles, eight floats and their masks; kFused where the compiler fuses
// multiplies and adds (an AVX2 + FMA function), whose kernels order their terms for it.
struct Avx2Lanes {
  using D4 = V4d;
  using F8 = V8f;
  using M4 = V4l;
  using M8 = V8i;
  static constexpr bool kFused = false;
};
struct Avx2FmaLanes : Avx2Lanes {
  static constexpr bool kFused = true;
};
struct BaselineLanes {
  using D4 = Pair<V2d>;
  using F8 = Pair<V4f>;
  using M4 = Pair<V2l>;
  using M8 = Pair<V4i>;
  static constexpr bool kFused = false;
};

// Unaligned loads and stores: the meters' arrays keep their natural alignment.
template <class V, class T>
ZARN_LANES_INLINE V Load(const T* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class V, class T>
ZARN_LANES_INLINE void Store(T* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

// Lanes where mask is set keep v, the others become +0.
template <class V, class M>
ZARN_LANES_INLINE V Keep(const V& v, const M& mask) {
  return (V)((M)v & mask);
}
template <class V, class M>
ZARN_LANES_INLINE Pair<V> Keep(const Pair<V>& v, const Pair<M>& mask) {
  return {Keep(v.lo, mask.lo), Keep(v.hi, mask.hi)};
}
// Lanes of a where mask is set, else of b.
template <class V, class M>
ZARN_LANES_INLINE V Select(const M& mask, const V& a, const V& b) {
  return (V)(((M)a & mask) | ((M)b & ~mask));
}
template <class V, class M>
ZARN_LANES_INLINE Pair<V> Select(const Pair<M>& mask, const Pair<V>& a, const Pair<V>& b) {
  return {Select(mask.lo, a.lo, b.lo), Select(mask.hi, a.hi, b.hi)};
}

// A 32-byte vector (or its pair) from its halves, and its halves.
template <class T, class H>
ZARN_LANES_INLINE T Join(const H& lo, const H& hi) {
  if constexpr (IsPair<T>::value) {
    return T{lo, hi};
  } else if constexpr (sizeof(lo[0]) == 8) {
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3);
  } else {
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
  }
}
ZARN_LANES_INLINE V2d Low(const V4d& v) { return __builtin_shufflevector(v, v, 0, 1); }
ZARN_LANES_INLINE V2d High(const V4d& v) { return __builtin_shufflevector(v, v, 2, 3); }
ZARN_LANES_INLINE V4f Low(const V8f& v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
ZARN_LANES_INLINE V4f High(const V8f& v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }
template <class V>
ZARN_LANES_INLINE V Low(const Pair<V>& v) {
  return v.lo;
}
template <class V>
ZARN_LANES_INLINE V High(const Pair<V>& v) {
  return v.hi;
}

// {0 | a.lo} and {a.hi | b.lo}: a pair of neighbours' halves in one shuffle.
ZARN_LANES_INLINE V8f ZeroLow(const V8f& a) { return __builtin_shufflevector(V8f{}, a, 0, 1, 2, 3, 8, 9, 10, 11); }
ZARN_LANES_INLINE Pair<V4f> ZeroLow(const Pair<V4f>& a) { return {V4f{}, a.lo}; }
ZARN_LANES_INLINE V8f HighLow(const V8f& a, const V8f& b) { return __builtin_shufflevector(a, b, 4, 5, 6, 7, 8, 9, 10, 11); }
ZARN_LANES_INLINE Pair<V4f> HighLow(const Pair<V4f>& a, const Pair<V4f>& b) { return {a.hi, b.lo}; }

template <class D4>
ZARN_LANES_INLINE D4 Make4(double a, double b, double c, double d) {
  if constexpr (IsPair<D4>::value) return D4{V2d{a, b}, V2d{c, d}};
  else return D4{a, b, c, d};
}

// Per 16-byte half, as unpcklpd / unpckhpd: {a0, b0, a2, b2} and {a1, b1, a3, b3}.
ZARN_LANES_INLINE V4d EvenLanes(const V4d& a, const V4d& b) { return __builtin_shufflevector(a, b, 0, 4, 2, 6); }
ZARN_LANES_INLINE V4d OddLanes(const V4d& a, const V4d& b) { return __builtin_shufflevector(a, b, 1, 5, 3, 7); }
ZARN_LANES_INLINE Pair<V2d> EvenLanes(const Pair<V2d>& a, const Pair<V2d>& b) {
  return {__builtin_shufflevector(a.lo, b.lo, 0, 2), __builtin_shufflevector(a.hi, b.hi, 0, 2)};
}
ZARN_LANES_INLINE Pair<V2d> OddLanes(const Pair<V2d>& a, const Pair<V2d>& b) {
  return {__builtin_shufflevector(a.lo, b.lo, 1, 3), __builtin_shufflevector(a.hi, b.hi, 1, 3)};
}
// {a0, b1, a2, b3}.
ZARN_LANES_INLINE V4d Alternate(const V4d& a, const V4d& b) { return __builtin_shufflevector(a, b, 0, 5, 2, 7); }
ZARN_LANES_INLINE Pair<V2d> Alternate(const Pair<V2d>& a, const Pair<V2d>& b) {
  return {__builtin_shufflevector(a.lo, b.lo, 0, 3), __builtin_shufflevector(a.hi, b.hi, 0, 3)};
}

// The same four-lane permutation in each 16-byte half of eight floats.
template <int i0, int i1, int i2, int i3>
ZARN_LANES_INLINE V8f PermuteHalves(const V8f& v) {
  return __builtin_shufflevector(v, v, i0, i1, i2, i3, i0 + 4, i1 + 4, i2 + 4, i3 + 4);
}
template <int i0, int i1, int i2, int i3>
ZARN_LANES_INLINE Pair<V4f> PermuteHalves(const Pair<V4f>& v) {
  return {__builtin_shufflevector(v.lo, v.lo, i0, i1, i2, i3), __builtin_shufflevector(v.hi, v.hi, i0, i1, i2, i3)};
}

// Conversions, rounding to nearest like static_cast.
ZARN_LANES_INLINE V4f ToFloat(const V4d& v) { return __builtin_convertvector(v, V4f); }
ZARN_LANES_INLINE V4f ToFloat(const Pair<V2d>& v) {
  return __builtin_shufflevector(__builtin_convertvector(v.lo, V2f), __builtin_convertvector(v.hi, V2f), 0, 1, 2, 3);
}
template <class D4>
ZARN_LANES_INLINE D4 ToDouble(const V4f& v) {
  return Join<D4>(__builtin_convertvector(__builtin_shufflevector(v, v, 0, 1), V2d),
                  __builtin_convertvector(__builtin_shufflevector(v, v, 2, 3), V2d));
}
// Eight floats to two times four doubles (GCC converts V8f to V8d in two instructions, but a
// lone V4f to V4d in three).
ZARN_LANES_INLINE void ToDouble(const V8f& v, V4d& lo, V4d& hi) {
  const V8d d = __builtin_convertvector(v, V8d);
  lo = __builtin_shufflevector(d, d, 0, 1, 2, 3);
  hi = __builtin_shufflevector(d, d, 4, 5, 6, 7);
}
ZARN_LANES_INLINE void ToDouble(const Pair<V4f>& v, Pair<V2d>& lo, Pair<V2d>& hi) {
  lo = ToDouble<Pair<V2d>>(v.lo);
  hi = ToDouble<Pair<V2d>>(v.hi);
}
// A mask of four doubles as a mask of four floats.
ZARN_LANES_INLINE V4i Narrow(const V4l& m) {
  const V8i w = (V8i)m;
  return __builtin_shufflevector(w, w, 0, 2, 4, 6);
}
ZARN_LANES_INLINE V4i Narrow(const Pair<V2l>& m) {
  return __builtin_shufflevector((V4i)m.lo, (V4i)m.hi, 0, 2, 4, 6);
}
// The same, twice: a mask for eight floats.
ZARN_LANES_INLINE V8i NarrowTwice(const V4l& m) {
  const V8i w = (V8i)m;
  return __builtin_shufflevector(w, w, 0, 2, 4, 6, 0, 2, 4, 6);
}
ZARN_LANES_INLINE Pair<V4i> NarrowTwice(const Pair<V2l>& m) {
  const V4i n = Narrow(m);
  return {n, n};
}
// Lanes of a where a > b, else of b: std::max(b, a), maxpd.
template <class V>
ZARN_LANES_INLINE V Larger(const V& a, const V& b) {
  if constexpr (IsPair<V>::value) {
    return V{Larger(a.lo, b.lo), Larger(a.hi, b.hi)};
  } else {
    return a > b ? a : b;
  }
}
// Whether any lane of a mask is set.
ZARN_LANES_INLINE bool Any(const V4l& m) {
  const V2l h = __builtin_shufflevector(m, m, 0, 1) | __builtin_shufflevector(m, m, 2, 3);
  return (h[0] | h[1]) != 0;
}
ZARN_LANES_INLINE bool Any(const Pair<V2l>& m) {
  const V2l h = m.lo | m.hi;
  return (h[0] | h[1]) != 0;
}

// The lanes of a vector (or pair) as an array. Lane by lane, not by memcpy: a vector whose
// address is taken would make GCC keep the whole loop's copy of it in memory.
template <class T, class V>
ZARN_LANES_INLINE void Lanes(const V& v, T* out) {
  if constexpr (IsPair<V>::value) {
    Lanes(v.lo, out);
    Lanes(v.hi, out + sizeof(v.lo) / sizeof(T));
  } else {
    const V copy = v;
    for (int i = 0; i < static_cast<int>(sizeof(V) / sizeof(T)); ++i) out[i] = copy[i];
  }
}

}  // namespace lanes

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// For the kernels' own files, after their includes.
#if defined(__GNUC__)
#define ZARN_LANES_KERNEL_FILE _Pragma("GCC diagnostic ignored \"-Wpsabi\"")
#else
#define ZARN_LANES_KERNEL_FILE
#endif
