// What zul-render says on stderr besides errors: notes and warnings on what
// it does with the input it was given, and the line that reports success.
// --quiet silences all of them; errors are always said.
#pragma once

#include <string>

namespace render {

void set_quiet(bool quiet);
// "zul-render: note: TEXT", "zul-render: warning: TEXT", "zul-render: TEXT".
void note(const std::string& text);
void warn(const std::string& text);
void say(const std::string& text);

}  // namespace render
