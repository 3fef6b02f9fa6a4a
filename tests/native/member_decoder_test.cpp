// Member stream decoder: bit reader, tokens, slices, progress, the byte
// handed back after a member, and failures of source and output.
#include "codec/member_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "codec/huff_model.h"
#include "tests/native/archive_fixture.h"
#include "tests/native/stream_writer.h"

namespace {

std::vector<std::string> PercentsShown()
{
    std::vector<std::string> shown;
    for (const auto& s : recordingHost.statusLog)
        if (s.line == 3)
            shown.push_back(s.text);
    return shown;
}

class DecoderTest : public ArchiveFixture {
protected:
    // Decodes one member from the open volume into out.bin: the first call
    // and the continuing ones while PumpStep asks for them. Records the
    // bytes produced per call.
    int DecodeWhole(std::vector<int>* slices = nullptr, std::vector<int>* steps = nullptr)
    {
        int result = DecodeMember(0);
        for (;;) {
            if (slices)
                slices->push_back(memberDecoder.sliceCount);
            if (steps)
                steps->push_back(install.PumpStep);
            if (result != 0 || install.PumpStep != STEP_CONTINUE)
                return result;
            result = DecodeMember(1);
        }
    }

    std::string Output() { return ReadFile(dest / "out.bin"); }

