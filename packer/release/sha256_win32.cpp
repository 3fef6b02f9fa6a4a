// SHA-256 through CryptoAPI (ADVAPI32), as Windows XP SP3 and later have it.
#include <windows.h>
#include <wincrypt.h>

#include "packer/release/sha256.h"

namespace bv {

struct Sha256::State {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
};

Sha256::Sha256() : state_(new State)
{
    if (CryptAcquireContextA(&state_->provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        CryptCreateHash(state_->provider, CALG_SHA_256, 0, 0, &state_->hash);
}

Sha256::~Sha256()
{
    if (state_->hash != 0)
        CryptDestroyHash(state_->hash);
    if (state_->provider != 0)
        CryptReleaseContext(state_->provider, 0);
}

void Sha256::Add(const void* data, std::size_t size)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    while (size > 0 && state_->hash != 0) {
        DWORD n = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        CryptHashData(state_->hash, p, n, 0);
        p += n;
        size -= n;
    }
}

std::string Sha256::Hex()
{
    BYTE digest[32] = {};
    DWORD length = sizeof digest;
    // Without a provider the digest stays zero, which matches no file.
    if (state_->hash != 0)
        CryptGetHashParam(state_->hash, HP_HASHVAL, digest, &length, 0);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (BYTE b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

}  // namespace bv
