// CDaySheetView: the appointment sheet's day grid. One column per unit or doctor, time
// running downwards; the day's reservations are coloured bars over the time cells, closed
// cells are tinted, and the receptionist drags over free cells to choose a new booking's
// range. The view loads its data through LoadDay, paints through an off-screen image and
// reports what the user did by signals; the main window owns the dialogs and the day list.
#pragma once

#include <QPainter>
#include <QString>
#include <string>
#include <vector>

#include "sheet/sheetgridview.h"
#include "suite/text/officehour.h"

class CVeloDBSys;

namespace velo::sheet {

// Commands of the reservation menu that a bar's state greys out.
constexpr int kCmdReservationEdit = 1001;
constexpr int kCmdReservationDelete = 1002;
constexpr int kCmdReservationCancel = 1006;
constexpr int kCmdReservationChange = 1012;
constexpr int kCmdReservationBilling = 1542;
constexpr int kCmdReservationPatient = 1543;

// The menu commands to grey for a right-clicked bar, in ascending order: a came reservation
// cannot be edited, changed, cancelled or deleted; a booked one has no payment to take yet;
// a blocked-time entry (no patient) has no patient screen, payment, change or cancel, so
// only edit and delete stay.
std::vector<int> GreyedMenuCommands(const ReservationBar& bar);

class CDaySheetView final : public CSheetGridView {
    Q_OBJECT
public:
    explicit CDaySheetView(CVeloDBSys* db, QWidget* parent = nullptr);
    ~CDaySheetView() override;
    CDaySheetView(const CDaySheetView&) = delete;
    CDaySheetView& operator=(const CDaySheetView&) = delete;

    // The shown date, YYYYMMDD. Takes effect with the next Reload.
    void SetDate(const std::string& yyyymmdd);
    const std::string& Date() const { return m_date; }

    // Reads the shown date's office hours and reservations (see CSheetGridView::Reload).
    int Reload(bool keepScroll) override;

    const DayData& Data() const { return m_data; }
    bool IsLoading() const { return m_loading; }

    std::string SelectedReservationNo() const override;
    // The selected bar, nullptr when none.
    const ReservationBar* SelectedBar() const;
    void ClearSelection();
    // Selects the bar of a day-list row and scrolls it into view; false (selection cleared)
    // when no bar has that number.
    bool HighlightReservation(const std::string& reservationNo);

    // Client rectangle of a bar as last laid out (empty when it is not drawn).
    QRect BarRect(const std::string& reservationNo) const;
    // Client rectangle of the cell at `time` in `column` at the current scroll position.
    QRect CellRect(int time, int column) const;

    // The scroll extents of the whole grid, whatever the window's size.
    ScrollRanges FullScrollRanges() const;
    // Paints the whole grid unscrolled, in screen pixels from the origin, for paper: black
    // cell lines, no dragged range and no selection frame; the bars only when withBars.
    void PaintForPrint(QPainter* painter, bool withBars);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool ReselectBar(const std::string& reservationNo) override;
    void UpdateScrollBars() override;
    void Render(QImage* image) override;
    void LayoutBars() override;
    struct PaintOptions {
        bool printing = false;
        bool bars = true;
    };
    // The one drawing routine of the screen and of paper: `area` is the visible size and
    // vs/hs the scroll position the cells and bar rectangles were computed for.
    void Paint(QPainter* painter, const QSize& area, int vs, int hs,
               const std::vector<QRect>& barRects, const PaintOptions& options);
    int BarIndexOf(const std::string& reservationNo) const;
    std::vector<QRect> BarRectsAt(int vs, int hs) const;
    int BarAt(const QPoint& pos) const;
    std::vector<TimeBand> ColumnBands(int column) const;
    void SelectBar(int index);
    void UpdateBalloon(const QPoint& pos);

    std::string m_date;
    bool m_loading = false;
    DayData m_data;
    std::vector<QRect> m_barRects;  // parallel to m_data.bars, client coordinates
    VELOOFFICEHOURDATA m_dayHours{};
    int m_selectedBar = -1;
    int m_balloonBar = -1;
};

}  // namespace velo::sheet
