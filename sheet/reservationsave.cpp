// Saving a reservation: the confirmations before the save and the save transaction.
#include "sheet/reservationsave.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "sheet/bookingrules.h"
#include "sheet/bookingstrings.h"
#include "sheet/collectedfee.h"
#include "sheet/reservation.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

// A save that another workstation holds off is tried again after a growing pause, for a
// few seconds in all, before it is reported as failed.
constexpr int kSaveAttempts = 10;
constexpr int kFirstRetryPauseMs = 20;
constexpr int kLongestRetryPauseMs = 500;

constexpr char kUnitCategoryType[] = "1";
constexpr char kHiddenMark[] = "__";

QString MessageTitle() { return QStringLiteral("予約"); }

std::string WithoutSlashes(const std::string& text) {
    std::string result;
    for (char c : text)
        if (c != '/') result += c;
    return result;
}

std::string ThreeDigits(int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%03d", std::clamp(number, 0, 999));
    return text;
}

bool IsLockStatus(int status) {
    return status == recman::kFileLocked || status == recman::kRecordLocked;
}

// Blocked time carries no patient, fee, lab work, recall, staff or way, and never "came",
// whatever the disabled controls of the dialog still hold.
ReservationInput Normalized(const ReservationInput& input) {
    ReservationInput in = input;
    in.resDate = WithoutSlashes(in.resDate).substr(0, 8);
    in.entryDate = WithoutSlashes(in.entryDate).substr(0, 8);
    if (in.blockedTime) {
        in.patientId.clear();
        in.collectFee = false;
        in.insurance = false;
        in.lab = false;
        in.recall = false;
        in.came = false;
        in.staffNumber = 0;
        in.wayNumber = 0;
    } else {
        in.applyToAll = false;
    }
    if (in.dialogMode != kDialogModeChange) in.changeReason.clear();
    return in;
}

bool DoctorMode(const ReservationInput& in) { return in.columnMode == 1; }

const std::string& ColumnCode(const ReservationInput& in) {
    return DoctorMode(in) ? in.doctorCode : in.unitCode;
}

// Writes the dialog's fields into the record (step by step as the dialog shows them); fields
// the dialog does not show are left as they are.
void WriteDialogFields(tagRESERVATIONDB& r, const ReservationInput& in) {
    SetField(r.ResDate, in.resDate.c_str());
    SetField(r.UnitCode, in.unitCode.c_str());
    SetField(r.DoctorCode, in.doctorCode.c_str());
    SetField(r.ResTypeCode, in.resTypeCode.c_str());
    SetTimeField(r.StartTime, in.startTime);
    SetTimeField(r.EndTime, in.endTime);
    SetField(r.PatientID, in.patientId.c_str());
    SetCp932Field(r.Treatment, sizeof r.Treatment, in.treatment);
    SetField(r.RecallNo, in.recall ? in.recallNo.c_str() : "");
    SetField(r.MaterialNo, in.lab ? in.materialNo.c_str() : "");
    if (in.collectFee) {
        SetField(r.CreditItemCode, in.creditItemCode.c_str());
        SetField(r.CreditCateCode, in.creditCateCode.c_str());
        r.Fee = in.fee;
        const bool insured = in.insurance && !in.insuranceType.empty();
        r.InsuranceFlag = insured ? 1 : 0;
        SetField(r.InsuranceType, insured ? in.insuranceType.c_str() : "");
    } else {
        SetField(r.CreditItemCode, "");
        r.Fee = 0;
        r.InsuranceFlag = 0;
        SetField(r.InsuranceType, "");
    }
    SetField(r.StaffCode, ThreeDigits(in.staffNumber).c_str());
    SetField(r.EntryDate, in.entryDate.c_str());
    SetField(r.ResWayCode, ThreeDigits(in.wayNumber).c_str());
}

// Takes the next reservation number, inside the save's transaction.
int TakeReservationNumber(CVeloDBSys* db, std::string* number) {
    CIndexControlDB counter;
    const int status = counter.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    return counter.TakeReservationIndex(number);
}

