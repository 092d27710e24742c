// Master tables: small code lists (categories, doctors, staff, reservation ways, credit
// items, treatment and lab-item masters, custom tables) and the clinic record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// Category master (CATEGORY.BTR), 128 bytes: units, reservation types and insurance types, told
// apart by Type.
//
// OFFSET SIZE FIELD      MEANING
//      0    2 Type       kind: "0" reservation type, "1" unit, "2" insurance type
//      2    4 Code       code within the kind, two digits
//      6   41 Name       name
//     47   21 ShortName  short name for narrow columns
//     68    4 Colour     bar colour of a reservation type, 0x00BBGGRR
//     72    4 TextColour text colour on the bar, 0x00BBGGRR
//     76   20 Reserved76 zero
//     96    3 HiddenMark "__" hides the entry from lists and combos
//     99   29 Reserved99 zero
struct tagCATEGORYDB {
    char Type[2];
    char Code[4];
    char Name[41];
    char ShortName[21];
    int32_t Colour;
    int32_t TextColour;
    char Reserved76[20];
    char HiddenMark[3];
    char Reserved99[29];
};

// Doctor master (DOCTOR.BTR), 64 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    3 Code       two-digit doctor code (keys 0 and 1)
//      3   21 Name       name
//     24    3 HiddenMark "__" hides the entry from lists and combos
//     27   21 Kana       reading
//     48   16 Reserved48 zero
struct tagDOCTORDB {
    char Code[3];
    char Name[21];
    char HiddenMark[3];
    char Kana[21];
    char Reserved48[16];
};

// Condition master (CONDITION.BTR), 64 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    3 Code       code (key 0)
//      3   41 Name       name
//     44    3 HiddenMark "__" hides the entry from lists and combos
//     47   17 Reserved47 zero
struct tagCONDITIONDB {
    char Code[3];
    char Name[41];
    char HiddenMark[3];
    char Reserved47[17];
};

// Introducing doctor master (INTRODR.BTR), 400 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (key 0)
//      4   41 Name       name
//     45   41 Kana       reading
//     86   81 ClinicName clinic
//    167   11 ZipCode    postal code
//    178  201 Address    address
//    379   21 Tel        telephone
struct tagINTRODRDB {
    char Code[4];
    char Name[41];
    char Kana[41];
    char ClinicName[81];
    char ZipCode[11];
    char Address[201];
    char Tel[21];
};

// Credit (collected-fee) item (CREDITITEM.BTR), 128 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0    4 CategoryCode credit category code
//      4    4 ItemCode     item code within the category
//      8   81 ItemName     item name
//     89    3 HiddenMark   "__" hides the entry from lists and combos
//     92    4 Reserved92   zero
//     96    4 Price        price in yen, tax excluded
//    100   28 Reserved100  zero
struct tagCREDITITEMDB {
    char CategoryCode[4];
    char ItemCode[4];
    char ItemName[81];
    char HiddenMark[3];
    char Reserved92[4];
    int32_t Price;
    char Reserved100[28];
};

// Credit category (CREDITCATEGORY.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (keys 0 and 1)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   80 Reserved48 zero
struct tagCREDITCATEGORYDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[80];
};

// Custom (free) tables (CUSTOMTBL.BTR), 400 bytes: many small code lists in one file, told apart by
// TableID ("AA" staff names of the lab module).
//
// OFFSET SIZE FIELD      MEANING
//      0    3 TableID    table identifier, two characters
//      3    5 Code       code, digits
//      8    5 CodeCopy   copy of Code, kept by the merger
//     13   81 Name       name
//     94    3 HiddenMark "__" hides the entry from lists and combos
//     97  303 Reserved97 zero
struct tagCUSTOMTBLDB {
    char TableID[3];
    char Code[5];
    char CodeCopy[5];
    char Name[81];
    char HiddenMark[3];
    char Reserved97[303];
};

// Staff master (STAFF.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (keys 0 and 1)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   41 Kana       reading
//     89   39 Reserved89 zero
struct tagSTAFFDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Kana[41];
    char Reserved89[39];
};

// Reservation way master (RESERVATIONWAY.BTR), 128 bytes: how a reservation was made.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (keys 0 and 1)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   80 Reserved48 zero
struct tagRESERVATIONWAYDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[80];
};

