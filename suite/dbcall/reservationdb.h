// Reservations, standby (cancel-wait) entries and cancel reasons: records and table classes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// One reservation (RESERVATION.BTR), 1064 bytes. Texts are zero-terminated code page 932;
// dates YYYYMMDD, times HHMM ("%04d" of hours * 100 + minutes).
//
// OFFSET SIZE FIELD           MEANING
//      0   21 ReservationNo   "%010d" from CIndexControlDB::GetNexReservationIndex (key 0)
//     21   21 PatientID       patient key; empty for a blocked-time entry
//     42    9 ResDate         reservation day
//     51    5 StartTime       HHMM
//     56    5 EndTime         HHMM
//     61    4 UnitCode        unit (chair) code, two characters
//     65    4 DoctorCode      doctor code, two characters
//     69    4 ResTypeCode     reservation type code
//     73   41 Reserved73      carried through unchanged
//    114  201 Treatment       treatment text
//    315    1 Status          0 booked, 1 came, 2/3 cancelled, 4 withdrawn,
//                             5 old record of a change
//    316  101 StatusReason    reason of a change or cancellation
//    417    9 StatusDate      day the change or cancellation was recorded
//    426    1 ContactMethod   0 telephone, 1 mail
//    427    1 ContactStatus   contact status index; 0 not yet contacted
//    428  101 ContactComment  comment of the last contact
//    529    9 ContactDate     day of the last contact
//    538   10 Reserved538     carried through unchanged
//    548    4 CreditItemCode  item code of the collected fee
//    552    4 CreditCateCode  category code of the collected fee
//    556   14 SaleNo          sale booked for the collected fee; empty when none
//    570   14 MaterialNo      lab-work item the reservation waits for; empty when none
//    584   11 RecallNo        recall the reservation belongs to; empty when none
//    595    1 InsuranceFlag   1: the fee is the insurance-covered part
//    596    3 InsuranceType   insurance type code
//    599   17 Reserved599     carried through unchanged
//    616    4 Fee             collected fee in yen, tax excluded
//    620    4 StaffCode       "%03d" of the staff member who entered it; "000" when none
//    624    9 EntryDate       input day
//    633    4 ResWayCode      "%03d" of the reservation way; "000" when none
//    637  427 Reserved637     carried through unchanged
struct tagRESERVATIONDB {
    char ReservationNo[21];
    char PatientID[21];
    char ResDate[9];
    char StartTime[5];
    char EndTime[5];
    char UnitCode[4];
    char DoctorCode[4];
    char ResTypeCode[4];
    char Reserved73[41];
    char Treatment[201];
    uint8_t Status;
    char StatusReason[101];
    char StatusDate[9];
    uint8_t ContactMethod;
    uint8_t ContactStatus;
    char ContactComment[101];
    char ContactDate[9];
    char Reserved538[10];
    char CreditItemCode[4];
    char CreditCateCode[4];
    char SaleNo[14];
    char MaterialNo[14];
    char RecallNo[11];
    uint8_t InsuranceFlag;
    char InsuranceType[3];
    char Reserved599[17];
    int32_t Fee;
    char StaffCode[4];
    char EntryDate[9];
    char ResWayCode[4];
    char Reserved637[427];
};

// Standby (cancel-wait) entry (RESERVATIONSTANDBY.BTR), 800 bytes.
//
// OFFSET SIZE FIELD          MEANING
//      0   11 StandbyNo      "%010d"; largest in the file plus one (key 0)
//     11   21 PatientID      patient key
//     32    9 DateFrom       desired day from
//     41    9 DateTo         desired day to
//     50    5 TimeFrom       desired time from, "%02d%02d"
//     55    5 TimeTo         desired time to
//     60   21 ReservationNo  set when the entry has been booked
//     81  201 Memo           contact column; becomes the treatment text when booked
//    282  518 Reserved282    zero
struct tagRESERVATIONSTANDBYDB {
    char StandbyNo[11];
    char PatientID[21];
    char DateFrom[9];
    char DateTo[9];
    char TimeFrom[5];
    char TimeTo[5];
    char ReservationNo[21];
    char Memo[201];
    char Reserved282[518];
};

