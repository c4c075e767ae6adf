// The fused multiply-add a*b + c with one rounding, bit-identical on every
// target: the processor's instruction where it has one, an exact software
// version on x86-64 processors without FMA. The choice is made once per
// instance (fma_path() in instantiate), never per sample, and run() picks one
// of two loops with it: neither path calls a library function.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace zul {

enum class FmaPath : uint8_t { hardware, software };

// The path this processor can take. A build may force the software path
// (ZUL_CV_FMA_SOFTWARE) so that the tests can run each path on one machine.
inline FmaPath fma_path() {
#if defined(ZUL_CV_FMA_SOFTWARE)
  return FmaPath::software;
#elif defined(__aarch64__)
  return FmaPath::hardware;
#elif defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return FmaPath::software;
  }
  constexpr unsigned fma = 1u << 12, osxsave = 1u << 27, avx = 1u << 28;
  if ((ecx & (fma | osxsave | avx)) != (fma | osxsave | avx)) {
    return FmaPath::software;
  }
  // The instruction needs the operating system to save the AVX state.
  uint32_t xcr0_low = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  return (xcr0_low & 6u) == 6u ? FmaPath::hardware : FmaPath::software;
#else
#error "no fused multiply-add for this architecture"
#endif
}

// The processor's instruction; on x86-64 only valid where fma_path() said so.
inline double fma_hardware(double a, double b, double c) {
#if defined(__aarch64__)
  return __builtin_fma(a, b, c);  // fmadd, always present on AArch64
#elif defined(__x86_64__)
  // Inline assembly, so that the library needs no FMA target beyond this one
  // instruction: c = a*b + c.
  __asm__("vfmadd231sd %2, %1, %0" : "+x"(c) : "x"(a), "x"(b));
  return c;
#endif
}

// Exact IEEE 754 binary64 fused multiply-add, round to nearest even, under the
// plugins' floating-point mode: denormal operands read as zero and a result
// too small to be normal is flushed to zero, as the instruction does.
double fma_software(double a, double b, double c);

template <FmaPath path>
inline double fused_multiply_add(double a, double b, double c) {
  if constexpr (path == FmaPath::hardware) {
    return fma_hardware(a, b, c);
  } else {
    return fma_software(a, b, c);
  }
}

}  // namespace zul
