// What bounds each plugin's run, timed beside it: the library's memcpy and
// memset of exactly the bytes the plugin reads and writes, or, where every
// sample waits for the one before, the bare arithmetic chain it must follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/rig.hpp"

namespace limits {

class Limit {
 public:
  // A plugin not listed here has no limit to be measured against.
  explicit Limit(const std::string& plugin);
  // memcpy of `copies` streams and memset of `fills`, with its own target.
  Limit(size_t copies, size_t fills, double target);
  void run(uint32_t n);
  const std::string& description() const { return description_; }
  // The most that run may take at 256 frames with separate buffers, in
  // multiples of this limit.
  double target() const { return target_; }

 private:
  enum class Kind { copy_and_fill, slew_chain, control_chain };
  Kind kind_ = Kind::copy_and_fill;
  size_t copies_ = 0;  // streams moved from the input to an output
  size_t fills_ = 0;   // outputs written with one value
  std::string description_;
  double target_ = 0.0;
  void describe_bytes();
  void make_buffers();
  rig::Buffer input_ = rig::make_buffer();
  std::vector<rig::Buffer> outputs_;
  float slew_state_ = 0.0f;
  double filter_state_ = 0.0;
};

// What parameter modulation cannot do without: each sample widened to double
// and narrowed back, four at a time with AVX, and no arithmetic. Null where
// the processor has no AVX.
using Kernel = void (*)(const float* in, float* out, uint32_t n);
Kernel widen_and_narrow();

}  // namespace limits
