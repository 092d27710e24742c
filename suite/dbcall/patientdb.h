// Patients: the current patient record, kept in two files (PATIENT1.BTR 3600 bytes followed
// by PATIENT2.BTR 4000 bytes, both keyed by PatientID), which CPatientDB reads and writes as
// one 7600-byte record; each file alone for tools that copy them; and the old single-file
// format PATIENT.BTR (600 bytes) that is converted into the current one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

// Members of PATIENT1.BTR's record (3600 bytes). Texts zero-terminated code page 932,
// dates YYYYMMDD.
//
// OFFSET SIZE FIELD            MEANING
//      0   21 PatientID        "%010d" registration number (key 0)
//     21   41 Name             name
//     62   41 Kana             reading
//    103    2 Sex              "1" male, anything else female
//    105    9 BirthDate        birth date
//    114    9 FirstVisitDate   first visit
//    123    9 EntryDate        registration day (the old format's date, like FirstVisitDate)
//    132    9 LastVisitDate    last day the patient came
//    141    9 EndDate          end of treatment; empty while under treatment
//    150    3 ChargeCode       code carried from the old format
//    153    3 DoctorCode       the patient's doctor
//    156    1 InactiveFlag     non-zero: deleted / inactive, never listed
//    157   26 OldExtra         value carried from the old format
//    183   21 ChartNo          the ID the staff types and sees
//    204   21 HomeTel          home telephone
//    225   21 MobileTel        mobile telephone
//    246   41 GuardianName     guardian's name
//    287   41 GuardianKana     guardian's reading
//    328   11 ZipCode          postal code
//    339  201 Address1         address line 1
//    540  201 Address2         address line 2
//    741   21 HomeTelDigits    HomeTel without "-" and blanks
//    762   21 MobileTelDigits  MobileTel without "-" and blanks
//    783  256 Comment          comment
//   1039   81 Email            mail address for reminders
//   1120    3 ConditionCode    treatment condition, code of CONDITION.BTR; empty when not set
//   1123    4 IntroDrCode      referring doctor, code of INTRODR.BTR
//   1127    4 FamilyDrCode     family doctor, also a code of INTRODR.BTR
//   1131    4 WorkKindCode     kind of workplace or school, CATEGORY.BTR kind "3"
//   1135   81 WorkplaceName    name of the workplace or school
//   1216   21 WorkplaceTel     its telephone
//   1237    5 TraitCode        patient trait, code of custom table "AB" in CUSTOMTBL.BTR
//   1242   41 GuardianJob      guardian's occupation
//   1283   25 FreeTblCode      five codes of 5 bytes, one per free table: the entry of
//                              custom table "00".."04" in CUSTOMTBL.BTR
//   1308 2292 Reserved1308     zero
#define VELO_PATIENT1_MEMBERS \
    char PatientID[21];       \
    char Name[41];            \
    char Kana[41];            \
    char Sex[2];              \
    char BirthDate[9];        \
    char FirstVisitDate[9];   \
    char EntryDate[9];        \
    char LastVisitDate[9];    \
    char EndDate[9];          \
    char ChargeCode[3];       \
    char DoctorCode[3];       \
    uint8_t InactiveFlag;     \
    char OldExtra[26];        \
    char ChartNo[21];         \
    char HomeTel[21];         \
    char MobileTel[21];       \
    char GuardianName[41];    \
    char GuardianKana[41];    \
    char ZipCode[11];         \
    char Address1[201];       \
    char Address2[201];       \
    char HomeTelDigits[21];   \
    char MobileTelDigits[21]; \
    char Comment[256];        \
    char Email[81];           \
    char ConditionCode[3];    \
    char IntroDrCode[4];      \
    char FamilyDrCode[4];     \
    char WorkKindCode[4];     \
    char WorkplaceName[81];   \
    char WorkplaceTel[21];    \
    char TraitCode[5];        \
    char GuardianJob[41];     \
    char FreeTblCode[5][5];   \
    char Reserved1308[2292];

