// Member stream encoder: LZSS over the 2048-byte window (1988 preset
// blanks), matches of 3-60 bytes, coded with the adaptive Huffman model
// exactly as the member decoder reads them back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class EncodeParse {
    Optimal,   // cheapest parse over blocks, priced from the model as it stands
    Greedy,    // longest match at each position; for comparison
};

// Compresses one member's bytes into its stream: the codes, most significant
// bit first, the last byte filled with zero bits. The four size bytes that
// precede the stream in an archive are not included. An empty member has an
// empty stream.
std::vector<std::uint8_t> EncodeMember(const std::uint8_t* data, std::size_t size,
                                       EncodeParse parse = EncodeParse::Optimal);
