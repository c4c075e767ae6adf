// wav_probe: reads and writes the small WAV files of the render tests.
//   wav_probe info FILE                      channels=1 rate=1000 frames=100 wav float
//                                            (rf64 for RF64), read from the header alone
//   wav_probe runs FILE [FROM [TO]]           samples as runs: 0.5*60 0*40
//   wav_probe at FILE FRAME...                the samples at those frames
//   wav_probe range FILE                      lowest and highest sample
//   wav_probe write FILE RATE CHANNELS V...   a 32-bit float WAV of those samples
//   wav_probe tmpfile DIR                     exit 0 where DIR takes unnamed files
//                                             (O_TMPFILE)
// Samples print with %.9g, which tells every float apart; runs break where
// the bits change, so -0 and 0 are two runs.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sound {
  SF_INFO info{};
  std::vector<float> samples;
};

Sound read(const char* path) {
  Sound sound;
  SNDFILE* file = sf_open(path, SFM_READ, &sound.info);
  if (file == nullptr) {
    std::fprintf(stderr, "wav_probe: cannot read %s: %s\n", path, sf_strerror(nullptr));
    std::exit(1);
  }
  sound.samples.resize(static_cast<std::size_t>(sound.info.frames * sound.info.channels));
  sf_readf_float(file, sound.samples.data(), sound.info.frames);
  sf_close(file);
  return sound;
}

// The header alone: a file of gigabytes is not read.
int info(const char* path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "wav_probe: cannot read %s: %s\n", path, sf_strerror(nullptr));
    return 1;
  }
  sf_close(file);
  const int type = info.format & SF_FORMAT_TYPEMASK;
  std::printf("channels=%d rate=%d frames=%lld%s%s\n", info.channels, info.samplerate,
              static_cast<long long>(info.frames),
              type == SF_FORMAT_WAV    ? " wav"
              : type == SF_FORMAT_RF64 ? " rf64"
                                       : "",
              (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT ? " float" : "");
  return 0;
}

std::string text(float value) {
  char out[32];
  std::snprintf(out, sizeof out, "%.9g", static_cast<double>(value));
  return out;
}

std::size_t index(const char* arg) {
  return static_cast<std::size_t>(std::strtoull(arg, nullptr, 10));
}

void runs(const std::vector<float>& samples, std::size_t from, std::size_t to) {
  std::string line;
  for (std::size_t i = from; i < to;) {
    std::size_t end = i + 1;
    while (end < to &&
           std::bit_cast<uint32_t>(samples[end]) == std::bit_cast<uint32_t>(samples[i])) {
      ++end;
    }
    line += line.empty() ? "" : " ";
    line += text(samples[i]) + "*" + std::to_string(end - i);
    i = end;
  }
  std::printf("%s\n", line.c_str());
}

int write(int argc, char** argv) {
  SF_INFO info{};
  info.samplerate = std::atoi(argv[3]);
  info.channels = std::atoi(argv[4]);
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::vector<float> samples;
  for (int i = 5; i < argc; ++i) {
    samples.push_back(std::strtof(argv[i], nullptr));
  }
  SNDFILE* file = sf_open(argv[2], SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "wav_probe: cannot write %s: %s\n", argv[2], sf_strerror(nullptr));
    return 1;
  }
  sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 2 ? argv[1] : "";
  if (command == "tmpfile") {
    const int fd = open(argv[2], O_TMPFILE | O_RDWR, 0600);
    return fd >= 0 && close(fd) == 0 ? 0 : 1;
  }
  if (command == "write" && argc >= 5) {
    return write(argc, argv);
  }
  if (command.empty()) {
    std::fprintf(stderr, "usage: wav_probe info|runs|at|range|write FILE ...\n");
    return 2;
  }
  if (command == "info") {
    return info(argv[2]);
  }
  const Sound sound = read(argv[2]);
  const auto& samples = sound.samples;
  if (command == "runs") {
    const std::size_t from = argc > 3 ? index(argv[3]) : 0;
    const std::size_t to = argc > 4 ? index(argv[4]) : samples.size();
    runs(samples, std::min(from, samples.size()), std::min(to, samples.size()));
  } else if (command == "at") {
    std::string line;
    for (int i = 3; i < argc; ++i) {
      const std::size_t frame = index(argv[i]);
      line += line.empty() ? "" : " ";
      line += frame < samples.size() ? text(samples[frame]) : "none";
    }
    std::printf("%s\n", line.c_str());
  } else if (command == "range" && samples.empty()) {
    std::printf("empty\n");
  } else if (command == "range") {
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    std::printf("%s %s\n", text(*low).c_str(), text(*high).c_str());
  } else {
    std::fprintf(stderr, "wav_probe: unknown command %s\n", command.c_str());
    return 2;
  }
  return 0;
}
