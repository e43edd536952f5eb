// A process-wide counting allocator for the hardening tests (whose main() is
// in counting_allocator.cpp). It replaces the global operator new and delete,
// supplies the blob heap hooks of a core built with MX_ALLOC_FAILURE_HOOK and
// takes over OpenSSL's allocations, so that every allocation the library makes
// is counted and any one of them can be made to fail. Requests above 4 GiB
// always fail.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mxalloc {

struct Counters {
    std::atomic<bool> armed{false};     // counting since arm()
    std::atomic<uint64_t> attempts{0};  // since arm(), the failed one included
    std::atomic<uint64_t> failAt{0};    // the allocation that fails (1-based); 0: none
    std::atomic<bool> injected{false};  // the planned failure happened since arm()
    std::atomic<int64_t> live{0};       // blocks allocated through any counted route
    std::atomic<size_t> largest{0};     // the largest single request since reset
    void arm(uint64_t k) {
        attempts = 0;
        injected = false;
        failAt = k;
        armed = true;
    }
};
inline Counters counters;

}  // namespace mxalloc
