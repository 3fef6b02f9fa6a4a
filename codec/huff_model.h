// Adaptive Huffman model of the member streams: 314 symbols (256 literal
// bytes, match lengths 3-60), weights halved when the root reaches 0x8000.
// The decoder owns one static instance; the encoder keeps its own, driven
// by the same update so that both sides evolve the tree identically.
#pragma once
#include <cstdint>

#include "codec/stream_format.h"

enum {
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
void HuffRebuild(HuffModel& model);

// Node n has just been counted to weight w and outgrown the run of nodes
// above it: it changes places (with its subtree) with the last node of that
// run, lighter than w. Returns where the counted subtree now is.
inline int HuffExchange(HuffModel& model, int n, std::uint16_t w)
{
    std::uint16_t* freq = model.frequency;
    std::int16_t* parent = model.parent;
    std::int16_t* child = model.child;

    int m = n + 1;
    while (w > freq[m + 1])
        m++;
    freq[n] = freq[m];
    freq[m] = w;

    int a = child[n];
    parent[a] = static_cast<std::int16_t>(m);
    if (a < NODE_COUNT)
        parent[a + 1] = static_cast<std::int16_t>(m);
    int b = child[m];
    child[m] = static_cast<std::int16_t>(a);
    parent[b] = static_cast<std::int16_t>(n);
    if (b < NODE_COUNT)
        parent[b + 1] = static_cast<std::int16_t>(n);
    child[n] = static_cast<std::int16_t>(b);
    return m;
}

// Counts one occurrence at node n and every node above it to the root; a
// node that outgrows the run above it is exchanged first.
inline void HuffCountUpFrom(HuffModel& model, int node)
{
    std::uint16_t* freq = model.frequency;
    // Links are never negative: read as unsigned, they index at once.
    const std::uint16_t* parent = reinterpret_cast<const std::uint16_t*>(model.parent);
    unsigned n = static_cast<unsigned>(node);
    do {
        std::uint16_t w = ++freq[n];
        if (w > freq[n + 1])
            n = static_cast<unsigned>(HuffExchange(model, static_cast<int>(n), w));
        n = parent[n];
    } while (n != 0);
}

// Counts one occurrence of symbol: every node from its leaf to the root
// gains 1, and a node that outgrows the run above it changes places with
// the last node of that run. Rebuilds first once the root has reached
// FREQ_LIMIT. Inline: it runs once per symbol on both sides.
inline void HuffUpdate(HuffModel& model, int symbol)
{
    if (model.frequency[ROOT_NODE] == FREQ_LIMIT)
        HuffRebuild(model);
    HuffCountUpFrom(model, model.parent[NODE_COUNT + symbol]);
}

// The same count for the decoder, which has just walked down to symbol:
// path[0] is the root, path[depth] the node of the symbol's leaf. Climbing
// that path, no step waits for the parent link of the node below. An
// exchange moves the counted subtree; where its new parent is the next node
// of the path (an exchange between siblings), the path still leads on: an
// exchange rewrites only the links of the children of the two nodes, which
// weigh less than the node counted, while every node of the path above it
// weighs more. Elsewhere the parent links lead on. The model ends exactly
// as after HuffUpdate.
inline void HuffUpdateAlongPath(HuffModel& model, int symbol, const std::int16_t* path, int depth)
{
    std::uint16_t* freq = model.frequency;
    if (freq[ROOT_NODE] == FREQ_LIMIT) {
        HuffUpdate(model, symbol);   // the rebuild changes the tree
        return;
    }
    for (int i = depth; i >= 0; i--) {
        int n = path[i];
        std::uint16_t w = ++freq[n];
        if (w > freq[n + 1]) {
            // Never the root, which outweighs every other node.
            int up = model.parent[HuffExchange(model, n, w)];
            if (up != path[i - 1]) {
                HuffCountUpFrom(model, up);
                return;
            }
        }
    }
}

// Encoder side: the current code of a symbol, first bit in the highest of
// the returned length bits of *code. Returns the length in bits.
int HuffCode(const HuffModel& model, int symbol, std::uint32_t* code);

// Decoder side: the decoder's model. HuffDecodeSymbol, which reads one
// symbol with GetBit and counts it, lives beside the bit reader in
// codec/member_decoder.h.
extern HuffModel huffModel;
inline void HuffStart() { HuffStart(huffModel); }
