// Member stream encoder: exact streams for small inputs; round trips of the
// encoder through the installer's decoder are in pack_roundtrip_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/member_encoder.h"

namespace {

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

TEST(MemberEncoder, CheaperParseNeverLosesToGreedyOnText)
{
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += "line " + std::to_string(i * 7919 % 1000) + (i % 3 ? " of the kit\n" : " the kit of\n");
    EXPECT_LE(Encode(text).size(), Encode(text, EncodeParse::Greedy).size());
}

}  // namespace
