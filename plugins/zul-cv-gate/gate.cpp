// zul-cv-gate: passes a CV stream while a level has opened the gate and
// silences it once the level has closed it; between the two thresholds the
// gate keeps its state.
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Gate {
  zul::Slot level, input, output, open_threshold, close_threshold, enable;
  bool gate_open;  // false while closed
};

constexpr zul::Port<Gate> ports[] = {
    {&Gate::level, value},          {&Gate::input, input},           {&Gate::output, output},
    {&Gate::open_threshold, value}, {&Gate::close_threshold, value}, {&Gate::enable, value}};

bool start(Gate& self, double /*rate*/) {
  self.gate_open = false;
  return true;
}

enum class Pass { copy, silence };

// Off, the input passes and the flag rests. On, the level (element 0) opens
// the gate at or above the open threshold and closes it at or below the close
// threshold (NaNs compare false); in between it holds. The same controls
// leave the flag as they found it after the first sample.
Pass controls(Gate& self) {
  if (zul::switch_reading(self.enable[0]) != 1) return Pass::copy;
  const float x = self.level[0];
  const float open_at = self.open_threshold[0];
  const float close_at = self.close_threshold[0];
  if (x < open_at) {
    if (x <= close_at) self.gate_open = false;
  } else {
    self.gate_open = x > close_at;
  }
  return self.gate_open ? Pass::copy : Pass::silence;
}

// The input is read only where it passes.
template <class At>
void sample(Gate& /*self*/, Pass pass, const At& at) {
  at.out(&Gate::output, pass == Pass::copy ? at.in(&Gate::input) : 0.0f);
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Gate, ports>(zul::plugin_uri);
