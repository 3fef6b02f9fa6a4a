// Member stream encoder. The input is seen as one history buffer: 1988
// blanks (the decoder's preset window) followed by the member's bytes, so a
// match may reach back into the blanks but never before them (window bytes
// 1988-2047 hold whatever an earlier member left there). Matches are found
// with hash chains over the last 2048 bytes; the default parse chooses, per
// block, the cheapest sequence of tokens under the code lengths that the
// adaptive model has at the start of the block.
#include "codec/member_encoder.h"

#include <algorithm>
#include <cstring>

#include "codec/huff_model.h"

namespace {

constexpr int kWindowSize = 2048;
constexpr int kPreset = 1988;          // preset blanks, first write position
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 60;
constexpr int kLengthBase = 253;       // symbol = length + 253
constexpr int kMaxDistance = kWindowSize;   // position p = distance - 1
constexpr int kHashBits = 12;
constexpr int kChainRing = 2 * kWindowSize; // chain links live longer than the window
constexpr int kChainLimit = 256;       // candidates tried per position
constexpr int kNiceMatch = 60;         // a match this long is taken without looking inside it
constexpr int kBlock = 16384;          // bytes parsed under one set of code lengths
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

// Position codes: an L-bit prefix for p / 64 (the prefix of the leading
// byte that the decoder's tables map to that upper part), then p mod 64 in
// six bits. Built from the decoder's leading-byte ranges.
struct PositionCodes {
    std::uint32_t code[kWindowSize];
    std::uint8_t length[kWindowSize];

