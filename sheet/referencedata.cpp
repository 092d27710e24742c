// The reference grid's numbers and loads. The day's reservations are read on the date key
// inside one read transaction, with each patient and reservation type read once.
#include "sheet/referencedata.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "recman/recman.h"
#include "sheet/bookingrules.h"
#include "sheet/reservation.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

const char* const kCategoryResType = "0";

// Patients and reservation types of one load, each read once.
class CReferenceLookups {
public:
    // On a failure *failing names the file that would not open.
    int Open(CVeloDBSys* db, const char** failing) {
        int status = m_reservations.SetAssociatedDB(db);
        if (status != recman::kOk) {
            *failing = "RESERVATION.BTR";
            return status;
        }
        status = m_patients.SetAssociatedDB(db);
        if (status != recman::kOk) {
            *failing = "PATIENT1.BTR";
            return status;
        }
        m_typesOpen = m_categories.SetAssociatedDB(db) == recman::kOk;
        return recman::kOk;
    }

    CReservationDB& Reservations() { return m_reservations; }

    // "[chart] name" of a patient; the name alone falls back to nothing when unreadable.
    const QString& PatientText(const std::string& id) {
        auto it = m_patientTexts.find(id);
        if (it != m_patientTexts.end()) return it->second;
        QString text;
        if (m_patients.GetPatient1Data(id.c_str()) == recman::kOk) {
            text = QStringLiteral("[%1] %2").arg(Cp932FieldToQString(m_patients.m_Data.ChartNo),
                                                 Cp932FieldToQString(m_patients.m_Data.Name));
        } else {
            text = QStringLiteral("[] ");
        }
        return m_patientTexts.emplace(id, text).first->second;
    }

    uint32_t TypeColour(const std::string& code) {
        auto it = m_colours.find(code);
        if (it != m_colours.end()) return it->second;
        uint32_t colour = kDefaultBarColour;
        if (m_typesOpen &&
            m_categories.GetCategoryData(kCategoryResType, code.c_str()) == recman::kOk) {
            colour = static_cast<uint32_t>(m_categories.m_Data.Colour);
        }
        return m_colours.emplace(code, colour).first->second;
    }

private:
    CReservationDB m_reservations;
    CPatient1DB m_patients;
    CCategoryDB m_categories;
    bool m_typesOpen = false;
    std::unordered_map<std::string, QString> m_patientTexts;
    std::unordered_map<std::string, uint32_t> m_colours;
};

int RowOf(const ReferenceRequest& request, const std::string& code) {
    if (request.tabColumn != kAllColumnsTab) {
        const size_t tab = request.tabColumn;
        return tab < request.columns.size() && request.columns[tab].code == code ? 0 : -1;
    }
    for (size_t i = 0; i < request.columns.size(); ++i) {
        if (request.columns[i].code == code) return int(i);
    }
    return -1;
}

int LoadOneReferenceDay(CReferenceLookups& lookups, const ReferenceRequest& request,
                        ReferenceDay* day) {
    CReservationDB& table = lookups.Reservations();
    table.SetKey(CReservationDB::kKeyTime);
    const ReservationDateKey key = ReservationDateKey::Make(day->date.c_str(), "");
    table.SetKeyBuffer(&key, sizeof key);
    int status = table.GetGREQ();
    for (; status == recman::kOk; status = table.GetNEXT()) {
        const tagRESERVATIONDB& r = table.m_Data;
        if (std::string_view(r.ResDate, ::strnlen(r.ResDate, sizeof r.ResDate)) != day->date) break;
        if (!IsLiveStatus(r.Status)) continue;
        const std::string number = FieldText(r.ReservationNo);
        if (!request.editingNo.empty() && number == request.editingNo) continue;
        const int row = RowOf(request, FieldText(request.columnMode == 1 ? r.DoctorCode : r.UnitCode));
        if (row < 0) continue;
        ReferenceBar bar;
        bar.reservationNo = number;
        bar.start = ParseTimeField(r.StartTime);
        bar.end = ParseTimeField(r.EndTime);
        bar.row = row;
        bar.came = r.Status == static_cast<uint8_t>(ResStatus::Came);
        bar.colour = lookups.TypeColour(FieldText(r.ResTypeCode));
        const std::string patientId = FieldText(r.PatientID);
        bar.text = patientId.empty() ? QStringLiteral("予約不可設定")
                                     : lookups.PatientText(patientId);
        day->bars.push_back(std::move(bar));
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    return status;
}

// One read transaction around the load, so every day shows the same state of the files;
// inside a caller's transaction the load runs in that one.
template <typename Load>
int ReadInOneTransaction(Load load) {
    if (CBaseDBCall::BeginTran() != recman::kOk) return load();
    const int status = load();
    CBaseDBCall::EndTran();
    if (status == recman::kFileTableFull) return load();
    return status;
}

}  // namespace

void RegisterReferenceStrings() {
    RegisterStrings({
        {kIdsReferenceWeekdays, "日 月 火 水 木 金 土"},
        {kIdsAllColumnsTab, "すべて"},
        {kIdsDateHeading, "日付"},
    });
}

std::vector<ReferenceTab> ReferenceTabs(const std::vector<ColumnEntity>& columns) {
    RegisterReferenceStrings();
    std::vector<ReferenceTab> tabs;
    tabs.push_back({std::string(), LoadString(kIdsAllColumnsTab)});
    for (size_t i = 0; i < columns.size(); ++i) {
        tabs.push_back(
            {columns[i].code, QStringLiteral("<%1> %2").arg(int(i) + 1).arg(columns[i].name)});
    }
    return tabs;
}

