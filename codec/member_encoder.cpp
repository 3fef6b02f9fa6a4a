// Member stream encoder. The input is seen as one history buffer: 1988
// blanks (the decoder's preset window) followed by the member's bytes, so a
// match may reach back into the blanks but never before them (window bytes
// 1988-2047 hold whatever an earlier member left there). Matches are found
// with binary trees over the window; the default parse chooses, per
// block, the cheapest sequence of tokens under symbol prices taken from the
// adaptive model at the start of the block (for a member's first block
// also along it). No decision depends on floating point or on the host:
// prices are integers, and every order and tie-break is fixed, so one input
// gives one stream with any compiler.
#include "codec/member_encoder.h"

#include <algorithm>
#include <cstring>

#include "codec/huff_model.h"
#include "codec/stream_format.h"

namespace {

// Position p = distance - 1; p = 2047 reaches the byte that the next one
// overwrites.
constexpr int kMaxDistance = WINDOW_SIZE;
constexpr int kTreeSlots = 2 * WINDOW_SIZE;   // a slot is reused only after the window has passed it
constexpr int kHashBits = 12;
constexpr int kTreeDepth = 64;         // nodes visited per search
constexpr int kBlock = 16384;          // bytes parsed under one set of symbol prices
constexpr int kLookahead = 1024;       // parsed beyond a block, so that its last tokens are well chosen
constexpr int kSpan = kBlock + kLookahead;
constexpr int kScale = 16;             // symbol prices in 1/16 bit
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kLittleEndian = true;
#else
constexpr bool kLittleEndian = false;
#endif

// Position codes: an L-bit prefix for p / 64 (the prefix of the leading
// byte that the position tables map to that upper part), then p mod 64 in
// six bits. Built from the tables the decoder reads with.
struct PositionCodes {
    std::uint32_t code[WINDOW_SIZE];
    std::uint8_t length[WINDOW_SIZE];