// Treatment category (TREATMENTCATEGORY.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" category number (keys 0 and 1)
//      4   81 Name       name
//     85    3 HiddenMark "__" hides the entry from lists and combos
//     88   40 Reserved88 zero
struct tagTREATMENTCATEGORYDB {
    char Code[4];
    char Name[81];
    char HiddenMark[3];
    char Reserved88[40];
};

// Treatment item (TREATMENTITEM.BTR), 256 bytes: texts offered for the treatment field.
//
// OFFSET SIZE FIELD        MEANING
//      0    4 CategoryCode "%03d" treatment category
//      4    4 ItemCode     "%03d" item within it
//      8  201 Text         treatment text
//    209    3 HiddenMark   "__" hides the entry from lists and combos
//    212   44 Reserved212  zero
struct tagTREATMENTITEMDB {
    char CategoryCode[4];
    char ItemCode[4];
    char Text[201];
    char HiddenMark[3];
    char Reserved212[44];
};

// Lab-item category (MATERIALITEMCATE.BTR), 256 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    5 Code       "%04d" category code (keys 0 and 1)
//      5    5 HiddenMark "__" hides the category
//     10   81 Name       name
//     91  165 Reserved91 zero
struct tagMATERIALITEMCATEDB {
    char Code[5];
    char HiddenMark[5];
    char Name[81];
    char Reserved91[165];
};

// Lab-item name master (MATERIALITEM.BTR), 256 bytes: names offered per lab-item category.
//
// OFFSET SIZE FIELD        MEANING
//      0   11 ItemNo       "%010d" (key 0)
//     11    5 CategoryCode lab-item category; empty counts as 0
//     16   81 Name         item name; a name starting with "__" is hidden
//     97  159 Reserved97   zero
struct tagMATERIALITEMDB {
    char ItemNo[11];
    char CategoryCode[5];
    char Name[81];
    char Reserved97[159];
};

// Reception category (RECEPTCATEGORY.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (keys 0 and 1)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   80 Reserved48 zero
struct tagRECEPTCATEGORYDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[80];
};

// Clinic (owner) record (OWNER.BTR), 1000 bytes; one record, OwnerNo "001".
//
// OFFSET SIZE FIELD        MEANING
//      0    4 OwnerNo      "%03d" (key 0)
//      4   81 ClinicName   clinic name
//     85   81 ClinicKana   reading
//    166   41 DirectorName director
//    207   11 ZipCode      postal code
//    218  201 Address1     address line 1
//    419  201 Address2     address line 2
//    620   21 Tel          telephone
//    641   21 Fax          fax
//    662   81 Email        mail address
//    743  257 Reserved743  zero
struct tagOWNERDB {
    char OwnerNo[4];
    char ClinicName[81];
    char ClinicKana[81];
    char DirectorName[41];
    char ZipCode[11];
    char Address1[201];
    char Address2[201];
    char Tel[21];
    char Fax[21];
    char Email[81];
    char Reserved743[257];
};

// Cash register journal (REGI.BTR), 200 bytes: one line per payment taken.
//
// OFFSET SIZE FIELD       MEANING
//      0   14 RegiNo      "%013d" (key 0)
//     14    9 RegiDate    day
//     23    5 RegiTime    time
//     28   21 PatientID   patient key
//     49   14 SaleNo      sale paid
//     63    1 Kind        0 payment, 1 refund
//     64    4 Amount      yen
//     68    4 StaffCode   "%03d" staff
//     72  101 Memo        memo
//    173   27 Reserved173 zero
struct tagREGIDB {
    char RegiNo[14];
    char RegiDate[9];
    char RegiTime[5];
    char PatientID[21];
    char SaleNo[14];
    uint8_t Kind;
    int32_t Amount;
    char StaffCode[4];
    char Memo[101];
    char Reserved173[27];
};
#pragma pack(pop)

static_assert(sizeof(tagCATEGORYDB) == 128);
static_assert(offsetof(tagCATEGORYDB, Code) == 2);
static_assert(offsetof(tagCATEGORYDB, Name) == 6);
static_assert(offsetof(tagCATEGORYDB, ShortName) == 47);
static_assert(offsetof(tagCATEGORYDB, Colour) == 68);
static_assert(offsetof(tagCATEGORYDB, TextColour) == 72);
static_assert(offsetof(tagCATEGORYDB, HiddenMark) == 96);

