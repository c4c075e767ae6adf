// zul-cv-abs: rectifies a CV stream while enabled, passes it through otherwise.
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output = 1, enable = 2 };

struct Abs {
  const float* input;
  float* output;
  const float* enable;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  return zul::allocate<Abs>();
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Abs*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output:
      self->output = static_cast<float*>(data);
      break;
    case enable:
      self->enable = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Clears the sign bit and nothing else: no arithmetic, so a negative denormal
// keeps its magnitude under flush-to-zero and a NaN keeps its payload.
constexpr uint32_t sign_bit = 0x80000000u;

// The enable is read anew at every sample, before the input: an output that
// covers the enable's storage switches the samples after the one written there.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Abs*>(instance);
  const float* in = self->input;
  float* out = self->output;
  for (uint32_t i = 0; i < n; ++i) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
    const float x = in[i];
    out[i] = on ? zul::float_of(zul::bits_of(x) & ~sign_bit) : x;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
