// Reservation helpers of the appointment sheet: the status values of a reservation, the
// key buffers by which the sheet finds reservations, patients, standby entries, cancel
// reasons and sale lines, the four-digit time fields, the scan of one grid column's
// reservations of a day, and the rule that keeps a patient's last visit day current.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "suite/dbcall/reservationdb.h"

class CVeloDBSys;

namespace velo::sheet {

// The values of a reservation's Status byte.
enum class ResStatus : uint8_t {
    Booked = 0,               // booked, not yet come
    Came = 1,                 // the patient came
    CancelledWithNotice = 2,  // cancelled, the patient gave notice
    CancelledLastMinute = 3,  // cancelled just before the visit
    Revoked = 4,              // reservation withdrawn
    Changed = 5,              // old record of a changed reservation
};

// Only booked and came reservations are live: drawn, listed and counted.
bool IsLiveStatus(uint8_t status);

// A blocked-time entry is a reservation without a patient.
bool IsBlockedTime(const tagRESERVATIONDB& record);

// Field widths shared by the records and keys (each includes the terminating zero).
constexpr size_t kIdWidth = 21;
constexpr size_t kDateWidth = 9;
constexpr size_t kTimeWidth = 5;
constexpr size_t kColumnCodeWidth = 4;
constexpr size_t kNameWidth = 41;
constexpr size_t kStandbyNoWidth = 11;
constexpr size_t kReasonCodeWidth = 4;
constexpr size_t kSaleNoWidth = 14;
constexpr size_t kSaleLineNoWidth = 4;

// Record-manager key numbers the sheet uses.
constexpr int kReservationKeyPatient = 2;
constexpr int kReservationKeyDoctor = 3;
constexpr int kReservationKeyUnit = 4;
constexpr int kReservationKeyDate = 6;
constexpr int kPatientKeyName = 1;
constexpr int kPatientKeyKana = 2;
constexpr int kPatientKeyChartNo = 3;
constexpr int kStandbyKeyNo = 0;
constexpr int kReasonKeyCode = 0;
constexpr int kSaleLineKeySale = 0;

// The column code used when a sheet column has none.
inline constexpr const char* kDefaultColumnCode = "00";

#pragma pack(push, 1)

// Reservation key 2: a patient's reservations in time order.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient key
//     21    9 ResDate    YYYYMMDD
//     30    5 StartTime  HHMM
struct ReservationPatientKey {
    char PatientID[kIdWidth];
    char ResDate[kDateWidth];
    char StartTime[kTimeWidth];

    static ReservationPatientKey Make(const char* patientId, const char* resDate,
                                      const char* startTime);
};

// Reservation keys 3 (doctor) and 4 (unit): one column of one day.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       DoctorCode (key 3) or UnitCode (key 4), two characters
//      4    9 ResDate    YYYYMMDD
//     13    5 StartTime  HHMM
struct ReservationColumnKey {
    char Code[kColumnCodeWidth];
    char ResDate[kDateWidth];
    char StartTime[kTimeWidth];

    static ReservationColumnKey Make(const char* code, const char* resDate, const char* startTime);
};

// Reservation key 6: every reservation of a date range.
//
// OFFSET SIZE FIELD      MEANING
//      0    9 ResDate    YYYYMMDD
//      9    5 StartTime  HHMM
struct ReservationDateKey {
    char ResDate[kDateWidth];
    char StartTime[kTimeWidth];

    static ReservationDateKey Make(const char* resDate, const char* startTime);
};

// Patient keys 1 (Name) and 2 (Kana): prefix searches by name or reading.
//
// OFFSET SIZE FIELD  MEANING
//      0   41 Text   Name or Kana, code page 932
struct PatientNameKey {
    char Text[kNameWidth];

    static PatientNameKey Make(const char* text);
};

// Patient key 3: search by the chart number the staff types ("ID").
//
// OFFSET SIZE FIELD    MEANING
//      0   21 ChartNo  chart number
struct PatientChartKey {
    char ChartNo[kIdWidth];

