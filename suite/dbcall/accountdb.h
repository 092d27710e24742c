// Contracts and their payment items, quotations, recalls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// Treatment contract (CONTRACT.BTR), 800 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0   21 PatientID    patient key
//     21   11 ContractNo   "%010d" within the patient
//     32    9 ContractDate day signed
//     41   81 Title        contract title
//    122    4 TotalAmount  yen
//    126    2 PaymentCount number of instalments
//    128    4 StaffCode    "%03d" staff
//    132  201 Memo         memo
//    333  467 Reserved333  zero
struct tagCONTRACTDB {
    char PatientID[21];
    char ContractNo[11];
    char ContractDate[9];
    char Title[81];
    int32_t TotalAmount;
    int16_t PaymentCount;
    char StaffCode[4];
    char Memo[201];
    char Reserved333[467];
};

// Contract payment item (CONTRACTITEM.BTR), 400 bytes: one instalment; pending when BillingFlag is
// 1, PaidFlag 0 and Amount not 0.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 PatientID   patient key
//     21   11 ContractNo  contract
//     32   11 ItemNo      "%010d" instalment
//     43    9 DueDate     due day
//     52   41 ItemName    text
//     93    4 Reserved93  zero
//     97    1 PaidFlag    1: paid
//     98    9 PaidDate    day paid
//    107    1 BillingFlag 1: an instalment to be paid
//    108   52 Reserved108 zero
//    160    4 Amount      yen
//    164    4 PaidAmount  yen received
//    168  232 Reserved168 zero
struct tagCONTRACTITEMDB {
    char PatientID[21];
    char ContractNo[11];
    char ItemNo[11];
    char DueDate[9];
    char ItemName[41];
    char Reserved93[4];
    uint8_t PaidFlag;
    char PaidDate[9];
    uint8_t BillingFlag;
    char Reserved108[52];
    int32_t Amount;
    int32_t PaidAmount;
    char Reserved168[232];
};

// Quotation (QUOTATION.BTR), 800 bytes.
//
// OFFSET SIZE FIELD         MEANING
//      0   21 PatientID     patient key
//     21   11 QuotationNo   "%010d" within the patient
//     32    9 QuotationDate day
//     41   81 Title         title
//    122    4 TotalAmount   yen, tax excluded
//    126    4 Tax           yen
//    130    4 StaffCode     "%03d" staff
//    134  201 Memo          memo
//    335  465 Reserved335   zero
struct tagQUOTATIONDB {
    char PatientID[21];
    char QuotationNo[11];
    char QuotationDate[9];
    char Title[81];
    int32_t TotalAmount;
    int32_t Tax;
    char StaffCode[4];
    char Memo[201];
    char Reserved335[465];
};

// Quotation line (QUOTATIONITEM.BTR), 400 bytes.
//
// OFFSET SIZE FIELD          MEANING
//      0   21 PatientID      patient key
//     21   11 QuotationNo    quotation
//     32    5 LineNo         "%04d"
//     37    4 CreditCateCode credit category
//     41    4 CreditItemCode credit item
//     45   81 ItemName       item name
//    126    4 Quantity       count
//    130    4 UnitPrice      yen
//    134    4 Amount         yen
//    138  262 Reserved138    zero
struct tagQUOTATIONITEMDB {
    char PatientID[21];
    char QuotationNo[11];
    char LineNo[5];
    char CreditCateCode[4];
    char CreditItemCode[4];
    char ItemName[81];
    int32_t Quantity;
    int32_t UnitPrice;
    int32_t Amount;
    char Reserved138[262];
};

// Quotation template line (QUOTATIONTBL.BTR), 400 bytes: lines of a quotation group.
//
// OFFSET SIZE FIELD          MEANING
//      0    4 GroupCode      quotation group
//      4    5 LineNo         "%04d"
//      9    4 CreditCateCode credit category
//     13    4 CreditItemCode credit item
//     17   81 ItemName       item name
//     98    4 Quantity       count
//    102    4 UnitPrice      yen
//    106  294 Reserved106    zero
struct tagQUOTATIONTBLDB {
    char GroupCode[4];
    char LineNo[5];
    char CreditCateCode[4];
    char CreditItemCode[4];
    char ItemName[81];
    int32_t Quantity;
    int32_t UnitPrice;
    char Reserved106[294];
};

// Quotation group (QUOTATIONGROUP.BTR), 128 bytes.
//
// OFFSET SIZE FIELD      MEANING
//      0    4 Code       "%03d" code (keys 0 and 1)
//      4   41 Name       name
//     45    3 HiddenMark "__" hides the entry from lists and combos
//     48   80 Reserved48 zero
struct tagQUOTATIONGROUPDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    char Reserved48[80];
};

