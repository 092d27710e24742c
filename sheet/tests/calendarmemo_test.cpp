// Tests of the calendar memo reader: the block format with comments, trimming and "<BR>"
// breaks, rejected headers, code page 932 bytes that look like braces, and missing files.
#include "sheet/calendarmemo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "suite/text/cp932.h"

namespace velo::sheet {
namespace {

std::vector<CalendarMemo> Parse(const char* text, bool* ok = nullptr) {
    std::vector<CalendarMemo> notes;
    const bool parsed = ParseCalendarMemo(QString::fromUtf8(text), &notes);
    if (ok != nullptr) *ok = parsed;
    return notes;
}

TEST(CalendarMemoTest, ReadsNestedBlocksWithCommentsTrimmingAndBreaks) {
    bool ok = false;
    const auto notes = Parse(
        "CalendarMemoFile\r\n"
        "Version 1.00\r\n"
        "\r\n"
        "// notes of the clinic\r\n"
        "2024 {\r\n"
        "\t03 {   // March\r\n"
        "\t\t05=院内研修<BR>午後休診 \t\r\n"
        "\t\t06=\r\n"
        "\t\t07=資料は http://example.jp/a を参照\r\n"
        "\t\t07=二度目は読まない\r\n"
        "\t}\r\n"
        "\t04 {\n"
        "\t\t01=新年度\n"
        "\t}\n"
        "}\r\n",
        &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].key, "20240305");
    EXPECT_EQ(notes[0].text, QString::fromUtf8("院内研修\r\n午後休診"));
    EXPECT_EQ(notes[1].key, "20240307");
    EXPECT_EQ(notes[1].text, QString::fromUtf8("資料は http://example.jp/a を参照"));
    EXPECT_EQ(notes[2].key, "20240401");
    EXPECT_EQ(notes[2].text, QString::fromUtf8("新年度"));
}

TEST(CalendarMemoTest, RejectsForeignHeadersAndIgnoresValuesOutsideADayBlock) {
    bool ok = true;
    EXPECT_TRUE(Parse("MemoFile\nVersion 1.00\n2024 {\n\t03 {\n\t\t05=x\n\t}\n}\n", &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Parse("CalendarMemoFile\nVer 1\n2024 {\n\t03 {\n\t\t05=x\n\t}\n}\n", &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Parse("CalendarMemoFile\n", &ok).empty());
    EXPECT_FALSE(ok);

    const auto notes = Parse(
        "CalendarMemoFile\nVersion 2.5 beta\n\n"
        "05=outside any block\n"
        "2024 {\n\t05=in the year only\n"
        "\t3 {\n\t\t05=short month name\n\t}\n"
        "\t03 {\n\t\t5=short day\n\t\t09=kept\n\t}\n}\n",
        &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].key, "20240309");
}

class CalendarMemoFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/calmemo-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
    }
    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    void Write(int year, const std::string& bytes) {
        std::ofstream file(CalendarMemoPath(m_folder, year), std::ios::binary);
        file << bytes;
    }
    std::string m_folder;
};

TEST_F(CalendarMemoFileTest, PathJoinsFolderAndYear) {
    EXPECT_EQ(CalendarMemoPath("/db", 2024), "/db/CalendarMemo2024.txt");
    EXPECT_EQ(CalendarMemoPath("/db/", 987), "/db/CalendarMemo0987.txt");
}

TEST_F(CalendarMemoFileTest, DecodesCodePage932BeforeLookingForBraces) {
    // 0x83 0x7B is one double-byte character whose second byte is "{" in ASCII.
    const std::string brace = "\x83\x7B";
    Write(2024, "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2024 {\r\n\t03 {\r\n\t\t05=" +
                    QStringToCp932(QString::fromUtf8("休診")) + brace + "\r\n\t\t06=" + brace +
                    "\r\n\t}\r\n}\r\n");
    std::vector<CalendarMemo> notes;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2024, &notes));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].text, QString::fromUtf8("休診") + Cp932ToQString(brace));
    EXPECT_EQ(notes[1].key, "20240306");

    const MonthMemos march = ReadMonthMemos(m_folder, 2024, 3);
    EXPECT_EQ(march[5], notes[0].text);
    EXPECT_EQ(march[6], notes[1].text);
    EXPECT_TRUE(march[7].isEmpty());
    const MonthMemos april = ReadMonthMemos(m_folder, 2024, 4);
    for (const QString& memo : april) EXPECT_TRUE(memo.isEmpty());
}

TEST_F(CalendarMemoFileTest, MissingOrForeignFileYieldsNoNotesAndLeavesOutputAlone) {
    std::vector<CalendarMemo> notes{{"20230101", QStringLiteral("kept")}};
    EXPECT_FALSE(ReadCalendarMemoYear(m_folder, 2025, &notes));
    Write(2026, "not a memo file\r\n");
    EXPECT_FALSE(ReadCalendarMemoYear(m_folder, 2026, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text, QStringLiteral("kept"));
    for (const QString& memo : ReadMonthMemos(m_folder, 2025, 1)) EXPECT_TRUE(memo.isEmpty());
}

}  // namespace
}  // namespace velo::sheet
