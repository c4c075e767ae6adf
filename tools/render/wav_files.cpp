#include <filesystem>

#include "tools/render/failure.hpp"
#include "tools/render/output.hpp"

namespace render {

WavFiles::WavFiles(const std::string& dir, const std::vector<PortInfo>& ports, uint32_t rate) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error || !std::filesystem::is_directory(dir)) {
    throw Failure("cannot create the output directory " + dir + ": " +
                  (error ? error.message() : "a file is in the way"));
  }
  files_.resize(ports.size());
  for (const PortInfo& port : ports) {
    if (!is_recorded(port)) {
      continue;
    }
    File& file = files_[port.index];
    file.temp = std::make_unique<TempFile>(dir + "/" + port.symbol + ".wav");
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file.handle = sf_open_fd(file.temp->take_fd(), SFM_WRITE, &info, SF_TRUE);
    if (file.handle == nullptr) {
      throw Failure("cannot write " + file.temp->path() + ": " + sf_strerror(nullptr));
    }
    sf_command(file.handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  }
}

WavFiles::~WavFiles() {
  for (const File& file : files_) {
    if (file.handle != nullptr) {
      sf_close(file.handle);
    }
  }
}

void WavFiles::take(const PortInfo& port, const float* samples, uint32_t n) {
  const File& file = files_[port.index];
  if (sf_writef_float(file.handle, samples, n) != n) {
    throw Failure("cannot write " + file.temp->path() + ": " + sf_strerror(file.handle));
  }
}

void WavFiles::finish() {
  for (File& file : files_) {
    if (file.handle != nullptr) {
      const int status = sf_close(file.handle);
      file.handle = nullptr;
      if (status != 0) {
        throw Failure("cannot write " + file.temp->path() + ": " + sf_error_number(status));
      }
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
