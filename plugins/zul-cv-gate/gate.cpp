// zul-cv-gate: passes a CV stream while a level has opened the gate and
// silences it once the level has closed it; between the two thresholds the
// gate stays as it was, from block to block.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t {
  level = 0,
  input = 1,
  output = 2,
  open_threshold = 3,
  close_threshold = 4,
  enable = 5
};

struct Gate {
  const float* level;
  const float* input;
  float* output;
  const float* open_threshold;
  const float* close_threshold;
  const float* enable;
  bool gate_open;  // one byte: false while closed
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};
static_assert(sizeof(bool) == 1);

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  Gate* self = zul::allocate<Gate>();
  if (self != nullptr) {
    self->gate_open = false;
    self->avx = zul::avx_loops();
  }
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Gate*>(instance);
  switch (port) {
    case level:
      self->level = static_cast<const float*>(data);
      break;
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case output:
      self->output = static_cast<float*>(data);
      break;
    case open_threshold:
      self->open_threshold = static_cast<const float*>(data);
      break;
    case close_threshold:
      self->close_threshold = static_cast<const float*>(data);
      break;
    case enable:
      self->enable = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Whether the gate passes this sample; opens or closes it as the level says.
// Every comparison with a NaN is false, so a NaN level closes the gate.
bool gate_passes(bool& gate_open, float x, float open_at, float close_at) {
  if (x < open_at) {
    if (x <= close_at) {
      gate_open = false;
    }
    return gate_open;  // between the thresholds the gate holds
  }
  gate_open = x > close_at;
  return gate_open;
}

// With separate buffers the whole block passes or the whole block is silent:
// a plain copy or fill.
[[gnu::always_inline]] inline void pass_or_silence(const float* in, float* out, uint32_t n,
                                                   bool passes) {
  if (passes) {
    zul::copy_block(in, out, n);
  } else {
    zul::silence_block(out, n);
  }
}

void gate_separate(const float* in, float* out, uint32_t n, bool passes) {
  pass_or_silence(in, out, n, passes);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] void gate_separate_avx(const float* in, float* out, uint32_t n,
                                              bool passes) {
  pass_or_silence(in, out, n, passes);
}
#endif

// Whether the output leaves the input and element 0 of every control alone:
// then no sample can change what a later one reads.
bool separate(const Gate* self, uint32_t n) {
  const float* out = self->output;
  return !zul::streams_overlap(out, self->input, n) && !zul::covers(out, n, self->level) &&
         !zul::covers(out, n, self->open_threshold) &&
         !zul::covers(out, n, self->close_threshold) && !zul::covers(out, n, self->enable);
}

// Every control is read per sample, and only where the steps need it, so an
// output covering a control's storage changes what later samples see. Where
// it covers none, every sample of the block takes the branch of the first.
void run(LV2_Handle instance, uint32_t n) {
  auto* self = static_cast<Gate*>(instance);
  if (n == 0) {
    return;
  }
  const float* in = self->input;
  float* out = self->output;
  bool gate_open = self->gate_open;
  if (separate(self, n)) {
    bool passes = true;  // off: an exact copy, and the flag rests
    if (zul::switch_reading(self->enable[0]) == 1) {
      passes =
          gate_passes(gate_open, self->level[0], self->open_threshold[0], self->close_threshold[0]);
      self->gate_open = gate_open;
    }
#if defined(__x86_64__)
    if (self->avx) {
      gate_separate_avx(in, out, n, passes);
      return;
    }
#endif
    gate_separate(in, out, n, passes);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    if (zul::switch_reading(self->enable[0]) != 1) {
      out[i] = in[i];  // off: an exact copy, and the flag rests
      continue;
    }
    const float x = self->level[0];
    const float open_at = self->open_threshold[0];
    const float close_at = self->close_threshold[0];
    if (gate_passes(gate_open, x, open_at, close_at)) {
      out[i] = in[i];
    } else {
      out[i] = 0.0f;
    }
  }
  self->gate_open = gate_open;
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
