// zul-cv-abs: rectifies a CV stream while enabled, passes it through otherwise.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output = 1, enable = 2 };

struct Abs {
  const float* input;
  float* output;
  const float* enable;
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  auto* self = zul::allocate<Abs>();
  if (self != nullptr) {
    self->avx = zul::avx_loops();
  }
  return self;
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

// Input, output and enable apart: the enable holds for the block, and a plain
// loop of one kind, which the compiler turns into vector loads, masks and
// stores, four vectors a step (one a step would wait on the loop's jump).
[[gnu::always_inline]] inline void shape_block(const float* __restrict in, float* __restrict out,
                                               uint32_t n, bool on) {
  if (on) {
#pragma GCC unroll 4
    for (uint32_t i = 0; i < n; ++i) out[i] = zul::float_of(zul::bits_of(in[i]) & ~sign_bit);
  } else {
    zul::copy_block(in, out, n);
  }
}

void shape_separate(const float* in, float* out, uint32_t n, bool on) {
  shape_block(in, out, n, on);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] void shape_separate_avx(const float* in, float* out, uint32_t n, bool on) {
  shape_block(in, out, n, on);
}
#endif

// The enable is read anew at every sample, before the input: an output that
// covers the enable's storage switches the samples after the one written there.
// Where the output covers neither the enable nor the input, it reads the same
// at every sample.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Abs*>(instance);
  const float* in = self->input;
  float* out = self->output;
  if (n != 0 && !zul::covers(out, n, self->enable) && !zul::streams_overlap(in, out, n)) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
#if defined(__x86_64__)
    if (self->avx) {
      shape_separate_avx(in, out, n, on);
      return;
    }
#endif
    shape_separate(in, out, n, on);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    const bool on = zul::switch_reading(self->enable[0]) == 1;
    const float x = in[i];
    out[i] = on ? zul::float_of(zul::bits_of(x) & ~sign_bit) : x;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
