// zul-cv-control: turns a control value into a CV stream, either as it stands
// or smoothed by a 550 Hz one-pole low-pass computed in double precision.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { output = 0, control = 1, smoothing = 2 };

struct Control {
  float* output;
  const float* control;
  const float* smoothing;
  double input_coefficient;     // 1 - a, the weight of the control value
  double feedback_coefficient;  // a, the pole: the weight of the previous state
  double filter_state;          // s, never infinite or NaN
  zul::FmaPath fma_path;        // the dispatch choice: which loop run() takes
};

// -2*pi*550 in double: a = exp(this / rate) is the pole of a 550 Hz low-pass.
constexpr double cutoff_radians = -3455.7519189487725;

constexpr uint64_t exponent_mask = 0x7ff0000000000000;

// One comparison of the magnitude (a sign-bit mask, no arithmetic, no library
// call): false for infinities and NaNs; a denormal, which flush-to-zero
// compares as zero, is finite either way. The test is then a branch beside
// the filter's chain, not a step in it.
constexpr bool is_finite(double value) {
  return __builtin_fabs(value) <= DBL_MAX;
}
static_assert(is_finite(DBL_MAX) && is_finite(-DBL_MAX) && is_finite(-DBL_TRUE_MIN));
static_assert(!is_finite(std::bit_cast<double>(exponent_mask)) &&
              !is_finite(std::bit_cast<double>(exponent_mask | 1)));

// Judged from the bits, so that a denormal rate gets the same answer whatever
// the calling thread's floating-point mode: sign clear, not zero, finite.
constexpr bool is_usable_rate(double rate) {
  const uint64_t bits = std::bit_cast<uint64_t>(rate);
  return bits != 0 && bits < exponent_mask;
}

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  if (!is_usable_rate(rate)) {
    return nullptr;
  }
  Control* self = zul::allocate<Control>();
  if (self == nullptr) {
    return nullptr;
  }
  self->filter_state = 0.0;
  const double a = std::exp(cutoff_radians / rate);
  self->feedback_coefficient = a;
  self->input_coefficient = 1.0 - a;
  self->fma_path = zul::fma_path();
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Control*>(instance);
  switch (port) {
    case output:
      self->output = static_cast<float*>(data);
      break;
    case control:
      self->control = static_cast<const float*>(data);
      break;
    case smoothing:
      self->smoothing = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// The filter takes the control value at every sample and advances whether
// smoothing is on or off, so switching smoothing on mid-stream continues from
// where the control has led it. A step that would leave the state infinite or
// NaN is dropped. Smoothing is read at every sample, after the step, because
// the output may cover its storage. The output carries y: the control value
// until smoothing first reads 1, then the filter's value at each sample that
// reads 1, held through the samples that do not.
template <zul::FmaPath path>
void smooth(Control* self, float value, uint32_t n) {
  float* out = self->output;
  const float* smoothing_switch = self->smoothing;
  const double input_weight = self->input_coefficient;
  const double a = self->feedback_coefficient;
  const double x = static_cast<double>(value);
  double s = self->filter_state;
  float y = value;
  for (uint32_t i = 0; i < n; ++i) {
    const double feedback = a * s;
    const double next = zul::fused_multiply_add<path>(input_weight, x, feedback);
    if (is_finite(next)) {
      s = next;
    }
    if (zul::switch_reading(smoothing_switch[0]) == 1) {
      y = static_cast<float>(s);
    }
    out[i] = y;
  }
  self->filter_state = s;
}

// The output apart from the smoothing switch: its reading holds for the
// block, so each sample is the filter step and one store, with the state in a
// register. A step that leaves the state as it was (dropped, or landing on
// the same bits) leaves the input as it was too, so every later step of the
// block is that same step: the loop ends there and the rest of the block is
// one value, written as a fill. The test is a loop exit beside the chain of
// steps, not a step in it.
template <zul::FmaPath path>
[[gnu::always_inline]] inline void smooth_block(Control* self, float value, uint32_t n,
                                                bool smoothed) {
  float* out = self->output;
  const double input_weight = self->input_coefficient;
  const double a = self->feedback_coefficient;
  const double x = static_cast<double>(value);
  // The state's bits are compared, and kept where the loop ends, from an
  // integer copy: the state itself then goes straight from one step into the
  // next, with no register move in the chain.
  double s = self->filter_state;
  uint64_t s_bits = std::bit_cast<uint64_t>(s);
  uint32_t i = 0;
  if (smoothed) {
    for (; i < n; ++i) {
      const double next = zul::fused_multiply_add<path>(input_weight, x, a * s);
      const auto next_bits = std::bit_cast<uint64_t>(next);
      if (!is_finite(next) || next_bits == s_bits) break;
      s = next;
      s_bits = next_bits;
      out[i] = static_cast<float>(s);
    }
  } else {
    for (; i < n; ++i) {
      const double next = zul::fused_multiply_add<path>(input_weight, x, a * s);
      const auto next_bits = std::bit_cast<uint64_t>(next);
      if (!is_finite(next) || next_bits == s_bits) break;
      s = next;
      s_bits = next_bits;
      out[i] = value;
    }
  }
  s = std::bit_cast<double>(s_bits);
  const float held = smoothed ? static_cast<float>(s) : value;
  zul::fill_block(out + i, held, n - i);
  self->filter_state = s;
}

void smooth_block_software(Control* self, float value, uint32_t n, bool smoothed) {
  smooth_block<zul::FmaPath::software>(self, value, n, smoothed);
}

// The hardware fused multiply-add, and on x86-64 the fill in AVX (the
// instruction's presence implies AVX's).
#if defined(__x86_64__)
[[gnu::target("avx")]]
#endif
void smooth_block_hardware(Control* self, float value, uint32_t n, bool smoothed) {
  smooth_block<zul::FmaPath::hardware>(self, value, n, smoothed);
}

// Reads the control once per block, before anything is written; the state is
// stored back once, at the end of the block.
void run(LV2_Handle instance, uint32_t n) {
  auto* self = static_cast<Control*>(instance);
  const float value = self->control[0];
  if (n == 0) {
    return;
  }
  if (!zul::covers(self->output, n, self->smoothing)) {
    const bool smoothed = zul::switch_reading(self->smoothing[0]) == 1;
    if (self->fma_path == zul::FmaPath::hardware) {
      smooth_block_hardware(self, value, n, smoothed);
    } else {
      smooth_block_software(self, value, n, smoothed);
    }
    return;
  }
  if (self->fma_path == zul::FmaPath::hardware) {
    smooth<zul::FmaPath::hardware>(self, value, n);
  } else {
    smooth<zul::FmaPath::software>(self, value, n);
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
