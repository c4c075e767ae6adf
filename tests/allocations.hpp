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

// Blocks that this thread allocated since start_counting and has not freed
// (realloc counts as an allocation only from null).
long blocks_held();

// The nth malloc on this thread from now on (1: the next one) returns null.
void fail_malloc(int nth);
bool malloc_failure_pending();

}  // namespace allocations