// Members of PATIENT2.BTR's record (4000 bytes); offsets relative to its start, which is
// offset 3600 of tagPATIENTDB.
//
// OFFSET SIZE FIELD             MEANING (offset in tagPATIENTDB)
//      0   21 <id>              PatientID, same as PATIENT1's (3600; key 0)
//     21  166 Reserved2_21      zero (3621)
//    187   21 OtherTel          other telephone (3787)
//    208    3 InsuranceType     insurance type code (3808)
//    211  364 Reserved2_211     zero (3811)
//    575  101 NextVisitContent  planned content of the next visit (4175)
//    676    9 NextVisitDate     planned next visit (4276)
//    685    4 NextFeeItemCode   fee item planned for the next visit (4285)
//    689    4 NextFeeCateCode   its category (4289)
//    693    1 NextIntervalUnit  0 days, 1 weeks, 2 months, 3 years (4293)
//    694  906 Reserved2_694     zero (4294)
//   1600    2 NextInterval      interval to the next visit, signed (5200)
//   1602    2 NextDuration      planned length of the next visit in minutes (5202)
//   1604    4 NextFee           planned fee in yen (5204)
//   1608 2392 Reserved2_1608    zero (5208)
#define VELO_PATIENT2_MEMBERS(idName) \
    char idName[21];                  \
    char Reserved2_21[166];           \
    char OtherTel[21];                \
    char InsuranceType[3];            \
    char Reserved2_211[364];          \
    char NextVisitContent[101];       \
    char NextVisitDate[9];            \
    char NextFeeItemCode[4];          \
    char NextFeeCateCode[4];          \
    uint8_t NextIntervalUnit;         \
    char Reserved2_694[906];          \
    int16_t NextInterval;             \
    int16_t NextDuration;             \
    int32_t NextFee;                  \
    char Reserved2_1608[2392];

// Masters the patient's coded fields point into, beside CONDITION.BTR and INTRODR.BTR.
// The workplace kind is a category of kind "3"; the patient trait and the five free tables
// are tables of CUSTOMTBL.BTR, the free tables "00" to "04" in the order of their names.
inline constexpr char kWorkKindCategory[] = "3";
inline constexpr char kPatientTraitTable[] = "AB";
inline constexpr int kPatientFreeTableCount = 5;

// The table id in CUSTOMTBL.BTR of free table 0..4: "00".."04".
inline std::string FreeTableId(int table) {
    return std::string{'0', static_cast<char>('0' + table)};
}

#pragma pack(push, 1)
// PATIENT1.BTR alone.
struct tagPATIENT1DB {
    VELO_PATIENT1_MEMBERS
};

// PATIENT2.BTR alone.
struct tagPATIENT2DB {
    VELO_PATIENT2_MEMBERS(PatientID)
};

// The whole patient (CPatientDB): PATIENT1's record, then PATIENT2's, 7600 bytes.
// Patient2ID repeats PatientID.
struct tagPATIENTDB {
    VELO_PATIENT1_MEMBERS
    VELO_PATIENT2_MEMBERS(Patient2ID)
};

