// SHA-256 of file contents, for the release manifest: the one seam between
// the packer and the platform's hash functions (nettle on the host,
// CryptoAPI on Windows).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace bv {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest as 64 lower-case hex digits; the hash is spent after it.
    std::string Hex();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest of bytes in memory.
std::string Sha256Hex(const void* data, std::size_t size);

// The digest and size of a file's contents. False when it cannot be read.
bool Sha256OfFile(const std::string& path, std::string* hex, std::uint64_t* size);

}  // namespace bv
