// Month calendar: the month's numbers, the date movements and the two widgets that draw
// them. Colours given as colour references are converted once, where they are painted.
#include "sheet/monthcalendar.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QToolTip>
#include <cstdio>

#include "sheet/sheetdata.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/tool/date.h"

namespace velo::sheet {
namespace {

constexpr uint32_t kDayNumberColour = 0x323232;
constexpr uint32_t kDayOffColour = 0x0000FF;
constexpr uint32_t kShownColour = 0x0000FF;
constexpr uint32_t kTodayColour = 0x009600;
constexpr int kMemoMarkSize = 10;
constexpr int kMemoCountShift = 10;

std::string Ymd(int year, int month, int day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    return text;
}

}  // namespace

QColor FromColorRef(uint32_t colorRef) {
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

int FirstWeekday(int calendarMode) { return ((calendarMode % 7) + 7) % 7; }

int ColumnWeekday(int calendarMode, int column) {
    return (FirstWeekday(calendarMode) + column % 7 + 7) % 7;
}

std::array<int, kCalendarCells> BuildMonthCells(int year, int month, int calendarMode) {
    std::array<int, kCalendarCells> cells{};
    const int days = CDate::GetMonthInDayCount(year, month);
    const int weekday = CDate::DayWeek(year, month, 1);
    if (days == 0 || weekday < 0) return cells;
    int offset = weekday - FirstWeekday(calendarMode);
    if (offset < 0) offset += 7;
    for (int i = 0; i < kCalendarCells; ++i) {
        const int day = i - offset + 1;
        cells[size_t(i)] = (day >= 1 && day <= days) ? day : 0;
    }
    return cells;
}

QStringList WeekdayHeadings(int calendarMode) {
    const QStringList sundayFirst =
        QStringLiteral("日 月 火 水 木 金 土").split(u' ', Qt::SkipEmptyParts);
    QStringList names;
    for (int column = 0; column < 7; ++column)
        names << sundayFirst[ColumnWeekday(calendarMode, column)];
    return names;
}

QString CalendarTitle(int year, int month) {
    return QStringLiteral("%1年%2月").arg(year).arg(month, 2, 10, QLatin1Char(' '));
}

QStringList LegendTexts(const SheetSettings& settings) {
    const int* max = settings.reStatusMax;
    return {QStringLiteral(" 0 件から %1 まで").arg(max[0]),
            QStringLiteral("%1 件から %2 まで").arg(max[0] + 1).arg(max[1]),
            QStringLiteral("%1 件から %2 まで").arg(max[1] + 1).arg(max[2]),
            QStringLiteral("それ以上")};
}

std::array<bool, 7> ClosedWeekdays(const VELOOFFICEHOUR& hours) {
    std::array<bool, 7> closed{};
    for (size_t weekday = 0; weekday < closed.size(); ++weekday) {
        const VELOOFFICEHOURDATA& day = hours.Week[weekday];
        closed[weekday] =
            day.Open == 0 && day.BreakStart == 0 && day.BreakEnd == 0 && day.Close == 0;
    }
    return closed;
}

bool MonthCalendarData::DayNumberIsRed(int day) const {
    if (IsDayOff(day)) return true;
    const int weekday = CDate::DayWeek(year, month, day);
    return weekday >= 0 && closedWeekdays[size_t(weekday)];
}

bool MonthCalendarData::IsDayOff(int day) const {
    const std::string ymd = Ymd(year, month, day);
    for (const std::string& off : daysOff)
        if (off == ymd) return true;
    return false;
}

int LoadMonthCalendar(CVeloDBSys* db, const std::string& memoFolder, int year, int month,
                      int calendarMode, MonthCalendarData* out) {
    *out = MonthCalendarData();
    out->year = year;
    out->month = month;
    out->cells = BuildMonthCells(year, month, calendarMode);
    const int days = CDate::GetMonthInDayCount(year, month);
    const CDate dates;
    for (int day = 1; day <= days; ++day) {
        const std::string ymd = Ymd(year, month, day);
        if (dates.IsDayOff(ymd.c_str()) != CDate::kWorking) out->daysOff.push_back(ymd);
    }
    VELOOFFICEHOUR hours{};
    CVeloSubTools::GetVeloOfficeHourData(&hours);
    out->closedWeekdays = ClosedWeekdays(hours);
    if (!memoFolder.empty()) out->memos = ReadMonthMemos(memoFolder, year, month);
    if (db == nullptr) return 0;
    std::vector<int> counts;
    const int status = CountMonth(db, year, month, &counts, &out->failure);
    if (status != 0) return status;
    for (size_t day = 1; day < out->counts.size() && day < counts.size(); ++day)
        out->counts[day] = counts[day];
    return 0;
}

QRect CalendarCellRect(const QSize& size, int cell) {
    const int width = size.width() / 7;
    const int height = (size.height() - kCalendarHeadingHeight) / 6;
    return QRect((cell % 7) * width, kCalendarHeadingHeight + (cell / 7) * height, width, height);
}

int CalendarCellAt(const QSize& size, const QPoint& point) {
    const int width = size.width() / 7;
    const int height = (size.height() - kCalendarHeadingHeight) / 6;
    if (width <= 0 || height <= 0 || point.x() < 0 || point.y() < kCalendarHeadingHeight) return -1;
    const int column = point.x() / width;
    const int row = (point.y() - kCalendarHeadingHeight) / height;
    if (column >= 7 || row >= 6) return -1;
    return row * 7 + column;
}

QDate SundayOnOrBefore(const QDate& date) { return date.addDays(-(date.dayOfWeek() % 7)); }

SheetDates MoveMonth(const SheetDates& dates, int delta) {
    const QDate first = QDate(dates.shown.year(), dates.shown.month(), 1).addMonths(delta);
    return {first, first};
}

SheetDates PickDay(const QDate& day) { return {day, day}; }

SheetDates GoToday(const QDate& today) { return {today, today}; }

SheetDates GoTodayInView(const QDate& today, bool weekView) {
    return weekView ? SheetDates{today, today} : SheetDates{today, SundayOnOrBefore(today)};
}

SheetDates MoveDays(const SheetDates& dates, bool weekView, int dayViewDays, int weekViewDays) {
    if (weekView) {
        const QDate start = dates.weekStart.addDays(weekViewDays);
        return {start, start};
    }
    const QDate shown = dates.shown.addDays(dayViewDays);
    return {shown, SundayOnOrBefore(shown)};
}

// ---- CMonthCalendar ------------------------------------------------------------------

CMonthCalendar::CMonthCalendar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_today = CDate::Today();
    m_shown = m_today;
}

void CMonthCalendar::SetDatabase(CVeloDBSys* db, const std::string& memoFolder) {
    m_db = db;
    m_memoFolder = memoFolder;
}

void CMonthCalendar::SetSettings(const SheetSettings& settings) {
    m_settings = settings;
    update();
}

void CMonthCalendar::SetToday(const QDate& today) {
    m_today = today;
    update();
}

void CMonthCalendar::SetShownDate(const QDate& shown) {
    if (!shown.isValid()) return;
    const bool monthChanged = shown.year() != m_data.year || shown.month() != m_data.month;
    m_shown = shown;
    if (monthChanged)
        Reload();
    else
        update();
}

int CMonthCalendar::Reload() {
    std::string folder = m_memoFolder;
    if (folder.empty() && m_db != nullptr) folder = m_db->GetDatabaseFolder();
    const int status = LoadMonthCalendar(m_db, folder, m_shown.year(), m_shown.month(),
                                         m_settings.calendarMode, &m_data);
    update();
    emit loadFinished();
    return status;
}

int CMonthCalendar::Recount(const QDate& shown) {
    if (shown.isValid()) m_shown = shown;
    return Reload();
}

QDate CMonthCalendar::DayOfCell(int cell) const {
    if (cell < 0 || cell >= kCalendarCells || m_data.cells[size_t(cell)] == 0) return QDate();
    return QDate(m_data.year, m_data.month, m_data.cells[size_t(cell)]);
}

QString CMonthCalendar::MemoAt(const QPoint& point) const {
    const QDate day = DayOfCell(CalendarCellAt(size(), point));
    if (!day.isValid()) return QString();
    QString memo = m_data.memos[size_t(day.day())];
    memo.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return memo;
}

void CMonthCalendar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    QFont bold = font();
    bold.setBold(true);

