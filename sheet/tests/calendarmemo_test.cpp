// Tests of the calendar memo files: the reader's block format with comments, trimming and
// "<BR>" breaks, rejected headers and malformed blocks, code page 932 bytes that look like
// braces, missing files; the writer's exact layout, emptied notes, one file per year, saves
// from two workstations at the same moment, and a failed save that keeps both the old file
// and the edits.
#include "sheet/calendarmemo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "suite/testsupport/peerprocess.h"
#include "suite/text/atomicfile.h"
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
        SetCalendarMemoReadHookForTesting({});
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    void Write(int year, const std::string& bytes) {
        std::ofstream file(CalendarMemoPath(m_folder, year), std::ios::binary);
        file << bytes;
    }
    static std::string FileBytes(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
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

    // A file an editor saved as UTF-8 with a byte-order mark is read as UTF-8.
    Write(2025,
          "\xEF\xBB\xBF"
          "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n\t01 {\r\n\t\t06="
          "仕事始め<BR>午後から\r\n\t}\r\n}\r\n");
    notes.clear();
    ASSERT_EQ(ReadCalendarMemoFile(m_folder, 2025, &notes), MemoFileRead::kRead);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].key, "20250106");
    EXPECT_EQ(notes[0].text, QString::fromUtf8("仕事始め\r\n午後から"));
}

TEST(CalendarMemoTest, UnbalancedBracesAndStrayLinesYieldNoNotes) {
    bool ok = false;
    const auto notes = Parse(
        "CalendarMemoFile\r\nVersion 1.00\r\n\r\n"
        "}\r\n}\r\n"
        "stray text without an equals sign\r\n"
        "=no key\r\n"
        "2024 {\r\n\t}\r\n\t}\r\n\t\t05=closed too early\r\n"
        "\t03 {\r\n\t\t{\r\n\t\t06=three blocks deep\r\n",
        &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(notes.empty());
}

TEST(CalendarMemoTest, MergeLaysLaterEditsOverLoadedNotesInKeyOrder) {
    const std::vector<CalendarMemo> loaded{{"20240310", QStringLiteral("loaded 10")},
                                           {"20240301", QStringLiteral("loaded 1")},
                                           {"20231231", QStringLiteral("old year")}};
    const std::vector<CalendarMemo> pending{{"20240310", QStringLiteral("first edit")},
                                            {"20240305", QStringLiteral("new")},
                                            {"20240310", QStringLiteral("second edit")}};
    const auto merged = MergeCalendarMemos(loaded, pending);
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged[0].key, "20231231");
    EXPECT_EQ(merged[1].text, QStringLiteral("loaded 1"));
    EXPECT_EQ(merged[2].text, QStringLiteral("new"));
    EXPECT_EQ(merged[3].text, QStringLiteral("second edit"));
}

TEST(CalendarMemoTest, YearFileHasTheExactLayout) {
    const std::vector<CalendarMemo> notes{{"20240305", QStringLiteral("a\r\nb\nc\rd")},
                                          {"20240306", QString()},
                                          {"20240401", QString::fromUtf8("新年度")},
                                          {"20250101", QStringLiteral("other year")}};
    EXPECT_EQ(FormatCalendarMemoYear(2024, notes),
              "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2024 {\r\n"
              "\t03 {\r\n\t\t05=a<BR>b<BR>c<BR>d\r\n\t\t06=\r\n\t}\r\n"
              "\t04 {\r\n\t\t01=\x90\x56\x94\x4E\x93\x78\r\n\t}\r\n}\r\n");
}

TEST_F(CalendarMemoFileTest, TwoLineNoteSurvivesSavingAndReading) {
    CalendarMemoBook book(m_folder);
    book.LoadYear(2024);
    book.SetPending("20240305", QString::fromUtf8("午前休診\r\n午後は通常"));
    ASSERT_TRUE(book.Save(nullptr));
    EXPECT_FALSE(book.HasPending());

    std::vector<CalendarMemo> notes;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2024, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].key, "20240305");
    EXPECT_EQ(notes[0].text, QString::fromUtf8("午前休診\r\n午後は通常"));
    CalendarMemoBook again(m_folder);
    again.LoadYear(2024);
    EXPECT_EQ(again.NoteOf("20240305"), notes[0].text);
}

TEST_F(CalendarMemoFileTest, EmptiedNoteIsWrittenBareAndNotReadAgain) {
    Write(2024,
          "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2024 {\r\n\t03 {\r\n"
          "\t\t05=消す\r\n\t\t06=残す\r\n\t}\r\n}\r\n");
    CalendarMemoBook book(m_folder);
    book.LoadYear(2024);
    ASSERT_FALSE(book.NoteOf("20240305").isEmpty());
    book.SetPending("20240305", QString());
    EXPECT_TRUE(book.NoteOf("20240305").isEmpty());
    ASSERT_TRUE(book.Save(nullptr));

    std::ifstream file(CalendarMemoPath(m_folder, 2024), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    EXPECT_NE(bytes.str().find("\t\t05=\r\n"), std::string::npos);
    std::vector<CalendarMemo> notes;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2024, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].key, "20240306");
}

