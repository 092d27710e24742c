// Reservation helpers: status tests, key buffers, time fields, the column scan and the
// last-visit rule; see reservation.h.
#include "sheet/reservation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "recman/recman.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"

namespace velo::sheet {
namespace {

// Zero-fills a key field and copies at most width - 1 bytes of text into it.
void CopyKeyText(char* field, size_t width, const char* text) {
    std::memset(field, 0, width);
    if (text != nullptr && width > 0) std::memcpy(field, text, ::strnlen(text, width - 1));
}

template <size_t N>
void CopyKeyText(char (&field)[N], const char* text) {
    CopyKeyText(field, N, text);
}

// Sorts after every stored ResDate: a patient's reservations are read from here back.
constexpr char kLastReservationDay[] = "99999999";

// Texts of two fields of the same width are equal up to their terminators.
bool SameText(const char* a, const char* b, size_t width) { return std::strncmp(a, b, width) == 0; }

}  // namespace

bool IsLiveStatus(uint8_t status) {
    return status == static_cast<uint8_t>(ResStatus::Booked) ||
           status == static_cast<uint8_t>(ResStatus::Came);
}

bool IsBlockedTime(const tagRESERVATIONDB& record) { return record.PatientID[0] == '\0'; }

ReservationPatientKey ReservationPatientKey::Make(const char* patientId, const char* resDate,
                                                  const char* startTime) {
    ReservationPatientKey key;
    CopyKeyText(key.PatientID, patientId);
    CopyKeyText(key.ResDate, resDate);
    CopyKeyText(key.StartTime, startTime);
    return key;
}

ReservationColumnKey ReservationColumnKey::Make(const char* code, const char* resDate,
                                                const char* startTime) {
    ReservationColumnKey key;
    CopyKeyText(key.Code, code);
    CopyKeyText(key.ResDate, resDate);
    CopyKeyText(key.StartTime, startTime);
    return key;
}

ReservationDateKey ReservationDateKey::Make(const char* resDate, const char* startTime) {
    ReservationDateKey key;
    CopyKeyText(key.ResDate, resDate);
    CopyKeyText(key.StartTime, startTime);
    return key;
}

PatientNameKey PatientNameKey::Make(const char* text) {
    PatientNameKey key;
    CopyKeyText(key.Text, text);
    return key;
}

PatientChartKey PatientChartKey::Make(const char* chartNo) {
    PatientChartKey key;
    CopyKeyText(key.ChartNo, chartNo);
    return key;
}

StandbyKey StandbyKey::Make(const char* standbyNo) {
    StandbyKey key;
    CopyKeyText(key.StandbyNo, standbyNo);
    return key;
}

ReasonKey ReasonKey::Make(const char* reasonCode) {
    ReasonKey key;
    CopyKeyText(key.ReasonCode, reasonCode);
    return key;
}

SaleLineKey SaleLineKey::Make(const char* saleNo) {
    SaleLineKey key;
    CopyKeyText(key.SaleNo, saleNo);
    std::memset(key.LineNo, 0, sizeof key.LineNo);
    return key;
}

std::string FormatTimeField(int hhmm) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", std::clamp(hhmm, 0, 2400));
    return text;
}

void SetTimeField(char (&field)[kTimeWidth], int hhmm) {
    CopyKeyText(field, FormatTimeField(hhmm).c_str());
}

int ParseTimeField(const char* field, size_t width) {
    if (field == nullptr) return 0;
    // Bounded copy, so a field without its terminator is never read past its width.
    char text[kTimeWidth] = {};
    const size_t limit = std::min(width, kTimeWidth);
    if (limit > 0) std::memcpy(text, field, ::strnlen(field, limit - 1));
    int value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) value = value * 10 + (*p - '0');
    return value;
}