    int NextVolumeByte() { return std::getc(install.volumeStream); }
};

TEST(PositionTables, SampleRows)
{
    struct { int b, upper, length; } rows[] = {
        {0x00, 0, 3}, {0x1F, 0, 3}, {0x20, 1, 4}, {0x2F, 1, 4}, {0x30, 2, 4}, {0x4F, 3, 4},
        {0x50, 4, 5}, {0x8F, 11, 5}, {0x90, 12, 6}, {0xBF, 23, 6}, {0xC0, 24, 7}, {0xC1, 24, 7},
        {0xEF, 47, 7}, {0xF0, 48, 8}, {0xFF, 63, 8},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(positionUpper[r.b], r.upper) << std::hex << r.b;
        EXPECT_EQ(positionCodeLength[r.b], r.length) << std::hex << r.b;
    }
    // Every upper value has exactly one prefix: the codes form a prefix code.
    for (int b = 1; b < 256; b++)
        EXPECT_LE(positionUpper[b - 1], positionUpper[b]);
}

TEST_F(DecoderTest, OneByteMemberHandsBackTheNextByte)
{
    OpenPayload(SizeBytes(1) + "\xE6\x80" "X");
    OpenOutput();
    install.PumpStep = STEP_NEXT_MEMBER;
    EXPECT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(install.PumpStep, STEP_NEXT_MEMBER);
    EXPECT_EQ(install.outputStream, nullptr);   // finished
    EXPECT_EQ(Output(), "A");
    EXPECT_EQ(PercentsShown().front(), "100 %");
    EXPECT_EQ(recordingHost.LastStatus(3), "100 %");
    EXPECT_EQ(NextVolumeByte(), 'X');
}

TEST_F(DecoderTest, StreamBytesMatchTheModelCodes)
{
    // Symbol 65 in a fresh model is 111001101: E6 80 after padding.
    StreamWriter w;
    w.Literal('A');
    EXPECT_EQ(w.Bytes(), "\xE6\x80");
}

TEST_F(DecoderTest, MatchAtPositionZeroRepeatsThePresetBlank)
{
    StreamWriter w;
    w.Bits("10001100");    // symbol 256: length 3
    w.Bits("000000000");   // position 0: prefix 000, low bits 000000
    EXPECT_EQ(w.Bytes(), std::string("\x8C\x00", 2) + std::string(1, '\0'));
    OpenPayload(SizeBytes(3) + w.Bytes() + "]");
    OpenOutput();
    EXPECT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(Output(), "   ");
    EXPECT_EQ(NextVolumeByte(), ']');
}

TEST_F(DecoderTest, MatchRunsIntoItsOwnOutput)
{
    StreamWriter w;
    w.Literal('a');
    w.Literal('b');
    w.Match(7, 1);   // from two back: a b a b a b a
    OpenPayload(SizeBytes(9) + w.Bytes() + "[");
    OpenOutput();
    EXPECT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(Output(), "ababababa");
}

TEST_F(DecoderTest, PositionsModulo2048CopyTheSameBytes)
{
    for (int position : {5, 5 + 2048}) {
        StreamWriter w;
        for (char c : std::string("0123456789"))
            w.Literal(c);
        w.Match(4, position);   // from six back: 4 5 6 7
        CloseArchiveStreams();
        OpenPayload(SizeBytes(14) + w.Bytes() + "[");
        OpenOutput();
        EXPECT_EQ(DecodeMember(0), 0);
        EXPECT_EQ(Output(), "01234567894567") << "position " << position;
    }
}

TEST_F(DecoderTest, FiveThousandLiteralsInThreeSlices)
{
    std::string data;
    std::mt19937 rng(7);
    StreamWriter w;
    for (int i = 0; i < 5000; i++) {
        data += static_cast<char>(rng());
        w.Literal(static_cast<unsigned char>(data.back()));
    }
    OpenPayload(SizeBytes(5000) + w.Bytes() + "[");
    OpenOutput();
    std::vector<int> slices, steps;
    EXPECT_EQ(DecodeWhole(&slices, &steps), 0);
    EXPECT_EQ(slices, (std::vector<int>{2048, 2048, 904}));
    EXPECT_EQ(steps, (std::vector<int>{3, 3, 2}));
    EXPECT_EQ(PercentsShown(), (std::vector<std::string>{"40 %", "81 %", "100 %", "100 %"}));
    EXPECT_EQ(Output(), data);
    EXPECT_EQ(NextVolumeByte(), '[');
}

TEST_F(DecoderTest, SliceEndsAtTheTokenBoundaryAfter2048Bytes)
{
    StreamWriter w;
    std::string data;
    for (int i = 0; i < 2047; i++) {
        w.Literal('x');
        data += 'x';
    }
    w.Match(60, 0);   // begun at 2047: the slice takes all of it
    data += std::string(60, 'x');
    w.Literal('y');
    data += 'y';
    OpenPayload(SizeBytes(static_cast<std::uint32_t>(data.size())) + w.Bytes() + "[");
    OpenOutput();
    std::vector<int> slices;
    EXPECT_EQ(DecodeWhole(&slices), 0);
    EXPECT_EQ(slices, (std::vector<int>{2107, 1}));
    EXPECT_EQ(Output(), data);
}

TEST_F(DecoderTest, PercentageOfAHugeMemberIsFormedIn64Bits)
{
    // Runs of blanks, 60 at a time; the count is moved on between slices
    // to the middle of a member of 100,000,000 bytes.
    StreamWriter w;
    for (int i = 0; i < 80; i++)
        w.Match(60, 0);
    OpenPayload(SizeBytes(100000000) + w.Bytes());
    OpenOutput();
    ASSERT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(PercentsShown(), (std::vector<std::string>{"0 %"}));
    memberDecoder.outputCount = 50000000 - 2048;
    ASSERT_EQ(DecodeMember(1), 0);
    EXPECT_EQ(install.PumpStep, STEP_CONTINUE);
    EXPECT_EQ(PercentsShown(), (std::vector<std::string>{"0 %", "50 %"}));
}

TEST_F(DecoderTest, LastSliceOfAMemberOfFourGigabytesEndsIt)
{
    StreamWriter w;
    for (int i = 0; i < 35 + 2; i++)   // a first slice of 2100 bytes, then two
        w.Match(60, 0);
    OpenPayload(SizeBytes(0xFFFFFFFFu) + w.Bytes() + std::string(4, '\0'));
    OpenOutput();
    ASSERT_EQ(DecodeMember(0), 0);
    memberDecoder.outputCount = 0xFFFFFFFFu - 100;   // two matches from the end
    ASSERT_EQ(DecodeMember(1), 0);
    EXPECT_EQ(memberDecoder.sliceCount, 100);
    EXPECT_EQ(memberDecoder.outputCount, 0xFFFFFFFFu);
    EXPECT_EQ(install.PumpStep, STEP_NEXT_MEMBER);
    EXPECT_EQ(recordingHost.LastStatus(3), "100 %");
}

TEST_F(DecoderTest, EmptyMemberReadsOnlyItsSize)
{
    OpenPayload(SizeBytes(0) + "[PRNAME=");
    OpenOutput();
    install.PumpStep = 7;   // not written for an empty member
    EXPECT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(install.PumpStep, 7);
    EXPECT_EQ(install.outputStream, nullptr);
    EXPECT_EQ(PercentsShown(), (std::vector<std::string>{"100 %"}));   // FinishMember's only
    EXPECT_EQ(Output(), "");
    EXPECT_EQ(NextVolumeByte(), '[');
}

TEST_F(DecoderTest, ByteBeyondTheStreamIsHandedBackToTheNextVolume)
{
    WriteVolume(0, std::string(kHeader) + SizeBytes(1) + "\xE6\x80");
    WriteVolume(1, "[PRNAME=");
    ASSERT_EQ(OpenFirstVolume(), 0);
    OpenOutput();
    EXPECT_EQ(DecodeMember(0), 0);
    EXPECT_EQ(Output(), "A");
    EXPECT_EQ(install.volumeNumber, 1);
    EXPECT_EQ(recordingHost.LastStatus(1), "Reading: SETUP.E01");
    EXPECT_EQ(NextVolumeByte(), '[');
    EXPECT_EQ(NextVolumeByte(), 'P');
}

TEST_F(DecoderTest, StreamReadAcrossVolumesAsOne)
{
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "line " + std::to_string(i * 7 % 13) + " of the member text\r\n";
    std::string member = EncodeMember(text);
    // Cut inside the stream twice; the last volume ends with the next record.
    std::string stream = member.substr(4);
    std::size_t a = stream.size() / 3, b = 2 * stream.size() / 3;
    WriteVolume(0, std::string(kHeader) + member.substr(0, 4) + stream.substr(0, a));
    WriteVolume(1, stream.substr(a, b - a));
    WriteVolume(2, stream.substr(b) + "[");
    ASSERT_EQ(OpenFirstVolume(), 0);
    OpenOutput();
    EXPECT_EQ(DecodeWhole(), 0);
    EXPECT_EQ(Output(), text);
    EXPECT_EQ(install.volumeNumber, 2);
    EXPECT_EQ(NextVolumeByte(), '[');
}

// A long member decodes from blocks read ahead; near the end of a volume
// the byte reader takes over, so the next volume is opened for the same
// byte as ever: the byte beyond the stream, when the stream ends with the
// volume. Cuts around the end of the stream and around the read-ahead's
// margin.
TEST_F(DecoderTest, LongStreamCrossesToTheNextVolumeAtTheSameByte)
{
    std::string text;
    for (int i = 0; i < 2000; i++)
        text += "record " + std::to_string(i * 31 % 97) + " of the member\r\n";
    const std::string member = EncodeMember(text);
    const std::string stream = member.substr(4);
    struct { const char* what; std::size_t beforeEnd; } cuts[] = {
        {"volume ends with the stream", 0}, {"one byte left", 1}, {"margin less one", 31},
        {"margin", 32}, {"margin and one", 33}, {"far before the end", 3000},
    };
    for (const auto& c : cuts) {
        SCOPED_TRACE(c.what);
        CloseArchiveStreams();
        ResetInstallState();
        recordingHost.Install();
        std::snprintf(install.archiveName, sizeof install.archiveName, "SETUP");
        std::snprintf(install.sourceDir, sizeof install.sourceDir, "%s", source.c_str());
        std::size_t cut = stream.size() - c.beforeEnd;
        WriteVolume(0, std::string(kHeader) + member.substr(0, 4) + stream.substr(0, cut));
        WriteVolume(1, stream.substr(cut) + "[PRNAME=");
        ASSERT_EQ(OpenFirstVolume(), 0);
        std::snprintf(install.destDir, sizeof install.destDir, "%s", dest.c_str());
        OpenOutput();
        EXPECT_EQ(DecodeWhole(), 0);
        EXPECT_EQ(Output(), text);
        EXPECT_EQ(install.volumeNumber, 1);
        EXPECT_EQ(recordingHost.LastStatus(1), "Reading: SETUP.E01");
        EXPECT_EQ(NextVolumeByte(), '[');
        EXPECT_EQ(NextVolumeByte(), 'P');
    }
}

// The bytes of the member in the open volume as the byte reader alone
// decodes them, token by token, up to the first token that cannot be
// completed; *complete tells whether all were had.
std::string DecodeWithTheByteReader(bool* complete)
{
    unsigned char sizeField[4];
    EXPECT_EQ(std::fread(sizeField, 1, 4, install.volumeStream), 4u);
    std::uint32_t size = LoadLittleEndian32(sizeField);
    memberDecoder.bitBuffer = 0;
    memberDecoder.bitCount = 0;
    HuffStart();
    std::uint8_t window[WINDOW_SIZE];
    std::memset(window, PRESET_BYTE, sizeof window);
    unsigned pos = WINDOW_PRESET;
    std::string out;
    *complete = false;
    while (out.size() < size) {
        int symbol = HuffDecodeSymbol();
        if (symbol < 0)
            return out;
        if (symbol < LITERAL_COUNT) {
            out += static_cast<char>(symbol);
            window[pos] = static_cast<std::uint8_t>(symbol);
            pos = (pos + 1) % WINDOW_SIZE;
            continue;
        }
        int position = DecodePosition();
        if (position < 0)
            return out;
        unsigned from = (pos - static_cast<unsigned>(position) - 1) % WINDOW_SIZE;
        for (int k = symbol - LENGTH_BASE; k > 0 && out.size() < size; k--) {
            std::uint8_t x = window[from];
            from = (from + 1) % WINDOW_SIZE;
            out += static_cast<char>(x);
            window[pos] = x;
            pos = (pos + 1) % WINDOW_SIZE;
        }
    }
    // The byte reader reads one byte beyond the last code.
    *complete = RefillBits(memberDecoder);
    return out;
}

// The volume ends within the last bytes of a member's stream and the next
// volume cannot be had: the decoder, which reads blocks ahead, stops after
// the same byte, with the same bytes written, as the byte reader alone.
TEST_F(DecoderTest, StreamCutNearItsEndStopsWhereTheByteReaderStops)
{
    std::string text;
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; i++)   // rare symbols and far matches: long tokens
        text += i % 7 == 0 ? static_cast<char>(rng() % 256) : "abcdefgh"[rng() % 8];
    const std::string member = EncodeMember(text);
    for (std::size_t cut = member.size() - 70; cut <= member.size(); cut++) {
        SCOPED_TRACE(cut);
        OpenPayload(member.substr(0, cut));
        bool complete = false;
        std::string expected = DecodeWithTheByteReader(&complete);
        CloseArchiveStreams();
        recordingHost.prompts.clear();

        OpenPayload(member.substr(0, cut));
        OpenOutput();
        EXPECT_EQ(DecodeWhole(), -1);
        std::fflush(install.outputStream);
        EXPECT_EQ(Output(), expected);
        EXPECT_EQ(recordingHost.prompts.size(), 1u);
        EXPECT_FALSE(complete);
        CloseArchiveStreams();
    }
}

