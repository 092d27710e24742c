// Tests of the code page 932 conversions and the fixed-width field helpers.
#include "suite/text/cp932.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(Cp932Test, JapaneseTextRoundTrips) {
    // Kanji, hiragana, full-width and half-width katakana, and the IBM extension kanji 髙 and 﨑.
    const QString text = QStringLiteral("髙橋 﨑山 さくら サクラ ｻｸﾗ ABC123 ～");
    const std::string bytes = QStringToCp932(text);
    EXPECT_EQ(bytes.find("\x81\xAC"), std::string::npos) << "nothing should need the geta mark";
    EXPECT_EQ(Cp932ToQString(bytes), text);
    // Half-width katakana are single bytes.
    EXPECT_EQ(QStringToCp932(QStringLiteral("ｱ")), std::string("\xB1"));
}

TEST(Cp932Test, UnmappableCharacterBecomesGetaAndConversionGoesOn) {
    const QString text =
        QStringLiteral("歯") + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("科€x");
    const std::string bytes = QStringToCp932(text);
    EXPECT_EQ(Cp932ToQString(bytes), QStringLiteral("歯〓科〓x"));

    // The same characters are named beforehand, each once; the vendor kanji 髙 and 﨑 and
    // circled numbers are code page 932's own and are not among them.
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(CharactersCp932Lacks(text + smile + QStringLiteral("€")), smile + QStringLiteral("€"));
    EXPECT_EQ(CharactersCp932Lacks(QStringLiteral("髙橋 山﨑 ①")), QString());
    EXPECT_EQ(CharactersCp932Lacks(QString()), QString());
}

TEST(Cp932Test, InvalidBytesBecomeReplacementCharacters) {
    // 0x81 0x20 is a lead byte with a bad trail; 0xA0 and 0xFD are never valid; a lead byte
    // at the very end is incomplete. Everything valid around them still converts.
    const std::string bytes = std::string("A\x81 B\xA0") + "\x82\xA0" + "\xFD" + "C\x82";
    const QString text = Cp932ToQString(bytes);
    EXPECT_TRUE(text.startsWith(QStringLiteral("A\uFFFD B")));
    EXPECT_TRUE(text.contains(QStringLiteral("あ")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("C\uFFFD")));
    EXPECT_EQ(text.count(QChar(0xFFFD)), 4);
}

TEST(Cp932Test, FieldReadStopsAtZeroOrWidth) {
    char field[8] = {'a', 'b', 0, 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(Cp932FieldToQString(field, sizeof(field)), QStringLiteral("ab"));
    const char full[4] = {'1', '2', '3', '4'};
    EXPECT_EQ(Cp932FieldToQString(full, sizeof(full)), QStringLiteral("1234"));
}

TEST(Cp932Test, FieldWriteNeverSplitsADoubleByteCharacter) {
    char field[6];
    std::memset(field, 'z', sizeof(field));
    // "あいう" is six bytes; only four fit before the terminating zero.
    SetCp932Field(field, sizeof(field), QStringLiteral("あいう"));
    EXPECT_EQ(std::string(field), std::string("\x82\xA0\x82\xA2"));
    EXPECT_EQ(field[4], 0);
    EXPECT_EQ(field[5], 0);

    // "aあ" in a 3-byte field: "a" fits, "あ" would leave no room for the zero.
    char small[3];
    SetCp932Field(small, sizeof(small), QStringLiteral("aあ"));
    EXPECT_EQ(std::string(small), "a");

    // Half-width kana are single bytes and may fill the field to width-1.
    char kana[4];
    SetCp932Field(kana, sizeof(kana), QStringLiteral("ｱｲｳｴ"));
    EXPECT_EQ(Cp932FieldToQString(kana, sizeof(kana)), QStringLiteral("ｱｲｳ"));
}

TEST(Cp932Test, CopyTextFieldCutsOnBoundaryAndDropsDanglingLeadByte) {
    char field[5];
    CopyTextField(field, sizeof(field), std::string_view("ab\x82\xA0\x82\xA2", 6));
    EXPECT_EQ(std::string(field), "ab\x82\xA0");
    CopyTextField(field, sizeof(field), std::string_view("a\x82", 2));
    EXPECT_EQ(std::string(field), "a");
    CopyTextField(field, sizeof(field), std::string_view("ab\0cd", 5));
    EXPECT_EQ(std::string(field), "ab");
    EXPECT_EQ(field[3], 0);
}

TEST(Cp932Test, LeadByteRanges) {
    EXPECT_FALSE(IsCp932LeadByte(0x80));
    EXPECT_TRUE(IsCp932LeadByte(0x81));
    EXPECT_TRUE(IsCp932LeadByte(0x9F));
    EXPECT_FALSE(IsCp932LeadByte(0xA0));
    EXPECT_FALSE(IsCp932LeadByte(0xDF));
    EXPECT_TRUE(IsCp932LeadByte(0xE0));
    EXPECT_TRUE(IsCp932LeadByte(0xFC));
    EXPECT_FALSE(IsCp932LeadByte(0xFD));
}

}  // namespace
