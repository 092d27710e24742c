// The day grid of the appointment sheet: loading, layout, painting through an off-screen
// image, and the mouse rules (bar selection, range dragging with auto-scroll and the
// overlap rule, the hover balloon). The arithmetic lives in timegrid.h; this file only
// applies it to a widget.
#include "sheet/daysheetview.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kCellFrame = 0xAFAFAF;

int WeekdayOf(const std::string& yyyymmdd) {
    const QDate date = CDate::FromYmd(yyyymmdd.c_str());
    return date.isValid() ? date.dayOfWeek() % 7 : 0;
}

}  // namespace

std::vector<int> GreyedMenuCommands(const ReservationBar& bar) {
    std::vector<int> ids;
    if (bar.status != 0) {
        ids.insert(ids.end(), {kCmdReservationEdit, kCmdReservationDelete, kCmdReservationCancel,
                               kCmdReservationChange});
    } else {
        ids.push_back(kCmdReservationBilling);
    }
    if (bar.patientId.empty()) {
        ids.insert(ids.end(), {kCmdReservationCancel, kCmdReservationChange, kCmdReservationBilling,
                               kCmdReservationPatient});
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

CDaySheetView::CDaySheetView(CVeloDBSys* db, QWidget* parent) : CSheetGridView(db, parent) {
    setObjectName(QStringLiteral("1003"));
    m_date = CDate::ToYmd(CDate::Today());
}

CDaySheetView::~CDaySheetView() = default;

void CDaySheetView::SetDate(const std::string& yyyymmdd) { m_date = yyyymmdd; }

int CDaySheetView::Reload(bool keepScroll) {
    m_loading = true;
    ReadDisplaySettings();
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);
    const int weekday = WeekdayOf(m_date);
    m_dayHours = EffectiveOfficeHours(hours, weekday);
    m_config = MakeTimeGridConfig(m_settings, DayTimeRange(m_settings, hours, weekday, true));

    m_balloon.Hide();
    m_balloonBar = -1;
    m_range = Selection{};
    m_selectedBar = -1;
    m_dragging = false;
    m_data = DayData{};
    m_data.date = m_date;
    const int status = LoadDay(m_db, m_date, m_layoutMode, m_columns, false, &m_data);
    UpdateScrollBars();
    ResetScroll(keepScroll);
    LayoutBars();
    m_loading = false;
    viewport()->update();
    FinishLoad(m_data.failure);
    return status;
}

void CDaySheetView::UpdateScrollBars() {
    const QSize area = viewport()->size();
    const ScrollRanges ranges =
        DayScrollRanges(m_config, int(m_columns.size()), area.width(), area.height());
    horizontalScrollBar()->setPageStep(ranges.horizontal.page);
    horizontalScrollBar()->setRange(0, MaxScrollPos(ranges.horizontal));
    verticalScrollBar()->setPageStep(ranges.vertical.page);
    verticalScrollBar()->setRange(0, MaxScrollPos(ranges.vertical));
}

void CDaySheetView::LayoutBars() { m_barRects = BarRectsAt(Vs(), Hs()); }

std::vector<QRect> CDaySheetView::BarRectsAt(int vs, int hs) const {
    std::vector<QRect> rects(m_data.bars.size(), QRect());
    const int cells = CellCount(m_config);
    if (cells == 0) return rects;
    const int dayStart = HhmmToMinutes(m_config.start);
    const int dayEnd = HhmmToMinutes(m_config.end);
    for (size_t i = 0; i < m_data.bars.size(); ++i) {
        const ReservationBar& bar = m_data.bars[i];
        if (bar.column == kNoColumn || bar.column >= m_columns.size()) continue;
        const int start = HhmmToMinutes(bar.start);
        const int end = std::max(HhmmToMinutes(bar.end), start + 1);
        if (end <= dayStart || start >= dayEnd) continue;
        const int first = CellIndexContaining(m_config, bar.start);
        const int last = CellIndexContaining(m_config, MinutesToHhmm(end - 1));
        const GridRect top = DayCellRect(m_config, first, bar.column, vs, hs);
        const GridRect bottom = DayCellRect(m_config, last, bar.column, vs, hs);
        rects[i] = QRect(QPoint(top.left, top.top), QPoint(bottom.right - 1, bottom.bottom - 1));
    }
    return rects;
}

ScrollRanges CDaySheetView::FullScrollRanges() const {
    return DayScrollRanges(m_config, int(m_columns.size()), 0, 0);
}

void CDaySheetView::PaintForPrint(QPainter* painter, bool withBars) {
    const ScrollRanges full = FullScrollRanges();
    PaintOptions options;
    options.printing = true;
    options.bars = withBars;
    Paint(painter, QSize(full.horizontal.max, full.vertical.max), 0, 0, BarRectsAt(0, 0), options);
}

QRect CDaySheetView::BarRect(const std::string& reservationNo) const {
    for (size_t i = 0; i < m_data.bars.size() && i < m_barRects.size(); ++i) {
        if (m_data.bars[i].reservationNo == reservationNo) return m_barRects[i];
    }
    return QRect();
}

QRect CDaySheetView::CellRect(int time, int column) const {
    const int index = CellIndexOf(m_config, time);
    if (index < 0) return QRect();
    const GridRect r = DayCellRect(m_config, index, column, Vs(), Hs());
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

int CDaySheetView::BarAt(const QPoint& pos) const {
    if (pos.x() < kDayTimeColumnWidth || pos.y() < kHeaderHeight) return -1;
    // Later bars are painted over earlier ones, so the last one under the point wins.
    for (int i = int(m_barRects.size()) - 1; i >= 0; --i) {
        if (m_barRects[size_t(i)].contains(pos)) return i;
    }
    return -1;
}

std::vector<TimeBand> CDaySheetView::ColumnBands(int column) const {
    std::vector<TimeBand> bands;
    for (const ReservationBar& bar : m_data.bars) {
        if (bar.column == column) bands.push_back({bar.start, bar.end});
    }
    return bands;
}

std::string CDaySheetView::SelectedReservationNo() const {
    if (m_selectedBar < 0 || size_t(m_selectedBar) >= m_data.bars.size()) return std::string();
    return m_data.bars[size_t(m_selectedBar)].reservationNo;
}

const ReservationBar* CDaySheetView::SelectedBar() const {
    if (m_selectedBar < 0 || size_t(m_selectedBar) >= m_data.bars.size()) return nullptr;
    return &m_data.bars[size_t(m_selectedBar)];
}

void CDaySheetView::ClearSelection() {
    m_range = Selection{};
    m_selectedBar = -1;
    m_dragging = false;
    viewport()->update();
}

void CDaySheetView::SelectBar(int index) {
    m_range = Selection{};
    m_dragging = false;
    m_selectedBar = index;
    viewport()->update();
}

int CDaySheetView::BarIndexOf(const std::string& reservationNo) const {
    for (size_t i = 0; i < m_data.bars.size(); ++i) {
        if (m_data.bars[i].reservationNo == reservationNo) return int(i);
    }
    return -1;
}

bool CDaySheetView::ReselectBar(const std::string& reservationNo) {
    SelectBar(BarIndexOf(reservationNo));
    return m_selectedBar >= 0;
}

bool CDaySheetView::HighlightReservation(const std::string& reservationNo) {
    const int found = BarIndexOf(reservationNo);
    if (found < 0) {
        ClearSelection();
        return false;
    }
    SelectBar(found);
    const QRect rect = m_barRects[size_t(found)];
    if (!rect.isNull()) {
        const QSize area = viewport()->size();
        if (rect.left() < kDayTimeColumnWidth || rect.left() >= area.width()) {
            horizontalScrollBar()->setValue(Hs() + rect.left() - kDayTimeColumnWidth);
        }
        if (rect.top() < kHeaderHeight || rect.top() >= area.height()) {
            verticalScrollBar()->setValue(Vs() + rect.top() - kHeaderHeight);
        }
    }
    viewport()->update();
    return true;
}

void CDaySheetView::Render(QImage* image) {
    PrepareImage(image);
    QPainter painter(image);
    Paint(&painter, viewport()->size(), Vs(), Hs(), m_barRects, PaintOptions{});
}

void CDaySheetView::Paint(QPainter* painter, const QSize& area, int vs, int hs,
                          const std::vector<QRect>& barRects, const PaintOptions& options) {
    QPainter& p = *painter;
    const QPalette pal = palette();
    p.setRenderHint(QPainter::TextAntialiasing);
    const int cells = CellCount(m_config);
    const int columns = int(m_columns.size());
    const QColor offColour = CTools::ColorFromRef(m_settings.veloColorOff);
    // On paper the cell lines are black, so they survive the printer's greys.
    const QColor frame = options.printing ? QColor(Qt::black) : CTools::ColorFromRef(kCellFrame);

    // Time cells, with a stronger line at every full and half hour.
    for (int k = 0; k < cells; ++k) {
        const int t = CellTime(m_config, k);
        const bool closed = IsClosedCell(t, m_dayHours, m_data.dayOff);
        for (int j = 0; j < columns; ++j) {
            const GridRect r = DayCellRect(m_config, k, j, vs, hs);
            if (r.bottom < kHeaderHeight || r.top > area.height() ||
                r.right < kDayTimeColumnWidth || r.left > area.width()) {
                continue;
            }
            const QRect cell(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
            p.fillRect(cell, closed ? offColour : pal.color(QPalette::Base));
            p.setPen(frame);
            p.drawRect(cell);
        }
        if (t % 100 == 0 || t % 100 == 30) {
            const GridRect first = DayCellRect(m_config, k, 0, vs, hs);
            const GridRect last = DayCellRect(m_config, k, std::max(columns - 1, 0), vs, hs);
            p.setPen(QPen(t % 100 == 0 ? QColor(0x70, 0x70, 0x70) : QColor(0x98, 0x98, 0x98), 1));
            if (columns > 0) p.drawLine(first.left, first.top, last.right - 1, first.top);
        }
    }

    // The dragged range (never printed).
    if (!options.printing && !IsEmpty(m_range) && m_range.column < columns) {
        const int first = CellIndexContaining(m_config, m_range.start);
        const int last =
            CellIndexContaining(m_config, MinutesToHhmm(HhmmToMinutes(m_range.end) - 1));
        if (first >= 0 && last >= first) {
            const GridRect a = DayCellRect(m_config, first, m_range.column, vs, hs);
            const GridRect b = DayCellRect(m_config, last, m_range.column, vs, hs);
            const QRect rect(QPoint(a.left, a.top), QPoint(b.right - 1, b.bottom - 1));
            p.fillRect(rect, pal.color(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
            p.drawText(rect.adjusted(3, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop,
                       QString::fromStdString(
                           DaySelectionText(m_range.start, m_range.end, m_config.clock24)));
        }
    }

    // Bars, later ones over earlier ones; the book leaves them out.
    QFont barFont = font();
    barFont.setPixelSize(12);
    p.setFont(barFont);
    const size_t barCount = options.bars ? std::min(m_data.bars.size(), barRects.size()) : 0;
    for (size_t i = 0; i < barCount; ++i) {
        const QRect rect = barRects[i];
        if (rect.isNull()) continue;
        const ReservationBar& bar = m_data.bars[i];
        const bool came = bar.status == 1;
        QColor fill = CTools::ColorFromRef(bar.colour);
        if (bar.patientId.empty()) {
            fill = CTools::ColorFromRef(m_settings.veloColorDrConveni);
        } else if (came) {
            fill = pal.color(QPalette::Button);
        }
        p.fillRect(rect, fill);
        if (int(i) == m_selectedBar && !options.printing) {
            p.setPen(QPen(Qt::black, 2));
            p.drawRect(rect.adjusted(1, 1, -1, -1));
        } else {
            p.setPen(Qt::white);
            p.drawRect(rect);
        }
        p.setPen(came ? QColor(Qt::gray) : pal.color(QPalette::WindowText));
        p.drawText(rect.adjusted(3, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                   velo::sheet::BarText(bar.items, m_barItems, m_timeKana));
    }

    // Headings over the scrolled grid: the time column and the column names.
    const QColor headBack = options.printing ? QColor(Qt::white) : pal.color(QPalette::Window);
    const QColor headLine = frame;
    p.fillRect(QRect(0, 0, kDayTimeColumnWidth, area.height()), headBack);
    QFont labelFont = font();
    labelFont.setBold(true);
    labelFont.setPixelSize(12);
    p.setFont(labelFont);
    p.setPen(pal.color(QPalette::WindowText));
    for (const TimeLabel& label : DayTimeLabels(m_config)) {
        const int y = kHeaderHeight + label.cellIndex * m_config.cellPixels - vs;
        if (y < kHeaderHeight - 2 || y > area.height()) continue;
        p.drawText(QRect(0, y + 1, kDayTimeColumnWidth - 4, 14), Qt::AlignRight | Qt::AlignTop,
                   QString::fromUtf8(label.text.c_str()).trimmed());
    }
    p.setPen(headLine);
    p.drawLine(kDayTimeColumnWidth - 1, 0, kDayTimeColumnWidth - 1, area.height());

    p.fillRect(QRect(0, 0, area.width(), kHeaderHeight), headBack);
    QFont nameFont = font();
    nameFont.setBold(true);
    nameFont.setPixelSize(14);
    p.setFont(nameFont);
    p.setClipRect(QRect(kDayTimeColumnWidth, 0, area.width(), kHeaderHeight));
    for (int j = 0; j < columns; ++j) {
        const GridRect r = DayColumnRect(m_config, j, vs, hs);
        const QRect head(r.left, 0, r.right - r.left, kHeaderHeight);
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(head.adjusted(4, 0, -4, 0), Qt::AlignCenter, m_columns[size_t(j)].name);
        p.setPen(headLine);
        p.drawLine(head.right(), 4, head.right(), kHeaderHeight - 5);
    }
    p.setClipping(false);
    p.setPen(headLine);
    p.drawLine(0, kHeaderHeight - 1, area.width(), kHeaderHeight - 1);
}

void CDaySheetView::mousePressEvent(QMouseEvent* event) {
    m_balloon.Hide();
    m_balloonBar = -1;
    const QPoint pos = event->position().toPoint();
    const int barIndex = BarAt(pos);
    if (event->button() == Qt::RightButton) {
        if (barIndex >= 0) {
            SelectBar(barIndex);
            emit barSelected(QString::fromStdString(SelectedReservationNo()));
            emit contextMenuRequested(event->globalPosition().toPoint());
        } else {
            ClearSelection();
        }
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (barIndex >= 0) {
        SelectBar(barIndex);
        emit barSelected(QString::fromStdString(SelectedReservationNo()));
        return;
    }
    const QSize area = viewport()->size();
    const DayHit hit = DayHitTest(m_config, int(m_columns.size()), pos.x(), pos.y(), Vs(), Hs(),
                                  area.width(), area.height());
    m_selectedBar = -1;
    m_range = BeginSelection(m_config, hit.time, hit.column);
    m_dragging = !IsEmpty(m_range);
    if (m_dragging) emit rangeStarted();
    viewport()->update();
}

void CDaySheetView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!m_dragging || event->buttons() != Qt::LeftButton) {
        UpdateBalloon(pos);
        return;
    }
    const QSize area = viewport()->size();
    const ScrollRanges ranges =
        DayScrollRanges(m_config, int(m_columns.size()), area.width(), area.height());
    const int vs = DayAutoScroll(m_config, pos.y(), area.height(), Vs(), ranges.vertical);
    if (vs != Vs()) verticalScrollBar()->setValue(vs);
    const DayHit hit = DayHitTest(m_config, int(m_columns.size()), pos.x(), pos.y(), Vs(), Hs(),
                                  area.width(), area.height());
    if (hit.time < 0) return;
    const std::vector<TimeBand> bands = ColumnBands(m_range.column);
    const Selection next = StepDaySelection(m_config, m_range, hit.time, bands);
    if (next != m_range) {
        m_range = next;
        viewport()->update();
    }
}

void CDaySheetView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    if (IsComplete(m_range)) {
        const Selection chosen = m_range;
        emit rangeChosen(chosen.column, chosen.start, chosen.end, QString::fromStdString(m_date));
    }
    m_range = Selection{};
    viewport()->update();
}

void CDaySheetView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int barIndex = BarAt(event->position().toPoint());
    if (barIndex >= 0) {
        SelectBar(barIndex);
        emit barActivated(QString::fromStdString(SelectedReservationNo()));
    }
}

void CDaySheetView::UpdateBalloon(const QPoint& pos) {
    const int barIndex = BarAt(pos);
    if (barIndex < 0) {
        m_balloon.Hide();
        m_balloonBar = -1;
        return;
    }
    // The balloon text is rebuilt only when the pointer reaches another bar.
    if (barIndex == m_balloonBar && m_balloon.IsShown()) return;
    m_balloonBar = barIndex;
    const ReservationBar& bar = m_data.bars[size_t(barIndex)];
    m_balloon.Show(velo::sheet::BalloonText(bar.items, m_balloonItems, m_tipKana, m_freeTableNames),
                   viewport()->mapToGlobal(pos));
}

void CDaySheetView::leaveEvent(QEvent* event) {
    m_balloon.Hide();
    m_balloonBar = -1;
    QAbstractScrollArea::leaveEvent(event);
}

}  // namespace velo::sheet
