// The Dutch catalogue as the host relies on it: every ID present, every
// quoted text verbatim, conversions only where listed, line ends exactly as
// counted, the equal pairs equal and nothing else doubled.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "langpack/catalogue.h"
#include "langpack/tests/quoted_nl.h"

namespace {

class DutchCatalogue : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::vector<lng::Breach> breaches;
        ASSERT_TRUE(lng::ReadCatalogue(LNG_CATALOGUE, catalogue_, breaches));
        ASSERT_TRUE(breaches.empty());
    }
    static const std::string& Text(unsigned id) { return catalogue_.texts.at(id); }
    static lng::Catalogue catalogue_;
};

lng::Catalogue DutchCatalogue::catalogue_;

std::set<unsigned> Range(unsigned first, unsigned last)
{
    std::set<unsigned> ids;
    for (unsigned id = first; id <= last; ++id) ids.insert(id);
    return ids;
}

TEST_F(DutchCatalogue, PassesTheChecker)
{
    lng::HostInterface host;
    ASSERT_EQ(lng::ReadInterface(LNG_INTERFACE, host), "");
    for (const lng::Breach& b : lng::Check(catalogue_, host)) ADD_FAILURE() << lng::Describe(b);
}

TEST_F(DutchCatalogue, HoldsExactlyTheTwoRanges)
{
    std::set<unsigned> expected = Range(0, 450);
    for (unsigned id : Range(1000, 1082)) expected.insert(id);
    std::set<unsigned> ids;
    for (const auto& entry : catalogue_.texts) ids.insert(entry.first);
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(ids.size(), 534u);
}

TEST_F(DutchCatalogue, HoldsEveryQuotedTextVerbatim)
{
    for (const QuotedText& q : kQuotedNl) {
        ASSERT_TRUE(catalogue_.texts.count(q.id)) << q.id;
        EXPECT_EQ(Text(q.id), q.text) << "ID " << q.id;
    }
}

// The 128 texts with conversions are all quoted; no other text has a percent
// sign, so the host never formats a text it does not know.
TEST_F(DutchCatalogue, ConversionsOnlyInTheListedTexts)
{
    std::map<unsigned, std::string> quoted;
    for (const QuotedText& q : kQuotedNl) quoted[q.id] = q.text;
    size_t withConversions = 0;
    for (const auto& [id, text] : catalogue_.texts) {
        if (text.find('%') == std::string::npos) continue;
        ++withConversions;
        EXPECT_TRUE(quoted.count(id)) << "ID " << id << " has a percent sign but is not a listed text";
    }
    EXPECT_EQ(withConversions, 128u);
}

TEST_F(DutchCatalogue, LineEndsAsCounted)
{
    std::set<unsigned> cr;
    for (unsigned id : {271, 289, 293, 309, 349, 350, 351, 352, 353, 354, 355, 357, 358, 359, 369}) cr.insert(id);
    // The PMS texts of 202 to 261 without line ends: the mail list heading and
    // the seven log lines of the local screen.
    const std::set<unsigned> unendedPms = {202, 224, 225, 231, 233, 235, 239, 244};
    for (unsigned id : Range(202, 261))
        if (!unendedPms.count(id)) cr.insert(id);
    const std::set<unsigned> crlf = {8, 15, 109, 112, 113, 160, 184, 196};

    std::map<std::string, size_t> counts;
    for (const auto& [id, text] : catalogue_.texts) {
        std::string kind = lng::LineEndKind(text);
        ++counts[kind];
        if (cr.count(id)) {
            EXPECT_EQ(kind, "cr") << "ID " << id;
        } else if (crlf.count(id)) {
            EXPECT_EQ(kind, "crlf") << "ID " << id;
        } else {
            EXPECT_TRUE(kind == "lf" || kind == "none") << "ID " << id << ": " << kind;
        }
    }
    EXPECT_EQ(counts["lf"], 208u);
    EXPECT_EQ(counts["cr"], 67u);
    EXPECT_EQ(counts["crlf"], 8u);
    EXPECT_EQ(counts["none"], 251u);
    EXPECT_EQ(counts["mixed"], 0u);
}

TEST_F(DutchCatalogue, EqualPairsAndNoOtherDoubles)
{
    const std::set<std::pair<unsigned, unsigned>> pairs = {{42, 43},   {93, 1027}, {217, 258}, {285, 408},
                                                           {298, 304}, {300, 361}, {301, 362}};
    std::map<std::string, std::vector<unsigned>> byText;
    for (const auto& [id, text] : catalogue_.texts) byText[text].push_back(id);
    std::set<std::pair<unsigned, unsigned>> found;
    for (const auto& [text, ids] : byText) {
        if (ids.size() == 1) continue;
        EXPECT_EQ(ids.size(), 2u) << text;
        found.insert({ids[0], ids[1]});
    }
    EXPECT_EQ(found, pairs);
}

TEST_F(DutchCatalogue, LongestTextIs113)
{
    EXPECT_EQ(Text(113).size(), 277u);
    for (const auto& [id, text] : catalogue_.texts)
        if (id != 113) {
            EXPECT_LT(text.size(), 277u) << "ID " << id;
        }
}

TEST_F(DutchCatalogue, ContinuedTextsAndSignificantSpaces)
{
    auto endsWith = [](const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    EXPECT_TRUE(endsWith(Text(310), ": "));
    EXPECT_TRUE(endsWith(Text(315), ": "));
    EXPECT_TRUE(endsWith(Text(311), ", "));
    EXPECT_TRUE(endsWith(Text(421), ", "));
    // 316 to 318 complete 315 on its line: one line each, no line end.
    for (unsigned id : {316u, 317u, 318u}) EXPECT_EQ(lng::LineEndKind(Text(id)), "none") << id;
    EXPECT_TRUE(endsWith(Text(143), "... "));
    EXPECT_EQ(Text(253).substr(0, 1), " ");
    EXPECT_NE(Text(253).substr(1, 1), " ");
    EXPECT_EQ(Text(379), " NIEMAND");
    EXPECT_NE(Text(1000).find("manager  ALT-F7"), std::string::npos);
    EXPECT_NE(Text(15).find("C:\\USERS"), std::string::npos);
    EXPECT_EQ(Text(15).find("\\\\"), std::string::npos);
}

// Samples of each topic range stay in their topic (a shifted block of IDs
// would move these).
TEST_F(DutchCatalogue, TopicsStayInTheirRanges)
{
    for (unsigned id : Range(20, 30)) EXPECT_EQ(Text(id).rfind("Yapp rapport: ", 0), 0u) << id;
    for (unsigned id : Range(61, 86)) EXPECT_EQ(Text(id).rfind("Syntax: A", 0), 0u) << id;
    for (unsigned id : Range(1030, 1041)) EXPECT_EQ(Text(id)[0], 'L') << id;
    for (unsigned id : Range(1076, 1082)) EXPECT_EQ(Text(id).rfind("Kleur ", 0), 0u) << id;
}

}  // namespace
