// The number counters: the reservation number and the patient key.
#include "suite/dbcall/indexcontroldb.h"

#include <algorithm>
#include <cstdio>

#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"

namespace {
constexpr char kReservationCounter[] = "RESERVATION";
constexpr char kPatientCounter[] = "PATIENT";
constexpr size_t kNumberDigits = 10;

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= kNumberDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The highest number among the keys of `table` in the order of key `keyNumber` (0 when there
// is none). The keys are in text order and the numbers are zero-padded to one width, so the
// last all-digit key is the highest.
template <typename Table, typename NumberOf>
int HighestNumber(Table& table, const std::string& folder, int keyNumber, NumberOf numberOf,
                  int64_t* highest) {
    *highest = 0;
    int status = table.Open(folder);
    if (status != recman::kOk) return status;
    table.SetKey(keyNumber);
    for (status = table.GetLAST(); status == recman::kOk; status = table.GetPREV()) {
        const std::string number = numberOf(table.m_Data);
        if (IsNumber(number)) {
            *highest = std::stoll(number);
            return recman::kOk;
        }
    }
    return status == recman::kEndOfFile || status == recman::kKeyNotFound ? recman::kOk : status;
}

int HighestReservationNumber(const std::string& folder, int64_t* highest) {
    CReservationDB reservations;
    return HighestNumber(
        reservations, folder, CReservationDB::kKeyReservationNo,
        [](const tagRESERVATIONDB& r) { return FieldText(r.ReservationNo); }, highest);
}

int HighestPatientNumber(const std::string& folder, int64_t* highest) {
    CPatient1DB patients;
    return HighestNumber(
        patients, folder, CPatient1DB::kKeyPatientID,
        [](const tagPATIENT1DB& r) { return FieldText(r.PatientID); }, highest);
}

std::string NumberText(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", static_cast<int>(kNumberDigits),
                  static_cast<int>(value));
    return text;
}
}  // namespace

CIndexControlDB::CIndexControlDB(const char*) : CTableDB("INDEXCONTROL.BTR") {}

int CIndexControlDB::NextValue(const char* name, const HighestInUse& highestInUse, int32_t* next,
                               bool* stored) {
    if (!IsOpen()) return Finish(recman::kFileNotOpen);
    // The numbers in use first: on a server that read begins the transaction, and the
    // counter then comes from what the process keeps of this small table.
    int64_t highest = 0;
    const int status = highestInUse(GetFolder(), &highest);
    // Recorded as this table's status, so a caller that gets no number can tell why.
    if (status != recman::kOk) return Finish(status);
    const int found = GetEqualByParts(kKeyIndexName, {{name, sizeof m_Data.IndexName}});
    if (found != recman::kOk && found != recman::kKeyNotFound) return found;
    *stored = found == recman::kOk;
    const int64_t counted = *stored && m_Data.NextValue > 0 ? m_Data.NextValue : 1;
    const int64_t value = std::max(counted, highest + 1);
    // The counter must still be able to step past the number it hands out.
    if (value >= INT32_MAX) return Finish(recman::kInvalidOperation);
    *next = static_cast<int32_t>(value);
    return recman::kOk;
}

int CIndexControlDB::TakeNextValue(const char* name, const HighestInUse& highestInUse,
                                   int32_t* taken) {
    bool stored = false;
    const int status = NextValue(name, highestInUse, taken, &stored);
    if (status != recman::kOk) return status;
    if (stored) {
        // NextValue left the counter record positioned and in the buffer.
        m_Data.NextValue = *taken + 1;
        return Update();
    }
    ClearData();
    SetField(m_Data.IndexName, name);
    m_Data.NextValue = *taken + 1;
    return Insert();
}

int CIndexControlDB::Take(const char* name, const HighestInUse& highestInUse, std::string* number) {
    if (!IsOpen()) return Finish(recman::kFileNotOpen);
    int32_t taken = 0;
    const int status =
        RunInTransactionRetried([&] { return TakeNextValue(name, highestInUse, &taken); });
    if (status != recman::kOk) return status;
    *number = NumberText(taken);
    return recman::kOk;
}

std::string CIndexControlDB::GetNexReservationIndex() {
    int32_t next = 0;
    bool stored = false;
    if (NextValue(kReservationCounter, HighestReservationNumber, &next, &stored) != recman::kOk)
        return std::string();
    return NumberText(next);
}

int CIndexControlDB::UpdateNext() {
    int32_t taken = 0;
    return RunInTransactionRetried(
        [&] { return TakeNextValue(kReservationCounter, HighestReservationNumber, &taken); });
}

int CIndexControlDB::TakeReservationIndex(std::string* number) {
    return Take(kReservationCounter, HighestReservationNumber, number);
}

int CIndexControlDB::TakePatientIndex(std::string* number) {
    return Take(kPatientCounter, HighestPatientNumber, number);
}
