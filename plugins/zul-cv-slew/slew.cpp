// zul-cv-slew: glides a CV stream toward its input, one time for rising and
// another for falling. The glided value never becomes infinite or NaN: a
// sample that would make it so leaves it where it was.
#include <cfloat>

#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output = 1, rise_time = 2, fall_time = 3, enable = 4 };

struct Slew {
  const float* input;
  float* output;
  const float* rise_time;
  const float* fall_time;
  const float* enable;
  float sample_rate;
  float current_value;
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

// The single-precision reciprocal of 0.001, one unit in the last place below
// 1000: it turns the times into milliseconds, and the last bit depends on it.
constexpr float per_millisecond = 999.99994f;
static_assert(zul::bits_of(per_millisecond) == 0x4479FFFF);

// Rates from the smallest normal float to the largest float become positive
// normal floats. Any other rate (NaN, infinities, zero, negatives, or one that
// would round to a float zero, denormal or infinity) would turn every step
// into an infinity, a NaN or nothing, so no instance is made for it. The check
// also keeps the conversion to float defined.
constexpr bool usable_rate(double rate) {
  return rate >= static_cast<double>(FLT_MIN) && rate <= static_cast<double>(FLT_MAX);
}

// One comparison of the magnitude (a sign-bit mask, no arithmetic, no library
// call): false for infinities and NaNs; a denormal, which flush-to-zero
// compares as zero, is finite either way. The glided value thus stays in a
// vector register, and the test is a branch beside the chain, not a step in it.
constexpr bool is_finite(float value) {
  return __builtin_fabsf(value) <= FLT_MAX;
}
static_assert(is_finite(FLT_MAX) && is_finite(-FLT_MAX) && is_finite(zul::float_of(0x80000001)));
static_assert(!is_finite(zul::float_of(0x7F800000)) && !is_finite(zul::float_of(0xFF800000)));
static_assert(!is_finite(zul::float_of(0x7FC00000)) && !is_finite(zul::float_of(0xFF800001)));

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  if (!usable_rate(rate)) {
    return nullptr;
  }
  Slew* self = zul::allocate<Slew>();
  if (self == nullptr) {
    return nullptr;
  }
  self->sample_rate = static_cast<float>(rate);
  self->current_value = 0.0f;
  self->avx = zul::avx_loops();
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Slew*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output:
      self->output = static_cast<float*>(data);
      break;
    case rise_time:
      self->rise_time = static_cast<const float*>(data);
      break;
    case fall_time:
      self->fall_time = static_cast<const float*>(data);
      break;
    case enable:
      self->enable = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// One step from s toward x over a time's samples (the time times the rate),
// each operation rounded on its own and in this order: no fusion, no folding
// of the constant into the divisor.
float glide(float s, float x, float samples) {
  const float difference = x - s;
  const float scaled = difference * per_millisecond;
  const float step = scaled / samples;
  return s + step;
}

// The glided value after input x: toward x with the rise time r or the fall
// time f (0 holds), kept where a step would make it infinite or NaN. A NaN
// input passes neither test and holds the value.
[[gnu::always_inline]] inline float follow(float s, float x, float r, float f, float rise_samples,
                                           float fall_samples) {
  float next = s;
  if (r != 0.0f && s < x) {
    next = glide(s, x, rise_samples);
  } else if (f != 0.0f && s > x) {
    next = glide(s, x, fall_samples);
  }
  return is_finite(next) ? next : s;
}

// Enabled, with controls no output covers: the times hold for the block, so
// their products with the rate are formed once (the same products the
// per-sample path forms), and the glided value stays in a register from
// sample to sample.
// Each sample still reads its input before writing its output, in rising
// order, so an input sharing storage with the output is read as in run().
void glide_block(Slew* self, uint32_t n, float r, float f) {
  const float* in = self->input;
  float* out = self->output;
  const float rise_samples = r * self->sample_rate;
  const float fall_samples = f * self->sample_rate;
  float s = self->current_value;
  for (uint32_t i = 0; i < n; ++i) {
    s = follow(s, in[i], r, f, rise_samples, fall_samples);
    out[i] = s;
  }
  self->current_value = s;
}

// Whether the output leaves element 0 of every control alone: then the
// enable and the times hold for the whole block.
bool controls_hold(const Slew* self, uint32_t n) {
  const float* out = self->output;
  return !zul::covers(out, n, self->enable) && !zul::covers(out, n, self->rise_time) &&
         !zul::covers(out, n, self->fall_time);
}

// Reads the enable and the input at every sample, and the times at every
// enabled one, so that an output sharing storage with a control is seen at
// the next sample. Without the enable the input passes bit for bit and the
// glided value rests.
void run(LV2_Handle instance, uint32_t n) {
  auto* self = static_cast<Slew*>(instance);
  if (n != 0 && controls_hold(self, n)) {
    if (self->enable[0] == 1.0f) {
      glide_block(self, n, self->rise_time[0], self->fall_time[0]);
      return;
    }
    // Off, with separate buffers: a plain copy.
    if (!zul::streams_overlap(self->input, self->output, n)) {
      zul::copy_separate(self->input, self->output, n, self->avx);
      return;
    }
  }
  for (uint32_t i = 0; i < n; ++i) {
    const float e = self->enable[0];
    const float x = self->input[i];
    if (e != 1.0f) {
      self->output[i] = x;
      continue;
    }
    const float r = self->rise_time[0];
    const float f = self->fall_time[0];
    const float s =
        follow(self->current_value, x, r, f, r * self->sample_rate, f * self->sample_rate);
    self->current_value = s;
    self->output[i] = s;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