// Old-format patient (PATIENT.BTR), 600 bytes.
//
// OFFSET SIZE FIELD         MEANING
//      0   21 PatientID     "%010d" (key 0)
//     21   21 Name          name
//     42   21 Kana          reading
//     63    2 Sex           "1" male, otherwise female
//     65    9 BirthDate     birth date
//     74    3 ChargeCode    code (to 150 of the current record)
//     77  256 Comment       comment
//    333    9 FirstVisitDate date (to 114 and 123)
//    342   21 GuardianName  guardian's name
//    363   21 GuardianKana  guardian's reading
//    384   21 Tel1          telephone 1
//    405   11 ZipCode       postal code
//    416   41 Address1      address line 1
//    457   41 Address2      address line 2
//    498    3 DoctorCode    code (to 153)
//    501   21 ChartNo       ID shown to users
//    522   21 Tel2          telephone 2
//    543    9 Reserved543   zero
//    552    9 LastVisitDate value (to 132)
//    561    1 DeletedMark   non-zero: deleted
//    562   38 OldExtra      value (to 157)
struct tagOLDPATIENTDB {
    char PatientID[21];
    char Name[21];
    char Kana[21];
    char Sex[2];
    char BirthDate[9];
    char ChargeCode[3];
    char Comment[256];
    char FirstVisitDate[9];
    char GuardianName[21];
    char GuardianKana[21];
    char Tel1[21];
    char ZipCode[11];
    char Address1[41];
    char Address2[41];
    char DoctorCode[3];
    char ChartNo[21];
    char Tel2[21];
    char Reserved543[9];
    char LastVisitDate[9];
    uint8_t DeletedMark;
    char OldExtra[38];
};
#pragma pack(pop)

static_assert(sizeof(tagPATIENT1DB) == 3600);
static_assert(sizeof(tagPATIENT2DB) == 4000);
static_assert(sizeof(tagPATIENTDB) == 7600);
static_assert(sizeof(tagOLDPATIENTDB) == 600);
static_assert(offsetof(tagPATIENTDB, Name) == 21);
static_assert(offsetof(tagPATIENTDB, Kana) == 62);
static_assert(offsetof(tagPATIENTDB, Sex) == 103);
static_assert(offsetof(tagPATIENTDB, BirthDate) == 105);
static_assert(offsetof(tagPATIENTDB, FirstVisitDate) == 114);
static_assert(offsetof(tagPATIENTDB, EntryDate) == 123);
static_assert(offsetof(tagPATIENTDB, LastVisitDate) == 132);
static_assert(offsetof(tagPATIENTDB, EndDate) == 141);
static_assert(offsetof(tagPATIENTDB, ChargeCode) == 150);
static_assert(offsetof(tagPATIENTDB, DoctorCode) == 153);
static_assert(offsetof(tagPATIENTDB, InactiveFlag) == 156);
static_assert(offsetof(tagPATIENTDB, OldExtra) == 157);
static_assert(offsetof(tagPATIENTDB, ChartNo) == 183);
static_assert(offsetof(tagPATIENTDB, HomeTel) == 204);
static_assert(offsetof(tagPATIENTDB, MobileTel) == 225);
static_assert(offsetof(tagPATIENTDB, GuardianName) == 246);
static_assert(offsetof(tagPATIENTDB, GuardianKana) == 287);
static_assert(offsetof(tagPATIENTDB, ZipCode) == 328);
static_assert(offsetof(tagPATIENTDB, Address1) == 339);
static_assert(offsetof(tagPATIENTDB, Address2) == 540);
static_assert(offsetof(tagPATIENTDB, HomeTelDigits) == 741);
static_assert(offsetof(tagPATIENTDB, MobileTelDigits) == 762);
static_assert(offsetof(tagPATIENTDB, Comment) == 783);
static_assert(offsetof(tagPATIENTDB, Email) == 1039);
static_assert(offsetof(tagPATIENTDB, ConditionCode) == 1120);
static_assert(offsetof(tagPATIENTDB, IntroDrCode) == 1123);
static_assert(offsetof(tagPATIENTDB, FamilyDrCode) == 1127);
static_assert(offsetof(tagPATIENTDB, WorkKindCode) == 1131);
static_assert(offsetof(tagPATIENTDB, WorkplaceName) == 1135);
static_assert(offsetof(tagPATIENTDB, WorkplaceTel) == 1216);
static_assert(offsetof(tagPATIENTDB, TraitCode) == 1237);
static_assert(offsetof(tagPATIENTDB, GuardianJob) == 1242);
static_assert(offsetof(tagPATIENTDB, FreeTblCode) == 1283);
static_assert(sizeof(tagPATIENTDB::FreeTblCode[0]) == 5);
static_assert(offsetof(tagPATIENTDB, Reserved1308) == 1308);
static_assert(offsetof(tagPATIENTDB, Patient2ID) == 3600);
static_assert(offsetof(tagPATIENTDB, OtherTel) == 3787);
static_assert(offsetof(tagPATIENTDB, InsuranceType) == 3808);
static_assert(offsetof(tagPATIENTDB, NextVisitContent) == 4175);
static_assert(offsetof(tagPATIENTDB, NextVisitDate) == 4276);
static_assert(offsetof(tagPATIENTDB, NextFeeItemCode) == 4285);
static_assert(offsetof(tagPATIENTDB, NextFeeCateCode) == 4289);
static_assert(offsetof(tagPATIENTDB, NextIntervalUnit) == 4293);
static_assert(offsetof(tagPATIENTDB, NextInterval) == 5200);
static_assert(offsetof(tagPATIENTDB, NextDuration) == 5202);
static_assert(offsetof(tagPATIENTDB, NextFee) == 5204);
static_assert(offsetof(tagPATIENT1DB, ChartNo) == offsetof(tagPATIENTDB, ChartNo));
static_assert(offsetof(tagPATIENT2DB, NextFee) + sizeof(tagPATIENT1DB) ==
              offsetof(tagPATIENTDB, NextFee));
