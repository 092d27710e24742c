// Time grid arithmetic of the sheet's views; see timegrid.h for the rules. Cell
// positions are computed directly from minutes since the day's start, which gives the
// same cells as stepping from the start one cell at a time but needs no loop.
#include "sheet/timegrid.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace velo::sheet {
namespace {

constexpr int kMinutesPerDay = 24 * 60;
constexpr int kDaysPerWeek = 7;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return std::string();
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
}

// Floor division for the pixel arithmetic, where offsets may be negative.
int FloorDiv(int value, int divisor) {
    int quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
    return quotient;
}

int CanonicalTime(int hhmm) {
    if (hhmm < 0) return 0;
    return MinutesToHhmm(std::min(HhmmToMinutes(hhmm), kMinutesPerDay));
}

}  // namespace

int NormalizeTimeSpan(int timeSpan) {
    if (timeSpan <= 0 || 60 % timeSpan != 0) return kDefaultTimeSpan;
    return timeSpan;
}

TimeGridConfig NormalizeConfig(const TimeGridConfig& config) {
    TimeGridConfig result = config;
    result.timeSpan = NormalizeTimeSpan(config.timeSpan);
    if (result.cellPixels < 1) result.cellPixels = kDefaultCellPixels;
    if (result.dayColumnWidth < 1) result.dayColumnWidth = kDefaultDayColumnWidth;
    result.start = CanonicalTime(config.start);
    result.end = CanonicalTime(config.end);
    return result;
}

int HhmmToMinutes(int hhmm) {
    if (hhmm < 0) return -HhmmToMinutes(-hhmm);
    return (hhmm / 100) * 60 + hhmm % 100;
}

int MinutesToHhmm(int minutes) {
    if (minutes < 0) return -MinutesToHhmm(-minutes);
    return (minutes / 60) * 100 + minutes % 60;
}

int NextCellTime(int hhmm, int timeSpan) {
    int hours = hhmm / 100;
    int minutes = hhmm % 100 + NormalizeTimeSpan(timeSpan);
    while (minutes >= 60) {
        hours += 1;
        minutes -= 60;
    }
    return hours * 100 + minutes;
}

int SpanMinutes(int to, int from) {
    const int minutes = HhmmToMinutes(to) - HhmmToMinutes(from);
    return minutes > 0 ? minutes : 0;
}

int GetTimeSpan(int to, int from) { return MinutesToHhmm(SpanMinutes(to, from)); }

int CellCount(const TimeGridConfig& config) {
    const TimeGridConfig c = NormalizeConfig(config);
    if (c.end <= c.start) return 0;
    const int span = GetTimeSpan(c.end, c.start);
    const int cellsPerHour = 60 / c.timeSpan;
    return (span / 100) * cellsPerHour + (span % 100 + c.timeSpan - 1) / c.timeSpan;
}

int CellTime(const TimeGridConfig& config, int index) {
    const TimeGridConfig c = NormalizeConfig(config);
    if (index < 0 || index >= CellCount(c)) return -1;
    return MinutesToHhmm(HhmmToMinutes(c.start) + index * c.timeSpan);
}

int CellIndexOf(const TimeGridConfig& config, int hhmm) {
    const TimeGridConfig c = NormalizeConfig(config);
    if (hhmm < 0) return -1;
    const int offset = HhmmToMinutes(hhmm) - HhmmToMinutes(c.start);
    if (offset < 0 || offset % c.timeSpan != 0) return -1;
    const int index = offset / c.timeSpan;
    return index < CellCount(c) ? index : -1;
}

int CellIndexContaining(const TimeGridConfig& config, int hhmm) {
    const TimeGridConfig c = NormalizeConfig(config);
    const int cells = CellCount(c);
    if (cells == 0) return -1;
    const int offset = HhmmToMinutes(std::max(hhmm, 0)) - HhmmToMinutes(c.start);
    if (offset < 0) return 0;
    return std::min(offset / c.timeSpan, cells - 1);
}

int OneCellEnd(int start, int timeSpan) {
    return MinutesToHhmm(HhmmToMinutes(start) + NormalizeTimeSpan(timeSpan));
}

