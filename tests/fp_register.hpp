// The calling thread's floating-point control register, for the tests: what
// the plugins write into it when a library is loaded, what the processor
// starts with, and reading and writing it.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace fp_register {

#if defined(__x86_64__)
// MXCSR: flush-to-zero, denormals-are-zero, all exceptions masked; the status
// flags (bits 0 to 5) are not part of the mode.
constexpr uint64_t plugin_mode = 0x9FC0;
constexpr uint64_t default_mode = 0x1F80;
constexpr uint64_t mode_bits = ~uint64_t{0x3F};
inline uint64_t read() {
  return _mm_getcsr();
}
inline void write(uint64_t mode) {
  _mm_setcsr(static_cast<unsigned>(mode));
}
#elif defined(__aarch64__)
// FPCR: flush-to-zero; the status flags live in FPSR.
constexpr uint64_t plugin_mode = 0x1000000;
constexpr uint64_t default_mode = 0;
constexpr uint64_t mode_bits = ~uint64_t{0};
inline uint64_t read() {
  uint64_t mode = 0;
  __asm__ volatile("mrs %0, fpcr" : "=r"(mode));
  return mode;
}
inline void write(uint64_t mode) {
  __asm__ volatile("msr fpcr, %0" : : "r"(mode));
}
#elif defined(__arm__)
// FPSCR: flush-to-zero; the condition flags (bits 28 to 31) and the
// cumulative exception flags (bits 0 to 4 and 7) are not part of the mode.
constexpr uint64_t plugin_mode = 0x1000000;
constexpr uint64_t default_mode = 0;
constexpr uint64_t mode_bits = 0x07FFFF00;
inline uint64_t read() {
  uint32_t mode = 0;
  __asm__ volatile("vmrs %0, fpscr" : "=r"(mode));
  return mode;
}
inline void write(uint64_t mode) {
  __asm__ volatile("vmsr fpscr, %0" : : "r"(static_cast<uint32_t>(mode)));
}
#endif

// Modes a host's thread may be in when it calls a plugin: the processor's
// power-on default (a thread the plugin was not loaded on, and every new
// thread on Windows), and the opposite of the plugins' mode: rounding toward
// zero with every trap the processor has enabled (a processor without traps
// keeps them off), or flush-to-zero with the default NaN.
struct HostMode {
  const char* name;
  uint64_t value;
};
#if defined(__x86_64__)
inline constexpr HostMode host_modes[] = {
    {"power-on default", default_mode},
    {"toward zero, exceptions unmasked", 0x6000},
    {"flush-to-zero without denormals-are-zero, flags raised", 0x9FBF},
};
#else
inline constexpr HostMode host_modes[] = {
    {"power-on default", default_mode},
    {"toward zero, traps enabled", 0xC09F00},
    {"flush-to-zero with the default NaN", 0x3000000},
};
#endif

// Whether a call that found the register holding `before` left it as it was:
// the mode bits, and where the call had to switch to the plugins' mode, every
// bit (the status flags the caller had are restored with the rest).
inline bool left_alone(uint64_t before, uint64_t after) {
  if ((before & mode_bits) == plugin_mode) return (after & mode_bits) == plugin_mode;
  return after == before;
}

// Whether the plugins' mode is in force in this thread.
inline bool plugin_mode_in_force() {
  return (read() & mode_bits) == plugin_mode;
}

}  // namespace fp_register