// Between slices, every byte produced is in the member file: an Abort that
// closes the streams there leaves exactly those bytes.
TEST_F(DecoderTest, AbortBetweenSlicesLeavesEveryByteProduced)
{
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += static_cast<char>('a' + i * i % 26);
    OpenPayload(EncodeMember(text) + "[");
    OpenOutput();
    ASSERT_EQ(DecodeMember(0), 0);
    ASSERT_EQ(install.PumpStep, STEP_CONTINUE);
    std::uint32_t produced = memberDecoder.outputCount;
    CloseArchiveStreams();
    EXPECT_EQ(Output(), text.substr(0, produced));
}

TEST_F(DecoderTest, CancelledPromptForTheByteBeyondFailsTheMember)
{
    // The last token is complete, but the refill needs one more byte.
    OpenPayload(SizeBytes(1) + "\xE6\x80");
    OpenOutput();
    install.PumpStep = STEP_NEXT_MEMBER;
    EXPECT_EQ(DecodeMember(0), -1);
    EXPECT_EQ(install.PumpStep, STEP_NEXT_MEMBER);
    EXPECT_TRUE(install.sourceExhausted);
    ASSERT_EQ(recordingHost.prompts.size(), 1u);
    EXPECT_EQ(recordingHost.prompts[0],
              "Insert disk number 1 with file \"SETUP.E01\"\r\nin " + source.string());
    EXPECT_TRUE(recordingHost.errors.empty());   // a cancel is reported by nobody
    std::fflush(install.outputStream);
    EXPECT_EQ(Output(), "");                     // the token's byte is not written
    // A later read does not ask again.
    EXPECT_EQ(ReadArchiveByte(), -1);
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
}