GridRect DayColumnRect(const TimeGridConfig& config, int column, int vs, int hs) {
    const TimeGridConfig c = NormalizeConfig(config);
    GridRect rect;
    rect.left = kDayTimeColumnWidth + column * c.dayColumnWidth - hs;
    rect.right = rect.left + c.dayColumnWidth;
    rect.top = kHeaderHeight - vs;
    rect.bottom = rect.top + CellCount(c) * c.cellPixels;
    return rect;
}

GridRect DayCellRect(const TimeGridConfig& config, int cellIndex, int column, int vs, int hs) {
    const TimeGridConfig c = NormalizeConfig(config);
    GridRect rect;
    rect.left = kDayTimeColumnWidth + column * c.dayColumnWidth - hs;
    rect.right = rect.left + c.dayColumnWidth;
    rect.top = kHeaderHeight + cellIndex * c.cellPixels - vs;
    rect.bottom = rect.top + c.cellPixels;
    return rect;
}

DayHit DayHitTest(const TimeGridConfig& config, int columns, int x, int y, int vs, int hs,
                  int clientWidth, int clientHeight) {
    const TimeGridConfig c = NormalizeConfig(config);
    const int cells = CellCount(c);
    const GridRect client{kDayTimeColumnWidth, kHeaderHeight, clientWidth, clientHeight};
    if (cells == 0 || columns <= 0 || !client.Contains(x, y)) return {};
    const int gridX = x - kDayTimeColumnWidth + hs;
    const int gridY = y - kHeaderHeight + vs;
    const int column = FloorDiv(gridX, c.dayColumnWidth);
    const int cell = FloorDiv(gridY, c.cellPixels);
    if (column < 0 || column >= columns || cell < 0 || cell >= cells) return {};
    return DayHit{CellTime(c, cell), column};
}

GridRect WeekBlockRect(const TimeGridConfig& config, int entities, int day, int vs, int hs) {
    const TimeGridConfig c = NormalizeConfig(config);
    const int blockHeight = std::max(entities, 0) * kWeekRowHeight;
    GridRect rect;
    rect.left = kWeekLabelWidth - hs;
    rect.right = rect.left + CellCount(c) * c.cellPixels;
    rect.top = kHeaderHeight - vs + day * blockHeight;
    rect.bottom = rect.top + blockHeight;
    return rect;
}

GridRect WeekRowRect(const TimeGridConfig& config, int entities, int day, int row, int vs, int hs) {
    GridRect rect = WeekBlockRect(config, entities, day, vs, hs);
    rect.top += row * kWeekRowHeight;
    rect.bottom = rect.top + kWeekRowHeight;
    return rect;
}

GridRect WeekCellRect(const TimeGridConfig& config, int entities, int day, int row, int cellIndex,
                      int vs, int hs) {
    const TimeGridConfig c = NormalizeConfig(config);
    GridRect rect = WeekRowRect(c, entities, day, row, vs, hs);
    rect.left = kWeekLabelWidth + cellIndex * c.cellPixels - hs;
    rect.right = rect.left + c.cellPixels;
    return rect;
}

WeekHit WeekHitTest(const TimeGridConfig& config, int entities, int x, int y, int vs, int hs,
                    int clientWidth, int clientHeight) {
    const TimeGridConfig c = NormalizeConfig(config);
    const int cells = CellCount(c);
    const GridRect client{kWeekLabelWidth, kHeaderHeight, clientWidth, clientHeight};
    if (cells == 0 || entities <= 0 || !client.Contains(x, y)) return {};
    const int blockHeight = entities * kWeekRowHeight;
    const int gridY = y - kHeaderHeight + vs;
    const int gridX = x - kWeekLabelWidth + hs;
    const int day = FloorDiv(gridY, blockHeight);
    const int cell = FloorDiv(gridX, c.cellPixels);
    if (day < 0 || day >= kDaysPerWeek || cell < 0 || cell >= cells) return {};
    const int row = (gridY - day * blockHeight) / kWeekRowHeight;
    return WeekHit{CellTime(c, cell), row, day};
}

