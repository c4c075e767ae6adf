// zul-cv-switch1: sends one CV stream to one of two outputs; the other output
// carries positive zero.
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output_a = 1, output_b = 2, selector = 3 };

struct Switch1 {
  const float* selector;
  const float* input;
  float* output_a;
  float* output_b;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  return zul::allocate<Switch1>();
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Switch1*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output_a:
      self->output_a = static_cast<float*>(data);
      break;
    case output_b:
      self->output_b = static_cast<float*>(data);
      break;
    case selector:
      self->selector = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Reads the selector once per block. Within each sample the chosen output is
// written before the silenced one, which decides what shared buffers end with.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Switch1*>(instance);
  const int32_t reading = zul::switch_reading(self->selector[0]);
  if (reading != 0 && reading != 1) {
    return;
  }
  const float* in = self->input;
  float* chosen = reading == 0 ? self->output_a : self->output_b;
  float* silenced = reading == 0 ? self->output_b : self->output_a;
  for (uint32_t i = 0; i < n; ++i) {
    chosen[i] = in[i];
    silenced[i] = 0.0f;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
