// Sets the loading thread's floating-point mode when the library is loaded:
// flush-to-zero for denormal operands and results, round to nearest. The
// whole control register is written, so the mode does not depend on what the
// host had set before.
#include <cstdint>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace zul {
namespace {

#if defined(__x86_64__)
// MXCSR: flush-to-zero (bit 15), denormals-are-zero (bit 6), all six exception
// masks set (bits 7-12), round to nearest, status flags clear. Unmasking the
// exceptions would turn the first NaN or overflow in the host thread into SIGFPE.
constexpr uint32_t fp_mode = 0x9FC0;

__attribute__((constructor)) void set_fp_mode() {
  _mm_setcsr(fp_mode);
}
#elif defined(__aarch64__)
// FPCR: flush-to-zero (bit 24); round to nearest, exception traps disabled.
constexpr uint64_t fp_mode = 0x1000000;

__attribute__((constructor)) void set_fp_mode() {
  __asm__ volatile("msr fpcr, %0" : : "r"(fp_mode));
}
#elif defined(__arm__)
// FPSCR: flush-to-zero (bit 24); round to nearest, every trap disabled, no
// vector length or stride, default NaN off: the same as AArch64's FPCR.
constexpr uint32_t fp_mode = 0x1000000;

__attribute__((constructor)) void set_fp_mode() {
  __asm__ volatile("vmsr fpscr, %0" : : "r"(fp_mode));
}
#else
#error "zul-cv sets the floating-point mode at load; this architecture has no implementation"
#endif

}  // namespace
}  // namespace zul
