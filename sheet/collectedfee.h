// The collected fee of a reservation: the sale and sale line booked for it when the patient
// came, shared by the reservation save and the came switch of the list.
#pragma once

#include "sheet/sheetsettings.h"

class CReservationDB;
class CVeloDBSys;

namespace velo::sheet {

// The two places that book a fee differ in what they do with a sale already booked.
enum class FeeRule {
    kDialog,      // an unreceived sale is brought up to date with the saved fee
    kCameSwitch,  // an existing sale is kept as it is
};

// Settles the fee of the reservation that `reservations` is positioned on (m_Data is the
// stored record, Fee non-zero). Either way tax is added only when ConsumptionTax is 1 and
// the fee is not the insurance-covered part (InsuranceFlag 0): insurance-covered treatment
// bears no consumption tax. The sale line carries InsuranceFlag and InsuranceType.
//
//  - no sale yet (SaleNo empty, or naming no sale): books one through InsertAdjustFee and
//    stores its number in SaleNo (the reservation is updated);
//  - an unreceived sale: kDialog brings the sale's amounts and its first line up to date
//    with the record's fee, day and item; kCameSwitch keeps it as it is;
//  - a received sale: left as it is.
// REQUIRES: a transaction is open (the caller aborts it on failure). Returns 0 or the
// failing status.
int SettleCollectedFee(CVeloDBSys* db, CReservationDB& reservations, const SheetSettings& settings,
                       FeeRule rule);

// Inside a transaction that goes on to SettleCollectedFee: what booking a new sale reads
// comes with the transaction's next read. A hint.
void AskAheadForCollectedFee(CVeloDBSys* db);

// Deletes the sale and all its lines. REQUIRES: a transaction is open. A sale that is not
// there is nothing to delete (0).
int DeleteSaleWithLines(CVeloDBSys* db, const char* saleNo);

}  // namespace velo::sheet
