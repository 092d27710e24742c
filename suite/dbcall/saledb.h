// Sales (SALE.BTR) and their lines (SALEITEM.BTR): what a patient is charged on a day. The
// appointment sheet books a collected fee as one sale with one line (InsertAdjustFee).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// One sale, 800 bytes.
//
// OFFSET SIZE FIELD          MEANING
//      0   14 SaleNo         "%013d" (key 0)
//     14   21 PatientID      patient key
//     35    9 SaleDate       day of the sale
//     44    3 SaleKind       "00" for fees booked from a reservation
//     47  101 Reserved47     zero
//    148    1 ReceivedFlag   non-zero: the fee has been received
//    149    9 ReceivedDate   day received
//    158   42 Reserved158    zero
//    200    4 Amount         yen without tax
//    204    4 AmountWithTax  yen with tax
//    208    4 Tax            yen
//    212  588 Reserved212    zero
struct tagSALEDB {
    char SaleNo[14];
    char PatientID[21];
    char SaleDate[9];
    char SaleKind[3];
    char Reserved47[101];
    uint8_t ReceivedFlag;
    char ReceivedDate[9];
    char Reserved158[42];
    int32_t Amount;
    int32_t AmountWithTax;
    int32_t Tax;
    char Reserved212[588];
};

// One sale line, 400 bytes.
//
// OFFSET SIZE FIELD           MEANING
//      0   14 SaleNo          the sale it belongs to
//     14    4 LineNo          "%03d" within the sale
//     18    9 SaleDate        day
//     27    4 CreditCateCode  credit category
//     31    4 CreditItemCode  credit item
//     35   81 ItemName        item name
//    116    1 InsuranceFlag   1: insurance-covered part
//    117    3 InsuranceType   insurance type code
//    120   21 PatientID       patient key (copied from the sale)
//    141   59 Reserved141     zero
//    200    4 Quantity        count
//    204    4 UnitPrice       yen
//    208    4 Amount          yen
//    212  188 Reserved212     zero
struct tagSALEITEM {
    char SaleNo[14];
    char LineNo[4];
    char SaleDate[9];
    char CreditCateCode[4];
    char CreditItemCode[4];
    char ItemName[81];
    uint8_t InsuranceFlag;
    char InsuranceType[3];
    char PatientID[21];
    char Reserved141[59];
    int32_t Quantity;
    int32_t UnitPrice;
    int32_t Amount;
    char Reserved212[188];
};
#pragma pack(pop)

static_assert(sizeof(tagSALEDB) == 800);
static_assert(offsetof(tagSALEDB, PatientID) == 14);
static_assert(offsetof(tagSALEDB, SaleDate) == 35);
static_assert(offsetof(tagSALEDB, SaleKind) == 44);
static_assert(offsetof(tagSALEDB, ReceivedFlag) == 148);
static_assert(offsetof(tagSALEDB, Amount) == 200);
static_assert(offsetof(tagSALEDB, AmountWithTax) == 204);
static_assert(offsetof(tagSALEDB, Tax) == 208);

static_assert(sizeof(tagSALEITEM) == 400);
static_assert(offsetof(tagSALEITEM, LineNo) == 14);
static_assert(offsetof(tagSALEITEM, SaleDate) == 18);
static_assert(offsetof(tagSALEITEM, CreditCateCode) == 27);
static_assert(offsetof(tagSALEITEM, CreditItemCode) == 31);
static_assert(offsetof(tagSALEITEM, ItemName) == 35);
static_assert(offsetof(tagSALEITEM, InsuranceFlag) == 116);
static_assert(offsetof(tagSALEITEM, InsuranceType) == 117);
static_assert(offsetof(tagSALEITEM, PatientID) == 120);
static_assert(offsetof(tagSALEITEM, Quantity) == 200);
static_assert(offsetof(tagSALEITEM, UnitPrice) == 204);
static_assert(offsetof(tagSALEITEM, Amount) == 208);

inline constexpr FieldDesc kSaleFields[] = {
    VELO_FIELD(tagSALEDB, SaleNo, kText),       VELO_FIELD(tagSALEDB, PatientID, kText),
    VELO_FIELD(tagSALEDB, SaleDate, kDate),     VELO_FIELD(tagSALEDB, SaleKind, kText),
    VELO_FIELD(tagSALEDB, ReceivedFlag, kByte), VELO_FIELD(tagSALEDB, ReceivedDate, kDate),
    VELO_FIELD(tagSALEDB, Amount, kInt32),      VELO_FIELD(tagSALEDB, AmountWithTax, kInt32),
    VELO_FIELD(tagSALEDB, Tax, kInt32),
};

inline constexpr FieldDesc kSaleItemFields[] = {
    VELO_FIELD(tagSALEITEM, SaleNo, kText),         VELO_FIELD(tagSALEITEM, LineNo, kText),
    VELO_FIELD(tagSALEITEM, SaleDate, kDate),       VELO_FIELD(tagSALEITEM, CreditCateCode, kText),
    VELO_FIELD(tagSALEITEM, CreditItemCode, kText), VELO_FIELD(tagSALEITEM, ItemName, kText),
    VELO_FIELD(tagSALEITEM, InsuranceFlag, kByte),  VELO_FIELD(tagSALEITEM, InsuranceType, kText),
    VELO_FIELD(tagSALEITEM, PatientID, kText),      VELO_FIELD(tagSALEITEM, Quantity, kInt32),
    VELO_FIELD(tagSALEITEM, UnitPrice, kInt32),     VELO_FIELD(tagSALEITEM, Amount, kInt32),
};

class CSaleItemDB final : public CTableDB<tagSALEITEM> {
public:
    enum Key : int {
        kKeySaleLine = 0,  // SaleNo (14), LineNo (4): 18, unique
        kKeyPatient = 1,   // PatientID (21), SaleDate (9): 30
    };

    explicit CSaleItemDB(const char* unused = nullptr);

    int GetSaleItemData(const char* saleNo, const char* lineNo);
};

class CSaleDB final : public CTableDB<tagSALEDB> {
public:
    enum Key : int {
        kKeySaleNo = 0,       // SaleNo (14), unique
        kKeyPatientDate = 1,  // PatientID (21), SaleDate (9): 30
        kKeyDate = 2,         // SaleDate (9), SaleNo (14): 23
    };

    explicit CSaleDB(const char* unused = nullptr);

    int GetSaleData(const char* saleNo);

    // Books a sale with one line. m_Data holds the prepared sale (patient, day, amounts; a
    // missing day is taken from the line); the sale gets the next number (the highest stored
    // number plus one, "%013d") and is inserted, then line goes into lines with that number,
    // line number "001" and the sale's patient. Both tables must be open. Runs in a
    // transaction of its own when none is open; inside the caller's, a failure is returned
    // and the caller aborts. On success *saleNoOut is the new number and m_Data the stored
    // sale.
    int InsertAdjustFee(std::string* saleNoOut, const tagSALEITEM& line, CSaleItemDB& lines);
    // Inside a transaction that goes on to book a sale: the read of the highest number comes
    // with the transaction's next read (see CBaseDBCall::AskAhead). Sets the key.
    int AskAheadForNextSaleNo();

private:
    void SetKeyOnHighestSaleNo();
    int NextSaleNo(std::string* saleNo);
};
