// Block loops for the fast paths of run, where the buffers share no storage.
// Plain loops, which the compiler turns into vector loads and stores, four
// vectors a step (one a step would wait on the loop's jump). They are inlined
// into their callers, so a caller compiled for AVX gets AVX loops.
#pragma once

#include <cstdint>

namespace zul {

[[gnu::always_inline]] inline void copy_block(const float* __restrict in, float* __restrict out,
                                              uint32_t n) {
#pragma GCC unroll 4
  for (uint32_t i = 0; i < n; ++i) out[i] = in[i];
}

// Eight samples in one value of the compiler's vector extension: one AVX
// register, or two SSE or NEON registers. Loads and stores go through memcpy,
// so any float address will do.
typedef float Eight __attribute__((vector_size(32)));
typedef int32_t EightMasks __attribute__((vector_size(32)));

// Every lane of v set to value (passed by reference: an AVX value returned
// from a function compiled without AVX would change the calling convention).
[[gnu::always_inline]] inline void set_all(Eight& v, float value) {
  for (int k = 0; k < 8; ++k) v[k] = value;
}

// Eight stores a step and the rest one by one: no count of steps or
// alignment to work out first, which for a block of a few hundred samples
// costs as much as the stores.
[[gnu::always_inline]] inline void fill_block(float* __restrict out, float value, uint32_t n) {
  Eight v;
  set_all(v, value);
  uint32_t i = 0;
#pragma GCC unroll 4
  for (; i + 8 <= n; i += 8) __builtin_memcpy(out + i, &v, sizeof v);
  for (; i < n; ++i) out[i] = value;
}

// Silence is positive zero.
[[gnu::always_inline]] inline void silence_block(float* __restrict out, uint32_t n) {
  fill_block(out, 0.0f, n);
}

namespace detail {

inline void copy_plain(const float* in, float* out, uint32_t n) {
  copy_block(in, out, n);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] inline void copy_avx(const float* in, float* out, uint32_t n) {
  copy_block(in, out, n);
}
#endif

}  // namespace detail

// A copy between buffers that share no storage, with AVX where avx_loops()
// said so when the instance was made.
inline void copy_separate(const float* in, float* out, uint32_t n, bool avx) {
#if defined(__x86_64__)
  if (avx) {
    detail::copy_avx(in, out, n);
    return;
  }
#else
  static_cast<void>(avx);
#endif
  detail::copy_plain(in, out, n);
}

}  // namespace zul
