// MD5 and AES-128-CBC through Windows CNG (bcrypt.dll). The working objects
// (hash object, digest buffer, key object, IV copy) come from the process heap;
// every handle and buffer is released on every path, in the order provider,
// hash or key, then the heap buffers.
#include "io/windows_api.h"
// windows.h first: bcrypt.h relies on its types.
#include <bcrypt.h>

#include <cstring>
#include <memory>

#include "io/crypto.h"

namespace mx {

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

// A 4-byte property of a provider ("ObjectLength", "HashDigestLength", "BlockLength").
bool readSizeProperty(BCRYPT_ALG_HANDLE provider, const wchar_t* name, ULONG& value) {
    ULONG written = 0;
    return succeeded(BCryptGetProperty(provider, name, reinterpret_cast<PUCHAR>(&value),
                                       sizeof value, &written, 0)) &&
           written == sizeof value;
}

PUCHAR heapAllocate(ULONG size, DWORD flags) {
    return static_cast<PUCHAR>(HeapAlloc(GetProcessHeap(), flags, size));
}

void heapRelease(PUCHAR block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

// Opens the provider of `algorithm`; on failure the handle stays null, so the
// owner's release skips it.
bool openProvider(const wchar_t* algorithm, BCRYPT_ALG_HANDLE& provider) {
    if (succeeded(BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0))) return true;
    provider = nullptr;
    return false;
}

}  // namespace

struct DigestContext {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    PUCHAR hashObject = nullptr;
    PUCHAR output = nullptr;
    ULONG digestLength = 0;
};

// EndDigest: each release only for what exists.
void DigestContextDeleter::operator()(DigestContext* context) const {
    if (context->provider) BCryptCloseAlgorithmProvider(context->provider, 0);
    if (context->hash) BCryptDestroyHash(context->hash);
    heapRelease(context->hashObject);
    heapRelease(context->output);
    std::default_delete<DigestContext>()(context);
}

Digest StartDigest() {
    Digest digest(std::make_unique<DigestContext>().release());
    DigestContext& d = *digest;
    if (!openProvider(BCRYPT_MD5_ALGORITHM, d.provider)) return nullptr;
    ULONG objectLength = 0;
    if (!readSizeProperty(d.provider, BCRYPT_OBJECT_LENGTH, objectLength)) return nullptr;
    if (!readSizeProperty(d.provider, BCRYPT_HASH_LENGTH, d.digestLength)) return nullptr;
    if (d.digestLength != kDigestSize) return nullptr;
    d.hashObject = heapAllocate(objectLength, 0);
    d.output = heapAllocate(d.digestLength, HEAP_ZERO_MEMORY);
    if (!d.hashObject || !d.output) return nullptr;
    if (!succeeded(
            BCryptCreateHash(d.provider, &d.hash, d.hashObject, objectLength, nullptr, 0, 0))) {
        d.hash = nullptr;
        return nullptr;
    }
    return digest;
}

bool UpdateDigest(DigestContext& digest, const uint8_t* bytes, uint32_t count) {
    // CNG takes a non-const pointer but only reads the input.
    return succeeded(BCryptHashData(digest.hash, const_cast<PUCHAR>(bytes), count, 0));
}

bool FinishDigest(DigestContext& digest, uint8_t out[kDigestSize]) {
    if (!succeeded(BCryptFinishHash(digest.hash, digest.output, digest.digestLength, 0)))
        return false;
    std::memcpy(out, digest.output, kDigestSize);
    return true;
}

namespace {

// The objects one chunk operation owns: provider, key, key object, IV copy.
struct ChunkCipher {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    PUCHAR keyObject = nullptr;
    PUCHAR iv = nullptr;
    ULONG ivLength = 0;

    ChunkCipher() = default;
    ChunkCipher(const ChunkCipher&) = delete;
    ChunkCipher& operator=(const ChunkCipher&) = delete;
    ~ChunkCipher() {
        if (provider) BCryptCloseAlgorithmProvider(provider, 0);
        if (key) BCryptDestroyKey(key);
        heapRelease(keyObject);
        heapRelease(iv);
    }
};

// Provider, key object, IV working copy, CBC chaining and the key itself.
bool setUpCipher(ChunkCipher& c, const uint8_t key[16], const uint8_t iv[16]) {
    if (!openProvider(BCRYPT_AES_ALGORITHM, c.provider)) return false;
    ULONG objectLength = 0;
    if (!readSizeProperty(c.provider, BCRYPT_OBJECT_LENGTH, objectLength)) return false;
    c.keyObject = heapAllocate(objectLength, 0);
    if (!c.keyObject) return false;
    if (!readSizeProperty(c.provider, BCRYPT_BLOCK_LENGTH, c.ivLength)) return false;
    if (c.ivLength > kCipherBlockSize) return false;
    c.iv = heapAllocate(c.ivLength, 0);
    if (!c.iv) return false;
    std::memcpy(c.iv, iv, c.ivLength);
    // The mode name is handed over with its terminator: 16 UTF-16 units.
    if (!succeeded(
            BCryptSetProperty(c.provider, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                              sizeof(BCRYPT_CHAIN_MODE_CBC), 0)))
        return false;
    if (!succeeded(BCryptGenerateSymmetricKey(c.provider, &c.key, c.keyObject, objectLength,
                                              const_cast<PUCHAR>(key), 16, 0))) {
        c.key = nullptr;
        return false;
    }
    return true;
}

// BCryptEncrypt and BCryptDecrypt take the same arguments.
using CngCipherCall = decltype(&BCryptEncrypt);

// One chunk in place through a fresh cipher. No padding flag: a length that is
// not a multiple of the block size is rejected by CNG, and the output is
// exactly as long as the input.
bool transformChunk(CngCipherCall call, uint8_t* buffer, uint32_t length, const uint8_t key[16],
                    const uint8_t iv[16]) {
    ChunkCipher c;
    if (!setUpCipher(c, key, iv)) return false;
    ULONG written = 0;
    return succeeded(
        call(c.key, buffer, length, nullptr, c.iv, c.ivLength, buffer, length, &written, 0));
}

}  // namespace

bool DecryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]) {
    return transformChunk(BCryptDecrypt, buffer, length, key, iv);
}

bool EncryptChunk(uint8_t* buffer, uint32_t length, const uint8_t key[16], const uint8_t iv[16]) {
    return transformChunk(BCryptEncrypt, buffer, length, key, iv);
}

}  // namespace mx
