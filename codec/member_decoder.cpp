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
    unsigned char size[MEMBER_SIZE_FIELD];
    if (!install.volumeStream || std::fread(size, 1, sizeof size, install.volumeStream) != sizeof size)
        return false;
    d.memberSize = LoadLittleEndian32(size);
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
        std::memset(d.window, PRESET_BYTE, WINDOW_PRESET);
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
            if (symbol < LITERAL_COUNT) {
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
            std::uint32_t length = static_cast<std::uint32_t>(symbol - LENGTH_BASE);
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
