// zul-cv-slew: glides a CV stream toward its input, one time for rising and
// another for falling. The glided value never becomes infinite or NaN: a
// sample that would make it so leaves it where it was. Steps too small to
// move the value are summed until together they move it, so a glide arrives
// at a steady input instead of stopping short of it.
#include <cfloat>
#include <cstring>

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
  // The steps lost to rounding since the glided value last moved: each was
  // below half a unit in the last place of the value, so adding it alone
  // gave the value back.
  float dropped_step;
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
  self->dropped_step = 0.0f;
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

// One step from value toward input x over a time's samples (the time times
// the rate), each operation rounded on its own and in this order: no fusion,
// no folding of the constant into the divisor. A step that would make the
// value infinite or NaN is ignored. A step that rounds back to the value is
// added to the dropped ones, and their sum moves the value once it can.
[[gnu::always_inline]] inline void step_toward(float& value, float& dropped, float x,
                                               float samples) {
  const float s = value;
  const float difference = x - s;
  const float scaled = difference * per_millisecond;
  const float step = scaled / samples;
  const float next = s + step;
  if (!is_finite(next)) [[unlikely]] {
    return;
  }
  if (next != s) [[likely]] {
    value = next;
    dropped = 0.0f;
    return;
  }
  dropped += step;
  const float gathered = s + dropped;
  if (is_finite(gathered) && gathered != s) {
    value = gathered;
    dropped = 0.0f;
  }
}

// Toward x with the rise time r or the fall time f (0 holds). A NaN input, or
// one equal to the value, passes neither test and changes nothing. Returns
// whether a step applied.
[[gnu::always_inline]] inline bool follow(float& value, float& dropped, float x, float r, float f,
                                          float rise_samples, float fall_samples) {
  if (r != 0.0f && value < x) {
    step_toward(value, dropped, x, rise_samples);
    return true;
  }
  if (f != 0.0f && value > x) {
    step_toward(value, dropped, x, fall_samples);
    return true;
  }
  return false;
}

// Writes value to outputs i to n-1, eight at a time, and tells whether every
// input there equals it (as floats: -0 equals +0); the comparisons are
// combined and tested once, at the end. Where the output shares storage with
// the input, nothing is written before every input has been compared.
[[gnu::always_inline]] inline bool fill_if_equal(const float* in, float* out, uint32_t i,
                                                 uint32_t n, float value, bool apart) {
  zul::Eight v;
  zul::set_all(v, value);
  zul::EightMasks same = ~zul::EightMasks{};
  const uint32_t start = i;
#pragma GCC unroll 4
  for (; i + 8 <= n; i += 8) {
    zul::Eight x;
    std::memcpy(&x, in + i, sizeof x);
    same &= x == v;
    if (apart) std::memcpy(out + i, &v, sizeof v);
  }
  uint64_t lanes[4];
  std::memcpy(lanes, &same, sizeof lanes);
  bool all = (lanes[0] & lanes[1] & lanes[2] & lanes[3]) == ~uint64_t{0};
  const uint32_t tail = i;
  for (; i < n; ++i) all &= in[i] == value;
  if (all) {
    const uint32_t from = apart ? tail : start;
    zul::fill_block(out + from, value, n - from);
  }
  return all;
}

// Where the input equals the glided value no step applies and the output is
// that value. Where every input to the end of the block does, the rest of the
// block is one fill; otherwise sample by sample while they do (what the fill
// wrote past that sample is written again by the glide). Returns the first
// sample that differs. Every input read equals the value and every output
// written is the value, so an input sharing storage with the output reads as
// in the sample-by-sample order, at any offset.
[[gnu::always_inline]] inline uint32_t hold_arrived(const float* in, float* out, uint32_t i,
                                                    uint32_t n, float value, bool apart) {
  if (fill_if_equal(in, out, i, n, value, apart)) return n;
  for (; i < n && in[i] == value; ++i) out[i] = value;
  return i;
}

// Enabled, with controls no output covers: the times hold for the block, so
// their products with the rate are formed once (the same products the
// per-sample path forms), and the glide stays in registers from sample to
// sample. Each sample still reads its input before writing its output, in
// rising order, so an input sharing storage with the output is read as in
// run().
[[gnu::always_inline]] inline void glide_block(Slew* self, uint32_t n, float r, float f) {
  const float* in = self->input;
  float* out = self->output;
  const float rise_samples = r * self->sample_rate;
  const float fall_samples = f * self->sample_rate;
  const bool apart = !zul::streams_overlap(in, out, n);
  float value = self->current_value;
  float dropped = self->dropped_step;
  for (uint32_t i = 0; i < n;) {
    const float x = in[i];
    if (!follow(value, dropped, x, r, f, rise_samples, fall_samples) && x == value) {
      i = hold_arrived(in, out, i, n, value, apart);
      continue;
    }
    out[i] = value;
    ++i;
  }
  self->current_value = value;
  self->dropped_step = dropped;
}

void glide_plain(Slew* self, uint32_t n, float r, float f) {
  glide_block(self, n, r, f);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] void glide_avx(Slew* self, uint32_t n, float r, float f) {
  glide_block(self, n, r, f);
}
#endif

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
      const float r = self->rise_time[0];
      const float f = self->fall_time[0];
#if defined(__x86_64__)
      if (self->avx) {
        glide_avx(self, n, r, f);
        return;
      }
#endif
      glide_plain(self, n, r, f);
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
    follow(self->current_value, self->dropped_step, x, r, f, r * self->sample_rate,
           f * self->sample_rate);
    self->output[i] = self->current_value;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
