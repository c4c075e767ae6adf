// A host session decoded from bytes: a sample rate, an arena that holds every
// port's buffer at some offset (so any port may share storage with any other,
// whole or in part), and a sequence of host actions: runs of 0 to 4096
// samples, control values and input samples set between them, ports moved,
// deactivate and activate, connects to indexes the plugin does not have.
//
// compare() carries the session out on a plugin library and on the reference
// model side by side, each on its own copy of the arena, and checks after
// every call that both copies hold the same bits. Any byte string decodes to
// a session, so a fuzzer's inputs and random bytes serve alike.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/fuzz/reference.hpp"

namespace scenario {

inline constexpr uint32_t max_block = 4096;

struct Action {
  enum class Type : uint8_t { run, set, fill, reactivate, move, stray_connect };
  Type type = Type::run;
  uint32_t port = 0;    // set, fill, move; the unknown index for stray_connect
  uint32_t n = 0;       // run: the block length
  size_t offset = 0;    // move, stray_connect: the arena index connected
  float value = 0.0f;   // set: the value; fill: the pattern's base value
  uint8_t pattern = 0;  // fill: how the samples are made
  uint32_t seed = 0;    // fill
};

struct Session {
  double rate = 0.0;
  uint32_t block_cap = 0;  // no run in this session is longer
  size_t arena_size = 0;
  uint64_t seed = 0;            // the arena's first contents
  std::vector<size_t> offsets;  // by port index: where each port's buffer starts
  std::vector<float> values;    // by port index: the first value of each control
  std::vector<Action> actions;
};

Session decode(reference::Plugin plugin, std::span<const uint8_t> data);

// The session as a person reads it, up to (not including) action `count`.
std::string describe(reference::Plugin plugin, const Session& session, size_t count);

// Empty when every call left the plugin's arena and the model's bit for bit
// alike (a NaN that the model computed may differ in its payload); otherwise
// what differed first, followed by the session up to there.
//
// The model computes under the plugins' floating-point mode; the plugin is
// called with the thread's register holding host_mode, as a host's audio
// thread may (the plugins' own mode unless given), and every call must leave
// the register exactly as it found it. The caller's register is restored.
std::string compare(const LV2_Descriptor& plugin, reference::Plugin model, const Session& session,
                    std::optional<uint64_t> host_mode = {});

}  // namespace scenario
