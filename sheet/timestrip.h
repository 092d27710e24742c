// CTimeStrip: the reservation dialog's strip of one column's day (control 1031). It draws
// the day's cells from left to right with the hours above them, closed time in the closed
// colour, the column's other reservations as bars and the chosen band on top, and lets the
// user choose a band with the mouse: a press takes one cell, dragging either way widens the
// band to the cell under the pointer, and near the ends the strip asks to be scrolled.
// The horizontal offset comes from the dialog's scroll bar (1033).
#pragma once

#include <QColor>
#include <QWidget>
#include <utility>
#include <vector>

#include "sheet/bookingrules.h"
#include "sheet/timegrid.h"
#include "suite/text/officehour.h"

namespace velo::sheet {

// The band between a pressed cell and the cell under the pointer, in either order: the
// earlier cell time to the later one plus one cell (minutes carried into the hour, so the
// 09:45 cell ends at 10:00).
std::pair<int, int> BandBetweenCells(int pressedTime, int currentTime, int timeSpan);

// "%02d:%02d - %02d:%02d (%2d分)": the tip shown while a band is dragged.
QString DragTipText(int start, int end);

class CTimeStrip final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kControlId = 1031;
    static constexpr int kLabelHeight = 18;
    static constexpr int kCellHeight = 30;
    // Distance from either end inside which a drag scrolls the strip.
    static constexpr int kAutoScrollMargin = 12;

    explicit CTimeStrip(QWidget* parent = nullptr);
    CTimeStrip(const CTimeStrip&) = delete;
    CTimeStrip& operator=(const CTimeStrip&) = delete;

    // The day's cells (config normalised here), its effective hours and whether it is a
    // day off (then every cell shows closed).
    void SetDay(const TimeGridConfig& config, const VELOOFFICEHOURDATA& hours, bool dayOff,
                const QColor& closedColour);
    void SetItems(std::vector<StripItem> items);
    // The chosen band; 0, 0 for none.
    void SetBand(int start, int end);
    // Pixels scrolled off the left end.
    void SetOffset(int offset);

    const TimeGridConfig& Config() const { return m_config; }
    // Width of the whole day in pixels.
    int DayWidth() const;
    // The cell time under x (widget pixels, offset applied), clamped to the day; -1 for a
    // day without cells.
    int TimeAt(int x) const;
    // The left edge of the cell holding hhmm, in day pixels (no offset).
    int XOfTime(int hhmm) const;
    int BandStart() const { return m_bandStart; }
    int BandEnd() const { return m_bandEnd; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The user chose a band with the mouse.
    void BandChosen(int start, int end);
    // A drag near an end wants the strip scrolled by this many pixels.
    void ScrollRequested(int delta);
    // The strip's width changed (the scroll bar's range follows).
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void DragTo(int x, const QPoint& globalPos);
    const StripItem* ItemAt(int x) const;

    TimeGridConfig m_config;
    VELOOFFICEHOURDATA m_hours{};
    bool m_dayOff = false;
    QColor m_closedColour;
    std::vector<StripItem> m_items;
    int m_bandStart = 0;
    int m_bandEnd = 0;
    int m_offset = 0;
    int m_pressedTime = -1;
};

}  // namespace velo::sheet
