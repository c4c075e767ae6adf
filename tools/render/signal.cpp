#include "tools/render/signal.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <numbers>

#include "tools/render/cli.hpp"
#include "tools/render/failure.hpp"

namespace render {
namespace {

enum class Shape { constant, step, square, ramp, triangle, sine, noise };

const std::map<std::string, Shape>& shapes() {
  static const std::map<std::string, Shape> names = {
      {"constant", Shape::constant}, {"step", Shape::step},         {"square", Shape::square},
      {"ramp", Shape::ramp},         {"triangle", Shape::triangle}, {"sine", Shape::sine},
      {"noise", Shape::noise}};
  return names;
}

struct Generator {
  Shape shape = Shape::constant;
  double freq = 1.0;
  double amp = 1.0;
  double offset = 0.0;
  double at = -1.0;  // step time; below 0: half the duration
  uint32_t seed = 1;
};

Generator parse_generator(Shape shape, const std::string& name, const std::string& params) {
  Generator g;
  g.shape = shape;
  std::size_t start = 0;
  while (start < params.size()) {
    std::size_t end = params.find(',', start);
    if (end == std::string::npos) {
      end = params.size();
    }
    const std::string param = params.substr(start, end - start);
    start = end + 1;
    const auto equals = param.find('=');
    const std::string key = param.substr(0, equals);
    if (equals == std::string::npos) {
      throw UsageError("generator " + name + ": '" + param + "' is not PARAM=VALUE");
    }
    const double value = parse_number(param.substr(equals + 1), name + " " + key);
    if (key == "freq" && value > 0.0 && std::isfinite(value)) {
      g.freq = value;
    } else if (key == "freq") {
      throw UsageError("generator " + name + ": freq must be above 0 Hz");
    } else if (key == "amp") {
      g.amp = value;
    } else if (key == "offset") {
      g.offset = value;
    } else if (key == "at" && shape == Shape::step && value >= 0.0) {
      g.at = value;
    } else if (key == "seed" && shape == Shape::noise && value >= 0.0 && value <= 4294967295.0 &&
               std::floor(value) == value) {
      g.seed = static_cast<uint32_t>(value);
    } else {
      throw UsageError("generator " + name + " has no parameter '" + param +
                       "' (freq, amp, offset; at for step; seed for noise)");
    }
  }
  return g;
}

// xorshift32: the same noise on every machine and every run for one seed.
struct Noise {
  uint32_t state;
  explicit Noise(uint32_t seed) : state(seed == 0 ? 0x9E3779B9u : seed) {}
  double next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state >> 8) / 8388608.0 - 1.0;  // -1 <= x < 1
  }
};

std::vector<float> generate(const Generator& g, uint32_t rate, uint64_t frames) {
  std::vector<float> out(frames);
  const double duration = static_cast<double>(frames) / rate;
  const uint64_t step_frame = first_frame_at(g.at < 0.0 ? duration / 2.0 : g.at, rate);
  Noise noise(g.seed);
  for (uint64_t i = 0; i < frames; ++i) {
    // frame * freq / rate keeps whole periods exact: 25 * 10 / 1000 is 0.25.
    const double cycles = static_cast<double>(i) * g.freq / rate;
    const double phase = cycles - std::floor(cycles);
    double shape = 0.0;
    switch (g.shape) {
      case Shape::constant:
        shape = 1.0;
        break;
      case Shape::step:
        shape = i >= step_frame ? 1.0 : 0.0;
        break;
      case Shape::square:
        shape = phase < 0.5 ? 1.0 : -1.0;
        break;
      case Shape::ramp:
        shape = 2.0 * phase - 1.0;
        break;
      case Shape::triangle:
        shape = 1.0 - 4.0 * std::fabs(phase - 0.5);
        break;
      case Shape::sine:
        shape = std::sin(2.0 * std::numbers::pi * phase);
        break;
      case Shape::noise:
        shape = noise.next();
        break;
    }
    out[i] = static_cast<float>(g.offset + g.amp * shape);
  }
  return out;
}

std::vector<float> read_file(const std::string& path, uint32_t rate, uint64_t frames) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    throw Failure("cannot read " + path + ": " + sf_strerror(nullptr));
  }
  std::vector<float> out(frames, 0.0f);
  std::string problem;
  if (info.channels != 1) {
    problem =
        path + " has " + std::to_string(info.channels) + " channels; an input takes a mono file";
  } else if (info.samplerate != static_cast<int>(rate)) {
    problem = path + " is at " + std::to_string(info.samplerate) + " Hz, the render at " +
              std::to_string(rate) + " Hz (--rate)";
  } else {
    const auto wanted = static_cast<sf_count_t>(frames);
    const sf_count_t got = sf_readf_float(file, out.data(), std::min(wanted, info.frames));
    if (got < 0) {
      problem = "cannot read " + path + ": " + sf_strerror(file);
    }
  }
  sf_close(file);
  if (!problem.empty()) {
    throw Failure(problem);
  }
  return out;
}

}  // namespace

uint64_t first_frame_at(double seconds, uint32_t rate) {
  const double exact = seconds * rate;
  const double nearest = std::nearbyint(exact);
  const double frame = std::fabs(exact - nearest) <= 1e-6 ? nearest : std::ceil(exact);
  if (!(frame < 1e18)) {
    return UINT64_MAX;  // never reached
  }
  return static_cast<uint64_t>(frame);
}

std::vector<float> make_input(const std::string& source, uint32_t rate, uint64_t frames) {
  const auto comma = source.find(',');
  const std::string name = source.substr(0, comma);
  const auto shape = shapes().find(name);
  if (shape != shapes().end()) {
    const std::string params = comma == std::string::npos ? "" : source.substr(comma + 1);
    return generate(parse_generator(shape->second, name, params), rate, frames);
  }
  char* end = nullptr;
  const double constant = std::strtod(source.c_str(), &end);
  if (end == source.c_str() + source.size()) {
    return std::vector<float>(frames, static_cast<float>(constant));
  }
  if (source.find_first_of("./") == std::string::npos) {
    throw UsageError("unknown generator '" + name +
                     "' (constant, step, square, ramp, triangle, sine, noise, a number or a "
                     "file name)");
  }
  return read_file(source, rate, frames);
}

}  // namespace render
