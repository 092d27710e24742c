// The week grid of the appointment sheet: seven day blocks of unit or doctor rows with time
// running sideways. Loading, layout, painting through an off-screen image, bar selection,
// range dragging along the time axis with sideways auto-scroll, and the change of the
// shown date by a click in another day block. The arithmetic lives in timegrid.h.
#include "sheet/weeksheetview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "suite/comdlg/velocomdlg.h"
#include "suite/text/globalsettings.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kCellFrame = 0xAFAFAF;
constexpr uint32_t kHolidayText = 0x0000FF;
constexpr uint32_t kDateText = 0x323232;
constexpr const char* kWeekdayNames[kWeekDays] = {"日", "月", "火", "水", "木", "金", "土"};
// Width of the date part of the label column; the row names take the rest.
constexpr int kDateLabelWidth = 54;

int WeekdayOf(const QDate& date) { return date.isValid() ? date.dayOfWeek() % 7 : 0; }

}  // namespace

std::string WeekStartOf(const std::string& yyyymmdd, int calendarMode) {
    const QDate date = CDate::FromYmd(yyyymmdd.c_str());
    if (!date.isValid()) return std::string();
    const int firstWeekday = calendarMode == 0 ? 0 : 1;
    const int back = (WeekdayOf(date) - firstWeekday + kWeekDays) % kWeekDays;
    return CDate::ToYmd(date.addDays(-back));
}

CWeekSheetView::CWeekSheetView(CVeloDBSys* db, QWidget* parent) : CSheetGridView(db, parent) {
    setObjectName(QStringLiteral("1008"));
    m_date = CDate::ToYmd(CDate::Today());
}

CWeekSheetView::~CWeekSheetView() = default;

void CWeekSheetView::SetDates(const std::string& shownDate, const std::string& weekStart) {
    m_date = shownDate;
    m_weekStart = weekStart;
}

int CWeekSheetView::Reload(bool keepScroll) {
    ReadDisplaySettings();
    if (m_weekStart.empty()) m_weekStart = WeekStartOf(m_date, m_settings.calendarMode);
    VELOOFFICEHOUR hours{};
    CGlobalSettings::GetOfficeHours(&hours);
    const QDate first = CDate::FromYmd(m_weekStart.c_str());
    for (int d = 0; d < kWeekDays; ++d) {
        const int weekday = WeekdayOf(first.addDays(d));
        const VELOOFFICEHOURDATA& raw = hours.Week[weekday];
        m_noHours[size_t(d)] =
            raw.Open == 0 && raw.BreakStart == 0 && raw.BreakEnd == 0 && raw.Close == 0;
        m_dayHours[size_t(d)] = EffectiveOfficeHours(hours, weekday);
    }
    m_config = MakeTimeGridConfig(m_settings, DayTimeRange(m_settings, hours, 0, false));

    m_balloon.Hide();
    m_balloonBar = BarRef{};
    ClearSelection();
    for (DayData& day : m_week) day = DayData{};
    const int status = LoadWeek(m_db, m_weekStart, m_layoutMode, m_columns, &m_week);
    m_outsideDay = DayData{};
    m_outsideDay.date = m_date;
    UpdateScrollBars();
    ResetScroll(keepScroll);
    LayoutBars();
    viewport()->update();
    ReadFailure failure;
    for (const DayData& day : m_week) {
        if (day.failure.Failed()) {
            failure = day.failure;
            break;
        }
    }
    FinishLoad(failure);
    return status;
}

const DayData& CWeekSheetView::Data() const {
    for (const DayData& day : m_week) {
        if (day.date == m_date) return day;
    }
    return m_outsideDay;
}

