#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tools/render/failure.hpp"
#include "tools/render/gnuplot.hpp"
#include "tools/render/interrupt.hpp"
#include "tools/render/output.hpp"

namespace render {
namespace {

// Beyond this many frames a panel shows the minimum and maximum of each
// stretch of frames instead: the same picture, and gnuplot stays quick.
constexpr std::size_t max_rows = 4000;

// Signals share a panel by direction; each control has a panel of its own,
// half as tall, so that equal values or a small range are not hidden behind
// another control. A switch (toggled, or whole numbers from 0 to 1) is drawn
// from -0.3 to 1.3 with ticks at 0 and 1.
struct Panel {
  std::string label;
  std::vector<const PortInfo*> ports;
  int weight = 2;
  bool is_switch = false;
};

bool is_switch(const PortInfo& port) {
  return port.toggled ||
         (port.integer && port.has_range && port.minimum == 0.0f && port.maximum == 1.0f);
}

// "inputs (ms)" when every port of the panel has that unit.
std::string label_with_unit(const std::string& label, const std::vector<const PortInfo*>& ports) {
  const std::string& unit = ports.front()->unit;
  for (const PortInfo* port : ports) {
    if (port->unit != unit) {
      return label;
    }
  }
  return unit.empty() ? label : label + " (" + unit + ")";
}

std::vector<Panel> make_panels(const std::vector<PortInfo>& ports) {
  Panel inputs{"inputs", {}}, outputs{"outputs", {}};
  std::vector<Panel> controls;
  for (const PortInfo& port : ports) {
    if (!is_recorded(port)) {
      continue;
    }
    if (port.kind == PortKind::control) {
      controls.push_back({port.symbol, {&port}, 1, is_switch(port)});
    } else {
      (port.is_input ? inputs : outputs).ports.push_back(&port);
    }
  }
  std::vector<Panel> panels;
  if (!inputs.ports.empty()) {
    panels.push_back(inputs);
  }
  panels.insert(panels.end(), controls.begin(), controls.end());
  if (!outputs.ports.empty()) {
    panels.push_back(outputs);
  }
  for (Panel& panel : panels) {
    panel.label = label_with_unit(panel.label, panel.ports);
  }
  return panels;
}

// A string inside single quotes, where gnuplot reads '' as one quote.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c == '\'' ? "''" : std::string(1, c);
  }
  return out + "'";
}

std::string number(double value) {
  if (!std::isfinite(value)) {
    return "NaN";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// The panel's y range with a margin, so that no line runs along the frame.
std::pair<double, double> y_range(const Panel& panel, const PlotTracks& tracks) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const PortInfo* port : panel.ports) {
    for (const PlotTracks::Row& row : tracks.rows(port->index)) {
      if (std::isfinite(row.value)) {
        lo = std::min(lo, static_cast<double>(row.value));
        hi = std::max(hi, static_cast<double>(row.value));
      }
    }
  }
  if (lo > hi) {
    return {-1.0, 1.0};
  }
  const double margin = hi > lo ? (hi - lo) * 0.08 : std::max(1.0, std::fabs(lo) * 0.1);
  return {lo - margin, hi + margin};
}

// One port's data block: time and value.
std::string data_block(const std::string& name, const std::vector<PlotTracks::Row>& rows,
                       uint32_t rate) {
  std::string out = name + " << EOD\n";
  for (const PlotTracks::Row& row : rows) {
    out += number(static_cast<double>(row.frame) / rate) + ' ' +
           number(static_cast<double>(row.value)) + '\n';
  }
  return out + "EOD\n";
}

