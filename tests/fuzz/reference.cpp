// The model's plugins, each run() written as the plugin's numbered steps, in
// their order. Samples that are moved are moved as floats, which keeps their
// 32 bits; samples that are silenced are positive zero.
#include "tests/fuzz/reference.hpp"

#include <bit>
#include <cfloat>
#include <cmath>

namespace reference {
namespace {

using enum Direction;
using enum Kind;

const Port switch1_ports[] = {
    {"input", input, stream},
    {"output_a", output, stream},
    {"output_b", output, stream},
    {"selector", input, value},
};
const Port switch2_ports[] = {
    {"input_a", input, stream},
    {"input_b", input, stream},
    {"output", output, stream},
    {"selector", input, value},
};
const Port abs_ports[] = {
    {"input", input, stream},
    {"output", output, stream},
    {"enable", input, value},
};
const Port round_ports[] = {
    {"input", input, stream},
    {"output_round", output, stream},
    {"output_ceil", output, stream},
    {"output_floor", output, stream},
    {"output_fraction", output, stream},
    {"enable", input, value},
};
const Port parameter_modulation_ports[] = {
    {"input", input, stream}, {"output", output, stream}, {"offset", input, value},
    {"depth", input, value},  {"enable", input, value},
};
const Port slew_ports[] = {
    {"input", input, stream},    {"output", output, stream}, {"rise_time", input, value},
    {"fall_time", input, value}, {"enable", input, value},
};
const Port gate_ports[] = {
    {"level", input, value},          {"input", input, stream},          {"output", output, stream},
    {"open_threshold", input, value}, {"close_threshold", input, value}, {"enable", input, value},
};
const Port range_ports[] = {
    {"input", input, value},
    {"in_range_output", output, stream},
    {"out_of_range_output", output, stream},
    {"range_low", input, value},
    {"range_high", input, value},
    {"reset", input, value},
};
const Port control_ports[] = {
    {"output", output, stream},
    {"control", input, value},
    {"smoothing", input, value},
};

bool reads_one(float control) {
  return switch_reading(control) == 1;
}

// A denormal as the plugins' floating-point mode reads it: a zero of its sign.
// Arithmetic gets this from the mode; library functions may not, so their
// operands go through it.
float operand(float x) {
  const auto bits = std::bit_cast<uint32_t>(x);
  const bool denormal = (bits & 0x7f800000u) == 0 && (bits & 0x007fffffu) != 0;
  return denormal ? std::bit_cast<float>(bits & 0x80000000u) : x;
}

void write_computed(Model& m, float* where, float value) {
  *where = value;
  if (std::isnan(value)) {
    m.computed_nans.push_back(where);
  }
}

void run_switch1(Model& m, uint32_t n) {
  float* in = m.port[0];
  float* output_a = m.port[1];
  float* output_b = m.port[2];
  const std::optional<int32_t> s = switch_reading(m.port[3][0]);
  if (s != 0 && s != 1) return;
  if (n == 0) return;
  float* chosen = s == 0 ? output_a : output_b;
  float* silenced = s == 0 ? output_b : output_a;
  for (uint32_t i = 0; i < n; ++i) {
    const float x = in[i];
    chosen[i] = x;
    silenced[i] = 0.0f;
  }
}

void run_switch2(Model& m, uint32_t n) {
  const std::optional<int32_t> s = switch_reading(m.port[3][0]);
  if (s != 0 && s != 1) return;
  if (n == 0) return;
  float* source = s == 0 ? m.port[0] : m.port[1];
  float* out = m.port[2];
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = source[i];
  }
}

void run_abs(Model& m, uint32_t n) {
  if (n == 0) return;
  float* in = m.port[0];
  float* out = m.port[1];
  float* enable = m.port[2];
  for (uint32_t i = 0; i < n; ++i) {
    const bool on = reads_one(enable[0]);
    const float x = in[i];
    out[i] = on ? std::bit_cast<float>(std::bit_cast<uint32_t>(x) & 0x7fffffffu) : x;
  }
}

void run_round(Model& m, uint32_t n) {
  if (n == 0) return;
  float* in = m.port[0];
  float* out_round = m.port[1];
  float* out_ceil = m.port[2];
  float* out_floor = m.port[3];
  float* out_fraction = m.port[4];
  float* enable = m.port[5];
  for (uint32_t i = 0; i < n; ++i) {
    if (!reads_one(enable[0])) {
      out_round[i] = 0.0f;
      out_ceil[i] = 0.0f;
      out_floor[i] = 0.0f;
      out_fraction[i] = 0.0f;
      continue;
    }
    const float x = in[i];
    if (std::isnan(x)) {
      // All four are the input made quiet, its sign and payload kept: a
      // signalling NaN too, which a library call or a plain copy could
      // leave signalling.
      const float quiet = std::bit_cast<float>(std::bit_cast<uint32_t>(x) | 0x00400000u);
      out_round[i] = quiet;
      out_ceil[i] = quiet;
      out_floor[i] = quiet;
      out_fraction[i] = quiet;
      continue;
    }
    const auto rounded = static_cast<float>(std::floor(static_cast<double>(operand(x)) + 0.5));
    const float ceiling = std::ceil(operand(x));
    const float floor = std::floor(operand(x));
    float fraction;
    if (std::fabs(x) >= 2147483648.0f) {
      fraction = 0.0f;  // whole, and its truncation beyond the signed 32-bit range
    } else {
      fraction = x - static_cast<float>(static_cast<int32_t>(x));
    }
    write_computed(m, &out_round[i], rounded);
    write_computed(m, &out_ceil[i], ceiling);
    write_computed(m, &out_floor[i], floor);
    write_computed(m, &out_fraction[i], fraction);
  }
}

// IEEE 754 minNum and maxNum: a NaN operand gives the other one, and -0 counts
// as below +0.
float min_num(float a, float b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  if (a < b) return a;
  if (b < a) return b;
  return std::signbit(a) ? a : b;
}
float max_num(float a, float b) {
  if (std::isnan(a)) return b;
  if (std::isnan(b)) return a;
  if (a > b) return a;
  if (b > a) return b;
  return std::signbit(a) ? b : a;
}

void run_parameter_modulation(Model& m, uint32_t n) {
  float* in = m.port[0];
  float* out = m.port[1];
  float* enable = m.port[4];
  const float depth = m.port[3][0];
  const float offset = m.port[2][0];
  if (n == 0) return;
  const double gain = static_cast<double>(depth) * 0.01;
  const double bias = static_cast<double>(offset) * 0.1;
  for (uint32_t i = 0; i < n; ++i) {
    if (!reads_one(enable[0])) {
      out[i] = 0.0f;
      continue;
    }
    const float x = in[i];
    float v = static_cast<float>(std::fma(static_cast<double>(x), gain, bias));
    v = min_num(v, 10.0f);
    v = max_num(v, 0.0f);
    out[i] = v;
  }
}

constexpr float per_millisecond = 999.99994f;
static_assert(std::bit_cast<uint32_t>(per_millisecond) == 0x4479FFFFu);

// The glide toward x from s over time t: the step q and the sum s + q, each
// operation in single precision in this order. A sum that is not finite is
// not taken. A sum beyond x, seen from s, puts the value on x and clears the
// dropped steps. A step lost to rounding (the sum gives s back) is added to
// the dropped steps, and s moves by their total once that total moves it,
// to x at most.
void glide(Model& m, float x, float t) {
  const float s = m.current_value;
  const bool rising = s < x;
  const auto beyond = [&](float v) { return rising ? v > x : v < x; };
  const float q = ((x - s) * per_millisecond) / (t * m.sample_rate);
  const float s1 = s + q;
  if (!std::isfinite(s1)) return;
  if (beyond(s1)) {
    m.current_value = x;
    m.dropped_step = 0.0f;
    return;
  }
  if (s1 != s) {
    m.current_value = s1;
    m.dropped_step = 0.0f;
    return;
  }
  m.dropped_step = m.dropped_step + q;
  const float s2 = s + m.dropped_step;
  if (std::isfinite(s2) && s2 != s) {
    m.current_value = beyond(s2) ? x : s2;
    m.dropped_step = 0.0f;
  }
}

void run_slew(Model& m, uint32_t n) {
  if (n == 0) return;
  float* in = m.port[0];
  float* out = m.port[1];
  for (uint32_t i = 0; i < n; ++i) {
    const float e = m.port[4][0];
    const float x = in[i];
    if (e != 1.0f) {
      out[i] = x;
      continue;
    }
    const float r = m.port[2][0];
    const float f = m.port[3][0];
    const float s = m.current_value;
    if (r != 0.0f && s < x) {
      glide(m, x, r);
    } else if (f != 0.0f && s > x) {
      glide(m, x, f);
    }
    out[i] = m.current_value;
  }
}

void run_gate(Model& m, uint32_t n) {
  if (n == 0) return;
  float* in = m.port[1];
  float* out = m.port[2];
  for (uint32_t i = 0; i < n; ++i) {
    if (!reads_one(m.port[5][0])) {
      out[i] = in[i];
      continue;
    }
    const float x = m.port[0][0];
    const float a = m.port[3][0];
    const float b = m.port[4][0];
    if (x < a) {
      if (x <= b) {
        m.gate_open = false;
        out[i] = 0.0f;
      } else if (m.gate_open) {
        out[i] = in[i];
      } else {
        out[i] = 0.0f;
      }
    } else if (x > b) {
      m.gate_open = true;
      out[i] = in[i];
    } else {
      m.gate_open = false;
      out[i] = 0.0f;
    }
  }
}

void run_range(Model& m, uint32_t n) {
  if (n == 0) return;
  float* in_range_output = m.port[1];
  float* out_of_range_output = m.port[2];
  for (uint32_t i = 0; i < n; ++i) {
    if (reads_one(m.port[5][0])) {
      m.last_in_range = 0.0f;
      m.last_out_of_range = 0.0f;
    }
    const float lo = m.port[3][0];
    const float x = m.port[0][0];
    bool in_range = false;
    if (x >= lo) {
      const float hi = m.port[4][0];
      in_range = !(x > hi);
    }
    if (in_range) {
      m.last_in_range = x;
      in_range_output[i] = x;
      out_of_range_output[i] = m.last_out_of_range;
    } else {
      m.last_out_of_range = x;
      in_range_output[i] = m.last_in_range;
      out_of_range_output[i] = x;
    }
  }
}

void run_control(Model& m, uint32_t n) {
  const float v = m.port[1][0];
  if (n == 0) return;
  float* out = m.port[0];
  double s = m.filter_state;
  const double a = m.feedback_coefficient;
  const double one_minus_a = m.input_coefficient;
  // y, what the output carries: v until smoothing reads 1, then the filter's
  // value rounded to single, kept through samples where smoothing reads
  // anything else.
  float y = v;
  for (uint32_t i = 0; i < n; ++i) {
    const double feedback = a * s;
    const double next = std::fma(one_minus_a, static_cast<double>(v), feedback);
    if (std::isfinite(next)) {
      s = next;  // an infinite or NaN step leaves the filter where it was
    }
    if (reads_one(m.port[2][0])) {
      y = static_cast<float>(s);
    }
    out[i] = y;
  }
  m.filter_state = s;
}

}  // namespace

