// Reservations, standby entries and cancel reasons.
#include "suite/dbcall/reservationdb.h"

CReservationDB::CReservationDB(const char*) : CTableDB("RESERVATION.BTR") {}

int CReservationDB::GetReservationData(const char* reservationNo) {
    return GetEqualByParts(kKeyReservationNo, {{reservationNo, sizeof m_Data.ReservationNo}});
}

CReservationStandbyDB::CReservationStandbyDB(const char*) : CTableDB("RESERVATIONSTANDBY.BTR") {}

int CReservationStandbyDB::GetReservationStandbyData(const char* standbyNo) {
    return GetEqualByParts(kKeyStandbyNo, {{standbyNo, sizeof m_Data.StandbyNo}});
}

CResReasonDB::CResReasonDB(const char*) : CTableDB("RESREASON.BTR") {}

int CResReasonDB::GetResReasonData(const char* reasonCode) {
    return GetEqualByParts(kKeyCode, {{reasonCode, sizeof m_Data.ReasonCode}});
}
