// Member stream decoder: adaptive Huffman symbols over a 2048-byte window,
// read MSB first from the volume chain and written in slices.
#include "codec/member_decoder.h"

#include <cstring>

#include "archive/archive.h"
#include "archive/format_text.h"
#include "codec/huff_model.h"

MemberDecoder memberDecoder;

// The decoder's one text, on status line 3: the whole percentage done.
static const char STATUS_PERCENT[] = "%d %%";

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

// Shows the whole percentage on status line 3 when it changed.
static void ShowPercent(MemberDecoder& d)
{
    int percent = static_cast<int>(static_cast<std::uint64_t>(d.outputCount) * 100 / d.memberSize);
    if (percent != d.lastPercent) {
        d.lastPercent = static_cast<std::int16_t>(percent);
        FormatText(install.textBuffer, sizeof install.textBuffer, STATUS_PERCENT, percent);
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

// Produces one byte: into the member file and the window at pos.
static inline void ProduceByte(std::FILE* out, std::uint8_t* window, unsigned& pos, unsigned x)
{
    BV_PUTC(static_cast<int>(x), out);
    window[pos] = static_cast<std::uint8_t>(x);
    pos = (pos + 1) & (WINDOW_SIZE - 1);
}

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
        // window[1988 ... 2047] keep what the previous member left there.
        std::memset(d.window, ' ', WINDOW_PRESET);
        d.windowPos = WINDOW_PRESET;
    }

    d.sliceCount = 0;
    install.PumpStep = STEP_NEXT_MEMBER;
    {
        // The bit reader works on the record; the bytes of the slice are
        // produced through locals, stored back when the slice ends.
        std::FILE* out = install.outputStream;
        std::uint8_t* window = d.window;
        unsigned pos = d.windowPos;
        std::uint32_t done = d.outputCount;
        const std::uint32_t size = d.memberSize;
        // The slice ends at the first token boundary at or after this count.
        const std::uint32_t sliceEnd = size - done > SLICE_BYTES ? done + SLICE_BYTES : size;
        int ranOut = 0;
        while (done < sliceEnd) {
            int symbol = HuffDecodeSymbol();
            if (symbol < 0) {
                ranOut = 1;   // mid-token: what was produced stays written
                break;
            }
            if (symbol < 256) {
                ProduceByte(out, window, pos, static_cast<unsigned>(symbol));
                done++;
                continue;
            }
            int position = DecodePosition();
            if (position < 0) {
                ranOut = 1;
                break;
            }
            // Copied byte by byte: a match may run into the bytes it
            // produces. A damaged stream's last match is cut at the size.
            unsigned from = (pos - static_cast<unsigned>(position) - 1) & (WINDOW_SIZE - 1);
            std::uint32_t length = static_cast<std::uint32_t>(symbol - 253);
            if (length > size - done)
                length = size - done;
            done += length;
            for (; length > 0; length--) {
                unsigned x = window[from];
                from = (from + 1) & (WINDOW_SIZE - 1);
                ProduceByte(out, window, pos, x);
            }
        }
        d.sliceCount = static_cast<std::int16_t>(done - d.outputCount);
        d.outputCount = done;
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
        // Hand back the byte that the refill read beyond the stream. A
        // member's last read is a GetBit (a symbol ends with one, a position
        // with at least one), and every GetBit finds 9-16 bits, so bitCount
        // is 8-15 here: the 0-7 padding bits of the stream's last byte, then
        // all 8 bits of the byte beyond. Shifted down, that byte is the low
        // 8 bits; the padding above it is dropped. An empty member read no
        // bits (bitCount 0) and hands back nothing.
        if (d.bitCount != 0 && install.volumeStream)
            std::ungetc((d.bitBuffer >> (16 - d.bitCount)) & 0xFF, install.volumeStream);
        return finished;
    }
}
