// Decoding bytes into a host session, and running it on a plugin and on the
// model side by side.
#include "tests/fuzz/scenario.hpp"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tests/fp_register.hpp"

namespace scenario {
namespace {

using reference::Plugin;

constexpr float bits(uint32_t b) {
  return std::bit_cast<float>(b);
}

// Values chosen to sit on every edge the plugins have: signed zeros,
// infinities, NaNs with payloads (quiet and signalling), denormals, the
// boundaries of the switch reading and of the signed 32-bit range, the
// boundaries of exact rounding, and the numbers the plugins' examples use.
constexpr float edge_values[] = {
    bits(0x00000000),
    bits(0x80000000),
    bits(0x7f800000),
    bits(0xff800000),
    bits(0x7fc00000),
    bits(0xffc00000),
    bits(0x7fc12345),
    bits(0xffd54321),
    bits(0x7f800001),
    bits(0xffa00001),
    bits(0x00000001),
    bits(0x80000001),
    bits(0x007fffff),
    bits(0x807fffff),
    bits(0x00800000),
    bits(0x80800000),
    0.99f,
    1.0f,
    1.5f,
    2.0f,
    -0.5f,
    -1.0f,
    0.5f,
    1.99f,
    0.99999994f,
    1.0000001f,
    -0.99f,
    -1.5f,
    3.0f,
    2147483648.0f,
    -2147483648.0f,
    2147483520.0f,
    -2147483520.0f,
    -2147483904.0f,
    3.0e9f,
    -3.0e9f,
    FLT_MAX,
    -FLT_MAX,
    8388608.0f,
    8388609.0f,
    -8388609.0f,
    0.49999997f,
    2.5f,
    -2.5f,
    -2.75f,
    10.0f,
    100.0f,
    -100.0f,
    0.01f,
    12.0f,
    0.33f,
    50.0f,
    20.0f,
    1.0e-30f,
    1.0e30f,
    -7.0f,
    // Times in ms around one sample period (0.0208 ms at 48 kHz) and half of it.
    0.001f,
    0.0104f,
    0.015f,
    0.02f,
    0.0209f,
};
constexpr unsigned edge_count = std::size(edge_values);

// Rates the plugins must accept or refuse, alike: usual ones, the limits of a
// float, denormal, infinite, NaN, zero and negative.
const double edge_rates[] = {
    48000.0,
    44100.0,
    96000.0,
    192000.0,
    8000.0,
    22050.0,
    1.0,
    0.5,
    1000.0,
    3455.7519189487725,
    static_cast<double>(FLT_MIN),
    std::nextafter(static_cast<double>(FLT_MIN), 0.0),
    static_cast<double>(FLT_MIN) / 2.0,
    static_cast<double>(FLT_MAX),
    std::nextafter(static_cast<double>(FLT_MAX), INFINITY),
    1.0e39,
    1.0e300,
    DBL_MAX,
    DBL_MIN,
    std::numeric_limits<double>::denorm_min(),
    1.0e-300,
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
    0.0,
    -0.0,
    -48000.0,
    -1.0,
};
constexpr unsigned edge_rate_count = std::size(edge_rates);

constexpr uint32_t block_caps[] = {4, 16, 64, 256, 1024, max_block};

// Limits that keep one session quick under the sanitizers.
constexpr size_t max_actions = 256;
constexpr uint64_t max_samples = 1u << 17;

// Reads the bytes front to back; past the end every byte is zero.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  bool empty() const { return pos_ >= data_.size(); }
  uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  uint16_t u16() { return static_cast<uint16_t>(byte() << 8 | byte()); }
  uint32_t u32() { return static_cast<uint32_t>(u16()) << 16 | u16(); }
  uint64_t u64() { return static_cast<uint64_t>(u32()) << 32 | u32(); }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// splitmix64: the same numbers on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t bound) { return static_cast<uint32_t>(next() % bound); }

