// Whether host buffers share storage. A plugin's run takes its fast path only
// where no output overlaps what it reads: there a control cannot change within
// the call and an input cannot be overwritten before it is read, so the loop
// may be hoisted and vectorised. Anywhere else it keeps the sample-by-sample
// order. Addresses are compared as integers: the buffers are distinct objects,
// which the language does not let pointers be ordered across.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zul {

// Whether the byte ranges [a, a + a_bytes) and [b, b + b_bytes) intersect; an
// empty range intersects nothing.
inline bool bytes_overlap(const void* a, std::size_t a_bytes, const void* b, std::size_t b_bytes) {
  const auto x = reinterpret_cast<std::uintptr_t>(a);
  const auto y = reinterpret_cast<std::uintptr_t>(b);
  return a_bytes != 0 && b_bytes != 0 && x < y + b_bytes && y < x + a_bytes;
}

// Whether samples 0 to n-1 of two streams share any storage.
inline bool streams_overlap(const float* a, const float* b, uint32_t n) {
  return bytes_overlap(a, n * sizeof(float), b, n * sizeof(float));
}

// Whether samples 0 to n-1 of an output cover element 0 of a control.
inline bool covers(const float* output, uint32_t n, const float* control) {
  return bytes_overlap(output, n * sizeof(float), control, sizeof(float));
}

}  // namespace zul
