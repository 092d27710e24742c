// CReferenceView: the reservation reference's grid (template 1004). Consecutive days from
// the chosen date are stacked as blocks below a 30-pixel header, each block one row per
// column on the "すべて" tab or the tab's column alone; the day runs sideways in cells that
// share the width, so the whole day is always visible and only vertical scrolling is
// needed. The user presses and drags along one row of one day to choose a free band; the
// view reports it with its date. The numbers come from referencedata.h.
#pragma once

#include <QAbstractScrollArea>
#include <QDate>
#include <QString>
#include <vector>

#include "sheet/referencedata.h"
#include "sheet/sheetsettings.h"

class CVeloDBSys;

namespace velo::sheet {

class CReferenceView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 1004;

    explicit CReferenceView(QWidget* parent = nullptr);
    CReferenceView(const CReferenceView&) = delete;
    CReferenceView& operator=(const CReferenceView&) = delete;

    void SetDatabase(CVeloDBSys* db) { m_db = db; }
    // The grid settings and the clinic's office hours (raw, Sunday first).
    void SetSettings(const SheetSettings& settings, const VELOOFFICEHOUR& hours);
    // Columns, tab and the reservation not to show; takes effect on the next Reload.
    void SetRequest(const ReferenceRequest& request) { m_request = request; }
    void SetFirstDate(const QDate& date) { m_first = date; }

    // Works out the layout for the client size, loads the days and clears the band.
    // Returns 0 or the failing read's status (the view then shows what was read).
    int Reload();
    // The table file the last load could not read; "" after a load that read everything.
    const std::string& FailedTable() const { return m_failedTable; }

    const ReferenceLayout& Layout() const { return m_layout; }
    const std::vector<ReferenceDay>& Days() const { return m_days; }
    const ReferenceBand& Band() const { return m_band; }
    QDate FirstDate() const { return m_first; }
    // The text the view's tooltip shows ("" when hidden).
    const QString& TipText() const { return m_tip; }
    int ScrollPos() const;

    QSize sizeHint() const override { return QSize(640, 420); }

signals:
    // A band was chosen or changed: its day and HHMM start and end.
    void BandChosen(const QDate& date, int start, int end);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ReferenceLayout ComputeLayout() const;
    void UpdateScrollRange();
    void ShowTip(const QPoint& globalPos, const QString& text);
    void HideTip();
    QRectF BandRect() const;
    QRectF CellSpan(int day, int row, int firstCell, int lastCell) const;
    bool IsRedDay(const ReferenceDay& day) const;

    void PaintCells(QPainter& p) const;
    void PaintLabels(QPainter& p) const;
    void PaintBars(QPainter& p) const;
    void PaintHeader(QPainter& p) const;
    void PaintBand(QPainter& p) const;

    CVeloDBSys* m_db = nullptr;
    SheetSettings m_settings;
    VELOOFFICEHOUR m_hours{};
    ReferenceRequest m_request;
    QDate m_first;
    ReferenceLayout m_layout;
    std::vector<ReferenceDay> m_days;
    ReferenceBand m_band;
    QString m_tip;
    std::string m_failedTable;
};

}  // namespace velo::sheet
