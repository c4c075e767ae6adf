// zul-cv-parameter-modulation: scales a CV stream by a depth, shifts it by an
// offset and limits it to 0..10, to drive a parameter.
#include "shell/frame.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using enum zul::PortKind;

struct ParameterModulation {
  zul::Slot input, output, offset, depth, enable;
};

using Record = ParameterModulation;

constexpr zul::Port<Record> ports[] = {{&Record::input, input},
                                       {&Record::output, output},
                                       {&Record::offset, value},
                                       {&Record::depth, value},
                                       {&Record::enable, value}};

// Depth (percent) and offset (tenths), read once per call, before anything
// else; the enable at every sample.
struct Scale {
  double gain, bias;
};

Scale call_controls(const Record& self) {
  const float depth = self.depth[0];
  const float offset = self.offset[0];
  return {static_cast<double>(depth) * 0.01, static_cast<double>(offset) * 0.1};
}

struct Mode {
  bool on;
  Scale scale;
};

Mode controls(const Record& self, const Scale& scale) {
  return {zul::switch_reading(self.enable[0]) == 1, scale};
}

// One rounding for product and sum, one to single precision, then minNum with
// 10 (a NaN gives 10) and maxNum with 0 (-0 gives +0). Off, positive zero and
// the input is not read.
template <class At>
void sample(Record& /*self*/, const Mode& mode, const At& at) {
  float v = 0.0f;
  if (mode.on) {
    const double x = static_cast<double>(at.in(&Record::input));
    v = static_cast<float>(at.fma(x, mode.scale.gain, mode.scale.bias));
    v = v < 10.0f ? v : 10.0f;
    v = v > 0.0f ? v : 0.0f;
  }
  at.out(&Record::output, v);
}

#if defined(__x86_64__)
// Eight samples as sample makes them, in two halves of four: widened to
// double, one fused multiply-add, narrowed with round to nearest; then
// vminps and vmaxps, which return their second operand where the first is
// NaN or not below (above) it: minNum with 10 and maxNum with +0 as above.
// The compiler makes blends of those two selects, slower than the
// conversions, which are what should bound this loop.
[[gnu::target("avx2,fma")]] void eight(Record& /*self*/, const Mode& mode,
                                       const zul::At<Record, zul::Avx2>& at) {
  float* out = at.record.output + at.i;
  if (!mode.on) {
    _mm256_storeu_ps(out, _mm256_setzero_ps());
    return;
  }
  const float* in = at.record.input + at.i;
  const __m256d gain = _mm256_set1_pd(mode.scale.gain), bias = _mm256_set1_pd(mode.scale.bias);
  const __m128 low =
      _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(in)), gain, bias));
  const __m128 high =
      _mm256_cvtpd_ps(_mm256_fmadd_pd(_mm256_cvtps_pd(_mm_loadu_ps(in + 4)), gain, bias));
  const __m256 v = _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
  _mm256_storeu_ps(out,
                   _mm256_max_ps(_mm256_min_ps(v, _mm256_set1_ps(10.0f)), _mm256_setzero_ps()));
}

// The same eight in one 512-bit vector of doubles, for the AVX-512 variant:
// one conversion each way and no halves to join. (The masked conversions,
// all lanes on, give GCC no undefined register to warn about.)
[[maybe_unused, gnu::target("avx512f,avx512vl,avx512dq,avx512bw,avx2,fma")]] void eight(
    Record& /*self*/, const Mode& mode, const zul::At<Record, zul::Avx512>& at) {
  float* out = at.record.output + at.i;
  if (!mode.on) {
    _mm256_storeu_ps(out, _mm256_setzero_ps());
    return;
  }
  constexpr __mmask8 all = 0xFF;
  const float* in = at.record.input + at.i;
  const __m512d gain = _mm512_set1_pd(mode.scale.gain), bias = _mm512_set1_pd(mode.scale.bias);
  const __m512d wide = _mm512_maskz_cvtps_pd(all, _mm256_loadu_ps(in));
  const __m256 v = _mm512_maskz_cvtpd_ps(all, _mm512_fmadd_pd(wide, gain, bias));
  _mm256_storeu_ps(out,
                   _mm256_max_ps(_mm256_min_ps(v, _mm256_set1_ps(10.0f)), _mm256_setzero_ps()));
}
#endif

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Record, ports>(zul::plugin_uri);