int InsertUnderNewNumber(CVeloDBSys* db, CReservationDB& reservations, std::string* number) {
    int status = TakeReservationNumber(db, number);
    if (status != recman::kOk) return status;
    SetField(reservations.m_Data.ReservationNo, number->c_str());
    return reservations.Insert();
}

// A blocked-time copy's collision with a reservation already in the column:
// either end of one lies strictly inside the other, or they share a start or an end.
bool CopyCollides(int start, int end, int recordStart, int recordEnd) {
    const auto inside = [](int t, int from, int to) { return from < t && t < to; };
    return inside(recordStart, start, end) || inside(recordEnd, start, end) ||
           (recordStart < start && end < recordEnd) || recordStart == start ||
           recordEnd == end;
}

// The codes of the other visible columns a blocked time is copied to, in code order.
int OtherColumnCodes(CVeloDBSys* db, const ReservationInput& in, std::vector<std::string>* codes) {
    codes->clear();
    const std::string& own = ColumnCode(in);
    int status = recman::kOk;
    if (DoctorMode(in)) {
        CDoctorDB doctors;
        status = doctors.SetAssociatedDB(db);
        if (status != recman::kOk) return status;
        char key[sizeof doctors.m_Data.Code] = {};
        SetField(key, sizeof key, "00");
        doctors.SetKey(CDoctorDB::kKeyCodeOrder);
        doctors.SetKeyBuffer(key, sizeof key);
        for (status = doctors.GetGREQ(); status == recman::kOk && !doctors.IsEOF();
             status = doctors.GetNEXT()) {
            const std::string code = FieldText(doctors.m_Data.Code, sizeof doctors.m_Data.Code);
            if (code == own || std::strncmp(doctors.m_Data.HiddenMark, kHiddenMark, 2) == 0) continue;
            codes->push_back(code);
        }
    } else {
        CCategoryDB units;
        status = units.SetAssociatedDB(db);
        if (status != recman::kOk) return status;
        char key[sizeof units.m_Data.Type + sizeof units.m_Data.Code] = {};
        SetField(key, sizeof units.m_Data.Type, kUnitCategoryType);
        SetField(key + sizeof units.m_Data.Type, sizeof units.m_Data.Code, "00");
        units.SetKey(CCategoryDB::kKeyTypeCodeOrder);
        units.SetKeyBuffer(key, sizeof key);
        for (status = units.GetGREQ(); status == recman::kOk && !units.IsEOF();
             status = units.GetNEXT()) {
            if (FieldText(units.m_Data.Type, sizeof units.m_Data.Type) != kUnitCategoryType) break;
            const std::string code = FieldText(units.m_Data.Code, sizeof units.m_Data.Code);
            if (code == own || std::strncmp(units.m_Data.HiddenMark, kHiddenMark, 2) == 0) continue;
            codes->push_back(code);
        }
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    return status;
}

// Why one attempt of the save stopped.
struct AttemptOutcome {
    int status = recman::kOk;
    bool overlap = false;
    std::string reservationNo;
};

// Copies the saved blocked time into every other column. An overlap in any of them stops
// the copy (the caller rolls everything back).
AttemptOutcome CopyBlockedTimeToAllColumns(CVeloDBSys* db, const ReservationInput& in,
                                           const tagRESERVATIONDB& saved) {
    AttemptOutcome outcome;
    std::vector<std::string> codes;
    outcome.status = OtherColumnCodes(db, in, &codes);
    if (outcome.status != recman::kOk) return outcome;
    CReservationDB copies;
    outcome.status = copies.SetAssociatedDB(db);
    if (outcome.status != recman::kOk) return outcome;
    for (const std::string& code : codes) {
        bool collides = false;
        // The scan ends at the column's last record of the day, so another doctor's (or
        // unit's) reservations of the same day are never taken for this column's.
        outcome.status = ForEachReservationOfColumn(
            copies, DoctorMode(in), code.c_str(), in.resDate.c_str(),
            [&](const tagRESERVATIONDB& record) {
                if (!IsLiveStatus(record.Status)) return true;
                collides = CopyCollides(in.startTime, in.endTime, ParseTimeField(record.StartTime),
                                        ParseTimeField(record.EndTime));
                return !collides;
            });
        if (outcome.status != recman::kOk) return outcome;
        if (collides) {
            outcome.overlap = true;
            return outcome;
        }
        copies.m_Data = saved;
        SetField(DoctorMode(in) ? copies.m_Data.DoctorCode : copies.m_Data.UnitCode, code.c_str());
        std::string number;
        outcome.status = InsertUnderNewNumber(db, copies, &number);
        if (outcome.status != recman::kOk) return outcome;
    }
    return outcome;
}

// Links the standby entry the reservation was booked from to its number. An entry that is
// gone meanwhile is nothing to link.
int LinkStandbyEntry(CVeloDBSys* db, const std::string& standbyNo, const std::string& number) {
    CReservationStandbyDB standby;
    int status = standby.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    status = standby.GetReservationStandbyData(standbyNo.c_str());
    if (status == recman::kKeyNotFound) return recman::kOk;
    if (status != recman::kOk) return status;
    SetField(standby.m_Data.ReservationNo, number.c_str());
    return standby.Update();
}

// A changed reservation lives on under a new number; standby entries booked into the old
// one follow it, so the standby list keeps showing them as booked at the new time rather
// than at the time that was given up.
int RelinkStandbyEntries(CVeloDBSys* db, const std::string& oldNo, const std::string& newNo) {
    CReservationStandbyDB standby;
    int status = standby.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    std::vector<std::string> linked;
    standby.SetKey(CReservationStandbyDB::kKeyStandbyNo);
    for (status = standby.GetFIRST(); status == recman::kOk; status = standby.GetNEXT()) {
        if (comdlg::FieldText(standby.m_Data.ReservationNo) == oldNo)
            linked.push_back(comdlg::FieldText(standby.m_Data.StandbyNo));
    }
    if (status != recman::kEndOfFile && status != recman::kKeyNotFound) return status;
    for (const std::string& standbyNo : linked) {
        status = LinkStandbyEntry(db, standbyNo, newNo);
        if (status != recman::kOk) return status;
    }
    return recman::kOk;
}

// Whether the save books a collected fee, as far as the dialog tells (a changed
// reservation keeps the came state it had).
bool SettlesFee(const ReservationInput& in) {
    return in.came && in.collectFee && !in.blockedTime;
}

bool RunsLastVisitRule(const ReservationInput& in) {
    return in.dialogMode != kDialogModeChange && !in.patientId.empty();
}

// One attempt of the whole save inside an open transaction. REQUIRES: a transaction is open.
AttemptOutcome SaveInTransaction(CVeloDBSys* db, const ReservationInput& in,
                                 const SheetSettings& settings) {
    // The column's check, the sale's number and the last-visit walk come with the save's
    // first read.
    AskAheadForColumnDay(db, DoctorMode(in), ColumnCode(in).c_str(), in.resDate.c_str());
    if (SettlesFee(in)) AskAheadForCollectedFee(db);
    if (RunsLastVisitRule(in)) AskAheadForLastVisit(db, in.patientId.c_str());
    AttemptOutcome outcome;
    CReservationDB reservations;
    outcome.status = reservations.SetAssociatedDB(db);
    if (outcome.status != recman::kOk) return outcome;

    bool found = false;
    if (!in.reservationNo.empty()) {
        const int status = reservations.GetReservationData(in.reservationNo.c_str());
        if (status == recman::kOk) {
            found = true;
        } else if (status != recman::kKeyNotFound) {
            outcome.status = status;
            return outcome;
        }
    }
    if (!found) reservations.ClearData();
    WriteDialogFields(reservations.m_Data, in);

    if (in.dialogMode == kDialogModeChange && found) {
        const tagRESERVATIONDB copy = reservations.m_Data;
        outcome.status = reservations.GetReservationData(in.reservationNo.c_str());
        if (outcome.status != recman::kOk) return outcome;
        reservations.m_Data.Status = static_cast<uint8_t>(ResStatus::Changed);
        SetCp932Field(reservations.m_Data.StatusReason, sizeof reservations.m_Data.StatusReason,
                      in.changeReason);
        SetField(reservations.m_Data.StatusDate, CDate::ToYmd(CDate::Today()).c_str());
        outcome.status = reservations.Update();
        if (outcome.status != recman::kOk) return outcome;
        reservations.m_Data = copy;
        outcome.status = InsertUnderNewNumber(db, reservations, &outcome.reservationNo);
        if (outcome.status != recman::kOk) return outcome;
        outcome.status = RelinkStandbyEntries(db, in.reservationNo, outcome.reservationNo);
    } else {
        reservations.m_Data.Status = static_cast<uint8_t>(in.came ? ResStatus::Came : ResStatus::Booked);
        if (found) {
            outcome.reservationNo = in.reservationNo;
            outcome.status = reservations.Update();
        } else {
            outcome.status = InsertUnderNewNumber(db, reservations, &outcome.reservationNo);
        }
    }
    if (outcome.status != recman::kOk) return outcome;

    // The record's write lock is held now, so no other workstation can book into this column
    // until the commit: what the column holds now is what it will hold.
    std::vector<StripItem> strip;
    outcome.status = LoadStrip(db,
                               {DoctorMode(in), ColumnCode(in), in.resDate, outcome.reservationNo,
                                settings.clock24},
                               &strip);
    if (outcome.status != recman::kOk) return outcome;
    if (FindOverlap(strip, in.startTime, in.endTime) != nullptr) {
        outcome.overlap = true;
        return outcome;
    }

    const bool came = reservations.m_Data.Status == static_cast<uint8_t>(ResStatus::Came);
    if (came && in.collectFee && !in.blockedTime) {
        outcome.status = SettleCollectedFee(db, reservations, settings, FeeRule::kDialog);
        if (outcome.status != recman::kOk) return outcome;
    }

    if (in.applyToAll) {
        const AttemptOutcome copies = CopyBlockedTimeToAllColumns(db, in, reservations.m_Data);
        if (copies.status != recman::kOk || copies.overlap) {
            outcome.status = copies.status;
            outcome.overlap = copies.overlap;
            return outcome;
        }
    }

    if (RunsLastVisitRule(in)) {
        const int status = LastVisitRule(db, in.patientId.c_str());
        // A reservation of a patient who is no longer in the file still saves.
        if (status != recman::kOk && status != recman::kKeyNotFound) {
            outcome.status = status;
            return outcome;
        }
    }
    if (!in.standbyNo.empty()) {
        outcome.status = LinkStandbyEntry(db, in.standbyNo, outcome.reservationNo);
    }
    return outcome;
}

AttemptOutcome SaveOnce(CVeloDBSys* db, const ReservationInput& in, const SheetSettings& settings) {
    AttemptOutcome outcome;
    outcome.status = CBaseDBCall::BeginTran();
    if (outcome.status != recman::kOk) return outcome;
    // Every failed write ends the save, so the writes may go out with the reads that follow.
    recman::BatchTransactionWrites();
    outcome = SaveInTransaction(db, in, settings);
    if (outcome.status == recman::kOk && !outcome.overlap) {
        outcome.status = CBaseDBCall::EndTran();
        if (outcome.status == recman::kOk) return outcome;
    }
    CBaseDBCall::AbortTran();
    return outcome;
}

bool Ask(QWidget* parent, const QString& text) {
    return CMessageService::MessageBox(parent, text, MessageTitle(), CMessageService::EIcon::Question,
                                       CMessageService::EButtons::YesNo) == CMessageService::IDYES;
}

void Tell(QWidget* parent, int stringId, CMessageService::EIcon icon) {
    CMessageService::MessageBox(parent, LoadString(stringId), MessageTitle(), icon);
}

}  // namespace