 private:
  uint64_t state_;
};

// An edge value; a value that turns a switch or an enable on or sits beside
// one that does; a multiple of 1/8 within ±8; or any 32 bits.
float decode_value(Reader& in) {
  static constexpr float switching[] = {1.0f, 1.0f, 0.0f, 1.5f, 0.99f, 2.0f, -0.5f, -1.0f};
  const uint8_t b = in.byte();
  if (b < edge_count) return edge_values[b];
  if (b < 120) return switching[b % 8u];
  if (b < 248) return static_cast<float>(b - 184) * 0.125f;
  return bits(in.u32());
}

double decode_rate(Reader& in) {
  const uint8_t b = in.byte();
  if (b < edge_rate_count) return edge_rates[b];
  if (b < 240) return static_cast<double>(b - edge_rate_count + 1) * 1000.0;
  return std::bit_cast<double>(in.u64());
}

uint32_t decode_block(Reader& in, uint32_t cap) {
  static constexpr uint32_t lengths[] = {31,  32,  33,  63,  64,   65,   127,  128,
                                         129, 255, 256, 257, 1023, 1024, 4095, 4096};
  const uint8_t b = in.byte();
  uint32_t n;
  if (b < 160) {
    n = b % 20u;
  } else if (b < 240) {
    n = lengths[(b - 160u) % std::size(lengths)];
  } else {
    n = in.u16() % (cap + 1u);
  }
  return std::min(n, cap);
}

// Where port p's buffer starts: its own region, the start of another port's
// buffer, a few samples beside it, or anywhere a whole block fits.
size_t decode_offset(Reader& in, const std::vector<size_t>& offsets, size_t p, uint32_t cap,
                     size_t last) {
  const size_t ports = offsets.size();
  switch (in.byte() % 4u) {
    case 0:
      return p * cap;
    case 1:
      return offsets[in.byte() % ports];
    case 2: {
      const size_t other = offsets[in.byte() % ports];
      const long at = static_cast<long>(other) + static_cast<int>(in.byte() % 17u) - 8;
      return static_cast<size_t>(std::clamp(at, 0L, static_cast<long>(last)));
    }
    default:
      return in.u16() % (last + 1);
  }
}

// The samples a fill writes, made from the action alone.
std::vector<float> fill_samples(const Action& a, size_t count) {
  Random random(a.seed);
  std::vector<float> out(count);
  for (size_t i = 0; i < count; ++i) {
    uint8_t kind = a.pattern % 6u;
    if (kind == 4) kind = static_cast<uint8_t>(1 + random.below(3));
    switch (kind) {
      case 0:
        out[i] = a.value;
        break;
      case 1:
        out[i] = edge_values[random.below(edge_count)];
        break;
      case 2:
        out[i] = bits(static_cast<uint32_t>(random.next()));
        break;
      case 3:
        out[i] = static_cast<float>(static_cast<int>(random.below(96001)) - 48000) / 4000.0f;
        break;
      default:
        out[i] = std::isfinite(a.value) ? a.value + static_cast<float>(i) * 0.25f : 0.0f;
        break;
    }
  }
  return out;
}

std::string format(const char* fmt, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}

std::string value_text(float v) {
  return format("%.9g (0x%08" PRIx32 ")", static_cast<double>(v), std::bit_cast<uint32_t>(v));
}

std::string rate_text(double rate) {
  return format("%.17g (0x%016" PRIx64 ")", rate, std::bit_cast<uint64_t>(rate));
}

// The ports whose buffers cover arena index j, as "output[3], enable"; a
// control covers its element 0 alone.
std::string ports_at(Plugin plugin, const Session& s, const std::vector<size_t>& offsets,
                     size_t j) {
  std::string text;
  const auto ports = reference::ports_of(plugin);
  for (size_t p = 0; p < ports.size(); ++p) {
    const size_t o = offsets[p];
    const size_t size = ports[p].kind == reference::Kind::stream ? s.block_cap : 1;
    if (j < o || j >= o + size) continue;
    if (!text.empty()) text += ", ";
    text += ports[p].name;
    if (ports[p].kind == reference::Kind::stream) text += format("[%zu]", j - o);
  }
  return text.empty() ? "no port" : text;
}

// Compares the two arenas after a call. A NaN that the model computed may
// differ from the plugin's in its payload; the model's copy then takes the
// plugin's bits, so that the arenas stay alike for the calls that follow.
std::string check(Plugin plugin, const Session& s, const std::vector<size_t>& offsets,
                  const std::vector<float>& actual, std::vector<float>& expected,
                  const reference::Model& model) {
  if (std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(float)) == 0) {
    return {};
  }
  std::vector<bool> computed(expected.size());
  for (const float* p : model.computed_nans) {
    computed[static_cast<size_t>(p - expected.data())] = true;
  }
  std::string first;
  size_t differences = 0;
  for (size_t j = 0; j < actual.size(); ++j) {
    const auto a = std::bit_cast<uint32_t>(actual[j]);
    const auto e = std::bit_cast<uint32_t>(expected[j]);
    if (a == e) continue;
    if (computed[j] && std::isnan(actual[j]) && std::isnan(expected[j])) {
      expected[j] = actual[j];
      continue;
    }
    if (differences++ == 0) {
      first =
          format("arena[%zu] (%s): plugin %s, model %s", j, ports_at(plugin, s, offsets, j).c_str(),
                 value_text(actual[j]).c_str(), value_text(expected[j]).c_str());
    }
  }
  if (differences == 0) return {};
  return first + format("; %zu value(s) differ", differences);
}

