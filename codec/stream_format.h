// The member stream format, for its decoder (the installer) and its encoder
// (the packer) alike. A stream is a sequence of tokens, most significant bit
// first, coded with the adaptive Huffman model of codec/huff_model.h: a
// symbol below 256 is a literal byte; a higher one is a match of
// symbol - LENGTH_BASE bytes, followed by its position p (the distance back
// minus one) in the position code.
#pragma once
#include <cstdint>

enum {
    WINDOW_SIZE = 2048,                    // positions taken modulo the window
    MIN_MATCH = 3,
    MAX_MATCH = 60,
    WINDOW_PRESET = WINDOW_SIZE - MAX_MATCH,   // 1988 blanks at member start; first write position
    PRESET_BYTE = ' ',
    LITERAL_COUNT = 256,                   // symbols 0-255 are the bytes themselves
    LENGTH_BASE = LITERAL_COUNT - MIN_MATCH,         // match symbol = length + LENGTH_BASE
    SYMBOL_COUNT = LENGTH_BASE + MAX_MATCH + 1,   // 314: literals and match lengths
};

// Position code: the leading byte b of a position gives its upper six bits
// and the length of their prefix code (LZHUF's d_code and d_len); the rest
// of that prefix follows b, then the low six bits of the position.
// Positions are coded in 12 bits (0-4095, of which a window of 2048 uses
// the lower half).
enum { POSITION_BITS = 12, POSITION_LOW_BITS = 6, POSITION_UPPER_COUNT = 1 << (POSITION_BITS - POSITION_LOW_BITS) };
extern const std::uint8_t positionUpper[256];
extern const std::uint8_t positionCodeLength[256];
