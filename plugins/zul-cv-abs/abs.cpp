// zul-cv-abs: rectifies a CV stream while enabled, passes it through otherwise.
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Abs {
  zul::Slot input, output, enable;
};

constexpr zul::Port<Abs> ports[] = {
    {&Abs::input, input}, {&Abs::output, output}, {&Abs::enable, value}};

// The enable, read at every sample before the input.
bool controls(const Abs& self) {
  return zul::switch_reading(self.enable[0]) == 1;
}

// Clears the sign bit and nothing else: no arithmetic, so a negative denormal
// keeps its magnitude under flush-to-zero and a NaN keeps its payload. Off,
// the input's 32 bits pass as they are.
template <class At>
void sample(Abs& /*self*/, bool on, const At& at) {
  const float x = at.in(&Abs::input);
  at.out(&Abs::output, on ? zul::float_of(zul::bits_of(x) & 0x7fffffffu) : x);
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Abs, ports>(zul::plugin_uri);
