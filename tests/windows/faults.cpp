// A DLL that breaks every rule of check_dll.sh, for check_dll_faults.sh to
// show that the check sees each: a second export, an import from USER32.dll,
// a run that calls an imported function, the C runtime's abort and a
// function through a pointer, and a run_avx2 that stores a ymm register to
// the stack with an aligned move. Never loaded, only read.
#include <windows.h>

#include <cstdlib>

extern "C" __declspec(dllexport) int lv2_descriptor() {
  return 0;
}

extern "C" __declspec(dllexport) int second_export() {
  return 1;
}

namespace zul::frame {

template <class R>
void run(void* instance, unsigned n) {
  MessageBeep(n);
  if (n == 7) std::abort();
  reinterpret_cast<void (*)(unsigned)>(instance)(n);
}
template void run<int>(void*, unsigned);

template <class R>
[[gnu::target("avx2")]] void run_avx2(R& /*self*/, unsigned /*n*/) {
  __asm__ volatile("sub $64, %%rsp\n\tvmovaps %%ymm0, 32(%%rsp)\n\tadd $64, %%rsp" ::: "memory");
}
template void run_avx2<int>(int&, unsigned);

}  // namespace zul::frame