static_assert(sizeof(tagDOCTORDB) == 64);
static_assert(offsetof(tagDOCTORDB, Name) == 3);
static_assert(offsetof(tagDOCTORDB, HiddenMark) == 24);
static_assert(offsetof(tagDOCTORDB, Kana) == 27);

static_assert(sizeof(tagCONDITIONDB) == 64);
static_assert(offsetof(tagCONDITIONDB, Name) == 3);
static_assert(offsetof(tagCONDITIONDB, HiddenMark) == 44);

static_assert(sizeof(tagINTRODRDB) == 400);
static_assert(offsetof(tagINTRODRDB, Name) == 4);
static_assert(offsetof(tagINTRODRDB, Kana) == 45);
static_assert(offsetof(tagINTRODRDB, ClinicName) == 86);
static_assert(offsetof(tagINTRODRDB, ZipCode) == 167);
static_assert(offsetof(tagINTRODRDB, Address) == 178);
static_assert(offsetof(tagINTRODRDB, Tel) == 379);

static_assert(sizeof(tagCREDITITEMDB) == 128);
static_assert(offsetof(tagCREDITITEMDB, ItemCode) == 4);
static_assert(offsetof(tagCREDITITEMDB, ItemName) == 8);
static_assert(offsetof(tagCREDITITEMDB, HiddenMark) == 89);
static_assert(offsetof(tagCREDITITEMDB, Price) == 96);

static_assert(sizeof(tagCREDITCATEGORYDB) == 128);
static_assert(offsetof(tagCREDITCATEGORYDB, Name) == 4);
static_assert(offsetof(tagCREDITCATEGORYDB, HiddenMark) == 45);

static_assert(sizeof(tagCUSTOMTBLDB) == 400);
static_assert(offsetof(tagCUSTOMTBLDB, Code) == 3);
static_assert(offsetof(tagCUSTOMTBLDB, CodeCopy) == 8);
static_assert(offsetof(tagCUSTOMTBLDB, Name) == 13);
static_assert(offsetof(tagCUSTOMTBLDB, HiddenMark) == 94);

static_assert(sizeof(tagSTAFFDB) == 128);
static_assert(offsetof(tagSTAFFDB, Name) == 4);
static_assert(offsetof(tagSTAFFDB, HiddenMark) == 45);
static_assert(offsetof(tagSTAFFDB, Kana) == 48);

static_assert(sizeof(tagRESERVATIONWAYDB) == 128);
static_assert(offsetof(tagRESERVATIONWAYDB, Name) == 4);
static_assert(offsetof(tagRESERVATIONWAYDB, HiddenMark) == 45);

static_assert(sizeof(tagTREATMENTCATEGORYDB) == 128);
static_assert(offsetof(tagTREATMENTCATEGORYDB, Name) == 4);
static_assert(offsetof(tagTREATMENTCATEGORYDB, HiddenMark) == 85);

static_assert(sizeof(tagTREATMENTITEMDB) == 256);
static_assert(offsetof(tagTREATMENTITEMDB, ItemCode) == 4);
static_assert(offsetof(tagTREATMENTITEMDB, Text) == 8);
static_assert(offsetof(tagTREATMENTITEMDB, HiddenMark) == 209);

static_assert(sizeof(tagMATERIALITEMCATEDB) == 256);
static_assert(offsetof(tagMATERIALITEMCATEDB, HiddenMark) == 5);
static_assert(offsetof(tagMATERIALITEMCATEDB, Name) == 10);

static_assert(sizeof(tagMATERIALITEMDB) == 256);
static_assert(offsetof(tagMATERIALITEMDB, CategoryCode) == 11);
static_assert(offsetof(tagMATERIALITEMDB, Name) == 16);

static_assert(sizeof(tagRECEPTCATEGORYDB) == 128);
static_assert(offsetof(tagRECEPTCATEGORYDB, Name) == 4);
static_assert(offsetof(tagRECEPTCATEGORYDB, HiddenMark) == 45);

static_assert(sizeof(tagOWNERDB) == 1000);
static_assert(offsetof(tagOWNERDB, ClinicName) == 4);
static_assert(offsetof(tagOWNERDB, ClinicKana) == 85);
static_assert(offsetof(tagOWNERDB, DirectorName) == 166);
static_assert(offsetof(tagOWNERDB, ZipCode) == 207);
static_assert(offsetof(tagOWNERDB, Address1) == 218);
static_assert(offsetof(tagOWNERDB, Address2) == 419);
static_assert(offsetof(tagOWNERDB, Tel) == 620);
static_assert(offsetof(tagOWNERDB, Fax) == 641);
static_assert(offsetof(tagOWNERDB, Email) == 662);

