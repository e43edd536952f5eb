// Faults guarded against: a back end that computes something other than
// standard MD5 or AES-128-CBC, a digest that depends on how the input is split
// (state shared between loads is the concurrency test's), decryption that
// strips padding or accepts partial blocks, an IV that changes from one chunk
// to the next, and encryption that is not the inverse of decryption.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/crypto.h"

using namespace mx;

namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> md5Of(const std::vector<uint8_t>& bytes, size_t piece) {
    Digest digest = StartDigest();
    EXPECT_TRUE(digest);
    if (!digest) return {};
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t n = std::min(piece, bytes.size() - at);
        EXPECT_TRUE(UpdateDigest(*digest, bytes.data() + at, static_cast<uint32_t>(n)));
    }
    std::vector<uint8_t> out(kDigestSize);
    EXPECT_TRUE(FinishDigest(*digest, out.data()));
    return out;
}

// From the test suite of RFC 1321, appendix A.5: nothing, less than a block,
// 62 bytes (the length no longer fits the first block), more than a block.
const std::pair<std::string, std::string> kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

// CBC-AES128 of NIST SP 800-38A, F.2.1 (encrypt) and F.2.2 (decrypt): the
// first three of its four blocks.
const std::string kNistKey = "2b7e151628aed2a6abf7158809cf4f3c";
const std::string kNistIv = "000102030405060708090a0b0c0d0e0f";
const std::string kNistPlain =
    "6bc1bee22e409f96e93d7e117393172a"
    "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef";
const std::string kNistCipher =
    "7649abac8119b246cee98e9b12e9197d"
    "5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e22229516";

}  // namespace

TEST(Md5, MatchesTheRfc1321SuiteHowEverTheInputIsSplit) {
    for (const auto& [text, hex] : kRfc1321Suite) {
        for (size_t piece : {size_t{1}, size_t{3}, size_t{64}, size_t{2048}}) {
            EXPECT_EQ(md5Of(std::vector<uint8_t>(text.begin(), text.end()), piece), fromHex(hex))
                << '"' << text << "\" in pieces of " << piece;
        }
    }
}

TEST(AesCbc, MatchesNistSp800_38aInWholeBlocksFromTheGivenIvEachCall) {
    const auto key = fromHex(kNistKey), iv = fromHex(kNistIv);
    auto buffer = fromHex(kNistCipher);
    ASSERT_TRUE(DecryptChunk(buffer.data(), 48, key.data(), iv.data()));
    EXPECT_EQ(buffer, fromHex(kNistPlain));
    ASSERT_TRUE(EncryptChunk(buffer.data(), 48, key.data(), iv.data()));
    EXPECT_EQ(buffer, fromHex(kNistCipher));
    // Encryption started from the same IV as the decryption before it: neither
    // call changed the caller's IV or kept chaining state.
    EXPECT_EQ(iv, fromHex(kNistIv));
    // The third ciphertext block decrypts to the third plaintext block only
    // when chained from the second ciphertext block as IV.
    buffer = fromHex(kNistCipher.substr(64, 32));
    const auto chain = fromHex(kNistCipher.substr(32, 32));
    ASSERT_TRUE(DecryptChunk(buffer.data(), 16, key.data(), chain.data()));
    EXPECT_EQ(buffer, fromHex(kNistPlain.substr(64, 32)));
    // Lengths that are not whole blocks are refused both ways.
    for (uint32_t length : {1u, 15u, 17u, 100u}) {
        buffer.assign(128, 0x5A);
        EXPECT_FALSE(DecryptChunk(buffer.data(), length, key.data(), iv.data())) << length;
        EXPECT_FALSE(EncryptChunk(buffer.data(), length, key.data(), iv.data())) << length;
    }
}
