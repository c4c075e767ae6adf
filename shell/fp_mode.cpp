// Sets the loading thread's floating-point mode when the library is loaded.
// The whole control register is written, so the mode does not depend on what
// the host had set before. Unmasking the exceptions would turn the first NaN
// or overflow in the host thread into SIGFPE: they stay masked.
#include "shell/fp_mode.hpp"

namespace zul {
namespace {

__attribute__((constructor)) void set_fp_mode() {
  fp::write(fp::plugin_mode);
}

}  // namespace
}  // namespace zul