// Recall (RECALL.BTR), 400 bytes: a planned call-back of a patient.
//
// OFFSET SIZE FIELD         MEANING
//      0   11 RecallNo      "%010d" (key 0)
//     11   21 PatientID     patient key
//     32    9 RecallDate    planned day
//     41    4 GroupCode     recall group
//     45    1 Status        0 open, 1 contacted, 2 booked, 3 closed
//     46    9 ContactDate   last contact
//     55   21 ReservationNo reservation booked for it
//     76  201 Memo          memo
//    277  123 Reserved277   zero
struct tagRECALLDB {
    char RecallNo[11];
    char PatientID[21];
    char RecallDate[9];
    char GroupCode[4];
    uint8_t Status;
    char ContactDate[9];
    char ReservationNo[21];
    char Memo[201];
    char Reserved277[123];
};

// Recall group (RECALLGROUP.BTR), 128 bytes.
//
// OFFSET SIZE FIELD          MEANING
//      0    4 Code           "%03d" code (keys 0 and 1)
//      4   41 Name           name
//     45    3 HiddenMark     "__" hides the entry from lists and combos
//     48    2 IntervalMonths default interval in months
//     50   78 Reserved50     zero
struct tagRECALLGROUPDB {
    char Code[4];
    char Name[41];
    char HiddenMark[3];
    int16_t IntervalMonths;
    char Reserved50[78];
};
#pragma pack(pop)

static_assert(sizeof(tagCONTRACTDB) == 800);
static_assert(offsetof(tagCONTRACTDB, ContractNo) == 21);
static_assert(offsetof(tagCONTRACTDB, ContractDate) == 32);
static_assert(offsetof(tagCONTRACTDB, Title) == 41);
static_assert(offsetof(tagCONTRACTDB, TotalAmount) == 122);
static_assert(offsetof(tagCONTRACTDB, PaymentCount) == 126);
static_assert(offsetof(tagCONTRACTDB, StaffCode) == 128);
static_assert(offsetof(tagCONTRACTDB, Memo) == 132);

static_assert(sizeof(tagCONTRACTITEMDB) == 400);
static_assert(offsetof(tagCONTRACTITEMDB, ContractNo) == 21);
static_assert(offsetof(tagCONTRACTITEMDB, ItemNo) == 32);
static_assert(offsetof(tagCONTRACTITEMDB, DueDate) == 43);
static_assert(offsetof(tagCONTRACTITEMDB, ItemName) == 52);
static_assert(offsetof(tagCONTRACTITEMDB, PaidFlag) == 97);
static_assert(offsetof(tagCONTRACTITEMDB, PaidDate) == 98);
static_assert(offsetof(tagCONTRACTITEMDB, BillingFlag) == 107);
static_assert(offsetof(tagCONTRACTITEMDB, Amount) == 160);
static_assert(offsetof(tagCONTRACTITEMDB, PaidAmount) == 164);

static_assert(sizeof(tagQUOTATIONDB) == 800);
static_assert(offsetof(tagQUOTATIONDB, QuotationNo) == 21);
static_assert(offsetof(tagQUOTATIONDB, QuotationDate) == 32);
static_assert(offsetof(tagQUOTATIONDB, Title) == 41);
static_assert(offsetof(tagQUOTATIONDB, TotalAmount) == 122);
static_assert(offsetof(tagQUOTATIONDB, Tax) == 126);
static_assert(offsetof(tagQUOTATIONDB, StaffCode) == 130);
static_assert(offsetof(tagQUOTATIONDB, Memo) == 134);

static_assert(sizeof(tagQUOTATIONITEMDB) == 400);
static_assert(offsetof(tagQUOTATIONITEMDB, QuotationNo) == 21);
static_assert(offsetof(tagQUOTATIONITEMDB, LineNo) == 32);
static_assert(offsetof(tagQUOTATIONITEMDB, CreditCateCode) == 37);
static_assert(offsetof(tagQUOTATIONITEMDB, CreditItemCode) == 41);
static_assert(offsetof(tagQUOTATIONITEMDB, ItemName) == 45);
static_assert(offsetof(tagQUOTATIONITEMDB, Quantity) == 126);
static_assert(offsetof(tagQUOTATIONITEMDB, UnitPrice) == 130);
static_assert(offsetof(tagQUOTATIONITEMDB, Amount) == 134);

static_assert(sizeof(tagQUOTATIONTBLDB) == 400);
static_assert(offsetof(tagQUOTATIONTBLDB, LineNo) == 4);
static_assert(offsetof(tagQUOTATIONTBLDB, CreditCateCode) == 9);
static_assert(offsetof(tagQUOTATIONTBLDB, CreditItemCode) == 13);
static_assert(offsetof(tagQUOTATIONTBLDB, ItemName) == 17);
static_assert(offsetof(tagQUOTATIONTBLDB, Quantity) == 98);
static_assert(offsetof(tagQUOTATIONTBLDB, UnitPrice) == 102);