TEST_F(DecoderTest, CancelledPromptMidMemberKeepsWhatWasWritten)
{
    std::string data;
    for (int i = 0; i < 3000; i++)
        data += static_cast<char>('a' + i % 26);
    StreamWriter w;
    for (char c : data)
        w.Literal(c);
    std::string stream = w.Bytes();
    OpenPayload(SizeBytes(3000) + stream.substr(0, stream.size() / 2));
    OpenOutput();
    std::vector<int> steps;
    EXPECT_EQ(DecodeWhole(nullptr, &steps), -1);
    EXPECT_EQ(steps.back(), STEP_NEXT_MEMBER);
    EXPECT_EQ(recordingHost.prompts.size(), 1u);
    std::fflush(install.outputStream);
    std::string written = Output();
    EXPECT_GT(written.size(), 0u);
    EXPECT_LT(written.size(), 3000u);
    EXPECT_EQ(written, data.substr(0, written.size()));
}

TEST_F(DecoderTest, FailingBitSourceLeavesTheModelAsAfterTheLastSymbol)
{
    // Five 9-bit codes cut after 32 bits: the refill wants a fifth byte
    // while 8 bits remain, in the middle of the third code.
    StreamWriter w, two;
    for (char c : std::string("abcde"))
        w.Literal(c);
    two.Literal('a');
    two.Literal('b');
    OpenPayload(SizeBytes(5) + w.Bytes().substr(0, 4));
    OpenOutput();
    EXPECT_EQ(DecodeMember(0), -1);
    EXPECT_EQ(memberDecoder.outputCount, 2u);
    EXPECT_EQ(std::memcmp(&huffModel, &two.Model(), sizeof huffModel), 0);
}

