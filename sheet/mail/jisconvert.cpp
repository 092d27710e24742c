#include "sheet/mail/jisconvert.h"

#include <array>
#include <memory>

#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr char kEnterDoubleByte[] = "\x1B$@";
constexpr char kLeaveDoubleByte[] = "\x1B(B";

// Assigned cells of the JIS X 0208 rows that are not full, as (first, last) cell ranges;
// rows 1, 16-46 and 48-83 are full, rows 9-15 and 85-94 are empty.
struct CellRange {
    int first;
    int last;
};
constexpr CellRange kRow2[] = {{1, 14}, {26, 33}, {42, 48}, {60, 74}, {82, 89}, {94, 94}};
constexpr CellRange kRow3[] = {{16, 25}, {33, 58}, {65, 90}};
constexpr CellRange kRow4[] = {{1, 83}};
constexpr CellRange kRow5[] = {{1, 86}};
constexpr CellRange kRow6[] = {{1, 24}, {33, 56}};
constexpr CellRange kRow7[] = {{1, 33}, {49, 81}};
constexpr CellRange kRow8[] = {{1, 32}};
constexpr CellRange kRow47[] = {{1, 51}};
constexpr CellRange kRow84[] = {{1, 6}};

template <size_t N>
bool InRanges(const CellRange (&ranges)[N], int cell) {
    for (const CellRange& range : ranges) {
        if (cell >= range.first && cell <= range.last) return true;
    }
    return false;
}

// Vendor characters of code page 932 that repeat a JIS X 0208 character under another
// code (NEC row 13 and the IBM extensions); they keep their meaning in mail.
struct SjisAlias {
    uint16_t vendor;
    uint16_t standard;
};
constexpr SjisAlias kSjisAliases[] = {
    {0x8790, 0x81E0}, {0x8791, 0x81DF}, {0x8792, 0x81E7}, {0x8795, 0x81E3},
    {0x8796, 0x81DB}, {0x8797, 0x81DA}, {0x879A, 0x81E6}, {0x879B, 0x81BF},
    {0x879C, 0x81BE}, {0xEEF9, 0x81CA}, {0xFA54, 0x81CA}, {0xFA5B, 0x81E6},
};

// Full-width JIS codes of the half-width katakana 0xA1-0xDF.
constexpr std::array<uint16_t, 63> kHalfWidthKana = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529,
    0x2563, 0x2565, 0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B,
    0x252D, 0x252F, 0x2531, 0x2533, 0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541,
    0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C, 0x254D, 0x254E, 0x254F, 0x2552, 0x2555,
    0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564, 0x2566, 0x2568, 0x2569,
    0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};
constexpr unsigned char kHalfWidthFirst = 0xA1;
constexpr unsigned char kHalfWidthLast = 0xDF;
constexpr unsigned char kHalfWidthVoiced = 0xDE;      // ﾞ
constexpr unsigned char kHalfWidthSemiVoiced = 0xDF;  // ﾟ
constexpr unsigned char kHalfWidthU = 0xB3;           // ｳ
constexpr uint16_t kJisVu = 0x2574;                   // ヴ

bool IsHalfWidthKana(unsigned char c) { return c >= kHalfWidthFirst && c <= kHalfWidthLast; }
// A byte that stands for itself: neither a lead byte nor half-width katakana.
bool IsSingleByte(unsigned char c) { return !IsCp932LeadByte(c) && !IsHalfWidthKana(c); }
bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool IsJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// JIS code of the half-width katakana at text[*pos], joined with a following voiced or
// semi-voiced sound mark where the pair makes one full-width letter; advances *pos.
uint16_t TakeHalfWidthKana(std::string_view text, size_t* pos) {
    const unsigned char c = static_cast<unsigned char>(text[*pos]);
    uint16_t jis = kHalfWidthKana[c - kHalfWidthFirst];
    ++*pos;
    if (*pos >= text.size()) return jis;
    const unsigned char mark = static_cast<unsigned char>(text[*pos]);
    const bool takesVoiced = (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE);  // ｶ-ﾄ, ﾊ-ﾎ
    if (mark == kHalfWidthVoiced && c == kHalfWidthU) {
        ++*pos;
        return kJisVu;
    }
    if (mark == kHalfWidthVoiced && takesVoiced) {
        ++*pos;
        return jis + 1;
    }
    if (mark == kHalfWidthSemiVoiced && c >= 0xCA && c <= 0xCE) {
        ++*pos;
        return jis + 2;
    }
    return jis;
}

