// The reference grid: layout and load on every reload, painting in the order cells, labels,
// bars, header, band, and the band chosen by press and drag under the overlap rule.
#include "sheet/referenceview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "sheet/monthcalendar.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kCellFrame = 0xAFAFAF;
constexpr uint32_t kRedText = 0x0000FF;
constexpr uint32_t kDateText = 0x323232;
constexpr int kDateHeadingWidth = 90;

int WeekdayOf(const QDate& date) { return date.isValid() ? date.dayOfWeek() % 7 : 0; }

QString WeekdayName(const QDate& date) {
    const QStringList names = LoadString(kIdsReferenceWeekdays).split(u' ', Qt::SkipEmptyParts);
    const int weekday = WeekdayOf(date);
    return weekday < names.size() ? names[weekday] : QString();
}

QFont PixelFont(const QFont& base, int pixels, bool bold) {
    QFont f = base;
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

}  // namespace

CReferenceView::CReferenceView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QString::number(kTemplateId));
    RegisterReferenceStrings();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(kScrollLine);
    verticalScrollBar()->setPageStep(kScrollPage);
    viewport()->setMouseTracking(true);
    m_layout = ComputeLayout();
}

void CReferenceView::SetSettings(const SheetSettings& settings, const VELOOFFICEHOUR& hours) {
    m_settings = settings;
    m_hours = hours;
}

int CReferenceView::ScrollPos() const { return verticalScrollBar()->value(); }

ReferenceLayout CReferenceView::ComputeLayout() const {
    const int rows =
        m_request.tabColumn == kAllColumnsTab ? int(m_request.columns.size()) : 1;
    const DayRange range{m_settings.AppointStart(), m_settings.AppointEnd()};
    return MakeReferenceLayout(MakeTimeGridConfig(m_settings, range), rows,
                               viewport()->width(), viewport()->height());
}

int CReferenceView::Reload() {
    m_layout = ComputeLayout();
    m_band = ReferenceBand();
    HideTip();
    int status = 0;
    if (m_db != nullptr) {
        status = LoadReferenceDays(m_db, m_request, m_first, m_layout.days, &m_days,
                                   &m_failedTable);
        if (status != 0 && m_failedTable.empty()) m_failedTable = "RESERVATION.BTR";
    } else {
        m_days.clear();
        m_failedTable.clear();
    }
    UpdateScrollRange();
    viewport()->update();
    return status;
}

void CReferenceView::UpdateScrollRange() {
    const int content = kHeaderHeight + m_layout.days * m_layout.blockHeight + 1;
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
}

void CReferenceView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const int days = m_layout.days;
    m_layout = ComputeLayout();
    // More or fewer blocks fit: load them; otherwise only the cell width changed.
    if (m_layout.days != days && m_db != nullptr && m_first.isValid()) {
        Reload();
        return;
    }
    UpdateScrollRange();
    viewport()->update();
}

void CReferenceView::scrollContentsBy(int, int) { viewport()->update(); }

void CReferenceView::wheelEvent(QWheelEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::clamp(bar->value() - event->angleDelta().y(), bar->minimum(),
                             bar->maximum()));
    event->accept();
}

QRectF CReferenceView::CellSpan(int day, int row, int firstCell, int lastCell) const {
    const double left = m_layout.CellLeft(firstCell);
    const double right = m_layout.CellLeft(lastCell + 1);
    return QRectF(left, m_layout.RowTop(day, row, ScrollPos()), right - left, kReferenceRowHeight);
}

QRectF CReferenceView::BandRect() const {
    if (!m_band.IsChosen()) return QRectF();
    const Selection& s = m_band.selection;
    const int first = CellIndexContaining(m_layout.config, s.start);
    const int last = CellIndexContaining(m_layout.config,
                                         MinutesToHhmm(std::max(HhmmToMinutes(s.end) - 1, 0)));
    return CellSpan(m_band.day, s.column, first, std::max(first, last));
}

bool CReferenceView::IsRedDay(const ReferenceDay& day) const {
    if (day.dayOff) return true;
    const VELOOFFICEHOURDATA& raw = m_hours.Week[WeekdayOf(CDate::FromYmd(day.date.c_str()))];
    return raw.Open == 0 && raw.BreakStart == 0 && raw.BreakEnd == 0 && raw.Close == 0;
}