TEST_F(CalendarMemoFileTest, EditsOfSeveralYearsGoToOneFilePerYearAndKeepOtherDesksNotes) {
    Write(2025,
          "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n\t06 {\r\n"
          "\t\t10=kept\r\n\t}\r\n}\r\n");
    CalendarMemoBook book(m_folder);
    book.LoadYear(2024);
    book.LoadYear(2025);
    book.SetPending("20241231", QStringLiteral("end"));
    book.SetPending("20250101", QStringLiteral("start"));
    // Meanwhile another workstation saves a note of its own into 2025: it must survive.
    CalendarMemoBook other(m_folder);
    other.LoadYear(2025);
    other.SetPending("20250301", QStringLiteral("other desk"));
    ASSERT_TRUE(other.Save(nullptr));
    ASSERT_TRUE(book.Save(nullptr));
    EXPECT_EQ(book.NoteOf("20250301"), QStringLiteral("other desk"));

    std::vector<CalendarMemo> y2024, y2025;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2024, &y2024));
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2025, &y2025));
    ASSERT_EQ(y2024.size(), 1u);
    EXPECT_EQ(y2024[0].key, "20241231");
    ASSERT_EQ(y2025.size(), 3u);
    EXPECT_EQ(y2025[0].text, QStringLiteral("start"));
    EXPECT_EQ(y2025[1].text, QStringLiteral("other desk"));
    EXPECT_EQ(y2025[2].text, QStringLiteral("kept"));
    EXPECT_FALSE(std::filesystem::exists(CalendarMemoPath(m_folder, 2023)));

    // 2026 is edited without being shown first: its other notes survive as well.
    Write(2026,
          "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2026 {\r\n\t02 {\r\n"
          "\t\t10=kept too\r\n\t}\r\n}\r\n");
    book.SetPending("20260101", QStringLiteral("new year"));
    ASSERT_TRUE(book.Save(nullptr));
    std::vector<CalendarMemo> y2026;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2026, &y2026));
    ASSERT_EQ(y2026.size(), 2u);
    EXPECT_EQ(y2026[1].text, QStringLiteral("kept too"));

    // Two workstations saving notes of one year at the same moment, many times over: every
    // note of both is in the file afterwards.
    constexpr int kEach = 60;
    CPeerProcess even(BOOKING_PEER, {"memo", m_folder, "0", std::to_string(kEach)});
    CPeerProcess odd(BOOKING_PEER, {"memo", m_folder, "1", std::to_string(kEach)});
    ASSERT_EQ(even.ReadLine(), "ready");
    ASSERT_EQ(odd.ReadLine(), "ready");
    even.Send("go");
    odd.Send("go");
    for (CPeerProcess* peer : {&even, &odd}) {
        EXPECT_EQ(peer->ReadLine(), "done");
        peer->Wait();
    }
    std::vector<CalendarMemo> y2027;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2027, &y2027));
    EXPECT_EQ(y2027.size(), 2u * kEach);
}

TEST_F(CalendarMemoFileTest, FailedSaveNamesTheFileAndKeepsOldFileAndEdits) {
    const std::string old =
        "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n\t01 {\r\n"
        "\t\t02=old\r\n\t}\r\n}\r\n";
    Write(2025, old);
    CalendarMemoBook book(m_folder);
    book.LoadYear(2025);
    book.SetPending("20250102", QStringLiteral("new"));
    const std::string target = CalendarMemoPath(m_folder, 2025);
    SetAtomicWriteHookForTesting([&](EAtomicWriteStep step, const std::string& path) {
        return !(step == EAtomicWriteStep::Rename && path == target);
    });
    std::string error;
    EXPECT_FALSE(book.Save(&error));
    SetAtomicWriteHookForTesting({});
    EXPECT_NE(error.find("CalendarMemo2025.txt"), std::string::npos) << error;
    EXPECT_TRUE(book.HasPending());
    EXPECT_EQ(book.NoteOf("20250102"), QStringLiteral("new"));
    std::ifstream file(target, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    EXPECT_EQ(bytes.str(), old);

    ASSERT_TRUE(book.Save(&error));
    std::vector<CalendarMemo> notes;
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2025, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].text, QStringLiteral("new"));

    // A year file that exists but cannot be read at the moment, or that holds something
    // other than memos, is not replaced by the edits alone; no year is written then.
    const std::string stored = FileBytes(target);
    book.SetPending("20250103", QStringLiteral("third"));
    book.SetPending("20240101", QStringLiteral("other year"));
    SetCalendarMemoReadHookForTesting([&](const std::string& path) { return path != target; });
    EXPECT_FALSE(book.Save(&error));
    SetCalendarMemoReadHookForTesting({});
    EXPECT_EQ(book.UnreadableFile(), target);
    EXPECT_NE(error.find("CalendarMemo2025.txt"), std::string::npos) << error;
    EXPECT_EQ(FileBytes(target), stored);
    EXPECT_FALSE(std::filesystem::exists(CalendarMemoPath(m_folder, 2024)));
    EXPECT_EQ(book.NoteOf("20250103"), QStringLiteral("third"));

    Write(2025, "memo notes kept by some other program\r\n");
    EXPECT_FALSE(book.Save(&error));
    EXPECT_EQ(FileBytes(target), "memo notes kept by some other program\r\n");

    // An empty file holds no notes and is written.
    Write(2025, "");
    ASSERT_TRUE(book.Save(&error));
    EXPECT_TRUE(book.UnreadableFile().empty());
    notes.clear();
    ASSERT_TRUE(ReadCalendarMemoYear(m_folder, 2025, &notes));
    EXPECT_EQ(notes.size(), 1u);
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
