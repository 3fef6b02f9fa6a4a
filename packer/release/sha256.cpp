// Digests of memory and files, on either platform's hash.
#include "packer/release/sha256.h"

#include <cstdio>

namespace bv {

std::string Sha256Hex(const void* data, std::size_t size)
{
    Sha256 h;
    h.Add(data, size);
    return h.Hex();
}

bool Sha256OfFile(const std::string& path, std::string* hex, std::uint64_t* size)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    Sha256 h;
    char buffer[65536];
    std::size_t n;
    *size = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        h.Add(buffer, n);
        *size += n;
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok)
        *hex = h.Hex();
    return ok;
}

}  // namespace bv