    PositionCodes()
    {
        std::uint32_t prefix[POSITION_UPPER_COUNT];
        int prefixLength[POSITION_UPPER_COUNT];
        for (int b = 0; b < 256; b++) {
            int bits = positionCodeLength[b];
            prefix[positionUpper[b]] = static_cast<std::uint32_t>(b >> (8 - bits));
            prefixLength[positionUpper[b]] = bits;
        }
        for (int p = 0; p < WINDOW_SIZE; p++) {
            code[p] = prefix[p >> POSITION_LOW_BITS] << POSITION_LOW_BITS |
                      static_cast<std::uint32_t>(p & ((1 << POSITION_LOW_BITS) - 1));
            length[p] = static_cast<std::uint8_t>(prefixLength[p >> POSITION_LOW_BITS] + POSITION_LOW_BITS);
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
        : buf_(buf), size_(size), head_(std::size_t{1} << kHashBits, -1), son_(2 * kTreeSlots, -1)
    {
    }

    void Insert(std::int64_t i)
    {
        int distance[MAX_MATCH + 1];
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
        return found >= MIN_MATCH ? found : 0;
    }

private:
    int Search(std::int64_t pos, int* distance)
    {
        std::int64_t remain = size_ - pos;
        int lenLimit = remain < MAX_MATCH ? static_cast<int>(remain) : MAX_MATCH;
        if (lenLimit < MIN_MATCH)
            return 0;   // too near the end to be a match or to be matched
        std::uint32_t h = Hash(pos);
        std::int64_t cur = head_[h];
        head_[h] = pos;
        // ptr1 collects the subtree of strings below the new one, ptr0 those above.
        std::int64_t* ptr1 = &son_[2 * Slot(pos)];
        std::int64_t* ptr0 = ptr1 + 1;
        int len0 = 0, len1 = 0, best = MIN_MATCH - 1;
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
        return best >= MIN_MATCH ? best : 0;
    }

    static std::size_t Slot(std::int64_t pos) { return static_cast<std::size_t>(pos & (kTreeSlots - 1)); }

    std::uint32_t Hash(std::int64_t i) const
    {
        std::uint32_t v = static_cast<std::uint32_t>(buf_[i]) << 16 |
                          static_cast<std::uint32_t>(buf_[i + 1]) << 8 | buf_[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* buf_;
    std::int64_t size_;
    std::vector<std::int64_t> head_;   // newest position per hash, -1 for none
    std::vector<std::int64_t> son_;    // per tree slot: the trees below and above it
};

// Price in 1/kScale bit of every literal and of every match length.
struct CodeCosts {
    int literal[256];
    int length[MAX_MATCH + 1];
};

constexpr int kLogFraction = 12;   // Log2Fixed results in 1/4096 bit

// log2(x) for x >= 1 in units of 2^-kLogFraction, in integers only (so that
// every host and compiler prices alike): the whole part from the top bit,
// then one fraction bit per squaring of the mantissa, truncated.
int Log2Fixed(std::uint32_t x)
{
    int whole = 31 - __builtin_clz(x);
    std::uint64_t m = static_cast<std::uint64_t>(x) << (31 - whole);   // x / 2^whole, Q31, in [1, 2)
    int result = whole << kLogFraction;
    for (int bit = kLogFraction - 1; bit >= 0; bit--) {
        m = m * m >> 31;                       // in [1, 4)
        if (m >= std::uint64_t{1} << 32) {     // 2 or more: the bit is 1
            m >>= 1;
            result |= 1 << bit;
        }
    }
    return result;
}

// Log2Fixed of every weight a node can have (1 to FREQ_LIMIT, the most
// the root reaches), since prices are taken often.
struct Log2Table {
    std::uint16_t value[FREQ_LIMIT + 1];

    Log2Table()
    {
        value[0] = 0;
        for (std::uint32_t w = 1; w <= FREQ_LIMIT; w++)
            value[w] = static_cast<std::uint16_t>(Log2Fixed(w));
    }
};

const Log2Table log2Table;

// Prices symbols as the model stands: the mean of a symbol's present code
// length and of -log2 of its share of the total weight, rounded to the
// nearest 1/kScale bit. The code length is what the next use costs; the
// share tells where the adaptive code is heading over the block. The mean
// parses a little tighter than either.
void PriceSymbols(const HuffModel& model, CodeCosts& costs)
{
    std::uint8_t depth[NODE_COUNT];
    depth[ROOT_NODE] = 0;
    for (int n = ROOT_NODE - 1; n >= 0; n--)   // a parent is numbered above its children
        depth[n] = static_cast<std::uint8_t>(depth[model.parent[n]] + 1);
    const int logTotal = log2Table.value[model.frequency[ROOT_NODE]];
    auto price = [&](int symbol) {
        int leaf = model.parent[NODE_COUNT + symbol];
        int twiceBits = (depth[leaf] << kLogFraction) + logTotal - log2Table.value[model.frequency[leaf]];
        return (twiceBits * (kScale / 2) + (1 << (kLogFraction - 1))) >> kLogFraction;
    };
    for (int s = 0; s < 256; s++)
        costs.literal[s] = price(s);
    for (int l = MIN_MATCH; l <= MAX_MATCH; l++)
        costs.length[l] = price(l + LENGTH_BASE);
}

// Emits tokens and keeps the model in step with the decoder's.
class TokenWriter {
public:
    explicit TokenWriter(std::vector<std::uint8_t>& out) : bits_(out) { HuffStart(model_); }

    void Literal(int byte) { Symbol(byte); }

    void Match(int length, int distance)
    {
        Symbol(length + LENGTH_BASE);
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
    for (std::int64_t i = 0; i < WINDOW_PRESET; i++)
        finder.Insert(i);
    int distance[MAX_MATCH + 1];
    std::int64_t i = WINDOW_PRESET;
    while (i < size) {
        int limit = static_cast<int>(std::min<std::int64_t>(MAX_MATCH, size - i));
        int length = finder.Find(i, limit, distance);
        if (length >= MIN_MATCH) {
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

// Matches found so far, for the positions from base on: at position i,
// segments first[i - base] ... first[i - base + 1] - 1, each the longest
// length reached at one distance (nearest distance first). Every position
// is searched once, in order, whatever the parse makes of it.
class MatchList {
public:
    MatchList(const std::uint8_t* buf, std::int64_t size, std::int64_t base)
        : finder_(buf, size), size_(size), base_(base)
    {
        for (std::int64_t i = 0; i < base; i++)
            finder_.Insert(i);
        first_.push_back(0);
    }

    // Searches every position below end not searched yet.
    void SearchTo(std::int64_t end)
    {
        int distance[MAX_MATCH + 1];
        for (std::int64_t i = base_ + static_cast<std::int64_t>(first_.size()) - 1; i < end; i++) {
            int limit = static_cast<int>(std::min<std::int64_t>(MAX_MATCH, size_ - i));
            int found = finder_.Find(i, limit, distance);
            for (int l = MIN_MATCH; l <= found; l++) {
                if (l == found || distance[l + 1] != distance[l]) {
                    length_.push_back(static_cast<std::uint8_t>(l));
                    distance_.push_back(static_cast<std::uint16_t>(distance[l]));
                }
            }
            first_.push_back(static_cast<int>(length_.size()));
        }
    }

    // Forgets the positions below base.
    void DropBefore(std::int64_t base)
    {
        std::size_t k = static_cast<std::size_t>(base - base_);
        int drop = first_[k];
        first_.erase(first_.begin(), first_.begin() + static_cast<std::ptrdiff_t>(k));
        for (int& f : first_)
            f -= drop;
        length_.erase(length_.begin(), length_.begin() + drop);
        distance_.erase(distance_.begin(), distance_.begin() + drop);
        base_ = base;
    }

    int First(std::int64_t i) const { return first_[static_cast<std::size_t>(i - base_)]; }
    int Length(int g) const { return length_[static_cast<std::size_t>(g)]; }
    int Distance(int g) const { return distance_[static_cast<std::size_t>(g)]; }

private:
    MatchFinder finder_;
    std::int64_t size_;
    std::int64_t base_;
    std::vector<int> first_;
    std::vector<std::uint8_t> length_;
    std::vector<std::uint16_t> distance_;
};

struct Token {
    std::uint8_t length;     // 1: literal, else match length
    std::uint16_t distance;  // of a match
};

constexpr int kSegmentShift = 10;   // second pass: one set of prices per 1 KiB of the stretch
constexpr int kSegments = (kSpan >> kSegmentShift) + 1;
constexpr int kOneSegment = 20;     // a shift that maps the whole stretch to one set of prices
static_assert((kSpan >> kOneSegment) == 0, "one segment must cover the stretch");

// Cheapest path through one stretch of the input: a block and its
// lookahead, under prices that may change from segment to segment.
class BlockParser {
public:
    BlockParser() : cost_(kSpan + 1), stepLength_(kSpan + 1), stepDistance_(kSpan + 1) { path_.reserve(kSpan); }

    // Finds the cheapest path over the parseSize bytes from start, a token
    // priced with prices[offset >> segmentShift] at the offset where it
    // starts; matches stop at the end of the stretch. Offsets are taken in
    // increasing order; from each, the literal first, then the matches
    // nearest distance first, each over its lengths from 3 up. A step
    // replaces the recorded one only when strictly cheaper, so among paths
    // of equal cost the first one reached wins: the one whose last token
    // starts earliest, and from the same offset the literal, then the
    // nearer match.
    void Parse(const std::uint8_t* buf, std::int64_t start, int parseSize, const MatchList& matches,
               const CodeCosts* prices, int segmentShift)
    {
        const std::uint32_t kUnreached = 0xFFFFFFFFu;
        cost_[0] = 0;
        std::fill(cost_.begin() + 1, cost_.begin() + parseSize + 1, kUnreached);
        for (int k = 0; k < parseSize; k++) {
            const CodeCosts& bits = prices[k >> segmentShift];
            std::uint32_t here = cost_[k];
            std::uint32_t c = here + static_cast<std::uint32_t>(bits.literal[buf[start + k]]);
            if (c < cost_[k + 1]) {
                cost_[k + 1] = c;
                stepLength_[k + 1] = 1;
            }
            int room = parseSize - k;
            int l = MIN_MATCH;
            int end = matches.First(start + k + 1);
            for (int g = matches.First(start + k); g < end && l <= room; g++) {
                int d = matches.Distance(g);
                int longest = std::min(matches.Length(g), room);
                std::uint32_t base = here + static_cast<std::uint32_t>(kScale * positionCodes.length[d - 1]);
                for (; l <= longest; l++) {
                    c = base + static_cast<std::uint32_t>(bits.length[l]);
                    if (c < cost_[k + l]) {
                        cost_[k + l] = c;
                        stepLength_[k + l] = static_cast<std::uint8_t>(l);
                        stepDistance_[k + l] = static_cast<std::uint16_t>(d);
                    }
                }
            }
        }
        path_.clear();
        for (int k = parseSize; k > 0; k -= stepLength_[k])
            path_.push_back({stepLength_[k], stepDistance_[k]});
        std::reverse(path_.begin(), path_.end());
    }

    std::vector<Token>& Path() { return path_; }

private:
    std::vector<std::uint32_t> cost_;          // 1/kScale bits to reach each offset
    std::vector<std::uint8_t> stepLength_;     // last token to it: 1 literal, else match length
    std::vector<std::uint16_t> stepDistance_;
    std::vector<Token> path_;                  // in order
};

// Runs a copy of the model over a path from start, as the decoder will:
// returns the exact bits of its codes, and, when prices is not null, prices
// the symbols as the model stands at the first token that starts in each
// segment of the stretch (kSegments sets).
std::int64_t RunModel(const std::uint8_t* buf, std::int64_t start, const std::vector<Token>& path, HuffModel model,
                      CodeCosts* prices)
{
    int next = 0, at = 0;
    std::int64_t bits = 0;
    for (const Token& t : path) {
        while (prices != nullptr && next < kSegments && (next << kSegmentShift) <= at)
            PriceSymbols(model, prices[next++]);
        int symbol = t.length == 1 ? buf[start + at] : t.length + LENGTH_BASE;
        std::uint32_t code;
        bits += HuffCode(model, symbol, &code);
        if (t.length > 1)
            bits += positionCodes.length[t.distance - 1];
        HuffUpdate(model, symbol);
        at += t.length;
    }
    while (prices != nullptr && next < kSegments)
        PriceSymbols(model, prices[next++]);
    return bits;
}

// Emits the tokens of the path that start before limit; returns the number
// of bytes they cover.
int EmitTokens(const std::uint8_t* buf, std::int64_t start, const std::vector<Token>& path, int limit,
               TokenWriter& out)
{
    int done = 0;
    for (const Token& t : path) {
        if (done >= limit)
            break;
        if (t.length == 1)
            out.Literal(buf[start + done]);
        else
            out.Match(t.length, t.distance);
        done += t.length;
    }
    return done;
}

// Parses in blocks: the cheapest path over the block and some lookahead,
// priced as the model stands at the start of the block. The tokens that
// start inside the block are emitted, and the next block starts where the
// last of them ends. The first block is priced from the fresh model, whose
// flat codes are far from those it will have after a few hundred symbols:
// it is parsed again with each 1 KiB segment priced as the model stands
// there after the first path's tokens before it, and of the two paths the
// one that costs fewer bits in the model is kept (the first on a tie).
// (A second pass over every block saves a further 0.006% of the input on
// the benchmark kit, for nearly half as much time again.)
void EncodeOptimal(const std::uint8_t* buf, std::int64_t size, TokenWriter& out)
{
    MatchList matches(buf, size, WINDOW_PRESET);
    BlockParser parser;
    std::vector<CodeCosts> prices(kSegments);
    std::vector<Token> first;
    std::int64_t start = WINDOW_PRESET;
    while (start < size) {
        int parseSize = static_cast<int>(std::min<std::int64_t>(kSpan, size - start));
        matches.SearchTo(start + parseSize);
        PriceSymbols(out.Model(), prices[0]);
        parser.Parse(buf, start, parseSize, matches, prices.data(), kOneSegment);
        const std::vector<Token>* chosen = &parser.Path();
        if (start == WINDOW_PRESET) {
            first.swap(parser.Path());
            std::int64_t firstBits = RunModel(buf, start, first, out.Model(), prices.data());
            parser.Parse(buf, start, parseSize, matches, prices.data(), kSegmentShift);
            if (RunModel(buf, start, parser.Path(), out.Model(), nullptr) >= firstBits)
                chosen = &first;
        }
        start += EmitTokens(buf, start, *chosen, kBlock, out);
        matches.DropBefore(start);
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeMember(const std::uint8_t* data, std::size_t size, EncodeParse parse)
{
    std::vector<std::uint8_t> stream;
    if (size == 0)
        return stream;
    stream.reserve(size / 2 + 16);

    std::vector<std::uint8_t> history(WINDOW_PRESET + size + kTailPad);
    std::memset(history.data(), PRESET_BYTE, WINDOW_PRESET);
    std::memcpy(history.data() + WINDOW_PRESET, data, size);
    std::int64_t total = static_cast<std::int64_t>(WINDOW_PRESET + size);

    TokenWriter out(stream);
    if (parse == EncodeParse::Greedy)
        EncodeGreedy(history.data(), total, out);
    else
        EncodeOptimal(history.data(), total, out);
    out.Finish();
    return stream;
}
