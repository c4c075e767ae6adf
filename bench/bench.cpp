// zul-bench: times each staged plugin's run, called through its descriptor as
// a host calls it, at several block sizes with separate buffers and at 256
// frames with each buffer-sharing case, beside the limit that bounds it. The
// usual Google Benchmark options apply; --table=FILE also writes the results
// as a Markdown table, --instructions=FILE adds the counts per sample that
// scripts/bench.sh got from callgrind ("<plugin> <count>" lines); --variant
// only names the variant of the plugins' loops this processor takes. The table
// opens with one line per plugin: its ratio at 256 frames against its target.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/limits.hpp"
#include "bench/rig.hpp"
#include "shell/variant.hpp"

namespace {

constexpr uint32_t block_sizes[] = {1, 16, 64, 128, 256, 1024, 4096};
constexpr uint32_t shared_block = 256;
const std::string conversions = "reference/widen-and-narrow/256";

struct Case {
  std::string plugin;
  std::string buffers;
  uint32_t n;
  std::string name;        // the plugin's benchmark
  std::string limit_name;  // its limit's at the same n
  const rig::Regime* regime = nullptr;
};

// Everything the benchmarks use lives as long as the program.
struct Plugin {
  std::unique_ptr<rig::Library> library;
  std::vector<std::unique_ptr<rig::Rig>> rigs;  // one per sharing case and regime
  std::unique_ptr<limits::Limit> limit;
  std::vector<std::unique_ptr<limits::Limit>> regime_limits;
};

std::string limit_name(const std::string& plugin, uint32_t n) {
  return "limit/" + plugin + "/" + std::to_string(n);
}

double fastest_of(const std::vector<double>& times) {
  return *std::min_element(times.begin(), times.end());
}

// The regimes of a plugin whose state usually sits still, at 256 frames with
// separate buffers: moving against the plugin's own limit, steady against the
// memcpy or memset of the bytes it reads and writes then.
void add_regimes(Plugin& p, const ports::Plugin& table, std::vector<Case>& cases) {
  const uint32_t n = shared_block;
  for (const rig::Regime& regime : rig::regimes) {
    if (table.name != std::string_view(regime.plugin)) continue;
    p.rigs.push_back(std::make_unique<rig::Rig>(*p.library, table, rig::sharings(table).front()));
    rig::Rig* r = p.rigs.back().get();
    r->enter(regime);
    Case c{table.name, regime.name, n, "", limit_name(table.name, n), &regime};
    c.name = std::string(table.name) + "/" + regime.name + "/" + std::to_string(n);
    if (std::string_view(regime.name) != "moving") {
      const bool reads_input = regime.port == std::string_view("input");
      p.regime_limits.push_back(
          std::make_unique<limits::Limit>(reads_input ? 1 : 0, reads_input ? 0 : 1, regime.target));
      limits::Limit* limit = p.regime_limits.back().get();
      c.limit_name =
          "limit/" + std::string(table.name) + "/" + regime.name + "/" + std::to_string(n);
      benchmark::RegisterBenchmark(c.limit_name.c_str(), [limit](benchmark::State& st) {
        for (auto _ : st) limit->run(shared_block);
      })->ComputeStatistics("min", fastest_of);
    }
    benchmark::RegisterBenchmark(c.name.c_str(), [r](benchmark::State& st) {
      for (auto _ : st) r->run(shared_block);
    })->ComputeStatistics("min", fastest_of);
    cases.push_back(c);
  }
}

// Registers the plugin's benchmarks and those of its limit.
void add(Plugin& p, const ports::Plugin& table, std::vector<Case>& cases) {
  const std::vector<rig::Sharing> sharings = rig::sharings(table);
  for (const rig::Sharing& s : sharings) {
    p.rigs.push_back(std::make_unique<rig::Rig>(*p.library, table, s));
  }
  for (uint32_t n : block_sizes) {
    limits::Limit* limit = p.limit.get();
    benchmark::RegisterBenchmark(limit_name(table.name, n).c_str(), [limit,
                                                                     n](benchmark::State& st) {
      for (auto _ : st) limit->run(n);
    })->ComputeStatistics("min", fastest_of);
  }
  for (size_t k = 0; k < sharings.size(); ++k) {
    rig::Rig* r = p.rigs[k].get();
    for (uint32_t n : block_sizes) {
      if (k != 0 && n != shared_block) continue;
      Case c{table.name, sharings[k].label, n, "", limit_name(table.name, n)};
      c.name = std::string(table.name) + "/" + c.buffers + "/" + std::to_string(n);
      benchmark::RegisterBenchmark(c.name.c_str(), [r, n](benchmark::State& st) {
        for (auto _ : st) r->run(n);
      })->ComputeStatistics("min", fastest_of);
      cases.push_back(c);
    }
  }
  add_regimes(p, table, cases);
}

// Prints as usual and keeps, for each benchmark, the fastest repetition in
// CPU time: on a shared machine the wall clock also counts the time other
// processes held the core, and slower repetitions only add what other work
// took away. With only aggregates reported, the "min" statistic stands for
// the repetitions.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool fastest = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      if ((run.run_type != Run::RT_Iteration && !fastest) || run.error_occurred) continue;
      const double ns = run.GetAdjustedCPUTime();  // every benchmark is in ns
      auto [it, fresh] = fastest_.emplace(run.run_name.str(), ns);
      if (!fresh) it->second = std::min(it->second, ns);
    }
  }
  double fastest(const std::string& name) const {
    auto it = fastest_.find(name);
    return it == fastest_.end() ? 0.0 : it->second;
  }
  // "name ns" a line, for scripts that compare two runs.
  void write(const std::string& path) const {
    std::ofstream out(path);
    for (const auto& [name, ns] : fastest_) out << name << " " << ns << "\n";
  }

 private:
  std::map<std::string, double> fastest_;
};

