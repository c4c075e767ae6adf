// zul-cv-parameter-modulation: scales a CV stream by a depth, shifts it by an
// offset and limits it to 0..10, to drive a parameter.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// With separate buffers the enable holds for the block and no output can
// overwrite an input sample before it is read: one loop, chosen once.
template <zul::FmaPath path>
[[gnu::always_inline]] inline void modulate_block(const float* __restrict in, float* __restrict out,
                                                  uint32_t n, double gain, double bias) {
  for (uint32_t i = 0; i < n; ++i) {
    const double v = zul::fused_multiply_add<path>(static_cast<double>(in[i]), gain, bias);
    out[i] = at_least_zero(at_most_ten(static_cast<float>(v)));
  }
}

void modulate_separate(const ParameterModulation* self, uint32_t n, double gain, double bias,
                       bool on) {
  if (!on) {
    zul::silence_block(self->output, n);
  } else if (self->fma_path == zul::FmaPath::hardware) {
    modulate_block<zul::FmaPath::hardware>(self->input, self->output, n, gain, bias);
  } else {
    modulate_block<zul::FmaPath::software>(self->input, self->output, n, gain, bias);
  }
}

#if defined(__x86_64__)
// Four samples as the scalar hardware loop makes them: widened to four
// doubles, one fused multiply-add (one rounding), narrowed to single with
// round to nearest.
[[gnu::target("avx,fma")]] inline __m128 modulate_four(const float* in, __m256d gain,
                                                       __m256d bias) {
  return _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(in)), gain, bias));
}

// Then vminps and vmaxps, which return their second operand where the first
// is NaN or not below (above) it: minNum with 10 and maxNum with +0 as
// at_most_ten() and at_least_zero() take them.
[[gnu::target("avx")]] inline __m256 limit_eight(__m128 low, __m128 high) {
  const __m256 v = _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
  return _mm256_max_ps(_mm256_min_ps(v, _mm256_set1_ps(10.0f)), _mm256_setzero_ps());
}

// Only where fma_path() said hardware: the processor has AVX and FMA. Sixteen
// samples a step, as four widenings, multiply-adds and narrowings, joined
// into two registers for the limits and the stores: the two conversions are
// what bounds this loop, and four independent ones a step keep them busy.
[[gnu::target("avx,fma")]] void modulate_separate_avx(const ParameterModulation* self, uint32_t n,
                                                      double gain, double bias, bool on) {
  const float* in = self->input;
  float* out = self->output;
  if (!on) {
    zul::silence_block(out, n);
    return;
  }
  const __m256d gains = _mm256_set1_pd(gain);
  const __m256d biases = _mm256_set1_pd(bias);
  uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128 a = modulate_four(in + i, gains, biases);
    const __m128 b = modulate_four(in + i + 4, gains, biases);
    const __m128 c = modulate_four(in + i + 8, gains, biases);
    const __m128 d = modulate_four(in + i + 12, gains, biases);
    _mm256_storeu_ps(out + i, limit_eight(a, b));
    _mm256_storeu_ps(out + i + 8, limit_eight(c, d));
  }
  for (; i + 4 <= n; i += 4) {
    const __m128 v = modulate_four(in + i, gains, biases);
    _mm_storeu_ps(out + i, _mm_max_ps(_mm_min_ps(v, _mm_set1_ps(10.0f)), _mm_setzero_ps()));
  }
  modulate_block<zul::FmaPath::hardware>(in + i, out + i, n - i, gain, bias);
}
#endif

// Depth and offset are read once per block, before anything else: an output
// that covers their storage changes nothing until the next block. The enable
// holds for the block where the output neither covers it nor overlaps the
// input.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const ParameterModulation*>(instance);
  const float depth_value = self->depth[0];
  const float offset_value = self->offset[0];
  if (n == 0) {
    return;
  }
  const double gain = static_cast<double>(depth_value) * 0.01;
  const double bias = static_cast<double>(offset_value) * 0.1;
  if (!zul::covers(self->output, n, self->enable) &&
      !zul::streams_overlap(self->output, self->input, n)) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
#if defined(__x86_64__)
    if (self->fma_path == zul::FmaPath::hardware) {
      modulate_separate_avx(self, n, gain, bias, on);
      return;
    }
#endif
    modulate_separate(self, n, gain, bias, on);
    return;
  }
  if (self->fma_path == zul::FmaPath::hardware) {
    modulate<zul::FmaPath::hardware>(self, n, gain, bias);
  } else {
    modulate<zul::FmaPath::software>(self, n, gain, bias);
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
