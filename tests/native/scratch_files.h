// Files of a test's scratch directory: written and read whole, and noise
// that does not compress, the same for a seed on every host.
#pragma once
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace scratch_files {

inline std::string Noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Makes the folders above p as needed.
inline void Write(const std::filesystem::path& p, const std::string& bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(p.parent_path(), ec);
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string Read(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace scratch_files
