// The main sheet window's month calendar: six weeks of day cells under a title and the
// weekday names, each day filled with the colour of its reservation count, days off in
// red, the shown day and today marked, and a mark and tooltip on days with a calendar memo.
// The month's numbers (cells, counts, days off, memos) and the date movements of the
// sheet's buttons are plain functions and a plain struct, so they are tested without a
// window; CMonthCalendar and CCalendarLegend only draw them and report clicks.
#pragma once

#include <QColor>
#include <QDate>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "sheet/calendarmemo.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "suite/text/officehour.h"

class CVeloDBSys;
class QHBoxLayout;

namespace velo::sheet {

constexpr int kCalendarCells = 42;  // 6 weeks x 7 days
constexpr int kCalendarHeadingHeight = 50;
constexpr int kCalendarDayNumberHeight = 16;

// A colour reference 0x00BBGGRR as a QColor.
QColor FromColorRef(uint32_t colorRef);

// The weekday (0 Sunday .. 6 Saturday) of the calendar's first column: calendarMode taken
// modulo 7 (0 Sunday, 1 Monday, ...).
int FirstWeekday(int calendarMode);
// The weekday of a column (0..6) of a calendar whose first weekday is calendarMode's.
int ColumnWeekday(int calendarMode, int column);

// The cells of a month: day of the month, or 0 for an empty cell. The 1st sits in the
// column of its weekday counted from the first weekday. All zero for an invalid month.
std::array<int, kCalendarCells> BuildMonthCells(int year, int month, int calendarMode);

// The seven weekday names of the heading in column order, starting at the first weekday,
// so that each heading names the weekday of the days below it.
QStringList WeekdayHeadings(int calendarMode);
// "2024年 3月".
QString CalendarTitle(int year, int month);
// The legend's four texts for the bands the days are coloured by (reStatusMax).
QStringList LegendTexts(const SheetSettings& settings);

// The weekdays (0 Sunday .. 6 Saturday) whose four office-hour values are all zero.
std::array<bool, 7> ClosedWeekdays(const VELOOFFICEHOUR& hours);

// Everything the calendar draws for one month.
struct MonthCalendarData {
    int year = 0, month = 0;
    std::array<int, kCalendarCells> cells{};
    std::array<int, 32> counts{};          // index 1..31
    std::vector<std::string> daysOff;      // YYYYMMDD
    MonthMemos memos;                      // index 1..31
    std::array<bool, 7> closedWeekdays{};  // by weekday, Sunday first
    ReadFailure failure;                   // set when the counts could not be read

    bool IsDayOff(int day) const;
    // A day's number is drawn red when it is a day off or its weekday has no office hours.
    // The weekday is the day's own, not its grid column: with Monday first they differ.
    bool DayNumberIsRed(int day) const;
    bool HasMemo(int day) const { return day >= 1 && day <= 31 && !memos[size_t(day)].isEmpty(); }
};

// Builds a month: cells for calendarMode, days off from CDate::IsDayOff, the weekdays
// without office hours from the suite's office-hour table, counts from
// CountMonth when db is set, memos from the folder's memo file when memoFolder is not
// empty. Returns 0 or the status of a failed count (the counts are then zero and
// out->failure names the file).
int LoadMonthCalendar(CVeloDBSys* db, const std::string& memoFolder, int year, int month,
                      int calendarMode, MonthCalendarData* out);

// Geometry of the calendar inside a widget of the given size: cells of width / 7 and
// (height - heading) / 6, each rounded down.
QRect CalendarCellRect(const QSize& size, int cell);
// The cell under a point, or -1 (heading or outside).
int CalendarCellAt(const QSize& size, const QPoint& point);

// The sheet's shown date and the week view's first day, and how the date buttons move them.
struct SheetDates {
    QDate shown;
    QDate weekStart;
};

// The Sunday on or before the date.
QDate SundayOnOrBefore(const QDate& date);
// Previous or next month (delta -1 or +1, any delta works): day 1 of that month, which
// also becomes the week start.
SheetDates MoveMonth(const SheetDates& dates, int delta);
// A click on a day: shown date and week start become that day.
SheetDates PickDay(const QDate& day);
// The "今日" button: shown date and week start become today.
SheetDates GoToday(const QDate& today);
// "今週/当日": in the day view today, with the week start on the Sunday on or before it;
// in the week view shown date and week start are today.
SheetDates GoTodayInView(const QDate& today, bool weekView);
// The day/week steps and the 4, 6 and 8 weeks ahead buttons: in the day view the shown
// date moves by dayViewDays and the week start becomes the Sunday on or before it; in the
// week view the week start moves by weekViewDays and the shown date follows it.
SheetDates MoveDays(const SheetDates& dates, bool weekView, int dayViewDays, int weekViewDays);

// The month calendar. It draws the month of the shown date; SetShownDate rebuilds the data
// when the month changes, Reload always does.
class CMonthCalendar final : public QWidget {
    Q_OBJECT
public:
    explicit CMonthCalendar(QWidget* parent = nullptr);
    CMonthCalendar(const CMonthCalendar&) = delete;
    CMonthCalendar& operator=(const CMonthCalendar&) = delete;

