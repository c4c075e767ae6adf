// The plugins' floating-point mode: flush-to-zero for denormal operands and
// results, round to nearest, every trap off. Loading a library sets it in the
// loading thread (fp_mode.cpp); run and instantiate hold it while they
// compute, whatever thread the host calls them on, and give that thread its
// own register back.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace zul::fp {

#if defined(__x86_64__)
// MXCSR: flush-to-zero (bit 15), denormals-are-zero (bit 6), all six exception
// masks set (bits 7-12), round to nearest. The status flags (bits 0-5) are
// not part of the mode.
using Register = uint32_t;
inline constexpr Register plugin_mode = 0x9FC0;
inline constexpr Register mode_bits = ~Register{0x3F};
[[gnu::always_inline]] inline Register read() {
  return _mm_getcsr();
}
[[gnu::always_inline]] inline void write(Register value) {
  _mm_setcsr(value);
}
#elif defined(__aarch64__)
// FPCR: flush-to-zero (bit 24); round to nearest, traps disabled. Its status
// flags live in FPSR.
using Register = uint64_t;
inline constexpr Register plugin_mode = 0x1000000;
inline constexpr Register mode_bits = ~Register{0};
[[gnu::always_inline]] inline Register read() {
  Register value;
  __asm__ volatile("mrs %0, fpcr" : "=r"(value));
  return value;
}
[[gnu::always_inline]] inline void write(Register value) {
  __asm__ volatile("msr fpcr, %0" : : "r"(value));
}
#elif defined(__arm__)
// FPSCR: flush-to-zero (bit 24); round to nearest, every trap disabled, no
// vector length or stride, default NaN off. The condition flags (bits 28-31),
// the saturation flag (27) and the cumulative exception flags (0-4, 7) are
// not part of the mode.
using Register = uint32_t;
inline constexpr Register plugin_mode = 0x1000000;
inline constexpr Register mode_bits = 0x07FFFF00;
[[gnu::always_inline]] inline Register read() {
  Register value;
  __asm__ volatile("vmrs %0, fpscr" : "=r"(value));
  return value;
}
[[gnu::always_inline]] inline void write(Register value) {
  __asm__ volatile("vmsr fpscr, %0" : : "r"(value));
}
#else
#error "zul-cv holds its floating-point mode in run; this architecture has no implementation"
#endif

[[gnu::always_inline]] inline bool is_plugin_mode(Register value) {
  return (value & mode_bits) == plugin_mode;
}

// Calls f in the plugins' mode and returns what it returns: a thread in
// another mode gets the plugins' register written, and its own written back,
// flags and all, once f returns.
template <class F>
[[gnu::always_inline]] inline auto in_plugin_mode(F f) {
  const Register caller = read();
  if (is_plugin_mode(caller)) return f();
  write(plugin_mode);
  const auto result = f();
  write(caller);
  return result;
}

}  // namespace zul::fp
