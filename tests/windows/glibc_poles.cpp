// The list that the Windows DLL of zul-cv-control must write (see poles.cpp),
// from the build machine's glibc: exp(-2*pi*550 / rate) at every whole rate
// from 1 to 384000, the bits as 16 lowercase hex digits per line.
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>

int main() {
  for (uint32_t rate = 1; rate <= 384000; ++rate) {
    const double pole = std::exp(-3455.7519189487725 / rate);
    std::printf("%016" PRIx64 "\n", std::bit_cast<uint64_t>(pole));
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
