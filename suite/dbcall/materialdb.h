// Lab-work items (MATERIAL.BTR): appliances and prostheses ordered from technicians or
// outside labs, with their due and finish days.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// One lab-work item, 1124 bytes. Texts zero-terminated code page 932, dates YYYYMMDD.
//
// OFFSET SIZE FIELD           MEANING
//      0   14 MaterialNo      entry day YYYYMMDD and a five-digit serial (key 0)
//     14    9 CompletionDate  planned completion (due) day
//     23    1 DueKind         0 morning, 1 afternoon, 2 a time of day
//     24    5 DueTime         HHMM; "0000" unless DueKind is 2
//     29    9 FinishedDate    day finished; empty while not finished
//     38   21 PatientID       patient key
//     59    5 StaffCode       staff member or outside laboratory
//     64   81 ItemName        name of the item
//    145  201 Memo            remarks
//    346    9 OrderDate       day ordered
//    355    5 CategoryCode    lab-item category (MATERIALITEMCATE Code)
//    360  764 Reserved360     zero
struct tagMATERIALDB {
    char MaterialNo[14];
    char CompletionDate[9];
    uint8_t DueKind;
    char DueTime[5];
    char FinishedDate[9];
    char PatientID[21];
    char StaffCode[5];
    char ItemName[81];
    char Memo[201];
    char OrderDate[9];
    char CategoryCode[5];
    char Reserved360[764];
};
#pragma pack(pop)

static_assert(sizeof(tagMATERIALDB) == 1124);
static_assert(offsetof(tagMATERIALDB, CompletionDate) == 14);
static_assert(offsetof(tagMATERIALDB, DueKind) == 23);
static_assert(offsetof(tagMATERIALDB, DueTime) == 24);
static_assert(offsetof(tagMATERIALDB, FinishedDate) == 29);
static_assert(offsetof(tagMATERIALDB, PatientID) == 38);
static_assert(offsetof(tagMATERIALDB, StaffCode) == 59);
static_assert(offsetof(tagMATERIALDB, ItemName) == 64);
static_assert(offsetof(tagMATERIALDB, Memo) == 145);
static_assert(offsetof(tagMATERIALDB, OrderDate) == 346);
static_assert(offsetof(tagMATERIALDB, CategoryCode) == 355);

inline constexpr FieldDesc kMaterialFields[] = {
    VELO_FIELD(tagMATERIALDB, MaterialNo, kText),
    VELO_FIELD(tagMATERIALDB, CompletionDate, kDate),
    VELO_FIELD(tagMATERIALDB, DueKind, kByte),
    VELO_FIELD(tagMATERIALDB, DueTime, kTime),
    VELO_FIELD(tagMATERIALDB, FinishedDate, kDate),
    VELO_FIELD(tagMATERIALDB, PatientID, kText),
    VELO_FIELD(tagMATERIALDB, StaffCode, kText),
    VELO_FIELD(tagMATERIALDB, ItemName, kText),
    VELO_FIELD(tagMATERIALDB, Memo, kText),
    VELO_FIELD(tagMATERIALDB, OrderDate, kDate),
    VELO_FIELD(tagMATERIALDB, CategoryCode, kText),
};

class CMaterialDB final : public CTableDB<tagMATERIALDB> {
public:
    enum Key : int {
        kKeyMaterialNo = 0,         // MaterialNo (14), unique
        kKeyCompletion = 1,         // CompletionDate (9), MaterialNo (14): 23
        kKeyPatientNo = 2,          // PatientID (21), MaterialNo (14): 35
        kKeyPatientCompletion = 3,  // PatientID (21), CompletionDate (9): 30
    };

    explicit CMaterialDB(const char* unused = nullptr);

    // Reads the item with that number (key 0); 4 when there is none.
    int GetMaterialData(const char* materialNo);
    // Has the items at hand for the GetMaterialData calls that follow.
    int PrefetchMaterials(const std::vector<std::string>& materialNos);
};