void CWeekSheetView::UpdateScrollBars() {
    const QSize area = viewport()->size();
    const ScrollRanges ranges =
        WeekScrollRanges(m_config, int(m_columns.size()), area.width(), area.height());
    horizontalScrollBar()->setPageStep(ranges.horizontal.page);
    horizontalScrollBar()->setRange(0, MaxScrollPos(ranges.horizontal));
    verticalScrollBar()->setPageStep(ranges.vertical.page);
    verticalScrollBar()->setRange(0, MaxScrollPos(ranges.vertical));
}

void CWeekSheetView::LayoutBars() { m_barRects = BarRectsAt(Vs(), Hs()); }

CWeekSheetView::WeekBarRects CWeekSheetView::BarRectsAt(int vs, int hs) const {
    WeekBarRects all;
    const int rows = int(m_columns.size());
    const int cells = CellCount(m_config);
    const int dayStart = HhmmToMinutes(m_config.start);
    const int dayEnd = HhmmToMinutes(m_config.end);
    for (int d = 0; d < kWeekDays; ++d) {
        const std::vector<ReservationBar>& bars = m_week[size_t(d)].bars;
        std::vector<QRect>& rects = all[size_t(d)];
        rects.assign(bars.size(), QRect());
        if (cells == 0) continue;
        for (size_t i = 0; i < bars.size(); ++i) {
            const ReservationBar& bar = bars[i];
            if (bar.column == kNoColumn || bar.column >= rows) continue;
            const int start = HhmmToMinutes(bar.start);
            const int end = std::max(HhmmToMinutes(bar.end), start + 1);
            if (end <= dayStart || start >= dayEnd) continue;
            const int firstCell = CellIndexContaining(m_config, bar.start);
            const int lastCell = CellIndexContaining(m_config, MinutesToHhmm(end - 1));
            const GridRect a = WeekCellRect(m_config, rows, d, bar.column, firstCell, vs, hs);
            const GridRect b = WeekCellRect(m_config, rows, d, bar.column, lastCell, vs, hs);
            rects[i] = QRect(QPoint(a.left, a.top), QPoint(b.right - 1, b.bottom - 1));
        }
    }
    return all;
}

ScrollRanges CWeekSheetView::FullScrollRanges() const {
    return WeekScrollRanges(m_config, int(m_columns.size()), 0, 0);
}

int CWeekSheetView::WeekCount() const {
    int total = 0;
    for (const DayData& day : m_week) total += day.count;
    return total;
}

void CWeekSheetView::PaintForPrint(QPainter* painter, bool withBars) {
    const ScrollRanges full = FullScrollRanges();
    PaintOptions options;
    options.printing = true;
    options.bars = withBars;
    Paint(painter, QSize(full.horizontal.max, full.vertical.max), 0, 0, BarRectsAt(0, 0), options);
}

const ReservationBar* CWeekSheetView::Bar(const BarRef& ref) const {
    if (ref.day < 0 || ref.day >= kWeekDays) return nullptr;
    const std::vector<ReservationBar>& bars = m_week[size_t(ref.day)].bars;
    if (ref.index < 0 || size_t(ref.index) >= bars.size()) return nullptr;
    return &bars[size_t(ref.index)];
}

QRect CWeekSheetView::BarRect(const std::string& reservationNo) const {
    for (int d = 0; d < kWeekDays; ++d) {
        const std::vector<ReservationBar>& bars = m_week[size_t(d)].bars;
        for (size_t i = 0; i < bars.size() && i < m_barRects[size_t(d)].size(); ++i) {
            if (bars[i].reservationNo == reservationNo) return m_barRects[size_t(d)][i];
        }
    }
    return QRect();
}