static_assert(offsetof(tagOLDPATIENTDB, ChargeCode) == 74);
static_assert(offsetof(tagOLDPATIENTDB, Comment) == 77);
static_assert(offsetof(tagOLDPATIENTDB, FirstVisitDate) == 333);
static_assert(offsetof(tagOLDPATIENTDB, GuardianName) == 342);
static_assert(offsetof(tagOLDPATIENTDB, Tel1) == 384);
static_assert(offsetof(tagOLDPATIENTDB, ZipCode) == 405);
static_assert(offsetof(tagOLDPATIENTDB, Address1) == 416);
static_assert(offsetof(tagOLDPATIENTDB, Address2) == 457);
static_assert(offsetof(tagOLDPATIENTDB, DoctorCode) == 498);
static_assert(offsetof(tagOLDPATIENTDB, ChartNo) == 501);
static_assert(offsetof(tagOLDPATIENTDB, Tel2) == 522);
static_assert(offsetof(tagOLDPATIENTDB, LastVisitDate) == 552);
static_assert(offsetof(tagOLDPATIENTDB, DeletedMark) == 561);
static_assert(offsetof(tagOLDPATIENTDB, OldExtra) == 562);

inline constexpr FieldDesc kPatient1Fields[] = {
    VELO_FIELD(tagPATIENT1DB, PatientID, kText),
    VELO_FIELD(tagPATIENT1DB, Name, kText),
    VELO_FIELD(tagPATIENT1DB, Kana, kText),
    VELO_FIELD(tagPATIENT1DB, Sex, kText),
    VELO_FIELD(tagPATIENT1DB, BirthDate, kDate),
    VELO_FIELD(tagPATIENT1DB, FirstVisitDate, kDate),
    VELO_FIELD(tagPATIENT1DB, EntryDate, kDate),
    VELO_FIELD(tagPATIENT1DB, LastVisitDate, kDate),
    VELO_FIELD(tagPATIENT1DB, EndDate, kDate),
    VELO_FIELD(tagPATIENT1DB, ChargeCode, kText),
    VELO_FIELD(tagPATIENT1DB, DoctorCode, kText),
    VELO_FIELD(tagPATIENT1DB, InactiveFlag, kByte),
    VELO_FIELD(tagPATIENT1DB, OldExtra, kText),
    VELO_FIELD(tagPATIENT1DB, ChartNo, kText),
    VELO_FIELD(tagPATIENT1DB, HomeTel, kText),
    VELO_FIELD(tagPATIENT1DB, MobileTel, kText),
    VELO_FIELD(tagPATIENT1DB, GuardianName, kText),
    VELO_FIELD(tagPATIENT1DB, GuardianKana, kText),
    VELO_FIELD(tagPATIENT1DB, ZipCode, kText),
    VELO_FIELD(tagPATIENT1DB, Address1, kText),
    VELO_FIELD(tagPATIENT1DB, Address2, kText),
    VELO_FIELD(tagPATIENT1DB, HomeTelDigits, kText),
    VELO_FIELD(tagPATIENT1DB, MobileTelDigits, kText),
    VELO_FIELD(tagPATIENT1DB, Comment, kText),
    VELO_FIELD(tagPATIENT1DB, Email, kText),
    VELO_FIELD(tagPATIENT1DB, ConditionCode, kText),
    VELO_FIELD(tagPATIENT1DB, IntroDrCode, kText),
    VELO_FIELD(tagPATIENT1DB, FamilyDrCode, kText),
    VELO_FIELD(tagPATIENT1DB, WorkKindCode, kText),
    VELO_FIELD(tagPATIENT1DB, WorkplaceName, kText),
    VELO_FIELD(tagPATIENT1DB, WorkplaceTel, kText),
    VELO_FIELD(tagPATIENT1DB, TraitCode, kText),
    VELO_FIELD(tagPATIENT1DB, GuardianJob, kText),
    VELO_FIELD(tagPATIENT1DB, FreeTblCode[0], kText),
    VELO_FIELD(tagPATIENT1DB, FreeTblCode[1], kText),
    VELO_FIELD(tagPATIENT1DB, FreeTblCode[2], kText),
    VELO_FIELD(tagPATIENT1DB, FreeTblCode[3], kText),
    VELO_FIELD(tagPATIENT1DB, FreeTblCode[4], kText),
};