// Puts the caller's floating-point register back, whatever way compare returns.
struct Register {
  uint64_t saved = fp_register::read();
  Register() = default;
  Register(const Register&) = delete;
  Register& operator=(const Register&) = delete;
  ~Register() { fp_register::write(saved); }
};

}  // namespace

Session decode(Plugin plugin, std::span<const uint8_t> data) {
  Reader in(data);
  Session s;
  const auto ports = static_cast<uint32_t>(reference::ports_of(plugin).size());
  s.rate = decode_rate(in);
  s.block_cap = block_caps[in.byte() % std::size(block_caps)];
  s.arena_size = (ports + 1) * s.block_cap + 32;
  s.seed = in.u64();
  // Each port starts in its own region; a port placed beside another sees
  // where that one was placed, or its region if it comes later.
  const size_t last = s.arena_size - s.block_cap;
  for (size_t p = 0; p < ports; ++p) s.offsets.push_back(p * s.block_cap);
  for (size_t p = 0; p < ports; ++p)
    s.offsets[p] = decode_offset(in, s.offsets, p, s.block_cap, last);
  for (const reference::Port& port : reference::ports_of(plugin)) {
    s.values.push_back(port.kind == reference::Kind::value ? decode_value(in) : 0.0f);
  }
  std::vector<size_t> offsets = s.offsets;  // as the moves leave them

  uint64_t samples = 0;
  while (!in.empty() && s.actions.size() < max_actions && samples < max_samples) {
    Action a;
    const uint8_t op = in.byte() % 10u;
    if (op <= 3 || op == 9) {
      a.type = Action::Type::run;
      a.n = op == 9 ? s.block_cap : decode_block(in, s.block_cap);
      samples += a.n;
    } else if (op == 4) {
      a.type = Action::Type::set;
      a.port = in.byte() % ports;
      a.value = decode_value(in);
    } else if (op == 5) {
      a.type = Action::Type::fill;
      a.port = in.byte() % ports;
      a.pattern = in.byte();
      a.value = decode_value(in);
      a.seed = in.u32();
    } else if (op == 6) {
      a.type = Action::Type::reactivate;
    } else if (op == 7) {
      a.type = Action::Type::move;
      a.port = in.byte() % ports;
      a.offset = decode_offset(in, offsets, a.port, s.block_cap, last);
      offsets[a.port] = a.offset;
    } else {
      static constexpr uint32_t beyond[] = {0, 1, 2, 255, 0x80000000u, 0xffffffffu};
      a.type = Action::Type::stray_connect;
      const uint8_t b = in.byte();
      a.port = b < 128 ? ports + beyond[b % 3u] : beyond[b % 6u];
      if (a.port < ports) a.port = ports;
      a.offset = in.u16() % s.arena_size;
    }
    s.actions.push_back(a);
  }
  return s;
}

std::string describe(Plugin plugin, const Session& s, size_t count) {
  const auto ports = reference::ports_of(plugin);
  std::string text = format("%s at rate %s, blocks up to %" PRIu32 ", arena of %zu, seed %" PRIx64,
                            std::string(reference::name_of(plugin)).c_str(),
                            rate_text(s.rate).c_str(), s.block_cap, s.arena_size, s.seed);
  text += "\n  ports at:";
  for (size_t p = 0; p < ports.size(); ++p) {
    text += format(" %s@%zu", ports[p].name, s.offsets[p]);
  }
  for (size_t p = 0; p < ports.size(); ++p) {
    if (ports[p].kind == reference::Kind::value) {
      text += format("\n  %s = %s", ports[p].name, value_text(s.values[p]).c_str());
    }
  }
  for (size_t k = 0; k < count && k < s.actions.size(); ++k) {
    const Action& a = s.actions[k];
    text += format("\n  %zu: ", k);
    switch (a.type) {
      case Action::Type::run:
        text += format("run %" PRIu32, a.n);
        break;
      case Action::Type::set:
        text += format("set %s = %s", ports[a.port].name, value_text(a.value).c_str());
        break;
      case Action::Type::fill:
        text += format("fill %s, pattern %u, base %s, seed %" PRIx32, ports[a.port].name,
                       a.pattern % 6u, value_text(a.value).c_str(), a.seed);
        break;
      case Action::Type::reactivate:
        text += "deactivate, activate";
        break;
      case Action::Type::move:
        text += format("connect %s to arena[%zu]", ports[a.port].name, a.offset);
        break;
      case Action::Type::stray_connect:
        text += format("connect index %" PRIu32 " to arena[%zu]", a.port, a.offset);
        break;
    }
  }
  return text;
}

