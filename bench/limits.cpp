#include "bench/limits.hpp"

#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace limits {

namespace {

struct Bytes {
  const char* plugin;
  size_t copies;
  size_t fills;
  double target;
};
// Per sample: the switches move one value and zero the other output; the
// range splitter writes two held values; rounding reads one value and writes
// four results.
constexpr Bytes moved[] = {
    {"zul-cv-switch1", 1, 1, 1.3},
    {"zul-cv-switch2", 1, 0, 1.3},
    {"zul-cv-abs", 1, 0, 1.3},
    {"zul-cv-gate", 1, 0, 1.3},
    {"zul-cv-range", 0, 2, 1.3},
    {"zul-cv-round", 1, 3, 2.0},
    {"zul-cv-parameter-modulation", 1, 0, 2.0},
};

// The slew limiter's gliding step at 10 ms and 48 kHz: difference, product
// with the per-millisecond constant, quotient by time times rate, sum, then
// one compare and select on the sum: the clamp that keeps a rising glide from
// passing its input, which costs what the falling side's does. Each sample
// starts from the one before; the divisor does not depend on it.
[[gnu::noinline]] float slew_chain(const float* x, float* out, uint32_t n, float s) {
  constexpr float per_millisecond = 999.99994f;
  constexpr float samples = 10.0f * 48000.0f;
  for (uint32_t i = 0; i < n; ++i) {
    const float next = s + ((x[i] - s) * per_millisecond) / samples;
    s = next > x[i] ? x[i] : next;
    out[i] = s;
  }
  return s;
}

// The smoothing filter's step: the product of the pole and the state, then
// the fused multiply-add of the input weight and the input onto it.
[[gnu::noinline, gnu::target("fma")]] double control_chain(float* out, uint32_t n, double s,
                                                           float v) {
  constexpr double pole = 0.9305357051378595;  // 550 Hz at 48 kHz
  constexpr double weight = 1.0 - pole;
  const auto x = static_cast<double>(v);
  for (uint32_t i = 0; i < n; ++i) {
    s = __builtin_fma(weight, x, pole * s);
    out[i] = v;
  }
  return s;
}

// The empty asm between the two conversions keeps the compiler from folding
// them into a plain copy, which it does otherwise.
[[gnu::noinline, gnu::target("avx")]] void widen_and_narrow_avx(const float* in, float* out,
                                                                uint32_t n) {
#pragma GCC unroll 4
  for (uint32_t i = 0; i + 4 <= n; i += 4) {
    __m256d wide = _mm256_cvtps_pd(_mm_loadu_ps(in + i));
    __asm__("" : "+x"(wide));
    _mm_storeu_ps(out + i, _mm256_cvtpd_ps(wide));
  }
}

}  // namespace

Kernel widen_and_narrow() {
  return __builtin_cpu_supports("avx") ? widen_and_narrow_avx : nullptr;
}

Limit::Limit(const std::string& plugin) {
  if (plugin == "zul-cv-slew") {
    kind_ = Kind::slew_chain;
    description_ = "sub, mul, div, add, clamp chain (float)";
    target_ = 1.15;
  } else if (plugin == "zul-cv-control") {
    if (!__builtin_cpu_supports("fma")) throw std::runtime_error("no FMA instruction here");
    kind_ = Kind::control_chain;
    description_ = "mul, fma chain (double)";
    target_ = 1.15;
  } else {
    const Bytes* bytes = nullptr;
    for (const Bytes& b : moved) {
      if (std::string_view(b.plugin) == plugin) bytes = &b;
    }
    if (bytes == nullptr) throw std::runtime_error("no limit known for " + plugin);
    copies_ = bytes->copies;
    fills_ = bytes->fills;
    target_ = bytes->target;
    describe_bytes();
  }
  make_buffers();
}

Limit::Limit(size_t copies, size_t fills, double target)
    : copies_(copies), fills_(fills), target_(target) {
  describe_bytes();
  make_buffers();
}

void Limit::describe_bytes() {
  description_ = copies_ == 0 ? "" : std::to_string(copies_) + " memcpy";
  if (fills_ != 0) {
    description_ += (description_.empty() ? "" : " + ") + std::to_string(fills_) + " memset";
  }
}

// The input carries the rig's sine; one output for each stream written.
void Limit::make_buffers() {
  for (uint32_t i = 0; i < rig::max_frames; ++i) input_[i] = rig::signal(0, i);
  const size_t streams = kind_ == Kind::copy_and_fill ? copies_ + fills_ : 1;
  for (size_t k = 0; k < streams; ++k) outputs_.push_back(rig::make_buffer());
}

void Limit::run(uint32_t n) {
  switch (kind_) {
    case Kind::copy_and_fill: {
      const size_t bytes = size_t{n} * sizeof(float);
      for (size_t k = 0; k < copies_; ++k) std::memcpy(outputs_[k].get(), input_.get(), bytes);
      for (size_t k = copies_; k < copies_ + fills_; ++k) std::memset(outputs_[k].get(), 0, bytes);
      break;
    }
    case Kind::slew_chain:
      slew_state_ = slew_chain(input_.get(), outputs_[0].get(), n, slew_state_);
      break;
    case Kind::control_chain:
      filter_state_ = control_chain(outputs_[0].get(), n, filter_state_, 1.0f);
      break;
  }
  benchmark::ClobberMemory();
}

}  // namespace limits
