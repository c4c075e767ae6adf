// wav_probe: reads and writes the small WAV files of the render tests.
//   wav_probe info FILE                      channels=1 rate=1000 frames=100 wav float
//                                            (rf64 for RF64), read from the header alone
//   wav_probe runs FILE [FROM [TO]]           samples as runs: 0.5*60 0*40
//   wav_probe at FILE FRAME...                the samples at those frames
//   wav_probe range FILE                      lowest and highest sample
//   wav_probe write FILE RATE CHANNELS V...   a 32-bit float WAV of those samples
//   wav_probe merge OUT IN...                 the mono files IN as the channels of OUT
//   wav_probe match REF FILE CHANNEL MAX      where in FILE's CHANNEL REF's samples lie
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

// The mono files as the channels of one 32-bit float WAV file, frame by
// frame, as far as the longest (a shorter one is followed by zeros).
int merge(int argc, char** argv) {
  std::vector<Sound> inputs;
  sf_count_t frames = 0;
  for (int i = 3; i < argc; ++i) {
    inputs.push_back(read(argv[i]));
    if (inputs.back().info.channels != 1) {
      std::fprintf(stderr, "wav_probe: %s is not mono\n", argv[i]);
      return 1;
    }
    frames = std::max(frames, inputs.back().info.frames);
  }
  SF_INFO info{};
  info.samplerate = inputs.front().info.samplerate;
  info.channels = static_cast<int>(inputs.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::vector<float> samples(static_cast<std::size_t>(frames) * inputs.size());
  for (std::size_t c = 0; c < inputs.size(); ++c) {
    for (std::size_t f = 0; f < inputs[c].samples.size(); ++f) {
      samples[f * inputs.size() + c] = inputs[c].samples[f];
    }
  }
  SNDFILE* file = sf_open(argv[2], SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "wav_probe: cannot write %s: %s\n", argv[2], sf_strerror(nullptr));
    return 1;
  }
  sf_writef_float(file, samples.data(), frames);
  sf_close(file);
  return 0;
}

// Finds the smallest offset, up to MAX frames, from which CHANNEL (counted
// from 0) of FILE holds every sample of the mono REF bit for bit, and prints
// it with the frames before and after. A host that delays its output shows
// as an offset; one that changes a sample, or writes anything but 32-bit
// float, fails.
int match(char** argv) {
  const Sound ref = read(argv[2]);
  const Sound got = read(argv[3]);
  const auto channel = index(argv[4]);
  const auto max = index(argv[5]);
  const auto channels = static_cast<std::size_t>(got.info.channels);
  if ((got.info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT) {
    std::printf("%s is not 32-bit float (libsndfile format 0x%x)\n", argv[3], got.info.format);
    return 1;
  }
  if (ref.info.channels != 1 || channel >= channels) {
    std::printf("%s has %zu channels, no channel %zu\n", argv[3], channels, channel);
    return 1;
  }
  const std::size_t frames = got.samples.size() / channels;
  const auto at = [&](std::size_t frame) {
    return std::bit_cast<uint32_t>(got.samples[frame * channels + channel]);
  };
  for (std::size_t offset = 0; offset <= max && offset + ref.samples.size() <= frames; ++offset) {
    std::size_t i = 0;
    while (i < ref.samples.size() && at(offset + i) == std::bit_cast<uint32_t>(ref.samples[i])) {
      ++i;
    }
    if (i == ref.samples.size()) {
      std::printf("offset=%zu after=%zu\n", offset, frames - offset - i);
      return 0;
    }
  }
  // No offset fits: show the first difference at offset 0.
  std::size_t i = 0;
  while (i < ref.samples.size() && i < frames && at(i) == std::bit_cast<uint32_t>(ref.samples[i])) {
    ++i;
  }
  if (i < ref.samples.size() && i < frames) {
    std::printf("no offset up to %zu: frame %zu holds %s, %s has %s\n", max, i,
                text(got.samples[i * channels + channel]).c_str(), argv[2],
                text(ref.samples[i]).c_str());
  } else {
    std::printf("no offset up to %zu: %zu frames, %s has %zu\n", max, frames, argv[2],
                ref.samples.size());
  }
  return 1;
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
  if (command == "merge" && argc >= 4) {
    return merge(argc, argv);
  }
  if (command == "match" && argc == 6) {
    return match(argv);
  }
  if (command.empty()) {
    std::fprintf(stderr,
                 "usage: wav_probe info|runs|at|range|write|merge|match|tmpfile FILE ...\n");
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
