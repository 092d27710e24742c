// The numbers and data behind the reservation reference: the tabs (all columns, then one per
// unit or doctor), the geometry of the reference grid (day blocks stacked downwards, the
// whole day squeezed into the width with fractional cells, one closing cell more than the
// day view), the days' reservations as bars per row, the band a press and a drag choose,
// and the choice handed back to the reservation dialog. Plain functions over the database
// and the time grid, so the widgets only draw and forward the mouse.
#pragma once

#include <QDate>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "sheet/sheetdata.h"
#include "sheet/timegrid.h"

class CVeloDBSys;

namespace velo::sheet {

// The tab column meaning "every column" (the first tab).
constexpr uint16_t kAllColumnsTab = 65535;

constexpr int kReferenceLabelWidth = 100;  // date and row labels on the left
constexpr int kReferenceRowHeight = 20;
constexpr int kReferenceMaxDays = 100;

// String resources of the reference dialog and view.
constexpr int kIdsReferenceWeekdays = 1505;  // "日 月 火 水 木 金 土", Sunday first
constexpr int kIdsAllColumnsTab = 1556;      // "すべて"
constexpr int kIdsDateHeading = 1557;        // "日付"

// Registers the texts above; calling it again is harmless.
void RegisterReferenceStrings();

struct ReferenceTab {
    std::string code;  // unit or doctor code; empty for "すべて"
    QString label;
};

// "すべて", then one tab "<%d> %s" per column (running number from 1, name).
std::vector<ReferenceTab> ReferenceTabs(const std::vector<ColumnEntity>& columns);

// Cells of the reference grid: with D = GetTimeSpan(end, start),
// (D / 100) * (60 / timeSpan) + ceil((D % 100) / timeSpan) + 1, the extra cell being the one
// at the day's end time. 0 for a day without time.
int ReferenceCellCount(const TimeGridConfig& config);

// The time of cell `index`: as the day view steps, and the end time for the last cell;
// -1 outside the grid.
int ReferenceCellTime(const TimeGridConfig& config, int index);

struct ReferenceLayout {
    TimeGridConfig config;  // normalised
    int cells = 0;
    double cellWidth = 0.0;  // (client width - label column) / cells, kept as a fraction
    int rowsPerBlock = 1;
    int blockHeight = kReferenceRowHeight;
    int days = 1;  // day blocks shown

    // Left edge of a cell (index == cells gives the right end of the day).
    double CellLeft(int index) const { return kReferenceLabelWidth + index * cellWidth; }
    // Top of a row of a day block with the view scrolled down by vs pixels.
    int RowTop(int day, int row, int vs) const {
        return kHeaderHeight - vs + day * blockHeight + row * kReferenceRowHeight;
    }
};

// The layout of a client area: rowsPerBlock rows a block ("すべて": one per column, else 1),
// as many whole blocks as fit below the header ((height - 31) / block height), at least one
// and at most kReferenceMaxDays.
ReferenceLayout MakeReferenceLayout(const TimeGridConfig& config, int rowsPerBlock,
                                    int clientWidth, int clientHeight);

struct ReferenceHit {
    int day = -1;   // block index
    int row = -1;   // row inside the block
    int cell = -1;  // cell index
    int time = -1;  // HHMM of a cell a band may start in; -1 for the closing cell
    bool Valid() const { return day >= 0 && row >= 0 && cell >= 0; }
};

// The cell under a point; nothing over the header, the label column or below the blocks.
ReferenceHit ReferenceHitTest(const ReferenceLayout& layout, int x, int y, int vs);

struct ReferenceBar {
    std::string reservationNo;
    int start = 0, end = 0;  // HHMM
    int row = 0;             // row inside the day block
    bool came = false;
    uint32_t colour = kDefaultBarColour;  // 0x00BBGGRR of the reservation type
    QString text;                         // "[chart] name", or "予約不可設定"
};

struct ReferenceDay {
    std::string date;  // YYYYMMDD
    bool dayOff = false;
    std::vector<ReferenceBar> bars;
};

struct ReferenceRequest {
    int columnMode = 0;                 // 0 units, 1 doctors
    std::vector<ColumnEntity> columns;  // the tabs' columns, in tab order
    uint16_t tabColumn = kAllColumnsTab;
    std::string editingNo;  // the reservation being edited is not shown
};

// Loads `days` days from `first` (at most kReferenceMaxDays): the live reservations of each
// day in the rows of the request (every column, or the tab's column alone as row 0),
// leaving out the one being edited and those of other columns. Returns 0 or the failing
// read's status; *out always holds `days` dated entries. On a failure *failedTable (when
// given) names the table file that could not be read.
int LoadReferenceDays(CVeloDBSys* db, const ReferenceRequest& request, const QDate& first,
                      int days, std::vector<ReferenceDay>* out,
                      std::string* failedTable = nullptr);

// The bands of one row of a day, for the overlap rule.
std::vector<TimeBand> RowBands(const ReferenceDay& day, int row);

// A chosen band: the selection's column is the row; `day` the block.
struct ReferenceBand {
    Selection selection;
    int day = -1;
    bool IsChosen() const { return IsComplete(selection) && day >= 0; }
};

// A press: a one-cell band on a free cell of the day's row; nothing on the closing cell or
// on a cell covered by a bar.
ReferenceBand PressReferenceBand(const ReferenceLayout& layout, const ReferenceDay& day,
                                 const ReferenceHit& hit);
// A drag step: the band grows towards the hit within its own row and day, and stays as it
// was when the new band would overlap a bar of that row.
ReferenceBand DragReferenceBand(const ReferenceLayout& layout, const ReferenceBand& band,
                                const ReferenceDay& day, const ReferenceHit& hit);

// " %02d:%02d - %02d:%02d" painted inside the band, hours on the configured clock.
QString ReferenceBandPaintText(int start, int end, bool clock24);

// What the dialog hands back to the reservation dialog.
struct ReferenceChoice {
    QDate date;
    int start = 0, end = 0;  // HHMM
    // The chosen column's code; empty when "すべて" was selected, meaning the reservation
    // dialog keeps its own column.
    std::string columnKey;
};

// The texts the reservation dialog shows for a choice: the date "%Y/%m/%d" and the band
// "%02d:%02d - %02d:%02d (%d分間)".
QString ReferenceDateText(const QDate& date);
QString ReferenceHandBackBandText(const ReferenceChoice& choice, bool clock24);

}  // namespace velo::sheet