TEST_F(DecoderTest, DamagedLastMatchIsCutAtTheMemberSize)
{
    StreamWriter w;
    w.Literal('z');
    w.Match(60, 0);   // 61 bytes coded for a member of 10
    OpenPayload(SizeBytes(10) + w.Bytes() + "[");
    OpenOutput();
    EXPECT_EQ(DecodeWhole(), 0);
    EXPECT_EQ(Output(), std::string(10, 'z'));
    EXPECT_EQ(memberDecoder.outputCount, 10u);
    EXPECT_EQ(PercentsShown().front(), "100 %");
    EXPECT_EQ(NextVolumeByte(), '[');
}

TEST_F(DecoderTest, SizeCutByTheVolumeEndIsDamaged)
{
    OpenPayload(std::string("\x05\x00", 2));
    OpenOutput();
    EXPECT_EQ(DecodeMember(0), -1);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nSource file damaged."}));
}

TEST_F(DecoderTest, FullDiskStopsAtTheEndOfASlice)
{
    std::string data(200000, 'w');
    for (std::size_t i = 0; i < data.size(); i += 7)
        data[i] = static_cast<char>('a' + i % 23);
    OpenPayload(EncodeMember(data) + "[");
    install.outputStream = std::fopen("/dev/full", "wb");
    ASSERT_NE(install.outputStream, nullptr);
    std::vector<int> slices;
    EXPECT_EQ(DecodeWhole(&slices), -1);
    EXPECT_LT(slices.size(), 10u);   // stopped soon after the buffer first went out
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nCannot write output file."}));
}

