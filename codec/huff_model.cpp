// Adaptive Huffman model: initial tree, counting with node exchanges,
// halving rebuild, and the code of a symbol for the encoder.
#include "codec/huff_model.h"

HuffModel huffModel;

void HuffStart(HuffModel& model)
{
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        model.frequency[s] = 1;
        model.child[s] = static_cast<std::int16_t>(NODE_COUNT + s);
        model.parent[NODE_COUNT + s] = static_cast<std::int16_t>(s);
    }
    int i = 0;
    for (int j = SYMBOL_COUNT; j < NODE_COUNT; j++, i += 2) {
        model.frequency[j] = static_cast<std::uint16_t>(model.frequency[i] + model.frequency[i + 1]);
        model.child[j] = static_cast<std::int16_t>(i);
        model.parent[i] = model.parent[i + 1] = static_cast<std::int16_t>(j);
    }
    model.frequency[NODE_COUNT] = 0xFFFF;
    model.parent[ROOT_NODE] = 0;
}

void HuffRebuild(HuffModel& model)
{
    std::uint16_t* freq = model.frequency;
    std::int16_t* child = model.child;

    // Leaves to the bottom, in their order, weights halved rounding up.
    int j = 0;
    for (int i = 0; i < NODE_COUNT; i++) {
        if (child[i] >= NODE_COUNT) {
            freq[j] = static_cast<std::uint16_t>((freq[i] + 1) / 2);
            child[j] = child[i];
            j++;
        }
    }

    // Join the two lightest free nodes; the new node goes above every node
    // of equal or lower weight.
    int i = 0;
    for (j = SYMBOL_COUNT; j < NODE_COUNT; j++, i += 2) {
        std::uint16_t f = static_cast<std::uint16_t>(freq[i] + freq[i + 1]);
        freq[j] = f;
        int k = j - 1;
        while (f < freq[k])
            k--;
        k++;
        for (int m = j; m > k; m--) {
            freq[m] = freq[m - 1];
            child[m] = child[m - 1];
        }
        freq[k] = f;
        child[k] = static_cast<std::int16_t>(i);
    }

    for (i = 0; i < NODE_COUNT; i++) {
        int k = child[i];
        if (k >= NODE_COUNT)
            model.parent[k] = static_cast<std::int16_t>(i);
        else
            model.parent[k] = model.parent[k + 1] = static_cast<std::int16_t>(i);
    }
}

int HuffCode(const HuffModel& model, int symbol, std::uint32_t* code)
{
    // Walk leaf to root; each step adds the bit that selects the node
    // below its parent in front of the bits gathered so far.
    std::uint32_t bits = 0;
    int length = 0;
    int n = model.parent[NODE_COUNT + symbol];
    while (n != ROOT_NODE) {
        int up = model.parent[n];
        bits |= static_cast<std::uint32_t>(n - model.child[up]) << length;
        length++;
        n = up;
    }
    *code = bits;
    return length;
}
