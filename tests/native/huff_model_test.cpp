// Adaptive Huffman model: initial codes, exchanges, rebuild, invariants.
#include "codec/huff_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "tests/native/stream_writer.h"

namespace {

// Walks the tree from the root along the bits; the symbol reached, or -1
// when the bits run out first.
int WalkDown(const HuffModel& model, const std::string& bits)
{
    int n = model.child[ROOT_NODE];
    for (char c : bits) {
        if (n >= NODE_COUNT)
            return -1;
        n = model.child[n + (c - '0')];
    }
    return n >= NODE_COUNT ? n - NODE_COUNT : -1;
}

// Checks the four model invariants and that every code walks back to its
// symbol; returns a description of the first fault, or "" when sound.
std::string CheckModel(const HuffModel& m)
{
    if (m.parent[ROOT_NODE] != 0)
        return "root parent";
    if (m.frequency[NODE_COUNT] != 0xFFFF)
        return "sentinel";
    unsigned leafSum = 0;
    for (int n = 0; n < NODE_COUNT; n++) {
        if (m.frequency[n] == 0)
            return "zero weight at " + std::to_string(n);
        if (n + 1 < NODE_COUNT && m.frequency[n] > m.frequency[n + 1])
            return "order at " + std::to_string(n);
        int c = m.child[n];
        if (c >= NODE_COUNT) {
            leafSum += m.frequency[n];
            if (c - NODE_COUNT >= SYMBOL_COUNT)
                return "bad leaf entry at " + std::to_string(n);
            if (m.parent[c] != n)
                return "leaf link of node " + std::to_string(n);
        } else {
            if (c < 0 || c + 1 >= n)
                return "child order at " + std::to_string(n);
            if (m.parent[c] != n || m.parent[c + 1] != n)
                return "parent of children of " + std::to_string(n);
            if (m.frequency[n] != m.frequency[c] + m.frequency[c + 1])
                return "sum at " + std::to_string(n);
        }
    }
    if (m.frequency[ROOT_NODE] != leafSum || leafSum > FREQ_LIMIT)
        return "root weight";
    for (int s = 0; s < SYMBOL_COUNT; s++) {
        if (WalkDown(m, CodeBits(m, s)) != s)
            return "code of symbol " + std::to_string(s);
    }
    return "";
}

struct ModelTest : ::testing::Test {
    std::unique_ptr<HuffModel> model = std::make_unique<HuffModel>();
    void SetUp() override { HuffStart(*model); }
};

TEST_F(ModelTest, InitialCodes)
{
    struct { int symbol; const char* code; } cases[] = {
        {0, "110001100"}, {32, "110101100"}, {65, "111001101"},
        {255, "10001011"}, {256, "10001100"}, {313, "11000101"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CodeBits(*model, c.symbol), c.code) << "symbol " << c.symbol;
    EXPECT_EQ(model->frequency[ROOT_NODE], 314);
    EXPECT_EQ(CheckModel(*model), "");
}

TEST_F(ModelTest, InitialLengthsSplitAt116)
{
    for (int s = 0; s < SYMBOL_COUNT; s++)
        EXPECT_EQ(CodeBits(*model, s).size(), s < 116 ? 9u : 8u) << "symbol " << s;
}

TEST_F(ModelTest, FirstSymbolZeroExchangesWith313)
{
    HuffUpdate(*model, 0);
    EXPECT_EQ(CodeBits(*model, 0), "11000101");
    EXPECT_EQ(CodeBits(*model, 313), "110001100");
    EXPECT_EQ(model->frequency[ROOT_NODE], 315);
    EXPECT_EQ(CheckModel(*model), "");
}

TEST_F(ModelTest, Symbol65TwiceGetsSevenBitCode)
{
    HuffUpdate(*model, 65);
    HuffUpdate(*model, 65);
    EXPECT_EQ(CodeBits(*model, 65), "1100001");
    EXPECT_EQ(CheckModel(*model), "");
}

TEST_F(ModelTest, RebuildOnUpdateAfterRootReachesLimit)
{
    // 32,454 updates bring the root from 314 to 32768; the next one rebuilds
    // before it counts.
    for (int k = 0; k < 32454; k++)
        HuffUpdate(*model, k & 1);
    EXPECT_EQ(model->frequency[ROOT_NODE], FREQ_LIMIT);
    EXPECT_EQ(CheckModel(*model), "");

    HuffUpdate(*model, 0);   // the 32,455th symbol, alternating 0, 1, ... 0
    EXPECT_EQ(model->frequency[ROOT_NODE], 16541);
    EXPECT_EQ(CodeBits(*model, 0), "0");
    EXPECT_EQ(CodeBits(*model, 1), "11");
    EXPECT_EQ(CheckModel(*model), "");
}

TEST_F(ModelTest, HalvingRoundsUp)
{
    // Leaf weights 1, 2, 3 and 32767 (the rest 1) halve to 1, 1, 2 and 16384.
    for (int k = 0; k < 1; k++) HuffUpdate(*model, 10);
    for (int k = 0; k < 2; k++) HuffUpdate(*model, 20);
    int big = 30;
    while (model->frequency[ROOT_NODE] < FREQ_LIMIT)
        HuffUpdate(*model, big);
    auto weightOf = [&](int s) { return model->frequency[model->parent[NODE_COUNT + s]]; };
    ASSERT_EQ(weightOf(10), 2);
    ASSERT_EQ(weightOf(20), 3);
    ASSERT_EQ(weightOf(0), 1);
    // Root 32768 = 311 ones + 2 + 3 + w(30): w(30) = 32452.
    ASSERT_EQ(weightOf(big), 32768 - 311 - 2 - 3);

    HuffRebuild(*model);
    EXPECT_EQ(weightOf(0), 1);
    EXPECT_EQ(weightOf(10), 1);
    EXPECT_EQ(weightOf(20), 2);
    EXPECT_EQ(weightOf(big), (32452 + 1) / 2);
    EXPECT_EQ(CheckModel(*model), "");

    // A weight of 32767 halves to 16384.
    HuffStart(*model);
    model->frequency[model->parent[NODE_COUNT + 313]] = 32767;
    HuffRebuild(*model);
    EXPECT_EQ(weightOf(313), 16384);
}

TEST_F(ModelTest, InvariantsHoldOverLongRandomSequences)
{
    // Skewed, uniform and drifting sources, each long enough for several
    // rebuilds.
    std::mt19937 rng(12345);
    for (int source = 0; source < 3; source++) {
        HuffStart(*model);
        std::geometric_distribution<int> skewed(0.05);
        std::uniform_int_distribution<int> uniform(0, SYMBOL_COUNT - 1);
        for (int k = 0; k < 150000; k++) {
            int s;
            if (source == 0)
                s = std::min(skewed(rng), SYMBOL_COUNT - 1);
            else if (source == 1)
                s = uniform(rng);
            else
                s = (k / 5000 * 37 + skewed(rng)) % SYMBOL_COUNT;
            HuffUpdate(*model, s);
            if (k % 9973 == 0 || k == 32454 || k == 32455) {
                std::string fault = CheckModel(*model);
                ASSERT_EQ(fault, "") << "source " << source << " after " << k + 1 << " symbols";
            }
        }
        EXPECT_EQ(CheckModel(*model), "") << "source " << source;
    }
}

// The decoder counts along the path it walked down; the model must end
// exactly as after the count along the parent links, through exchanges
// between siblings and elsewhere, and through rebuilds.
TEST(ModelUpdate, AlongThePathEqualsAlongTheLinks)
{
    auto byLinks = std::make_unique<HuffModel>();
    auto byPath = std::make_unique<HuffModel>();
    std::mt19937 rng(2024);
    std::geometric_distribution<int> skewed(0.03);
    std::uniform_int_distribution<int> uniform(0, SYMBOL_COUNT - 1);
    for (int source = 0; source < 2; source++) {
        HuffStart(*byLinks);
        HuffStart(*byPath);
        for (int k = 0; k < 70000; k++) {
            int s = source == 0 ? std::min(skewed(rng), SYMBOL_COUNT - 1) : uniform(rng);
            std::int16_t path[SYMBOL_COUNT];
            int depth = 0;
            path[0] = ROOT_NODE;
            for (int n = byPath->parent[NODE_COUNT + s]; n != ROOT_NODE; n = byPath->parent[n])
                depth++;
            for (int n = byPath->parent[NODE_COUNT + s], i = depth; i > 0; n = byPath->parent[n], i--)
                path[i] = static_cast<std::int16_t>(n);
            HuffUpdate(*byLinks, s);
            HuffUpdateAlongPath(*byPath, s, path, depth);
            ASSERT_EQ(std::memcmp(byLinks.get(), byPath.get(), sizeof(HuffModel)), 0)
                << "source " << source << " after " << k + 1 << " symbols";
        }
    }
}

}  // namespace
