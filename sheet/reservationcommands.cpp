// Came switch, cancel and delete of a reservation, and the cancel reasons.
#include "sheet/reservationcommands.h"

#include <cstring>

#include "sheet/bookingstrings.h"
#include "sheet/collectedfee.h"
#include "sheet/reservation.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/strings.h"

namespace velo::sheet {
namespace {

QString MessageTitle() { return QStringLiteral("予約"); }

// Runs `work` in a transaction of its own: committed when it returns 0, else rolled back.
template <typename Work>
int InTransaction(Work work) {
    int status = CBaseDBCall::BeginTran();
    if (status != recman::kOk) return status;
    status = work();
    if (status == recman::kOk) status = CBaseDBCall::EndTran();
    if (status != recman::kOk) CBaseDBCall::AbortTran();
    return status;
}

// The switch's decision about an existing sale when a reservation goes back to booked.
enum class SaleOnUncame { kNone, kRemove, kRefuse };

int CheckSaleOnUncame(CVeloDBSys* db, const tagRESERVATIONDB& r, SaleOnUncame* decision) {
    *decision = SaleOnUncame::kNone;
    if (r.SaleNo[0] == '\0') return recman::kOk;
    CSaleDB sales;
    int status = sales.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    status = sales.GetSaleData(r.SaleNo);
    if (status == recman::kKeyNotFound) return recman::kOk;
    if (status != recman::kOk) return status;
    *decision = sales.m_Data.ReceivedFlag != 0 ? SaleOnUncame::kRefuse : SaleOnUncame::kRemove;
    return recman::kOk;
}

}  // namespace

QString CameRefusedText() {
    return QStringLiteral(
        "この予約データの回収料金が領収済みとなっているため、未来院として設定できません。\n"
        "患者の入金情報で領収済みを解除してください。");
}

int SwitchCame(CVeloDBSys* db, const std::string& reservationNo, bool came,
               const SheetSettings& settings, QWidget* parent) {
    if (db == nullptr) return recman::kFileNotOpen;
    bool refused = false;
    const int status = InTransaction([&]() -> int {
        CReservationDB reservations;
        int st = reservations.SetAssociatedDB(db);
        if (st != recman::kOk) return st;
        st = reservations.GetReservationData(reservationNo.c_str());
        if (st != recman::kOk) return st;
        tagRESERVATIONDB& r = reservations.m_Data;
        if (!IsLiveStatus(r.Status)) return recman::kInvalidPositioning;

        if (r.Fee != 0 && !came) {
            SaleOnUncame decision = SaleOnUncame::kNone;
            st = CheckSaleOnUncame(db, r, &decision);
            if (st != recman::kOk) return st;
            if (decision == SaleOnUncame::kRefuse) {
                refused = true;
                return recman::kInvalidOperation;  // rolls back; reported as refused below
            }
            if (decision == SaleOnUncame::kRemove) {
                st = DeleteSaleWithLines(db, r.SaleNo);
                if (st != recman::kOk) return st;
            }
            SetField(r.SaleNo, "");
        }
        r.Status = static_cast<uint8_t>(came ? ResStatus::Came : ResStatus::Booked);
        st = reservations.Update();
        if (st != recman::kOk) return st;
        if (r.Fee != 0 && came) {
            st = SettleCollectedFee(db, reservations, settings, FeeRule::kCameSwitch);
            if (st != recman::kOk) return st;
        }
        if (r.PatientID[0] == '\0') return recman::kOk;
        st = LastVisitRule(db, r.PatientID);
        return st == recman::kKeyNotFound ? recman::kOk : st;
    });
    if (refused) {
        CMessageService::MessageBox(parent, CameRefusedText(), MessageTitle(),
                                    CMessageService::EIcon::Warning);
        return kCameSwitchRefused;
    }
    return status;
}

int CancelReservation(CVeloDBSys* db, const std::string& reservationNo, uint8_t status,
                      const QString& reason) {
    if (db == nullptr) return recman::kFileNotOpen;
    if (reservationNo.empty() || status < static_cast<uint8_t>(ResStatus::CancelledWithNotice) ||
        status > static_cast<uint8_t>(ResStatus::Revoked))
        return recman::kInvalidOperation;
    return InTransaction([&]() -> int {
        CReservationDB reservations;
        int st = reservations.SetAssociatedDB(db);
        if (st != recman::kOk) return st;
        st = reservations.GetReservationData(reservationNo.c_str());
        if (st != recman::kOk) return st;
        tagRESERVATIONDB& r = reservations.m_Data;
        r.Status = status;
        SetField(r.StatusDate, CDate::ToYmd(CDate::Today()).c_str());
        SetCp932Field(r.StatusReason, sizeof r.StatusReason, reason);
        return reservations.Update();
    });
}

int DeleteReservation(CVeloDBSys* db, const std::string& reservationNo) {
    if (db == nullptr) return recman::kFileNotOpen;
    return InTransaction([&]() -> int {
        CReservationDB reservations;
        int st = reservations.SetAssociatedDB(db);
        if (st != recman::kOk) return st;
        st = reservations.GetReservationData(reservationNo.c_str());
        if (st != recman::kOk) return st;
        if (reservations.m_Data.Status != static_cast<uint8_t>(ResStatus::Booked))
            return recman::kInvalidPositioning;
        return reservations.Delete();
    });
}

int AskAndDeleteReservation(CVeloDBSys* db, const std::string& reservationNo, QWidget* parent) {
    RegisterBookingStrings();
    if (db == nullptr || reservationNo.empty()) return 0;
    {
        CReservationDB reservations;
        int read = reservations.SetAssociatedDB(db);
        if (read == recman::kOk) read = reservations.GetReservationData(reservationNo.c_str());
        if (read != recman::kOk) {
            // Gone (another workstation removed it) or unreadable: nothing is left to ask about.
            CMessageService::MessageBox(parent, LoadString(kIdsDeleteFailed), MessageTitle(),
                                        CMessageService::EIcon::Warning);
            return -1;
        }
        if (reservations.m_Data.Status != static_cast<uint8_t>(ResStatus::Booked)) return 0;
    }
    if (CMessageService::MessageBox(parent, LoadString(kIdsDeleteQuestion), MessageTitle(),
                                    CMessageService::EIcon::Question,
                                    CMessageService::EButtons::YesNo) != CMessageService::IDYES)
        return 0;
    if (DeleteReservation(db, reservationNo) != recman::kOk) {
        CMessageService::MessageBox(parent, LoadString(kIdsDeleteFailed), MessageTitle(),
                                    CMessageService::EIcon::Warning);
        return -1;
    }
    return 1;
}

QStringList CancelReasonNames(CVeloDBSys* db) {
    QStringList names;
    // The list takes a few batch reads: one read transaction for them.
    CBaseDBCall::ReadConsistently([&] {
        names.clear();
        CResReasonDB reasons;
        if (const int st = reasons.SetAssociatedDB(db); st != recman::kOk) return st;
        const ReasonKey key = ReasonKey::Make("");
        reasons.SetKey(kReasonKeyCode);
        reasons.SetKeyBuffer(&key, sizeof key);
        for (int st = reasons.GetGREQ(); st == recman::kOk && !reasons.IsEOF(); st = reasons.GetNEXT()) {
            names << Cp932FieldToQString(reasons.m_Data.ReasonName, sizeof reasons.m_Data.ReasonName);
        }
        return int(recman::kOk);
    });
    return names;
}

}  // namespace velo::sheet
