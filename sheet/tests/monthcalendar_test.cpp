// Tests of the month calendar: the weeks' layout for either first weekday, headings and
// legend texts, the date movements of the sheet's buttons, and a month loaded from a
// database folder and drawn - band colours, memo tooltips and day clicks.
#include "sheet/monthcalendar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "suite/comdlg/clinicdaysdlg.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/testsupport/modal.h"
#include "suite/testsupport/testdatabase.h"
#include "suite/text/cp932.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

TEST(MonthCalendarLayoutTest, FirstOnASundayMovesWithTheFirstWeekday) {
    ASSERT_EQ(CDate::DayWeek(2024, 9, 1), 0);  // 1 September 2024 is a Sunday
    const auto monday = BuildMonthCells(2024, 9, 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(monday[size_t(i)], 0) << i;
    EXPECT_EQ(monday[6], 1);
    EXPECT_EQ(monday[7], 2);
    EXPECT_EQ(monday[35], 30);
    EXPECT_EQ(monday[36], 0);

    const auto sunday = BuildMonthCells(2024, 9, 0);
    EXPECT_EQ(sunday[0], 1);
    EXPECT_EQ(sunday[29], 30);
    EXPECT_EQ(sunday[30], 0);
    EXPECT_EQ(BuildMonthCells(2024, 9, 8), monday);  // taken modulo 7

    // February 2026 starts on a Sunday and fills exactly four weeks.
    const auto february = BuildMonthCells(2026, 2, 0);
    EXPECT_EQ(february[0], 1);
    EXPECT_EQ(february[27], 28);
    EXPECT_EQ(february[28], 0);
    for (int cell : BuildMonthCells(2024, 13, 0)) EXPECT_EQ(cell, 0);
}

TEST(MonthCalendarLayoutTest, MondayFirstPutsASundayFirstOfMarchInTheSeventhColumn) {
    ASSERT_EQ(CDate::DayWeek(2026, 3, 1), 0);
    const auto cells = BuildMonthCells(2026, 3, 1);
    EXPECT_EQ(cells[6], 1);
    EXPECT_EQ(cells[7], 2);
    EXPECT_EQ(WeekdayHeadings(1)[6], QStringLiteral("日"));
    EXPECT_EQ(cells[36], 31);  // Tuesday the 31st starts the sixth row
}

TEST(MonthCalendarLayoutTest, DayNumberColourFollowsTheDaysOwnWeekday) {
    VELOOFFICEHOUR hours{};
    for (int weekday = 1; weekday < 7; ++weekday) hours.Week[weekday] = {900, 1300, 1400, 1800};
    hours.Week[3] = {0, 0, 0, 0};    // Wednesday closed
    hours.Week[6] = {900, 0, 0, 0};  // one value set: open
    const auto closed = ClosedWeekdays(hours);
    EXPECT_EQ(closed, (std::array<bool, 7>{true, false, false, true, false, false, false}));

    // With Monday first, column 0 is Monday and column 6 Sunday.
    MonthCalendarData data;
    data.year = 2026;
    data.month = 3;
    data.cells = BuildMonthCells(2026, 3, 1);
    data.closedWeekdays = closed;
    EXPECT_TRUE(data.DayNumberIsRed(1));   // Sunday, column 6
    EXPECT_FALSE(data.DayNumberIsRed(2));  // Monday, column 0
    EXPECT_TRUE(data.DayNumberIsRed(4));   // Wednesday, column 2
    EXPECT_FALSE(data.DayNumberIsRed(5));  // Thursday, column 3
    EXPECT_FALSE(data.DayNumberIsRed(7));
    data.daysOff.push_back("20260305");
    EXPECT_TRUE(data.DayNumberIsRed(5));
}

TEST(MonthCalendarLayoutTest, HeadingsTitleAndLegendTexts) {
    EXPECT_EQ(WeekdayHeadings(0).join(u','), QStringLiteral("日,月,火,水,木,金,土"));
    EXPECT_EQ(WeekdayHeadings(1).join(u','), QStringLiteral("月,火,水,木,金,土,日"));
    EXPECT_EQ(CalendarTitle(2024, 3), QStringLiteral("2024年 3月"));
    EXPECT_EQ(CalendarTitle(2024, 12), QStringLiteral("2024年12月"));

    // Whatever the first weekday, each heading names the weekday of the days below it, and
    // the red heading is Sunday's column.
    const QStringList sundayFirst = WeekdayHeadings(0);
    for (int mode : {2, 3, 6, 8, -1}) {
        const auto cells = BuildMonthCells(2026, 3, mode);
        const QStringList headings = WeekdayHeadings(mode);
        ASSERT_EQ(headings.size(), 7) << mode;
        for (int i = 0; i < kCalendarCells; ++i) {
            if (cells[size_t(i)] == 0) continue;
            const int weekday = CDate::DayWeek(2026, 3, cells[size_t(i)]);
            EXPECT_EQ(headings[i % 7], sundayFirst[weekday]) << mode << " cell " << i;
            EXPECT_EQ(ColumnWeekday(mode, i % 7), weekday) << mode << " cell " << i;
        }
    }

    // The legend's bands are the bands the days are coloured by: its upper bounds are the
    // last counts of each colour, with the defaults and with stored thresholds alike.
    SheetSettings settings;
    EXPECT_EQ(LegendTexts(settings),
              QStringList({QStringLiteral(" 0 件から 10 まで"), QStringLiteral("11 件から 20 まで"),
                           QStringLiteral("21 件から 30 まで"), QStringLiteral("それ以上")}));
    EXPECT_EQ(CountBand(settings, 10), 0);
    EXPECT_EQ(CountBand(settings, 11), 1);
    settings.reStatusMax[0] = 4;
    settings.reStatusMax[1] = 8;
    settings.reStatusMax[2] = 15;
    CCalendarLegend legend;
    legend.SetSettings(settings);
    EXPECT_EQ(legend.Texts()[1], QStringLiteral("5 件から 8 まで"));
    EXPECT_EQ(legend.Texts()[2], QStringLiteral("9 件から 15 まで"));
    EXPECT_EQ(CountBand(settings, 8), 1);
    EXPECT_EQ(CountBand(settings, 9), 2);
}

TEST(MonthCalendarLayoutTest, CellGeometryRoundsEachEdgeDown) {
    const QSize size(270, 235);  // cells of 38 x 30
    EXPECT_EQ(CalendarCellRect(size, 0), QRect(0, 50, 38, 30));
    EXPECT_EQ(CalendarCellRect(size, 41), QRect(6 * 38, 50 + 5 * 30, 38, 30));
    EXPECT_EQ(CalendarCellAt(size, QPoint(5, 49)), -1);
    EXPECT_EQ(CalendarCellAt(size, QPoint(5, 50)), 0);
    EXPECT_EQ(CalendarCellAt(size, QPoint(3 * 38 + 1, 50 + 2 * 30 + 29)), 17);
    EXPECT_EQ(CalendarCellAt(size, QPoint(7 * 38, 60)), -1);  // the leftover strip
    EXPECT_EQ(CalendarCellAt(size, QPoint(10, 50 + 6 * 30)), -1);
}

TEST(SheetDatesTest, ButtonsMoveShownDateAndWeekStart) {
    const QDate thursday(2024, 3, 28);
    SheetDates week = MoveDays({thursday, thursday}, true, 1, 7);
    EXPECT_EQ(week.weekStart, QDate(2024, 4, 4));
    EXPECT_EQ(week.shown, QDate(2024, 4, 4));
    week = MoveDays(week, true, -1, -7);
    EXPECT_EQ(week.weekStart, thursday);

    const SheetDates day = MoveDays({thursday, QDate(2024, 3, 24)}, false, 4, 28);
    EXPECT_EQ(day.shown, QDate(2024, 4, 1));
    EXPECT_EQ(day.weekStart, QDate(2024, 3, 31));  // the Sunday on or before
    EXPECT_EQ(MoveDays({thursday, thursday}, false, 56, 56).shown, QDate(2024, 5, 23));

    EXPECT_EQ(SundayOnOrBefore(QDate(2024, 3, 31)), QDate(2024, 3, 31));
    EXPECT_EQ(SundayOnOrBefore(QDate(2024, 3, 30)), QDate(2024, 3, 24));

    const SheetDates december = MoveMonth({QDate(2024, 12, 17), QDate(2024, 12, 15)}, 1);
    EXPECT_EQ(december.shown, QDate(2025, 1, 1));
    EXPECT_EQ(december.weekStart, QDate(2025, 1, 1));
    EXPECT_EQ(MoveMonth({QDate(2025, 1, 31), QDate()}, -1).shown, QDate(2024, 12, 1));

    const QDate today(2024, 3, 28);
    EXPECT_EQ(GoTodayInView(today, false).weekStart, QDate(2024, 3, 24));
    EXPECT_EQ(GoTodayInView(today, true).weekStart, today);
    EXPECT_EQ(GoToday(today).weekStart, today);
    EXPECT_EQ(PickDay(QDate(2024, 3, 3)).weekStart, QDate(2024, 3, 3));
}

class MonthCalendarDbTest : public DbFolderTest {
protected:
    // Chooses the item at `row` of the next context menu that pops up, by the keyboard.
    static void ChooseFromNextMenu(int row) {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [timer, row] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr || !menu->isVisible()) return;
            timer->stop();
            timer->deleteLater();
            for (int i = 0; i <= row; ++i) QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        timer->start();
    }

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DbFolderTest::SetUp());
        CPatientDB patients;
        ASSERT_EQ(patients.Open(m_folder), 0);
        patients.ClearData();
        SetField(patients.m_Data.PatientID, "0000000001");
        ASSERT_EQ(patients.Insert(), 0);
    }

    void AddMany(const char* date, int n, uint8_t status = 0) {
        CReservationDB table;
        ASSERT_EQ(table.Open(m_folder), 0);
        for (int i = 0; i < n; ++i) {
            table.ClearData();
            char no[16];
            std::snprintf(no, sizeof no, "%010d", ++m_next);
            SetField(table.m_Data.ReservationNo, no);
            SetField(table.m_Data.PatientID, "0000000001");
            SetField(table.m_Data.ResDate, date);
            SetField(table.m_Data.StartTime, "0900");
            SetField(table.m_Data.EndTime, "0930");
            table.m_Data.Status = status;
            ASSERT_EQ(table.Insert(), 0);
        }
    }

    void WriteMemo(const std::string& body) {
        std::ofstream file(CalendarMemoPath(m_folder, 2026), std::ios::binary);
        file << "CalendarMemoFile\r\nVersion 1.00\r\n\r\n"
             << QStringToCp932(QString::fromStdString(body));
    }

    static QColor FillAt(const QImage& image, const QRect& cell) {
        return image.pixelColor(cell.right() - 3, cell.bottom() - 3);
    }

    int m_next = 0;
};