std::map<std::string, std::string> read_instructions(const std::string& path) {
  std::map<std::string, std::string> counts;
  std::ifstream file(path);
  for (std::string plugin, count; file >> plugin >> count;) counts[plugin] = count;
  return counts;
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The row a plugin's summary line takes: its moving regime where it has one
// (with its defaults such a plugin may sit still), separate buffers otherwise.
std::string summarised(const std::vector<Case>& cases, const std::string& plugin) {
  for (const Case& c : cases) {
    if (c.plugin == plugin && c.buffers == "moving") return c.buffers;
  }
  return "separate";
}

// Each regime beside its limit and target, with its callgrind count.
void write_regimes(std::ofstream& out, const std::vector<Case>& cases, const Collector& results,
                   const std::map<std::string, Plugin>& plugins,
                   const std::map<std::string, std::string>& instructions) {
  out << "\n| plugin | regime | ns/sample at 256 | limit | limit ns/sample | ratio | target | "
         "met | instructions/sample |\n"
      << "|---|---|---:|---|---:|---:|---:|---|---:|\n";
  for (const Case& c : cases) {
    if (c.regime == nullptr) continue;
    const double t = results.fastest(c.name), limit = results.fastest(c.limit_name);
    if (t == 0.0 || limit == 0.0) continue;
    const bool moving = c.buffers == "moving";
    const std::string description =
        moving ? plugins.at(c.plugin).limit->description()
               : (c.regime->port == std::string_view("input") ? "1 memcpy" : "1 memset");
    const auto count = instructions.find(c.plugin + "/" + c.buffers);
    out << "| " << c.plugin << " | " << c.buffers << " | " << fixed(t / c.n, 3) << " | "
        << description << " | " << fixed(limit / c.n, 3) << " | " << fixed(t / limit, 2) << " | "
        << fixed(c.regime->target, 2) << " | " << (t / limit <= c.regime->target ? "yes" : "no")
        << " | " << (count != instructions.end() ? count->second : "") << " |\n";
  }
}

// One line per plugin: its ratio at 256 frames with separate buffers against
// its target, what one call of one frame costs, and the count from callgrind.
void write_summary(std::ofstream& out, const std::vector<Case>& cases,
                   const std::map<std::string, Plugin>& plugins, const Collector& results,
                   const std::map<std::string, std::string>& instructions) {
  out << "| plugin | limit | ratio at 256 | target | met | ns per call at n = 1 | "
         "instructions/sample at 256 |\n"
      << "|---|---|---:|---:|---|---:|---:|\n";
  for (const Case& c : cases) {
    if (c.n != shared_block || c.buffers != summarised(cases, c.plugin)) continue;
    const double t = results.fastest(c.name), limit = results.fastest(c.limit_name);
    if (t == 0.0 || limit == 0.0) continue;  // not run (--benchmark_filter)
    const limits::Limit& l = *plugins.at(c.plugin).limit;
    const double one = results.fastest(c.plugin + "/separate/1");
    const auto count =
        instructions.find(c.regime != nullptr ? c.plugin + "/" + c.buffers : c.plugin);
    out << "| " << c.plugin << " | " << l.description() << " | " << fixed(t / limit, 2) << " | "
        << fixed(l.target(), 2) << " | " << (t / limit <= l.target() ? "yes" : "no") << " | "
        << (one > 0.0 ? fixed(one, 1) : "") << " | "
        << (count != instructions.end() ? count->second : "") << " |\n";
  }
}

void write_table(const std::string& path, const std::vector<Case>& cases,
                 const std::map<std::string, Plugin>& plugins, const Collector& results,
                 const std::map<std::string, std::string>& instructions) {
  std::ofstream out(path);
  write_summary(out, cases, plugins, results, instructions);
  write_regimes(out, cases, results, plugins, instructions);
  const double convert = results.fastest(conversions);
  const double copy = results.fastest(limit_name("zul-cv-parameter-modulation", shared_block));
  if (convert > 0.0 && copy > 0.0) {
    out << "\nParameter modulation's floor: widening each sample to double and narrowing "
           "it back, four at a time with AVX and no arithmetic, takes "
        << fixed(convert / shared_block, 3) << " ns/sample at 256 frames, "
        << fixed(convert / copy, 2) << " times the memcpy of the same bytes";
    const double own = results.fastest("zul-cv-parameter-modulation/separate/256");
    if (own > 0.0) out << "; parameter modulation takes " << fixed(own / convert, 2) << " times it";
    out << ".\n";
  }
  out << "\n| plugin | buffers | frames | ns/sample | limit | limit ns/sample | ratio | "
         "instructions/sample |\n"
      << "|---|---|---:|---:|---|---:|---:|---:|\n";
  for (const Case& c : cases) {
    const double t = results.fastest(c.name);
    const double limit = results.fastest(c.limit_name);
    if (t == 0.0 || c.regime != nullptr) continue;  // not run, or in the regimes' table
    std::string count;
    if (c.n == shared_block && c.buffers == "separate" && instructions.contains(c.plugin)) {
      count = instructions.at(c.plugin);
    }
    out << "| " << c.plugin << " | " << c.buffers << " | " << c.n << " | " << fixed(t / c.n, 3)
        << " | " << plugins.at(c.plugin).limit->description() << " | " << fixed(limit / c.n, 3)
        << " | " << (limit > 0.0 ? fixed(t / limit, 2) : "") << " | " << count << " |\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string table_path, instructions_path, times_path;
  int rounds = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--table=")) {
      table_path = arg.substr(8);
    } else if (arg.starts_with("--instructions=")) {
      instructions_path = arg.substr(15);
    } else if (arg.starts_with("--times=")) {
      times_path = arg.substr(8);
    } else if (arg.starts_with("--rounds=")) {
      rounds = std::atoi(std::string(arg.substr(9)).c_str());
    } else if (arg == "--variant") {
      // The widest variant of the plugins' loops that this processor can run.
      const zul::Variant v = zul::processor_variant();
      std::cout << (v == zul::Variant::avx512 ? "AVX-512"
                    : v == zul::Variant::avx2 ? "AVX2"
                                              : "baseline")
                << "\n";
      return 0;
    } else {
      std::cerr << "zul-bench: unknown argument " << arg << "\n";
      return 2;
    }
  }
  std::map<std::string, Plugin> plugins;
  std::vector<Case> cases;
  for (const std::string& name : rig::plugin_names()) {
    const ports::Plugin* table = ports::find(name.c_str());
    if (table == nullptr) {
      std::cerr << "zul-bench: " << name << " is not in the port table\n";
      return 1;
    }
    Plugin& p = plugins[name];
    p.library = std::make_unique<rig::Library>(name);
    p.limit = std::make_unique<limits::Limit>(name);
    add(p, *table, cases);
  }
  const limits::Kernel convert = limits::widen_and_narrow();
  rig::Buffer from = rig::make_buffer(), to = rig::make_buffer();
  if (convert != nullptr && plugins.contains("zul-cv-parameter-modulation")) {
    benchmark::RegisterBenchmark(conversions.c_str(), [&](benchmark::State& st) {
      for (auto _ : st) {
        convert(from.get(), to.get(), shared_block);
        benchmark::ClobberMemory();
      }
    })->ComputeStatistics("min", fastest_of);
  }
  // Each round interleaves its repetitions; the fastest of every round counts.
  Collector results;
  for (int round = 0; round < rounds; ++round) benchmark::RunSpecifiedBenchmarks(&results);
  benchmark::Shutdown();
  if (!times_path.empty()) results.write(times_path);
  if (!table_path.empty()) {
    const auto counts = instructions_path.empty() ? std::map<std::string, std::string>{}
                                                  : read_instructions(instructions_path);
    write_table(table_path, cases, plugins, results, counts);
  }
  return 0;
}