    static PatientChartKey Make(const char* chartNo);
};

// Standby key 0.
//
// OFFSET SIZE FIELD      MEANING
//      0   11 StandbyNo  "%010d"
struct StandbyKey {
    char StandbyNo[kStandbyNoWidth];

    static StandbyKey Make(const char* standbyNo);
};

// Cancel reason key 0.
//
// OFFSET SIZE FIELD       MEANING
//      0    4 ReasonCode  reason code
struct ReasonKey {
    char ReasonCode[kReasonCodeWidth];

    static ReasonKey Make(const char* reasonCode);
};

// Sale line key 0: the lines of one sale, positioned with the sale number and zeros.
//
// OFFSET SIZE FIELD     MEANING
//      0   14 SaleNo    sale number
//     14    4 LineNo  line number (zeros to position at the first line)
struct SaleLineKey {
    char SaleNo[kSaleNoWidth];
    char LineNo[kSaleLineNoWidth];

    static SaleLineKey Make(const char* saleNo);
};

#pragma pack(pop)

static_assert(offsetof(ReservationPatientKey, ResDate) == 21);
static_assert(offsetof(ReservationPatientKey, StartTime) == 30);
static_assert(sizeof(ReservationPatientKey) == 35);
static_assert(offsetof(ReservationColumnKey, ResDate) == 4);
static_assert(offsetof(ReservationColumnKey, StartTime) == 13);
static_assert(sizeof(ReservationColumnKey) == 18);
static_assert(offsetof(ReservationDateKey, StartTime) == 9);
static_assert(sizeof(ReservationDateKey) == 14);
static_assert(sizeof(PatientNameKey) == 41);
static_assert(sizeof(PatientChartKey) == 21);
static_assert(sizeof(StandbyKey) == 11);
static_assert(sizeof(ReasonKey) == 4);
static_assert(offsetof(SaleLineKey, LineNo) == 14);
static_assert(sizeof(SaleLineKey) == 18);

// "%04d" of a clock time (905 -> "0905"); values outside 0..2400 are clamped to it.
std::string FormatTimeField(int hhmm);
// Writes FormatTimeField into a 5-byte time field.
void SetTimeField(char (&field)[kTimeWidth], int hhmm);
// The time of a four-digit field as an integer ("0905" -> 905), read like atoi: leading
// digits only, of at most width - 1 bytes (the field's text without its terminator, and
// never more than four); 0 for null or no digits.
int ParseTimeField(const char* field, size_t width = kTimeWidth);

// Calls `visit` for every reservation of one grid column on one day in start-time order:
// key 3 (DoctorCode) when doctorMode, else key 4 (UnitCode), positioned at (code, day,
// "0000") and read on while code and day match. An empty or null code means "00".
// `visit` returns false to stop early. The table must be open. Returns 0 when the scan
// ran to its end (an empty column included), else the failing read's status.
int ForEachReservationOfColumn(CReservationDB& db, bool doctorMode, const char* code,
                               const char* yyyymmdd,
                               const std::function<bool(const tagRESERVATIONDB&)>& visit);

// Inside a transaction that goes on to scan the column's day (ForEachReservationOfColumn),
// or to run LastVisitRule for the patient: asks for what they read first to come with the
// transaction's next read, so that on a server they cost no round trip of their own.
// Hints: nothing is read now, and a failure shows when the scan or the rule reads.
void AskAheadForColumnDay(CVeloDBSys* db, bool doctorMode, const char* code,
                          const char* yyyymmdd);
void AskAheadForLastVisit(CVeloDBSys* db, const char* patientId);

// Keeps the patient's LastVisitDate current after a reservation's came state was written:
// the latest day on which the patient came (Status 1), looked for from the patient's newest
// reservation back, becomes the LastVisitDate, whichever reservation was switched (ticking
// a forgotten older one must not move the day back); when there is none and LastVisitDate
// is empty, FirstVisitDate is copied into it; then the patient record is updated. Every
// reservation of the patient is visited, also several at the same day and time. Nothing is
// done (0) for an empty patient key. Returns 0 or the first failing status (the patient not
// found: 4); the caller owns any transaction around it.
int LastVisitRule(CVeloDBSys* db, const char* patientId);

}  // namespace velo::sheet
