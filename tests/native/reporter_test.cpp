// The progress line: which figures it shows and how it fits its width.
#include <gtest/gtest.h>

#include <string>

#include "packer/release/reporter.h"

namespace {

TEST(ProgressLine, ShowsWhatIsKnown)
{
    struct Case {
        bv::ProgressFigures f;
        const char* current;
        const char* line;
    };
    auto figures = [](std::size_t files, std::size_t filesTotal, std::uint64_t bytes, std::uint64_t bytesTotal,
                      std::uint64_t packed, double fraction, double seconds) {
        bv::ProgressFigures f;
        f.filesDone = files;
        f.filesTotal = filesTotal;
        f.bytesDone = bytes;
        f.bytesTotal = bytesTotal;
        f.packedDone = packed;
        f.fraction = fraction;
        f.seconds = seconds;
        return f;
    };
    const Case cases[] = {
        // Totals known, a quarter done after 3 s: 9 s left.
        {figures(3, 12, 1048576, 4194304, 524288, 0.25, 3), "DOCS\\GUIDE.TXT",
         "packing 3/12 files, 1.0 MiB of 4.0 MiB, ratio 50.0%, 0:09 left  DOCS\\GUIDE.TXT"},
        // No estimate within the first second, nor without a share done.
        {figures(1, 12, 2048, 0, 1024, 0.5, 0.5), "", "packing 1/12 files, 2.0 KiB, ratio 50.0%"},
        {figures(1, 0, 2048, 0, 0, -1, 30), "A", "packing 1 file, 2.0 KiB  A"},
        {figures(1, 1, 0, 0, 0, -1, 0), "", "packing 1/1 file, 0.0 KiB"},
        // Minutes and seconds.
        {figures(5, 10, 10, 20, 5, 0.1, 10), "", "packing 5/10 files, 0.0 KiB of 0.0 KiB, ratio 50.0%, 1:30 left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bv::FormatProgress("packing", c.f, c.current), c.line);
}

TEST(ProgressLine, LongNamesAreShortenedFromTheLeft)
{
    bv::ProgressFigures f;
    f.filesDone = 1;
    f.filesTotal = 2;
    std::string name = "VERY\\DEEP\\" + std::string(100, 'N') + "\\END.TXT";
    std::string line = bv::FormatProgress("testing", f, name, 79);
    EXPECT_EQ(line.size(), 79u) << line;
    EXPECT_EQ(line.rfind("testing 1/2 files, 0.0 KiB  ...", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 8), "\\END.TXT") << line;
}

}  // namespace
