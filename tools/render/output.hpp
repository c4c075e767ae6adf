// Where a render goes: one WAV file per port, and a plot drawn by gnuplot.
// Both are written under temporary names and moved into place at the end.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"
#include "tools/render/temp_file.hpp"

namespace render {

// DIR/<symbol>.wav for every audio, CV and control port: mono 32-bit float
// at the render's rate, without a PEAK chunk (it carries a time stamp), so
// that one render always gives the same bytes. A file that would pass 4 GiB
// is RF64, whose sizes take 64 bits; any other is a plain WAV.
class WavFiles : public Recorder {
 public:
  // Creates DIR if missing and finds where each file goes; opens nothing.
  WavFiles(const std::string& dir, const std::vector<PortInfo>& ports);
  ~WavFiles() override;
  WavFiles(const WavFiles&) = delete;
  WavFiles& operator=(const WavFiles&) = delete;

  std::vector<const OutputTarget*> targets() const;
  void open(uint32_t rate, uint64_t frames);
  void take(const PortInfo& port, const float* samples, uint32_t n) override;
  // Completes the files, each read back and synced, still unseen.
  void finish();
  void commit();

 private:
  struct File {
    std::unique_ptr<OutputTarget> target;  // none for ports not written
    std::unique_ptr<TempFile> temp;
    SNDFILE* handle = nullptr;
    uint64_t frames = 0;
  };
  void finish(File& file);
  std::vector<File> files_;  // by port index
};

bool needs_rf64(uint64_t frames);

// A bounded copy of every recorded port for the plot: all frames of a short
// render, the lowest and highest sample of each stretch of a long one.
class PlotTracks : public Recorder {
 public:
  struct Row {
    uint64_t frame;
    float value;
  };
  PlotTracks(const std::vector<PortInfo>& ports, uint64_t frames);
  void take(const PortInfo& port, const float* samples, uint32_t n) override;
  const std::vector<Row>& rows(uint32_t port) const { return tracks_[port].rows; }

 private:
  struct Track {
    std::vector<Row> rows;
    uint64_t next = 0;    // the frame the next sample is
    uint64_t bucket = 0;  // the stretch it falls in, and where that ends
    uint64_t bucket_end = 0;
    Row low{}, high{};
    bool open = false;  // low and high hold the stretch's samples so far
  };
  void close_bucket(Track& track);
  uint64_t frames_;
  uint64_t buckets_;
  std::vector<Track> tracks_;
};

// gnuplot is found on PATH, or a Failure says how to install it.
void check_gnuplot();

// A PNG of the inputs, each control and the outputs against time, with a
// legend by port symbol: gnuplot writes it into a pipe, and every byte goes
// into `png` (a temporary) by a checked write.
void draw_plot(TempFile& png, const std::string& title, const std::vector<PortInfo>& ports,
               const PlotTracks& tracks, uint64_t frames, uint32_t rate);

}  // namespace render