static_assert(sizeof(tagREGIDB) == 200);
static_assert(offsetof(tagREGIDB, RegiDate) == 14);
static_assert(offsetof(tagREGIDB, RegiTime) == 23);
static_assert(offsetof(tagREGIDB, PatientID) == 28);
static_assert(offsetof(tagREGIDB, SaleNo) == 49);
static_assert(offsetof(tagREGIDB, Kind) == 63);
static_assert(offsetof(tagREGIDB, Amount) == 64);
static_assert(offsetof(tagREGIDB, StaffCode) == 68);
static_assert(offsetof(tagREGIDB, Memo) == 72);

inline constexpr FieldDesc kCategoryFields[] = {
    VELO_FIELD(tagCATEGORYDB, Type, kText),       VELO_FIELD(tagCATEGORYDB, Code, kText),
    VELO_FIELD(tagCATEGORYDB, Name, kText),       VELO_FIELD(tagCATEGORYDB, ShortName, kText),
    VELO_FIELD(tagCATEGORYDB, Colour, kInt32),    VELO_FIELD(tagCATEGORYDB, TextColour, kInt32),
    VELO_FIELD(tagCATEGORYDB, HiddenMark, kText),
};

inline constexpr FieldDesc kDoctorFields[] = {
    VELO_FIELD(tagDOCTORDB, Code, kText),
    VELO_FIELD(tagDOCTORDB, Name, kText),
    VELO_FIELD(tagDOCTORDB, HiddenMark, kText),
    VELO_FIELD(tagDOCTORDB, Kana, kText),
};

inline constexpr FieldDesc kConditionFields[] = {
    VELO_FIELD(tagCONDITIONDB, Code, kText),
    VELO_FIELD(tagCONDITIONDB, Name, kText),
    VELO_FIELD(tagCONDITIONDB, HiddenMark, kText),
};

inline constexpr FieldDesc kIntroDrFields[] = {
    VELO_FIELD(tagINTRODRDB, Code, kText),    VELO_FIELD(tagINTRODRDB, Name, kText),
    VELO_FIELD(tagINTRODRDB, Kana, kText),    VELO_FIELD(tagINTRODRDB, ClinicName, kText),
    VELO_FIELD(tagINTRODRDB, ZipCode, kText), VELO_FIELD(tagINTRODRDB, Address, kText),
    VELO_FIELD(tagINTRODRDB, Tel, kText),
};

inline constexpr FieldDesc kCreditItemFields[] = {
    VELO_FIELD(tagCREDITITEMDB, CategoryCode, kText),
    VELO_FIELD(tagCREDITITEMDB, ItemCode, kText),
    VELO_FIELD(tagCREDITITEMDB, ItemName, kText),
    VELO_FIELD(tagCREDITITEMDB, HiddenMark, kText),
    VELO_FIELD(tagCREDITITEMDB, Price, kInt32),
};

inline constexpr FieldDesc kCreditCategoryFields[] = {
    VELO_FIELD(tagCREDITCATEGORYDB, Code, kText),
    VELO_FIELD(tagCREDITCATEGORYDB, Name, kText),
    VELO_FIELD(tagCREDITCATEGORYDB, HiddenMark, kText),
};

inline constexpr FieldDesc kCustomTblFields[] = {
    VELO_FIELD(tagCUSTOMTBLDB, TableID, kText),    VELO_FIELD(tagCUSTOMTBLDB, Code, kText),
    VELO_FIELD(tagCUSTOMTBLDB, CodeCopy, kText),   VELO_FIELD(tagCUSTOMTBLDB, Name, kText),
    VELO_FIELD(tagCUSTOMTBLDB, HiddenMark, kText),
};

inline constexpr FieldDesc kStaffFields[] = {
    VELO_FIELD(tagSTAFFDB, Code, kText),
    VELO_FIELD(tagSTAFFDB, Name, kText),
    VELO_FIELD(tagSTAFFDB, HiddenMark, kText),
    VELO_FIELD(tagSTAFFDB, Kana, kText),
};