TEST_F(DecoderTest, FullDiskAtTheFinalFlushFailsTheMember)
{
    OpenPayload(SizeBytes(1) + "\xE6\x80" "[");
    install.outputStream = std::fopen("/dev/full", "wb");
    ASSERT_NE(install.outputStream, nullptr);
    std::snprintf(install.outputPath, sizeof install.outputPath, "/dev/full");
    EXPECT_EQ(DecodeMember(0), -1);
    EXPECT_EQ(install.outputStream, nullptr);
    EXPECT_EQ(recordingHost.errors, (std::vector<std::string>{"ERROR:\r\nCannot write output file."}));
    EXPECT_TRUE(recordingHost.attributedPaths.empty());
}

TEST_F(DecoderTest, RoundTripsMembersBackToBack)
{
    // Texts with long matches and a random member long enough for several
    // rebuilds of the model; each starts from a fresh model and window.
    std::mt19937 rng(99);
    std::string text;
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta\r\n", "epsilon ", "zeta "};
    while (text.size() < 60000)
        text += words[rng() % 6];
    // Few matches: more than 32,455 symbols, so the model rebuilds.
    std::string noise;
    for (int i = 0; i < 45000; i++)
        noise += static_cast<char>('0' + rng() % 64);
    std::string members[] = {text, "", noise, "x"};
    std::string payload;
    for (const auto& m : members)
        payload += EncodeMember(m);
    OpenPayload(payload + "[");
    for (std::size_t i = 0; i < std::size(members); i++) {
        std::string name = "m" + std::to_string(i);
        OpenOutput(name.c_str());
        EXPECT_EQ(DecodeWhole(), 0) << name;
        EXPECT_EQ(ReadFile(dest / name), members[i]) << name;
    }
    EXPECT_EQ(NextVolumeByte(), '[');
}

// Matches that reach before a member's first byte: window[0 ... 1987] are
// blanks again, window[1988 ... 2047] still hold what the member before
// left there. Our encoder never refers to them; other writers may.
TEST_F(DecoderTest, SecondMemberReadsWhatTheFirstLeftAboveThePreset)
{
    std::string first;
    for (int i = 0; i < 60; i++)
        first += static_cast<char>('!' + i);   // fills window[1988 ... 2047]
    StreamWriter one;
    for (char c : first)
        one.Literal(c);
    StreamWriter two;
    two.Match(60, 2047);   // from 2048 back: window[1988 ...]
    two.Match(3, 60);      // from 61 back: the last preset blank, then two of those bytes
    OpenPayload(SizeBytes(60) + one.Bytes() + SizeBytes(63) + two.Bytes() + "[");
    OpenOutput("one");
    ASSERT_EQ(DecodeWhole(), 0);
    OpenOutput("two");
    ASSERT_EQ(DecodeWhole(), 0);
    EXPECT_EQ(ReadFile(dest / "two"), first + " " + first.substr(0, 2));
}

