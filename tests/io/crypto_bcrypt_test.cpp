// The bcrypt back end releases everything it creates. Guards against a
// provider, hash or key handle, or a hash object, digest buffer, key object or
// IV copy, that some path (success, a decryption the platform rejects, a
// digest dropped unfinished) does not give back: repeated a thousand times,
// such a path leaves a thousand blocks behind on the process's heaps.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "io/windows_api.h"

#include <cstdint>
#include <functional>
#include <vector>

#include "io/crypto.h"

namespace mx {
namespace {

// Allocated blocks on every heap of the process now: the process heap holds
// the working objects, the platform keeps its handles wherever it likes.
long busyBlocks() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    if (heaps.empty()) return -1;
    long count = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) return -1;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++count;
        }
        HeapUnlock(heap);
    }
    return count;
}

// Blocks gained over `rounds` runs of `path`, after one warm-up run (the
// platform may cache provider state on first use).
long blocksGained(const std::function<void()>& path, int rounds) {
    path();
    const long before = busyBlocks();
    for (int i = 0; i < rounds; ++i)
        path();
    return busyBlocks() - before;
}

constexpr int kRounds = 1000;
// Room for the platform's own bookkeeping, far below one block a round.
constexpr long kSlack = 50;

TEST(BcryptHeap, EveryPathGivesItsWorkingObjectsBack) {
    ASSERT_GE(busyBlocks(), 0) << "the process heap cannot be walked";
    const uint8_t key[16] = {1, 2, 3};
    const uint8_t iv[16] = {4, 5, 6};
    std::vector<uint8_t> buffer(112, 0x33);
    const auto decrypt = [&] { EXPECT_TRUE(DecryptChunk(buffer.data(), 64, key, iv)); };
    const auto encrypt = [&] { EXPECT_TRUE(EncryptChunk(buffer.data(), 64, key, iv)); };
    const auto rejected = [&] { EXPECT_FALSE(DecryptChunk(buffer.data(), 100, key, iv)); };
    const auto finished = [&] {
        Digest d = StartDigest();
        ASSERT_TRUE(d);
        uint8_t out[kDigestSize];
        EXPECT_TRUE(UpdateDigest(*d, buffer.data(), 100));
        EXPECT_TRUE(FinishDigest(*d, out));
    };
    const auto dropped = [&] {
        Digest d = StartDigest();
        ASSERT_TRUE(d);
        EXPECT_TRUE(UpdateDigest(*d, buffer.data(), 10));
    };
    EXPECT_LT(blocksGained(decrypt, kRounds), kSlack) << "decryption";
    EXPECT_LT(blocksGained(encrypt, kRounds), kSlack) << "encryption";
    EXPECT_LT(blocksGained(rejected, kRounds), kSlack) << "decryption of a partial block";
    EXPECT_LT(blocksGained(finished, kRounds), kSlack) << "finished digest";
    EXPECT_LT(blocksGained(dropped, kRounds), kSlack) << "digest dropped unfinished";
}

}  // namespace
}  // namespace mx
#endif
