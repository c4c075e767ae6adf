// The two ways a render stops early; main() prints the message on one line.
#pragma once

#include <stdexcept>
#include <string>

namespace render {

// A command line that cannot be read: exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Anything else that stops a render: exit status 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A number as the messages and the plot show it: shortest %g form.
std::string show(double value);

}  // namespace render
