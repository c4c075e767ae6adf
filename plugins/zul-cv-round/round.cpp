// zul-cv-round: one CV stream rounded four ways: to the nearest whole number
// (halves upward), its ceiling, its floor and its fraction after truncation.
#include "plugins/zul-cv-round/rounding.hpp"
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  auto* self = zul::allocate<Round>();
  if (self != nullptr) {
    self->avx = zul::avx_loops();
  }
  return self;
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

// Selects as bit masks: a select between two floats, or a comparison's result
// as a number, would be moved under a branch by the compiler, and a branch
// stops it from computing several samples at once.
constexpr uint32_t mask(bool c) {
  return 0u - static_cast<uint32_t>(c);
}
constexpr float pick(bool c, float a, float b) {
  return zul::float_of((zul::bits_of(a) & mask(c)) | (zul::bits_of(b) & ~mask(c)));
}
constexpr float keep_if(bool c, float a) {
  return zul::float_of(zul::bits_of(a) & mask(c));
}
constexpr float one_if(bool c) {
  return keep_if(c, 1.0f);
}

// The four results of one sample as rounded(), rounding::ceiling(),
// rounding::floor() and fraction() give them, computed for every sample alike.
// Below 2^23 one truncation serves all four: the floor and ceiling of a value
// take its sign (a zero one too), and x minus its floor is exact, so comparing
// it with one half decides the rounding as the exact sum in double does. From
// 2^23 on every float is whole: rounded, ceiling and floor are x (a NaN made
// quiet), the fraction +0 (the NaN for a NaN). The conversion only ever sees
// values below 2^23.
struct Results {
  float round, ceil, floor, fraction;
};

[[gnu::always_inline]] inline Results round_lanes(float x) {
  const bool small = __builtin_fabsf(x) < rounding::float_whole;  // false for NaN
  const float y = keep_if(small, x);
  const float t = rounding::truncated(y);
  const float down = t - one_if(t > y);
  const float up = t + one_if(t < y);
  const float nearest = down + one_if(y - down >= 0.5f);
  const bool nan = x != x;
  const float whole = pick(nan, rounding::quiet(x), x);
  return {pick(small, nearest, whole), pick(small, __builtin_copysignf(up, x), whole),
          pick(small, __builtin_copysignf(down, x), whole),
          pick(small, y - t, keep_if(nan, whole))};
}

// With separate buffers: the enable holds for the block, and no output can
// overwrite an input sample before it is read.
[[gnu::always_inline]] inline void round_block(const float* __restrict in, float* __restrict round,
                                               float* __restrict ceil, float* __restrict floor,
                                               float* __restrict fraction, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    const Results r = round_lanes(in[i]);
    round[i] = r.round;
    ceil[i] = r.ceil;
    floor[i] = r.floor;
    fraction[i] = r.fraction;
  }
}

[[gnu::always_inline]] inline void silence_four(float* __restrict round, float* __restrict ceil,
                                                float* __restrict floor, float* __restrict fraction,
                                                uint32_t n) {
#pragma GCC unroll 4
  for (uint32_t i = 0; i < n; ++i) {
    round[i] = 0.0f;
    ceil[i] = 0.0f;
    floor[i] = 0.0f;
    fraction[i] = 0.0f;
  }
}

// All four outputs on one buffer (as some hosts connect them): the fraction,
// written last at every sample, is what stays.
[[gnu::always_inline]] inline void fraction_block(const float* __restrict in, float* __restrict out,
                                                  uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) out[i] = round_lanes(in[i]).fraction;
}

void round_shared(const Round* self, uint32_t n, bool on) {
  if (on) {
    fraction_block(self->input, self->output_fraction, n);
  } else {
    zul::silence_block(self->output_fraction, n);
  }
}

void round_separate(const Round* self, uint32_t n, bool on) {
  if (on) {
    round_block(self->input, self->output_round, self->output_ceil, self->output_floor,
                self->output_fraction, n);
  } else {
    silence_four(self->output_round, self->output_ceil, self->output_floor, self->output_fraction,
                 n);
  }
}

#if defined(__x86_64__)
// AVX has the roundings as instructions, which read a denormal as zero under
// the plugins' mode as the comparisons do; a NaN comes out quiet. The floor
// and x minus it give the rounding as above, for every value: from 2^23 on,
// and for a NaN, the difference is zero or NaN and adds nothing. The
// truncation plus +0 turns a -0 into +0, as the integer conversion does, and
// an infinity's fraction is cleared to +0.
constexpr int no_exceptions = _MM_FROUND_NO_EXC;

