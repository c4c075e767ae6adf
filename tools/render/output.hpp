// Where a render goes: one WAV file per port, and a plot drawn by gnuplot.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"

namespace render {

// DIR/<symbol>.wav for every audio, CV and control port: mono 32-bit float
// at the render's rate. Opened before the render, so that a place that
// cannot be written fails before any work is done.
class WavFiles {
 public:
  WavFiles(const std::string& dir, const std::vector<PortInfo>& ports, uint32_t rate);
  ~WavFiles();
  WavFiles(const WavFiles&) = delete;
  WavFiles& operator=(const WavFiles&) = delete;

  void write(const Recording& recording);

 private:
  struct File {
    uint32_t port;
    std::string path;
    SNDFILE* handle;
  };
  std::vector<File> files_;
};

// Fails now if `path` cannot be written, rather than after the render.
void check_writable(const std::string& path);

// A PNG of the inputs, the controls and the outputs against time, one panel
// each, with a legend by port symbol.
void draw_plot(const std::string& path, const std::string& title,
               const std::vector<PortInfo>& ports, const Recording& recording, uint32_t rate);

}  // namespace render
