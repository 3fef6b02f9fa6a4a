// Post-link step of SETUP.EXE: marks the image "run from swap" when started
// from removable media (IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP), so that the
// loader copies it to the page file and no page is read from a diskette
// that has been taken out; then stores the image checksum anew. GNU ld has
// no option for the flag.
//   swaprun IMAGE            set the flag, update the checksum
//   swaprun --verify IMAGE   exit 0 when the stored checksum is right
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::uint16_t REMOVABLE_RUN_FROM_SWAP = 0x0400;

std::uint32_t Read32(const std::vector<unsigned char>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void Write32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; i++) b[at + i] = static_cast<unsigned char>(v >> 8 * i);
}

// The image checksum: 16-bit words summed with end-around carry, the
// checksum field itself taken as zero, plus the file's length.
std::uint32_t ImageChecksum(const std::vector<unsigned char>& b, std::size_t field)
{
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < b.size(); at += 2) {
        std::uint32_t word = b[at] | (at + 1 < b.size() ? b[at + 1] << 8 : 0);
        if (at >= field && at < field + 4) word = 0;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<std::uint32_t>(b.size());
}

int Fail(const std::string& path, const char* why)
{
    std::fprintf(stderr, "swaprun: %s: %s\n", path.c_str(), why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    bool verify = argc == 3 && std::strcmp(argv[1], "--verify") == 0;
    if (argc != 2 && !verify) {
        std::fprintf(stderr, "usage: swaprun [--verify] IMAGE\n");
        return 2;
    }
    std::string path = argv[argc - 1];
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(path, "cannot be read");
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();

    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return Fail(path, "not an executable image");
    std::uint32_t pe = Read32(bytes, 0x3C);
    if (std::uint64_t{pe} + 24 + 68 > bytes.size() || Read32(bytes, pe) != 0x00004550) return Fail(path, "not a PE image");
    const std::size_t characteristics = pe + 22, checksum = pe + 24 + 64;

    if (verify) {
        if (Read32(bytes, checksum) != ImageChecksum(bytes, checksum)) return Fail(path, "checksum does not match");
        return 0;
    }
    bytes[characteristics + 1] |= REMOVABLE_RUN_FROM_SWAP >> 8;
    Write32(bytes, checksum, ImageChecksum(bytes, checksum));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return Fail(path, "cannot be written");
    return 0;
}