QRect CWeekSheetView::CellRect(int day, int row, int time) const {
    const int index = CellIndexOf(m_config, time);
    if (index < 0) return QRect();
    const GridRect r = WeekCellRect(m_config, int(m_columns.size()), day, row, index, Vs(), Hs());
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

CWeekSheetView::BarRef CWeekSheetView::BarAt(const QPoint& pos) const {
    if (pos.x() < kWeekLabelWidth || pos.y() < kHeaderHeight) return BarRef{};
    for (int d = 0; d < kWeekDays; ++d) {
        const std::vector<QRect>& rects = m_barRects[size_t(d)];
        for (int i = int(rects.size()) - 1; i >= 0; --i) {
            if (rects[size_t(i)].contains(pos)) return BarRef{d, i};
        }
    }
    return BarRef{};
}

std::vector<TimeBand> CWeekSheetView::RowBands(int day, int row) const {
    std::vector<TimeBand> bands;
    if (day < 0 || day >= kWeekDays) return bands;
    for (const ReservationBar& bar : m_week[size_t(day)].bars) {
        if (bar.column == row) bands.push_back({bar.start, bar.end});
    }
    return bands;
}

std::string CWeekSheetView::SelectedReservationNo() const {
    const ReservationBar* bar = Bar(m_selected);
    return bar != nullptr ? bar->reservationNo : std::string();
}

void CWeekSheetView::ClearSelection() {
    m_range = Selection{};
    m_rangeDay = -1;
    m_selected = BarRef{};
    m_dragging = false;
    viewport()->update();
}

bool CWeekSheetView::ReselectBar(const std::string& reservationNo) {
    for (int d = 0; d < kWeekDays; ++d) {
        const std::vector<ReservationBar>& bars = m_week[size_t(d)].bars;
        for (size_t i = 0; i < bars.size(); ++i) {
            if (bars[i].reservationNo == reservationNo) {
                SelectBar(BarRef{d, int(i)});
                return true;
            }
        }
    }
    ClearSelection();
    return false;
}

void CWeekSheetView::SelectBar(const BarRef& ref) {
    m_range = Selection{};
    m_rangeDay = -1;
    m_dragging = false;
    m_selected = ref;
    viewport()->update();
}

void CWeekSheetView::Render(QImage* image) {
    PrepareImage(image);
    QPainter painter(image);
    Paint(&painter, viewport()->size(), Vs(), Hs(), m_barRects, PaintOptions{});
}

void CWeekSheetView::Paint(QPainter* painter, const QSize& area, int vs, int hs,
                           const WeekBarRects& barRects, const PaintOptions& options) {
    QPainter& p = *painter;
    const QPalette pal = palette();
    p.setRenderHint(QPainter::TextAntialiasing);
    const int rows = int(m_columns.size());
    const int cells = CellCount(m_config);
    const QColor offColour = CTools::ColorFromRef(m_settings.veloColorOff);
    // On paper the cell lines are black, so they survive the printer's greys.
    const QColor frame = options.printing ? QColor(Qt::black) : CTools::ColorFromRef(kCellFrame);
    const QDate first = CDate::FromYmd(m_weekStart.c_str());

    // Time cells of every row of every day block.
    for (int d = 0; d < kWeekDays; ++d) {
        const GridRect block = WeekBlockRect(m_config, rows, d, vs, hs);
        if (block.bottom < kHeaderHeight || block.top > area.height()) continue;
        const bool dayOff = m_week[size_t(d)].dayOff;
        for (int k = 0; k < cells; ++k) {
            const int t = CellTime(m_config, k);
            const bool closed = IsClosedCell(t, m_dayHours[size_t(d)], dayOff);
            for (int r = 0; r < rows; ++r) {
                const GridRect c = WeekCellRect(m_config, rows, d, r, k, vs, hs);
                if (c.right < kWeekLabelWidth || c.left > area.width()) continue;
                const QRect cell(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
                p.fillRect(cell, closed ? offColour : pal.color(QPalette::Base));
                p.setPen(frame);
                p.drawRect(cell);
            }
            if (t % 100 == 0 || t % 100 == 30) {
                const GridRect c = WeekCellRect(m_config, rows, d, 0, k, vs, hs);
                p.setPen(t % 100 == 0 ? QColor(0x70, 0x70, 0x70) : QColor(0x98, 0x98, 0x98));
                p.drawLine(c.left, block.top, c.left, block.bottom - 1);
            }
        }
    }

    // The dragged range, with its length painted inside.
    if (!options.printing && !IsEmpty(m_range) && m_rangeDay >= 0 && m_range.column < rows) {
        const int a = CellIndexContaining(m_config, m_range.start);
        const int b = CellIndexContaining(m_config, MinutesToHhmm(HhmmToMinutes(m_range.end) - 1));
        if (a >= 0 && b >= a) {
            const GridRect ra = WeekCellRect(m_config, rows, m_rangeDay, m_range.column, a, vs, hs);
            const GridRect rb = WeekCellRect(m_config, rows, m_rangeDay, m_range.column, b, vs, hs);
            const QRect rect(QPoint(ra.left, ra.top), QPoint(rb.right - 1, rb.bottom - 1));
            p.fillRect(rect, pal.color(QPalette::Highlight));
            p.setPen(pal.color(QPalette::HighlightedText));
            p.drawText(rect.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(
                           WeekSelectionText(m_range.start, m_range.end, m_config.clock24, true)));
        }
    }

    // Bars: one line of bar text in a 25-pixel row; the book leaves them out.
    QFont barFont = font();
    barFont.setPixelSize(12);
    p.setFont(barFont);
    for (int d = 0; d < kWeekDays && options.bars; ++d) {
        const std::vector<ReservationBar>& bars = m_week[size_t(d)].bars;
        for (size_t i = 0; i < bars.size() && i < barRects[size_t(d)].size(); ++i) {
            const QRect rect = barRects[size_t(d)][i];
            if (rect.isNull()) continue;
            const ReservationBar& bar = bars[i];
            const bool came = bar.status == 1;
            QColor fill = CTools::ColorFromRef(bar.colour);
            if (bar.patientId.empty()) {
                fill = CTools::ColorFromRef(m_settings.veloColorDrConveni);
            } else if (came) {
                fill = pal.color(QPalette::Button);
            }
            p.fillRect(rect, fill);
            if (m_selected == BarRef{d, int(i)} && !options.printing) {
                p.setPen(QPen(Qt::black, 2));
                p.drawRect(rect.adjusted(1, 1, -1, -1));
            } else {
                p.setPen(Qt::white);
                p.drawRect(rect);
            }
            p.setPen(came ? QColor(Qt::gray) : pal.color(QPalette::WindowText));
            QString text = velo::sheet::BarText(bar.items, m_barItems, m_timeKana);
            text.replace(QLatin1Char('\n'), QStringLiteral("  "));
            p.drawText(rect.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
        }
    }

    // The label column: each block's date and its rows' names.
    const QColor headBack = options.printing ? QColor(Qt::white) : pal.color(QPalette::Window);
    p.fillRect(QRect(0, 0, kWeekLabelWidth, area.height()), headBack);
    for (int d = 0; d < kWeekDays; ++d) {
        const GridRect block = WeekBlockRect(m_config, rows, d, vs, hs);
        if (block.bottom < kHeaderHeight || block.top > area.height()) continue;
        const QDate date = first.addDays(d);
        const bool red = m_week[size_t(d)].dayOff || m_noHours[size_t(d)];
        const QColor dateColour = CTools::ColorFromRef(red ? kHolidayText : kDateText);
        const QString weekday = QString::fromUtf8(kWeekdayNames[WeekdayOf(date)]);
        const int height = block.bottom - block.top;
        if (rows < 3) {
            QFont f = font();
            f.setBold(true);
            f.setPixelSize(12);
            p.setFont(f);
            p.setPen(dateColour);
            p.drawText(QRect(4, block.top, kDateLabelWidth + 10, height),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       date.toString(QStringLiteral("MM/dd")) + QLatin1Char(' ') + weekday);
        } else {
            QFont small = font();
            small.setPixelSize(11);
            QFont large = font();
            large.setBold(true);
            large.setPixelSize(20);
            p.setPen(dateColour);
            p.setFont(small);
            p.drawText(QRect(4, block.top + 2, kDateLabelWidth - 4, 14), Qt::AlignLeft,
                       QString::fromUtf8("%1月").arg(date.month()));
            p.setFont(large);
            p.drawText(QRect(4, block.top + 16, kDateLabelWidth - 4, 26), Qt::AlignLeft,
                       QString::fromUtf8("%1日").arg(date.day()));
            p.setFont(small);
            p.drawText(QRect(4, block.top + 42, kDateLabelWidth - 4, 14), Qt::AlignLeft,
                       QStringLiteral("(%1)").arg(weekday));
            // The book is for writing on by hand: it carries no counts.
            if (options.bars) {
                p.setPen(QColor(0x60, 0x60, 0x60));
                p.drawText(QRect(4, block.top + 58, kDateLabelWidth - 4, 14), Qt::AlignLeft,
                           QString::fromUtf8("%1件").arg(m_week[size_t(d)].count));
            }
        }
        QFont rowFont = font();
        rowFont.setPixelSize(12);
        p.setFont(rowFont);
        const int nameLeft = rows < 3 ? kDateLabelWidth + 16 : kDateLabelWidth;
        for (int r = 0; r < rows; ++r) {
            const GridRect row = WeekRowRect(m_config, rows, d, r, vs, hs);
            p.setPen(pal.color(QPalette::WindowText));
            p.drawText(QRect(nameLeft, row.top, kWeekLabelWidth - nameLeft - 4, kWeekRowHeight),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(m_columns[size_t(r)].name, Qt::ElideRight,
                                                  kWeekLabelWidth - nameLeft - 4));
            p.setPen(frame);
            p.drawLine(nameLeft, row.bottom - 1, area.width(), row.bottom - 1);
        }
        p.setPen(QPen(QColor(0x50, 0x50, 0x50), 2));
        p.drawLine(0, block.bottom - 1, area.width(), block.bottom - 1);
    }
    p.setPen(frame);
    p.drawLine(kWeekLabelWidth - 1, 0, kWeekLabelWidth - 1, area.height());

    // The header row: hour numbers at the full hours.
    p.fillRect(QRect(0, 0, area.width(), kHeaderHeight), headBack);
    QFont hourFont = font();
    hourFont.setBold(true);
    hourFont.setPixelSize(12);
    p.setFont(hourFont);
    p.setClipRect(QRect(kWeekLabelWidth, 0, area.width(), kHeaderHeight));
    for (int k = 0; k < cells; ++k) {
        const int t = CellTime(m_config, k);
        if (t % 100 != 0) continue;
        const GridRect c = WeekCellRect(m_config, rows, 0, 0, k, vs, hs);
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(QRect(c.left + 3, 0, 40, kHeaderHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::asprintf("%2d", DisplayHour(t / 100, m_config.clock24)));
        p.setPen(frame);
        p.drawLine(c.left, kHeaderHeight - 8, c.left, kHeaderHeight - 1);
    }
    p.setClipping(false);
    p.setPen(frame);
    p.drawLine(0, kHeaderHeight - 1, area.width(), kHeaderHeight - 1);
}

void CWeekSheetView::ShowRangeTip(const QPoint& pos, bool dragging) {
    const std::string text =
        dragging ? WeekDragTipText(m_range.start, m_range.end, m_config.clock24)
                 : WeekSelectionText(m_range.start, m_range.end, m_config.clock24, false);
    m_balloon.Show(QString::fromStdString(text), viewport()->mapToGlobal(pos));
}

void CWeekSheetView::mousePressEvent(QMouseEvent* event) {
    m_balloon.Hide();
    m_balloonBar = BarRef{};
    const QPoint pos = event->position().toPoint();
    const QSize area = viewport()->size();
    const WeekHit hit = WeekHitTest(m_config, int(m_columns.size()), pos.x(), pos.y(), Vs(), Hs(),
                                    area.width(), area.height());
    if (hit.dayOffset >= 0) {
        const std::string date = CDate::AddDays(m_weekStart.c_str(), hit.dayOffset);
        if (!date.empty() && date != m_date) {
            m_date = date;
            emit dateChanged(QString::fromStdString(m_date));
        }
    }
    const BarRef bar = BarAt(pos);
    if (event->button() == Qt::RightButton) {
        if (Bar(bar) != nullptr) {
            SelectBar(bar);
            emit barSelected(QString::fromStdString(SelectedReservationNo()));
            emit contextMenuRequested(event->globalPosition().toPoint());
        } else {
            ClearSelection();
        }
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (Bar(bar) != nullptr) {
        SelectBar(bar);
        emit barSelected(QString::fromStdString(SelectedReservationNo()));
        return;
    }
    m_selected = BarRef{};
    m_range = BeginSelection(m_config, hit.time, hit.row);
    m_rangeDay = IsEmpty(m_range) ? -1 : hit.dayOffset;
    m_dragging = !IsEmpty(m_range);
    if (m_dragging) {
        emit rangeStarted();
        ShowRangeTip(pos, false);
    }
    viewport()->update();
}

void CWeekSheetView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!m_dragging || event->buttons() != Qt::LeftButton) {
        UpdateBalloon(pos);
        return;
    }
    const QSize area = viewport()->size();
    const ScrollRanges ranges =
        WeekScrollRanges(m_config, int(m_columns.size()), area.width(), area.height());
    const int hs = WeekAutoScroll(m_config, pos.x(), area.width(), Hs(), ranges.horizontal);
    if (hs != Hs()) horizontalScrollBar()->setValue(hs);
    const WeekHit hit = WeekHitTest(m_config, int(m_columns.size()), pos.x(), pos.y(), Vs(), Hs(),
                                    area.width(), area.height());
    if (hit.time < 0) return;
    const Selection next =
        StepWeekSelection(m_config, m_range, m_rangeDay, hit, RowBands(m_rangeDay, m_range.column));
    if (next != m_range) {
        m_range = next;
        ShowRangeTip(pos, true);
        viewport()->update();
    }
}

void CWeekSheetView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    m_balloon.Hide();
    if (IsComplete(m_range) && m_rangeDay >= 0) {
        const Selection chosen = m_range;
        const std::string date = CDate::AddDays(m_weekStart.c_str(), m_rangeDay);
        emit rangeChosen(chosen.column, chosen.start, chosen.end, QString::fromStdString(date));
    }
    m_range = Selection{};
    m_rangeDay = -1;
    viewport()->update();
}

void CWeekSheetView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const BarRef bar = BarAt(event->position().toPoint());
    if (Bar(bar) != nullptr) {
        SelectBar(bar);
        emit barActivated(QString::fromStdString(SelectedReservationNo()));
    }
}

void CWeekSheetView::UpdateBalloon(const QPoint& pos) {
    const BarRef ref = BarAt(pos);
    const ReservationBar* bar = Bar(ref);
    if (bar == nullptr) {
        m_balloon.Hide();
        m_balloonBar = BarRef{};
        return;
    }
    // The balloon text is rebuilt only when the pointer reaches another bar.
    if (ref == m_balloonBar && m_balloon.IsShown()) return;
    m_balloonBar = ref;
    m_balloon.Show(
        velo::sheet::BalloonText(bar->items, m_balloonItems, m_tipKana, m_freeTableNames),
        viewport()->mapToGlobal(pos));
}

void CWeekSheetView::leaveEvent(QEvent* event) {
    if (!m_dragging) {
        m_balloon.Hide();
        m_balloonBar = BarRef{};
    }
    QAbstractScrollArea::leaveEvent(event);
}

}  // namespace velo::sheet
