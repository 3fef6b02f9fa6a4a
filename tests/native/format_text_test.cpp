// FormatText: the installer's texts in every length relation to the buffer;
// the terminator is always there and nothing past the buffer is written.
// Built natively and for Windows, where it runs over the system runtime's
// formatter, which itself leaves a cut text unterminated.
#include "archive/format_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char GUARD = '#';
const std::size_t GUARD_BYTES = 8;

struct Formatted {
    std::string text;
    int result;
    bool guardsKept;
};

// Formats into a buffer of size bytes followed by guard bytes.
template <typename... Args>
Formatted Format(std::size_t size, const char* format, Args... args)
{
    char buffer[64 + GUARD_BYTES];
    std::memset(buffer, GUARD, sizeof buffer);
    int result = FormatText(buffer, size, format, args...);
    bool guardsKept = true;
    for (std::size_t i = size; i < size + GUARD_BYTES; i++) guardsKept &= buffer[i] == GUARD;
    bool terminated = std::memchr(buffer, '\0', size) != nullptr;
    return {terminated ? std::string(buffer) : std::string("<unterminated>"), result, guardsKept};
}

TEST(FormatText, TextAgainstBufferSize)
{
    struct {
        std::size_t size;
        const char* text;
        const char* stored;
        int result;
    } cases[] = {
        {16, "SETUP", "SETUP", 5},     // room to spare
        {6, "SETUP", "SETUP", 5},      // text and terminator fill the buffer
        {5, "SETUP", "SETU", -1},      // the text alone fills it: cut by one
        {3, "SETUP", "SE", -1},        // far too long
        {1, "SETUP", "", -1},          // room for the terminator only
        {1, "", "", 0},
    };
    for (const auto& c : cases) {
        Formatted f = Format(c.size, "%s", c.text);
        EXPECT_EQ(f.text, c.stored) << c.text << " in " << c.size;
        EXPECT_EQ(f.result, c.result) << c.text << " in " << c.size;
        EXPECT_TRUE(f.guardsKept) << c.text << " in " << c.size;
    }
}

TEST(FormatText, ConversionsOfTheInstallersTexts)
{
    EXPECT_EQ(Format(64, "Reading: %s.E%02X", "SETUP", 0x0Au).text, "Reading: SETUP.E0A");
    EXPECT_EQ(Format(64, "%s.E%02X", "SETUP", 0xFFu).text, "SETUP.EFF");
    EXPECT_EQ(Format(64, "%c:", 'C').text, "C:");
    EXPECT_EQ(Format(64, "%d %%", 100).text, "100 %");
    EXPECT_EQ(Format(64, "Execution failed; error code = %d", -2).text, "Execution failed; error code = -2");
    EXPECT_EQ(Format(64, "[AddItem(%c%s\\%s%c,%s)]", '"', "C:\\TOOLS", "T.EXE", '"', "Tool").text,
              "[AddItem(\"C:\\TOOLS\\T.EXE\",Tool)]");
    // A cut conversion keeps the characters that fit.
    Formatted cut = Format(10, "Reading: %s.E%02X", "SETUP", 1u);
    EXPECT_EQ(cut.text, "Reading: ");
    EXPECT_EQ(cut.result, -1);
    EXPECT_TRUE(cut.guardsKept);
}

#if defined(_WIN32)
// Why the helper exists: the system runtime's bounded formatter writes no
// terminator when the text fills the buffer or is longer.
TEST(SystemFormatter, LeavesACutTextUnterminated)
{
    struct {
        std::size_t size;
        int result;
    } cases[] = {{5, 5}, {3, -1}};
    for (const auto& c : cases) {
        char buffer[8];
        std::memset(buffer, GUARD, sizeof buffer);
        EXPECT_EQ(_snprintf(buffer, c.size, "%s", "SETUP"), c.result) << c.size;
        EXPECT_EQ(std::memchr(buffer, '\0', sizeof buffer), nullptr) << c.size;
        EXPECT_EQ(std::string(buffer, c.size), std::string("SETUP", c.size)) << c.size;
    }
}
#endif

}  // namespace