TEST_F(MonthCalendarDbTest, DaysAreFilledByTheirCountBand) {
    AddMany("20261210", 10);
    AddMany("20261211", 11);
    AddMany("20261211", 3, 2);  // cancelled: not counted
    AddMany("20261212", 31);

    MonthCalendarData data;
    ASSERT_EQ(LoadMonthCalendar(&m_db, "", 2026, 12, 0, &data), 0);
    EXPECT_EQ(data.counts[10], 10);
    EXPECT_EQ(data.counts[11], 11);
    EXPECT_EQ(data.counts[12], 31);

    CMonthCalendar calendar;
    calendar.resize(270, 235);
    calendar.SetDatabase(&m_db);
    calendar.SetToday(QDate(2026, 12, 1));
    calendar.SetShownDate(QDate(2026, 12, 2));
    ASSERT_EQ(calendar.Data().counts[11], 11);
    const QImage image = calendar.grab().toImage();
    auto cellOf = [&](int day) {
        for (int i = 0; i < kCalendarCells; ++i)
            if (calendar.Data().cells[size_t(i)] == day)
                return CalendarCellRect(calendar.size(), i);
        return QRect();
    };
    EXPECT_EQ(FillAt(image, cellOf(10)), QColor(255, 255, 255));
    EXPECT_EQ(FillAt(image, cellOf(11)), QColor(255, 255, 0));
    EXPECT_EQ(FillAt(image, cellOf(12)), QColor(255, 0, 0));
    // The shown day's strip is red, today's green.
    const QRect shown = cellOf(2);
    EXPECT_EQ(image.pixelColor(shown.right() - 4, shown.top() + 4), QColor(255, 0, 0));
    const QRect today = cellOf(1);
    EXPECT_EQ(image.pixelColor(today.right() - 4, today.top() + 4), QColor(0, 0x96, 0));
}

