// zul-cv-control: turns a control value into a CV stream, either as it stands
// or smoothed by a 550 Hz one-pole low-pass computed in double precision.
#include <bit>
#include <cfloat>
#include <cstdint>

#include "plugins/zul-cv-control/pole.hpp"
#include "shell/blocks.hpp"
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Control {
  zul::Slot output, control, smoothing;
  double input_coefficient;     // 1 - a, the weight of the control value
  double feedback_coefficient;  // a, the pole: the weight of the previous state
  double filter_state;          // s, never infinite or NaN
  float carried;                // what the output carries within a call
};

constexpr zul::Port<Control> ports[] = {
    {&Control::output, output}, {&Control::control, value}, {&Control::smoothing, value}};

// Every finite positive rate, judged from the bits so that a denormal rate
// gets the same answer whatever the calling thread's floating-point mode.
// a = exp(-2*pi*550 / rate) is the pole of a 550 Hz low-pass.
bool start(Control& self, double rate) {
  const auto bits = std::bit_cast<uint64_t>(rate);
  if (bits == 0 || bits >= 0x7ff0000000000000) return false;
  self.filter_state = 0.0;
  const double a = pole::of(rate);
  self.feedback_coefficient = a;
  self.input_coefficient = 1.0 - a;
  return true;
}

// The control value, read once per call; the output carries it until
// smoothing first reads 1.
float call_controls(Control& self) {
  self.carried = self.control[0];
  return self.carried;
}

// Smoothing, read at every sample (after the filter's step, which reads
// nothing).
struct Mode {
  float value;
  bool smoothed;
};

Mode controls(const Control& self, float value) {
  return {value, zul::switch_reading(self.smoothing[0]) == 1};
}

constexpr bool is_finite(double value) {
  return __builtin_fabs(value) <= DBL_MAX;
}

// The filter takes the control value at every sample and advances whether
// smoothing is on or off: a*s rounded, then (1 - a)*v added in one fused
// multiply-add. A step that would leave the state infinite or NaN is dropped.
// A sample that smooths makes the output carry the state rounded to single.
template <class At>
void sample(Control& self, const Mode& mode, const At& at) {
  const double next = at.fma(self.input_coefficient, static_cast<double>(mode.value),
                             self.feedback_coefficient * self.filter_state);
  if (is_finite(next)) self.filter_state = next;
  if (mode.smoothed) self.carried = static_cast<float>(self.filter_state);
  at.out(&Control::output, self.carried);
}

// Smoothing holds for the block. Once a step leaves the state bit for bit
// where it was (dropped, or landing on the same bits), every later step does
// too: the rest of the block is one value, written as a fill. The bits are
// compared from an integer copy, so the state goes straight from one step
// into the next with no register move in the chain.
template <class At>
void block(Control& self, const Mode& mode, uint32_t n, const At& at) {
  float* out = at.record.output;
  const double w = self.input_coefficient, a = self.feedback_coefficient;
  const auto x = static_cast<double>(mode.value);
  double s = self.filter_state;
  auto s_bits = std::bit_cast<uint64_t>(s);
  uint32_t i = 0;
  for (; i < n; ++i) {
    const double next = at.fma(w, x, a * s);
    const auto next_bits = std::bit_cast<uint64_t>(next);
    if (!is_finite(next) || next_bits == s_bits) break;
    s = next;
    s_bits = next_bits;
    out[i] = mode.smoothed ? static_cast<float>(s) : mode.value;
  }
  self.filter_state = std::bit_cast<double>(s_bits);
  if (mode.smoothed) self.carried = static_cast<float>(self.filter_state);
  zul::fill_block(out + i, self.carried, n - i);
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Control, ports>(zul::plugin_uri);