    // Heading: the title and the weekday names.
    painter.setFont(bold);
    painter.setPen(FromColorRef(kDayNumberColour));
    painter.drawText(QRect(0, 2, width(), 24), Qt::AlignCenter,
                     CalendarTitle(m_data.year, m_data.month));
    const QStringList names = WeekdayHeadings(m_settings.calendarMode);
    for (int column = 0; column < 7 && column < names.size(); ++column) {
        const QRect cell = CalendarCellRect(size(), column);
        const bool sunday = ColumnWeekday(m_settings.calendarMode, column) == 0;
        painter.setPen(FromColorRef(sunday ? kDayOffColour : kDayNumberColour));
        painter.drawText(QRect(cell.x(), 28, cell.width(), 20), Qt::AlignCenter, names[column]);
    }

    painter.setFont(font());
    for (int i = 0; i < kCalendarCells; ++i) {
        const QRect cell = CalendarCellRect(size(), i).adjusted(1, 1, -1, -1);
        const int day = m_data.cells[size_t(i)];
        if (day == 0) continue;
        const QDate date(m_data.year, m_data.month, day);
        const bool shown = date == m_shown;
        const bool today = !shown && date == m_today;
        const QRect strip(cell.x(), cell.y(), cell.width(), kCalendarDayNumberHeight);
        const QRect fill(cell.x(), strip.bottom() + 1, cell.width(),
                         cell.height() - kCalendarDayNumberHeight);

        painter.fillRect(fill,
                         FromColorRef(CountBandColor(m_settings, m_data.counts[size_t(day)])));
        QColor numberColour =
            FromColorRef(m_data.DayNumberIsRed(day) ? kDayOffColour : kDayNumberColour);
        QColor frameColour = palette().mid().color();
        if (shown || today) {
            frameColour = FromColorRef(shown ? kShownColour : kTodayColour);
            painter.fillRect(strip, frameColour);
            numberColour = Qt::white;
        } else {
            painter.fillRect(strip, palette().base());
        }
        painter.setPen(numberColour);
        painter.drawText(strip.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::asprintf(" %2d", day));

        int countShift = 0;
        if (m_data.HasMemo(day)) {
            // The memo mark: a small note with a folded corner.
            const QRect mark(fill.x() + 2, fill.y() + 2, kMemoMarkSize, kMemoMarkSize);
            painter.fillRect(mark, QColor(255, 230, 120));
            painter.setPen(QColor(150, 110, 0));
            painter.drawRect(mark.adjusted(0, 0, -1, -1));
            painter.drawLine(mark.x() + 2, mark.y() + 4, mark.right() - 2, mark.y() + 4);
            painter.drawLine(mark.x() + 2, mark.y() + 6, mark.right() - 2, mark.y() + 6);
            countShift = kMemoCountShift;
        }
        if (m_data.counts[size_t(day)] != 0) {
            painter.setPen(FromColorRef(kDayNumberColour));
            painter.drawText(fill.adjusted(2 + countShift, 0, -2, 0),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             QString::number(m_data.counts[size_t(day)]));
        }
        painter.setPen(frameColour);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
        if (shown || today) painter.drawRect(cell.adjusted(1, 1, -2, -2));
    }
}