namespace {
// A column's reservations of one day, and one more: what a strip reads at once.
constexpr uint32_t kColumnDayRows = 32;
// The walk back to a patient's latest came day: a few records mostly.
constexpr uint32_t kLastVisitRows = 4;


// Sets the table's key and key buffer for the first reservation of a column's day.
ReservationColumnKey SetOnColumnDay(CReservationDB& db, bool doctorMode, const char* code,
                                    const char* yyyymmdd) {
    const char* columnCode = (code == nullptr || code[0] == '\0') ? kDefaultColumnCode : code;
    const ReservationColumnKey key = ReservationColumnKey::Make(columnCode, yyyymmdd, "0000");
    db.SetKey(doctorMode ? kReservationKeyDoctor : kReservationKeyUnit);
    db.SetKeyBuffer(&key, sizeof key);
    return key;
}

// Sets the table's key and key buffer past the patient's newest reservation.
ReservationPatientKey SetAfterPatientsNewest(CReservationDB& db, const char* patientId) {
    const ReservationPatientKey key =
        ReservationPatientKey::Make(patientId, kLastReservationDay, "9999");
    db.SetKey(kReservationKeyPatient);
    db.SetKeyBuffer(&key, sizeof key);
    return key;
}
}  // namespace

void AskAheadForColumnDay(CVeloDBSys* db, bool doctorMode, const char* code,
                          const char* yyyymmdd) {
    CReservationDB reservations;
    if (reservations.SetAssociatedDB(db) != recman::kOk) return;
    SetOnColumnDay(reservations, doctorMode, code, yyyymmdd);
    reservations.AskAhead(recman::kOpGetGreaterOrEqual, kColumnDayRows);
}

void AskAheadForLastVisit(CVeloDBSys* db, const char* patientId) {
    if (patientId == nullptr || patientId[0] == '\0') return;
    CReservationDB reservations;
    if (reservations.SetAssociatedDB(db) != recman::kOk) return;
    SetAfterPatientsNewest(reservations, patientId);
    reservations.AskAhead(recman::kOpGetLessOrEqual, kLastVisitRows);
    CPatientDB patients;
    if (patients.SetAssociatedDB(db) == recman::kOk) patients.PrefetchPatients({patientId});
}

int ForEachReservationOfColumn(CReservationDB& db, bool doctorMode, const char* code,
                               const char* yyyymmdd,
                               const std::function<bool(const tagRESERVATIONDB&)>& visit) {
    const ReservationColumnKey key = SetOnColumnDay(db, doctorMode, code, yyyymmdd);
    db.ExpectRows(kColumnDayRows);
    int status = db.GetGREQ();
    while (status == recman::kOk && db.IsEOF() == 0) {
        const tagRESERVATIONDB& record = db.m_Data;
        const char* recordCode = doctorMode ? record.DoctorCode : record.UnitCode;
        if (!SameText(recordCode, key.Code, kColumnCodeWidth) ||
            !SameText(record.ResDate, key.ResDate, kDateWidth)) {
            return recman::kOk;
        }
        if (!visit(record)) return recman::kOk;
        status = db.GetNEXT();
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    return status;
}

int LastVisitRule(CVeloDBSys* db, const char* patientId) {
    if (patientId == nullptr || patientId[0] == '\0') return recman::kOk;

    // The latest came day of all the patient's reservations. The walk goes record by record
    // (GetPREV), not key by key, so reservations that share day and start time with another
    // are not skipped.
    CPatientDB patients;
    int status = patients.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    // Read with the walk below rather than after it.
    patients.PrefetchPatients({patientId});

    char cameDate[kDateWidth] = {};
    {
        CReservationDB reservations;
        status = reservations.SetAssociatedDB(db);
        if (status != recman::kOk) return status;
        const ReservationPatientKey key = SetAfterPatientsNewest(reservations, patientId);
        status = reservations.GetLEEQ();
        while (status == recman::kOk && reservations.IsEOF() == 0) {
            const tagRESERVATIONDB& record = reservations.m_Data;
            if (!SameText(record.PatientID, key.PatientID, kIdWidth)) break;
            if (record.Status == static_cast<uint8_t>(ResStatus::Came)) {
                CopyKeyText(cameDate, record.ResDate);
                break;
            }
            status = reservations.GetPREV();
        }
        if (status != recman::kOk && status != recman::kEndOfFile &&
            status != recman::kKeyNotFound) {
            return status;
        }
    }

    status = patients.GetPatientData(patientId);
    if (status != recman::kOk) return status;
    tagPATIENTDB& patient = patients.m_Data;
    if (cameDate[0] != '\0') {
        CopyKeyText(patient.LastVisitDate, cameDate);
    } else if (patient.LastVisitDate[0] == '\0') {
        CopyKeyText(patient.LastVisitDate, patient.FirstVisitDate);
    }
    return patients.Update();
}

}  // namespace velo::sheet
