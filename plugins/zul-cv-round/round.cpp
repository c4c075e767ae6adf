// zul-cv-round: one CV stream rounded four ways: to the nearest whole number
// (halves upward), its ceiling, its floor and its fraction after truncation.
#include <type_traits>

#include "plugins/zul-cv-round/rounding.hpp"
#include "shell/frame.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using enum zul::PortKind;

struct Round {
  zul::Slot input, output_round, output_ceil, output_floor, output_fraction, enable;
};

constexpr zul::Port<Round> ports[] = {{&Round::input, input},
                                      {&Round::output_round, output},
                                      {&Round::output_ceil, output},
                                      {&Round::output_floor, output},
                                      {&Round::output_fraction, output},
                                      {&Round::enable, value}};

// The enable, read at every sample.
bool controls(const Round& self) {
  return zul::switch_reading(self.enable[0]) == 1;
}

// Beyond the signed 32-bit range the truncation is undefined; every such float
// is whole, so its fraction is +0 (infinities included).
float fraction(float x) {
  if (x > -2147483648.0f && x < 2147483648.0f) {
    return x - static_cast<float>(static_cast<int32_t>(x));
  }
  return x != x ? rounding::quiet(x) : 0.0f;
}

// Off, four zeros and the input is not read. On, all four results come from
// one read of the input, before any output is written, so an output on the
// input's buffer changes nothing. The sum in double is exact for every float:
// 0.49999997 rounds to 0 and 2^23 + 1 stays itself.
template <class At>
void sample(Round& /*self*/, bool on, const At& at) {
  float results[4] = {};
  if (on) {
    const float x = at.in(&Round::input);
    results[0] = static_cast<float>(rounding::floor(static_cast<double>(x) + 0.5));
    results[1] = rounding::ceiling(x);
    results[2] = rounding::floor(x);
    results[3] = fraction(x);
  }
  at.out(&Round::output_round, results[0]);
  at.out(&Round::output_ceil, results[1]);
  at.out(&Round::output_floor, results[2]);
  at.out(&Round::output_fraction, results[3]);
}

#if defined(__x86_64__)
// Eight samples at once with AVX's rounding instructions, which read a
// denormal as zero under the plugins' mode as the comparisons above do and
// make a NaN quiet. The floor and x minus it give the rounding for every
// value: from 2^23 on, and for a NaN, the difference is zero or NaN and adds
// nothing. The truncation plus +0 turns a -0 into +0, as the integer
// conversion does, and an infinity's fraction is cleared to +0. The AVX-512
// variant runs the same eight.
template <class Ops, class = std::enable_if_t<zul::has_avx2<Ops>>>
[[gnu::target("avx2,fma")]] void eight(Round& /*self*/, bool on, const zul::At<Round, Ops>& at) {
  constexpr int exact = _MM_FROUND_NO_EXC;
  const Round& r = at.record;
  __m256 nearest = _mm256_setzero_ps(), up = nearest, down = nearest, part = nearest;
  if (on) {
    const __m256 x = _mm256_loadu_ps(r.input + at.i);
    down = _mm256_round_ps(x, _MM_FROUND_TO_NEG_INF | exact);
    up = _mm256_round_ps(x, _MM_FROUND_TO_POS_INF | exact);
    const __m256 half_up = _mm256_cmp_ps(_mm256_sub_ps(x, down), _mm256_set1_ps(0.5f), _CMP_GE_OQ);
    nearest = _mm256_add_ps(down, _mm256_and_ps(half_up, _mm256_set1_ps(1.0f)));
    const __m256 toward_zero =
        _mm256_add_ps(_mm256_round_ps(x, _MM_FROUND_TO_ZERO | exact), _mm256_setzero_ps());
    const __m256 magnitude = _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    const __m256 not_infinite =
        _mm256_cmp_ps(magnitude, _mm256_set1_ps(__builtin_inff()), _CMP_NEQ_UQ);
    part = _mm256_and_ps(_mm256_sub_ps(x, toward_zero), not_infinite);
  }
  _mm256_storeu_ps(r.output_round + at.i, nearest);
  _mm256_storeu_ps(r.output_ceil + at.i, up);
  _mm256_storeu_ps(r.output_floor + at.i, down);
  _mm256_storeu_ps(r.output_fraction + at.i, part);
}
#endif

}  // namespace

const LV2_Descriptor zul::descriptor = zul::describe<Round, ports>(zul::plugin_uri);