void CMonthCalendar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QDate day = DayOfCell(CalendarCellAt(size(), event->position().toPoint()));
    if (!day.isValid()) {
        update();
        return;
    }
    m_shown = day;
    update();
    emit DayClicked(day);
}

void CMonthCalendar::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QDate day = DayOfCell(CalendarCellAt(size(), event->position().toPoint()));
    if (day.isValid()) emit DayDoubleClicked(day);
}

void CMonthCalendar::contextMenuEvent(QContextMenuEvent* event) {
    const QDate day = DayOfCell(CalendarCellAt(size(), event->pos()));
    if (!day.isValid()) return;
    QMenu menu(this);
    const QAction* edit = menu.addAction(QStringLiteral("休診日・診療日の設定..."));
    if (menu.exec(event->globalPos()) != edit) return;
    if (!CVeloComDlg::OpenClinicDaysSetting(CDate::ToYmd(day).c_str(), this)) return;
    Reload();
    emit DaysOffChanged();
}

bool CMonthCalendar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString memo = MemoAt(help->pos());
        if (memo.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), memo, this);
        return true;
    }
    return QWidget::event(event);
}

// ---- CCalendarLegend ------------------------------------------------------------------

CCalendarLegend::CCalendarLegend(QWidget* parent) : QWidget(parent) {
    m_texts = LegendTexts(m_settings);
}

void CCalendarLegend::SetSettings(const SheetSettings& settings) {
    m_settings = settings;
    m_texts = LegendTexts(settings);
    update();
}

void CCalendarLegend::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int line = 18;
    for (int band = 0; band < 4; ++band) {
        const QRect swatch(4, 2 + band * line + 2, 28, line - 4);
        painter.fillRect(swatch, FromColorRef(m_settings.reStatusColor[band]));
        painter.setPen(palette().mid().color());
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        painter.setPen(palette().text().color());
        painter.drawText(QRect(swatch.right() + 8, 2 + band * line, width() - 40, line),
                         Qt::AlignLeft | Qt::AlignVCenter, m_texts.value(band));
    }
}

QHBoxLayout* MakeCalendarButtons(QWidget* parent, const CalendarButtonIds& ids,
                                 const std::function<void(int id)>& onClick) {
    const struct {
        int id;
        const char* text;
        const char* tip;
    } kButtons[] = {{ids.prevMonth, "◀", "前月へ移動"},    {ids.today, "今日", "今日へ移動"},
                    {ids.nextMonth, "▶", "次月へ移動"},    {ids.fourWeeks, "4週", "４週後へ移動"},
                    {ids.sixWeeks, "6週", "６週後へ移動"}, {ids.eightWeeks, "8週", "８週後へ移動"}};
    auto* row = new QHBoxLayout();
    row->setSpacing(1);
    for (const auto& b : kButtons) {
        auto* button = new QToolButton(parent);
        button->setObjectName(QString::number(b.id));
        button->setText(QString::fromUtf8(b.text));
        button->setToolTip(QString::fromUtf8(b.tip));
        button->setAutoRaise(true);
        const int id = b.id;
        QObject::connect(button, &QToolButton::clicked, parent, [onClick, id] { onClick(id); });
        row->addWidget(button);
    }
    row->addStretch(1);
    return row;
}

}  // namespace velo::sheet
