// The signals fed to audio and CV inputs: built-in generators and sound files,
// produced block by block so that a long render holds one block of each.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace render {

// The first frame at or after `seconds`; a time that lies on a frame (0.05 s
// at 1000 Hz) gives that frame even where the product rounds just above it.
uint64_t first_frame_at(double seconds, uint32_t rate);

// Fills one block after another, from frame 0 on.
class Source {
 public:
  virtual ~Source() = default;
  virtual void fill(float* out, uint32_t n) = 0;
};

// `source` is a number (a constant), GENERATOR[,PARAM=VALUE...] or a file
// name; a file is opened and checked now. `symbol` names the input in notes.
std::unique_ptr<Source> open_input(const std::string& source, const std::string& symbol,
                                   uint32_t rate, uint64_t frames);

// The value of a constant source (a number, or the constant generator), for
// the range check; none for any other.
std::optional<double> constant_value(const std::string& source);

}  // namespace render