bool ConfirmBeforeSave(CVeloDBSys* db, ReservationInput& input, const SheetSettings& settings,
                       QWidget* parent) {
    RegisterBookingStrings();
    if (!input.patientId.empty() && input.blockedTime) {
        if (!Ask(parent, QStringLiteral("この予約には患者情報が含まれていますが\n"
                                        "患者情報をクリアし、予約不可としてよろしいですか？\n")))
            return false;
        input.patientId.clear();
    }
    const bool noBand = BandText(input.startTime, input.endTime, true) == NoBandText();
    if (noBand && !input.blockedTime &&
        !Ask(parent, QStringLiteral("予約時間の指定がありませんが、\nこのまま登録してもよろしいですか？")))
        return false;
    if (settings.staffSetMust != 0 && !input.blockedTime && input.staffNumber <= 0) {
        Tell(parent, kIdsChooseStaff, CMessageService::EIcon::Warning);
        return false;
    }

    const ReservationInput in = Normalized(input);
    std::vector<StripItem> strip;
    const int status = LoadStrip(
        db, {DoctorMode(in), ColumnCode(in), in.resDate, in.reservationNo, settings.clock24}, &strip);
    if (status != recman::kOk) {
        Tell(parent, kIdsUpdateFailed, CMessageService::EIcon::Warning);
        return false;
    }
    if (FindOverlap(strip, in.startTime, in.endTime) != nullptr) {
        Tell(parent, kIdsOverlap, CMessageService::EIcon::Warning);
        return false;
    }

    if (in.lab && !in.blockedTime && IsBeforeLabCompletion(in.resDate, in.labCompletionDate) &&
        !Ask(parent, LoadString(kIdsLabDateQuestion)))
        return false;

    const bool newOrChanged = in.reservationNo.empty() || in.dialogMode == kDialogModeChange;
    if (newOrChanged && !in.blockedTime) {
        std::vector<DuplicateEntry> entries;
        if (LoadDuplicateWindow(db, in.patientId, in.resDate, settings.daysOfCheckingDuplicatedRes,
                                in.reservationNo, settings.clock24, &entries) == recman::kOk &&
            !entries.empty() &&
            !Ask(parent, DuplicateWarningText(in.resDate, settings.daysOfCheckingDuplicatedRes,
                                              entries)))
            return false;
    }
    return true;
}

