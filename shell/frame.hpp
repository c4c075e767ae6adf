// The frame of every plugin: instantiate, connect_port and run, built from
// what the plugin's file states once: its instance record (port slots in its
// own order, then its state), its ports by index, and its behaviour at one
// sample. The plugin's functions are found by argument-dependent lookup on
// its record type R; those in brackets may be left out:
//
//   [bool start(R&, double rate)]   initial state; false refuses the rate
//   [C call_controls(R&)]           controls read once per call, before n is
//                                   looked at
//   [M controls(R&[, const C&])]    controls read at every sample, before its
//                                   inputs (what the stateful plugins decide
//                                   from them goes into R here)
//   void sample(R&, const M&, const At<R, Ops>&)
//                                   one sample: reads inputs, writes outputs
//   [void eight(R&, const M&, const At<R, Ops>&)]
//                                   samples i to i + 7 at once, for a variant
//                                   whose compiler cannot vectorise sample
//   [void block(R&, const M&, uint32_t n, At<R, Ops>)]
//                                   the block loop, for a plugin whose samples
//                                   depend on each other
//
// Without controls, sample gets call_controls' result (or None). run keeps
// the sample-by-sample order wherever the host's sharing could show it:
// controls at every sample, inputs read before outputs are written. Where no
// output covers a control and streams share storage only at the same index
// (separate buffers, in place, outputs on one buffer), every sample would
// read the same controls, so they are read once and the block loop runs
// with them: there controls must leave the state as they would after any
// number of samples with the same values.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include "shell/blocks.hpp"
#include "shell/fp_mode.hpp"
#include "shell/overlap.hpp"
#include "shell/plugin.hpp"
#include "shell/variant.hpp"

