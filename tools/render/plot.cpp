#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tools/render/failure.hpp"
#include "tools/render/output.hpp"

namespace render {
namespace {

// Beyond this many frames a panel shows the minimum and maximum of each
// stretch of frames instead: the same picture, and gnuplot stays quick.
constexpr std::size_t max_rows = 4000;

struct Panel {
  const char* label;
  std::vector<const PortInfo*> ports;
};

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
std::pair<double, double> y_range(const Panel& panel, const Recording& recording) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const PortInfo* port : panel.ports) {
    for (float v : recording[port->index]) {
      if (std::isfinite(v)) {
        lo = std::min(lo, static_cast<double>(v));
        hi = std::max(hi, static_cast<double>(v));
      }
    }
  }
  if (lo > hi) {
    return {-1.0, 1.0};
  }
  const double margin = hi > lo ? (hi - lo) * 0.08 : std::max(1.0, std::fabs(lo) * 0.1);
  return {lo - margin, hi + margin};
}

// One port's data block: time and value. A long track keeps, of each stretch
// of frames, the lowest and the highest sample in the order they came.
std::string data_block(const std::string& name, const std::vector<float>& track, uint32_t rate) {
  std::string out = name + " << EOD\n";
  auto row = [&](std::size_t frame) {
    out += number(static_cast<double>(frame) / rate) + ' ' +
           number(static_cast<double>(track[frame])) + '\n';
  };
  if (track.size() <= max_rows) {
    for (std::size_t i = 0; i < track.size(); ++i) {
      row(i);
    }
  } else {
    const std::size_t buckets = max_rows / 2;
    for (std::size_t b = 0; b < buckets; ++b) {
      const auto first = track.begin() + static_cast<std::ptrdiff_t>(b * track.size() / buckets);
      const auto end =
          track.begin() + static_cast<std::ptrdiff_t>((b + 1) * track.size() / buckets);
      const auto [low, high] = std::minmax_element(first, end);
      const auto a = static_cast<std::size_t>(std::min(low, high) - track.begin());
      const auto z = static_cast<std::size_t>(std::max(low, high) - track.begin());
      row(a);
      if (z != a) {
        row(z);
      }
    }
  }
  return out + "EOD\n";
}

std::string script(const std::string& path, const std::string& title,
                   const std::vector<Panel>& panels, const Recording& recording, uint32_t rate) {
  const std::size_t frames = recording[panels.front().ports.front()->index].size();
  const int height = 80 + 260 * static_cast<int>(panels.size());
  std::string gp = "set terminal pngcairo size 1000," + std::to_string(height) +
                   " noenhanced font 'sans,10'\n"
                   "set output " +
                   quoted(path) + "\n";
  gp += "set multiplot layout " + std::to_string(panels.size()) + ",1 title " + quoted(title) +
        " font ',12'\n";
  gp += "set grid\nset key outside right top\nset lmargin 10\nset rmargin 18\n";
  gp += "set xrange [0:" + number(static_cast<double>(frames) / rate) + "]\n";
  for (std::size_t p = 0; p < panels.size(); ++p) {
    const Panel& panel = panels[p];
    const auto [lo, hi] = y_range(panel, recording);
    std::string plot = "plot ";
    for (std::size_t i = 0; i < panel.ports.size(); ++i) {
      const PortInfo& port = *panel.ports[i];
      const std::string name = "$port" + std::to_string(port.index);
      gp += data_block(name, recording[port.index], rate);
      plot += (i == 0 ? "" : ", ") + name + " using 1:2 with lines linewidth 1.5 title " +
              quoted(port.symbol);
    }
    gp += "set ylabel " + quoted(panel.label) + "\n";
    gp += "set yrange [" + number(lo) + ":" + number(hi) + "]\n";
    gp += p + 1 == panels.size() ? "set xlabel 'time (s)'\n" : "unset xlabel\n";
    gp += plot;
    gp += "\n";
  }
  return gp + "unset multiplot\nset output\n";
}

}  // namespace

void draw_plot(const std::string& path, const std::string& title,
               const std::vector<PortInfo>& ports, const Recording& recording, uint32_t rate) {
  std::vector<Panel> panels = {{"inputs", {}}, {"controls", {}}, {"outputs", {}}};
  for (const PortInfo& port : ports) {
    if (!is_recorded(port)) {
      continue;
    }
    const std::size_t which = port.kind == PortKind::control ? 1 : port.is_input ? 0 : 2;
    panels[which].ports.push_back(&port);
  }
  std::erase_if(panels, [](const Panel& panel) { return panel.ports.empty(); });
  if (panels.empty()) {
    throw Failure("nothing to plot: the plugin has no audio, CV or control port");
  }
  const std::string text = script(path, title, panels, recording, rate);

  std::signal(SIGPIPE, SIG_IGN);  // a gnuplot that dies early is reported below
  std::FILE* gnuplot = popen("gnuplot", "w");
  if (gnuplot == nullptr) {
    throw Failure("cannot start gnuplot: " + std::string(std::strerror(errno)));
  }
  std::fwrite(text.data(), 1, text.size(), gnuplot);
  const int status = pclose(gnuplot);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Failure(WIFEXITED(status) && WEXITSTATUS(status) == 127
                      ? "gnuplot is not installed (Debian package gnuplot-nox)"
                      : "gnuplot could not draw " + path);
  }
}

}  // namespace render
