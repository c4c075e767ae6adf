// The processor variants of run's loops. Every plugin's loops are compiled
// once per variant; instantiate asks which one this processor takes, and run
// selects it with a plain branch (frame.hpp). A new variant is a value of
// Variant, its test below, its Ops, and its branch in frame.hpp's run.
#pragma once

#include <cstdint>

#include "shell/fma.hpp"

#if defined(__x86_64__)
#include <cpuid.h>
#elif defined(__arm__)
#include <sys/auxv.h>
#endif

namespace zul {

enum class Variant : uint8_t {
  baseline,  // x86-64 with SSE2, 32-bit ARM with VFPv3: the software fused
             // multiply-add; AArch64
  avx2,      // x86-64 with AVX2 and FMA
  avx512,    // x86-64 with AVX-512 F, VL, DQ and BW too: a plugin takes it
             // only where its loops are faster so (frame.hpp)
  vfpv4,     // 32-bit ARM with VFPv4's fused multiply-add
};

// The variant this processor can run. A build may force the baseline
// (ZUL_CV_FMA_SOFTWARE) so that the tests can run it on any machine.
inline Variant processor_variant() {
#if defined(__x86_64__) && !defined(ZUL_CV_FMA_SOFTWARE)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return Variant::baseline;
  constexpr unsigned fma = 1u << 12, osxsave = 1u << 27, avx = 1u << 28;
  if ((ecx & (fma | osxsave | avx)) != (fma | osxsave | avx)) return Variant::baseline;
  // The operating system must save the AVX registers.
  uint32_t xcr0_low = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 6u) != 6u) return Variant::baseline;
  constexpr unsigned avx2 = 1u << 5;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0 || (ebx & avx2) == 0) {
    return Variant::baseline;
  }
  // AVX-512 wants its four parts and the operating system saving the mask
  // registers and all of the 512-bit ones.
  constexpr unsigned f = 1u << 16, dq = 1u << 17, bw = 1u << 30, vl = 1u << 31;
  constexpr unsigned zmm_state = 0xE6u;  // SSE, AVX, opmask, ZMM_Hi256, Hi16_ZMM
  if ((ebx & (f | dq | bw | vl)) == (f | dq | bw | vl) && (xcr0_low & zmm_state) == zmm_state) {
    return Variant::avx512;
  }
  return Variant::avx2;
#elif defined(__arm__) && !defined(ZUL_CV_FMA_SOFTWARE)
  // The kernel's hardware-capability bits: VFPv4 brings the instruction.
  constexpr unsigned long vfpv4 = 1ul << 16;  // HWCAP_VFPv4
  return (getauxval(AT_HWCAP) & vfpv4) != 0 ? Variant::vfpv4 : Variant::baseline;
#else
  return Variant::baseline;
#endif
}

// What a variant's loops compute with, inlined into them.
struct Baseline {
  [[gnu::always_inline]] static double fma(double a, double b, double c) {
#if defined(__aarch64__) && !defined(ZUL_CV_FMA_SOFTWARE)
    return __builtin_fma(a, b, c);  // fmadd, part of every AArch64 processor
#else
    return fma_software(a, b, c);
#endif
  }
};

#if defined(__x86_64__)
struct Avx2 {
  [[gnu::always_inline]] static double fma(double a, double b, double c) {
    // vfmadd: only ever inlined into the variant's loops, compiled for AVX2 and FMA.
    return __builtin_fma(a, b, c);
  }
};
struct Avx512 {
  [[gnu::always_inline]] static double fma(double a, double b, double c) {
    // vfmadd: only ever inlined into the variant's loops, compiled for AVX-512.
    return __builtin_fma(a, b, c);
  }
};
#endif

// Whether a variant's loops may use AVX2's instructions.
template <class Ops>
inline constexpr bool has_avx2 = false;
#if defined(__x86_64__)
template <>
inline constexpr bool has_avx2<Avx2> = true;
template <>
inline constexpr bool has_avx2<Avx512> = true;
#endif

#if defined(__arm__)
struct Vfpv4 {
  [[gnu::always_inline]] static double fma(double a, double b, double c) {
    // vfma.f64: only ever inlined into the variant's loops, compiled for VFPv4.
    return __builtin_fma(a, b, c);
  }
};
#endif

}  // namespace zul
