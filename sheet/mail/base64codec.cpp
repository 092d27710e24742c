#include "sheet/mail/base64codec.h"

#include <array>

namespace velo::mail {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kInvalid = -1;
constexpr int kPad = -2;

// Value of every byte: its place in the alphabet, kPad for "=", kInvalid for the rest
// (all bytes above 127 among them).
constexpr std::array<int, 256> MakeDecodeTable() {
    std::array<int, 256> table{};
    for (int& value : table) value = kInvalid;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    table['='] = kPad;
    return table;
}
constexpr std::array<int, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::string CBase64Codec::Encode(const void* bytes, size_t length) {
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned value = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
        out += kAlphabet[value >> 18 & 0x3F];
        out += kAlphabet[value >> 12 & 0x3F];
        out += kAlphabet[value >> 6 & 0x3F];
        out += kAlphabet[value & 0x3F];
    }
    const size_t rest = length - i;
    if (rest > 0) {
        const unsigned value = in[i] << 16 | (rest == 2 ? in[i + 1] << 8 : 0);
        out += kAlphabet[value >> 18 & 0x3F];
        out += kAlphabet[value >> 12 & 0x3F];
        out += rest == 2 ? kAlphabet[value >> 6 & 0x3F] : '=';
        out += '=';
    }
    return out;
}

size_t CBase64Codec::Decode(std::string_view text, std::string* out) {
    size_t written = 0;
    unsigned accumulator = 0;
    int bits = 0;
    for (const char ch : text) {
        const int value = kDecodeTable[static_cast<unsigned char>(ch)];
        if (value == kInvalid) break;
        if (value == kPad) continue;
        accumulator = (accumulator << 6 | static_cast<unsigned>(value)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out->push_back(static_cast<char>(accumulator >> bits & 0xFF));
            ++written;
        }
    }
    return written;
}

}  // namespace velo::mail