std::string compare(const LV2_Descriptor& plugin, Plugin which, const Session& s,
                    std::optional<uint64_t> host_mode) {
  const Register caller;
  fp_register::write(fp_register::plugin_mode);
  const uint64_t host = host_mode.value_or(fp_register::plugin_mode);
  // The first call that left the host's register changed, reported after the
  // session if every bit matched.
  std::string moved;
  // One call into the plugin, made with the host's register in place.
  const auto as_host = [&](const char* what, auto call) {
    fp_register::write(host);
    call();
    const uint64_t after = fp_register::read();
    fp_register::write(fp_register::plugin_mode);
    if (moved.empty() && !fp_register::left_alone(host, after)) {
      moved = format("%s changed the calling thread's floating-point register from %#" PRIx64
                     " to %#" PRIx64,
                     what, host, after);
    }
  };

  std::optional<reference::Model> model = reference::instantiate(which, s.rate);
  const LV2_Feature* const features[] = {nullptr};
  LV2_Handle handle = nullptr;
  as_host("instantiate",
          [&] { handle = plugin.instantiate(&plugin, s.rate, "/nonexistent/", features); });
  if (!moved.empty()) {
    if (handle != nullptr) plugin.cleanup(handle);
    return moved;
  }
  if (handle == nullptr || !model) {
    if (handle != nullptr) as_host("cleanup", [&] { plugin.cleanup(handle); });
    if (handle == nullptr && !model) return {};
    return format("instantiate %s a rate of %s that the model %s", model ? "refused" : "accepted",
                  rate_text(s.rate).c_str(), model ? "accepts" : "refuses");
  }

  std::vector<float> actual(s.arena_size);
  Action first;
  first.type = Action::Type::fill;
  first.pattern = 4;
  first.seed = static_cast<uint32_t>(s.seed ^ (s.seed >> 32));
  actual = fill_samples(first, s.arena_size);
  const auto ports = reference::ports_of(which);
  for (size_t p = 0; p < ports.size(); ++p) {
    if (ports[p].kind == reference::Kind::value) actual[s.offsets[p]] = s.values[p];
  }
  std::vector<float> expected = actual;

  std::vector<size_t> offsets = s.offsets;
  const auto connect = [&](uint32_t port, size_t offset) {
    as_host("connect_port", [&] { plugin.connect_port(handle, port, actual.data() + offset); });
    reference::connect_port(*model, port, expected.data() + offset);
  };
  for (size_t p = 0; p < offsets.size(); ++p) connect(static_cast<uint32_t>(p), offsets[p]);
  as_host("activate", [&] { plugin.activate(handle); });

  std::string difference;
  size_t k = 0;
  for (; k < s.actions.size() && difference.empty(); ++k) {
    const Action& a = s.actions[k];
    switch (a.type) {
      case Action::Type::run:
        as_host("run", [&] { plugin.run(handle, a.n); });
        reference::run(*model, a.n);
        difference = check(which, s, offsets, actual, expected, *model);
        break;
      case Action::Type::set:
        actual[offsets[a.port]] = a.value;
        expected[offsets[a.port]] = a.value;
        break;
      case Action::Type::fill: {
        const size_t start = offsets[a.port];
        const std::vector<float> samples = fill_samples(a, s.block_cap);
        std::copy(samples.begin(), samples.end(), actual.begin() + static_cast<long>(start));
        std::copy(samples.begin(), samples.end(), expected.begin() + static_cast<long>(start));
        break;
      }
      case Action::Type::reactivate:
        as_host("deactivate", [&] { plugin.deactivate(handle); });
        as_host("activate", [&] { plugin.activate(handle); });
        break;
      case Action::Type::move:
        offsets[a.port] = a.offset;
        connect(a.port, a.offset);
        break;
      case Action::Type::stray_connect:
        as_host("connect_port",
                [&] { plugin.connect_port(handle, a.port, actual.data() + a.offset); });
        reference::connect_port(*model, a.port, expected.data() + a.offset);
        break;
    }
  }
  as_host("deactivate", [&] { plugin.deactivate(handle); });
  as_host("cleanup", [&] { plugin.cleanup(handle); });
  if (difference.empty() && !moved.empty()) difference = moved;
  if (difference.empty()) return {};
  return format("after action %zu: ", k - 1) + difference + "\n" + describe(which, s, k);
}

}  // namespace scenario
