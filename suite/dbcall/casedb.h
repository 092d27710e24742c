// Case tables: case groups, cases, references and the cases registered for a patient.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// Case group (CASEPA.BTR), 64 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       group code (key 0)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   16 Reserved48 zero
struct tagCASEPADB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[16];
};

// Case (CASE.BTR), 64 bytes: a case within a case group.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 GroupCode  case group
//      4    4 Code       case code
//      8   41 Name       name
//     49    3 HiddenMark "__" hides the entry from lists and combos
//     52   12 Reserved52 zero
struct tagCASEDB {
    char GroupCode[4];
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved52[12];
};

// Case reference (CASEREF.BTR), 64 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       reference code (key 0)
//      4   41 Name       name
//     45   19 Reserved45 zero
struct tagCASEREFDB {
    char Code[4];
    char Name[41];
    char Reserved45[19];
};

// Case of a reference (CASERREG.BTR), 16 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 RefCode    case reference
//      4    4 GroupCode  case group
//      8    4 Code       case
//     12    4 Reserved12 zero
struct tagCASERREGDB {
    char RefCode[4];
    char GroupCode[4];
    char Code[4];
    char Reserved12[4];
};

// Case of a patient (CASEREG.BTR), 32 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0   21 PatientID  patient key
//     21    4 GroupCode  case group
//     25    4 Code       case
//     29    3 Reserved29 zero
struct tagCASEREGDB {
    char PatientID[21];
    char GroupCode[4];
    char Code[4];
    char Reserved29[3];
};
#pragma pack(pop)

static_assert(sizeof(tagCASEPADB) == 64);
static_assert(offsetof(tagCASEPADB, Name) == 4);
static_assert(offsetof(tagCASEPADB, HiddenMark) == 45);

static_assert(sizeof(tagCASEDB) == 64);
static_assert(offsetof(tagCASEDB, Code) == 4);
static_assert(offsetof(tagCASEDB, Name) == 8);
static_assert(offsetof(tagCASEDB, HiddenMark) == 49);

static_assert(sizeof(tagCASEREFDB) == 64);
static_assert(offsetof(tagCASEREFDB, Name) == 4);

static_assert(sizeof(tagCASERREGDB) == 16);
static_assert(offsetof(tagCASERREGDB, GroupCode) == 4);
static_assert(offsetof(tagCASERREGDB, Code) == 8);

static_assert(sizeof(tagCASEREGDB) == 32);
static_assert(offsetof(tagCASEREGDB, GroupCode) == 21);
static_assert(offsetof(tagCASEREGDB, Code) == 25);

inline constexpr FieldDesc kCasePaFields[] = {
    VELO_FIELD(tagCASEPADB, Code, kText),
    VELO_FIELD(tagCASEPADB, Name, kText),
    VELO_FIELD(tagCASEPADB, HiddenMark, kText),
};

inline constexpr FieldDesc kCaseFields[] = {
    VELO_FIELD(tagCASEDB, GroupCode, kText),
    VELO_FIELD(tagCASEDB, Code, kText),
    VELO_FIELD(tagCASEDB, Name, kText),
    VELO_FIELD(tagCASEDB, HiddenMark, kText),
};

inline constexpr FieldDesc kCaseRefFields[] = {
    VELO_FIELD(tagCASEREFDB, Code, kText),
    VELO_FIELD(tagCASEREFDB, Name, kText),
};

inline constexpr FieldDesc kCaseRRegFields[] = {
    VELO_FIELD(tagCASERREGDB, RefCode, kText),
    VELO_FIELD(tagCASERREGDB, GroupCode, kText),
    VELO_FIELD(tagCASERREGDB, Code, kText),
};

inline constexpr FieldDesc kCaseRegFields[] = {
    VELO_FIELD(tagCASEREGDB, PatientID, kText),
    VELO_FIELD(tagCASEREGDB, GroupCode, kText),
    VELO_FIELD(tagCASEREGDB, Code, kText),
};

class CCasePaDB final : public CTableDB<tagCASEPADB> {
public:
    enum Key : int {
        kKeyCode = 0,  // Code (4), unique
    };

    explicit CCasePaDB(const char* unused = nullptr);

    // Reads the group (key 0); 4 when there is none.
    int GetCasePaData(const char* code);
};

class CCaseDB final : public CTableDB<tagCASEDB> {
public:
    enum Key : int {
        kKeyGroupCode = 0,  // GroupCode (4), Code (4): 8, unique
    };

    explicit CCaseDB(const char* unused = nullptr);

    // Reads the case (key 0); 4 when there is none.
    int GetCaseData(const char* group, const char* code);
};

class CCaseRefDB final : public CTableDB<tagCASEREFDB> {
public:
    enum Key : int {
        kKeyCode = 0,  // Code (4), unique
    };

    explicit CCaseRefDB(const char* unused = nullptr);

    // Reads the reference (key 0); 4 when there is none.
    int GetCaseRefData(const char* code);
};

class CCaseRRegDB final : public CTableDB<tagCASERREGDB> {
public:
    enum Key : int {
        kKeyRefGroupCode = 0,  // RefCode (4), GroupCode (4), Code (4): 12, unique
    };

    explicit CCaseRRegDB(const char* unused = nullptr);
};

class CCaseRegDB final : public CTableDB<tagCASEREGDB> {
public:
    enum Key : int {
        kKeyPatientGroupCode = 0,  // PatientID (21), GroupCode (4), Code (4): 29, unique
    };

    explicit CCaseRegDB(const char* unused = nullptr);
};
