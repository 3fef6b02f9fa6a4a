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

// The fast path decodes a token from bytes read ahead while at least this
// many are there at its start: far more than a token can take (a symbol's
// code is at most 22 bits, the depth of a Huffman tree whose weights, all at
// least 1, sum to at most 0x8000; a position at most 14), so the exact reader,
// which reads at most one byte ahead of the bits it takes, would read none of
// the bytes beyond them. The last bytes of a volume go through the exact
// reader, which moves on to the next volume at the same byte as ever.
enum { FAST_MARGIN = 32 };

// The nodes of the fast path's walk from the root (walkPath[0], set when a
// slice begins) to a leaf's node; a tree of SYMBOL_COUNT leaves is at most
// SYMBOL_COUNT - 1 deep.
static std::int16_t walkPath[SYMBOL_COUNT];

// A token through the exact reader: the symbol, and for a match its
// position in *position; a negative symbol or position when the archive ran
// out. Out of line: it serves only the last bytes of each volume.
__attribute__((noinline)) static int DecodeTokenExactly(int* position)
{
    int symbol = HuffDecodeSymbol();
    if (symbol >= LITERAL_COUNT)
        *position = DecodePosition();
    return symbol;
}

// Adds the bytes at in to bits (count < 25 unread bits, left-aligned) until
// 25-32 are unread; at least four bytes must be there. The bits below the
// count then hold the top of the next byte, the same bits that its own
// addition brings.
static inline void TopUpBits(const std::uint8_t*& in, std::uint32_t& bits, unsigned& count)
{
    std::uint32_t word = static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
                         static_cast<std::uint32_t>(in[2]) << 8 | in[3];
    bits |= word >> count;
    unsigned taken = (32 - count) >> 3;
    in += taken;
    count += taken * 8;
}

// Writes window[flushed ... pos - 1] to the member file.
static inline void FlushWindow(std::FILE* out, const std::uint8_t* window, unsigned& flushed, unsigned pos)
{
    if (pos > flushed)
        std::fwrite(window + flushed, 1, pos - flushed, out);
    flushed = pos;
}

// Produces one byte into the window at pos. The window goes to the member
// file as it wraps, before any byte of it is overwritten.
static inline void ProduceByte(std::FILE* out, std::uint8_t* window, unsigned& pos, unsigned& flushed, unsigned x)
{
    window[pos] = static_cast<std::uint8_t>(x);
    pos = (pos + 1) & (WINDOW_SIZE - 1);
    if (pos == 0) {
        FlushWindow(out, window, flushed, WINDOW_SIZE);
        flushed = 0;
    }
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
        // The slice works on locals, stored back when it ends; the exact
        // reader works on the record.
        std::FILE* out = install.outputStream;
        std::uint8_t* window = d.window;
        unsigned pos = d.windowPos;
        unsigned flushed = pos;
        std::uint32_t done = d.outputCount;
        const std::uint32_t size = d.memberSize;
        // The slice ends at the first token boundary at or after this count.
        const std::uint32_t sliceEnd = size - done > SLICE_BYTES ? done + SLICE_BYTES : size;
        std::uint32_t bits = d.bitBuffer;
        unsigned count = d.bitCount;
        // Child entries are never negative: read as unsigned for indexing.
        // childOf[bit][node] is child[node + bit]: the walk's next load
        // waits for the one before it and nothing else.
        const std::uint16_t* child = reinterpret_cast<const std::uint16_t*>(huffModel.child);
        const std::uint16_t* const childOf[2] = {child, child + 1};
        int ranOut = 0;
        walkPath[0] = ROOT_NODE;
        // The read-ahead in locals too: in is its next byte, inEnd its end.
        const std::uint8_t* in = install.readAhead + install.readPos;
        const std::uint8_t* inEnd = install.readAhead + install.readEnd;
        while (done < sliceEnd) {
            int symbol = 0;
            int position = 0;
            bool exact = false;
            if (inEnd - in < FAST_MARGIN) {
                install.readPos = static_cast<int>(in - install.readAhead);
                exact = FillReadAhead() < FAST_MARGIN;
                if (exact) {
                    // Near the end of the volume: the exact reader.
                    d.bitBuffer = bits;
                    d.bitCount = static_cast<std::uint8_t>(count);
                    symbol = DecodeTokenExactly(&position);
                    bits = d.bitBuffer;
                    count = d.bitCount;
                }
                in = install.readAhead + install.readPos;
                inEnd = install.readAhead + install.readEnd;
                if (symbol < 0 || position < 0) {
                    ranOut = 1;   // mid-token: what was produced stays written
                    break;
                }
            }
            if (!exact) {
                if (count <= 24)
                    TopUpBits(in, bits, count);
                // Down from the root, one bit per level, noting the path.
                int depth = 0;
                unsigned next = child[ROOT_NODE];
                while (next < NODE_COUNT) {
                    if (count == 0)
                        TopUpBits(in, bits, count);
                    unsigned bit = bits >> 31;
                    bits <<= 1;
                    count--;
                    walkPath[++depth] = static_cast<std::int16_t>(next + bit);
                    next = childOf[bit][next];
                }
                symbol = static_cast<int>(next) - NODE_COUNT;
                HuffUpdateAlongPath(huffModel, symbol, walkPath, depth);
                if (symbol >= LITERAL_COUNT) {
                    // The leading byte, the rest of its prefix and the low
                    // bits, taken at once.
                    if (count < 14)
                        TopUpBits(in, bits, count);
                    unsigned lead = bits >> 24;
                    unsigned length = positionCodeLength[lead] + POSITION_LOW_BITS;
                    unsigned code = bits >> (32 - length);
                    bits <<= length;
                    count -= length;
                    position = positionUpper[lead] << POSITION_LOW_BITS |
                               static_cast<int>(code & ((1u << POSITION_LOW_BITS) - 1));
                }
            }
            if (symbol < LITERAL_COUNT) {
                ProduceByte(out, window, pos, flushed, static_cast<unsigned>(symbol));
                done++;
                continue;
            }
            // Copied byte by byte: a match may run into the bytes it
            // produces. A damaged stream's last match is cut at the size.
            unsigned from = (pos - static_cast<unsigned>(position) - 1) & (WINDOW_SIZE - 1);
            std::uint32_t length = static_cast<std::uint32_t>(symbol - LENGTH_BASE);
            if (length > size - done)
                length = size - done;
            done += length;
            if (pos + length < WINDOW_SIZE && from + length <= WINDOW_SIZE) {
                // Neither end wraps.
                for (; length > 0; length--)
                    window[pos++] = window[from++];
                continue;
            }
            for (; length > 0; length--) {
                unsigned x = window[from];
                from = (from + 1) & (WINDOW_SIZE - 1);
                ProduceByte(out, window, pos, flushed, x);
            }
        }
        install.readPos = static_cast<int>(in - install.readAhead);
        // Every byte produced goes to the file, also when the archive ran out.
        FlushWindow(out, window, flushed, pos);
        d.sliceCount = static_cast<std::int16_t>(done - d.outputCount);
        d.outputCount = done;
        d.windowPos = static_cast<std::uint16_t>(pos);
        d.bitBuffer = bits;
        d.bitCount = static_cast<std::uint8_t>(count);
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
        // Hand back what was read beyond the stream: the bytes read ahead
        // and the whole bytes left in the bit buffer. The exact reader reads
        // one byte beyond a member's stream, and handing that byte back
        // leaves the volume right after the stream's last byte; so does
        // this, however far the read went. (An empty member read nothing.)
        ReturnReadAhead(d.bitCount / 8);
        return finished;
    }
}