int ReferenceCellCount(const TimeGridConfig& raw) {
    const TimeGridConfig config = NormalizeConfig(raw);
    if (config.end <= config.start) return 0;
    const int span = GetTimeSpan(config.end, config.start);
    const int partial = span % 100;
    return (span / 100) * (60 / config.timeSpan) +
           (partial + config.timeSpan - 1) / config.timeSpan + 1;
}

int ReferenceCellTime(const TimeGridConfig& raw, int index) {
    const TimeGridConfig config = NormalizeConfig(raw);
    const int cells = ReferenceCellCount(config);
    if (index < 0 || index >= cells) return -1;
    if (index == cells - 1) return config.end;
    return CellTime(config, index);
}

ReferenceLayout MakeReferenceLayout(const TimeGridConfig& config, int rowsPerBlock,
                                    int clientWidth, int clientHeight) {
    ReferenceLayout layout;
    layout.config = NormalizeConfig(config);
    layout.cells = ReferenceCellCount(layout.config);
    const int width = std::max(0, clientWidth - kReferenceLabelWidth);
    layout.cellWidth = layout.cells > 0 ? double(width) / layout.cells : 0.0;
    layout.rowsPerBlock = std::max(1, rowsPerBlock);
    layout.blockHeight = layout.rowsPerBlock * kReferenceRowHeight;
    const int fit = (clientHeight - kHeaderHeight - 1) / layout.blockHeight;
    layout.days = std::clamp(fit, 1, kReferenceMaxDays);
    return layout;
}

ReferenceHit ReferenceHitTest(const ReferenceLayout& layout, int x, int y, int vs) {
    ReferenceHit hit;
    if (y < kHeaderHeight || x < kReferenceLabelWidth || layout.cellWidth <= 0.0) return hit;
    const int content = y - kHeaderHeight + vs;
    if (content < 0) return hit;
    const int day = content / layout.blockHeight;
    const int cell = int(std::floor((x - kReferenceLabelWidth) / layout.cellWidth));
    if (day >= layout.days || cell >= layout.cells) return hit;
    hit.day = day;
    hit.row = (content % layout.blockHeight) / kReferenceRowHeight;
    hit.cell = cell;
    hit.time = cell == layout.cells - 1 ? -1 : CellTime(layout.config, cell);
    return hit;
}

int LoadReferenceDays(CVeloDBSys* db, const ReferenceRequest& request, const QDate& first,
                      int days, std::vector<ReferenceDay>* out, std::string* failedTable) {
    if (failedTable != nullptr) failedTable->clear();
    if (out == nullptr) return recman::kInvalidOperation;
    days = std::clamp(days, 0, kReferenceMaxDays);
    out->assign(size_t(days), ReferenceDay());
    for (int d = 0; d < days; ++d) {
        ReferenceDay& day = (*out)[size_t(d)];
        day.date = first.isValid() ? CDate::ToYmd(first.addDays(d)) : std::string();
        day.dayOff = first.isValid() && CDate().IsDayOff(day.date.c_str()) != 0;
    }
    if (!first.isValid() || days == 0) return recman::kOk;
    const char* failing = nullptr;
    const int status = ReadInOneTransaction([&] {
        for (ReferenceDay& day : *out) day.bars.clear();
        CReferenceLookups lookups;
        int st = lookups.Open(db, &failing);
        for (size_t d = 0; d < out->size() && st == recman::kOk; ++d) {
            st = LoadOneReferenceDay(lookups, request, &(*out)[d]);
            if (st != recman::kOk) failing = "RESERVATION.BTR";
        }
        return st;
    });
    if (status != recman::kOk && failedTable != nullptr && failing != nullptr) *failedTable = failing;
    return status;
}

std::vector<TimeBand> RowBands(const ReferenceDay& day, int row) {
    std::vector<TimeBand> bands;
    for (const ReferenceBar& bar : day.bars) {
        if (bar.row == row) bands.push_back({bar.start, bar.end});
    }
    return bands;
}

ReferenceBand PressReferenceBand(const ReferenceLayout& layout, const ReferenceDay& day,
                                 const ReferenceHit& hit) {
    if (!hit.Valid() || hit.time < 0 || hit.row >= layout.rowsPerBlock) return ReferenceBand();
    const int cellEnd = OneCellEnd(hit.time, layout.config.timeSpan);
    for (const TimeBand& band : RowBands(day, hit.row)) {
        if (Overlaps(hit.time, cellEnd, band)) return ReferenceBand();
    }
    ReferenceBand band;
    band.selection = BeginSelection(layout.config, hit.time, hit.row);
    band.day = hit.day;
    return band;
}

ReferenceBand DragReferenceBand(const ReferenceLayout& layout, const ReferenceBand& band,
                                const ReferenceDay& day, const ReferenceHit& hit) {
    if (!band.IsChosen()) return band;
    const WeekHit weekHit{hit.time, hit.row, hit.day};
    const std::vector<TimeBand> bands = RowBands(day, band.selection.column);
    ReferenceBand next = band;
    next.selection = StepWeekSelection(layout.config, band.selection, band.day, weekHit, bands);
    return next;
}

QString ReferenceBandPaintText(int start, int end, bool clock24) {
    return QString::asprintf(" %02d:%02d - %02d:%02d", DisplayHour(start / 100, clock24),
                             start % 100, DisplayHour(end / 100, clock24), end % 100);
}

QString ReferenceDateText(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QString ReferenceHandBackBandText(const ReferenceChoice& choice, bool clock24) {
    return BandText(choice.start, choice.end, clock24);
}

}  // namespace velo::sheet
