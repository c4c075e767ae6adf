#include "tools/render/signal.hpp"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numbers>
#include <vector>

#include "tools/render/cli.hpp"
#include "tools/render/failure.hpp"
#include "tools/render/nearest.hpp"
#include "tools/render/notes.hpp"

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
    const std::string key = trim(param.substr(0, equals));
    if (equals == std::string::npos) {
      throw UsageError("generator " + name + ": '" + param + "' is not PARAM=VALUE");
    }
    const std::string text = trim(param.substr(equals + 1));
    const double value = parse_number(text, name + " " + key);
    auto refuse = [&](const std::string& wanted) {
      throw UsageError("generator " + name + ": " + param + " is not " + wanted);
    };
    if (key == "freq") {
      if (!(value > 0.0 && std::isfinite(value))) {
        refuse("a frequency above 0 Hz");
      }
      g.freq = value;
    } else if (key == "amp") {
      g.amp = value;
    } else if (key == "offset") {
      g.offset = value;
    } else if (key == "at" && shape == Shape::step) {
      if (!(value >= 0.0 && std::isfinite(value))) {
        refuse("a time in seconds from 0 on");
      }
      g.at = value;
    } else if (key == "seed" && shape == Shape::noise) {
      if (!(value >= 0.0 && value <= 4294967295.0 && std::floor(value) == value)) {
        refuse("a whole number from 0 to 4294967295");
      }
      g.seed = static_cast<uint32_t>(value);
    } else {
      throw UsageError("generator " + name + " has no parameter '" + key +
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

class Constant : public Source {
 public:
  explicit Constant(float value) : value_(value) {}
  void fill(float* out, uint32_t n) override { std::fill(out, out + n, value_); }

 private:
  float value_;
};

class Generated : public Source {
 public:
  Generated(const Generator& g, uint32_t rate, uint64_t frames)
      : g_(g),
        rate_(rate),
        step_frame_(
            first_frame_at(g.at < 0.0 ? static_cast<double>(frames) / rate / 2.0 : g.at, rate)),
        noise_(g.seed) {}

  void fill(float* out, uint32_t n) override {
    for (uint32_t k = 0; k < n; ++k, ++frame_) {
      out[k] = static_cast<float>(g_.offset + g_.amp * shape());
    }
  }

 private:
  double shape() {
    // frame * freq / rate keeps whole periods exact: 25 * 10 / 1000 is 0.25.
    const double cycles = static_cast<double>(frame_) * g_.freq / rate_;
    const double phase = cycles - std::floor(cycles);
    switch (g_.shape) {
      case Shape::constant:
        return 1.0;
      case Shape::step:
        return frame_ >= step_frame_ ? 1.0 : 0.0;
      case Shape::square:
        return phase < 0.5 ? 1.0 : -1.0;
      case Shape::ramp:
        return 2.0 * phase - 1.0;
      case Shape::triangle:
        return 1.0 - 4.0 * std::fabs(phase - 0.5);
      case Shape::sine:
        return std::sin(2.0 * std::numbers::pi * phase);
      case Shape::noise:
        return noise_.next();
    }
    return 0.0;
  }

  Generator g_;
  uint32_t rate_;
  uint64_t step_frame_;
  Noise noise_;
  uint64_t frame_ = 0;
};

// A mono file read a block at a time; past its end, zeros.
class FileSource : public Source {
 public:
  FileSource(const std::string& path, const std::string& symbol, uint32_t rate, uint64_t frames)
      : path_(path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
      throw Failure("cannot read " + path + ": " +
                    (errno == ENOENT ? "no such file" : std::strerror(errno)));
    }
    if (S_ISDIR(status.st_mode)) {
      throw Failure("cannot read " + path + ": a directory, not a sound file");
    }
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
      throw Failure("cannot read " + path + ": " + sf_strerror(nullptr));
    }
    std::string problem;
    if (info.channels != 1) {
      problem =
          path + " has " + std::to_string(info.channels) + " channels; an input takes a mono file";
    } else if (info.samplerate != static_cast<int>(rate)) {
      problem = path + " is at " + std::to_string(info.samplerate) + " Hz, the render at " +
                std::to_string(rate) + " Hz (--rate)";
    }
    if (!problem.empty()) {
      sf_close(file_);
      throw Failure(problem);
    }
    left_ = static_cast<uint64_t>(std::max<sf_count_t>(info.frames, 0));
    if (left_ < frames) {
      note(path + " has " + std::to_string(left_) + " frames, the render " +
           std::to_string(frames) + ": " + symbol + " is fed 0 after its end");
    }
  }
  ~FileSource() override { sf_close(file_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  void fill(float* out, uint32_t n) override {
    const auto wanted = static_cast<sf_count_t>(std::min<uint64_t>(n, left_));
    const sf_count_t got = wanted > 0 ? sf_readf_float(file_, out, wanted) : 0;
    if (got < wanted) {
      throw Failure("cannot read " + path_ + ": " + sf_strerror(file_));
    }
    left_ -= static_cast<uint64_t>(got);
    std::fill(out + got, out + n, 0.0f);
  }

 private:
  std::string path_;
  SNDFILE* file_;
  uint64_t left_;
};

// Sampled at the frames, a shape that repeats faster than half the rate
// shows as a slower one: said, and rendered as asked.
void warn_if_aliased(const Generator& g, const std::string& name, const std::string& symbol,
                     uint32_t rate) {
  const bool periodic = g.shape == Shape::square || g.shape == Shape::ramp ||
                        g.shape == Shape::triangle || g.shape == Shape::sine;
  if (!periodic || g.freq <= rate / 2.0) {
    return;
  }
  const double folded = std::fmod(g.freq, static_cast<double>(rate));
  const double seen = std::min(folded, rate - folded);
  warn(symbol + ": " + name + " at " + show(g.freq) + " Hz is above half the rate (" +
       show(rate / 2.0) + " Hz): its frames repeat at " + show(seen) + " Hz");
}

}  // namespace

std::optional<double> constant_value(const std::string& source) {
  char* end = nullptr;
  const double value = std::strtod(source.c_str(), &end);
  if (!source.empty() && end == source.c_str() + source.size()) {
    return value;
  }
  const auto comma = source.find(',');
  if (trim(source.substr(0, comma)) != "constant") {
    return std::nullopt;
  }
  const Generator g = parse_generator(Shape::constant, "constant",
                                      comma == std::string::npos ? "" : source.substr(comma + 1));
  return g.offset + g.amp;
}

uint64_t first_frame_at(double seconds, uint32_t rate) {
  const double exact = seconds * rate;
  const double nearest = std::nearbyint(exact);
  const double frame = std::fabs(exact - nearest) <= 1e-6 ? nearest : std::ceil(exact);
  if (!(frame < 1e18)) {
    return UINT64_MAX;  // never reached
  }
  return static_cast<uint64_t>(frame);
}

std::unique_ptr<Source> open_input(const std::string& source, const std::string& symbol,
                                   uint32_t rate, uint64_t frames) {
  const auto comma = source.find(',');
  const std::string name = trim(source.substr(0, comma));
  const auto shape = shapes().find(name);
  if (shape != shapes().end()) {
    const std::string params = comma == std::string::npos ? "" : source.substr(comma + 1);
    const Generator g = parse_generator(shape->second, name, params);
    warn_if_aliased(g, name, symbol, rate);
    return std::make_unique<Generated>(g, rate, frames);
  }
  char* end = nullptr;
  const double constant = std::strtod(source.c_str(), &end);
  if (end == source.c_str() + source.size()) {
    return std::make_unique<Constant>(static_cast<float>(constant));
  }
  struct stat status {};
  if (source.find_first_of("./") == std::string::npos && stat(source.c_str(), &status) != 0) {
    std::vector<std::string> names;
    for (const auto& known : shapes()) {
      names.push_back(known.first);
    }
    throw UsageError(symbol + "=" + source +
                     ": no such file or generator (constant, step, square, ramp, triangle, "
                     "sine, noise)" +
                     did_you_mean(name, names));
  }
  return std::make_unique<FileSource>(source, symbol, rate, frames);
}

}  // namespace render
