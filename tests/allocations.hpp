// Watches the C allocator from inside the test programs (this thread only).
#pragma once

namespace allocations {

// Whether the test program's own malloc is the one in use. It is not in a
// sanitizer build (the sanitizer's runtime owns malloc, and the replacement is
// left out) nor under valgrind (which replaces it); there the counts stay at
// zero and the tests that need the allocator watched skip.
bool interposed();

// Counts malloc, calloc, realloc and free calls on this thread between the two.
void start_counting();
long stop_counting();

// The next malloc on this thread returns null.
void fail_next_malloc();
bool malloc_failure_pending();

}  // namespace allocations
