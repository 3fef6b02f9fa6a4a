// SHA-256 through nettle (Debian's nettle-dev).
#include <nettle/sha2.h>

#include "packer/release/sha256.h"

namespace bv {

struct Sha256::State {
    sha256_ctx ctx;
};

Sha256::Sha256() : state_(new State)
{
    sha256_init(&state_->ctx);
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* data, std::size_t size)
{
    sha256_update(&state_->ctx, size, static_cast<const std::uint8_t*>(data));
}

std::string Sha256::Hex()
{
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&state_->ctx, sizeof digest, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

}  // namespace bv