// Cancel reason (RESREASON.BTR), 128 bytes.
//
// OFFSET SIZE FIELD       MEANING
//      0    4 ReasonCode  "%03d" (key 0)
//      4  101 ReasonName  text shown in the cancel dialog
//    105    3 HiddenMark  "__" hides the entry
//    108   20 Reserved108 zero
struct tagRESREASONDB {
    char ReasonCode[4];
    char ReasonName[101];
    char HiddenMark[3];
    char Reserved108[20];
};
#pragma pack(pop)

static_assert(sizeof(tagRESERVATIONDB) == 1064);
static_assert(offsetof(tagRESERVATIONDB, PatientID) == 21);
static_assert(offsetof(tagRESERVATIONDB, ResDate) == 42);
static_assert(offsetof(tagRESERVATIONDB, StartTime) == 51);
static_assert(offsetof(tagRESERVATIONDB, EndTime) == 56);
static_assert(offsetof(tagRESERVATIONDB, UnitCode) == 61);
static_assert(offsetof(tagRESERVATIONDB, DoctorCode) == 65);
static_assert(offsetof(tagRESERVATIONDB, ResTypeCode) == 69);
static_assert(offsetof(tagRESERVATIONDB, Treatment) == 114);
static_assert(offsetof(tagRESERVATIONDB, Status) == 315);
static_assert(offsetof(tagRESERVATIONDB, StatusReason) == 316);
static_assert(offsetof(tagRESERVATIONDB, StatusDate) == 417);
static_assert(offsetof(tagRESERVATIONDB, ContactMethod) == 426);
static_assert(offsetof(tagRESERVATIONDB, ContactStatus) == 427);
static_assert(offsetof(tagRESERVATIONDB, ContactComment) == 428);
static_assert(offsetof(tagRESERVATIONDB, ContactDate) == 529);
static_assert(offsetof(tagRESERVATIONDB, CreditItemCode) == 548);
static_assert(offsetof(tagRESERVATIONDB, CreditCateCode) == 552);
static_assert(offsetof(tagRESERVATIONDB, SaleNo) == 556);
static_assert(offsetof(tagRESERVATIONDB, MaterialNo) == 570);
static_assert(offsetof(tagRESERVATIONDB, RecallNo) == 584);
static_assert(offsetof(tagRESERVATIONDB, InsuranceFlag) == 595);
static_assert(offsetof(tagRESERVATIONDB, InsuranceType) == 596);
static_assert(offsetof(tagRESERVATIONDB, Fee) == 616);
static_assert(offsetof(tagRESERVATIONDB, StaffCode) == 620);
static_assert(offsetof(tagRESERVATIONDB, EntryDate) == 624);
static_assert(offsetof(tagRESERVATIONDB, ResWayCode) == 633);
static_assert(offsetof(tagRESERVATIONDB, Reserved637) == 637);

static_assert(sizeof(tagRESERVATIONSTANDBYDB) == 800);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, PatientID) == 11);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, DateFrom) == 32);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, DateTo) == 41);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, TimeFrom) == 50);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, TimeTo) == 55);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, ReservationNo) == 60);
static_assert(offsetof(tagRESERVATIONSTANDBYDB, Memo) == 81);

static_assert(sizeof(tagRESREASONDB) == 128);
static_assert(offsetof(tagRESREASONDB, ReasonName) == 4);