TEST_F(MonthCalendarDbTest, MemoDaysShowTheirNoteAndClicksPickTheDay) {
    WriteMemo("2026 {\r\n\t12 {\r\n\t\t24=午後休診<BR>技工所集荷\r\n\t}\r\n}\r\n");
    CMonthCalendar calendar;
    calendar.resize(270, 235);
    calendar.SetDatabase(&m_db);
    calendar.SetShownDate(QDate(2026, 12, 1));
    ASSERT_TRUE(calendar.Data().HasMemo(24));
    EXPECT_FALSE(calendar.Data().HasMemo(23));
    // 1 December 2026 is a Tuesday: the 24th is cell 2 + 23.
    const QPoint on24 = CalendarCellRect(calendar.size(), 25).center();
    EXPECT_EQ(calendar.MemoAt(on24), QStringLiteral("午後休診\n技工所集荷"));
    EXPECT_TRUE(calendar.MemoAt(CalendarCellRect(calendar.size(), 24).center()).isEmpty());
    EXPECT_TRUE(calendar.MemoAt(CalendarCellRect(calendar.size(), 0).center()).isEmpty());

    QDate clicked;
    QObject::connect(&calendar, &CMonthCalendar::DayClicked, [&](const QDate& d) { clicked = d; });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(on24), QPointF(calendar.mapToGlobal(on24)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&calendar, &press);
    EXPECT_EQ(clicked, QDate(2026, 12, 24));
    EXPECT_EQ(calendar.ShownDate(), QDate(2026, 12, 24));

    clicked = QDate();
    const QPoint empty = CalendarCellRect(calendar.size(), 0).center();
    QMouseEvent onEmpty(QEvent::MouseButtonPress, QPointF(empty),
                        QPointF(calendar.mapToGlobal(empty)), Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&calendar, &onEmpty);
    EXPECT_FALSE(clicked.isValid());

    // Moving to another month reloads: January has no memos.
    calendar.SetShownDate(QDate(2027, 1, 5));
    EXPECT_EQ(calendar.Data().month, 1);
    EXPECT_FALSE(calendar.Data().HasMemo(24));
}

