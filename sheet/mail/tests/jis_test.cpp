// Tests of our own code page 932 / ISO-2022-JP conversion, checked character by character
// against glibc's converters: every JIS X 0208 code both ways, every double-byte code of
// code page 932 (vendor characters become "〓" or their standard twin), half-width
// katakana going out full-width, and conversion going on past characters JIS X 0208 lacks.
#include <gtest/gtest.h>
#include <iconv.h>

#include <QString>
#include <cstdint>
#include <map>
#include <string>

#include "sheet/mail/jisconvert.h"
#include "suite/text/cp932.h"

namespace velo::mail {
namespace {

// One glibc converter, reset before each use.
class Converter {
public:
    Converter(const char* from, const char* to) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Valid()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // False when any byte cannot be converted.
    bool Convert(const std::string& in, std::string* out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out->clear();
        char buffer[256];
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        for (;;) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t done = inLeft > 0 ? iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft)
                                           : iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
            out->append(buffer, static_cast<size_t>(outPtr - buffer));
            if (done != static_cast<size_t>(-1)) {
                if (inLeft == 0 && outPtr == buffer) return true;
                continue;
            }
            if (errno != E2BIG) return false;
        }
    }

private:
    iconv_t m_cd;
};

std::string Bytes(uint16_t code) {
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

std::string JisWord(uint16_t jis) { return "\x1B$@" + Bytes(jis) + "\x1B(B"; }

constexpr char kGetaWord[] = "\x1B$@\x22\x2E\x1B(B";

// Glibc's view of JIS X 0208: each assigned JIS code with its Shift_JIS code (from the
// JIS X 0208 based SHIFT_JIS converter) and the text code page 932 gives those bytes.
struct JisTable {
    std::map<uint16_t, uint16_t> sjisOfJis;
    std::map<std::string, uint16_t> jisOfCp932Text;  // UTF-8 → JIS code
};

const JisTable& GlibcJisTable() {
    static const JisTable table = [] {
        JisTable made;
        Converter fromJis("ISO-2022-JP", "UTF-8");
        Converter toSjis("UTF-8", "SHIFT_JIS");
        Converter fromCp932("CP932", "UTF-8");
        std::string text, sjis, cp932Text;
        for (int high = 0x21; high <= 0x7E; ++high) {
            for (int low = 0x21; low <= 0x7E; ++low) {
                const auto jis = static_cast<uint16_t>(high << 8 | low);
                if (!fromJis.Convert("\x1B$B" + Bytes(jis) + "\x1B(B", &text)) continue;
                if (!toSjis.Convert(text, &sjis) || sjis.size() != 2) continue;
                const auto code = static_cast<uint16_t>(static_cast<unsigned char>(sjis[0]) << 8 |
                                                        static_cast<unsigned char>(sjis[1]));
                made.sjisOfJis[jis] = code;
                // Where code page 932 reads the bytes as another character (wave dash as
                // full-width tilde, minus as full-width hyphen-minus, ¢ £ ¬ as their
                // full-width forms, ‖ as ∥), that character stands for the JIS code.
                if (fromCp932.Convert(sjis, &cp932Text)) made.jisOfCp932Text[cp932Text] = jis;
            }
        }
        return made;
    }();
    return table;
}

TEST(JisConvertTest, EveryJisX0208CodeMapsBothWaysAsGlibcDoes) {
    const JisTable& table = GlibcJisTable();
    // JIS X 0208-1990: 6879 characters.
    ASSERT_EQ(table.sjisOfJis.size(), 6879u);
    int mismatches = 0;
    for (int high = 0x21; high <= 0x7E; ++high) {
        for (int low = 0x21; low <= 0x7E; ++low) {
            const auto jis = static_cast<uint16_t>(high << 8 | low);
            const auto found = table.sjisOfJis.find(jis);
            const bool assigned = found != table.sjisOfJis.end();
            if (IsJisX0208Assigned(jis) != assigned) {
                ADD_FAILURE() << std::hex << "JIS " << jis << " assigned=" << assigned;
                ++mismatches;
            }
            if (!assigned) continue;
            if (SjisToJis(found->second) != jis || JisToSjis(jis) != found->second) {
                ADD_FAILURE() << std::hex << "JIS " << jis << " SJIS " << found->second << " ours "
                              << SjisToJis(found->second) << "/" << JisToSjis(jis);
                ++mismatches;
            }
            if (mismatches > 20) return;
        }
    }
}

TEST(JisConvertTest, WholeTextOfAllCharactersReadsBackThroughGlibc) {
    const JisTable& table = GlibcJisTable();
    std::string sjis = "ABC ";
    for (const auto& [jis, code] : table.sjisOfJis) {
        sjis += Bytes(code);
        if ((jis & 0xFF) == 0x7E) sjis += "\r\n";  // runs end and start again each row
    }
    const std::string iso = SjisToIso2022Jp(sjis);
    for (const char ch : iso) ASSERT_EQ(static_cast<unsigned char>(ch) & 0x80, 0) << "not 7 bit";

    std::string viaOurs, viaGlibc;
    ASSERT_TRUE(Converter("ISO-2022-JP", "UTF-8").Convert(iso, &viaOurs));
    ASSERT_TRUE(Converter("SHIFT_JIS", "UTF-8").Convert(sjis, &viaGlibc));
    EXPECT_TRUE(viaOurs == viaGlibc);

    std::string glibcIso;
    ASSERT_TRUE(Converter("UTF-8", "ISO-2022-JP").Convert(viaGlibc, &glibcIso));
    EXPECT_TRUE(Iso2022JpToSjis(glibcIso) == sjis);
    EXPECT_TRUE(Iso2022JpToSjis(iso) == sjis);
}

// Every double-byte code of code page 932 that glibc knows goes out as the JIS X 0208
// character of the same meaning, or as "〓" when JIS X 0208 has none (NEC and IBM
// extensions, the user-defined area).
TEST(JisConvertTest, EveryCp932CodeGoesOutAsItsJisTwinOrGeta) {
    const JisTable& table = GlibcJisTable();
    Converter fromCp932("CP932", "UTF-8");
    std::string text;
    int vendorTwins = 0;
    int getas = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsCp932LeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const auto code = static_cast<uint16_t>(lead << 8 | trail);
            uint16_t expected = 0;
            if (fromCp932.Convert(Bytes(code), &text)) {
                const auto twin = table.jisOfCp932Text.find(text);
                if (twin != table.jisOfCp932Text.end()) expected = twin->second;
            }
            if (expected != 0 && table.sjisOfJis.at(expected) != code) ++vendorTwins;
            if (expected == 0) ++getas;
            ASSERT_EQ(SjisToJis(code), expected) << std::hex << "SJIS " << code;
            ASSERT_EQ(SjisToIso2022Jp(Bytes(code)), expected ? JisWord(expected) : kGetaWord)
                << std::hex << "SJIS " << code;
        }
    }
    EXPECT_EQ(vendorTwins, 12);  // ≒≡∫√⊥∠∵∩∪ of NEC row 13, ¬ ∵ of the IBM rows, ¬ of NEC's
    EXPECT_GT(getas, 0);
}

