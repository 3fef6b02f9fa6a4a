// Member streams for tests, written token by token with a mirror of the
// decoder's model, so that a test states the tokens and the bits follow.
#pragma once
#include <cstdint>
#include <algorithm>
#include <memory>
#include <string>

#include "codec/huff_model.h"
#include "codec/member_decoder.h"

class StreamWriter {
public:
    StreamWriter() : model_(std::make_unique<HuffModel>()) { HuffStart(*model_); }

    // Raw bits, first bit first, as a string of '0' and '1'.
    void Bits(const std::string& bits)
    {
        for (char c : bits)
            Bit(c == '1');
    }
    void Bits(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; i--)
            Bit((value >> i) & 1);
    }
    void Symbol(int symbol)
    {
        std::uint32_t code = 0;
        int length = HuffCode(*model_, symbol, &code);
        Bits(code, length);
        HuffUpdate(*model_, symbol);
    }
    void Literal(int byte) { Symbol(byte); }
    // Copies length bytes (3-60) from position + 1 bytes back (0-4095).
    void Match(int length, int position)
    {
        Symbol(length + 253);
        Position(position);
    }
    // The L-bit prefix of the upper six bits, then the lower six bits.
    void Position(int position)
    {
        int upper = position >> 6;
        int b = 0;
        while (positionUpper[b] != upper)
            b++;
        int prefix = positionCodeLength[b];
        Bits(static_cast<std::uint32_t>(b) >> (8 - prefix), prefix);
        Bits(static_cast<std::uint32_t>(position) & 63, 6);
    }
    // The stream so far, its last byte padded with zero bits.
    std::string Bytes() const
    {
        std::string out = bytes_;
        if (used_)
            out += static_cast<char>(pending_ << (8 - used_));
        return out;
    }
    const HuffModel& Model() const { return *model_; }

private:
    void Bit(bool bit)
    {
        pending_ = static_cast<std::uint8_t>(pending_ << 1 | bit);
        if (++used_ == 8) {
            bytes_ += static_cast<char>(pending_);
            pending_ = 0;
            used_ = 0;
        }
    }

    std::unique_ptr<HuffModel> model_;
    std::string bytes_;
    std::uint8_t pending_ = 0;
    int used_ = 0;
};

// The current code of a symbol as '0' and '1', first bit first.
inline std::string CodeBits(const HuffModel& model, int symbol)
{
    std::uint32_t code = 0;
    int length = HuffCode(model, symbol, &code);
    std::string bits;
    for (int i = length - 1; i >= 0; i--)
        bits += ((code >> i) & 1) ? '1' : '0';
    return bits;
}

// The four size bytes of a member, least significant first.
inline std::string SizeBytes(std::uint32_t size)
{
    std::string s;
    for (int i = 0; i < 4; i++)
        s += static_cast<char>(size >> (8 * i));
    return s;
}

// A member's size and stream for data, coded with greedy longest matches
// over the blanks preset in the window and the data itself.
inline std::string EncodeMember(const std::string& data)
{
    StreamWriter w;
    std::string seen(WINDOW_PRESET, ' ');
    seen += data;
    std::size_t i = 0;
    while (i < data.size()) {
        std::size_t here = WINDOW_PRESET + i;
        std::size_t bestLength = 0, bestDistance = 0;
        std::size_t most = std::min<std::size_t>(MAX_MATCH, data.size() - i);
        for (std::size_t distance = 1; distance <= WINDOW_SIZE && distance <= here; distance++) {
            std::size_t k = 0;
            while (k < most && seen[here - distance + k] == seen[here + k])
                k++;
            if (k > bestLength) {
                bestLength = k;
                bestDistance = distance;
                if (k == most)
                    break;
            }
        }
        if (bestLength >= 3) {
            w.Match(static_cast<int>(bestLength), static_cast<int>(bestDistance - 1));
            i += bestLength;
        } else {
            w.Literal(static_cast<unsigned char>(data[i]));
            i++;
        }
    }
    return SizeBytes(static_cast<std::uint32_t>(data.size())) + w.Bytes();
}