inline constexpr FieldDesc kReservationFields[] = {
    VELO_FIELD(tagRESERVATIONDB, ReservationNo, kText),
    VELO_FIELD(tagRESERVATIONDB, PatientID, kText),
    VELO_FIELD(tagRESERVATIONDB, ResDate, kDate),
    VELO_FIELD(tagRESERVATIONDB, StartTime, kTime),
    VELO_FIELD(tagRESERVATIONDB, EndTime, kTime),
    VELO_FIELD(tagRESERVATIONDB, UnitCode, kText),
    VELO_FIELD(tagRESERVATIONDB, DoctorCode, kText),
    VELO_FIELD(tagRESERVATIONDB, ResTypeCode, kText),
    VELO_FIELD(tagRESERVATIONDB, Treatment, kText),
    VELO_FIELD(tagRESERVATIONDB, Status, kByte),
    VELO_FIELD(tagRESERVATIONDB, StatusReason, kText),
    VELO_FIELD(tagRESERVATIONDB, StatusDate, kDate),
    VELO_FIELD(tagRESERVATIONDB, ContactMethod, kByte),
    VELO_FIELD(tagRESERVATIONDB, ContactStatus, kByte),
    VELO_FIELD(tagRESERVATIONDB, ContactComment, kText),
    VELO_FIELD(tagRESERVATIONDB, ContactDate, kDate),
    VELO_FIELD(tagRESERVATIONDB, CreditItemCode, kText),
    VELO_FIELD(tagRESERVATIONDB, CreditCateCode, kText),
    VELO_FIELD(tagRESERVATIONDB, SaleNo, kText),
    VELO_FIELD(tagRESERVATIONDB, MaterialNo, kText),
    VELO_FIELD(tagRESERVATIONDB, RecallNo, kText),
    VELO_FIELD(tagRESERVATIONDB, InsuranceFlag, kByte),
    VELO_FIELD(tagRESERVATIONDB, InsuranceType, kText),
    VELO_FIELD(tagRESERVATIONDB, Fee, kInt32),
    VELO_FIELD(tagRESERVATIONDB, StaffCode, kText),
    VELO_FIELD(tagRESERVATIONDB, EntryDate, kDate),
    VELO_FIELD(tagRESERVATIONDB, ResWayCode, kText),
};

inline constexpr FieldDesc kReservationStandbyFields[] = {
    VELO_FIELD(tagRESERVATIONSTANDBYDB, StandbyNo, kText),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, PatientID, kText),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, DateFrom, kDate),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, DateTo, kDate),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, TimeFrom, kTime),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, TimeTo, kTime),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, ReservationNo, kText),
    VELO_FIELD(tagRESERVATIONSTANDBYDB, Memo, kText),
};

inline constexpr FieldDesc kResReasonFields[] = {
    VELO_FIELD(tagRESREASONDB, ReasonCode, kText),
    VELO_FIELD(tagRESREASONDB, ReasonName, kText),
    VELO_FIELD(tagRESREASONDB, HiddenMark, kText),
};

class CReservationDB final : public CTableDB<tagRESERVATIONDB> {
public:
    // Keys (segments concatenated; text segments zero-padded to their width):
    enum Key : int {
        kKeyReservationNo = 0,  // ReservationNo (21), unique
        kKeyPatientNo = 1,      // PatientID (21), ReservationNo (21): 42
        kKeyPatientTime = 2,    // PatientID (21), ResDate (9), StartTime (5): 35
        kKeyDoctorTime = 3,     // DoctorCode (4), ResDate (9), StartTime (5): 18
        kKeyUnitTime = 4,       // UnitCode (4), ResDate (9), StartTime (5): 18
        kKeyMaterial = 5,       // MaterialNo (14)
        kKeyTime = 6,           // ResDate (9), StartTime (5): 14
    };

    explicit CReservationDB(const char* unused = nullptr);

    // Reads the reservation with that number (key 0); 4 when there is none.
    int GetReservationData(const char* reservationNo);
};

class CReservationStandbyDB final : public CTableDB<tagRESERVATIONSTANDBYDB> {
public:
    enum Key : int {
        kKeyStandbyNo = 0,  // StandbyNo (11), unique
        kKeyPatient = 1,    // PatientID (21), StandbyNo (11): 32
        kKeyDateFrom = 2,   // DateFrom (9), StandbyNo (11): 20
    };

    explicit CReservationStandbyDB(const char* unused = nullptr);

    int GetReservationStandbyData(const char* standbyNo);
};

class CResReasonDB final : public CTableDB<tagRESREASONDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // ReasonCode (4), unique
        kKeyCodeOrder = 1,  // ReasonCode (4), duplicates allowed
    };

    explicit CResReasonDB(const char* unused = nullptr);

    int GetResReasonData(const char* reasonCode);
};
