// port_table_dump: prints tests/port_table.hpp for the shell tests that hold
// it against what other hosts show, one port a line:
//   PLUGIN INDEX SYMBOL input|output cv|control DEFAULT MINIMUM MAXIMUM HINT UNIT GROUP
// with the numbers as %g, HINT none, toggled or enumeration, UNIT the units:
// fragment (or volt) or "-", and GROUP the symbol of its group or "-".
#include <cstdio>

#include "tests/port_table.hpp"

int main() {
  for (const ports::Plugin& plugin : ports::table()) {
    for (const ports::Port& port : plugin.ports) {
      const char* hint = port.hint == ports::Hint::toggled       ? "toggled"
                         : port.hint == ports::Hint::enumeration ? "enumeration"
                                                                 : "none";
      std::printf("%s %u %s %s %s %g %g %g %s %s %s\n", plugin.name, port.index, port.symbol,
                  port.direction == ports::in ? "input" : "output",
                  port.kind == ports::cv ? "cv" : "control",
                  static_cast<double>(port.default_value), static_cast<double>(port.minimum),
                  static_cast<double>(port.maximum), hint, port.unit ? port.unit : "-",
                  port.group ? port.group : "-");
    }
  }
  return 0;
}
