// CWeekSheetView: the appointment sheet's week grid. Seven day blocks stacked downwards
// from the week start, one row per unit or doctor in each block, time running to the
// right. Loads through LoadWeek, paints through an off-screen image, and turns mouse
// actions into a bar selection, a dragged range within one row of one day, and a change
// of the shown date; the main window owns the dialogs and fills its day list from Data().
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "sheet/daysheetview.h"
#include "sheet/displayitems.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"
#include "suite/text/officehour.h"

class CVeloDBSys;

namespace velo::sheet {

constexpr int kWeekDays = 7;

// The first day of the week holding `yyyymmdd`: the Sunday before it (calendarMode 0) or
// the Monday (any other mode). "" for an invalid date.
std::string WeekStartOf(const std::string& yyyymmdd, int calendarMode);

class CWeekSheetView final : public QAbstractScrollArea {
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

    // 0 one row per unit, 1 one per doctor: rebuilds the rows and reloads.
    void SetLayoutMode(int mode);
    int LayoutMode() const { return m_layoutMode; }

    // Re-reads the settings and the week's reservations; clears the selection. keepScroll
    // false scrolls back to the top left. Returns 0 or the first failing record status.
    int Reload(bool keepScroll);

    // The shown date's data (its list fills the day list); an empty day when the shown date
    // lies outside the week.
    const DayData& Data() const;
    const std::array<DayData, kWeekDays>& Week() const { return m_week; }
    const std::vector<ColumnEntity>& Columns() const { return m_columns; }
    const TimeGridConfig& Config() const { return m_config; }

    // The dragged range (column = row) and the block it lies in (-1 when none).
    const Selection& Range() const { return m_range; }
    int RangeDay() const { return m_rangeDay; }
    std::string SelectedReservationNo() const;
    const ReservationBar* SelectedBar() const { return Bar(m_selected); }
    void ClearSelection();

    QRect BarRect(const std::string& reservationNo) const;
    // Client rectangle of the cell at `time` in row `row` of block `day`.
    QRect CellRect(int day, int row, int time) const;
    QString BalloonText() const;
    QImage RenderImage();

signals:
    void rangeChosen(int column, int start, int end, const QString& date);
    void rangeStarted();
    // A button down in another day block made that block's date the shown date.
    void dateChanged(const QString& date);
    void barSelected(const QString& reservationNo);
    void barActivated(const QString& reservationNo);
    void contextMenuRequested(const QPoint& globalPos);
    void deleteRequested();
    void refreshRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct BarRef {
        int day = -1;
        int index = -1;
        bool operator==(const BarRef&) const = default;
    };

    void UpdateScrollBars();
    void Render(QImage* image);
    void LayoutBars();
    BarRef BarAt(const QPoint& pos) const;
    const ReservationBar* Bar(const BarRef& ref) const;
    std::vector<TimeBand> RowBands(int day, int row) const;
    void SelectBar(const BarRef& ref);
    void UpdateBalloon(const QPoint& pos);
    void ShowRangeTip(const QPoint& pos, bool dragging);
    int Vs() const;
    int Hs() const;

    CVeloDBSys* m_db;
    std::string m_date;
    std::string m_weekStart;
    int m_layoutMode = 0;
    std::vector<ColumnEntity> m_columns;
    std::array<DayData, kWeekDays> m_week;
    DayData m_outsideDay;  // Data() when the shown date is not in the week
    std::array<std::vector<QRect>, kWeekDays> m_barRects;
    std::array<VELOOFFICEHOURDATA, kWeekDays> m_dayHours{};
    std::array<bool, kWeekDays> m_noHours{};
    SheetSettings m_settings;
    TimeGridConfig m_config;
    DisplayItemTable m_barItems;
    DisplayItemTable m_balloonItems;
    QStringList m_freeTableNames;
    bool m_tipKana = false;
    bool m_timeKana = false;
    Selection m_range;
    int m_rangeDay = -1;
    BarRef m_selected;
    bool m_dragging = false;
    BarRef m_balloonBar;
    CSheetBalloon m_balloon;
    QImage m_image;
};

}  // namespace velo::sheet
