// The standby list's rows, the cancelled-patient rows and the standby entry's storage.
#include "sheet/standby.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>

#include "recman/recman.h"
#include "sheet/reservation.h"
#include "sheet/timegrid.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

const char* const kMonth = "月";
const char* const kDay = "日";
const char* const kYear = "年";
const char* const kUntil = "～";

// Reads `count` leading digits of text from `offset` (0 when they are missing).
int Digits(const std::string& text, size_t offset, size_t count) {
    int value = 0;
    for (size_t i = offset; i < offset + count && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsEnd(int status) { return status == recman::kEndOfFile || status == recman::kKeyNotFound; }

// " 5月 1日 09:00" of a day YYYYMMDD and a time HHMM.
QString DayAndTime(const std::string& day, int hhmm) {
    return QString::asprintf("%2d%s%2d%s %02d:%02d", Digits(day, 4, 2), kMonth, Digits(day, 6, 2),
                             kDay, hhmm / 100, hhmm % 100);
}

QString WishedText(const tagRESERVATIONSTANDBYDB& entry) {
    return DayAndTime(FieldText(entry.DateFrom), ParseTimeField(entry.TimeFrom)) +
           QStringLiteral(" ") + QString::fromUtf8(kUntil) + QStringLiteral(" ") +
           DayAndTime(FieldText(entry.DateTo), ParseTimeField(entry.TimeTo));
}

QString BookedText(const tagRESERVATIONDB& r) {
    const int end = ParseTimeField(r.EndTime);
    return DayAndTime(FieldText(r.ResDate), ParseTimeField(r.StartTime)) +
           QString::asprintf("-%02d:%02d", end / 100, end % 100);
}

QString CancelledTimeText(const tagRESERVATIONDB& r) {
    const std::string day = FieldText(r.ResDate);
    const int start = ParseTimeField(r.StartTime);
    const int end = ParseTimeField(r.EndTime);
    return QString::asprintf("%4d%s %2d%s%2d%s %02d:%02d-%02d:%02d %3d%s", Digits(day, 0, 4), kYear,
                             Digits(day, 4, 2), kMonth, Digits(day, 6, 2), kDay, start / 100,
                             start % 100, end / 100, end % 100, SpanMinutes(end, start),
                             kMinutesUnitText);
}

// A patient read at most once per load.
class CPatientCache {
public:
    int Open(CVeloDBSys* db) { return m_table.SetAssociatedDB(db); }
    // The patient, or null when there is none.
    const tagPATIENTDB* Find(const std::string& id) {
        auto it = m_found.find(id);
        if (it == m_found.end()) {
            const bool exists = !id.empty() && m_table.GetPatientData(id.c_str()) == recman::kOk;
            it = m_found.emplace(id, exists ? std::optional(m_table.m_Data) : std::nullopt).first;
        }
        return it->second ? &*it->second : nullptr;
    }

private:
    CPatientDB m_table;
    std::map<std::string, std::optional<tagPATIENTDB>> m_found;
};

bool IsCancelledStatus(uint8_t status) {
    return status == static_cast<uint8_t>(ResStatus::CancelledWithNotice) ||
           status == static_cast<uint8_t>(ResStatus::CancelledLastMinute) ||
           status == static_cast<uint8_t>(ResStatus::Revoked);
}

// The entry counts as booked while its reservation exists for the same patient and was
// not cancelled or withdrawn.
bool IsBooked(CReservationDB& reservations, const tagRESERVATIONSTANDBYDB& entry,
              QString* bookedTime) {
    const std::string number = FieldText(entry.ReservationNo);
    if (number.empty() || reservations.GetReservationData(number.c_str()) != recman::kOk)
        return false;
    const tagRESERVATIONDB& r = reservations.m_Data;
    if (IsCancelledStatus(r.Status) || FieldText(r.PatientID) != FieldText(entry.PatientID)) return false;
    *bookedTime = BookedText(r);
    return true;
}

int PositionAt(CReservationStandbyDB& table, int standbyNo) {
    return table.GetReservationStandbyData(StandbyNoText(standbyNo).c_str());
}

int LargestStandbyNo(CReservationStandbyDB& table, int* largest) {
    *largest = 0;
    table.SetKey(kStandbyKeyNo);
    int status = table.GetFIRST();
    for (; status == recman::kOk; status = table.GetNEXT())
        *largest = std::max(*largest, Digits(FieldText(table.m_Data.StandbyNo), 0, 10));
    return IsEnd(status) ? recman::kOk : status;
}

void FillEntryFields(const StandbyEntry& entry, tagRESERVATIONSTANDBYDB* record) {
    SetField(record->StandbyNo, StandbyNoText(entry.standbyNo).c_str());
    SetField(record->PatientID, entry.patientId.c_str());
    SetField(record->DateFrom, entry.dateFrom.c_str());
    SetField(record->DateTo, entry.dateTo.c_str());
    SetTimeField(record->TimeFrom, entry.timeFrom);
    SetTimeField(record->TimeTo, entry.timeTo);
    SetCp932Field(record->Memo, sizeof record->Memo, entry.memo);
}

}  // namespace

void RegisterStandbyStrings() {
    RegisterStrings({
        {kIdsNoShowMark, "＊"},
        {kIdsStandbyAddFailed, "データベースへの追加に失敗しました。"},
        {kIdsStandbyDeleteAsk, "選択している項目を削除してもよろしいですか？"},
        {kIdsStandbyBookAsk, "予約入力画面に戻ります。\n予約時間を選択してください。"},
    });
}

std::string StandbyNoText(int standbyNo) {
    char text[kStandbyNoWidth + 8];
    std::snprintf(text, sizeof text, "%010d", standbyNo);
    return text;
}

int LoadStandbyRows(CVeloDBSys* db, const std::string& from, const std::string& to,
                    bool showBooked, std::vector<StandbyRow>* out) {
    return CBaseDBCall::ReadConsistently([&]() -> int {
        out->clear();
        CReservationStandbyDB standby;
        CReservationDB reservations;
        CPatientCache patients;
        int status = standby.SetAssociatedDB(db);
        if (status == recman::kOk) status = reservations.SetAssociatedDB(db);
        if (status == recman::kOk) status = patients.Open(db);
        if (status != recman::kOk) return status;
        const StandbyKey first = StandbyKey::Make(StandbyNoText(0).c_str());
        standby.SetKey(kStandbyKeyNo);
        standby.SetKeyBuffer(&first, sizeof first);
        for (status = standby.GetGREQ(); status == recman::kOk; status = standby.GetNEXT()) {
            const tagRESERVATIONSTANDBYDB& entry = standby.m_Data;
            if (from > FieldText(entry.DateTo) || to < FieldText(entry.DateFrom)) continue;
            const tagPATIENTDB* patient = patients.Find(FieldText(entry.PatientID));
            if (patient == nullptr) continue;
            StandbyRow row;
            row.booked = IsBooked(reservations, entry, &row.bookedTime);
            if (row.booked && !showBooked) continue;
            row.standbyNo = Digits(FieldText(entry.StandbyNo), 0, 10);
            row.patientId = FieldText(entry.PatientID);
            row.chartNo = Cp932FieldToQString(patient->ChartNo);
            row.name = Cp932FieldToQString(patient->Name);
            row.wished = WishedText(entry);
            row.memo = Cp932FieldToQString(entry.Memo);
            out->push_back(std::move(row));
        }
        return IsEnd(status) ? recman::kOk : status;
    });
}

int LoadCancelledRows(CVeloDBSys* db, const std::string& from, const std::string& to,
                      bool noShowOnly, std::vector<CancelledRow>* out) {
    RegisterStandbyStrings();
    // The day index reads only the range; sorting afterwards gives the patient order in
    // which the list has always been shown.
    struct Found {
        std::string patientId, day, start;
        CancelledRow row;
    };
    std::vector<Found> found;
    const int status = CBaseDBCall::ReadConsistently([&]() -> int {
        found.clear();
        CReservationDB reservations;
        CPatientCache patients;
        int result = reservations.SetAssociatedDB(db);
        if (result == recman::kOk) result = patients.Open(db);
        if (result != recman::kOk) return result;
        const std::string today = CDate::ToYmd(CDate::Today());
        const std::string firstPatient = StandbyNoText(0);
        const ReservationDateKey key = ReservationDateKey::Make(from.c_str(), "0000");
        reservations.SetKey(kReservationKeyDate);
        reservations.SetKeyBuffer(&key, sizeof key);
        for (result = reservations.GetGREQ(); result == recman::kOk;
             result = reservations.GetNEXT()) {
            const tagRESERVATIONDB& r = reservations.m_Data;
            const std::string day = FieldText(r.ResDate);
            if (day > to) break;
            const bool noShow = r.Status == static_cast<uint8_t>(ResStatus::Booked) && day < today;
            if (!noShow && (noShowOnly || !IsCancelledStatus(r.Status))) continue;
            const std::string patientId = FieldText(r.PatientID);
            if (patientId < firstPatient) continue;
            const tagPATIENTDB* patient = patients.Find(patientId);
            if (patient == nullptr) continue;
            Found item{patientId, day, FieldText(r.StartTime), {}};
            item.row.reservationNo = FieldText(r.ReservationNo);
            item.row.patientId = patientId;
            item.row.noShow = noShow;
            item.row.chartNo = Cp932FieldToQString(patient->ChartNo);
            item.row.name = Cp932FieldToQString(patient->Name);
            item.row.time = (noShow ? LoadString(kIdsNoShowMark) : QString()) + CancelledTimeText(r);
            item.row.reason = Cp932FieldToQString(r.StatusReason);
            found.push_back(std::move(item));
        }
        return IsEnd(result) ? recman::kOk : result;
    });
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.patientId, a.day, a.start) < std::tie(b.patientId, b.day, b.start);
    });
    out->clear();
    for (Found& item : found) out->push_back(std::move(item.row));
    return status;
}