void CReferenceView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Window));
    p.save();
    p.setClipRect(QRect(0, kHeaderHeight, viewport()->width(), viewport()->height()));
    PaintCells(p);
    PaintLabels(p);
    PaintBars(p);
    PaintBand(p);
    p.restore();
    PaintHeader(p);
}

void CReferenceView::PaintCells(QPainter& p) const {
    const QColor closedColour = FromColorRef(m_settings.veloColorOff);
    const QColor open = palette().color(QPalette::Base);
    const QPen frame(FromColorRef(kCellFrame));
    const QPen hourLine(palette().color(QPalette::Dark));
    for (size_t d = 0; d < m_days.size(); ++d) {
        const ReferenceDay& day = m_days[d];
        const VELOOFFICEHOURDATA hours =
            EffectiveOfficeHours(m_hours, WeekdayOf(CDate::FromYmd(day.date.c_str())));
        for (int row = 0; row < m_layout.rowsPerBlock; ++row) {
            for (int c = 0; c < m_layout.cells; ++c) {
                const int t = ReferenceCellTime(m_layout.config, c);
                const bool closed = c == m_layout.cells - 1 || IsClosedCell(t, hours, day.dayOff);
                const QRectF cell = CellSpan(int(d), row, c, c);
                p.fillRect(cell, closed ? closedColour : open);
                p.setPen(frame);
                p.drawRect(cell);
            }
        }
    }
    // A line at every full and half hour through all blocks.
    const int bottom = m_layout.RowTop(int(m_days.size()), 0, ScrollPos());
    p.setPen(hourLine);
    for (int c = 0; c < m_layout.cells; ++c) {
        const int minute = ReferenceCellTime(m_layout.config, c) % 100;
        if (minute != 0 && minute != 30) continue;
        const double x = m_layout.CellLeft(c);
        p.drawLine(QPointF(x, kHeaderHeight), QPointF(x, bottom));
    }
}

void CReferenceView::PaintLabels(QPainter& p) const {
    const bool all = m_request.tabColumn == kAllColumnsTab;
    const int vs = ScrollPos();
    p.setFont(PixelFont(font(), 12, false));
    p.setPen(palette().color(QPalette::WindowText));
    for (size_t d = 0; d < m_days.size() && all; ++d) {
        for (int row = 0; row < m_layout.rowsPerBlock; ++row) {
            const QRect label(0, m_layout.RowTop(int(d), row, vs), kReferenceLabelWidth - 4,
                              kReferenceRowHeight);
            p.drawText(label, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("<%1>").arg(row + 1));
        }
    }
    p.setFont(PixelFont(font(), 12, true));
    for (size_t d = 0; d < m_days.size(); ++d) {
        const ReferenceDay& day = m_days[d];
        const QDate date = CDate::FromYmd(day.date.c_str());
        p.setPen(FromColorRef(IsRedDay(day) ? kRedText : kDateText));
        const QRect block(4, m_layout.RowTop(int(d), 0, vs), kReferenceLabelWidth - 4,
                          m_layout.blockHeight);
        const QString monthDay = date.toString(QStringLiteral("MM/dd"));
        if (all && m_layout.rowsPerBlock > 1) {
            p.drawText(QRect(block.left(), block.top() + 2, block.width(), 16),
                       Qt::AlignLeft | Qt::AlignVCenter, monthDay);
            p.drawText(QRect(block.left(), block.top() + 18, block.width(), 16),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("(%1)").arg(WeekdayName(date)));
        } else {
            p.drawText(QRect(block.left(), block.top(), block.width(), kReferenceRowHeight),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("%1 %2").arg(monthDay, WeekdayName(date)));
        }
    }
}

void CReferenceView::PaintBars(QPainter& p) const {
    const QPalette pal = palette();
    p.setFont(PixelFont(font(), 12, false));
    const int dayStart = HhmmToMinutes(m_layout.config.start);
    const int dayEnd = HhmmToMinutes(m_layout.config.end);
    for (size_t d = 0; d < m_days.size(); ++d) {
        for (const ReferenceBar& bar : m_days[d].bars) {
            const int start = HhmmToMinutes(bar.start);
            const int end = std::max(HhmmToMinutes(bar.end), start + 1);
            if (end <= dayStart || start >= dayEnd || bar.row >= m_layout.rowsPerBlock) continue;
            const int first = CellIndexContaining(m_layout.config, bar.start);
            const int last = CellIndexContaining(m_layout.config, MinutesToHhmm(end - 1));
            const QRectF rect = CellSpan(int(d), bar.row, first, std::max(first, last));
            p.fillRect(rect, bar.came ? pal.color(QPalette::Button) : FromColorRef(bar.colour));
            p.setPen(pal.color(QPalette::Shadow));
            p.drawRect(rect.adjusted(0, 0, -1, -1));
            p.setPen(pal.color(QPalette::Button));
            p.drawRect(rect.adjusted(1, 1, -2, -2));
            p.setPen(pal.color(QPalette::WindowText));
            p.drawText(rect.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignVCenter, bar.text);
        }
    }
}