std::optional<int32_t> switch_reading(float value) {
  if (std::isnan(value) || value < -2147483648.0f || value >= 2147483648.0f) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);  // truncation toward zero
}

std::string_view name_of(Plugin plugin) {
  switch (plugin) {
    case Plugin::switch1:
      return "zul-cv-switch1";
    case Plugin::switch2:
      return "zul-cv-switch2";
    case Plugin::abs:
      return "zul-cv-abs";
    case Plugin::round:
      return "zul-cv-round";
    case Plugin::parameter_modulation:
      return "zul-cv-parameter-modulation";
    case Plugin::slew:
      return "zul-cv-slew";
    case Plugin::gate:
      return "zul-cv-gate";
    case Plugin::range:
      return "zul-cv-range";
    case Plugin::control:
      return "zul-cv-control";
  }
  return "";
}

std::span<const Port> ports_of(Plugin plugin) {
  switch (plugin) {
    case Plugin::switch1:
      return switch1_ports;
    case Plugin::switch2:
      return switch2_ports;
    case Plugin::abs:
      return abs_ports;
    case Plugin::round:
      return round_ports;
    case Plugin::parameter_modulation:
      return parameter_modulation_ports;
    case Plugin::slew:
      return slew_ports;
    case Plugin::gate:
      return gate_ports;
    case Plugin::range:
      return range_ports;
    case Plugin::control:
      return control_ports;
  }
  return {};
}

