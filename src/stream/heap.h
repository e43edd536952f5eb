// The C heap that blobs live on: they are handed to the host and released by
// Morvex_FreeBlob with free().
//
// A test build compiled with MX_ALLOC_FAILURE_HOOK defines these three
// functions itself, to count the blocks and to fail a chosen allocation; every
// other build calls the C library directly and behaves exactly as without the
// indirection.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace mx {

#ifdef MX_ALLOC_FAILURE_HOOK
void* heapAllocate(size_t bytes);
void* heapResize(void* block, size_t bytes);
void heapRelease(void* block);
#else
inline void* heapAllocate(size_t bytes) {
    return std::malloc(bytes);
}
inline void* heapResize(void* block, size_t bytes) {
    return std::realloc(block, bytes);
}
inline void heapRelease(void* block) {
    std::free(block);
}
#endif

}  // namespace mx
