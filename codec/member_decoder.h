// Member stream decoder: turns a member's compressed stream into its bytes,
// one slice of about 2048 bytes per call.
#pragma once
#include <cstdint>

#include "archive/archive.h"
#include "codec/huff_model.h"
#include "codec/stream_format.h"

// A call stops at the first token boundary at or after this many bytes.
enum { SLICE_BYTES = 2048 };

// The decoder's state between the calls that decode one member.
struct MemberDecoder {
    std::uint32_t bitBuffer;    // unread bits, left-aligned (next bit is bit 31)
    std::uint8_t bitCount;      // number of unread bits, 0-32
    std::uint32_t memberSize;
    std::uint32_t outputCount;  // bytes produced so far
    std::uint8_t window[WINDOW_SIZE];
    std::uint16_t windowPos;    // where the next byte goes
    std::int16_t sliceCount;    // bytes produced in this call
    std::int16_t lastPercent;   // -1 at member start
};
extern MemberDecoder memberDecoder;

// continuing 0 starts a member (reads its size), nonzero decodes the next
// slice. 0 on success, with PumpStep 3 while bytes remain and 2 once the
// member is finished; -1 when the archive ran out or the member could not
// be read or written (reported by whoever found it; a cancelled disk prompt
// is reported by nobody).
int DecodeMember(int continuing);

// The exact bit reader over ReadArchiveByte: a byte is read when 8 or fewer
// bits remain before a take, never earlier. It decides when the archive runs
// out and when the next volume is asked for; the decoder's faster path takes
// whole blocks read ahead only where this reader would read the same bytes,
// and uses it for the last bytes of each volume. Tests call it too.

// Refills bitBuffer to at least 9 bits; false when the archive ran out (the
// failed read adds nothing: buffer and count keep their values).
inline bool RefillBits(MemberDecoder& d)
{
    while (d.bitCount <= 8) {
        int c = ReadArchiveByte();
        if (install.sourceExhausted)
            return false;
        d.bitBuffer |= static_cast<std::uint32_t>(c) << (24 - d.bitCount);
        d.bitCount = static_cast<std::uint8_t>(d.bitCount + 8);
    }
    return true;
}

// Takes the next count bits (1 or 8), the first one highest; -1 when the
// archive ran out.
inline int TakeBits(int count)
{
    MemberDecoder& d = memberDecoder;
    if (!RefillBits(d))
        return -1;
    int bits = static_cast<int>(d.bitBuffer >> (32 - count));
    d.bitBuffer <<= count;
    d.bitCount = static_cast<std::uint8_t>(d.bitCount - count);
    return bits;
}

// The next bit, 0 or 1; -1 when the archive ran out.
inline int GetBit() { return TakeBits(1); }
// The next 8 bits as a byte 0-255; -1 when the archive ran out.
inline int GetByte() { return TakeBits(8); }

// A match position 0-4095: a leading byte, the rest of its prefix, then the
// low six bits. -1 when the archive ran out.
inline int DecodePosition()
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
    return positionUpper[b] << POSITION_LOW_BITS | (v & ((1 << POSITION_LOW_BITS) - 1));
}

// The model's decoding of one symbol: walk from the root, one bit per level,
// then count it. The symbol 0-313, or -1 when the archive ran out (nothing
// counted, the model as after the previous symbol).
inline int HuffDecodeSymbol()
{
    const std::int16_t* child = huffModel.child;
    int n = child[ROOT_NODE];
    while (n < NODE_COUNT) {
        int bit = GetBit();
        if (bit < 0)
            return -1;
        n = child[n + bit];
    }
    n -= NODE_COUNT;
    HuffUpdate(huffModel, n);
    return n;
}