inline constexpr FieldDesc kPatient2Fields[] = {
    VELO_FIELD(tagPATIENT2DB, PatientID, kText),
    VELO_FIELD(tagPATIENT2DB, OtherTel, kText),
    VELO_FIELD(tagPATIENT2DB, InsuranceType, kText),
    VELO_FIELD(tagPATIENT2DB, NextVisitContent, kText),
    VELO_FIELD(tagPATIENT2DB, NextVisitDate, kDate),
    VELO_FIELD(tagPATIENT2DB, NextFeeItemCode, kText),
    VELO_FIELD(tagPATIENT2DB, NextFeeCateCode, kText),
    VELO_FIELD(tagPATIENT2DB, NextIntervalUnit, kByte),
    VELO_FIELD(tagPATIENT2DB, NextInterval, kInt16),
    VELO_FIELD(tagPATIENT2DB, NextDuration, kInt16),
    VELO_FIELD(tagPATIENT2DB, NextFee, kInt32),
};

inline constexpr FieldDesc kOldPatientFields[] = {
    VELO_FIELD(tagOLDPATIENTDB, PatientID, kText),
    VELO_FIELD(tagOLDPATIENTDB, Name, kText),
    VELO_FIELD(tagOLDPATIENTDB, Kana, kText),
    VELO_FIELD(tagOLDPATIENTDB, Sex, kText),
    VELO_FIELD(tagOLDPATIENTDB, BirthDate, kDate),
    VELO_FIELD(tagOLDPATIENTDB, ChargeCode, kText),
    VELO_FIELD(tagOLDPATIENTDB, Comment, kText),
    VELO_FIELD(tagOLDPATIENTDB, FirstVisitDate, kDate),
    VELO_FIELD(tagOLDPATIENTDB, GuardianName, kText),
    VELO_FIELD(tagOLDPATIENTDB, GuardianKana, kText),
    VELO_FIELD(tagOLDPATIENTDB, Tel1, kText),
    VELO_FIELD(tagOLDPATIENTDB, ZipCode, kText),
    VELO_FIELD(tagOLDPATIENTDB, Address1, kText),
    VELO_FIELD(tagOLDPATIENTDB, Address2, kText),
    VELO_FIELD(tagOLDPATIENTDB, DoctorCode, kText),
    VELO_FIELD(tagOLDPATIENTDB, ChartNo, kText),
    VELO_FIELD(tagOLDPATIENTDB, Tel2, kText),
    VELO_FIELD(tagOLDPATIENTDB, LastVisitDate, kDate),
    VELO_FIELD(tagOLDPATIENTDB, DeletedMark, kByte),
    VELO_FIELD(tagOLDPATIENTDB, OldExtra, kText),
};

