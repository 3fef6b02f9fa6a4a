// Member stream encoder: exact streams for small inputs; round trips of the
// encoder through the installer's decoder are in pack_roundtrip_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/huff_model.h"
#include "codec/member_encoder.h"

namespace {

// The member stream read back in memory, to see which positions the
// encoder chose; the installer's own decoder is exercised elsewhere.
struct Decoded {
    std::string bytes;
    std::vector<int> positions;   // of every match, in order
};

Decoded DecodeStream(const std::vector<std::uint8_t>& stream, std::size_t size)
{
    std::size_t bit = 0;
    auto next = [&]() -> int {
        if (bit / 8 >= stream.size())
            throw std::runtime_error("stream too short");
        int b = stream[bit / 8] >> (7 - bit % 8) & 1;
        bit++;
        return b;
    };
    HuffModel model;
    HuffStart(model);
    std::uint8_t window[2048] = {};
    for (int i = 0; i < 1988; i++)
        window[i] = ' ';
    int pos = 1988;
    Decoded out;
    auto produce = [&](std::uint8_t x) {
        out.bytes += static_cast<char>(x);
        window[pos] = x;
        pos = (pos + 1) & 2047;
    };
    while (out.bytes.size() < size) {
        int n = model.child[ROOT_NODE];
        while (n < NODE_COUNT)
            n = model.child[n + next()];
        int symbol = n - NODE_COUNT;
        HuffUpdate(model, symbol);
        if (symbol < 256) {
            produce(static_cast<std::uint8_t>(symbol));
            continue;
        }
        int b = 0;
        for (int i = 0; i < 8; i++)
            b = 2 * b + next();
        int upper, length;
        if (b < 0x20) { upper = 0; length = 3; }
        else if (b < 0x50) { upper = 1 + (b - 0x20) / 16; length = 4; }
        else if (b < 0x90) { upper = 4 + (b - 0x50) / 8; length = 5; }
        else if (b < 0xC0) { upper = 12 + (b - 0x90) / 4; length = 6; }
        else if (b < 0xF0) { upper = 24 + (b - 0xC0) / 2; length = 7; }
        else { upper = 48 + (b - 0xF0); length = 8; }
        int v = b;
        for (int i = 0; i < length - 2; i++)
            v = 2 * v + next();
        int p = upper * 64 + (v & 63);
        out.positions.push_back(p);
        int source = (pos - p - 1) & 2047;
        for (int k = 0; k < symbol - 253; k++)
            produce(window[(source + k) & 2047]);
    }
    return out;
}

// Bytes that do not repeat by chance.
std::string Noise(std::size_t size, std::uint32_t seed)
{
    std::string s;
    for (std::size_t i = 0; i < size; i++) {
        seed = seed * 1103515245u + 12345u;
        s += static_cast<char>(seed >> 16);
    }
    return s;
}

std::vector<std::uint8_t> Encode(const std::string& s, EncodeParse parse = EncodeParse::Optimal)
{
    return EncodeMember(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), parse);
}

TEST(MemberEncoder, ExactStreams)
{
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::uint8_t> stream;
    };
    const Case cases[] = {
        {"empty member has no stream", "", {}},
        // The 9-bit code of symbol 65 in a fresh model, seven zero bits.
        {"one byte", "A", {0xE6, 0x80}},
        // Three literal codes, then zero filler.
        {"abc", "abc", {0xF6, 0xFB, 0xBD, 0xE0}},
        // Symbol 256 (length 3) 10001100, position 0 as 000 000000: three
        // blanks copied from the preset window, seven filler bits.
        {"three blanks from the preset window", "   ", {0x8C, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Encode(c.input), c.stream) << c.name;
        EXPECT_EQ(Encode(c.input, EncodeParse::Greedy), c.stream) << c.name;
    }
}

TEST(MemberEncoder, BlankRunsComeFromThePresetWindow)
{
    // 1988 blanks are in the window before the first byte: a run of blanks
    // costs a few matches, not literals.
    std::vector<std::uint8_t> stream = Encode(std::string(1200, ' '));
    EXPECT_LT(stream.size(), 60u);
}

TEST(MemberEncoder, ReadsBackAcrossBlocksAndTheWholeWindow)
{
    struct Case {
        const char* name;
        std::string input;
        int position;   // a match at this position must be among the tokens
    };
    std::string text;
    for (int i = 0; i < 6000; i++)
        text += "item " + std::to_string(i * 7919 % 1000) + (i % 3 ? " of the kit\n" : " the kit of\n");
    std::string chunk = Noise(60, 7);
    const Case cases[] = {
        // Parsed in several blocks; matches run over the block ends.
        {"text over several blocks", text, -1},
        // The repeat lies exactly one window back: position 2047, the byte
        // that the next one overwrites.
        {"repeat one window back", chunk + Noise(2048 - 60, 8) + chunk, 2047},
        {"repeat one byte short of the window", chunk + Noise(2047 - 60, 9) + chunk, 2046},
    };
    for (const Case& c : cases) {
        for (EncodeParse parse : {EncodeParse::Optimal, EncodeParse::Greedy}) {
            Decoded d = DecodeStream(Encode(c.input, parse), c.input.size());
            EXPECT_EQ(d.bytes, c.input) << c.name;
            if (c.position >= 0) {
                std::vector<int> wanted{c.position};
                EXPECT_EQ(d.positions, wanted) << c.name;
            }
        }
    }
}

TEST(MemberEncoder, CheaperParseNeverLosesToGreedyOnText)
{
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += "line " + std::to_string(i * 7919 % 1000) + (i % 3 ? " of the kit\n" : " the kit of\n");
    EXPECT_LE(Encode(text).size(), Encode(text, EncodeParse::Greedy).size());
}

}  // namespace
