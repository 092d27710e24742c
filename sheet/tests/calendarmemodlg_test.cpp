// Tests of the calendar memo dialog: edits kept while moving across days and years and
// written on OK, the hidden year/month/day fields and their limits, Escape, and a save
// that fails and keeps the dialog open with its edits.
#include "sheet/calendarmemodlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "suite/text/atomicfile.h"
#include "suite/tool/messageservice.h"

namespace velo::sheet {
namespace {

template <typename T>
T* Control(QWidget& dialog, int id) {
    T* control = dialog.findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

class CalendarMemoDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/calmemodlg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        CMessageService::ClearHistory();
    }
    void TearDown() override {
        SetAtomicWriteHookForTesting({});
        SetCalendarMemoReadHookForTesting({});
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    std::vector<CalendarMemo> Read(int year) {
        std::vector<CalendarMemo> notes;
        ReadCalendarMemoYear(m_folder, year, &notes);
        return notes;
    }
    static void Click(QWidget& dialog, int id) { Control<QPushButton>(dialog, id)->click(); }
    static QPlainTextEdit* Note(QWidget& dialog) {
        return Control<QPlainTextEdit>(dialog, CCalendarMemoDlg::kIdNote);
    }

    std::string m_folder;
};

TEST(MemoDateFromFieldsTest, OutOfRangeMonthAndDayAreKeptWithinTheCalendar) {
    EXPECT_EQ(MemoDateFromFields("2024", "13", "05"), QDate(2024, 12, 5));
    EXPECT_EQ(MemoDateFromFields("2024", "0", "05"), QDate(2024, 1, 5));
    EXPECT_EQ(MemoDateFromFields("2024", "x", "05"), QDate(2024, 1, 5));
    EXPECT_EQ(MemoDateFromFields("2024", "02", "31"), QDate(2024, 2, 29));
    EXPECT_EQ(MemoDateFromFields("2023", "02", "31"), QDate(2023, 2, 28));
    EXPECT_EQ(MemoDateFromFields("2024", "04", "-3"), QDate(2024, 4, 1));
    EXPECT_EQ(MemoDateFromFields(" 2024 ", " 4", "7 "), QDate(2024, 4, 7));
}

TEST_F(CalendarMemoDlgTest, EditsAcrossDaysAndYearsAreKeptAndWrittenOnOk) {
    {
        std::ofstream file(CalendarMemoPath(m_folder, 2024), std::ios::binary);
        file << "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2024 {\r\n\t12 {\r\n"
                "\t\t30=checked\r\n\t}\r\n}\r\n";
    }
    CCalendarMemoDlg dialog(m_folder, QDate(2024, 12, 30));
    dialog.show();
    EXPECT_EQ(dialog.objectName(), QStringLiteral("1038"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("カレンダーメモ"));
    EXPECT_EQ(Note(dialog)->toPlainText(), QStringLiteral("checked"));
    EXPECT_EQ(Control<QDateEdit>(dialog, CCalendarMemoDlg::kIdDate)->text(),
              QStringLiteral("2024/12/30(月)"));

    Click(dialog, CCalendarMemoDlg::kIdNextDay);
    EXPECT_EQ(dialog.CurrentDate(), QDate(2024, 12, 31));
    EXPECT_TRUE(Note(dialog)->toPlainText().isEmpty());
    Note(dialog)->setPlainText(QStringLiteral("line one\nline two"));
    Click(dialog, CCalendarMemoDlg::kIdNextDay);
    EXPECT_EQ(dialog.CurrentDate(), QDate(2025, 1, 1));
    Note(dialog)->setPlainText(QStringLiteral("new year"));

    // Back through the date picker: the pending edit is shown, not the file's empty day.
    Control<QDateEdit>(dialog, CCalendarMemoDlg::kIdDate)->setDate(QDate(2024, 12, 31));
    EXPECT_EQ(Note(dialog)->toPlainText(), QStringLiteral("line one\nline two"));
    Click(dialog, CCalendarMemoDlg::kIdPrevDay);
    Note(dialog)->clear();
    // Only moving keeps an edit; nothing is on disk before OK.
    EXPECT_EQ(Read(2024).size(), 1u);

    Click(dialog, CCalendarMemoDlg::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.MemosChanged());
    const auto y2024 = Read(2024);
    ASSERT_EQ(y2024.size(), 1u);
    EXPECT_EQ(y2024[0].key, "20241231");
    EXPECT_EQ(y2024[0].text, QStringLiteral("line one\r\nline two"));
    const auto y2025 = Read(2025);
    ASSERT_EQ(y2025.size(), 1u);
    EXPECT_EQ(y2025[0].text, QStringLiteral("new year"));
}

TEST_F(CalendarMemoDlgTest, HiddenFieldsAndYearButtonsMoveTheSameDate) {
    CCalendarMemoDlg dialog(m_folder, QDate(2024, 2, 29));
    dialog.show();
    auto* year = Control<QLineEdit>(dialog, CCalendarMemoDlg::kIdYear);
    auto* month = Control<QComboBox>(dialog, CCalendarMemoDlg::kIdMonth);
    auto* day = Control<QComboBox>(dialog, CCalendarMemoDlg::kIdDay);
    EXPECT_FALSE(year->isVisible());
    EXPECT_EQ(year->text(), QStringLiteral("2024"));
    EXPECT_EQ(day->count(), 29);

    Click(dialog, CCalendarMemoDlg::kIdNextYear);
    EXPECT_EQ(dialog.CurrentDate(), QDate(2025, 2, 28));
    EXPECT_EQ(day->count(), 28);
    EXPECT_EQ(day->currentText(), QStringLiteral("28"));

    month->setEditText(QStringLiteral("14"));
    emit month->lineEdit()->editingFinished();
    EXPECT_EQ(dialog.CurrentDate(), QDate(2025, 12, 28));
    EXPECT_EQ(month->currentText(), QStringLiteral("12"));
    day->setEditText(QStringLiteral("45"));
    emit day->lineEdit()->editingFinished();
    EXPECT_EQ(dialog.CurrentDate(), QDate(2025, 12, 31));
    year->setText(QStringLiteral("2023"));
    emit year->editingFinished();
    EXPECT_EQ(dialog.CurrentDate(), QDate(2023, 12, 31));
    EXPECT_EQ(Control<QDateEdit>(dialog, CCalendarMemoDlg::kIdDate)->date(), QDate(2023, 12, 31));
    Click(dialog, CCalendarMemoDlg::kIdPrevYear);
    EXPECT_EQ(dialog.CurrentDate(), QDate(2022, 12, 31));

    // Escape leaves the dialog open; Cancel closes it without writing.
    Note(dialog)->setPlainText(QStringLiteral("typed"));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
    EXPECT_TRUE(dialog.isVisible());
    Click(dialog, CCalendarMemoDlg::kIdCancel);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(std::filesystem::exists(CalendarMemoPath(m_folder, 2022)));
}

TEST_F(CalendarMemoDlgTest, FailedSaveSaysSoAndKeepsTheDialogWithItsEdits) {
    CCalendarMemoDlg dialog(m_folder, QDate(2026, 3, 1));
    dialog.show();
    Note(dialog)->setPlainText(QStringLiteral("do not lose me"));
    SetAtomicWriteHookForTesting(
        [](EAtomicWriteStep step, const std::string&) { return step != EAtomicWriteStep::Write; });
    Click(dialog, CCalendarMemoDlg::kIdOk);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(
        CMessageService::History()[0].text.contains(QStringLiteral("CalendarMemo2026.txt")));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.MemosChanged());
    EXPECT_EQ(Note(dialog)->toPlainText(), QStringLiteral("do not lose me"));
    EXPECT_FALSE(std::filesystem::exists(CalendarMemoPath(m_folder, 2026)));

    SetAtomicWriteHookForTesting({});
    Click(dialog, CCalendarMemoDlg::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.MemosChanged());
    ASSERT_EQ(Read(2026).size(), 1u);
    EXPECT_EQ(Read(2026)[0].text, QStringLiteral("do not lose me"));

    // A year file an editor saved as UTF-8 with a byte-order mark shows its notes; while it
    // cannot be read, OK says so and leaves it alone; once it can, both notes are written.
    const std::string path = CalendarMemoPath(m_folder, 2025);
    const std::string bom =
        "\xEF\xBB\xBF"
        "CalendarMemoFile\r\nVersion 1.00\r\n\r\n2025 {\r\n\t03 "
        "{\r\n\t\t01=院長不在\r\n\t}\r\n}\r\n";
    std::ofstream(path, std::ios::binary) << bom;
    CCalendarMemoDlg edit(m_folder, QDate(2025, 3, 1));
    edit.show();
    EXPECT_EQ(Note(edit)->toPlainText(), QStringLiteral("院長不在"));
    Click(edit, CCalendarMemoDlg::kIdNextDay);
    Note(edit)->setPlainText(QStringLiteral("午後休診"));
    SetCalendarMemoReadHookForTesting([](const std::string&) { return false; });
    CMessageService::ClearHistory();
    Click(edit, CCalendarMemoDlg::kIdOk);
    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(
        QStringLiteral("CalendarMemo2025.txt を読み込めなかったため")));
    EXPECT_TRUE(edit.isVisible());
    std::ifstream file(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), bom);

