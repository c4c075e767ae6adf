// zul-cv-range: sorts a value into an in-range and an out-of-range stream,
// each holding the last value it received.
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Range {
  zul::Slot input, in_range_output, out_of_range_output, range_low, range_high, reset;
  float last_in_range;
  float last_out_of_range;
};

constexpr zul::Port<Range> ports[] = {{&Range::input, value},
                                      {&Range::in_range_output, output},
                                      {&Range::out_of_range_output, output},
                                      {&Range::range_low, value},
                                      {&Range::range_high, value},
                                      {&Range::reset, value}};

bool start(Range& self, double /*rate*/) {
  self.last_in_range = 0.0f;
  self.last_out_of_range = 0.0f;
  return true;
}

// At every sample: a reset clears both held values; then the value (element
// 0 of the input) lands in range when it is at least the low bound and not
// above the high one (read only then; a NaN bound lets it in), out of range
// otherwise. The same controls leave the held values as they found them after
// the first sample.
struct Held {
  float in_range, out_of_range;
};

Held controls(Range& self) {
  if (zul::switch_reading(self.reset[0]) == 1) {
    self.last_in_range = 0.0f;
    self.last_out_of_range = 0.0f;
  }
  const float low = self.range_low[0];
  const float x = self.input[0];
  if (x >= low && !(x > self.range_high[0])) {
    self.last_in_range = x;
  } else {
    self.last_out_of_range = x;
  }
  return {self.last_in_range, self.last_out_of_range};
}

// Each output carries its held value; the out-of-range one is written last.
template <class At>
void sample(Range& /*self*/, const Held& held, const At& at) {
  at.out(&Range::in_range_output, held.in_range);
  at.out(&Range::out_of_range_output, held.out_of_range);
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Range, ports>(zul::plugin_uri);
