// zul-cv-switch2: passes one of two CV streams to one output.
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Switch2 {
  zul::Slot selector, input_a, input_b, output;
};

constexpr zul::Port<Switch2> ports[] = {{&Switch2::input_a, input},
                                        {&Switch2::input_b, input},
                                        {&Switch2::output, output},
                                        {&Switch2::selector, value}};

// The selector, read once per call: 0 passes input A, 1 input B, and any
// other reading writes nothing at all.
int32_t call_controls(const Switch2& self) {
  return zul::switch_reading(self.selector[0]);
}

// The other input is not read.
template <class At>
void sample(Switch2& /*self*/, int32_t reading, const At& at) {
  if (reading == 0) {
    at.out(&Switch2::output, at.in(&Switch2::input_a));
  } else if (reading == 1) {
    at.out(&Switch2::output, at.in(&Switch2::input_b));
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Switch2, ports>(zul::plugin_uri);
