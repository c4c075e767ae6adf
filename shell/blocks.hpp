// Loops that several plugins' block loops share: a copy and a fill. Inlined
// into their callers, so that each processor variant gets its own.
#pragma once

#include <cstdint>

// Before a block loop. ZUL_SAME_INDEX_ONLY: its samples share storage at most
// at the same index, so no sample's store reaches another sample's load and
// the compiler may vectorise without checking that the buffers are apart.
// ZUL_UNROLL: several vectors a step, since one a step would wait on the
// loop's jump. Clang builds only the sanitizer and fuzzing stages, where
// speed does not count, and would warn where it cannot follow them.
#if defined(__clang__)
#define ZUL_SAME_INDEX_ONLY
#define ZUL_UNROLL
#else
#define ZUL_SAME_INDEX_ONLY _Pragma("GCC ivdep")
#define ZUL_UNROLL _Pragma("GCC unroll 4")
#endif

namespace zul {

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
[[gnu::always_inline]] inline void fill_block(float* out, float value, uint32_t n) {
  Eight v;
  set_all(v, value);
  uint32_t i = 0;
  ZUL_UNROLL
  for (; i + 8 <= n; i += 8) __builtin_memcpy(out + i, &v, sizeof v);
  for (; i < n; ++i) out[i] = value;
}

// In and out apart, or the same buffer.
[[gnu::always_inline]] inline void copy_block(const float* in, float* out, uint32_t n) {
  ZUL_SAME_INDEX_ONLY
  ZUL_UNROLL
  for (uint32_t i = 0; i < n; ++i) out[i] = in[i];
}

}  // namespace zul
