// Member stream decoder: adaptive Huffman symbols over a 2048-byte window,
// read MSB first from the volume chain and written in slices.
#include "codec/member_decoder.h"

#include <cstring>

#include "archive/archive.h"
#include "archive/format_text.h"
#include "codec/huff_model.h"

MemberDecoder memberDecoder;

const std::uint8_t positionUpper[256] = {
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  // 0x00
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  // 0x10
     1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  // 0x20
     2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  // 0x30
     3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  // 0x40
     4,  4,  4,  4,  4,  4,  4,  4,  5,  5,  5,  5,  5,  5,  5,  5,  // 0x50
     6,  6,  6,  6,  6,  6,  6,  6,  7,  7,  7,  7,  7,  7,  7,  7,  // 0x60
     8,  8,  8,  8,  8,  8,  8,  8,  9,  9,  9,  9,  9,  9,  9,  9,  // 0x70
    10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 11,  // 0x80
    12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15,  // 0x90
    16, 16, 16, 16, 17, 17, 17, 17, 18, 18, 18, 18, 19, 19, 19, 19,  // 0xA0
    20, 20, 20, 20, 21, 21, 21, 21, 22, 22, 22, 22, 23, 23, 23, 23,  // 0xB0
    24, 24, 25, 25, 26, 26, 27, 27, 28, 28, 29, 29, 30, 30, 31, 31,  // 0xC0
    32, 32, 33, 33, 34, 34, 35, 35, 36, 36, 37, 37, 38, 38, 39, 39,  // 0xD0
    40, 40, 41, 41, 42, 42, 43, 43, 44, 44, 45, 45, 46, 46, 47, 47,  // 0xE0
    48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,  // 0xF0
};
const std::uint8_t positionCodeLength[256] = {
     3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  // 0x00
     3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  // 0x10
     4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  // 0x20
     4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  // 0x30
     4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  // 0x40
     5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  // 0x50
     5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  // 0x60
     5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  // 0x70
     5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  5,  // 0x80
     6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  // 0x90
     6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  // 0xA0
     6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  // 0xB0
     7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  // 0xC0
     7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  // 0xD0
     7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  // 0xE0
     8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  // 0xF0
};

// Bit reader. The buffer holds 16 bits left-aligned and is refilled one
// byte at a time while 8 or fewer bits remain, so it reads exactly one byte
// beyond the last code of a member; that byte is pushed back at the end.

// Refills bitBuffer to 9-16 bits; false when the archive ran out (the
// failed read adds nothing).
static inline bool Refill(MemberDecoder& d)
{
    while (d.bitCount <= 8) {
        int c = ReadArchiveByte();
        if (install.sourceExhausted)
            return false;
        d.bitBuffer = static_cast<std::uint16_t>(d.bitBuffer | c << (8 - d.bitCount));
        d.bitCount = static_cast<std::uint8_t>(d.bitCount + 8);
    }
    return true;
}

int GetBit()
{
    MemberDecoder& d = memberDecoder;
    if (!Refill(d))
        return -1;
    int bit = d.bitBuffer >> 15;
    d.bitBuffer = static_cast<std::uint16_t>(d.bitBuffer << 1);
    d.bitCount--;
    return bit;
}

int GetByte()
{
    MemberDecoder& d = memberDecoder;
    if (!Refill(d))
        return -1;
    int byte = d.bitBuffer >> 8;
    d.bitBuffer = static_cast<std::uint16_t>(d.bitBuffer << 8);
    d.bitCount = static_cast<std::uint8_t>(d.bitCount - 8);
    return byte;
}

int DecodePosition()
{
    int b = GetByte();
    if (b < 0)
        return -1;
    int v = b;
    for (int n = positionCodeLength[b] - 2; n > 0; n--) {
        int bit = GetBit();
        if (bit < 0)
            return -1;
        v = (v << 1 | bit) & 0xFFFF;
    }
    return positionUpper[b] << 6 | (v & 63);
}

int HuffDecodeSymbol()
{
    int n = huffModel.child[ROOT_NODE];
    while (n < NODE_COUNT) {
        int bit = GetBit();
        if (bit < 0)
            return -1;
        n = huffModel.child[n + bit];
    }
    n -= NODE_COUNT;
    HuffUpdate(huffModel, n);
    return n;
}

// Shows the whole percentage on status line 3 when it changed.
static void ShowPercent(MemberDecoder& d)
{
    int percent = static_cast<int>(static_cast<std::uint64_t>(d.outputCount) * 100 / d.memberSize);
    if (percent != d.lastPercent) {
        d.lastPercent = static_cast<std::int16_t>(percent);
        FormatText(install.textBuffer, sizeof install.textBuffer, "%d %%", percent);
        archiveHost->showStatus(3, install.textBuffer);
    }
}