    PositionCodes()
    {
        std::uint32_t prefix[64];
        int prefixLength[64];
        for (int b = 0; b < 256; b++) {
            int upper, bits;
            if (b < 0x20) { upper = 0; bits = 3; }
            else if (b < 0x50) { upper = 1 + (b - 0x20) / 16; bits = 4; }
            else if (b < 0x90) { upper = 4 + (b - 0x50) / 8; bits = 5; }
            else if (b < 0xC0) { upper = 12 + (b - 0x90) / 4; bits = 6; }
            else if (b < 0xF0) { upper = 24 + (b - 0xC0) / 2; bits = 7; }
            else { upper = 48 + (b - 0xF0); bits = 8; }
            prefix[upper] = static_cast<std::uint32_t>(b >> (8 - bits));
            prefixLength[upper] = bits;
        }
        for (int p = 0; p < kWindowSize; p++) {
            code[p] = prefix[p >> 6] << 6 | static_cast<std::uint32_t>(p & 63);
            length[p] = static_cast<std::uint8_t>(prefixLength[p >> 6] + 6);
        }
    }
};

const PositionCodes positionCodes;

// Codes packed most significant bit first; zero filler in the last byte.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Put(std::uint32_t code, int length)
    {
        acc_ = acc_ << length | code;
        count_ += length;
        while (count_ >= 8) {
            count_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
    }

    void Flush()
    {
        if (count_ > 0)
            out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        count_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    int count_ = 0;   // pending bits, below 8 between calls
};

constexpr int kTailPad = 8;   // readable bytes after the history, for word compares

// Length of the common prefix of a and b, at most limit; reads up to
// kTailPad bytes beyond it.
int MatchLength(const std::uint8_t* a, const std::uint8_t* b, int limit)
{
    int n = 0;
    while (n < limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        std::uint64_t diff = x ^ y;
        if (diff != 0) {
            // The lowest differing byte in memory order: little-endian hosts
            // count trailing zeros, others compare bytewise.
            if (kLittleEndian)
                n += __builtin_ctzll(diff) >> 3;
            else
                while (a[n] == b[n])
                    n++;
            return n < limit ? n : limit;
        }
        n += 8;
    }
    return limit;
}

// Hash chains over three-byte prefixes. Positions index the history buffer.
class MatchFinder {
public:
    MatchFinder(const std::uint8_t* buf, std::int64_t size)
        : buf_(buf), size_(size), head_(std::size_t{1} << kHashBits, -1), prev_(kChainRing, -1)
    {
    }

    void Insert(std::int64_t i)
    {
        if (i + kMinMatch > size_)
            return;
        std::uint32_t h = Hash(i);
        prev_[static_cast<std::size_t>(i & (kChainRing - 1))] = head_[h];
        head_[h] = i;
    }

    // Looks for matches at i of at most limit bytes and inserts i. For each
    // length 3 up to the result, distance[length] is the nearest distance
    // with a match at least that long. Returns the longest length, or 0.
    int Find(std::int64_t i, int limit, int* distance)
    {
        if (limit < kMinMatch) {
            Insert(i);
            return 0;
        }
        const std::uint8_t* cur = buf_ + i;
        int best = kMinMatch - 1;
        std::int64_t j = head_[Hash(i)];
        for (int tries = kChainLimit; j >= 0 && i - j <= kMaxDistance && tries > 0; tries--) {
            const std::uint8_t* cand = buf_ + j;
            if (cand[best] == cur[best] && cand[0] == cur[0] && cand[1] == cur[1]) {
                int length = MatchLength(cand, cur, limit);
                if (length > best) {
                    int d = static_cast<int>(i - j);
                    for (int l = best + 1; l <= length; l++)
                        distance[l] = d;
                    best = length;
                    if (length >= limit)
                        break;
                }
            }
            j = prev_[static_cast<std::size_t>(j & (kChainRing - 1))];
        }
        Insert(i);
        return best >= kMinMatch ? best : 0;
    }

private:
    std::uint32_t Hash(std::int64_t i) const
    {
        std::uint32_t v = static_cast<std::uint32_t>(buf_[i]) << 16 |
                          static_cast<std::uint32_t>(buf_[i + 1]) << 8 | buf_[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* buf_;
    std::int64_t size_;
    std::vector<std::int64_t> head_;
    std::vector<std::int64_t> prev_;
};

// Code length in bits of every literal and of every match length,
// as the model stands.
void CodeLengths(const HuffModel& model, int* literal, int* length)
{
    std::uint8_t depth[NODE_COUNT];
    depth[ROOT_NODE] = 0;
    for (int n = ROOT_NODE - 1; n >= 0; n--)   // a parent is numbered above its children
        depth[n] = static_cast<std::uint8_t>(depth[model.parent[n]] + 1);
    for (int s = 0; s < 256; s++)
        literal[s] = depth[model.parent[NODE_COUNT + s]];
    for (int l = kMinMatch; l <= kMaxMatch; l++)
        length[l] = depth[model.parent[NODE_COUNT + l + kLengthBase]];
}

// Emits tokens and keeps the model in step with the decoder's.
class TokenWriter {
public:
    explicit TokenWriter(std::vector<std::uint8_t>& out) : bits_(out) { HuffStart(model_); }

    void Literal(int byte) { Symbol(byte); }

    void Match(int length, int distance)
    {
        Symbol(length + kLengthBase);
        int p = distance - 1;
        bits_.Put(positionCodes.code[p], positionCodes.length[p]);
    }

    void Finish() { bits_.Flush(); }

    const HuffModel& Model() const { return model_; }

private:
    void Symbol(int s)
    {
        std::uint32_t code;
        int n = HuffCode(model_, s, &code);
        bits_.Put(code, n);
        HuffUpdate(model_, s);
    }

    HuffModel model_;
    BitWriter bits_;
};

void EncodeGreedy(const std::uint8_t* buf, std::int64_t size, TokenWriter& out)
{
    MatchFinder finder(buf, size);
    for (std::int64_t i = 0; i < kPreset; i++)
        finder.Insert(i);
    int distance[kMaxMatch + 1];
    std::int64_t i = kPreset;
    while (i < size) {
        int limit = static_cast<int>(std::min<std::int64_t>(kMaxMatch, size - i));
        int length = finder.Find(i, limit, distance);
        if (length >= kMinMatch) {
            out.Match(length, distance[length]);
            for (std::int64_t k = i + 1; k < i + length; k++)
                finder.Insert(k);
            i += length;
        } else {
            out.Literal(buf[i]);
            i++;
        }
    }
}

void EncodeOptimal(const std::uint8_t* buf, std::int64_t size, TokenWriter& out)
{
    MatchFinder finder(buf, size);
    for (std::int64_t i = 0; i < kPreset; i++)
        finder.Insert(i);

    const std::uint32_t kUnreached = 0xFFFFFFFFu;
    std::vector<std::uint32_t> cost(kBlock + 1);
    std::vector<std::uint8_t> stepLength(kBlock + 1);   // 1: literal, else match length
    std::vector<std::uint16_t> stepDistance(kBlock + 1);
    // Matches of the block: at position k, segments first[k] ... first[k + 1] - 1,
    // each the longest length reached at one distance (nearest first).
    std::vector<int> first(kBlock + 1);
    std::vector<std::uint8_t> segLength;
    std::vector<std::uint16_t> segDistance;
    std::vector<int> path;
    path.reserve(kBlock);
    int literalBits[256];
    int lengthBits[kMaxMatch + 1];
    int distance[kMaxMatch + 1];

    for (std::int64_t start = kPreset; start < size; start += kBlock) {
        int blockSize = static_cast<int>(std::min<std::int64_t>(kBlock, size - start));

        segLength.clear();
        segDistance.clear();
        int skipTo = 0;
        for (int k = 0; k < blockSize; k++) {
            std::int64_t i = start + k;
            first[k] = static_cast<int>(segLength.size());
            if (k < skipTo) {
                finder.Insert(i);
                continue;
            }
            int found = finder.Find(i, std::min(kMaxMatch, blockSize - k), distance);
            for (int l = kMinMatch; l <= found; l++) {
                if (l == found || distance[l + 1] != distance[l]) {
                    segLength.push_back(static_cast<std::uint8_t>(l));
                    segDistance.push_back(static_cast<std::uint16_t>(distance[l]));
                }
            }
            if (found >= kNiceMatch)
                skipTo = k + found;
        }
        first[blockSize] = static_cast<int>(segLength.size());

        // Cheapest path through the block under the model's present code
        // lengths; matches do not run past the block end.
        CodeLengths(out.Model(), literalBits, lengthBits);
        cost[0] = 0;
        std::fill(cost.begin() + 1, cost.begin() + blockSize + 1, kUnreached);
        for (int k = 0; k < blockSize; k++) {
            std::uint32_t here = cost[k];
            if (here == kUnreached)   // inside a long match taken as is
                continue;
            std::uint32_t c = here + static_cast<std::uint32_t>(literalBits[buf[start + k]]);
            if (c < cost[k + 1]) {
                cost[k + 1] = c;
                stepLength[k + 1] = 1;
            }
            int l = kMinMatch;
            for (int g = first[k]; g < first[k + 1]; g++) {
                int d = segDistance[g];
                std::uint32_t base = here + positionCodes.length[d - 1];
                for (; l <= segLength[g]; l++) {
                    c = base + static_cast<std::uint32_t>(lengthBits[l]);
                    if (c < cost[k + l]) {
                        cost[k + l] = c;
                        stepLength[k + l] = static_cast<std::uint8_t>(l);
                        stepDistance[k + l] = static_cast<std::uint16_t>(d);
                    }
                }
            }
        }
        path.clear();
        for (int k = blockSize; k > 0; k -= stepLength[k])
            path.push_back(k);
        for (auto it = path.rbegin(); it != path.rend(); ++it) {
            int k = *it;
            if (stepLength[k] == 1)
                out.Literal(buf[start + k - 1]);
            else
                out.Match(stepLength[k], stepDistance[k]);
        }
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeMember(const std::uint8_t* data, std::size_t size, EncodeParse parse)
{
    std::vector<std::uint8_t> stream;
    if (size == 0)
        return stream;
    stream.reserve(size / 2 + 16);

    std::vector<std::uint8_t> history(kPreset + size + kTailPad);
    std::memset(history.data(), ' ', kPreset);
    std::memcpy(history.data() + kPreset, data, size);
    std::int64_t total = static_cast<std::int64_t>(kPreset + size);

    TokenWriter out(stream);
    if (parse == EncodeParse::Greedy)
        EncodeGreedy(history.data(), total, out);
    else
        EncodeOptimal(history.data(), total, out);
    out.Finish();
    return stream;
}
