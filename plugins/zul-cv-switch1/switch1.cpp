// zul-cv-switch1: sends one CV stream to one of two outputs; the other output
// carries positive zero.
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Switch1 {
  zul::Slot selector, input, output_a, output_b;
};

constexpr zul::Port<Switch1> ports[] = {{&Switch1::input, input},
                                        {&Switch1::output_a, output},
                                        {&Switch1::output_b, output},
                                        {&Switch1::selector, value}};

// The selector, read once per call: 0 routes to output A, 1 to output B, and
// any other reading writes nothing at all.
int32_t call_controls(const Switch1& self) {
  return zul::switch_reading(self.selector[0]);
}

// The chosen output is written before the silenced one, which decides what
// the two end with when they share a buffer.
template <class At>
void sample(Switch1& /*self*/, int32_t reading, const At& at) {
  if (reading == 0) {
    const float x = at.in(&Switch1::input);
    at.out(&Switch1::output_a, x);
    at.out(&Switch1::output_b, 0.0f);
  } else if (reading == 1) {
    const float x = at.in(&Switch1::input);
    at.out(&Switch1::output_b, x);
    at.out(&Switch1::output_a, 0.0f);
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Switch1, ports>(zul::plugin_uri);