using SjisToJisTable = std::array<uint16_t, 0x10000>;
const SjisToJisTable& TheSjisToJisTable();

// JIS code of the double-byte character at text[*pos] ("〓" when JIS X 0208 lacks it or
// the lead byte has no valid trail byte, which is then left for the next step).
uint16_t TakeDoubleByte(std::string_view text, size_t* pos, const SjisToJisTable& table) {
    const unsigned char lead = static_cast<unsigned char>(text[*pos]);
    if (*pos + 1 >= text.size() || !IsTrailByte(static_cast<unsigned char>(text[*pos + 1]))) {
        ++*pos;
        return kJisGeta;
    }
    const unsigned char trail = static_cast<unsigned char>(text[*pos + 1]);
    *pos += 2;
    const uint16_t jis = table[static_cast<uint16_t>(lead << 8 | trail)];
    return jis != 0 ? jis : kJisGeta;
}

}  // namespace

bool IsJisX0208Assigned(uint16_t jis) {
    const int high = jis >> 8;
    const int low = jis & 0xFF;
    if (!IsJisByte(static_cast<unsigned char>(high)) || !IsJisByte(static_cast<unsigned char>(low)))
        return false;
    const int row = high - 0x20;
    const int cell = low - 0x20;
    switch (row) {
        case 1:
            return true;
        case 2:
            return InRanges(kRow2, cell);
        case 3:
            return InRanges(kRow3, cell);
        case 4:
            return InRanges(kRow4, cell);
        case 5:
            return InRanges(kRow5, cell);
        case 6:
            return InRanges(kRow6, cell);
        case 7:
            return InRanges(kRow7, cell);
        case 8:
            return InRanges(kRow8, cell);
        case 47:
            return InRanges(kRow47, cell);
        case 84:
            return InRanges(kRow84, cell);
        default:
            return (row >= 16 && row <= 46) || (row >= 48 && row <= 83);
    }
}

namespace {

// SjisToJis worked out from the code's arithmetic.
uint16_t ComputeSjisToJis(uint16_t sjis) {
    for (const SjisAlias& alias : kSjisAliases) {
        if (alias.vendor == sjis) {
            sjis = alias.standard;
            break;
        }
    }
    int high = sjis >> 8;
    int low = sjis & 0xFF;
    // Rows beyond 0xEF (IBM extensions, user-defined area) lie outside JIS X 0208.
    const bool inRows = (high >= 0x81 && high <= 0x9F) || (high >= 0xE0 && high <= 0xEF);
    if (!inRows || !IsTrailByte(static_cast<unsigned char>(low))) return 0;
    // Each lead byte holds two JIS rows: trail bytes 0x40-0x9E the odd row, 0x9F-0xFC the
    // even one (0x7F is never a trail byte).
    high = (high - (high <= 0x9F ? 0x71 : 0xB1)) * 2 + 1;
    if (low > 0x7F) --low;
    if (low >= 0x9E) {
        low -= 0x7D;
        ++high;
    } else {
        low -= 0x1F;
    }
    const auto jis = static_cast<uint16_t>(high << 8 | low);
    return IsJisX0208Assigned(jis) ? jis : 0;
}

// SjisToJis of every code, worked out once (128 KB): a reminder run converts and checks
// each message's text several times, a double-byte character at a time.
const SjisToJisTable& TheSjisToJisTable() {
    static const std::unique_ptr<const SjisToJisTable> table = [] {
        auto codes = std::make_unique<SjisToJisTable>();
        for (size_t code = 0; code < codes->size(); ++code)
            (*codes)[code] = ComputeSjisToJis(static_cast<uint16_t>(code));
        return codes;
    }();
    return *table;
}

}  // namespace

