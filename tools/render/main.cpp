// zul-render: runs one LV2 plugin offline and writes what its ports carried.
#include <sndfile.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "tools/render/cli.hpp"
#include "tools/render/failure.hpp"
#include "tools/render/help.hpp"
#include "tools/render/interrupt.hpp"
#include "tools/render/notes.hpp"
#include "tools/render/output.hpp"
#include "tools/render/output_target.hpp"
#include "tools/render/plan.hpp"
#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// --list, --ports and --version on stdout; a reader gone is a failure.
int print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0) {
    render::stop_if_interrupted();
    throw render::Failure("cannot write to stdout: " + std::string(std::strerror(errno)));
  }
  return 0;
}

// "wrote render/ (4 WAV files) and render.png: 48000 frames, 1 s at 48000 Hz, in 0.2 s"
std::string what_was_written(const render::Settings& settings, std::size_t wavs,
                             const render::Plan& plan, Clock::time_point start) {
  std::string files;
  if (wavs > 0) {
    files = settings.out_dir + "/ (" + std::to_string(wavs) + " WAV file" + (wavs == 1 ? "" : "s") +
            ")";
  }
  if (!settings.plot.empty()) {
    files += (files.empty() ? "" : " and ") + settings.plot;
  }
  char taken[32];
  std::snprintf(taken, sizeof taken, "%.2f",
                std::chrono::duration<double>(Clock::now() - start).count());
  return "wrote " + files + ": " + std::to_string(plan.frames) + " frames, " +
         render::show(static_cast<double>(plan.frames) / plan.rate) + " s at " +
         std::to_string(plan.rate) + " Hz, in " + taken + " s";
}

// Everything that can fail before rendering is checked first, in the order
// plugin, ports and values, inputs, features and instantiation, outputs; the
// files are moved into place only when all of them are complete.
int render_with(const render::Settings& settings, Clock::time_point start) {
  const render::Plugin plugin(settings.plugin);
  if (settings.list_ports) {
    return print(render::port_list(plugin));
  }
  render::Plan plan = render::make_plan(plugin, settings);
  render::Renderer renderer(plugin, plan);
  std::vector<render::Recorder*> recorders;
  std::vector<const render::OutputTarget*> targets;
  std::unique_ptr<render::WavFiles> wavs;
  if (!settings.out_dir.empty()) {
    wavs = std::make_unique<render::WavFiles>(settings.out_dir, plugin.ports());
    targets = wavs->targets();
  }
  std::unique_ptr<render::OutputTarget> plot;
  if (!settings.plot.empty()) {
    plot =
        std::make_unique<render::OutputTarget>(render::resolve_output(settings.plot, "the plot"));
    targets.push_back(plot.get());
  }
  render::refuse_shared_files(targets);
  if (wavs) {
    wavs->open(plan.rate, plan.frames);
    recorders.push_back(wavs.get());
  }
  std::unique_ptr<render::TempFile> png;
  std::unique_ptr<render::PlotTracks> tracks;
  if (plot) {
    png = std::make_unique<render::TempFile>(*plot);
    render::check_gnuplot();
    tracks = std::make_unique<render::PlotTracks>(plugin.ports(), plan.frames);
    recorders.push_back(tracks.get());
  }

  renderer.run(recorders);
  if (wavs) {
    wavs->finish();
  }
  if (png) {
    const std::string title = plugin.name() + " (" + std::to_string(plan.rate) + " Hz, blocks of " +
                              std::to_string(plan.block) + ")";
    render::draw_plot(*png, title, plugin.ports(), *tracks, plan.frames, plan.rate);
  }
  render::stop_if_interrupted();
  if (wavs) {
    wavs->commit();
  }
  if (png) {
    png->commit();
  }
  render::say(what_was_written(settings, wavs ? wavs->targets().size() : 0, plan, start));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point start = Clock::now();
  render::catch_interrupts();
  try {
    const render::Settings settings = render::parse_command_line(argc, argv);
    render::set_quiet(settings.quiet);
    if (settings.help) {
      return print(render::help_text(render::help_sections(render::default_lv2_path())));
    }
    if (settings.version) {
      return print(std::string("zul-render ") + ZUL_RENDER_VERSION + " (zul-cv), with " +
                   sf_version_string() + "\n");
    }
    if (settings.list_plugins) {
      return print(render::plugin_list());
    }
    return render_with(settings, start);
  } catch (const render::Interrupted& stop) {
    std::fprintf(stderr, "zul-render: %s\n", stop.what());
    return 128 + stop.signal;
  } catch (const render::UsageError& error) {
    std::fprintf(stderr, "zul-render: %s\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zul-render: %s\n", error.what());
    return 1;
  }
}
