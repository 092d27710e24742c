// CDaySheetView: the appointment sheet's day grid. One column per unit or doctor, time
// running downwards; the day's reservations are coloured bars over the time cells, closed
// cells are tinted, and the receptionist drags over free cells to choose a new booking's
// range. The view loads its data through LoadDay, paints through an off-screen image and
// reports what the user did by signals; the main window owns the dialogs and the day list.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QString>
#include <string>
#include <vector>

#include "sheet/displayitems.h"
#include "sheet/sheetdata.h"
#include "sheet/sheetsettings.h"
#include "sheet/timegrid.h"
#include "suite/text/officehour.h"

class CVeloDBSys;
class QLabel;
class QTimer;

namespace velo::sheet {

// Commands of the reservation menu that a bar's state greys out.
constexpr int kCmdReservationEdit = 1001;
constexpr int kCmdReservationDelete = 1002;
constexpr int kCmdReservationCancel = 1006;
constexpr int kCmdReservationChange = 1012;
constexpr int kCmdReservationNotCame = 1542;
constexpr int kCmdReservationCame = 1543;

// The menu commands to grey for a right-clicked bar, in ascending order: a came reservation
// cannot be edited, changed, cancelled or deleted; a booked one cannot be set back to not
// come; a blocked-time entry (no patient) has no visit to mark and no change or cancel, so
// only edit and delete stay.
std::vector<int> GreyedMenuCommands(const ReservationBar& bar);

// The hover balloon (and the week view's drag tip): a plain tooltip window in a fixed-pitch
// Japanese font so the padded item labels line up, at most 800 pixels wide.
class CSheetBalloon final {
public:
    explicit CSheetBalloon(QWidget* owner);
    ~CSheetBalloon();
    CSheetBalloon(const CSheetBalloon&) = delete;
    CSheetBalloon& operator=(const CSheetBalloon&) = delete;

    void Show(const QString& text, const QPoint& globalPos);
    void Hide();
    bool IsShown() const;
    QString Text() const;

private:
    QLabel* m_label;
    QTimer* m_hideTimer;
};

class CDaySheetView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CDaySheetView(CVeloDBSys* db, QWidget* parent = nullptr);
    ~CDaySheetView() override;
    CDaySheetView(const CDaySheetView&) = delete;
    CDaySheetView& operator=(const CDaySheetView&) = delete;

    // The shown date, YYYYMMDD. Takes effect with the next Reload.
    void SetDate(const std::string& yyyymmdd);
    const std::string& Date() const { return m_date; }

    // 0 one column per unit, 1 one per doctor: rebuilds the columns and reloads.
    void SetLayoutMode(int mode);
    int LayoutMode() const { return m_layoutMode; }

    // Re-reads the settings, office hours and the shown date's reservations, clears the
    // selection and hides the balloon. keepScroll false scrolls back to the top left.
    // Returns 0 or the failing record status (the grid then shows what was read).
    int Reload(bool keepScroll);

    const DayData& Data() const { return m_data; }
    const std::vector<ColumnEntity>& Columns() const { return m_columns; }
    const TimeGridConfig& Config() const { return m_config; }
    bool IsLoading() const { return m_loading; }

    // The dragged range (empty when a bar is selected or nothing is).
    const Selection& Range() const { return m_range; }
    // The selected bar's reservation number, "" when none.
    std::string SelectedReservationNo() const;
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
    // The balloon's current text ("" when hidden).
    QString BalloonText() const;

    // Paints the current client area into an image, exactly as the screen shows it.
    QImage RenderImage();

signals:
    // A completed drag over free cells: column index into Columns(), HHMM start and end,
    // the date YYYYMMDD. The range is cleared after the signal returns.
    void rangeChosen(int column, int start, int end, const QString& date);
    // A range was started: the main window clears its list selection.
    void rangeStarted();
    void barSelected(const QString& reservationNo);
    void barActivated(const QString& reservationNo);
    // Right click on a bar (after selecting it): the reservation menu at a global position.
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
    void UpdateScrollBars();
    void Render(QImage* image);
    void LayoutBars();
    int BarAt(const QPoint& pos) const;
    std::vector<TimeBand> ColumnBands(int column) const;
    void SelectBar(int index);
    void UpdateBalloon(const QPoint& pos);
    int Vs() const;
    int Hs() const;

    CVeloDBSys* m_db;
    std::string m_date;
    int m_layoutMode = 0;
    bool m_loading = false;
    std::vector<ColumnEntity> m_columns;
    DayData m_data;
    std::vector<QRect> m_barRects;  // parallel to m_data.bars, client coordinates
    SheetSettings m_settings;
    VELOOFFICEHOURDATA m_dayHours{};
    TimeGridConfig m_config;
    DisplayItemTable m_barItems;
    DisplayItemTable m_balloonItems;
    QStringList m_freeTableNames;
    bool m_tipKana = false;
    bool m_timeKana = false;
    Selection m_range;
    int m_selectedBar = -1;
    bool m_dragging = false;
    int m_balloonBar = -1;
    CSheetBalloon m_balloon;
    QImage m_image;
};

}  // namespace velo::sheet
