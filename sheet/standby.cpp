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

// A patient read at most once per load. The lists show only the ID and name, which the
// patient file's first part holds.
class CPatientCache {
public:
    int Open(CVeloDBSys* db) { return m_table.SetAssociatedDB(db); }
    // The patient, or null when there is none or it could not be read (Status() says which).
    const tagPATIENT1DB* Find(const std::string& id) {
        auto it = m_found.find(id);
        if (it == m_found.end()) {
            const int status =
                id.empty() ? recman::kKeyNotFound : m_table.GetPatient1Data(id.c_str());
            if (status != recman::kOk && status != recman::kKeyNotFound) m_status = status;
            const bool exists = status == recman::kOk;
            it = m_found.emplace(id, exists ? std::optional(m_table.m_Data) : std::nullopt).first;
        }
        return it->second ? &*it->second : nullptr;
    }
    // 0, or the status of a patient read that failed otherwise than by finding no patient.
    int Status() const { return m_status; }
    const std::string& FileName() const { return m_table.GetFileName(); }

private:
    CPatient1DB m_table;
    int m_status = recman::kOk;
    std::map<std::string, std::optional<tagPATIENT1DB>> m_found;
};

// Keeps the name of the table file whose read failed with `status`; returns the status.
int Fail(std::string* failedFile, const std::string& tableFile, int status) {
    *failedFile = tableFile;
    return status;
}

bool IsCancelledStatus(uint8_t status) {
    return status == static_cast<uint8_t>(ResStatus::CancelledWithNotice) ||
           status == static_cast<uint8_t>(ResStatus::CancelledLastMinute) ||
           status == static_cast<uint8_t>(ResStatus::Revoked);
}

// The entry counts as booked while its reservation exists for the same patient and was
// not cancelled or withdrawn. Returns 0, or the status of a reservation read that failed
// otherwise than by finding no reservation.
int ReadBooked(CReservationDB& reservations, const tagRESERVATIONSTANDBYDB& entry, bool* booked,
               QString* bookedTime) {
    *booked = false;
    const std::string number = FieldText(entry.ReservationNo);
    if (number.empty()) return recman::kOk;
    const int status = reservations.GetReservationData(number.c_str());
    if (status == recman::kKeyNotFound) return recman::kOk;
    if (status != recman::kOk) return status;
    const tagRESERVATIONDB& r = reservations.m_Data;
    if (IsCancelledStatus(r.Status) || FieldText(r.PatientID) != FieldText(entry.PatientID))
        return recman::kOk;
    *booked = true;
    *bookedTime = BookedText(r);
    return recman::kOk;
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

int LoadStandbyRows(CVeloDBSys* db, const std::string& from, const std::string& to, bool showBooked,
                    std::vector<StandbyRow>* out, std::string* failedFile) {
    std::string failed;
    const int result = CBaseDBCall::ReadConsistently([&]() -> int {
        out->clear();
        failed.clear();
        CReservationStandbyDB standby;
        CReservationDB reservations;
        CPatientCache patients;
        int status = standby.SetAssociatedDB(db);
        if (status != recman::kOk) return Fail(&failed, standby.GetFileName(), status);
        status = reservations.SetAssociatedDB(db);
        if (status != recman::kOk) return Fail(&failed, reservations.GetFileName(), status);
        status = patients.Open(db);
        if (status != recman::kOk) return Fail(&failed, patients.FileName(), status);
        const StandbyKey first = StandbyKey::Make(StandbyNoText(0).c_str());
        standby.SetKey(kStandbyKeyNo);
        standby.SetKeyBuffer(&first, sizeof first);
        for (status = standby.GetGREQ(); status == recman::kOk; status = standby.GetNEXT()) {
            const tagRESERVATIONSTANDBYDB& entry = standby.m_Data;
            if (from > FieldText(entry.DateTo) || to < FieldText(entry.DateFrom)) continue;
            const tagPATIENT1DB* patient = patients.Find(FieldText(entry.PatientID));
            if (patients.Status() != recman::kOk)
                return Fail(&failed, patients.FileName(), patients.Status());
            if (patient == nullptr) continue;
            StandbyRow row;
            const int booked = ReadBooked(reservations, entry, &row.booked, &row.bookedTime);
            if (booked != recman::kOk) return Fail(&failed, reservations.GetFileName(), booked);
            if (row.booked && !showBooked) continue;
            row.standbyNo = Digits(FieldText(entry.StandbyNo), 0, 10);
            row.patientId = FieldText(entry.PatientID);
            row.chartNo = Cp932FieldToQString(patient->ChartNo);
            row.name = Cp932FieldToQString(patient->Name);
            row.wished = WishedText(entry);
            row.memo = Cp932FieldToQString(entry.Memo);
            out->push_back(std::move(row));
        }
        return IsEnd(status) ? recman::kOk : Fail(&failed, standby.GetFileName(), status);
    });
    if (result != recman::kOk && failedFile != nullptr) *failedFile = failed;
    return result;
}

int LoadCancelledRows(CVeloDBSys* db, const std::string& from, const std::string& to,
                      bool noShowOnly, std::vector<CancelledRow>* out, std::string* failedFile) {
    RegisterStandbyStrings();
    // The day index reads only the range; sorting afterwards gives the patient order in
    // which the list has always been shown.
    struct Found {
        std::string patientId, day, start;
        CancelledRow row;
    };
    std::vector<Found> found;
    std::string failed;
    const int status = CBaseDBCall::ReadConsistently([&]() -> int {
        found.clear();
        failed.clear();
        CReservationDB reservations;
        CPatientCache patients;
        int result = reservations.SetAssociatedDB(db);
        if (result != recman::kOk) return Fail(&failed, reservations.GetFileName(), result);
        result = patients.Open(db);
        if (result != recman::kOk) return Fail(&failed, patients.FileName(), result);
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
            const tagPATIENT1DB* patient = patients.Find(patientId);
            if (patients.Status() != recman::kOk)
                return Fail(&failed, patients.FileName(), patients.Status());
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
        return IsEnd(result) ? recman::kOk : Fail(&failed, reservations.GetFileName(), result);
    });
    if (status != recman::kOk && failedFile != nullptr) *failedFile = failed;
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