inline constexpr FieldDesc kReservationWayFields[] = {
    VELO_FIELD(tagRESERVATIONWAYDB, Code, kText),
    VELO_FIELD(tagRESERVATIONWAYDB, Name, kText),
    VELO_FIELD(tagRESERVATIONWAYDB, HiddenMark, kText),
};

inline constexpr FieldDesc kTreatmentCategoryFields[] = {
    VELO_FIELD(tagTREATMENTCATEGORYDB, Code, kText),
    VELO_FIELD(tagTREATMENTCATEGORYDB, Name, kText),
    VELO_FIELD(tagTREATMENTCATEGORYDB, HiddenMark, kText),
};

inline constexpr FieldDesc kTreatmentItemFields[] = {
    VELO_FIELD(tagTREATMENTITEMDB, CategoryCode, kText),
    VELO_FIELD(tagTREATMENTITEMDB, ItemCode, kText),
    VELO_FIELD(tagTREATMENTITEMDB, Text, kText),
    VELO_FIELD(tagTREATMENTITEMDB, HiddenMark, kText),
};

inline constexpr FieldDesc kMaterialItemCateFields[] = {
    VELO_FIELD(tagMATERIALITEMCATEDB, Code, kText),
    VELO_FIELD(tagMATERIALITEMCATEDB, HiddenMark, kText),
    VELO_FIELD(tagMATERIALITEMCATEDB, Name, kText),
};

inline constexpr FieldDesc kMaterialItemFields[] = {
    VELO_FIELD(tagMATERIALITEMDB, ItemNo, kText),
    VELO_FIELD(tagMATERIALITEMDB, CategoryCode, kText),
    VELO_FIELD(tagMATERIALITEMDB, Name, kText),
};

inline constexpr FieldDesc kReceptCategoryFields[] = {
    VELO_FIELD(tagRECEPTCATEGORYDB, Code, kText),
    VELO_FIELD(tagRECEPTCATEGORYDB, Name, kText),
    VELO_FIELD(tagRECEPTCATEGORYDB, HiddenMark, kText),
};

inline constexpr FieldDesc kOwnerFields[] = {
    VELO_FIELD(tagOWNERDB, OwnerNo, kText),    VELO_FIELD(tagOWNERDB, ClinicName, kText),
    VELO_FIELD(tagOWNERDB, ClinicKana, kText), VELO_FIELD(tagOWNERDB, DirectorName, kText),
    VELO_FIELD(tagOWNERDB, ZipCode, kText),    VELO_FIELD(tagOWNERDB, Address1, kText),
    VELO_FIELD(tagOWNERDB, Address2, kText),   VELO_FIELD(tagOWNERDB, Tel, kText),
    VELO_FIELD(tagOWNERDB, Fax, kText),        VELO_FIELD(tagOWNERDB, Email, kText),
};

inline constexpr FieldDesc kRegiFields[] = {
    VELO_FIELD(tagREGIDB, RegiNo, kText),   VELO_FIELD(tagREGIDB, RegiDate, kDate),
    VELO_FIELD(tagREGIDB, RegiTime, kTime), VELO_FIELD(tagREGIDB, PatientID, kText),
    VELO_FIELD(tagREGIDB, SaleNo, kText),   VELO_FIELD(tagREGIDB, Kind, kByte),
    VELO_FIELD(tagREGIDB, Amount, kInt32),  VELO_FIELD(tagREGIDB, StaffCode, kText),
    VELO_FIELD(tagREGIDB, Memo, kText),
};

class CCategoryDB final : public CTableDB<tagCATEGORYDB> {
public:
    enum Key : int {
        kKeyTypeCode = 0,       // Type (2), Code (4): 6, unique
        kKeyTypeCodeOrder = 1,  // Type (2), Code (4): 6, duplicates allowed
    };

    explicit CCategoryDB(const char* unused = nullptr);

    // Reads the entry of that kind and code (key 0); 4 when there is none.
    int GetCategoryData(const char* type, const char* code);
};

class CDoctorDB final : public CTableDB<tagDOCTORDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (3), unique
        kKeyCodeOrder = 1,  // Code (3), duplicates allowed
    };

    explicit CDoctorDB(const char* unused = nullptr);

    // Reads the doctor with that code (key 0); 4 when there is none.
    int GetDoctorData(const char* code);
};

class CConditionDB final : public CTableDB<tagCONDITIONDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (3), unique
        kKeyCodeOrder = 1,  // Code (3), duplicates allowed
    };

    explicit CConditionDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetConditionData(const char* code);
};