ScrollRanges DayScrollRanges(const TimeGridConfig& config, int columns, int clientWidth,
                             int clientHeight) {
    const TimeGridConfig c = NormalizeConfig(config);
    ScrollRanges ranges;
    ranges.vertical = {0, CellCount(c) * c.cellPixels + 40, std::max(clientHeight, 0)};
    ranges.horizontal = {0, std::max(columns, 0) * c.dayColumnWidth + 80, std::max(clientWidth, 0)};
    return ranges;
}

ScrollRanges WeekScrollRanges(const TimeGridConfig& config, int entities, int clientWidth,
                              int clientHeight) {
    const TimeGridConfig c = NormalizeConfig(config);
    ScrollRanges ranges;
    ranges.horizontal = {0, CellCount(c) * c.cellPixels + 130, std::max(clientWidth, 0)};
    ranges.vertical = {0, std::max(entities, 0) * kDaysPerWeek * kWeekRowHeight + 30,
                       std::max(clientHeight, 0)};
    return ranges;
}

int MaxScrollPos(const ScrollRange& range) {
    return std::max(range.min, range.max - std::max(range.page - 1, 0));
}

int ClampScrollPos(int pos, const ScrollRange& range) {
    return std::clamp(pos, range.min, MaxScrollPos(range));
}

int ApplyScrollCommand(int pos, ScrollCommand command, int thumbPos, const ScrollRange& range) {
    switch (command) {
        case ScrollCommand::LineUp:
            pos -= kScrollLine;
            break;
        case ScrollCommand::LineDown:
            pos += kScrollLine;
            break;
        case ScrollCommand::PageUp:
            pos -= kScrollPage;
            break;
        case ScrollCommand::PageDown:
            pos += kScrollPage;
            break;
        case ScrollCommand::ThumbTrack:
        case ScrollCommand::ThumbPosition:
            pos = thumbPos;
            break;
        case ScrollCommand::Top:
            pos = range.min;
            break;
        case ScrollCommand::Bottom:
            pos = MaxScrollPos(range);
            break;
        case ScrollCommand::EndScroll:
            break;
    }
    return ClampScrollPos(pos, range);
}

int DayAutoScroll(const TimeGridConfig& config, int y, int clientHeight, int vs,
                  const ScrollRange& vertical) {
    const TimeGridConfig c = NormalizeConfig(config);
    if (y >= clientHeight) return ClampScrollPos(vs + c.cellPixels, vertical);
    if (y < kHeaderHeight) return ClampScrollPos(vs - c.cellPixels, vertical);
    return vs;
}

int WeekAutoScroll(const TimeGridConfig& config, int x, int clientWidth, int hs,
                   const ScrollRange& horizontal) {
    const TimeGridConfig c = NormalizeConfig(config);
    if (x >= clientWidth) return ClampScrollPos(hs + c.cellPixels, horizontal);
    if (x < kWeekLabelWidth) return ClampScrollPos(hs - c.cellPixels, horizontal);
    return hs;
}

bool IsEmpty(const Selection& selection) {
    return selection.anchor == kNoTime && selection.start == kNoTime && selection.end == kNoTime &&
           selection.column == kNoTime;
}

bool IsComplete(const Selection& selection) {
    return selection.anchor != kNoTime && selection.start != kNoTime && selection.end != kNoTime &&
           selection.column != kNoTime;
}

bool Overlaps(int start, int end, const TimeBand& band) {
    return start < band.end && band.start < end;
}

Selection BeginSelection(const TimeGridConfig& config, int cellTime, int column) {
    if (cellTime < 0 || cellTime >= kNoTime || column < 0 || column >= kNoTime) return {};
    const int end = OneCellEnd(cellTime, config.timeSpan);
    return Selection{static_cast<uint16_t>(cellTime), static_cast<uint16_t>(cellTime),
                     static_cast<uint16_t>(end), static_cast<uint16_t>(column)};
}

Selection StepDaySelection(const TimeGridConfig& config, const Selection& current, int hitTime,
                           std::span<const TimeBand> columnBands) {
    if (!IsComplete(current) || hitTime < 0 || hitTime >= kNoTime) return current;
    const int anchor = current.anchor;
    int start;
    int end;
    if (hitTime >= anchor) {
        start = anchor;
        end = OneCellEnd(hitTime, config.timeSpan);
    } else {
        start = hitTime;
        end = OneCellEnd(anchor, config.timeSpan);
    }
    for (const TimeBand& band : columnBands) {
        if (Overlaps(start, end, band)) return current;
    }
    return Selection{current.anchor, static_cast<uint16_t>(start), static_cast<uint16_t>(end),
                     current.column};
}

