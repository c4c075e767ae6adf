// zul-cv-switch2: passes one of two CV streams to a single output.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t { input_a = 0, input_b = 1, output = 2, selector = 3 };

struct Switch2 {
  const float* selector;
  const float* input_a;
  const float* input_b;
  float* output;
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  auto* self = zul::allocate<Switch2>();
  if (self != nullptr) {
    self->avx = zul::avx_loops();
  }
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Switch2*>(instance);
  switch (port) {
    case input_a:
      self->input_a = static_cast<const float*>(data);
      break;
    case input_b:
      self->input_b = static_cast<const float*>(data);
      break;
    case output:
      self->output = static_cast<float*>(data);
      break;
    case selector:
      self->selector = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Reads the selector once per block, before any sample. Only the chosen input
// is touched; the other one may hold anything, or be the output itself. Where
// the source overlaps the output the copy keeps the rising sample order.
void run(LV2_Handle instance, uint32_t n) {
  const auto* self = static_cast<const Switch2*>(instance);
  const int32_t reading = zul::switch_reading(self->selector[0]);
  if (reading != 0 && reading != 1) {
    return;
  }
  const float* source = reading == 0 ? self->input_a : self->input_b;
  float* out = self->output;
  if (!zul::streams_overlap(source, out, n)) {
    zul::copy_separate(source, out, n, self->avx);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = source[i];
  }
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
