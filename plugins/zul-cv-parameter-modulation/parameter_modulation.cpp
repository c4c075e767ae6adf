// zul-cv-parameter-modulation: scales a CV stream by a depth, shifts it by an
// offset and limits it to 0..10, to drive a parameter.
#include "shell/fma.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output = 1, offset = 2, depth = 3, enable = 4 };

struct ParameterModulation {
  const float* input;
  float* output;
  const float* offset;
  const float* depth;
  const float* enable;
  // Not plugin state: which fused multiply-add this processor takes, chosen
  // once in instantiate so that run() branches once per block, not per sample.
  zul::FmaPath fma_path;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  auto* self = zul::allocate<ParameterModulation>();
  if (self != nullptr) {
    self->fma_path = zul::fma_path();
  }
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<ParameterModulation*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output:
      self->output = static_cast<float*>(data);
      break;
    case offset:
      self->offset = static_cast<const float*>(data);
      break;
    case depth:
      self->depth = static_cast<const float*>(data);
      break;
    case enable:
      self->enable = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// IEEE 754 minNum(v, 10) as a plain comparison: a NaN v compares false and
// gives 10.
constexpr float at_most_ten(float v) {
  return v < 10.0f ? v : 10.0f;
}

// IEEE 754 maxNum(v, 0) with negative zero below positive zero: -0 compares
// false and gives +0, so the output is never negative zero.
constexpr float at_least_zero(float v) {
  return v > 0.0f ? v : 0.0f;
}

// One loop per fused multiply-add path, so the choice costs nothing per
// sample. The enable is read at every sample: an output that covers its
// storage switches the plugin from the next sample on.
template <zul::FmaPath path>
void modulate(const ParameterModulation* self, uint32_t n, double gain, double bias) {
  const float* on = self->enable;
  const float* in = self->input;
  float* out = self->output;
  for (uint32_t i = 0; i < n; ++i) {
    if (zul::switch_reading(on[0]) != 1) {
      out[i] = 0.0f;  // the input is not read while disabled
      continue;
    }
    // One rounding for product and sum, then one to single precision.
    const double v = zul::fused_multiply_add<path>(static_cast<double>(in[i]), gain, bias);
    out[i] = at_least_zero(at_most_ten(static_cast<float>(v)));
  }
}

// Depth and offset are read once per block, before anything else: an output
// that covers their storage changes nothing until the next block.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const ParameterModulation*>(instance);
  const float depth_value = self->depth[0];
  const float offset_value = self->offset[0];
  if (n == 0) {
    return;
  }
  const double gain = static_cast<double>(depth_value) * 0.01;
  const double bias = static_cast<double>(offset_value) * 0.1;
  if (self->fma_path == zul::FmaPath::hardware) {
    modulate<zul::FmaPath::hardware>(self, n, gain, bias);
  } else {
    modulate<zul::FmaPath::software>(self, n, gain, bias);
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
