// Entry point of mx_hardening_tests: OpenSSL's allocations must be routed
// through the counting allocator before anything else runs.
#include <gtest/gtest.h>

#include <cstdio>

#include "counting_allocator.h"

int main(int argc, char** argv) {
    if (!mxalloc::takeOverOpenSsl()) {
        std::fprintf(stderr, "OpenSSL allocated before its allocator could be replaced\n");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
