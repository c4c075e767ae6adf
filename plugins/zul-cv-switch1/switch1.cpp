// zul-cv-switch1: sends one CV stream to one of two outputs; the other output
// carries positive zero.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input = 0, output_a = 1, output_b = 2, selector = 3 };

struct Switch1 {
  const float* selector;
  const float* input;
  float* output_a;
  float* output_b;
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  auto* self = zul::allocate<Switch1>();
  if (self != nullptr) {
    self->avx = zul::avx_loops();
  }
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Switch1*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output_a:
      self->output_a = static_cast<float*>(data);
      break;
    case output_b:
      self->output_b = static_cast<float*>(data);
      break;
    case selector:
      self->selector = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Buffers that share no storage: a plain copy and a plain fill.
// Both outputs on one buffer (as some hosts connect them): the zero written
// after each sample's copy is what stays, so the buffer only needs the zeros.
void route_separate(const float* in, float* chosen, float* silenced, uint32_t n) {
  if (chosen != silenced) zul::copy_block(in, chosen, n);
  zul::silence_block(silenced, n);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] void route_separate_avx(const float* in, float* chosen, float* silenced,
                                               uint32_t n) {
  if (chosen != silenced) zul::copy_block(in, chosen, n);
  zul::silence_block(silenced, n);
}
#endif

// Reads the selector once per block. Within each sample the chosen output is
// written before the silenced one, which decides what shared buffers end with;
// only where the input shares no storage with an output, and the outputs
// share none or all of it, may they be written in another order.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Switch1*>(instance);
  const int32_t reading = zul::switch_reading(self->selector[0]);
  if (reading != 0 && reading != 1) {
    return;
  }
  const float* in = self->input;
  float* chosen = reading == 0 ? self->output_a : self->output_b;
  float* silenced = reading == 0 ? self->output_b : self->output_a;
  if (!zul::streams_overlap(in, chosen, n) && !zul::streams_overlap(in, silenced, n) &&
      (chosen == silenced || !zul::streams_overlap(chosen, silenced, n))) {
#if defined(__x86_64__)
    if (self->avx) {
      route_separate_avx(in, chosen, silenced, n);
      return;
    }
#endif
    route_separate(in, chosen, silenced, n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    chosen[i] = in[i];
    silenced[i] = 0.0f;
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