static_assert(sizeof(tagQUOTATIONGROUPDB) == 128);
static_assert(offsetof(tagQUOTATIONGROUPDB, Name) == 4);
static_assert(offsetof(tagQUOTATIONGROUPDB, HiddenMark) == 45);

static_assert(sizeof(tagRECALLDB) == 400);
static_assert(offsetof(tagRECALLDB, PatientID) == 11);
static_assert(offsetof(tagRECALLDB, RecallDate) == 32);
static_assert(offsetof(tagRECALLDB, GroupCode) == 41);
static_assert(offsetof(tagRECALLDB, Status) == 45);
static_assert(offsetof(tagRECALLDB, ContactDate) == 46);
static_assert(offsetof(tagRECALLDB, ReservationNo) == 55);
static_assert(offsetof(tagRECALLDB, Memo) == 76);

static_assert(sizeof(tagRECALLGROUPDB) == 128);
static_assert(offsetof(tagRECALLGROUPDB, Name) == 4);
static_assert(offsetof(tagRECALLGROUPDB, HiddenMark) == 45);
static_assert(offsetof(tagRECALLGROUPDB, IntervalMonths) == 48);

inline constexpr FieldDesc kContractFields[] = {
    VELO_FIELD(tagCONTRACTDB, PatientID, kText),    VELO_FIELD(tagCONTRACTDB, ContractNo, kText),
    VELO_FIELD(tagCONTRACTDB, ContractDate, kDate), VELO_FIELD(tagCONTRACTDB, Title, kText),
    VELO_FIELD(tagCONTRACTDB, TotalAmount, kInt32), VELO_FIELD(tagCONTRACTDB, PaymentCount, kInt16),
    VELO_FIELD(tagCONTRACTDB, StaffCode, kText),    VELO_FIELD(tagCONTRACTDB, Memo, kText),
};

inline constexpr FieldDesc kContractItemFields[] = {
    VELO_FIELD(tagCONTRACTITEMDB, PatientID, kText),
    VELO_FIELD(tagCONTRACTITEMDB, ContractNo, kText),
    VELO_FIELD(tagCONTRACTITEMDB, ItemNo, kText),
    VELO_FIELD(tagCONTRACTITEMDB, DueDate, kDate),
    VELO_FIELD(tagCONTRACTITEMDB, ItemName, kText),
    VELO_FIELD(tagCONTRACTITEMDB, PaidFlag, kByte),
    VELO_FIELD(tagCONTRACTITEMDB, PaidDate, kDate),
    VELO_FIELD(tagCONTRACTITEMDB, BillingFlag, kByte),
    VELO_FIELD(tagCONTRACTITEMDB, Amount, kInt32),
    VELO_FIELD(tagCONTRACTITEMDB, PaidAmount, kInt32),
};

inline constexpr FieldDesc kQuotationFields[] = {
    VELO_FIELD(tagQUOTATIONDB, PatientID, kText),
    VELO_FIELD(tagQUOTATIONDB, QuotationNo, kText),
    VELO_FIELD(tagQUOTATIONDB, QuotationDate, kDate),
    VELO_FIELD(tagQUOTATIONDB, Title, kText),
    VELO_FIELD(tagQUOTATIONDB, TotalAmount, kInt32),
    VELO_FIELD(tagQUOTATIONDB, Tax, kInt32),
    VELO_FIELD(tagQUOTATIONDB, StaffCode, kText),
    VELO_FIELD(tagQUOTATIONDB, Memo, kText),
};

inline constexpr FieldDesc kQuotationItemFields[] = {
    VELO_FIELD(tagQUOTATIONITEMDB, PatientID, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, QuotationNo, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, LineNo, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, CreditCateCode, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, CreditItemCode, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, ItemName, kText),
    VELO_FIELD(tagQUOTATIONITEMDB, Quantity, kInt32),
    VELO_FIELD(tagQUOTATIONITEMDB, UnitPrice, kInt32),
    VELO_FIELD(tagQUOTATIONITEMDB, Amount, kInt32),
};

inline constexpr FieldDesc kQuotationTblFields[] = {
    VELO_FIELD(tagQUOTATIONTBLDB, GroupCode, kText),
    VELO_FIELD(tagQUOTATIONTBLDB, LineNo, kText),
    VELO_FIELD(tagQUOTATIONTBLDB, CreditCateCode, kText),
    VELO_FIELD(tagQUOTATIONTBLDB, CreditItemCode, kText),
    VELO_FIELD(tagQUOTATIONTBLDB, ItemName, kText),
    VELO_FIELD(tagQUOTATIONTBLDB, Quantity, kInt32),
    VELO_FIELD(tagQUOTATIONTBLDB, UnitPrice, kInt32),
};

