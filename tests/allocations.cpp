// Replaces the C allocator for the test programs, forwarding to glibc's own,
// so that the tests can see every allocation a plugin makes and make one
// fail. A plugin library resolves malloc to these definitions, as it would
// to any interposed allocator a host loads.
#include "tests/allocations.hpp"

#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);
}

namespace {

thread_local bool counting = false;
thread_local long calls = 0;
thread_local bool fail_next = false;

}  // namespace

extern "C" {

void* malloc(size_t size) {
  if (counting) ++calls;
  if (fail_next) {
    fail_next = false;
    return nullptr;
  }
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (counting) ++calls;
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  if (counting) ++calls;
  return __libc_realloc(pointer, size);
}

void free(void* pointer) {
  if (counting && pointer != nullptr) ++calls;
  __libc_free(pointer);
}

}  // extern "C"

namespace allocations {

void start_counting() {
  calls = 0;
  counting = true;
}

long stop_counting() {
  counting = false;
  return calls;
}

void fail_next_malloc() {
  fail_next = true;
}

bool malloc_failure_pending() {
  return fail_next;
}

}  // namespace allocations
