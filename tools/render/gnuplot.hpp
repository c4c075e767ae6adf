// gnuplot run on a script, its PNG taken from a pipe and written into a
// temporary by checked writes, so that a full disk is seen as one.
#pragma once

#include <cstddef>
#include <string>

#include "tools/render/temp_file.hpp"

namespace render {

// gnuplot's exit status as waitpid gives it; `written` counts the bytes of
// the PNG. A signal noted meanwhile stops it with an Interrupted.
int run_gnuplot(const std::string& script, TempFile& png, std::size_t& written);

}  // namespace render