    SetCalendarMemoReadHookForTesting({});
    Click(edit, CCalendarMemoDlg::kIdOk);
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    const std::vector<CalendarMemo> notes = Read(2025);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].text, QStringLiteral("院長不在"));
    EXPECT_EQ(notes[1].text, QStringLiteral("午後休診"));
}

TEST_F(CalendarMemoDlgTest, ANoteWithACharacterTheFileLacksIsShownAndNothingIsWritten) {
    CCalendarMemoDlg dialog(m_folder, QDate(2026, 3, 1));
    dialog.show();
    const QString sushi = QString::fromUtf8("\xF0\x9F\x8D\xA3");
    Note(dialog)->setPlainText(QStringLiteral("昼は") + sushi);
    Click(dialog, CCalendarMemoDlg::kIdNextDay);
    Note(dialog)->setPlainText(QStringLiteral("髙橋先生 来院"));
    Click(dialog, CCalendarMemoDlg::kIdOk);

    ASSERT_EQ(CMessageService::History().size(), 1);
    EXPECT_TRUE(CMessageService::History()[0].text.contains(sushi));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Control<QDateEdit>(dialog, CCalendarMemoDlg::kIdDate)->date(), QDate(2026, 3, 1));
    EXPECT_EQ(Note(dialog)->toPlainText(), QStringLiteral("昼は") + sushi);
    EXPECT_FALSE(std::filesystem::exists(CalendarMemoPath(m_folder, 2026)));

    Note(dialog)->setPlainText(QStringLiteral("昼は寿司"));
    Click(dialog, CCalendarMemoDlg::kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(Read(2026).size(), 2u);
    EXPECT_EQ(Read(2026)[1].text, QStringLiteral("髙橋先生 来院"));
}

}  // namespace
}  // namespace velo::sheet

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