// Reference streams, worked out from the model's rules, not by our encoder.
// 32,455 times 'A' brings the root to 0x8000, and the update of the last
// one rebuilds: 'A' keeps a leaf of weight 16,228, the other 313 leaves
// weigh 1, and every joined node goes above the nodes of equal weight.
TEST_F(DecoderTest, ReferenceStreamsRunPastTheFirstRebuild)
{
    // 313 codes of 'A' that shrink from 9 bits to 1, then 'A' coded 1.
    const char leading[] =
        "\xe6\xe2\xe1\xc5\x7e\x18\x61\x6b\xde\xf7\xbd\xef\x55\x55\x55\x55"
        "\x57\x77\x77\x77\x24\x92\x49\x24\x92\x49\x24\x92\x49\x2d\xb6\xda"
        "\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xaa\xd5\x55"
        "\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x80\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x7f";
    const std::string lead = std::string(leading, sizeof leading - 1) + std::string(4016, '\xFF');
    const std::string as(32455, 'A');
    // After the rebuild: 'B', 0, 255 and a blank, coded 0111010000,
    // 0110001110, 010001101 and 0110101110, then zero padding.
    const std::string afterwards = "\xfe\xe8\x31\xc8\xd6\xb8";

    OpenPayload(SizeBytes(32455) + lead + "\xfe" + SizeBytes(32459) + lead + afterwards + "[");
    OpenOutput("as");
    ASSERT_EQ(DecodeWhole(), 0);
    EXPECT_EQ(ReadFile(dest / "as"), as);
    // The codes right after the rebuild.
    EXPECT_EQ(huffModel.frequency[ROOT_NODE], 16542);
    struct { int symbol; const char* code; } codes[] = {
        {'A', "1"}, {0, "0110001110"}, {'B', "0111010000"}, {255, "010001101"}, {256, "010001110"}, {313, "0111001111"},
    };
    for (const auto& c : codes)
        EXPECT_EQ(CodeBits(huffModel, c.symbol), c.code) << "symbol " << c.symbol;

    OpenOutput("more");
    ASSERT_EQ(DecodeWhole(), 0);
    EXPECT_EQ(ReadFile(dest / "more"), as + std::string("B\0\xFF ", 4));
    EXPECT_EQ(NextVolumeByte(), '[');
}

TEST_F(DecoderTest, BitReaderKeepsSixteenBitsAndReadsByFlag)
{
    // 0xFF is a byte like any other; the bit buffer never holds more than
    // 16 bits, so exactly two bytes are read for the first bit.
    OpenPayload(std::string("\xFF\x00\xAA" "Z", 4));
    memberDecoder.bitBuffer = 0;
    memberDecoder.bitCount = 0;
    EXPECT_EQ(GetBit(), 1);
    EXPECT_EQ(memberDecoder.bitCount, 15);
    EXPECT_EQ(GetByte(), 0xFE);   // seven 1 bits and a 0
    EXPECT_EQ(memberDecoder.bitCount, 7);
    EXPECT_EQ(GetBit(), 0);       // refill reads 0xAA first
    EXPECT_EQ(memberDecoder.bitCount, 14);
    EXPECT_EQ(NextVolumeByte(), 'Z');
}

TEST_F(DecoderTest, DecodePositionReadsPrefixAndLowBits)
{
    struct { int position; } cases[] = {{0}, {63}, {64}, {1000}, {2047}, {3071}, {4095}};
    for (const auto& c : cases) {
        StreamWriter w;
        w.Position(c.position);
        CloseArchiveStreams();
        OpenPayload(w.Bytes() + std::string(2, '\0'));
        memberDecoder.bitBuffer = 0;
        memberDecoder.bitCount = 0;
        EXPECT_EQ(DecodePosition(), c.position);
    }
}

}  // namespace