std::string script(const std::string& title, const std::vector<Panel>& panels,
                   const PlotTracks& tracks, uint64_t frames, uint32_t rate) {
  int weights = 0;
  for (const Panel& panel : panels) {
    weights += panel.weight;
  }
  const int top = 40, bottom = 50, unit = 130;
  const int height = top + bottom + unit * weights;
  std::string gp = "set terminal pngcairo size 1000," + std::to_string(height) +
                   " noenhanced font 'sans,10'\n";  // to stdout
  gp += "set multiplot title " + quoted(title) + " font ',12'\n";
  gp += "set grid\nset key outside right top\nset lmargin 12\nset rmargin 18\n";
  gp += "set xrange [0:" + number(static_cast<double>(frames) / rate) + "]\n";
  int upper = top;  // pixels from the top
  for (std::size_t p = 0; p < panels.size(); ++p) {
    const Panel& panel = panels[p];
    const int lower = upper + unit * panel.weight;
    auto screen = [&](int pixels) { return number(1.0 - static_cast<double>(pixels) / height); };
    gp += "set tmargin at screen " + screen(upper) + "\n";
    gp += "set bmargin at screen " + screen(lower - 22) + "\n";
    std::string plot = "plot ";
    for (std::size_t i = 0; i < panel.ports.size(); ++i) {
      const PortInfo& port = *panel.ports[i];
      const std::string name = "$port" + std::to_string(port.index);
      gp += data_block(name, tracks.rows(port.index), rate);
      plot += (i == 0 ? "" : ", ") + name + " using 1:2 with lines linewidth 1.5 title " +
              quoted(port.symbol);
    }
    gp += "set ylabel " + quoted(panel.label) + "\n";
    if (panel.is_switch) {
      gp += "set yrange [-0.3:1.3]\nset ytics 1\n";
    } else {
      const auto [lo, hi] = y_range(panel, tracks);
      gp += "set yrange [" + number(lo) + ":" + number(hi) + "]\nset ytics autofreq\n";
    }
    gp += p + 1 == panels.size() ? "set xlabel 'time (s)'\nset format x '%g'\n"
                                 : "unset xlabel\nset format x ''\n";
    gp += plot;
    gp += "\n";
    upper = lower;
  }
  return gp + "unset multiplot\nset output\n";
}

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) {
      end = dirs.size();
    }
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    if (access((dir + "/" + program).c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

PlotTracks::PlotTracks(const std::vector<PortInfo>& ports, uint64_t frames)
    : frames_(frames), buckets_(frames <= max_rows ? frames : max_rows / 2) {
  tracks_.resize(ports.size());
  for (const PortInfo& port : ports) {
    if (is_recorded(port)) {
      Track& track = tracks_[port.index];
      track.rows.reserve(frames <= max_rows ? static_cast<std::size_t>(frames) : max_rows);
      track.bucket_end = frames_ / buckets_;
    }
  }
}

// Of each stretch of frames, the lowest and the highest sample in the order
// they came: the same picture as every frame, and gnuplot stays quick.
void PlotTracks::close_bucket(Track& track) {
  const bool low_first = track.low.frame <= track.high.frame;
  track.rows.push_back(low_first ? track.low : track.high);
  if (track.low.frame != track.high.frame) {
    track.rows.push_back(low_first ? track.high : track.low);
  }
  track.open = false;
  ++track.bucket;
  track.bucket_end = (track.bucket + 1) * frames_ / buckets_;
}

void PlotTracks::take(const PortInfo& port, const float* samples, uint32_t n) {
  Track& track = tracks_[port.index];
  for (uint32_t k = 0; k < n; ++k, ++track.next) {
    const Row row{track.next, samples[k]};
    if (!track.open) {
      track.low = track.high = row;
      track.open = true;
    } else if (row.value < track.low.value) {
      track.low = row;
    } else if (row.value > track.high.value) {
      track.high = row;
    }
    if (track.next + 1 == track.bucket_end) {
      close_bucket(track);
    }
  }
}

void check_gnuplot() {
  if (!on_path("gnuplot")) {
    throw Failure("--plot needs gnuplot, which is not on PATH (Debian package gnuplot-nox)");
  }
}

void draw_plot(TempFile& png, const std::string& title, const std::vector<PortInfo>& ports,
               const PlotTracks& tracks, uint64_t frames, uint32_t rate) {
  std::vector<Panel> panels = make_panels(ports);
  if (panels.empty()) {
    throw Failure("nothing to plot: the plugin has no audio, CV or control port");
  }
  std::size_t written = 0;
  const int status = run_gnuplot(script(title, panels, tracks, frames, rate), png, written);
  stop_if_interrupted();  // gnuplot got the same Ctrl-C
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || written == 0) {
    throw Failure(WIFEXITED(status) && WEXITSTATUS(status) == 127
                      ? "gnuplot is not installed (Debian package gnuplot-nox)"
                      : "gnuplot could not draw " + png.shown());
  }
  png.sync();
}

}  // namespace render
