// Member stream decoder: turns a member's compressed stream into its bytes,
// one slice of about 2048 bytes per call.
#pragma once
#include <cstdint>

enum {
    WINDOW_SIZE = 2048,              // positions taken with the mask 0x7FF
    WINDOW_PRESET = WINDOW_SIZE - 60,  // 1988 blanks at member start; first write position
    MAX_MATCH = 60,                  // longest match (symbol 313)
    SLICE_BYTES = 2048,              // a call stops at the next token boundary after this many bytes
};

// Position code: the leading byte b of a position gives its upper six bits
// and the length of their prefix code (LZHUF's d_code and d_len).
extern const std::uint8_t positionUpper[256];
extern const std::uint8_t positionCodeLength[256];

// The decoder's state between the calls that decode one member.
struct MemberDecoder {
    std::uint16_t bitBuffer;    // unread bits, left-aligned (next bit is bit 15)
    std::uint8_t bitCount;      // number of unread bits, 0-16
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

// Bit reader over ReadArchiveByte: 0/1, a byte 0-255, a position 0-4095;
// -1 when the archive ran out (sourceExhausted).
int GetBit();
int GetByte();
int DecodePosition();
