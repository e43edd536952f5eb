#include "counting_allocator.h"

#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "stream/heap.h"

namespace mxalloc {

namespace {

// Requests above this fail: more than any test may take, and a request this
// large that the system cannot back would abort under AddressSanitizer
// instead of failing.
constexpr size_t kLargestGranted = size_t{4} << 30;

// True when this allocation is the one planned to fail, or too large.
bool failThisOne(size_t bytes) {
    size_t seen = counters.largest.load(std::memory_order_relaxed);
    while (bytes > seen && !counters.largest.compare_exchange_weak(seen, bytes)) {
    }
    if (bytes > kLargestGranted) return true;
    if (!counters.armed.load(std::memory_order_relaxed)) return false;
    if (++counters.attempts != counters.failAt.load(std::memory_order_relaxed)) return false;
    counters.injected = true;
    return true;
}

void* allocate(size_t bytes) {
    if (failThisOne(bytes)) return nullptr;
    void* p = std::malloc(bytes != 0 ? bytes : 1);
    if (p != nullptr) ++counters.live;
    return p;
}

void* resize(void* block, size_t bytes) {
    if (failThisOne(bytes)) return nullptr;
    void* p = std::realloc(block, bytes != 0 ? bytes : 1);
    if (p != nullptr && block == nullptr) ++counters.live;
    return p;
}

void release(void* block) {
    if (block == nullptr) return;
    --counters.live;
    std::free(block);
}

void* allocateOrThrow(size_t bytes) {
    void* p = allocate(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

}  // namespace mxalloc

// The blob heap of a core built with MX_ALLOC_FAILURE_HOOK.
namespace mx {
void* heapAllocate(size_t bytes) {
    return mxalloc::allocate(bytes);
}
void* heapResize(void* block, size_t bytes) {
    return mxalloc::resize(block, bytes);
}
void heapRelease(void* block) {
    mxalloc::release(block);
}
}  // namespace mx

// The replaceable scalar forms of the global allocation functions. The array
// forms are left to the runtime (the library writes no array new-expression):
// the C++ library's pass them on to these, a sanitizer's keep their own
// blocks. The aligned forms are not used by the library.
void* operator new(size_t bytes) {
    return mxalloc::allocateOrThrow(bytes);
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return mxalloc::allocate(bytes);
}
void operator delete(void* block) noexcept {
    mxalloc::release(block);
}
void operator delete(void* block, size_t) noexcept {
    mxalloc::release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    mxalloc::release(block);
}

// OpenSSL's allocations must be routed through the counter before anything
// else runs: it refuses once it has allocated.
int main(int argc, char** argv) {
    using mxalloc::allocate, mxalloc::resize, mxalloc::release;
    if (CRYPTO_set_mem_functions([](size_t n, const char*, int) { return allocate(n); },
                                 [](void* p, size_t n, const char*, int) { return resize(p, n); },
                                 [](void* p, const char*, int) { release(p); }) != 1) {
        std::fprintf(stderr, "OpenSSL allocated before its allocator could be replaced\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