TEST_F(MonthCalendarDbTest, NationalHolidaysAreDaysOffUnlessTheClinicOpensThem) {
    MonthCalendarData data;
    ASSERT_EQ(LoadMonthCalendar(&m_db, "", 2026, 1, 0, &data), 0);
    EXPECT_TRUE(data.IsDayOff(1));  // New Year's Day
    EXPECT_EQ(data.year, 2026);

    // A right click on 成人の日 (Monday 12 January) opens the clinic days editor from the
    // day's menu; marking the day open there makes it a working day of the calendar.
    VELOOFFICEHOUR hours{};
    for (int weekday = 1; weekday <= 6; ++weekday) hours.Week[weekday] = {900, 1300, 1400, 1800};
    ASSERT_TRUE(CGlobalSettings::SetOfficeHours(hours));
    CMonthCalendar calendar;
    calendar.resize(270, 235);
    calendar.SetDatabase(&m_db);
    calendar.SetShownDate(QDate(2026, 1, 5));
    calendar.show();
    ASSERT_TRUE(calendar.Data().IsDayOff(12));
    int changes = 0;
    QObject::connect(&calendar, &CMonthCalendar::DaysOffChanged, [&] { ++changes; });
    ChooseFromNextMenu(0);
    OnModal([](QDialog* editor) {
        auto* open = editor->findChild<QWidget*>(QString::number(CClinicDaysDlg::kIdOpen));
        ASSERT_NE(open, nullptr);
        QTest::mouseClick(open, Qt::LeftButton, {}, QPoint(8, open->height() / 2));
        QTest::mouseClick(editor->findChild<QWidget*>(QString::number(CClinicDaysDlg::kIdOk)),
                          Qt::LeftButton);
    });
    // 1 January 2026 is a Thursday: the 12th is cell 4 + 11.
    const QPoint on12 = CalendarCellRect(calendar.size(), 15).center();
    QTest::mouseClick(calendar.windowHandle(), Qt::RightButton, {}, on12);
    EXPECT_EQ(CGlobalSettings::GetClinicDay(2026, 1, 12), CGlobalSettings::kClinicDayOpen);
    EXPECT_FALSE(calendar.Data().IsDayOff(12));
    EXPECT_FALSE(calendar.Data().DayNumberIsRed(12));
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace velo::sheet

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
