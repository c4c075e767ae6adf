#include <cerrno>
#include <cstdio>
#include <cstring>
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
  for (const PortInfo& port : ports) {
    if (!is_recorded(port)) {
      continue;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const std::string path = dir + "/" + port.symbol + ".wav";
    SNDFILE* handle = sf_open(path.c_str(), SFM_WRITE, &info);
    if (handle == nullptr) {
      const std::string reason = sf_strerror(nullptr);
      for (const File& opened : files_) {
        sf_close(opened.handle);
      }
      throw Failure("cannot write " + path + ": " + reason);
    }
    files_.push_back({port.index, path, handle});
  }
}

WavFiles::~WavFiles() {
  for (const File& file : files_) {
    sf_close(file.handle);
  }
}

void WavFiles::write(const Recording& recording) {
  for (const File& file : files_) {
    const auto& track = recording[file.port];
    const auto frames = static_cast<sf_count_t>(track.size());
    if (sf_writef_float(file.handle, track.data(), frames) != frames) {
      throw Failure("cannot write " + file.path + ": " + sf_strerror(file.handle));
    }
  }
}

void check_writable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    throw Failure("cannot write " + path + ": " + std::strerror(errno));
  }
  std::fclose(file);
}

}  // namespace render