inline constexpr FieldDesc kQuotationGroupFields[] = {
    VELO_FIELD(tagQUOTATIONGROUPDB, Code, kText),
    VELO_FIELD(tagQUOTATIONGROUPDB, Name, kText),
    VELO_FIELD(tagQUOTATIONGROUPDB, HiddenMark, kText),
};

inline constexpr FieldDesc kRecallFields[] = {
    VELO_FIELD(tagRECALLDB, RecallNo, kText),      VELO_FIELD(tagRECALLDB, PatientID, kText),
    VELO_FIELD(tagRECALLDB, RecallDate, kDate),    VELO_FIELD(tagRECALLDB, GroupCode, kText),
    VELO_FIELD(tagRECALLDB, Status, kByte),        VELO_FIELD(tagRECALLDB, ContactDate, kDate),
    VELO_FIELD(tagRECALLDB, ReservationNo, kText), VELO_FIELD(tagRECALLDB, Memo, kText),
};

inline constexpr FieldDesc kRecallGroupFields[] = {
    VELO_FIELD(tagRECALLGROUPDB, Code, kText),
    VELO_FIELD(tagRECALLGROUPDB, Name, kText),
    VELO_FIELD(tagRECALLGROUPDB, HiddenMark, kText),
    VELO_FIELD(tagRECALLGROUPDB, IntervalMonths, kInt16),
};

class CContractDB final : public CTableDB<tagCONTRACTDB> {
public:
    enum Key : int {
        kKeyPatientContract = 0,  // PatientID (21), ContractNo (11): 32, unique
        kKeyDate = 1,             // ContractDate (9), PatientID (21): 30
    };

    explicit CContractDB(const char* unused = nullptr);

    // Reads the contract (key 0); 4 when there is none.
    int GetContractData(const char* patientId, const char* contractNo);
};

class CContractItemDB final : public CTableDB<tagCONTRACTITEMDB> {
public:
    enum Key : int {
        kKeyPatientContractItem = 0,  // PatientID (21), ContractNo (11), ItemNo (11): 43, unique
        kKeyPatientDue = 1,           // PatientID (21), DueDate (9), ItemNo (11): 41
    };

    explicit CContractItemDB(const char* unused = nullptr);

    // Reads the item (key 0); 4 when there is none.
    int GetContractItemData(const char* patientId, const char* contractNo, const char* itemNo);
};

class CQuotationDB final : public CTableDB<tagQUOTATIONDB> {
public:
    enum Key : int {
        kKeyPatientQuotation = 0,  // PatientID (21), QuotationNo (11): 32, unique
    };

    explicit CQuotationDB(const char* unused = nullptr);

    // Reads the quotation (key 0); 4 when there is none.
    int GetQuotationData(const char* patientId, const char* quotationNo);
};

class CQuotationItemDB final : public CTableDB<tagQUOTATIONITEMDB> {
public:
    enum Key : int {
        kKeyLine = 0,  // PatientID (21), QuotationNo (11), LineNo (5): 37, unique
    };

    explicit CQuotationItemDB(const char* unused = nullptr);
};

class CQuotationTblDB final : public CTableDB<tagQUOTATIONTBLDB> {
public:
    enum Key : int {
        kKeyGroupLine = 0,  // GroupCode (4), LineNo (5): 9, unique
    };

    explicit CQuotationTblDB(const char* unused = nullptr);
};

class CQuotationGroupDB final : public CTableDB<tagQUOTATIONGROUPDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CQuotationGroupDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetQuotationGroupData(const char* code);
};

class CRecallDB final : public CTableDB<tagRECALLDB> {
public:
    enum Key : int {
        kKeyRecallNo = 0,     // RecallNo (11), unique
        kKeyPatientDate = 1,  // PatientID (21), RecallDate (9): 30
        kKeyDate = 2,         // RecallDate (9), RecallNo (11): 20
    };

    explicit CRecallDB(const char* unused = nullptr);

    // Reads the recall (key 0); 4 when there is none.
    int GetRecallData(const char* recallNo);
};

class CRecallGroupDB final : public CTableDB<tagRECALLGROUPDB> {
public:
    enum Key : int {
        kKeyCode = 0,       // Code (4), unique
        kKeyCodeOrder = 1,  // Code (4), duplicates allowed: masters in code order
    };

    explicit CRecallGroupDB(const char* unused = nullptr);

    // Reads the entry with that code (key 0); 4 when there is none.
    int GetRecallGroupData(const char* code);
};