Selection StepWeekSelection(const TimeGridConfig& config, const Selection& current,
                            int selectionDayOffset, const WeekHit& hit,
                            std::span<const TimeBand> rowBands) {
    if (hit.time < 0 || hit.row != current.column || hit.dayOffset != selectionDayOffset) {
        return current;
    }
    return StepDaySelection(config, current, hit.time, rowBands);
}

int DisplayHour(int hour, bool clock24) {
    if (clock24) return hour;
    return ((hour - 1) % 12 + 12) % 12 + 1;
}

std::vector<TimeLabel> DayTimeLabels(const TimeGridConfig& config) {
    const TimeGridConfig c = NormalizeConfig(config);
    std::vector<TimeLabel> labels;
    if (CellCount(c) == 0) return labels;
    bool firstMinuteKnown = false;
    int firstMinute = 0;
    int index = 0;
    for (int t = c.start; t <= c.end; t = NextCellTime(t, c.timeSpan), ++index) {
        const int hour = DisplayHour(t / 100, c.clock24);
        const int minute = t % 100;
        std::string text;
        if (minute % 60 == 0) {
            text = Format("%2d:00 ", hour);
        } else if (index == 0) {
            // Zero-padded so that a start such as 8:05 does not read "8: 5".
            text = Format("%2d:%02d ", hour, minute);
            firstMinuteKnown = true;
            firstMinute = minute;
        } else if (minute == 30) {
            text = c.timeSpan == 20 ? Format("%2d:%2d ", hour, minute) : "     30 ";
        } else if (firstMinuteKnown) {
            if (minute == firstMinute && minute % c.timeSpan != 0) {
                text = Format("%2d:%02d ", hour, minute);
            } else {
                text = Format("     %02d ", minute);
            }
        }
        if (!text.empty()) labels.push_back(TimeLabel{index, t, std::move(text)});
    }
    return labels;
}

namespace {

struct RangeParts {
    int startHour;
    int startMinute;
    int endHour;
    int endMinute;
    int minutes;
};

RangeParts SplitRange(int start, int end, bool clock24) {
    return RangeParts{DisplayHour(start / 100, clock24), start % 100,
                      DisplayHour(end / 100, clock24), end % 100, SpanMinutes(end, start)};
}

}  // namespace

std::string DaySelectionText(int start, int end, bool clock24) {
    const RangeParts p = SplitRange(start, end, clock24);
    return Format(" %02d:%02d-%02d:%02d (%2d分)", p.startHour, p.startMinute, p.endHour,
                  p.endMinute, p.minutes);
}

std::string WeekDragTipText(int start, int end, bool clock24) {
    const RangeParts p = SplitRange(start, end, clock24);
    return Format("%02d:%02d-%02d:%02d (%2d分)", p.startHour, p.startMinute, p.endHour, p.endMinute,
                  p.minutes);
}

std::string WeekSelectionText(int start, int end, bool clock24, bool painted) {
    const RangeParts p = SplitRange(start, end, clock24);
    return Format(painted ? " %02d:%02d-%02d:%02d (%d%s)" : "%02d:%02d-%02d:%02d (%d%s)",
                  p.startHour, p.startMinute, p.endHour, p.endMinute, p.minutes, kMinutesUnitText);
}

std::string ReservationTimeItemText(const std::string& dateText, int start, int end, bool clock24) {
    const RangeParts p = SplitRange(start, end, clock24);
    return dateText + Format(" %02d:%02d-%02d:%02d (%d%s)", p.startHour, p.startMinute, p.endHour,
                             p.endMinute, p.minutes, kMinutesUnitText);
}

std::string ListTimeText(int start, int end, bool clock24) {
    const RangeParts p = SplitRange(start, end, clock24);
    return Format("%02d:%02d-%02d:%02d", p.startHour, p.startMinute, p.endHour, p.endMinute);
}

}  // namespace velo::sheet
