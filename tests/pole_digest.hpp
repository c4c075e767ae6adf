// zul-cv-control's poles at every whole rate from 1 to 384000 Hz, folded into
// one number: what the GNU C library's exp gives there where it computes with
// a fused multiply-add (glibc 2.36 on x86-64 with FMA and on AArch64). The
// Linux tests check each rate against that exp where the machine has it; on
// every other platform, Windows included, the plugin's poles must fold into
// the same digest.
#pragma once

#include <bit>
#include <cstdint>

namespace pole_digest {

inline constexpr uint32_t top_rate = 384000;
inline constexpr uint64_t glibc_fused = 0x5943b431b5d6470e;

struct Digest {
  uint64_t value = 1469598103934665603u;
  void add(double pole) { value = (value ^ std::bit_cast<uint64_t>(pole)) * 1099511628211u; }
};

}  // namespace pole_digest
