#include "tools/render/cli.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tools/render/failure.hpp"

namespace render {
namespace {

// Splits SYMBOL=VALUE; the option name goes into the message. Spaces around
// either side are dropped: no port symbol, number or generator has one at
// its ends, and "rise_time = 5" is what was meant.
std::pair<std::string, std::string> split_assignment(const std::string& text,
                                                     const std::string& option) {
  const auto equals = text.find('=');
  const std::string symbol = trim(text.substr(0, std::min(equals, text.size())));
  const std::string value = equals == std::string::npos ? "" : trim(text.substr(equals + 1));
  if (symbol.empty() || value.empty()) {
    throw UsageError(option + " expects SYMBOL=VALUE, got '" + text + "'");
  }
  return {symbol, value};
}

ControlValue control_value(const std::string& text, const std::string& option) {
  auto [symbol, value] = split_assignment(text, option);
  return {symbol, static_cast<float>(parse_number(value, option + " " + symbol)), value};
}

uint32_t whole_number(const std::string& text, const std::string& option, uint32_t limit) {
  const double value = parse_number(text, option);
  if (!(value >= 1.0 && value <= limit) || std::floor(value) != value) {
    throw UsageError(option + " takes a whole number from 1 to " + std::to_string(limit) +
                     ", got '" + text + "'");
  }
  return static_cast<uint32_t>(value);
}

// An option that names one output, or the preset, may be given once: a
// second one would silently drop the first.
std::string once(const std::string& option, const std::string& earlier, const std::string& value,
                 const std::string& why = "one render writes one of each") {
  if (!earlier.empty()) {
    throw UsageError(option + " given twice ('" + earlier + "' and '" + value + "'); " + why);
  }
  return value;
}

bool ends_with_png(const std::string& path) {
  if (path.size() < 4) {
    return false;
  }
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return extension == ".png";
}

// A control has one start value: a second --set would silently win.
void refuse_set_twice(const std::vector<ControlValue>& sets) {
  const ControlValue& last = sets.back();
  for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
    if (sets[i].symbol == last.symbol) {
      throw UsageError("--set " + last.symbol + " given twice (" + last.symbol + "=" +
                       sets[i].text + " and " + last.symbol + "=" + last.text +
                       "); --at changes a control during the render");
    }
  }
}

// Hands out the command-line words in order.
class Reader {
 public:
  Reader(int argc, char** argv) : argc_(argc), argv_(argv) {}

  bool done() const { return index_ >= argc_; }
  std::string take() { return argv_[index_++]; }
  std::string argument_of(const std::string& option) {
    if (done()) {
      throw UsageError(option + " needs a value (see --help)");
    }
    return take();
  }

 private:
  int argc_;
  char** argv_;
  int index_ = 1;
};

}  // namespace

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return "";
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string show(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

double parse_number(const std::string& text, const std::string& what) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    throw UsageError(what + ": '" + text + "' is not a number");
  }
  return value;
}

Settings parse_command_line(int argc, char** argv) {
  Settings settings;
  Reader reader(argc, argv);
  while (!reader.done()) {
    std::string option = reader.take();
    std::string inline_value;
    bool has_inline_value = false;
    if (option.starts_with("--")) {
      const auto equals = option.find('=');
      if (equals != std::string::npos) {
        inline_value = option.substr(equals + 1);
        option.resize(equals);
        has_inline_value = true;
      }
    }
    auto value = [&] { return has_inline_value ? inline_value : reader.argument_of(option); };

    if (option == "-h" || option == "--help") {
      settings.help = true;
    } else if (option == "--version") {
      settings.version = true;
    } else if (option == "--list") {
      settings.list_plugins = true;
    } else if (option == "-q" || option == "--quiet") {
      settings.quiet = true;
    } else if (option == "--ports") {
      settings.list_ports = true;
    } else if (option == "--rate") {
      settings.rate = whole_number(value(), option, max_rate);
    } else if (option == "--block") {
      settings.block = whole_number(value(), option, max_block);
    } else if (option == "--duration") {
      settings.duration = parse_number(value(), option);
      if (!(settings.duration > 0.0 && settings.duration <= max_duration)) {
        throw UsageError("--duration takes seconds above 0 and up to " +
                         std::to_string(static_cast<int>(max_duration)));
      }
    } else if (option == "--set") {
      settings.sets.push_back(control_value(value(), option));
      refuse_set_twice(settings.sets);
    } else if (option == "--at") {
      const std::string when = value();
      const double time = parse_number(when, option);
      if (!(time >= 0.0 && std::isfinite(time))) {
        throw UsageError("--at takes a time in seconds from 0 on, got '" + when + "'");
      }
      settings.changes.push_back({time, control_value(reader.argument_of(option), option)});
    } else if (option == "--preset") {
      const std::string preset = value();
      if (preset.empty()) {
        throw UsageError("--preset needs a preset's label, the start of one, or its URI");
      }
      settings.preset = once(option, settings.preset, preset, "a render starts from one preset");
      settings.sets_before_preset = settings.sets.size();
    } else if (option == "--input") {
      auto [symbol, source] = split_assignment(value(), option);
      for (const InputSpec& earlier : settings.inputs) {
        if (earlier.symbol == symbol) {
          throw UsageError("--input " + symbol + " given twice (" + symbol + "=" + earlier.source +
                           " and " + symbol + "=" + source + ")");
        }
      }
      settings.inputs.push_back({symbol, source});
    } else if (option == "--out") {
      settings.out_dir = once(option, settings.out_dir, value());
    } else if (option == "--plot") {
      settings.plot = once(option, settings.plot, value());
      if (!ends_with_png(settings.plot)) {
        throw UsageError("--plot writes a PNG: give a file name ending in .png, got '" +
                         settings.plot + "'");
      }
    } else if (option.starts_with("-") && option.size() > 1) {
      throw UsageError("unknown option '" + option + "' (see --help)");
    } else if (settings.plugin.empty()) {
      settings.plugin = option;
    } else {
      throw UsageError("one plugin at a time: '" + settings.plugin + "' and '" + option + "'");
    }
  }
  if (settings.help || settings.version || settings.list_plugins) {
    return settings;
  }
  if (settings.plugin.empty()) {
    throw UsageError("no plugin given (see --help)");
  }
  if (!settings.list_ports && settings.out_dir.empty() && settings.plot.empty()) {
    throw UsageError("nothing to write: give --out DIR and/or --plot FILE.png");
  }
  return settings;
}

}  // namespace render
