// zul-cv-slew: glides a CV stream toward its input, one time for rising and
// another for falling. The glided value never passes its input: a step that
// would carry it past (a time shorter than a sample) lands on the input. It
// never becomes infinite or NaN: a sample that would make it so leaves it
// where it was. Steps too small to move the value are summed until together
// they move it, so a glide arrives at a steady input instead of stopping
// short of it.
#include <cfloat>
#include <cstring>

#include "shell/blocks.hpp"
#include "shell/frame.hpp"

namespace {

using enum zul::PortKind;

struct Slew {
  zul::Slot input, output, rise_time, fall_time, enable;
  float sample_rate;
  float current_value;
  // The steps lost to rounding since the glided value last moved: each was
  // below half a unit in the last place of the value.
  float dropped_step;
};

constexpr zul::Port<Slew> ports[] = {{&Slew::input, input},
                                     {&Slew::output, output},
                                     {&Slew::rise_time, value},
                                     {&Slew::fall_time, value},
                                     {&Slew::enable, value}};

// The single-precision reciprocal of 0.001, one unit in the last place below
// 1000: it turns the times into milliseconds, and the last bit depends on it.
constexpr float per_millisecond = 999.99994f;
static_assert(zul::bits_of(per_millisecond) == 0x4479FFFF);

// Rates from the smallest normal float to the largest become positive normal
// floats; any other would turn every step into an infinity, a NaN or nothing.
// The check also keeps the conversion to float defined.
bool start(Slew& self, double rate) {
  if (!(rate >= static_cast<double>(FLT_MIN) && rate <= static_cast<double>(FLT_MAX))) {
    return false;
  }
  self.sample_rate = static_cast<float>(rate);
  self.current_value = 0.0f;
  self.dropped_step = 0.0f;
  return true;
}

// A magnitude comparison: false for infinities and NaNs.
constexpr bool is_finite(float value) {
  return __builtin_fabsf(value) <= FLT_MAX;
}

// The enable at every sample, compared as a float with exactly 1; the times,
// and their products with the rate, only while it is on.
struct Times {
  bool on;
  float rise, fall, rise_samples, fall_samples;
};

Times controls(const Slew& self) {
  if (self.enable[0] != 1.0f) return {false, 0.0f, 0.0f, 0.0f, 0.0f};
  const float r = self.rise_time[0];
  const float f = self.fall_time[0];
  return {true, r, f, r * self.sample_rate, f * self.sample_rate};
}

// The value, or x where the value lies past x in the direction of travel.
// x is chosen bit for bit, a denormal too (see zul::opaque).
template <bool rising>
[[gnu::always_inline]] inline float at_most(float value, float x) {
  const bool past = rising ? value > x : value < x;
  return past ? zul::opaque(x) : value;
}

// One step from the value toward x over a time's samples, each operation
// rounded on its own and in this order. A step that would make the value
// infinite or NaN is ignored; one that would carry it past x (a time shorter
// than a sample) lands on x; one that rounds back to the value is added to
// the dropped ones, whose sum moves the value once it can.
template <bool rising>
[[gnu::always_inline]] inline void step(float& value, float& dropped, float x, float samples) {
  const float s = value;
  const float q = ((x - s) * per_millisecond) / samples;
  const float next = s + q;
  if (!is_finite(next)) [[unlikely]] {
    return;
  }
  if (next != s) [[likely]] {
    value = at_most<rising>(next, x);
    dropped = 0.0f;
    return;
  }
  dropped += q;
  const float gathered = s + dropped;
  if (is_finite(gathered) && gathered != s) {
    value = at_most<rising>(gathered, x);
    dropped = 0.0f;
  }
}

// Toward x with the rise time or the fall time (0 holds). A NaN input, or one
// equal to the value, passes neither test. Returns whether a step applied.
[[gnu::always_inline]] inline bool follow(float& value, float& dropped, float x, const Times& t) {
  if (t.rise != 0.0f && value < x) {
    step<true>(value, dropped, x, t.rise_samples);
    return true;
  }
  if (t.fall != 0.0f && value > x) {
    step<false>(value, dropped, x, t.fall_samples);
    return true;
  }
  return false;
}

// Off, the input's bits pass and the glide rests.
template <class At>
void sample(Slew& self, const Times& t, const At& at) {
  const float x = at.in(&Slew::input);
  if (t.on) follow(self.current_value, self.dropped_step, x, t);
  at.out(&Slew::output, t.on ? self.current_value : x);
}

// Whether inputs i to n-1 all equal value (as floats: -0 equals +0), writing
// it to the outputs from i on as it goes where the output is apart from the
// input; the comparisons are combined and tested once, at the end.
[[gnu::always_inline]] inline bool fill_if_equal(const float* in, float* out, uint32_t i,
                                                 uint32_t n, float value, bool apart) {
  zul::Eight v;
  zul::set_all(v, value);
  zul::EightMasks same = ~zul::EightMasks{};
  const uint32_t start = i;
  ZUL_UNROLL
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
  if (all) zul::fill_block(out + (apart ? tail : start), value, n - (apart ? tail : start));
  return all;
}

// The times hold for the block and the glide stays in registers. Where the
// input equals the glided value no step applies and the output is that
// value: where the rest of the block does, it is one fill; otherwise sample
// by sample while it does (what the fill wrote beyond is written again).
// Every input read there equals the value and every output written is the
// value, so an input on the output's buffer reads as sample by sample.
template <class At>
void block(Slew& self, const Times& t, uint32_t n, const At& at) {
  const float* in = at.record.input;
  float* out = at.record.output;
  if (!t.on) {
    zul::copy_block(in, out, n);
    return;
  }
  float value = self.current_value;
  float dropped = self.dropped_step;
  for (uint32_t i = 0; i < n;) {
    const float x = in[i];
    if (!follow(value, dropped, x, t) && x == value) {
      if (fill_if_equal(in, out, i, n, value, in != out)) break;
      for (; i < n && in[i] == value; ++i) out[i] = value;
      continue;
    }
    out[i] = value;
    ++i;
  }
  self.current_value = value;
  self.dropped_step = dropped;
}

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Slew, ports>(zul::plugin_uri);
