// The commands that change a reservation's state from the sheet's list and menus: the came
// switch of a list row (with its collected fee), cancelling (Status 2, 3 or 4 with a reason
// and the day), deleting a reservation that is only booked, and the cancel reasons the
// reason dialog offers. Each write is one transaction; nothing here shows a window unless
// it takes a parent and says so.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "sheet/sheetsettings.h"

class CVeloDBSys;
class QWidget;

namespace velo::sheet {

// The result of a refused came switch: the list re-reads its state.
constexpr int kCameSwitchRefused = -1001;

// Switches a reservation to came (Status 1) or back to booked (Status 0), in one transaction:
//  - without a fee only the status is written;
//  - to booked with an existing sale: a received sale refuses the switch (the refusal text
//    is shown through CMessageService with `parent`, nothing is written, result -1001); an
//    unreceived sale and all its lines are deleted and SaleNo cleared;
//  - to came with a fee and no sale: the fee is booked (tax only when ConsumptionTax is 1 and
//    the fee is not the insurance-covered part; the sale line carries InsuranceFlag and
//    InsuranceType) and its number stored in SaleNo; an existing sale is kept as it is;
//  - the status is written in every case that is not refused, and LastVisitRule runs for the
//    patient.
// Only a booked or came reservation can be switched (another status: 8, nothing written).
// Returns 0, -1001, or the failing record status (4 when there is no such reservation),
// with everything rolled back.
int SwitchCame(CVeloDBSys* db, const std::string& reservationNo, bool came,
               const SheetSettings& settings, QWidget* parent);

// The refusal text of SwitchCame for a received fee.
QString CameRefusedText();

// Marks the reservation cancelled: Status = status (2, 3 or 4), StatusDate = today
// ("%Y%m%d"), StatusReason = reason as code page 932, cut to 100 bytes on a character
// boundary (an empty reason is stored empty). One update in one transaction. Returns 0, 4
// when there is no such reservation, 1 (invalid operation) for a status outside 2..4 or an
// empty number, or the failing write's status; nothing is written on failure.
int CancelReservation(CVeloDBSys* db, const std::string& reservationNo, uint8_t status,
                      const QString& reason);

// Deletes a reservation whose Status is 0. Returns 0; 4 when there is no such reservation; 8
// (invalid positioning) when its Status is not 0, leaving it in place; or the failing
// delete's status.
int DeleteReservation(CVeloDBSys* db, const std::string& reservationNo);

// Asks string 1548 (Yes/No, default No) through CMessageService and deletes on Yes. Returns
// 1 deleted, 0 declined or not deletable (Status not 0, nothing asked), or -1 when the
// reservation cannot be read (nothing asked) or the delete failed (string 1523 shown).
int AskAndDeleteReservation(CVeloDBSys* db, const std::string& reservationNo, QWidget* parent);

// Every ReasonName of the cancel reason file in ReasonCode order (hidden entries included,
// as the reason combo lists them all). Returns an empty list when the file cannot be read.
QStringList CancelReasonNames(CVeloDBSys* db);

}  // namespace velo::sheet