TEST(JisConvertTest, CharactersJisLacksBecomeGetaAndConversionGoesOn) {
    const std::string name = QStringToCp932(QString::fromUtf8("髙橋と山﨑①\xEE\x80\x80終わり"));
    ASSERT_EQ(name.substr(0, 2), "\xFB\xFC");  // 髙 in the IBM rows
    const std::string iso = SjisToIso2022Jp("A" + name + "B\r\n");
    const std::string back = Iso2022JpToSjis(iso);
    EXPECT_EQ(Cp932ToQString(back), QString::fromUtf8("A〓橋と山〓〓〓終わりB\r\n"));
    EXPECT_EQ(iso.find('\0'), std::string::npos);

    // A lead byte without a valid trail byte does not swallow the line break after it.
    EXPECT_EQ(SjisToIso2022Jp("x\x82\r\ny\x82"),
              std::string("x") + kGetaWord + "\r\ny" + kGetaWord);
}

TEST(JisConvertTest, EscapesOpenAndCloseEachRunAndAllFourEscapesAreRead) {
    const std::string sjis = QStringToCp932(QString::fromUtf8("予約 6/1 確認"));
    EXPECT_EQ(SjisToIso2022Jp(sjis), "\x1B$@M=Ls\x1B(B 6/1 \x1B$@3NG'\x1B(B");
    EXPECT_EQ(SjisToIso2022Jp("plain\r\n"), "plain\r\n");

    EXPECT_EQ(Iso2022JpToSjis("\x1B$BM=Ls\x1B(J 6/1 \x1B$@3NG'\x1B(B!"), sjis + "!");
    // Bytes that do not make a JIS pair are copied; an unknown escape is kept.
    EXPECT_EQ(Iso2022JpToSjis("\x1B$BM\r\n\x1B(B\x1B(Ix"), "M\r\n\x1B(Ix");
}

// Half-width katakana are not 7-bit text: they go out as the full-width letters that
// Unicode's compatibility normalisation gives, a sound mark joining its letter.
TEST(JisConvertTest, HalfWidthKatakanaGoOutFullWidth) {
    Converter toIso("UTF-8", "ISO-2022-JP");
    std::string expected;
    for (int c = 0xA1; c <= 0xDF; ++c) {
        const std::string one(1, static_cast<char>(c));
        QString wide = Cp932ToQString(one).normalized(QString::NormalizationForm_KC);
        if (c == 0xDE) wide = QString::fromUtf8("゛");  // the marks alone normalise to
        if (c == 0xDF) wide = QString::fromUtf8("゜");  // combining forms
        ASSERT_TRUE(toIso.Convert(wide.toStdString(), &expected)) << c;
        expected.replace(0, 3, "\x1B$@");  // glibc writes ESC $ B, the same characters
        EXPECT_EQ(SjisToIso2022Jp(one), expected) << std::hex << c;
    }
    const char* joined = "ｶﾞｷﾞﾎﾟｳﾞﾊﾞﾊﾟｱﾞﾞﾏﾟ";
    const std::string halfWidth = QStringToCp932(QString::fromUtf8(joined));
    EXPECT_EQ(Cp932ToQString(Iso2022JpToSjis(SjisToIso2022Jp(halfWidth))),
              QString::fromUtf8("ガギポヴバパア゛゛マ゜"));
}

}  // namespace
}  // namespace velo::mail