namespace zul {

enum class PortKind : uint8_t {
  input,   // a stream read at samples 0 to n-1
  output,  // a stream written at samples 0 to n-1
  value,   // read at element 0 only: a control, or a CV port used as one
};
using enum PortKind;

// A port slot of the instance record: host memory of 32-bit floats.
using Slot = float*;

template <class R>
struct Port {
  Slot R::*slot;
  PortKind kind;
};

struct None {};

// A plugin whose loops are faster in 512-bit vectors says so with
//   [[maybe_unused]] constexpr bool takes_avx512(const R&) { return true; }
// The others run their AVX2 loops on an AVX-512 processor.
#if defined(ZUL_CV_AVX512_EVERYWHERE)
template <class R>
inline constexpr bool runs_avx512 = true;  // measured and tested so, never shipped
#else
template <class R>
inline constexpr bool runs_avx512 = requires(const R& r) {
  takes_avx512(r);
};
#endif

// One sample of a call, at index i of every stream.
template <class R, class Ops>
struct At {
  const R& record;
  uint32_t i;
  [[gnu::always_inline]] float in(float* R::*port) const { return (record.*port)[i]; }
  [[gnu::always_inline]] void out(float* R::*port, float value) const { (record.*port)[i] = value; }
  [[gnu::always_inline]] static double fma(double a, double b, double c) {
    return Ops::fma(a, b, c);
  }
};

// The record the host's handle points to: the plugin's first, so that its
// slots and state stand where the plugin's layout puts them.
template <class R>
struct Instance {
  R record;
  Variant variant;
};

namespace frame {

// The state is set up before anything is allocated, so that a refused rate
// takes nothing from the allocator, and in the plugins' floating-point mode,
// so that it does not depend on the host's thread. Only the state, which
// follows the slots in every record, is copied in: the slots stay the host's
// to set.
template <class R, const auto& ports>
LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate,
                       const char* /*bundle_path*/, const LV2_Feature* const* /*features*/) {
  constexpr bool has_state = requires(R & r, double d) {
    start(r, d);
  };
  [[maybe_unused]] R initial;
  if constexpr (has_state) {
    if (!fp::in_plugin_mode([&] { return start(initial, rate); })) return nullptr;
  }
  auto* self = static_cast<Instance<R>*>(std::malloc(sizeof(Instance<R>)));
  if (self == nullptr) return nullptr;
  if constexpr (has_state) {
    constexpr size_t slots = std::size(ports) * sizeof(Slot);
    std::memcpy(reinterpret_cast<char*>(&self->record) + slots,
                reinterpret_cast<const char*>(&initial) + slots, sizeof(R) - slots);
  }
  self->variant = processor_variant();
  if constexpr (!runs_avx512<R>) {
    if (self->variant == Variant::avx512) self->variant = Variant::avx2;
  }
  return self;
}

template <class R, const auto& ports>
void connect_port(LV2_Handle instance, uint32_t index, void* data) {
  if (index < std::size(ports)) {
    static_cast<Instance<R>*>(instance)->record.*ports[index].slot = static_cast<float*>(data);
  }
}

// Whether output o leaves port p alone: a control's element 0 outside it, a
// stream on the same buffer or apart. Decided port by port at compile time.
template <class R, const auto& ports, size_t o, size_t p>
[[gnu::always_inline]] inline bool leaves(const R& r, uint32_t n) {
  if constexpr (ports[o].kind != output || o == p) {
    return true;
  } else if constexpr (ports[p].kind == value) {
    return !covers(r.*ports[o].slot, n, r.*ports[p].slot);
  } else {
    const float* out = r.*ports[o].slot;
    const float* other = r.*ports[p].slot;
    return other == out || !streams_overlap(out, other, n);
  }
}

// Whether every sample of the block reads the same controls and every input
// sample is read before anything is written over it.
template <class R, const auto& ports, size_t... k>
[[gnu::always_inline]] inline bool controls_hold(const R& r, uint32_t n,
                                                 std::index_sequence<k...> /*ports*/) {
  constexpr size_t count = sizeof...(k);
  return ([&]<size_t o>() {
    return [&]<size_t... p>(std::index_sequence<p...>) {
      return (leaves<R, ports, o, p>(r, n) && ...);
    }
    (std::make_index_sequence<count>{});
  }.template operator()<k>() &&
          ...);
}

template <class R>
[[gnu::always_inline]] inline auto read_call(R& r) {
  if constexpr (requires { call_controls(r); }) {
    return call_controls(r);
  } else {
    return None{};
  }
}

template <class R, class C>
[[gnu::always_inline]] inline auto read_controls(R& r, const C& call) {
  if constexpr (requires { controls(r, call); }) {
    return controls(r, call);
  } else if constexpr (requires { controls(r); }) {
    return controls(r);
  } else {
    return call;
  }
}

// The loops of one variant; inlined into the variant's own function, so that
// everything in them is compiled for that processor.
template <class Ops, class R, const auto& ports>
[[gnu::always_inline]] inline void run_as(R& r, uint32_t n) {
  const auto call = read_call(r);
  if (n == 0) return;
  if (controls_hold<R, ports>(r, n, std::make_index_sequence<std::size(ports)>{})) {
    const auto mode = read_controls(r, call);
    // The streams through a copy of the slots, which no store can reach: the
    // loop keeps them in registers even where it stores through intrinsics.
    const R slots = r;
    if constexpr (requires { block(r, mode, n, At<R, Ops>{slots, 0}); }) {
      block(r, mode, n, At<R, Ops>{slots, 0});
    } else {
      uint32_t i = 0;
      if constexpr (requires { eight(r, mode, At<R, Ops>{slots, 0}); }) {
        ZUL_UNROLL
        for (; i + 8 <= n; i += 8) eight(r, mode, At<R, Ops>{slots, i});
      }
      ZUL_SAME_INDEX_ONLY
      ZUL_UNROLL
      for (; i < n; ++i) sample(r, mode, At<R, Ops>{slots, i});
    }
  } else {
    for (uint32_t i = 0; i < n; ++i) sample(r, read_controls(r, call), At<R, Ops>{r, i});
  }
}

// run and the variants it calls are never instrumented by the stack
// protector that distributions turn on (-fstack-protector-strong): its check
// would put a library call, __stack_chk_fail, into the audio thread.
#if defined(__clang__)
#define ZUL_RUN [[clang::no_stack_protector]]
#else
#define ZUL_RUN [[gnu::no_stack_protector]]
#endif

// Out of line like the other variants, so that run itself is only the
// choice: the baseline's registers are not saved and restored on every call.
template <class R, const auto& ports>
ZUL_RUN [[gnu::noinline]] void run_baseline(R& self, uint32_t n) {
  run_as<Baseline, R, ports>(self, n);
}

#if defined(__x86_64__)
template <class R, const auto& ports>
ZUL_RUN [[gnu::target("avx2,fma")]] void run_avx2(R& self, uint32_t n) {
  run_as<Avx2, R, ports>(self, n);
}

// 512-bit vectors where the compiler vectorises (GCC prefers 256 otherwise;
// clang, which builds only the sanitizer and fuzzing stages, takes no such
// preference in the attribute).
#if defined(__clang__)
#define ZUL_AVX512_TARGET "avx512f,avx512vl,avx512dq,avx512bw,avx2,fma"
#else
#define ZUL_AVX512_TARGET "avx512f,avx512vl,avx512dq,avx512bw,avx2,fma,prefer-vector-width=512"
#endif
template <class R, const auto& ports>
ZUL_RUN [[gnu::target(ZUL_AVX512_TARGET)]] void run_avx512(R& self, uint32_t n) {
  run_as<Avx512, R, ports>(self, n);
}
#endif

#if defined(__arm__)
template <class R, const auto& ports>
ZUL_RUN [[gnu::target("fpu=vfpv4")]] void run_vfpv4(R& self, uint32_t n) {
  run_as<Vfpv4, R, ports>(self, n);
}
#endif

template <class R, const auto& ports>
ZUL_RUN [[gnu::always_inline]] inline void run_variant(Instance<R>& self, uint32_t n) {
#if defined(__x86_64__)
  if constexpr (runs_avx512<R>) {
    if (self.variant == Variant::avx512) return run_avx512<R, ports>(self.record, n);
  }
  if (self.variant == Variant::avx2) return run_avx2<R, ports>(self.record, n);
#elif defined(__arm__)
  if (self.variant == Variant::vfpv4) return run_vfpv4<R, ports>(self.record, n);
#endif
  run_baseline<R, ports>(self.record, n);
}

// A host thread in another floating-point mode: the loops run in the plugins'
// own, and the thread gets its register back, flags and all.
template <class R, const auto& ports>
ZUL_RUN [[gnu::noinline]] void run_switching(Instance<R>& self, uint32_t n, fp::Register caller) {
  fp::write(fp::plugin_mode);
  run_variant<R, ports>(self, n);
  fp::write(caller);
}

// The host may call run on any thread. One already in the plugins' mode (the
// loading thread, a host that set it) pays a read and a compare, and the
// variant is a tail call.
template <class R, const auto& ports>
ZUL_RUN void run(LV2_Handle instance, uint32_t n) {
  auto& self = *static_cast<Instance<R>*>(instance);
  const fp::Register caller = fp::read();
  if (!fp::is_plugin_mode(caller)) return run_switching<R, ports>(self, n, caller);
  run_variant<R, ports>(self, n);
}

}  // namespace frame

template <class R, const auto& ports>
constexpr LV2_Descriptor describe(const char* uri) {
  return {uri,
          frame::instantiate<R, ports>,
          frame::connect_port<R, ports>,
          activate,
          frame::run<R, ports>,
          deactivate,
          cleanup,
          extension_data};
}

}  // namespace zul
