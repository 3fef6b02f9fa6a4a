// Member stream encoder. The input is seen as one history buffer: 1988
// blanks (the decoder's preset window) followed by the member's bytes, so a
// match may reach back into the blanks but never before them (window bytes
// 1988-2047 hold whatever an earlier member left there). Matches are found
// with binary trees over the window; the default parse chooses, per
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
// Position p = distance - 1. A tree node's slot is reused after 2048
// positions, so distances stop one short of the window.
constexpr int kMaxDistance = kWindowSize - 1;
constexpr int kHashBits = 12;
constexpr int kTreeDepth = 64;         // nodes visited per search
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

// Binary search trees of the strings that start at the positions of the
// window, one tree per three-byte hash, the newest position at the root (as
// in LZMA's match finder): a search walks from the newest position to older
// ones and finds the longest match; insertion is the same walk.
class MatchFinder {
public:
    MatchFinder(const std::uint8_t* buf, std::int64_t size)
        : buf_(buf), size_(size), head_(std::size_t{1} << kHashBits, -1), son_(2 * kWindowSize, -1)
    {
    }

    void Insert(std::int64_t i)
    {
        int distance[kMaxMatch + 1];
        Search(i, distance);
    }

    // Looks for matches at i and inserts i. For each length 3 up to the
    // result, distance[length] is the distance of the first match found
    // (the newest on the search path) at least that long. The result is the
    // longest length up to limit, or 0.
    int Find(std::int64_t i, int limit, int* distance)
    {
        int found = Search(i, distance);
        if (found > limit)
            found = limit;
        return found >= kMinMatch ? found : 0;
    }

private:
    int Search(std::int64_t pos, int* distance)
    {
        std::int64_t remain = size_ - pos;
        int lenLimit = remain < kMaxMatch ? static_cast<int>(remain) : kMaxMatch;
        if (lenLimit < kMinMatch)
            return 0;   // too near the end to be a match or to be matched
        std::uint32_t h = Hash(pos);
        std::int64_t cur = head_[h];
        head_[h] = pos;
        // ptr1 collects the subtree of strings below the new one, ptr0 those above.
        std::int64_t* ptr1 = &son_[2 * Slot(pos)];
        std::int64_t* ptr0 = ptr1 + 1;
        int len0 = 0, len1 = 0, best = kMinMatch - 1;
        const std::uint8_t* p = buf_ + pos;
        for (int tries = kTreeDepth;; tries--) {
            if (cur < 0 || pos - cur > kMaxDistance || tries == 0) {
                *ptr0 = *ptr1 = -1;
                break;
            }
            std::int64_t* pair = &son_[2 * Slot(cur)];
            const std::uint8_t* pb = buf_ + cur;
            int len = len0 < len1 ? len0 : len1;   // both sides share this prefix
            if (pb[len] == p[len]) {
                len += MatchLength(pb + len, p + len, lenLimit - len);
                if (len > best) {
                    int d = static_cast<int>(pos - cur);
                    for (int l = best + 1; l <= len; l++)
                        distance[l] = d;
                    best = len;
                }
                if (len == lenLimit) {   // equal as far as we look: take over its subtrees
                    *ptr1 = pair[0];
                    *ptr0 = pair[1];
                    break;
                }
            }
            if (pb[len] < p[len]) {
                *ptr1 = cur;
                ptr1 = pair + 1;
                cur = *ptr1;
                len1 = len;
            } else {
                *ptr0 = cur;
                ptr0 = pair;
                cur = *ptr0;
                len0 = len;
            }
        }
        return best >= kMinMatch ? best : 0;
    }

    static std::size_t Slot(std::int64_t pos) { return static_cast<std::size_t>(pos & (kWindowSize - 1)); }

    std::uint32_t Hash(std::int64_t i) const
    {
        std::uint32_t v = static_cast<std::uint32_t>(buf_[i]) << 16 |
                          static_cast<std::uint32_t>(buf_[i + 1]) << 8 | buf_[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* buf_;
    std::int64_t size_;
    std::vector<std::int64_t> head_;   // newest position per hash, -1 for none
    std::vector<std::int64_t> son_;    // per window slot: the trees below and above it
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
        for (int k = 0; k < blockSize; k++) {
            std::int64_t i = start + k;
            first[k] = static_cast<int>(segLength.size());
            int found = finder.Find(i, std::min(kMaxMatch, blockSize - k), distance);
            for (int l = kMinMatch; l <= found; l++) {
                if (l == found || distance[l + 1] != distance[l]) {
                    segLength.push_back(static_cast<std::uint8_t>(l));
                    segDistance.push_back(static_cast<std::uint16_t>(distance[l]));
                }
            }
        }
        first[blockSize] = static_cast<int>(segLength.size());

        // Cheapest path through the block under the model's present code
        // lengths; matches do not run past the block end.
        CodeLengths(out.Model(), literalBits, lengthBits);
        cost[0] = 0;
        std::fill(cost.begin() + 1, cost.begin() + blockSize + 1, kUnreached);
        for (int k = 0; k < blockSize; k++) {
            std::uint32_t here = cost[k];
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
