// Time grid arithmetic shared by the day view, the week view and printing: how clock
// times (HHMM integers, 930 = 9:30) step from cell to cell, how many cells a day has,
// where a cell lies in pixels, how a mouse position maps back to a cell, how a dragged
// range grows, and the texts that show times and ranges. Plain C++, no Qt, so the views
// stay thin and every rule can be tested without a window.
//
// Every function accepts a raw TimeGridConfig and normalises it first (NormalizeConfig),
// so a bad cell length, a non-positive pixel size or an end before the start can never
// divide by zero or loop forever: such a day simply has no cells.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velo::sheet {

// Fixed margins of the two views, in pixels.
constexpr int kDayTimeColumnWidth = 40;  // day view: time labels on the left
constexpr int kHeaderHeight = 30;        // both views: heading row at the top
constexpr int kWeekLabelWidth = 120;     // week view: date and row labels on the left
constexpr int kWeekRowHeight = 25;       // week view: one unit or doctor row

// Scroll steps of the views' scroll commands.
constexpr int kScrollLine = 10;
constexpr int kScrollPage = 60;

// Defaults of the grid settings, also used when a stored value is unusable.
constexpr int kDefaultTimeSpan = 15;
constexpr int kDefaultCellPixels = 30;
constexpr int kDefaultDayColumnWidth = 150;

// Marks an empty selection field.
constexpr uint16_t kNoTime = 65535;

struct TimeGridConfig {
    int timeSpan = kDefaultTimeSpan;              // minutes per cell; must divide 60
    int cellPixels = kDefaultCellPixels;          // H: cell size along the time axis
    int dayColumnWidth = kDefaultDayColumnWidth;  // W: day-view column width
    int start = 900;                              // S: first time of the day, HHMM
    int end = 1900;                               // E: end of the day, HHMM
    bool clock24 = true;                          // false: 12-hour clock without marker
};

// Half-open pixel rectangle: left <= x < right, top <= y < bottom.
struct GridRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const GridRect&) const = default;
};

// The one place where cell lengths are made sane: a length that does not divide 60
// (zero and negatives included) is read as 15 minutes.
int NormalizeTimeSpan(int timeSpan);

// Returns the configuration the arithmetic really uses: the cell length normalised,
// pixel sizes below 1 replaced by their defaults, and start and end carried into
// canonical HHMM (minutes below 60) and clamped to 0..2400.
TimeGridConfig NormalizeConfig(const TimeGridConfig& config);

// HHMM <-> minutes since midnight. Minutes of 60 or more in an HHMM value carry.
int HhmmToMinutes(int hhmm);
int MinutesToHhmm(int minutes);

// The time of the next cell: minutes += timeSpan, carrying into the hour.
int NextCellTime(int hhmm, int timeSpan);

// Length between two times as HHMM (hours * 100 + minutes). A `to` before `from`
// gives 0, never a negative or borrowed value.
int GetTimeSpan(int to, int from);

// Length between two times in minutes (0 when `to` is before `from`).
int SpanMinutes(int to, int from);

// Cells of the day: whole hours times cells per hour, plus one partial cell when the
// day does not end on a cell boundary. 0 when the end is at or before the start.
int CellCount(const TimeGridConfig& config);

// Time (HHMM) of cell `index` (0 = the cell at the start); -1 outside 0..CellCount-1.
int CellTime(const TimeGridConfig& config, int index);

// Index of the cell that starts at `hhmm`, or -1 when no cell starts there.
int CellIndexOf(const TimeGridConfig& config, int hhmm);

// Index of the cell that contains `hhmm` (clamped to the day), or -1 for an empty day.
int CellIndexContaining(const TimeGridConfig& config, int hhmm);

// End of a one-cell range starting at `start`: start + timeSpan with the minute carried
// into the hour (945 with 15 gives 1000, never 960).
int OneCellEnd(int start, int timeSpan);

// ---- Day view ---------------------------------------------------------------------

// Column j spans x from 40 + j*W - hs to 40 + (j+1)*W - hs; cell k spans y from
// 30 + k*H - vs to 30 + (k+1)*H - vs. The rectangle combines both.
GridRect DayColumnRect(const TimeGridConfig& config, int column, int vs, int hs);
GridRect DayCellRect(const TimeGridConfig& config, int cellIndex, int column, int vs, int hs);

struct DayHit {
    int time = -1;    // HHMM of the hit cell, -1 for none
    int column = -1;  // column index, -1 for none
};

// The cell under (x, y). A hit counts only inside the client area less the time column
// and the header row, so a cell scrolled under the header cannot be hit.
DayHit DayHitTest(const TimeGridConfig& config, int columns, int x, int y, int vs, int hs,
                  int clientWidth, int clientHeight);

// ---- Week view --------------------------------------------------------------------

// Day block d (0..6) starts at y = 30 - vs + d * entities * 25 and is entities * 25 high.
GridRect WeekBlockRect(const TimeGridConfig& config, int entities, int day, int vs, int hs);
// Row r of block d spans 25 pixels; the rectangle covers the row's whole time axis.
GridRect WeekRowRect(const TimeGridConfig& config, int entities, int day, int row, int vs, int hs);
// Cell k of row r in block d; cell k spans x from 120 + k*H - hs to 120 + (k+1)*H - hs.
GridRect WeekCellRect(const TimeGridConfig& config, int entities, int day, int row, int cellIndex,
                      int vs, int hs);

