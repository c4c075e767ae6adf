// Whether host buffers share storage, which decides where run may take its
// block loop (frame.hpp): no output may cover a control, and streams may share
// storage only at the same index. Addresses are compared as integers: the
// buffers are distinct objects, which the language does not let pointers be
// ordered across.
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
