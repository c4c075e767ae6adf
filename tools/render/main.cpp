// zul-render: runs one LV2 plugin offline and writes what its ports carried.
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include "tools/render/cli.hpp"
#include "tools/render/failure.hpp"
#include "tools/render/interrupt.hpp"
#include "tools/render/output.hpp"
#include "tools/render/output_target.hpp"
#include "tools/render/plan.hpp"
#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"

namespace {

// Everything that can fail before rendering is checked first, in the order
// plugin, ports and values, inputs, features and instantiation, outputs; the
// files are moved into place only when all of them are complete.
int render_with(const render::Settings& settings) {
  const render::Plugin plugin(settings.plugin);
  if (settings.list_ports) {
    std::fputs(render::port_list(plugin).c_str(), stdout);
    return 0;
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
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  render::catch_interrupts();
  try {
    const render::Settings settings = render::parse_command_line(argc, argv);
    if (settings.help) {
      std::fputs(render::help_text().c_str(), stdout);
      return 0;
    }
    return render_with(settings);
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
