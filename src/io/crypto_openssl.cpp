// MD5 and AES-128-CBC through libcrypto's EVP interface. Every context belongs
// to one caller and is released before it returns (or with its Digest), so
// nothing is shared between threads.
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "io/crypto.h"

namespace mx {

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// libcrypto records why a call failed (an allocation, mostly) on the calling
// thread's error queue, which belongs to the host as much as to us. Every
// operation here pops what it added, so a failed load leaves nothing behind.
struct ErrorQueueMark {
    ErrorQueueMark() { ERR_set_mark(); }
    ~ErrorQueueMark() { ERR_pop_to_mark(); }
    ErrorQueueMark(const ErrorQueueMark&) = delete;
    ErrorQueueMark& operator=(const ErrorQueueMark&) = delete;
};

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// One pass of AES-128-CBC without padding over `length` bytes in place.
bool runCbc(bool encrypt, uint8_t* buffer, uint32_t length, const uint8_t key[16],
            const uint8_t iv[16]) {
    if (length % kCipherBlockSize != 0 || length > static_cast<uint32_t>(INT_MAX)) return false;
    if (length == 0) return true;
    const ErrorQueueMark mark;
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context) return false;
    if (EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, key, iv, encrypt ? 1 : 0) !=
            1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        return false;
    }
    // EVP allows the output to be the input itself (in-place), never a
    // partial overlap.
    int written = 0;
    if (EVP_CipherUpdate(context.get(), buffer, &written, buffer, static_cast<int>(length)) != 1 ||
        written != static_cast<int>(length)) {
        return false;
    }
    int tail = 0;
    return EVP_CipherFinal_ex(context.get(), buffer + written, &tail) == 1 && tail == 0;
}

}  // namespace

struct DigestContext {
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> md;
};

void DigestContextDeleter::operator()(DigestContext* context) const {
    std::default_delete<DigestContext>()(context);
}

Digest StartDigest() {
    const ErrorQueueMark mark;
    auto owned = std::make_unique<DigestContext>();
    owned->md.reset(EVP_MD_CTX_new());
    if (!owned->md || EVP_DigestInit_ex(owned->md.get(), EVP_md5(), nullptr) != 1) return nullptr;
    return Digest(owned.release());
}

bool UpdateDigest(DigestContext& digest, const uint8_t* bytes, uint32_t count) {
    const ErrorQueueMark mark;
    return EVP_DigestUpdate(digest.md.get(), bytes, count) == 1;
}

bool FinishDigest(DigestContext& digest, uint8_t out[kDigestSize]) {
    const ErrorQueueMark mark;
    unsigned int size = 0;
    uint8_t result[EVP_MAX_MD_SIZE];
    if (EVP_DigestFinal_ex(digest.md.get(), result, &size) != 1 || size != kDigestSize) {
        return false;
    }
    std::copy(result, result + kDigestSize, out);
    return true;
}

bool DecryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]) {
    return runCbc(false, buffer, length, key, iv);
}

bool EncryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]) {
    return runCbc(true, buffer, length, key, iv);
}

}  // namespace mx
