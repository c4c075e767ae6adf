// zul-cv-round: one CV stream rounded four ways: to the nearest whole number
// (halves upward), its ceiling, its floor and its fraction after truncation.
#include "plugins/zul-cv-round/rounding.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t {
  input = 0,
  output_round = 1,
  output_ceil = 2,
  output_floor = 3,
  output_fraction = 4,
  enable = 5,
};

struct Round {
  const float* input;
  float* output_round;
  float* output_ceil;
  float* output_floor;
  float* output_fraction;
  const float* enable;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  return zul::allocate<Round>();
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Round*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output_round:
      self->output_round = static_cast<float*>(data);
      break;
    case output_ceil:
      self->output_ceil = static_cast<float*>(data);
      break;
    case output_floor:
      self->output_floor = static_cast<float*>(data);
      break;
    case output_fraction:
      self->output_fraction = static_cast<float*>(data);
      break;
    case enable:
      self->enable = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// The sum in double is exact for every float, so 0.49999997 rounds to 0 and
// 2^23 + 1 stays itself, where a single-precision sum would round up.
float rounded(float x) {
  return static_cast<float>(rounding::floor(static_cast<double>(x) + 0.5));
}

// Beyond the signed 32-bit range the truncation is undefined; every such float
// is whole, so its fraction is +0 (infinities included).
float fraction(float x) {
  if (x > -2147483648.0f && x < 2147483648.0f) {
    return x - static_cast<float>(static_cast<int32_t>(x));
  }
  return x != x ? rounding::quiet(x) : 0.0f;
}

// The enable is read at every sample, since an output may cover its storage.
// All four results come from the one input read, before any output is written,
// so an output sharing the input's buffer changes nothing.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Round*>(instance);
  for (uint32_t i = 0; i < n; ++i) {
    if (zul::switch_reading(self->enable[0]) != 1) {
      self->output_round[i] = 0.0f;
      self->output_ceil[i] = 0.0f;
      self->output_floor[i] = 0.0f;
      self->output_fraction[i] = 0.0f;
      continue;
    }
    const float x = self->input[i];
    const float round = rounded(x);
    const float ceil = rounding::ceiling(x);
    const float floor = rounding::floor(x);
    const float frac = fraction(x);
    self->output_round[i] = round;
    self->output_ceil[i] = ceil;
    self->output_floor[i] = floor;
    self->output_fraction[i] = frac;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
