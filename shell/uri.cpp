// The plugin's URI: the one thing in the code that tells a plugin's CV form
// from its audio-port form. Each library compiles its own copy with its own
// ZUL_PLUGIN_URI; the plugin's objects, run() among them, are the same.
#include "shell/plugin.hpp"

const char zul::plugin_uri[] = ZUL_PLUGIN_URI;
