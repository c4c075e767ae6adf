#include <unistd.h>

#include <filesystem>

#include "tools/render/failure.hpp"
#include "tools/render/output.hpp"

namespace render {

WavFiles::WavFiles(const std::string& dir, const std::vector<PortInfo>& ports) {
  std::error_code error;
  if (std::filesystem::is_regular_file(dir, error)) {
    throw Failure("--out " + dir +
                  ": that is a file; --out takes a directory, where a WAV file is written for "
                  "each port");
  }
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    throw Failure("cannot create the output directory " + dir + ": " +
                  (error ? error.message() : "a file is in the way"));
  }
  files_.resize(ports.size());
  for (const PortInfo& port : ports) {
    if (is_recorded(port)) {
      files_[port.index].target = std::make_unique<OutputTarget>(
          resolve_output(dir + "/" + port.symbol + ".wav", "the WAV file of " + port.symbol));
    }
  }
}

WavFiles::~WavFiles() {
  for (const File& file : files_) {
    if (file.handle != nullptr) {
      sf_close(file.handle);
    }
  }
}

std::vector<const OutputTarget*> WavFiles::targets() const {
  std::vector<const OutputTarget*> targets;
  for (const File& file : files_) {
    if (file.target) {
      targets.push_back(file.target.get());
    }
  }
  return targets;
}

// The frame count is known before the first sample: a file whose RIFF sizes
// could not count it is RF64 from the start, and any other stays the plain
// WAV it always was (libsndfile's RF64 downgraded on close would be a
// WAVE_FORMAT_EXTENSIBLE with a JUNK chunk instead).
bool needs_rf64(uint64_t frames) {
  constexpr uint64_t largest_riff = 0xFFFFFFFFu;
  constexpr uint64_t header = 1024;  // far more than WAV's 44 bytes
  return frames * sizeof(float) + header > largest_riff;
}

void WavFiles::open(uint32_t rate, uint64_t frames) {
  for (File& file : files_) {
    if (!file.target) {
      continue;
    }
    file.temp = std::make_unique<TempFile>(*file.target);
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = (needs_rf64(frames) ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
    file.handle = sf_open_fd(file.temp->fd(), SFM_WRITE, &info, SF_FALSE);
    if (file.handle == nullptr) {
      throw Failure("cannot write " + file.temp->shown() + ": " + sf_strerror(nullptr));
    }
    sf_command(file.handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  }
}

void WavFiles::take(const PortInfo& port, const float* samples, uint32_t n) {
  File& file = files_[port.index];
  if (sf_writef_float(file.handle, samples, n) != n) {
    throw Failure("cannot write " + file.temp->shown() + ": " + sf_strerror(file.handle));
  }
  file.frames += n;
}

// libsndfile writes the header last, on close, and does not say whether that
// write went through: the header read back must count every frame written.
void WavFiles::finish(File& file) {
  const int status = sf_close(file.handle);
  file.handle = nullptr;
  if (status != 0) {
    throw Failure("cannot write " + file.temp->shown() + ": " + sf_error_number(status));
  }
  SF_INFO info{};
  const int copy = dup(file.temp->fd());
  SNDFILE* back = nullptr;
  if (copy >= 0 && lseek(copy, 0, SEEK_SET) == 0) {
    back = sf_open_fd(copy, SFM_READ, &info, SF_TRUE);  // closes the copy, even when it fails
  } else if (copy >= 0) {
    close(copy);
  }
  const bool whole = back != nullptr && static_cast<uint64_t>(info.frames) == file.frames;
  if (back != nullptr) {
    sf_close(back);
  }
  if (!whole) {
    throw Failure("cannot write " + file.temp->shown() + ": its header did not go through");
  }
  file.temp->sync();
}

void WavFiles::finish() {
  for (File& file : files_) {
    if (file.handle != nullptr) {
      finish(file);
    }
  }
}

void WavFiles::commit() {
  for (File& file : files_) {
    if (file.temp) {
      file.temp->commit();
    }
  }
}

}  // namespace render
