// A process-wide counting allocator for the hardening tests. It replaces the
// global operator new and delete, supplies the blob heap hooks of a core built
// with MX_ALLOC_FAILURE_HOOK and takes over OpenSSL's allocations, so that
// every allocation the library makes is counted and any one of them can be
// made to fail. Requests above 4 GiB always fail.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mxalloc {

// Routes OpenSSL's allocations through the counter. Must run before OpenSSL
// allocates anything; false when that is too late.
bool takeOverOpenSsl();

// Counts allocations from now on; the `failAt`-th (1-based) fails. 0 fails none.
void arm(uint64_t failAt);
void disarm();
// Allocations attempted since arm(), the failed one included.
uint64_t attempts();
// Whether the planned failure has happened since arm().
bool failureInjected();
// Blocks currently allocated through any of the counted routes.
int64_t liveBlocks();
// The largest single request since the last reset.
size_t largestRequest();
void resetLargestRequest();

}  // namespace mxalloc