class CIntroDrDB final : public CTableDB<tagINTRODRDB> {
public:
    enum Key : int {
        kKeyCode = 0,  // Code (4), unique
        kKeyKana = 1,  // Kana (41), duplicates allowed
    };

    explicit CIntroDrDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetIntroDrData(const char* code);
};

class CCreditItemDB final : public CTableDB<tagCREDITITEMDB> {
public:
    enum Key : int {
        kKeyCategoryItem = 0,       // CategoryCode (4), ItemCode (4): 8, unique
        kKeyCategoryItemOrder = 1,  // CategoryCode (4), ItemCode (4): 8, duplicates allowed
    };

    explicit CCreditItemDB(const char* unused = nullptr);

    // Reads the item (key 0); 4 when there is none.
    int GetCreditItemData(const char* category, const char* code);
};

class CCreditCategoryDB final : public CTableDB<tagCREDITCATEGORYDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CCreditCategoryDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetCreditCategoryData(const char* code);
};

class CCustomTblDB final : public CTableDB<tagCUSTOMTBLDB> {
public:
    enum Key : int {
        kKeyTableCode = 0,       // TableID (3), Code (5): 8, unique
        kKeyTableCodeOrder = 1,  // TableID (3), Code (5): 8, duplicates allowed
    };

    explicit CCustomTblDB(const char* unused = nullptr);

    // Reads the entry of that table and code (key 0); 4 when there is none.
    int GetCustomTblData(const char* table, const char* code);
};

class CStaffDB final : public CTableDB<tagSTAFFDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CStaffDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetStaffData(const char* code);
};

class CReservationWayDB final : public CTableDB<tagRESERVATIONWAYDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CReservationWayDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetReservationWayData(const char* code);
};

class CTreatmentCategoryDB final : public CTableDB<tagTREATMENTCATEGORYDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed
    };

    explicit CTreatmentCategoryDB(const char* unused = nullptr);

    // Reads the category (key 0); 4 when there is none.
    int GetTreatmentCategoryData(const char* code);
};

class CTreatmentItemDB final : public CTableDB<tagTREATMENTITEMDB> {
public:
    enum Key : int {
        kKeyCategoryItem = 0,       // CategoryCode (4), ItemCode (4): 8, unique
        kKeyCategoryItemOrder = 1,  // CategoryCode (4), ItemCode (4): 8, duplicates allowed
    };

    explicit CTreatmentItemDB(const char* unused = nullptr);

    // Reads the item (key 0); 4 when there is none.
    int GetTreatmentItemData(const char* category, const char* code);
};

class CMaterialItemCateDB final : public CTableDB<tagMATERIALITEMCATEDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (5), unique
        kKeyCodeOrder = 1,  // Code (5), duplicates allowed
    };

    explicit CMaterialItemCateDB(const char* unused = nullptr);

    // Reads the category (key 0); 4 when there is none.
    int GetMaterialItemCateData(const char* code);
};

class CMaterialItemDB final : public CTableDB<tagMATERIALITEMDB> {
public:
    enum Key : int {
        kKeyItemNo = 0,    // ItemNo (11), unique
        kKeyCategory = 1,  // CategoryCode (5), ItemNo (11): 16
    };

    explicit CMaterialItemDB(const char* unused = nullptr);

    // Reads the entry (key 0); 4 when there is none.
    int GetMaterialItemData(const char* itemNo);
};

class CReceptCategoryDB final : public CTableDB<tagRECEPTCATEGORYDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CReceptCategoryDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetReceptCategoryData(const char* code);
};

class COwnerDB final : public CTableDB<tagOWNERDB> {
public:
    enum Key : int {
        kKeyOwnerNo = 0,  // OwnerNo (4), unique
    };

    explicit COwnerDB(const char* unused = nullptr);

    // Reads the record (key 0); 4 when there is none.
    int GetOwnerData(const char* ownerNo);
};

class CRegiDB final : public CTableDB<tagREGIDB> {
public:
    enum Key : int {
        kKeyRegiNo = 0,  // RegiNo (14), unique
        kKeyDate = 1,    // RegiDate (9), RegiNo (14): 23
    };

    explicit CRegiDB(const char* unused = nullptr);

    // Reads the line (key 0); 4 when there is none.
    int GetRegiData(const char* regiNo);
};
