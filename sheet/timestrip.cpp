// The reservation dialog's time strip: painting and mouse band selection.
#include "sheet/timestrip.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "sheet/sheetsettings.h"

namespace velo::sheet {
namespace {

const QColor kOpenColour(0xFF, 0xFF, 0xFF);
const QColor kGridColour(0xC8, 0xCE, 0xD6);
const QColor kHourColour(0x8A, 0x94, 0xA3);
const QColor kBarColour(0x7F, 0xA7, 0xD9);
const QColor kBarBorder(0x3F, 0x6E, 0xA8);
const QColor kBlockedColour(0xB0, 0xB0, 0xB0);
const QColor kBandColour(0xF2, 0x8C, 0x28, 0x9C);
const QColor kBandBorder(0xC0, 0x5A, 0x00);
const QColor kLabelBackground(0xF4, 0xF6, 0xF9);

}  // namespace

std::pair<int, int> BandBetweenCells(int pressedTime, int currentTime, int timeSpan) {
    const int first = std::min(pressedTime, currentTime);
    const int last = std::max(pressedTime, currentTime);
    return {first, OneCellEnd(last, NormalizeTimeSpan(timeSpan))};
}

QString DragTipText(int start, int end) {
    return QString::asprintf("%02d:%02d - %02d:%02d (%2d分)", start / 100, start % 100, end / 100,
                             end % 100, SpanMinutes(end, start));
}

CTimeStrip::CTimeStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::number(kControlId));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_config = NormalizeConfig(m_config);
}

void CTimeStrip::SetDay(const TimeGridConfig& config, const VELOOFFICEHOURDATA& hours,
                        bool dayOff, const QColor& closedColour) {
    m_config = NormalizeConfig(config);
    m_hours = hours;
    m_dayOff = dayOff;
    m_closedColour = closedColour;
    update();
}

void CTimeStrip::SetItems(std::vector<StripItem> items) {
    m_items = std::move(items);
    update();
}

void CTimeStrip::SetBand(int start, int end) {
    m_bandStart = start;
    m_bandEnd = end;
    update();
}

void CTimeStrip::SetOffset(int offset) {
    m_offset = std::max(0, offset);
    update();
}

int CTimeStrip::DayWidth() const { return CellCount(m_config) * m_config.cellPixels; }

int CTimeStrip::TimeAt(int x) const {
    const int cells = CellCount(m_config);
    if (cells <= 0) return -1;
    const int index = std::clamp((x + m_offset) / m_config.cellPixels, 0, cells - 1);
    return CellTime(m_config, index);
}

int CTimeStrip::XOfTime(int hhmm) const {
    const int minutes = HhmmToMinutes(hhmm) - HhmmToMinutes(m_config.start);
    return minutes * m_config.cellPixels / m_config.timeSpan;
}

QSize CTimeStrip::sizeHint() const { return {600, kLabelHeight + kCellHeight + 1}; }
QSize CTimeStrip::minimumSizeHint() const { return {200, kLabelHeight + kCellHeight + 1}; }

const StripItem* CTimeStrip::ItemAt(int x) const {
    const int dayX = x + m_offset;
    for (const StripItem& item : m_items) {
        if (dayX >= XOfTime(item.start) && dayX < XOfTime(item.end)) return &item;
    }
    return nullptr;
}

void CTimeStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.fillRect(QRect(0, 0, width(), kLabelHeight), kLabelBackground);
    painter.save();
    painter.translate(-m_offset, 0);

    const int cells = CellCount(m_config);
    const int top = kLabelHeight;
    for (int k = 0; k < cells; ++k) {
        const int t = CellTime(m_config, k);
        const QRect cell(k * m_config.cellPixels, top, m_config.cellPixels, kCellHeight);
        painter.fillRect(cell, IsClosedCell(t, m_hours, m_dayOff) ? m_closedColour : kOpenColour);
        const bool fullHour = t % 100 == 0;
        painter.setPen(fullHour ? kHourColour : kGridColour);
        painter.drawLine(cell.topLeft(), cell.bottomLeft());
        if (fullHour) {
            painter.setPen(palette().color(QPalette::WindowText));
            const int hour = m_config.clock24 ? t / 100 : ((t / 100 + 11) % 12) + 1;
            painter.drawText(QRect(cell.left() + 2, 0, m_config.cellPixels * 2, kLabelHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, QString::asprintf("%d:00", hour));
        }
    }
    painter.setPen(kHourColour);
    painter.drawRect(QRect(0, top, DayWidth(), kCellHeight));

    for (const StripItem& item : m_items) {
        const QRect bar(XOfTime(item.start), top + 4, XOfTime(item.end) - XOfTime(item.start),
                        kCellHeight - 8);
        const bool blocked = item.tip.endsWith(QStringLiteral("予約不可設定"));
        painter.setPen(kBarBorder);
        painter.setBrush(blocked ? kBlockedColour : kBarColour);
        painter.drawRect(bar.adjusted(0, 0, -1, -1));
    }
    if (m_bandEnd > m_bandStart) {
        const QRect band(XOfTime(m_bandStart), top + 1,
                         XOfTime(m_bandEnd) - XOfTime(m_bandStart), kCellHeight - 1);
        painter.setPen(QPen(kBandBorder, 2));
        painter.setBrush(kBandColour);
        painter.drawRect(band.adjusted(1, 1, -1, -1));
    }
    painter.restore();
}

void CTimeStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const int x = event->position().toPoint().x();
    m_pressedTime = TimeAt(x);
    if (m_pressedTime < 0) return;
    DragTo(x, event->globalPosition().toPoint());
}

void CTimeStrip::mouseMoveEvent(QMouseEvent* event) {
    if (m_pressedTime < 0 || !(event->buttons() & Qt::LeftButton)) return;
    const int x = event->position().toPoint().x();
    if (x < kAutoScrollMargin)
        emit ScrollRequested(-m_config.cellPixels);
    else if (x > width() - kAutoScrollMargin)
        emit ScrollRequested(m_config.cellPixels);
    DragTo(std::clamp(x, 0, std::max(0, width() - 1)), event->globalPosition().toPoint());
}

void CTimeStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_pressedTime = -1;
    QWidget::mouseReleaseEvent(event);
}

void CTimeStrip::DragTo(int x, const QPoint& globalPos) {
    const int current = TimeAt(x);
    if (current < 0) return;
    const auto [start, end] = BandBetweenCells(m_pressedTime, current, m_config.timeSpan);
    SetBand(start, end);
    QToolTip::showText(globalPos, DragTipText(start, end), this);
    emit BandChosen(start, end);
}

void CTimeStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit Resized();
}

bool CTimeStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && m_pressedTime < 0) {
        auto* help = static_cast<QHelpEvent*>(event);
        const StripItem* item = ItemAt(help->pos().x());
        if (item != nullptr)
            QToolTip::showText(help->globalPos(), item->tip, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

}  // namespace velo::sheet