// PATIENT1.BTR alone (tools that copy or convert the file).
class CPatient1DB final : public CTableDB<tagPATIENT1DB> {
public:
    enum Key : int { kKeyPatientID = 0, kKeyName = 1, kKeyKana = 2, kKeyChartNo = 3 };
    explicit CPatient1DB(const char* unused = nullptr);
    int GetPatient1Data(const char* patientId);
};

// PATIENT2.BTR alone.
class CPatient2DB final : public CTableDB<tagPATIENT2DB> {
public:
    enum Key : int { kKeyPatientID = 0 };
    explicit CPatient2DB(const char* unused = nullptr);
    int GetPatient2Data(const char* patientId);
};

// PATIENT.BTR, the old single-file format.
class COldPatientDB final : public CTableDB<tagOLDPATIENTDB> {
public:
    enum Key : int { kKeyPatientID = 0 };
    explicit COldPatientDB(const char* unused = nullptr);
    int GetOldPatientData(const char* patientId);
};

// The whole patient over both files. Navigation runs on PATIENT1.BTR (keys 0 PatientID,
// 1 Name, 2 Kana, 3 ChartNo); after each successful read the PATIENT2 part is read by
// PatientID (zeroed when that file holds no record for the patient). Insert, Update and
// Delete write both files inside one transaction (their own when none is open; inside the
// caller's, a failure is returned and the caller aborts).
class CPatientDB final : public CTableDB<tagPATIENTDB> {
public:
    enum Key : int { kKeyPatientID = 0, kKeyName = 1, kKeyKana = 2, kKeyChartNo = 3 };

    explicit CPatientDB(const char* unused = nullptr);

    // Opens PATIENT1.BTR and PATIENT2.BTR; both or neither stay open.
    int Open(const std::string& folder) override;
    using CBaseDBCall::Open;
    int Close() override;

    int Insert() override;
    // After GetPatient1Data the PATIENT2 part was not read: Update then writes PATIENT1.BTR
    // only and leaves the stored PATIENT2 record as it is.
    int Update() override;
    int Delete() override;

    // Exact read by PatientID (key 0); 4 when there is none.
    int GetPatientData(const char* patientId);
    // Has both records of each patient at hand for the GetPatientData calls that follow.
    int PrefetchPatients(const std::vector<std::string>& patientIds);
    // PATIENT1.BTR alone by PatientID; the PATIENT2 part is zeroed.
    int GetPatient1Data(const char* patientId);
    // The first patient in key order whose ChartNo / Name / Kana starts with the text
    // (code page 932 bytes); 4 when there is none. The record stays positioned, so the
    // caller can read on with GetNEXT.
    int GetPatientDataByID(const char* chartNoPrefix);
    int GetPatientDataByName(const char* namePrefix);
    int GetPatientDataByKana(const char* kanaPrefix);

protected:
    int AfterRead() override;

private:
    int GetByPrefix(int keyNumber, const char* prefix, size_t width, size_t fieldOffset);
    char* Part2() { return reinterpret_cast<char*>(&m_Data) + sizeof(tagPATIENT1DB); }
    // Writes the PATIENT2 part over the stored record of lookupId, or inserts it.
    int WritePart2(const char* lookupId);

    // PATIENT2.BTR, reading into and writing from the second part of m_Data.
    class CPart2 final : public CBaseDBCall {
    public:
        explicit CPart2(void* record);
        int ReadById(const char* patientId);
    };
    CPart2 m_part2;
    bool m_part2Loaded = false;
    bool m_readPart1Only = false;
    char m_loadedPatientId[21] = {};
};
