#include "counting_allocator.h"

#include <openssl/crypto.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "stream/heap.h"

namespace mxalloc {

namespace {

std::atomic<bool> armed{false};
std::atomic<uint64_t> attemptCount{0};
std::atomic<uint64_t> failIndex{0};
std::atomic<bool> injected{false};
std::atomic<int64_t> live{0};
std::atomic<size_t> largest{0};

void noteRequest(size_t bytes) {
    size_t seen = largest.load(std::memory_order_relaxed);
    while (bytes > seen && !largest.compare_exchange_weak(seen, bytes)) {
    }
}

// Requests above this fail: more than any test may take, and a request this
// large that the system cannot back would abort under AddressSanitizer
// instead of failing.
constexpr size_t kLargestGranted = size_t{4} << 30;

// True when this allocation is the one planned to fail, or too large.
bool failThisOne(size_t bytes) {
    noteRequest(bytes);
    if (bytes > kLargestGranted) return true;
    if (!armed.load(std::memory_order_relaxed)) return false;
    const uint64_t n = ++attemptCount;
    if (n == failIndex.load(std::memory_order_relaxed)) {
        injected = true;
        return true;
    }
    return false;
}

void* allocate(size_t bytes) {
    if (failThisOne(bytes)) return nullptr;
    void* p = std::malloc(bytes != 0 ? bytes : 1);
    if (p != nullptr) ++live;
    return p;
}

void* resize(void* block, size_t bytes) {
    if (failThisOne(bytes)) return nullptr;
    void* p = std::realloc(block, bytes != 0 ? bytes : 1);
    if (p != nullptr && block == nullptr) ++live;
    return p;
}

void release(void* block) {
    if (block == nullptr) return;
    --live;
    std::free(block);
}

void* openSslAllocate(size_t bytes, const char*, int) {
    return allocate(bytes);
}
void* openSslResize(void* block, size_t bytes, const char*, int) {
    return resize(block, bytes);
}
void openSslRelease(void* block, const char*, int) {
    release(block);
}

}  // namespace

bool takeOverOpenSsl() {
    return CRYPTO_set_mem_functions(openSslAllocate, openSslResize, openSslRelease) == 1;
}

void arm(uint64_t failAt) {
    attemptCount = 0;
    injected = false;
    failIndex = failAt;
    armed = true;
}

void disarm() {
    armed = false;
}

uint64_t attempts() {
    return attemptCount;
}

bool failureInjected() {
    return injected;
}

int64_t liveBlocks() {
    return live;
}

size_t largestRequest() {
    return largest;
}

void resetLargestRequest() {
    largest = 0;
}

void* allocateOrThrow(size_t bytes) {
    void* p = allocate(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

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

// Every replaceable form of the global allocation functions. The aligned
// forms are not used by the library; they fall back to the C library so that
// a block is always released the way it was allocated.
void* operator new(size_t bytes) {
    return mxalloc::allocateOrThrow(bytes);
}
void* operator new[](size_t bytes) {
    return mxalloc::allocateOrThrow(bytes);
}
void* operator new(size_t bytes, const std::nothrow_t&) noexcept {
    return mxalloc::allocate(bytes);
}
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept {
    return mxalloc::allocate(bytes);
}
void operator delete(void* block) noexcept {
    mxalloc::release(block);
}
void operator delete[](void* block) noexcept {
    mxalloc::release(block);
}
void operator delete(void* block, size_t) noexcept {
    mxalloc::release(block);
}
void operator delete[](void* block, size_t) noexcept {
    mxalloc::release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    mxalloc::release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    mxalloc::release(block);
}
