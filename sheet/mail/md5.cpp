// The algorithm as RFC 1321 gives it: 64-byte blocks, four rounds of sixteen steps over
// the state A B C D, the message padded with 0x80, zeros and its bit length (little-endian).
#include "sheet/mail/md5.h"

#include <algorithm>
#include <cstring>

namespace velo::mail {
namespace {

// Shift amounts per round and step position (RFC 1321, section 3.4).
constexpr std::uint32_t kShift[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// T[i] = floor(2^32 * abs(sin(i + 1))), the table of the RFC.
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

constexpr std::uint32_t RotateLeft(std::uint32_t x, std::uint32_t n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

CMd5::CMd5() { Reset(); }

void CMd5::Reset() {
    m_state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    m_length = 0;
    m_blockUsed = 0;
}

void CMd5::Transform(const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = std::uint32_t{block[i * 4]} | std::uint32_t{block[i * 4 + 1]} << 8 |
               std::uint32_t{block[i * 4 + 2]} << 16 | std::uint32_t{block[i * 4 + 3]} << 24;
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        std::uint32_t f;
        int word;
        switch (round) {
            case 0: f = (b & c) | (~b & d); word = i; break;
            case 1: f = (b & d) | (c & ~d); word = (5 * i + 1) % 16; break;
            case 2: f = b ^ c ^ d; word = (3 * i + 5) % 16; break;
            default: f = c ^ (b | ~d); word = (7 * i) % 16; break;
        }
        const std::uint32_t rotated = b + RotateLeft(a + f + kSine[i] + x[word], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = rotated;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void CMd5::Update(std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t left = bytes.size();
    m_length += left;
    while (left > 0) {
        const std::size_t take = std::min(left, m_block.size() - m_blockUsed);
        std::memcpy(m_block.data() + m_blockUsed, data, take);
        m_blockUsed += take;
        data += take;
        left -= take;
        if (m_blockUsed == m_block.size()) {
            Transform(m_block.data());
            m_blockUsed = 0;
        }
    }
}

CMd5::Digest CMd5::Finish() {
    const std::uint64_t bits = m_length * 8;
    // Padding: one 0x80 byte, then zeros up to 56 bytes into a block, then the length.
    std::string padding(1, '\x80');
    const std::size_t used = (m_blockUsed + 1) % 64;
    padding.append(used <= 56 ? 56 - used : 120 - used, '\0');
    for (int i = 0; i < 8; ++i) padding.push_back(static_cast<char>((bits >> (8 * i)) & 0xff));
    Update(padding);

    Digest digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<std::uint8_t>((m_state[i] >> (8 * j)) & 0xff);
    Reset();
    return digest;
}

std::string CMd5::HexDigest(std::string_view bytes) {
    CMd5 md5;
    md5.Update(bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : md5.Finish()) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0f]);
    }
    return text;
}

}  // namespace velo::mail