std::optional<Plugin> plugin_named(std::string_view name) {
  for (Plugin p : all_plugins) {
    if (name_of(p) == name) return p;
  }
  return std::nullopt;
}

std::optional<Model> instantiate(Plugin plugin, double sample_rate) {
  Model m;
  m.plugin = plugin;
  if (plugin == Plugin::slew) {
    // A rate that becomes a positive normal float; NaN fails both tests.
    const auto lowest = static_cast<double>(FLT_MIN);
    const auto highest = static_cast<double>(FLT_MAX);
    if (!(sample_rate >= lowest && sample_rate <= highest)) return std::nullopt;
    m.sample_rate = static_cast<float>(sample_rate);
    m.current_value = 0.0f;
  }
  if (plugin == Plugin::control) {
    // Positive means above zero: a denormal rate is positive, whatever the
    // thread's floating-point mode would make of it in a comparison.
    const auto bits = std::bit_cast<uint64_t>(sample_rate);
    const bool positive = (bits >> 63) == 0 && bits != 0;
    if (!(std::isfinite(sample_rate) && positive)) return std::nullopt;
    m.filter_state = 0.0;
    m.feedback_coefficient = std::exp(-3455.7519189487725 / sample_rate);
    m.input_coefficient = 1.0 - m.feedback_coefficient;
  }
  return m;
}

void connect_port(Model& m, uint32_t port, float* data) {
  if (port < ports_of(m.plugin).size()) {
    m.port[port] = data;
  }
}

void run(Model& m, uint32_t n) {
  m.computed_nans.clear();
  switch (m.plugin) {
    case Plugin::switch1:
      return run_switch1(m, n);
    case Plugin::switch2:
      return run_switch2(m, n);
    case Plugin::abs:
      return run_abs(m, n);
    case Plugin::round:
      return run_round(m, n);
    case Plugin::parameter_modulation:
      return run_parameter_modulation(m, n);
    case Plugin::slew:
      return run_slew(m, n);
    case Plugin::gate:
      return run_gate(m, n);
    case Plugin::range:
      return run_range(m, n);
    case Plugin::control:
      return run_control(m, n);
  }
}

}  // namespace reference
