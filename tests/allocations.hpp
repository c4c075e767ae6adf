// Watches the C allocator from inside the test programs (this thread only).
#pragma once

namespace allocations {

// Counts malloc, calloc, realloc and free calls on this thread between the two.
void start_counting();
long stop_counting();

// The next malloc on this thread returns null.
void fail_next_malloc();
bool malloc_failure_pending();

}  // namespace allocations