    // Where counts and memos come from; memoFolder empty = the database's folder.
    void SetDatabase(CVeloDBSys* db, const std::string& memoFolder = std::string());
    void SetSettings(const SheetSettings& settings);
    void SetToday(const QDate& today);
    void SetShownDate(const QDate& shown);
    // Recounts and rereads the memos of the shown month; returns the count's status.
    int Reload();
    // Shows the month of `shown` and recounts it, whether or not the month changed.
    int Recount(const QDate& shown);

    const MonthCalendarData& Data() const { return m_data; }
    QDate ShownDate() const { return m_shown; }
    // The memo of the day under a point ("" when none), as the tooltip shows it.
    QString MemoAt(const QPoint& point) const;

    QSize sizeHint() const override { return QSize(266, 230); }

signals:
    void DayClicked(const QDate& day);
    void DayDoubleClicked(const QDate& day);
    // The month was counted again (Data().failure tells whether the count could be read).
    void loadFinished();
    // The clinic's closed or open days were changed from the day menu; the calendar has
    // reloaded itself, and whatever else shows days off should too.
    void DaysOffChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // A day's menu: the editor of the clinic's closed and open days, opened on that day.
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    QDate DayOfCell(int cell) const;

    CVeloDBSys* m_db = nullptr;
    std::string m_memoFolder;
    SheetSettings m_settings;
    QDate m_today;
    QDate m_shown;
    MonthCalendarData m_data;
};

// The four swatches and texts under the calendar.
class CCalendarLegend final : public QWidget {
    Q_OBJECT
public:
    explicit CCalendarLegend(QWidget* parent = nullptr);
    CCalendarLegend(const CCalendarLegend&) = delete;
    CCalendarLegend& operator=(const CCalendarLegend&) = delete;

    void SetSettings(const SheetSettings& settings);
    const QStringList& Texts() const { return m_texts; }

    QSize sizeHint() const override { return QSize(266, 4 * 18 + 4); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SheetSettings m_settings;
    QStringList m_texts;
};

// The control ids of a calendar's navigation row; the sheet and the reservation reference
// number them differently.
struct CalendarButtonIds {
    int prevMonth, today, nextMonth, fourWeeks, sixWeeks, eightWeeks;
};

// The row of navigation buttons above a month calendar (◀ 今日 ▶ 4週 6週 8週), each named
// by its id; a click runs onClick with the button's id.
QHBoxLayout* MakeCalendarButtons(QWidget* parent, const CalendarButtonIds& ids,
                                 const std::function<void(int id)>& onClick);

}  // namespace velo::sheet
