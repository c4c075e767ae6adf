// zul-render: runs one LV2 plugin offline and writes what its ports carried.
#include <cstdio>
#include <exception>
#include <memory>

#include "tools/render/cli.hpp"
#include "tools/render/failure.hpp"
#include "tools/render/output.hpp"
#include "tools/render/plan.hpp"
#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"

namespace {

void list_ports(const render::Plugin& plugin) {
  std::printf("%s\n%s\n", plugin.uri().c_str(), plugin.name().c_str());
  for (const render::PortInfo& port : plugin.ports()) {
    std::printf("%3u %-16s %-7s %-6s", port.index, port.symbol.c_str(), kind_name(port.kind),
                port.is_input ? "input" : "output");
    if (port.kind == render::PortKind::control && port.is_input) {
      std::printf(" default %g", static_cast<double>(port.default_value));
    }
    if (port.has_range) {
      std::printf(" range %g to %g", static_cast<double>(port.minimum),
                  static_cast<double>(port.maximum));
    }
    std::printf("  \"%s\"\n", port.name.c_str());
  }
}

int render_with(const render::Settings& settings) {
  const render::Plugin plugin(settings.plugin);
  if (settings.list_ports) {
    list_ports(plugin);
    return 0;
  }
  const render::Plan plan = render::make_plan(plugin, settings);
  std::unique_ptr<render::WavFiles> wavs;
  if (!settings.out_dir.empty()) {
    wavs = std::make_unique<render::WavFiles>(settings.out_dir, plugin.ports(), plan.rate);
  }
  if (!settings.plot.empty()) {
    render::check_writable(settings.plot);
  }
  const render::Recording recording = render::run_plugin(plugin, plan);
  if (wavs) {
    wavs->write(recording);
  }
  if (!settings.plot.empty()) {
    const std::string title = plugin.name() + " (" + std::to_string(plan.rate) + " Hz, blocks of " +
                              std::to_string(plan.block) + ")";
    render::draw_plot(settings.plot, title, plugin.ports(), recording, plan.rate);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const render::Settings settings = render::parse_command_line(argc, argv);
    if (settings.help) {
      std::fputs(render::help_text().c_str(), stdout);
      return 0;
    }
    return render_with(settings);
  } catch (const render::UsageError& error) {
    std::fprintf(stderr, "zul-render: %s\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zul-render: %s\n", error.what());
    return 1;
  }
}
