// Turns the command line into a plan for one plugin, checking every port
// symbol, port kind and value against what the plugin declares.
#pragma once

#include "tools/render/cli.hpp"
#include "tools/render/plugin.hpp"
#include "tools/render/run.hpp"

namespace render {

Plan make_plan(const Plugin& plugin, const Settings& settings);

}  // namespace render