void CReferenceView::PaintHeader(QPainter& p) const {
    const QPalette pal = palette();
    p.fillRect(QRect(0, 0, viewport()->width(), kHeaderHeight), pal.color(QPalette::Window));
    p.setPen(pal.color(QPalette::WindowText));
    p.setFont(PixelFont(font(), 14, true));
    p.drawText(QRect(0, 0, kDateHeadingWidth, kHeaderHeight), Qt::AlignCenter,
               LoadString(kIdsDateHeading));
    const QFont hourFont = PixelFont(font(), 12, true);
    const QFont minuteFont = PixelFont(font(), 10, false);
    for (int c = 0; c < m_layout.cells; ++c) {
        const int t = ReferenceCellTime(m_layout.config, c);
        const int minute = t % 100;
        if (minute != 0 && minute != 30) continue;
        const int x = int(std::lround(m_layout.CellLeft(c)));
        if (minute == 0) {
            p.setFont(hourFont);
            p.drawText(QRect(x + 1, 0, 40, 16), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::number(DisplayHour(t / 100, m_settings.clock24)));
        }
        p.setFont(minuteFont);
        p.drawText(QRect(x + 1, 16, 30, 14), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::asprintf("%02d", minute));
    }
    p.setPen(FromColorRef(kCellFrame));
    p.drawLine(0, kHeaderHeight - 1, viewport()->width(), kHeaderHeight - 1);
}

void CReferenceView::PaintBand(QPainter& p) const {
    if (!m_band.IsChosen()) return;
    const QRectF rect = BandRect();
    p.fillRect(rect, palette().color(QPalette::Highlight));
    p.setPen(palette().color(QPalette::HighlightedText));
    p.setFont(PixelFont(font(), 12, false));
    p.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
               ReferenceBandPaintText(m_band.selection.start, m_band.selection.end,
                                      m_settings.clock24));
}

void CReferenceView::ShowTip(const QPoint& globalPos, const QString& text) {
    m_tip = text;
    QToolTip::showText(globalPos, text, viewport());
}

void CReferenceView::HideTip() {
    if (m_tip.isEmpty()) return;
    m_tip.clear();
    QToolTip::hideText();
}

void CReferenceView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const ReferenceHit hit = ReferenceHitTest(m_layout, pos.x(), pos.y(), ScrollPos());
    if (!hit.Valid() || size_t(hit.day) >= m_days.size()) return;
    m_band = PressReferenceBand(m_layout, m_days[size_t(hit.day)], hit);
    viewport()->update();
    if (!m_band.IsChosen()) {
        HideTip();
        return;
    }
    const Selection& s = m_band.selection;
    ShowTip(event->globalPosition().toPoint(),
            QString::fromStdString(ListTimeText(s.start, s.end, true)));
    emit BandChosen(m_first.addDays(m_band.day), s.start, s.end);
}

void CReferenceView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
        if (!m_band.IsChosen() || size_t(m_band.day) >= m_days.size()) return;
        const ReferenceHit hit = ReferenceHitTest(m_layout, pos.x(), pos.y(), ScrollPos());
        const ReferenceBand next =
            DragReferenceBand(m_layout, m_band, m_days[size_t(m_band.day)], hit);
        if (next.selection == m_band.selection) return;
        m_band = next;
        viewport()->update();
        const Selection& s = m_band.selection;
        ShowTip(event->globalPosition().toPoint(),
                QString::fromStdString(WeekDragTipText(s.start, s.end, true)));
        emit BandChosen(m_first.addDays(m_band.day), s.start, s.end);
        return;
    }
    if (m_band.IsChosen() && BandRect().contains(event->position())) {
        const Selection& s = m_band.selection;
        ShowTip(event->globalPosition().toPoint(),
                QString::fromStdString(WeekDragTipText(s.start, s.end, true)));
    } else {
        HideTip();
    }
}

}  // namespace velo::sheet