SaveResult SaveReservation(CVeloDBSys* db, const ReservationInput& input,
                           const SheetSettings& settings) {
    SaveResult result;
    const ReservationInput in = Normalized(input);
    AttemptOutcome outcome;
    int pauseMs = kFirstRetryPauseMs;
    for (int attempt = 1; attempt <= kSaveAttempts; ++attempt) {
        outcome = SaveOnce(db, in, settings);
        if (!IsLockStatus(outcome.status) || attempt == kSaveAttempts) break;
        ::usleep(static_cast<useconds_t>(pauseMs) * 1000);
        pauseMs = std::min(pauseMs * 2, kLongestRetryPauseMs);
    }
    if (outcome.overlap) {
        result.stringId = kIdsOverlap;
    } else if (outcome.status != recman::kOk) {
        result.stringId = kIdsUpdateFailed;
        result.status = outcome.status;
    } else {
        result.ok = true;
        result.reservationNo = outcome.reservationNo;
    }
    return result;
}

void ShowSaveFailure(QWidget* parent, const SaveResult& result) {
    if (result.ok) return;
    RegisterBookingStrings();
    Tell(parent, result.stringId != 0 ? result.stringId : kIdsUpdateFailed,
         CMessageService::EIcon::Warning);
}

}  // namespace velo::sheet
