// Replaces the C allocator for the test programs, forwarding to glibc's own,
// so that the tests can see every allocation a plugin makes and make one
// fail. A plugin library resolves malloc to these definitions, as it would
// to any interposed allocator a host loads. A build with
// ZUL_TEST_INTERPOSE_MALLOC=0 (a sanitizer build) leaves the replacement out.
#include "tests/allocations.hpp"

#include <cstddef>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

namespace {

thread_local bool counting = false;
thread_local long calls = 0;
thread_local long held = 0;
thread_local int fail_countdown = 0;  // the malloc that fails: 1 for the next one

}  // namespace

#if ZUL_TEST_INTERPOSE_MALLOC
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
}

extern "C" {

void* malloc(size_t size) {
  if (counting) ++calls;
  if (fail_countdown > 0 && --fail_countdown == 0) {
    return nullptr;
  }
  void* block = __libc_malloc(size);
  if (counting && block != nullptr) ++held;
  return block;
}

void* calloc(size_t count, size_t size) {
  if (counting) ++calls;
  void* block = __libc_calloc(count, size);
  if (counting && block != nullptr) ++held;
  return block;
}

void* realloc(void* pointer, size_t size) {
  if (counting) ++calls;
  void* block = __libc_realloc(pointer, size);
  if (counting && pointer == nullptr && block != nullptr) ++held;
  return block;
}

void free(void* pointer) {
  if (counting && pointer != nullptr) {
    ++calls;
    --held;
  }
  __libc_free(pointer);
}

}  // extern "C"
#endif

namespace allocations {

bool interposed() {
  // valgrind's own malloc takes the place of this one: its result is a
  // run-time fact, so it is asked each time.
  return ZUL_TEST_INTERPOSE_MALLOC && !RUNNING_ON_VALGRIND;
}

void start_counting() {
  calls = 0;
  held = 0;
  counting = true;
}

long stop_counting() {
  counting = false;
  return calls;
}

long blocks_held() {
  return held;
}

void fail_malloc(int nth) {
  fail_countdown = nth;
}

bool malloc_failure_pending() {
  return fail_countdown > 0;
}

}  // namespace allocations
