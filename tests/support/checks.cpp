#include "support/samples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "io/crypto.h"
#include "io/data_file.h"
#include "mxplugin/mxplugin.h"

namespace mx::test {

std::pair<double, double> rangeOf(uint32_t (*get)(const Module*, double*, double*),
                                  const Module& m) {
    double min = -1.0, max = -1.0;
    EXPECT_EQ(get(&m, &min, &max), 1u);
    return {min, max};
}

ModulePtr deserialize(const std::vector<uint8_t>& bytes) {
    MorvexModule* sentinel = reinterpret_cast<MorvexModule*>(&sentinel);
    MorvexModule* module = sentinel;
    if (Morvex_DeserializeModule(bytes.data(), static_cast<int32_t>(bytes.size()), &module) == 0) {
        EXPECT_EQ(module, sentinel) << "a failed read wrote the out-parameter";
        return nullptr;
    }
    return ModulePtr(module);
}

void ExpectSameModule(const Module& actual, const Module& expected) {
    EXPECT_EQ(WriteBlob(actual), WriteBlob(expected));
    EXPECT_EQ(actual.primaryTable.cells, expected.primaryTable.cells);
    EXPECT_EQ(actual.secondaryTable.cells, expected.secondaryTable.cells);
    EXPECT_EQ(actual.packageTable, expected.packageTable);
    EXPECT_EQ(actual.transversePackageTable, expected.transversePackageTable);
    ASSERT_EQ(actual.primaryEntries.size(), expected.primaryEntries.size());
    for (size_t e = 0; e < actual.primaryEntries.size(); ++e) {
        const auto& a = actual.primaryEntries[e].packageData;
        const auto& b = expected.primaryEntries[e].packageData;
        ASSERT_EQ(a.size(), b.size());
        for (size_t p = 0; p < a.size(); ++p) {
            // Bitwise, so that NaN spacings (one-point grids) compare equal.
            EXPECT_EQ(0, std::memcmp(a[p].gridSpacing.data(), b[p].gridSpacing.data(),
                                     sizeof(double) * 4));
        }
    }
}

Bytes sealRecord(const Bytes& plain) {
    Bytes sealed = plain;
    sealed.resize((plain.size() + 15) / 16 * 16, 0);
    EXPECT_TRUE(
        EncryptChunk(sealed.data(), static_cast<uint32_t>(sealed.size()), kBuiltInKey, kBuiltInIv));
    return sealed;
}

Bytes signFile(Bytes body) {
    Digest digest = StartDigest();
    uint8_t out[kDigestSize];
    EXPECT_TRUE(digest && UpdateDigest(*digest, body.data(), body.size()) &&
                FinishDigest(*digest, out));
    body.insert(body.end(), out, out + kDigestSize);
    return body;
}

ScratchDir::ScratchDir() {
    // A name no other test process uses: the clock, then a counter on collision.
    const auto stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::error_code error;
    for (int attempt = 0; attempt < 1000 && path.empty(); ++attempt) {
        const std::string candidate =
            ::testing::TempDir() + "mxdata-" + stamp + "-" + std::to_string(attempt);
        if (std::filesystem::create_directory(candidate, error)) path = candidate;
    }
    if (path.empty())
        ADD_FAILURE() << "cannot create a scratch directory under " << ::testing::TempDir();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ScratchDir::write(const std::string& name, const Bytes& bytes) const {
    const std::string file = path + "/" + name;
    // Opened the way the loader opens it, so that both name the same file.
    const FilePtr f = OpenDataFile(file.c_str(), "wb");
    EXPECT_TRUE(
        f && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size()))
        << file;
    return file;
}

}  // namespace mx::test
