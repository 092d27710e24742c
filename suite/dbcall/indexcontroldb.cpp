// The reservation number counter.
#include "suite/dbcall/indexcontroldb.h"

#include <algorithm>
#include <cstdio>

#include "suite/dbcall/reservationdb.h"

namespace {
constexpr char kReservationCounter[] = "RESERVATION";
constexpr size_t kReservationNoDigits = 10;

bool IsReservationNumber(const std::string& text) {
    return !text.empty() && text.size() <= kReservationNoDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The highest reservation number in use in `folder` (0 when there is none). Key 0 is in
// text order and the numbers are zero-padded to one width, so the last all-digit key is
// the highest.
int HighestReservationNumber(const std::string& folder, int64_t* highest) {
    *highest = 0;
    CReservationDB reservations;
    int status = reservations.Open(folder);
    if (status != recman::kOk) return status;
    reservations.SetKey(CReservationDB::kKeyReservationNo);
    for (status = reservations.GetLAST(); status == recman::kOk; status = reservations.GetPREV()) {
        const std::string number = FieldText(reservations.m_Data.ReservationNo);
        if (IsReservationNumber(number)) {
            *highest = std::stoll(number);
            return recman::kOk;
        }
    }
    return status == recman::kEndOfFile || status == recman::kKeyNotFound ? recman::kOk : status;
}
}  // namespace

CIndexControlDB::CIndexControlDB(const char*) : CTableDB("INDEXCONTROL.BTR") {}

int CIndexControlDB::NextReservationValue(int32_t* next, bool* stored) {
    const int found =
        GetEqualByParts(kKeyIndexName, {{kReservationCounter, sizeof m_Data.IndexName}});
    if (found != recman::kOk && found != recman::kKeyNotFound) return found;
    *stored = found == recman::kOk;
    const int64_t counted = *stored && m_Data.NextValue > 0 ? m_Data.NextValue : 1;
    int64_t highest = 0;
    const int status = HighestReservationNumber(GetFolder(), &highest);
    // Recorded as this table's status, so a caller that gets no number can tell why.
    if (status != recman::kOk) return Finish(status);
    const int64_t value = std::max(counted, highest + 1);
    // The counter must still be able to step past the number it hands out.
    if (value >= INT32_MAX) return Finish(recman::kInvalidOperation);
    *next = static_cast<int32_t>(value);
    return recman::kOk;
}

std::string CIndexControlDB::GetNexReservationIndex() {
    int32_t next = 0;
    bool stored = false;
    if (NextReservationValue(&next, &stored) != recman::kOk) return std::string();
    char text[16];
    std::snprintf(text, sizeof text, "%010d", static_cast<int>(next));
    return text;
}

int CIndexControlDB::UpdateNext() {
    int32_t next = 0;
    bool stored = false;
    const int status = NextReservationValue(&next, &stored);
    if (status != recman::kOk) return status;
    if (stored) {
        // NextReservationValue left the counter record positioned and in the buffer.
        m_Data.NextValue = next + 1;
        return Update();
    }
    ClearData();
    SetField(m_Data.IndexName, kReservationCounter);
    m_Data.NextValue = next + 1;
    return Insert();
}