[[gnu::target("avx")]] inline __m256 fraction_of(__m256 x) {
  const __m256 toward_zero =
      _mm256_add_ps(_mm256_round_ps(x, _MM_FROUND_TO_ZERO | no_exceptions), _mm256_setzero_ps());
  const __m256 magnitude = _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
  const __m256 finite_or_nan =
      _mm256_cmp_ps(magnitude, _mm256_set1_ps(__builtin_inff()), _CMP_NEQ_UQ);
  return _mm256_and_ps(_mm256_sub_ps(x, toward_zero), finite_or_nan);
}

[[gnu::target("avx")]] void round_eight(const float* in, float* round, float* ceil, float* floor,
                                        float* fraction) {
  const __m256 x = _mm256_loadu_ps(in);
  const __m256 down = _mm256_round_ps(x, _MM_FROUND_TO_NEG_INF | no_exceptions);
  const __m256 up = _mm256_round_ps(x, _MM_FROUND_TO_POS_INF | no_exceptions);
  const __m256 half_or_more =
      _mm256_cmp_ps(_mm256_sub_ps(x, down), _mm256_set1_ps(0.5f), _CMP_GE_OQ);
  const __m256 nearest = _mm256_add_ps(down, _mm256_and_ps(half_or_more, _mm256_set1_ps(1.0f)));
  const __m256 part = fraction_of(x);
  _mm256_storeu_ps(round, nearest);
  _mm256_storeu_ps(ceil, up);
  _mm256_storeu_ps(floor, down);
  _mm256_storeu_ps(fraction, part);
}

[[gnu::target("avx")]] void round_separate_avx(const Round* self, uint32_t n, bool on) {
  const float* in = self->input;
  float* round = self->output_round;
  float* ceil = self->output_ceil;
  float* floor = self->output_floor;
  float* fraction = self->output_fraction;
  if (!on) {
    silence_four(round, ceil, floor, fraction, n);
    return;
  }
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    round_eight(in + i, round + i, ceil + i, floor + i, fraction + i);
  }
  round_block(in + i, round + i, ceil + i, floor + i, fraction + i, n - i);
}

[[gnu::target("avx")]] void round_shared_avx(const Round* self, uint32_t n, bool on) {
  const float* in = self->input;
  float* out = self->output_fraction;
  if (!on) {
    zul::silence_block(out, n);
    return;
  }
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) _mm256_storeu_ps(out + i, fraction_of(_mm256_loadu_ps(in + i)));
  fraction_block(in + i, out + i, n - i);
}
#endif

// Whether every output is the fraction's buffer, which leaves the input and
// the enable's storage alone.
bool shared(const Round* self, uint32_t n) {
  const float* out = self->output_fraction;
  return self->output_round == out && self->output_ceil == out && self->output_floor == out &&
         !zul::covers(out, n, self->enable) && !zul::streams_overlap(out, self->input, n);
}

// Whether the outputs leave each other, the input and the enable's storage
// alone: then the enable holds and every input sample is read as it was.
bool separate(const Round* self, uint32_t n) {
  float* const outputs[] = {self->output_round, self->output_ceil, self->output_floor,
                            self->output_fraction};
  for (uint32_t k = 0; k < 4; ++k) {
    if (zul::covers(outputs[k], n, self->enable) ||
        zul::streams_overlap(outputs[k], self->input, n)) {
      return false;
    }
    for (uint32_t j = k + 1; j < 4; ++j) {
      if (zul::streams_overlap(outputs[k], outputs[j], n)) return false;
    }
  }
  return true;
}

// The enable is read at every sample, since an output may cover its storage.
// All four results come from the one input read, before any output is written,
// so an output sharing the input's buffer changes nothing.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Round*>(instance);
  if (n != 0 && separate(self, n)) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
#if defined(__x86_64__)
    if (self->avx) {
      round_separate_avx(self, n, on);
      return;
    }
#endif
    round_separate(self, n, on);
    return;
  }
  if (n != 0 && shared(self, n)) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
#if defined(__x86_64__)
    if (self->avx) {
      round_shared_avx(self, n, on);
      return;
    }
#endif
    round_shared(self, n, on);
    return;
  }
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
