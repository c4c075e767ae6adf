// zul-cv-range: sorts a value into an in-range and an out-of-range stream;
// each stream holds the last value it carried while the value is elsewhere.
#include "shell/blocks.hpp"
#include "shell/fma.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"

namespace {

enum Port : uint32_t {
  input = 0,
  in_range_output = 1,
  out_of_range_output = 2,
  range_low = 3,
  range_high = 4,
  reset = 5
};

struct Range {
  const float* input;
  float* in_range_output;
  float* out_of_range_output;
  const float* range_low;
  const float* range_high;
  const float* reset;
  float last_in_range;
  float last_out_of_range;
  // Not plugin state: zul::avx_loops(), asked once in instantiate so that
  // run() does not ask the processor at every call.
  bool avx;
};

LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double /*rate*/,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  Range* self = zul::allocate<Range>();
  if (self != nullptr) {
    self->last_in_range = 0.0f;
    self->last_out_of_range = 0.0f;
    self->avx = zul::avx_loops();
  }
  return self;
}

void connect_port(LV2_Handle instance, uint32_t port, void* data) {
  auto* self = static_cast<Range*>(instance);
  switch (port) {
    case input:
      self->input = static_cast<const float*>(data);
      break;
    case in_range_output:
      self->in_range_output = static_cast<float*>(data);
      break;
    case out_of_range_output:
      self->out_of_range_output = static_cast<float*>(data);
      break;
    case range_low:
      self->range_low = static_cast<const float*>(data);
      break;
    case range_high:
      self->range_high = static_cast<const float*>(data);
      break;
    case reset:
      self->reset = static_cast<const float*>(data);
      break;
    default:
      break;
  }
}

// Where no output covers what run reads, each output holds one value for the
// whole block: a plain fill. Both outputs on one buffer (as some hosts connect them): the
// out-of-range value, written second at every sample, is what stays.
void fill_outputs(float* in_range, float in_range_value, float* out_of_range,
                  float out_of_range_value, uint32_t n) {
  if (in_range != out_of_range) zul::fill_block(in_range, in_range_value, n);
  zul::fill_block(out_of_range, out_of_range_value, n);
}

#if defined(__x86_64__)
[[gnu::target("avx")]] void fill_outputs_avx(float* in_range, float in_range_value,
                                             float* out_of_range, float out_of_range_value,
                                             uint32_t n) {
  if (in_range != out_of_range) zul::fill_block(in_range, in_range_value, n);
  zul::fill_block(out_of_range, out_of_range_value, n);
}
#endif

bool covers_what_is_read(const Range* self, const float* out, uint32_t n) {
  return zul::covers(out, n, self->input) || zul::covers(out, n, self->range_low) ||
         zul::covers(out, n, self->range_high) || zul::covers(out, n, self->reset);
}

// Whether no output covers the value or element 0 of a control, and the
// outputs share all or none of their storage: then no sample can change what
// a later one reads.
bool separate(const Range* self, uint32_t n) {
  const float* in_range = self->in_range_output;
  const float* out_of_range = self->out_of_range_output;
  return !covers_what_is_read(self, in_range, n) && !covers_what_is_read(self, out_of_range, n) &&
         (in_range == out_of_range || !zul::streams_overlap(in_range, out_of_range, n));
}

// Sorts the block's one value, as every sample of it would be sorted.
void sort_block(Range* self, uint32_t n) {
  if (zul::switch_reading(self->reset[0]) == 1) {
    self->last_in_range = 0.0f;
    self->last_out_of_range = 0.0f;
  }
  const float low = self->range_low[0];
  const float x = self->input[0];
  if (x >= low && !(x > self->range_high[0])) {
    self->last_in_range = x;
  } else {
    self->last_out_of_range = x;
  }
#if defined(__x86_64__)
  if (self->avx) {
    fill_outputs_avx(self->in_range_output, self->last_in_range, self->out_of_range_output,
                     self->last_out_of_range, n);
    return;
  }
#endif
  fill_outputs(self->in_range_output, self->last_in_range, self->out_of_range_output,
               self->last_out_of_range, n);
}

// The value and the controls are read at every sample, the upper bound only
// once the value has passed the lower one: an output covering element 0 of the
// value or of a control changes what the following samples sort. Where none
// is covered, every sample sorts the same value the same way. The values
// are moved, never computed with, so their bits arrive unchanged.
void run(LV2_Handle instance, uint32_t n) {
  auto* self = static_cast<Range*>(instance);
  if (n == 0) {
    return;  // not even a reset
  }
  if (separate(self, n)) {
    sort_block(self, n);
    return;
  }
  float* in_range = self->in_range_output;
  float* out_of_range = self->out_of_range_output;
  float last_in_range = self->last_in_range;
  float last_out_of_range = self->last_out_of_range;
  for (uint32_t i = 0; i < n; ++i) {
    if (zul::switch_reading(self->reset[0]) == 1) {
      last_in_range = 0.0f;
      last_out_of_range = 0.0f;
    }
    const float low = self->range_low[0];
    const float x = self->input[0];
    // Both bounds are inclusive; a NaN value or a NaN lower bound is out of
    // range, a NaN upper bound limits nothing.
    const bool within = x >= low && !(x > self->range_high[0]);
    // in_range_output first: with both outputs on one buffer the out-of-range
    // value is the one that stays.
    if (within) {
      last_in_range = x;
      in_range[i] = x;
      out_of_range[i] = last_out_of_range;
    } else {
      last_out_of_range = x;
      in_range[i] = last_in_range;
      out_of_range[i] = x;
    }
  }
  self->last_in_range = last_in_range;
  self->last_out_of_range = last_out_of_range;
}

}  // namespace

const LV2_Descriptor zul::descriptor =
    zul::describe(ZUL_PLUGIN_URI, instantiate, connect_port, run);