uint16_t SjisToJis(uint16_t sjis) { return TheSjisToJisTable()[sjis]; }

uint16_t JisToSjis(uint16_t jis) {
    int high = jis >> 8;
    int low = jis & 0xFF;
    if (!IsJisByte(static_cast<unsigned char>(high)) || !IsJisByte(static_cast<unsigned char>(low)))
        return 0;
    if (high & 1) {
        low += low <= 0x5F ? 0x1F : 0x20;
    } else {
        low += 0x7E;
    }
    high = ((high + 1) >> 1) + (high <= 0x5E ? 0x70 : 0xB0);
    return static_cast<uint16_t>(high << 8 | low);
}

bool FitsIso2022Jp(std::string_view cp932) {
    const SjisToJisTable& table = TheSjisToJisTable();
    for (size_t pos = 0; pos < cp932.size();) {
        const unsigned char c = static_cast<unsigned char>(cp932[pos]);
        if (c < 0x80) {
            ++pos;
            continue;
        }
        if (!IsCp932LeadByte(c) || pos + 1 >= cp932.size()) return false;
        const unsigned char trail = static_cast<unsigned char>(cp932[pos + 1]);
        if (table[static_cast<uint16_t>(c << 8 | trail)] == 0) return false;
        pos += 2;
    }
    return true;
}

std::string SjisToIso2022Jp(std::string_view sjis) {
    const SjisToJisTable& table = TheSjisToJisTable();
    std::string out;
    out.reserve(sjis.size() + sjis.size() / 2 + 8);
    bool inDoubleByte = false;
    size_t pos = 0;
    while (pos < sjis.size()) {
        size_t end = pos;
        while (end < sjis.size() && IsSingleByte(static_cast<unsigned char>(sjis[end]))) ++end;
        if (end > pos) {
            if (inDoubleByte) out += kLeaveDoubleByte;
            inDoubleByte = false;
            out.append(sjis.substr(pos, end - pos));
            pos = end;
            continue;
        }
        const uint16_t jis = IsCp932LeadByte(static_cast<unsigned char>(sjis[pos]))
                                 ? TakeDoubleByte(sjis, &pos, table)
                                 : TakeHalfWidthKana(sjis, &pos);
        if (!inDoubleByte) out += kEnterDoubleByte;
        inDoubleByte = true;
        const char pair[2] = {static_cast<char>(jis >> 8), static_cast<char>(jis & 0xFF)};
        out.append(pair, 2);
    }
    if (inDoubleByte) out += kLeaveDoubleByte;
    return out;
}

std::string Iso2022JpToSjis(std::string_view jis) {
    std::string out;
    out.reserve(jis.size());
    bool inDoubleByte = false;
    size_t pos = 0;
    while (pos < jis.size()) {
        const unsigned char c = static_cast<unsigned char>(jis[pos]);
        if (c == kEsc && pos + 2 < jis.size()) {
            const std::string_view escape = jis.substr(pos + 1, 2);
            if (escape == "(B" || escape == "(J") {
                inDoubleByte = false;
                pos += 3;
                continue;
            }
            if (escape == "$@" || escape == "$B") {
                inDoubleByte = true;
                pos += 3;
                continue;
            }
        }
        if (inDoubleByte && pos + 1 < jis.size() && IsJisByte(c) &&
            IsJisByte(static_cast<unsigned char>(jis[pos + 1]))) {
            const uint16_t sjis =
                JisToSjis(static_cast<uint16_t>(c << 8 | static_cast<unsigned char>(jis[pos + 1])));
            out += static_cast<char>(sjis >> 8);
            out += static_cast<char>(sjis & 0xFF);
            pos += 2;
            continue;
        }
        out += static_cast<char>(c);
        ++pos;
    }
    return out;
}

}  // namespace velo::mail
