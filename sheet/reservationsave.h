// Saving a reservation from the reservation dialog: the plain record of everything the
// dialog gathers, the confirmations asked before a save (through CMessageService, so tests
// answer them), and the save itself - one transaction that writes the reservation (new,
// edited or changed), books or refreshes its collected fee, copies a blocked time to every
// other column, and afterwards keeps the came state, the patient's last visit and the
// standby entry up to date. The dialog gathers input, calls these and shows the result.
#pragma once

#include <QString>
#include <string>

#include "sheet/sheetsettings.h"

class CVeloDBSys;
class QWidget;

namespace velo::sheet {

// The dialog's modes.
constexpr int kDialogModeNewOrEdit = 0;
constexpr int kDialogModeChange = 1;  // "予約の変更": the old record becomes Status 5
constexpr int kDialogModeNewFixedPatient = 2;

// Everything the reservation dialog gathers. Codes are ASCII digit strings; the two free
// texts are QStrings and are stored as code page 932, cut to their field widths.
struct ReservationInput {
    int dialogMode = kDialogModeNewOrEdit;
    std::string reservationNo;  // empty for a new reservation; the record edited or changed
    int columnMode = 0;         // 0 the sheet is laid out by unit, 1 by doctor
    std::string resDate;        // YYYYMMDD (any "/" is removed)
    std::string unitCode;       // two characters
    std::string doctorCode;     // two characters
    std::string resTypeCode;    // at most 3 characters
    int startTime = 0;          // HHMM; 0 and 0 mean no band
    int endTime = 0;            // HHMM
    std::string patientId;      // empty for blocked time
    QString treatment;          // at most 200 bytes are stored
    bool recall = false;        // "リコールの予約"
    std::string recallNo;
    bool lab = false;           // "技工物または予定あり"
    std::string materialNo;
    std::string labCompletionDate;  // CompletionDate of the lab item, YYYYMMDD
    bool collectFee = false;        // "回収料金"
    std::string creditCateCode;
    std::string creditItemCode;
    int fee = 0;                    // yen, tax excluded
    bool insurance = false;         // "保険適用分"
    std::string insuranceType;
    bool came = false;              // "来院済みチェック"
    QString changeReason;           // change mode only; at most 100 bytes are stored
    int staffNumber = 0;            // 0: none chosen ("000")
    std::string entryDate;          // YYYYMMDD
    int wayNumber = 0;              // 0: none ("000")
    bool blockedTime = false;       // "予約不可として登録する"
    bool applyToAll = false;        // copy the blocked time to every other column
    std::string standbyNo;          // set when booked from a standby entry
};

// Runs the questions and checks that come before a save, in their fixed order:
//   1. a patient with blocked time: asks to clear the patient; Yes clears input.patientId;
//   2. no band and not blocked time: asks whether to save anyway;
//   3. StaffSetMust and no staff chosen (not blocked time): string 1590's text, stop;
//   4. the strip overlap check (the column's strip reloaded now): string 1554, stop;
//   5. lab work checked, not blocked time, the day before the lab item's completion: asks
//      string 1569;
//   6. a new or changed reservation, not blocked time, with other reservations of the
//      patient in the duplicate window: asks DuplicateWarningText.
// Every question is Yes/No with No as default; a message or question goes through
// CMessageService with `parent` and the title "予約". Returns true when the save may go on;
// false (nothing written) when a question was answered No or a check failed. Reads the
// database only.
bool ConfirmBeforeSave(CVeloDBSys* db, ReservationInput& input, const SheetSettings& settings,
                       QWidget* parent);

// The outcome of SaveReservation.
struct SaveResult {
    bool ok = false;
    std::string reservationNo;  // the number the reservation is stored under (a change: the new one)
    int stringId = 0;           // on failure: 1554 (overlap found inside the transaction) or 1514
    int status = 0;             // on failure: the record manager's status, when one failed
};

// Saves the reservation (the steps after the confirmations), all or nothing:
//  - one transaction: the reservation record written first (an edit keeps the fields the
//    dialog does not show; a change marks the old record Status 5 with the change reason and
//    today as StatusDate and inserts the new time under a new number; a new reservation, or
//    an edit whose record is gone, takes a new number from the counter);
//  - with the record's write lock held, the column is checked again for an overlapping live
//    reservation (another workstation may have booked the band meanwhile): failure 1554;
//  - a came reservation with a fee (not blocked time) books its sale and line and stores the
//    sale number in SaleNo, unless it already has a sale: an unreceived sale is brought up to
//    date with the fee instead, a received one is left as it is (an insurance-covered fee
//    bears no tax, and the line carries the insurance fields, as on the came switch);
//  - a blocked time with applyToAll is copied to every other visible unit (or doctor) column
//    under new numbers; an overlap in any column fails the whole save with 1554;
//  - after the commit, outside change mode, LastVisitRule runs for the patient, and a standby
//    entry gets the new ReservationNo.
// A write that another workstation holds off is retried a few times. Any failure rolls the
// whole transaction back and writes nothing (stringId 1514 with the failing status, or
// 1554). Shows no window.
SaveResult SaveReservation(CVeloDBSys* db, const ReservationInput& input,
                           const SheetSettings& settings);

// Shows a failed save's message (LoadString(result.stringId): 1554 or 1514) through
// CMessageService with the title "予約". Does nothing for a successful save.
void ShowSaveFailure(QWidget* parent, const SaveResult& result);

// Tax and amounts of a collected fee.
struct FeeAmounts {
    int amount = 0;         // without tax (the fee)
    int amountWithTax = 0;  // fee + tax
    int tax = 0;
};

// The amounts booked for a fee on a day: tax = RoundOff(calculationTax, fee * GetTaxRate(day))
// when consumptionTax is 1 and the fee is not the insurance-covered part; else no tax.
FeeAmounts ComputeFeeAmounts(int fee, const std::string& day, int consumptionTax,
                             int calculationTax, bool insuranceCovered);

}  // namespace velo::sheet
