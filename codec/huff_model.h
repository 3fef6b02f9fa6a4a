// Adaptive Huffman model of the member streams: 314 symbols (256 literal
// bytes, match lengths 3-60), weights halved when the root reaches 0x8000.
// The decoder owns one static instance; the encoder keeps its own, driven
// by the same update so that both sides evolve the tree identically.
#pragma once
#include <cstdint>

enum {
    SYMBOL_COUNT = 314,
    NODE_COUNT = 2 * SYMBOL_COUNT - 1,   // 627; a child entry >= 627 marks a leaf
    ROOT_NODE = NODE_COUNT - 1,          // 626
    FREQ_LIMIT = 0x8000,
};

struct HuffModel {
    std::uint16_t frequency[NODE_COUNT + 1];          // [627] is the 0xFFFF sentinel
    std::int16_t parent[NODE_COUNT + SYMBOL_COUNT];   // [627 + s]: leaf of symbol s
    std::int16_t child[NODE_COUNT];                   // first child, or 627 + symbol
};

void HuffStart(HuffModel& model);
void HuffUpdate(HuffModel& model, int symbol);
void HuffRebuild(HuffModel& model);

// Encoder side: the current code of a symbol, first bit in the highest of
// the returned length bits of *code. Returns the length in bits.
int HuffCode(const HuffModel& model, int symbol, std::uint32_t* code);

// Decoder side: the decoder's model, and one symbol read with GetBit and
// counted; -1 when the bit source failed (nothing counted).
extern HuffModel huffModel;
inline void HuffStart() { HuffStart(huffModel); }
int HuffDecodeSymbol();