// Reads the member's four size bytes from the open volume: they never
// straddle volumes. False when fewer than four are there.
static bool ReadMemberSize(MemberDecoder& d)
{
    unsigned char size[4];
    if (!install.volumeStream || std::fread(size, 1, 4, install.volumeStream) != 4)
        return false;
    d.memberSize = size[0] | size[1] << 8 | size[2] << 16 | static_cast<std::uint32_t>(size[3]) << 24;
    return true;
}

// The hot loop keeps the bit buffer in a local: bits left-aligned at bit 31,
// the bits below the unread ones zero, count as in bitCount.
#define NEEDBITS()                                   \
    do {                                             \
        while (count <= 8) {                         \
            int c_ = ReadArchiveByte();              \
            if (c_ < 0)                              \
                goto exhausted;                      \
            bits |= static_cast<std::uint32_t>(c_) << (24 - count); \
            count += 8;                              \
        }                                            \
    } while (0)
#define PUTBYTE(x)                                   \
    do {                                             \
        BV_PUTC((x), out);                           \
        window[pos] = static_cast<std::uint8_t>(x);  \
        pos = (pos + 1) & (WINDOW_SIZE - 1);         \
    } while (0)

int DecodeMember(int continuing)
{
    MemberDecoder& d = memberDecoder;
    if (!install.outputStream)
        return -1;
    if (!continuing) {
        d.memberSize = 0;
        d.outputCount = 0;
        d.bitBuffer = 0;
        d.bitCount = 0;
        d.lastPercent = -1;
        if (!ReadMemberSize(d)) {
            archiveHost->showError(MSG_SOURCE_DAMAGED);
            return -1;
        }
        if (d.memberSize == 0)
            goto finish;
        HuffStart();
        std::memset(d.window, ' ', WINDOW_PRESET);
        d.windowPos = WINDOW_PRESET;
    }

    d.sliceCount = 0;
    install.PumpStep = STEP_NEXT_MEMBER;
    {
        std::FILE* out = install.outputStream;
        std::uint8_t* window = d.window;
        const std::int16_t* child = huffModel.child;
        std::uint32_t bits = static_cast<std::uint32_t>(d.bitBuffer) << 16;
        unsigned count = d.bitCount;
        unsigned pos = d.windowPos;
        std::uint32_t done = d.outputCount;
        const std::uint32_t size = d.memberSize;
        int ranOut = 0;
        // The slice ends at the first token boundary at or after this count.
        const std::uint32_t sliceEnd = size - done > SLICE_BYTES ? done + SLICE_BYTES : size;

        while (done < sliceEnd) {
            // Symbol: walk the tree from the root, one bit per level.
            int n = child[ROOT_NODE];
            do {
                NEEDBITS();
                n = child[n + (bits >> 31)];
                bits <<= 1;
                count--;
            } while (n < NODE_COUNT);
            n -= NODE_COUNT;
            HuffUpdate(huffModel, n);

            if (n < 256) {
                PUTBYTE(n);
                done++;
                continue;
            }

            // Position: a leading byte, then its remaining prefix bits and
            // the low six bits.
            NEEDBITS();
            unsigned b = bits >> 24;
            bits <<= 8;
            count -= 8;
            unsigned v = b;
            for (int k = positionCodeLength[b] - 2; k > 0; k--) {
                NEEDBITS();
                v = v << 1 | bits >> 31;
                bits <<= 1;
                count--;
            }
            unsigned from = (pos - (positionUpper[b] << 6 | (v & 63)) - 1) & (WINDOW_SIZE - 1);
            // A match may run into the bytes it produces; a damaged stream's
            // last match is cut at the member's size.
            std::uint32_t length = static_cast<std::uint32_t>(n - 253);
            if (length > size - done)
                length = size - done;
            done += length;
            for (; length > 0; length--) {
                unsigned x = window[from];
                from = (from + 1) & (WINDOW_SIZE - 1);
                PUTBYTE(x);
            }
        }

        goto save;
    exhausted:
        // Mid-token: what was produced stays written; the member is abandoned.
        ranOut = 1;
    save:
        d.sliceCount = static_cast<std::int16_t>(done - d.outputCount);
        d.outputCount = done;
        d.bitBuffer = static_cast<std::uint16_t>(bits >> 16);
        d.bitCount = static_cast<std::uint8_t>(count);
        d.windowPos = static_cast<std::uint16_t>(pos);
        if (ranOut)
            return -1;
    }

    ShowPercent(d);
    if (std::ferror(install.outputStream)) {
        archiveHost->showError(MSG_CANNOT_WRITE);
        return -1;
    }
    if (d.outputCount < d.memberSize) {
        install.PumpStep = STEP_CONTINUE;
        return 0;
    }

finish:
    {
        int finished = FinishMember();
        // Hand back the byte that the refill read beyond the stream; the
        // padding bits above it are dropped.
        if (d.bitCount != 0 && install.volumeStream)
            std::ungetc((d.bitBuffer >> (16 - d.bitCount)) & 0xFF, install.volumeStream);
        return finished;
    }
}
