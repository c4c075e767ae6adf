#include "tools/render/signal.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
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
      std::fprintf(stderr,
                   "zul-render: note: %s has %llu frames, the render %llu: %s is fed 0 after "
                   "its end\n",
                   path.c_str(), static_cast<unsigned long long>(left_),
                   static_cast<unsigned long long>(frames), symbol.c_str());
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

std::unique_ptr<Source> open_input(const std::string& source, const std::string& symbol,
                                   uint32_t rate, uint64_t frames) {
  const auto comma = source.find(',');
  const std::string name = source.substr(0, comma);
  const auto shape = shapes().find(name);
  if (shape != shapes().end()) {
    const std::string params = comma == std::string::npos ? "" : source.substr(comma + 1);
    return std::make_unique<Generated>(parse_generator(shape->second, name, params), rate, frames);
  }
  char* end = nullptr;
  const double constant = std::strtod(source.c_str(), &end);
  if (end == source.c_str() + source.size()) {
    return std::make_unique<Constant>(static_cast<float>(constant));
  }
  if (source.find_first_of("./") == std::string::npos) {
    throw UsageError("unknown generator '" + name +
                     "' (constant, step, square, ramp, triangle, sine, noise, a number or a "
                     "file name)");
  }
  return std::make_unique<FileSource>(source, symbol, rate, frames);
}

}  // namespace render
