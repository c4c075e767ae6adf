// What every zul-cv plugin library shares: the descriptor it hands out (built
// by frame.hpp's describe), the lifecycle operations that behave the same in
// all nine, the switch reading of controls and float bit patterns.
#pragma once

#include <lv2/core/lv2.h>

#include <bit>
#include <cstdint>

namespace zul {

// Each plugin library defines exactly one descriptor; lv2_descriptor(0) returns it.
extern const LV2_Descriptor descriptor;

// The library's plugin URI (shell/uri.cpp), which the descriptor carries.
extern const char plugin_uri[];

// Shared lifecycle: activate and deactivate do nothing (state carries over),
// cleanup frees the instance, extension_data knows no extension.
void activate(LV2_Handle instance);
void deactivate(LV2_Handle instance);
void cleanup(LV2_Handle instance);
const void* extension_data(const char* uri);

// The value a switch reads as when truncation to int32 would be undefined
// (NaN, or beyond the signed 32-bit range): never 0 or 1, on every target.
inline constexpr int32_t no_reading = INT32_MIN;

// Truncates a control toward zero to a signed 32-bit integer (0.99 reads 0,
// 1.5 reads 1, -0.5 reads 0). The range test keeps the conversion defined.
constexpr int32_t switch_reading(float value) {
  if (value >= -2147483648.0f && value < 2147483648.0f) {
    return static_cast<int32_t>(value);
  }
  return no_reading;
}

constexpr uint32_t bits_of(float value) {
  return std::bit_cast<uint32_t>(value);
}
constexpr float float_of(uint32_t bits) {
  return std::bit_cast<float>(bits);
}

// The value, hidden from the compiler's reasoning and left in its register.
// A choice between it and another float then stays a choice of bits: the
// compiler cannot turn it into a minimum or maximum instruction, which reads
// a denormal as zero under the flush-to-zero mode.
[[gnu::always_inline]] inline float opaque(float value) {
#if defined(__x86_64__)
  __asm__("" : "+x"(value));
#elif defined(__aarch64__)
  __asm__("" : "+w"(value));
#elif defined(__arm__)
  __asm__("" : "+t"(value));
#endif
  return value;
}

}  // namespace zul