int ReadStandbyEntry(CVeloDBSys* db, int standbyNo, StandbyEntry* out) {
    CReservationStandbyDB table;
    int status = table.SetAssociatedDB(db);
    if (status == recman::kOk) status = PositionAt(table, standbyNo);
    if (status != recman::kOk) return status;
    const tagRESERVATIONSTANDBYDB& r = table.m_Data;
    out->standbyNo = standbyNo;
    out->patientId = FieldText(r.PatientID);
    out->dateFrom = FieldText(r.DateFrom);
    out->dateTo = FieldText(r.DateTo);
    out->timeFrom = ParseTimeField(r.TimeFrom);
    out->timeTo = ParseTimeField(r.TimeTo);
    out->memo = Cp932FieldToQString(r.Memo);
    out->reservationNo = FieldText(r.ReservationNo);
    return recman::kOk;
}

int SaveStandbyEntry(CVeloDBSys* db, const StandbyEntry& entry, int* savedNo) {
    CReservationStandbyDB table;
    int status = table.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    int number = entry.standbyNo;
    status = CBaseDBCall::RunInTransaction([&]() -> int {
        if (entry.standbyNo == 0) {
            int largest = 0;
            const int scan = LargestStandbyNo(table, &largest);
            if (scan != recman::kOk) return scan;
            number = largest + 1;
            StandbyEntry stored = entry;
            stored.standbyNo = number;
            std::memset(&table.m_Data, 0, sizeof table.m_Data);
            FillEntryFields(stored, &table.m_Data);
            return table.Insert();
        }
        // An edit keeps the stored reservation number and the reserved bytes.
        const int found = PositionAt(table, entry.standbyNo);
        if (found != recman::kOk) return found;
        FillEntryFields(entry, &table.m_Data);
        return table.Update();
    });
    if (status == recman::kOk && savedNo != nullptr) *savedNo = number;
    return status;
}

int DeleteStandbyEntries(CVeloDBSys* db, const std::vector<int>& standbyNos) {
    CReservationStandbyDB table;
    const int status = table.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    return CBaseDBCall::RunInTransaction([&]() -> int {
        for (int number : standbyNos) {
            int result = PositionAt(table, number);
            if (result == recman::kOk) result = table.Delete();
            if (result != recman::kOk) return result;
        }
        return recman::kOk;
    });
}

}  // namespace velo::sheet
