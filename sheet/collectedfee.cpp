// Booking, refreshing and removing the sale of a reservation's collected fee.
#include "sheet/collectedfee.h"

#include <cstring>
#include <string>

#include "sheet/reservation.h"
#include "sheet/reservationsave.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"

namespace velo::sheet {
namespace {

constexpr char kReservationSaleKind[] = "00";

FeeAmounts AmountsOf(const tagRESERVATIONDB& r, const SheetSettings& settings) {
    return ComputeFeeAmounts(r.Fee, FieldText(r.ResDate, sizeof r.ResDate), settings.consumptionTax,
                             settings.calculationTax, r.InsuranceFlag != 0);
}

// The line's item and insurance fields from the reservation, with the item's name when the
// credit item is found.
void WriteLineItem(CVeloDBSys* db, const tagRESERVATIONDB& r, tagSALEITEM& line) {
    std::memcpy(line.SaleDate, r.ResDate, sizeof line.SaleDate);
    std::memcpy(line.CreditCateCode, r.CreditCateCode, sizeof line.CreditCateCode);
    std::memcpy(line.CreditItemCode, r.CreditItemCode, sizeof line.CreditItemCode);
    line.InsuranceFlag = r.InsuranceFlag;
    std::memcpy(line.InsuranceType, r.InsuranceType, sizeof line.InsuranceType);
    SetField(line.ItemName, "");
    CCreditItemDB items;
    if (items.SetAssociatedDB(db) == recman::kOk &&
        items.GetCreditItemData(FieldText(r.CreditCateCode, sizeof r.CreditCateCode).c_str(),
                                FieldText(r.CreditItemCode, sizeof r.CreditItemCode).c_str()) ==
            recman::kOk) {
        std::memcpy(line.ItemName, items.m_Data.ItemName, sizeof line.ItemName);
    }
    line.Quantity = 1;
    line.UnitPrice = r.Fee;
    line.Amount = r.Fee;
}

int BookNewSale(CVeloDBSys* db, CReservationDB& reservations, const SheetSettings& settings) {
    tagRESERVATIONDB& r = reservations.m_Data;
    const FeeAmounts amounts = AmountsOf(r, settings);
    CSaleDB sales;
    CSaleItemDB lines;
    int status = sales.SetAssociatedDB(db);
    if (status == recman::kOk) status = lines.SetAssociatedDB(db);
    if (status != recman::kOk) return status;

    sales.ClearData();
    std::memcpy(sales.m_Data.SaleDate, r.ResDate, sizeof sales.m_Data.SaleDate);
    std::memcpy(sales.m_Data.PatientID, r.PatientID, sizeof sales.m_Data.PatientID);
    SetField(sales.m_Data.SaleKind, kReservationSaleKind);
    sales.m_Data.Amount = amounts.amount;
    sales.m_Data.AmountWithTax = amounts.amountWithTax;
    sales.m_Data.Tax = amounts.tax;

    tagSALEITEM line{};
    WriteLineItem(db, r, line);
    std::string saleNo;
    status = sales.InsertAdjustFee(&saleNo, line, lines);
    if (status != recman::kOk) return status;
    SetField(r.SaleNo, saleNo.c_str());
    return reservations.Update();
}

// Brings an unreceived sale and its first line up to the reservation's fee, day, item and
// insurance.
int RefreshSale(CVeloDBSys* db, const tagRESERVATIONDB& r, CSaleDB& sales,
                const SheetSettings& settings) {
    const FeeAmounts amounts = AmountsOf(r, settings);
    std::memcpy(sales.m_Data.SaleDate, r.ResDate, sizeof sales.m_Data.SaleDate);
    sales.m_Data.Amount = amounts.amount;
    sales.m_Data.AmountWithTax = amounts.amountWithTax;
    sales.m_Data.Tax = amounts.tax;
    int status = sales.Update();
    if (status != recman::kOk) return status;

    CSaleItemDB lines;
    status = lines.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    const SaleLineKey key = SaleLineKey::Make(sales.m_Data.SaleNo);
    lines.SetKey(kSaleLineKeySale);
    lines.SetKeyBuffer(&key, sizeof key);
    status = lines.GetGREQ();
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    if (status != recman::kOk) return status;
    if (FieldText(lines.m_Data.SaleNo, sizeof lines.m_Data.SaleNo) !=
        FieldText(sales.m_Data.SaleNo, sizeof sales.m_Data.SaleNo))
        return recman::kOk;  // a sale without lines: the amounts above are all there is
    WriteLineItem(db, r, lines.m_Data);
    return lines.Update();
}

}  // namespace

FeeAmounts ComputeFeeAmounts(int fee, const std::string& day, int consumptionTax,
                             int calculationTax, bool insuranceCovered) {
    FeeAmounts amounts;
    amounts.amount = fee;
    if (consumptionTax == 1 && !insuranceCovered) {
        const double rate = CVeloSubTools::GetTaxRate(day.c_str());
        amounts.tax = static_cast<int>(CVeloSubTools::RoundOff(calculationTax, fee * rate));
    }
    amounts.amountWithTax = fee + amounts.tax;
    return amounts;
}

void AskAheadForCollectedFee(CVeloDBSys* db) {
    CSaleDB sales;
    if (sales.SetAssociatedDB(db) == recman::kOk) sales.AskAheadForNextSaleNo();
}

int SettleCollectedFee(CVeloDBSys* db, CReservationDB& reservations, const SheetSettings& settings,
                       FeeRule rule) {
    const tagRESERVATIONDB& r = reservations.m_Data;
    const std::string saleNo = FieldText(r.SaleNo, sizeof r.SaleNo);
    if (!saleNo.empty()) {
        CSaleDB sales;
        int status = sales.SetAssociatedDB(db);
        if (status != recman::kOk) return status;
        status = sales.GetSaleData(saleNo.c_str());
        if (status == recman::kOk) {
            if (sales.m_Data.ReceivedFlag != 0 || rule == FeeRule::kCameSwitch) return recman::kOk;
            return RefreshSale(db, r, sales, settings);
        }
        if (status != recman::kKeyNotFound) return status;
        // The number names no sale any more: book a fresh one.
    }
    return BookNewSale(db, reservations, settings);
}

int DeleteSaleWithLines(CVeloDBSys* db, const char* saleNo) {
    CSaleItemDB lines;
    int status = lines.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    const SaleLineKey key = SaleLineKey::Make(saleNo);
    for (;;) {
        lines.SetKey(kSaleLineKeySale);
        lines.SetKeyBuffer(&key, sizeof key);
        status = lines.GetGREQ();
        if (status == recman::kEndOfFile || status == recman::kKeyNotFound) break;
        if (status != recman::kOk) return status;
        if (std::strncmp(lines.m_Data.SaleNo, key.SaleNo, sizeof key.SaleNo) != 0) break;
        status = lines.Delete();
        if (status != recman::kOk) return status;
    }
    CSaleDB sales;
    status = sales.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    status = sales.GetSaleData(saleNo);
    if (status == recman::kKeyNotFound) return recman::kOk;
    if (status != recman::kOk) return status;
    return sales.Delete();
}

}  // namespace velo::sheet
