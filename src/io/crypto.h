// MD5 digests and AES-128-CBC (no padding) for data files. Two back ends
// implement this interface: crypto_openssl.cpp (libcrypto's EVP interface) and
// crypto_bcrypt.cpp (Windows CNG). Neither keeps state between calls: a digest
// belongs to the load that started it, so loads may run concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mx {

constexpr size_t kDigestSize = 16;
constexpr size_t kCipherBlockSize = 16;

// The key and IV every record chunk is encrypted with; the loader and the
// data-file writer share them.
extern const uint8_t kBuiltInKey[16];
extern const uint8_t kBuiltInIv[16];

struct DigestContext;  // defined by the back end
struct DigestContextDeleter {
    void operator()(DigestContext* context) const;  // releases every handle and buffer
};
using Digest = std::unique_ptr<DigestContext, DigestContextDeleter>;

// Null when the platform cannot start an MD5 computation.
Digest StartDigest();
bool UpdateDigest(DigestContext& digest, const uint8_t* bytes, uint32_t count);
bool FinishDigest(DigestContext& digest, uint8_t out[kDigestSize]);

// In-place AES-128-CBC over `length` bytes, a multiple of 16 (else failure).
bool DecryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]);
bool EncryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]);

}  // namespace mx