struct WeekHit {
    int time = -1;       // HHMM of the hit cell, -1 for none
    int row = -1;        // row (entity) index inside the block
    int dayOffset = -1;  // the block: days after the week start (0..6)
};

// The cell under (x, y). -1 in the label column, under the header row, outside the
// client area or outside every block.
WeekHit WeekHitTest(const TimeGridConfig& config, int entities, int x, int y, int vs, int hs,
                    int clientWidth, int clientHeight);

// ---- Scrolling --------------------------------------------------------------------

struct ScrollRange {
    int min = 0;
    int max = 0;
    int page = 0;  // the client size along that axis
};

struct ScrollRanges {
    ScrollRange horizontal;
    ScrollRange vertical;
};

// Day view: vertical maximum cells*H + 40, horizontal maximum columns*W + 80.
ScrollRanges DayScrollRanges(const TimeGridConfig& config, int columns, int clientWidth,
                             int clientHeight);
// Week view: horizontal maximum cells*H + 130, vertical maximum entities*175 + 30.
ScrollRanges WeekScrollRanges(const TimeGridConfig& config, int entities, int clientWidth,
                              int clientHeight);

// Highest position a scroll bar with this range and page can take: max - page + 1, but
// never below min.
int MaxScrollPos(const ScrollRange& range);
int ClampScrollPos(int pos, const ScrollRange& range);

enum class ScrollCommand {
    LineUp,         // -10
    LineDown,       // +10
    PageUp,         // -60
    PageDown,       // +60
    ThumbTrack,     // to the thumb position while dragged
    ThumbPosition,  // to the thumb position when released
    Top,
    Bottom,
    EndScroll,  // no movement
};

// New position after a scroll command, clamped to the range.
int ApplyScrollCommand(int pos, ScrollCommand command, int thumbPos, const ScrollRange& range);

// Auto-scroll while dragging. Day view: one cell down when the pointer is below the
// client area, one cell up when it is above the bottom of the header row. Week view:
// one cell right when right of the client area, left when over the label column.
// Both return the new, clamped position (the old one when no scroll is due).
int DayAutoScroll(const TimeGridConfig& config, int y, int clientHeight, int vs,
                  const ScrollRange& vertical);
int WeekAutoScroll(const TimeGridConfig& config, int x, int clientWidth, int hs,
                   const ScrollRange& horizontal);

// ---- Forming a range by dragging ----------------------------------------------------

// A selection: anchor time, range start, range end and column (the row in the week
// view, whose date is kept by the view). All kNoTime when empty.
struct Selection {
    uint16_t anchor = kNoTime;
    uint16_t start = kNoTime;
    uint16_t end = kNoTime;
    uint16_t column = kNoTime;
    bool operator==(const Selection&) const = default;
};

bool IsEmpty(const Selection& selection);
// All four fields set: releasing the button opens the new-reservation dialog.
bool IsComplete(const Selection& selection);

// A reservation's time band in one column, HHMM.
struct TimeBand {
    int start = 0;
    int end = 0;
};

// True when [start, end) and the band share time (touching ends do not overlap).
bool Overlaps(int start, int end, const TimeBand& band);

// Button down on an empty cell: anchor = start = the cell, end = its one-cell end.
// An invalid cell (time < 0 or column < 0) gives an empty selection.
Selection BeginSelection(const TimeGridConfig& config, int cellTime, int column);

// One drag step in the day view. A cell at or after the anchor gives [anchor, end of
// the cell]; a cell before it gives [the cell, end of the anchor's cell]. The column
// stays the anchor's. When the new range would overlap one of `columnBands` (the
// reservations of the selection's column) or the hit is no cell, the selection is
// returned unchanged.
Selection StepDaySelection(const TimeGridConfig& config, const Selection& current, int hitTime,
                           std::span<const TimeBand> columnBands);

// The same along the week view's time axis; the range stays in the anchor's row and
// day: a hit in another row or day block leaves the selection unchanged.
Selection StepWeekSelection(const TimeGridConfig& config, const Selection& current,
                            int selectionDayOffset, const WeekHit& hit,
                            std::span<const TimeBand> rowBands);

// ---- Texts --------------------------------------------------------------------------

// The hour as shown: 24-hour, or ((hour - 1) mod 12) + 1 on the 12-hour clock.
int DisplayHour(int hour, bool clock24);

struct TimeLabel {
    int cellIndex = 0;  // drawn at the top edge of this cell (CellCount for the day's end)
    int time = 0;       // HHMM
    std::string text;
};

// Labels of the day view's time column, from the start up to and including the end.
// Cells without a label are left out. Empty for an empty day.
std::vector<TimeLabel> DayTimeLabels(const TimeGridConfig& config);

// The unit text after minute counts in the week view and the reservation time item.
inline constexpr const char* kMinutesUnitText = "分間";

// " 09:30-10:15 (45分)": the day view's selected range, painted inside it.
std::string DaySelectionText(int start, int end, bool clock24);
// "09:30-10:15 (45分)": the week view's tooltip while dragging.
std::string WeekDragTipText(int start, int end, bool clock24);
// "09:30-10:15 (45分間)" after a button down; with `painted`, the leading-space variant
// drawn inside the range.
std::string WeekSelectionText(int start, int end, bool clock24, bool painted);
// "<date> 09:30-10:15 (45分間)": the time item of a reservation.
std::string ReservationTimeItemText(const std::string& dateText, int start, int end, bool clock24);
// "09:30-10:15": the first column of the day list.
std::string ListTimeText(int start, int end, bool clock24);

}  // namespace velo::sheet
