// The signals fed to audio and CV inputs: built-in generators and sound files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// The first frame at or after `seconds`; a time that lies on a frame (0.05 s
// at 1000 Hz) gives that frame even where the product rounds just above it.
uint64_t first_frame_at(double seconds, uint32_t rate);

// `source` is a number (a constant), GENERATOR[,PARAM=VALUE...] or a file name.
std::vector<float> make_input(const std::string& source, uint32_t rate, uint64_t frames);

}  // namespace render
