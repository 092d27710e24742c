// CWeekSheetView: the appointment sheet's week grid. Seven day blocks stacked downwards
// from the week start, one row per unit or doctor in each block, time running to the
// right. Loads through LoadWeek, paints through an off-screen image, and turns mouse
// actions into a bar selection, a dragged range within one row of one day, and a change
// of the shown date; the main window owns the dialogs and fills its day list from Data().
#pragma once

#include <QPainter>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "sheet/sheetgridview.h"
#include "suite/text/officehour.h"

class CVeloDBSys;

namespace velo::sheet {

constexpr int kWeekDays = 7;

// The first day of the week holding `yyyymmdd`: the Sunday before it (calendarMode 0) or
// the Monday (any other mode). "" for an invalid date.
std::string WeekStartOf(const std::string& yyyymmdd, int calendarMode);

class CWeekSheetView final : public CSheetGridView {
    Q_OBJECT
public:
    explicit CWeekSheetView(CVeloDBSys* db, QWidget* parent = nullptr);
    ~CWeekSheetView() override;
    CWeekSheetView(const CWeekSheetView&) = delete;
    CWeekSheetView& operator=(const CWeekSheetView&) = delete;

    // The shown date and the week start (YYYYMMDD); take effect with the next Reload. An
    // empty week start is derived from the date and the "CalendarMode" setting.
    void SetDates(const std::string& shownDate, const std::string& weekStart = std::string());
    const std::string& Date() const { return m_date; }
    const std::string& WeekStart() const { return m_weekStart; }

    // Reads the week's office hours and reservations (see CSheetGridView::Reload).
    int Reload(bool keepScroll) override;

    // The shown date's data (its list fills the day list); an empty day when the shown date
    // lies outside the week.
    const DayData& Data() const;
    const std::array<DayData, kWeekDays>& Week() const { return m_week; }

    // The block the dragged range (Range(), column = row) lies in (-1 when none).
    int RangeDay() const { return m_rangeDay; }
    std::string SelectedReservationNo() const override;
    const ReservationBar* SelectedBar() const { return Bar(m_selected); }
    void ClearSelection();

    QRect BarRect(const std::string& reservationNo) const;
    // Client rectangle of the cell at `time` in row `row` of block `day`.
    QRect CellRect(int day, int row, int time) const;

    // The reservations with a patient over the seven days.
    int WeekCount() const;
    // The scroll extents of the whole grid, whatever the window's size.
    ScrollRanges FullScrollRanges() const;
    // Paints the whole grid unscrolled, in screen pixels from the origin, for paper: black
    // cell lines, no dragged range and no selection frame; the bars only when withBars.
    void PaintForPrint(QPainter* painter, bool withBars);

signals:
    // A button down in another day block made that block's date the shown date.
    void dateChanged(const QString& date);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct BarRef {
        int day = -1;
        int index = -1;
        bool operator==(const BarRef&) const = default;
    };

    bool ReselectBar(const std::string& reservationNo) override;
    void UpdateScrollBars() override;
    void Render(QImage* image) override;
    void LayoutBars() override;
    using WeekBarRects = std::array<std::vector<QRect>, kWeekDays>;
    struct PaintOptions {
        bool printing = false;
        bool bars = true;
    };
    // The one drawing routine of the screen and of paper: `area` is the visible size and
    // vs/hs the scroll position the cells and bar rectangles were computed for.
    void Paint(QPainter* painter, const QSize& area, int vs, int hs, const WeekBarRects& barRects,
               const PaintOptions& options);
    WeekBarRects BarRectsAt(int vs, int hs) const;
    BarRef BarAt(const QPoint& pos) const;
    const ReservationBar* Bar(const BarRef& ref) const;
    std::vector<TimeBand> RowBands(int day, int row) const;
    void SelectBar(const BarRef& ref);
    void UpdateBalloon(const QPoint& pos);
    void ShowRangeTip(const QPoint& pos, bool dragging);

    std::string m_date;
    std::string m_weekStart;
    std::array<DayData, kWeekDays> m_week;
    DayData m_outsideDay;  // Data() when the shown date is not in the week
    WeekBarRects m_barRects;
    std::array<VELOOFFICEHOURDATA, kWeekDays> m_dayHours{};
    std::array<bool, kWeekDays> m_noHours{};
    int m_rangeDay = -1;
    BarRef m_selected;
    BarRef m_balloonBar;
};

}  // namespace velo::sheet
