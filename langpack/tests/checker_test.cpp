// The catalogue checker: each kind of breach is found and named by its ID,
// in small catalogues of any language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "langpack/catalogue.h"

namespace {

// A small host interface covering every kind of rule.
const char kInterface[] =
    "# id\tconversions\tline ends\n"
    "1\t-\tnone\n"
    "2\t%d:int %s:string\tlf\n"
    "3\t%-10s:string %c:char %d:int\tnone\n"
    "4\t%ld:long\tcr\n"
    "5\t-\tcrlf\n"
    "6\t%25.25s:string %X:unsigned\tnone\n";

// A sound catalogue for it (in English, as another language pack would be).
const char kSound[] =
    "1\tNo mail\n"
    "2\tChannel %d: %s\\n\n"
    "3\t%-10s Shutdown %c, ch: %d\n"
    "4\t\\rMessage %ld deleted.\\r\n"
    "5\tAll mail\\r\\nDone\\r\\n\n"
    "6\t%25.25s*** code %X ***\n";

std::vector<lng::Breach> CheckText(const std::string& catalogueText)
{
    lng::HostInterface host;
    EXPECT_EQ(lng::ParseInterface(kInterface, host), "");
    lng::Catalogue catalogue;
    std::vector<lng::Breach> breaches;
    lng::ParseCatalogue(catalogueText, catalogue, breaches);
    std::vector<lng::Breach> more = lng::Check(catalogue, host);
    breaches.insert(breaches.end(), more.begin(), more.end());
    return breaches;
}

// kSound with the line of one ID replaced (or removed when line is empty).
std::string WithLine(unsigned id, const std::string& line)
{
    std::string out;
    std::string all = kSound;
    std::string::size_type start = 0;
    while (start < all.size()) {
        std::string::size_type end = all.find('\n', start);
        std::string current = all.substr(start, end - start);
        if (current.rfind(std::to_string(id) + "\t", 0) == 0) {
            if (!line.empty()) out += line + "\n";
        } else {
            out += current + "\n";
        }
        start = end + 1;
    }
    return out;
}

TEST(CatalogueChecker, SoundCatalogueHasNoBreach)
{
    EXPECT_TRUE(CheckText(kSound).empty());
}

TEST(CatalogueChecker, ReportsEachBreachWithItsId)
{
    struct Case {
        const char* what;
        unsigned id;
        std::string line;  // replaces the sound line of id; empty removes it
        std::string expected;  // the first breach
        size_t count = 1;      // breaches in all, each with the ID (an
                               // unreadable text is also reported missing)
    };
    const Case cases[] = {
        {"changed conversion", 2, "2\tChannel %u: %s\\n", "ID 2: conversion 1 is %u (unsigned), but the host passes %d (int)"},
        {"changed width", 6, "6\t%20.20s*** code %X ***", "ID 6: conversion 1 is %20.20s (string), but the host passes %25.25s (string)"},
        {"conversions swapped", 3, "3\t%c %-10s Shutdown, ch: %d", "ID 3: conversion 1 is %c (char), but the host passes %-10s (string)", 2},
        {"conversion dropped", 2, "2\tChannel %d\\n", "ID 2: conversions %d, but the host passes %d %s"},
        {"conversion added", 1, "1\tNo mail for %s", "ID 1: conversions %s, but the host passes none"},
        {"missing text", 5, "", "ID 5: text missing"},
        {"stray percent sign", 1, "1\t100% read", "ID 1: stray percent sign \"% \" at column 4"},
        {"percent at the end", 1, "1\tNo mail %", "ID 1: stray percent sign \"%\" at column 9"},
        {"literal percent", 1, "1\t100%% read", "ID 1: literal percent sign \"%%\" at column 4"},
        {"long form unknown", 4, "4\t\\rMessage %lu deleted.\\r", "ID 4: stray percent sign \"%lu\" at column 10"},
        {"mixed line ends", 2, "2\tChannel %d:\\r %s\\n", "ID 2: mixes line ends (CR, LF and CR LF)"},
        {"CR LF with a lone LF", 5, "5\tAll mail\\r\\nDone\\n", "ID 5: mixes line ends (CR, LF and CR LF)"},
        {"LF where CR is required", 4, "4\t\\nMessage %ld deleted.\\n", "ID 4: line ends are lf, but the host expects cr"},
        {"line end dropped", 2, "2\tChannel %d: %s", "ID 2: line ends are none, but the host expects lf"},
        {"line end added", 3, "3\t%-10s Shutdown %c, ch: %d\\n", "ID 3: line ends are lf, but the host expects none"},
        {"CR where none is required", 1, "1\tNo mail\\r", "ID 1: line ends are cr, but the host expects none"},
        {"LF where CR LF is required", 5, "5\tAll mail\\nDone\\n", "ID 5: line ends are lf, but the host expects crlf"},
        {"tab in the text", 1, "1\tNo\tmail", "ID 1: character 0x09 at column 3 is not printable ASCII, CR or LF"},
        {"non-ASCII letter", 1, "1\tGe\xEBxporteerd", "ID 1: character 0xEB at column 3 is not printable ASCII, CR or LF"},
        {"empty text", 1, "1\t", "ID 1: empty text (reads as a missing message)"},
        {"unknown escape", 1, "1\tNo\\tmail", "ID 1: unknown escape \\t", 2},
        {"lone backslash at the end", 1, "1\tC:\\", "ID 1: backslash at the end of the text", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<lng::Breach> breaches = CheckText(WithLine(c.id, c.line));
        ASSERT_EQ(breaches.size(), c.count);
        for (const lng::Breach& b : breaches) EXPECT_EQ(b.id, long(c.id));
        EXPECT_EQ(lng::Describe(breaches[0]), c.expected);
    }
}

TEST(CatalogueChecker, ReportsUnknownRepeatedAndMalformedEntries)
{
    // IDs are 16-bit: 65535 is an ID (unknown to the host), 65536 is not.
    std::string text = std::string(kSound) + "7\tExtra text\n" + "1\tAgain\n" + "# comment\n\n" + "x1\tNo ID\n" +
                       "65536\tToo far\n" + "65535\tLast\n";
    std::vector<lng::Breach> breaches = CheckText(text);
    std::vector<std::string> described;
    for (const lng::Breach& b : breaches) described.push_back(lng::Describe(b));
    EXPECT_EQ(described, (std::vector<std::string>{"ID 1: given twice (first on line 1)", "line 11: expected a message ID (0-65535), a tab and the text",
                                                    "line 12: expected a message ID (0-65535), a tab and the text",
                                                    "ID 7: the host has no message with this ID",
                                                    "ID 65535: the host has no message with this ID"}));
}

TEST(CatalogueChecker, ReportsEveryBreachOfOneCatalogue)
{
    std::string both = std::string("1\t50% off\n2\tChannel %s: %d\\n\n3\t%-10s Shutdown %c, ch: %d\n") +
                       "5\tAll mail\\r\\nDone\\r\\n\n6\t%25.25s*** code %X ***\n";
    std::vector<lng::Breach> breaches = CheckText(both);
    std::vector<long> ids;
    for (const lng::Breach& b : breaches) ids.push_back(b.id);
    EXPECT_EQ(ids, (std::vector<long>{1, 2, 2, 4}));
}

TEST(CatalogueChecker, AcceptsDosLineEndsInTheTableItself)
{
    std::string dos;
    for (char c : std::string(kSound)) {
        if (c == '\n') dos += '\r';
        dos += c;
    }
    EXPECT_TRUE(CheckText(dos).empty());
}

TEST(CatalogueChecker, RejectsMalformedInterface)
{
    const char* bad[] = {
        "1\t%d\tnone\n",            // type missing
        "1\t%d:long\tnone\n",       // type does not match the conversion
        "1\t%q:int\tnone\n",        // not a conversion
        "1\t-\tcrcr\n",             // unknown line-end kind
        "1\t-\t-\n",                // line ends not stated
        "1\t-\n",                   // field missing
        "1\t-\tnone\n1\t-\tlf\n",   // repeated ID
        "65536\t-\tnone\n",         // ID out of range (IDs are 16-bit)
    };
    for (const char* table : bad) {
        SCOPED_TRACE(table);
        lng::HostInterface host;
        EXPECT_NE(lng::ParseInterface(table, host), "");
    }
}

TEST(CatalogueChecker, FindsConversionsWithTheirTypes)
{
    std::string error;
    std::vector<lng::Conversion> found =
        lng::FindConversions("%d %u %ld %s %c %X %-10s %25.25s %-12.12s %.8s", error);
    EXPECT_EQ(error, "");
    std::vector<std::string> types;
    for (const lng::Conversion& c : found) types.push_back(c.form + "=" + c.type);
    EXPECT_EQ(types, (std::vector<std::string>{"%d=int", "%u=unsigned", "%ld=long", "%s=string", "%c=char",
                                               "%X=unsigned", "%-10s=string", "%25.25s=string",
                                               "%-12.12s=string", "%.8s=string"}));
}

TEST(StringTableScript, EscapesEveryTextForTheResourceCompiler)
{
    lng::Catalogue catalogue;
    catalogue.texts[0] = "a\"b\\c\r\nd";
    catalogue.texts[17] = " lead and trail ";
    catalogue.texts[18] = "Wat?" "?=/* niet */";
    std::string script = lng::StringTableScript(catalogue, "x.txt");
    EXPECT_NE(script.find("LANGUAGE 0, 0\nSTRINGTABLE\nBEGIN\n"), std::string::npos);
    EXPECT_NE(script.find("  0, \"a\"\"b\\\\c\\015\\012d\"\n"), std::string::npos);
    EXPECT_NE(script.find("  17, \" lead and trail \"\n"), std::string::npos);
    EXPECT_NE(script.find("  18, \"Wat\\077?=/* niet */\"\n"), std::string::npos);
}

}  // namespace
