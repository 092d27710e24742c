// Number counters (INDEXCONTROL.BTR): one record per numbered table, holding the next number
// to hand out. New reservations and new patients take their numbers here. A counter can
// fall behind the numbers in use (a restored or merged database, a repaired counter file);
// a number at or below the highest number in use in its table is never handed out, or
// every save after it would fail on the taken key. Several workstations take numbers from
// one counter, so a number is taken by reading and advancing the counter in one
// transaction: the Take functions below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// One counter, 64 bytes.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 IndexName   what is counted: "RESERVATION", "PATIENT" (key 0)
//     21    4 NextValue   the next number to hand out (1 when the record is missing)
//     25   39 Reserved25  zero
struct tagINDEXCONTROLDB {
    char IndexName[21];
    int32_t NextValue;
    char Reserved25[39];
};
#pragma pack(pop)

static_assert(sizeof(tagINDEXCONTROLDB) == 64);
static_assert(offsetof(tagINDEXCONTROLDB, NextValue) == 21);

inline constexpr FieldDesc kIndexControlFields[] = {
    VELO_FIELD(tagINDEXCONTROLDB, IndexName, kText),
    VELO_FIELD(tagINDEXCONTROLDB, NextValue, kInt32),
};

class CIndexControlDB final : public CTableDB<tagINDEXCONTROLDB> {
public:
    enum Key : int { kKeyIndexName = 0 };  // IndexName (21), unique

    explicit CIndexControlDB(const char* unused = nullptr);

    // The next reservation number, "%010d": the stored counter ("0000000001" while none is
    // stored), raised to one above the highest reservation number in use in the same folder
    // when it lags behind. Returns "" when the counter or the reservation table cannot be
    // read (GetLastStatus tells why). Takes nothing: a number to use comes from
    // TakeReservationIndex.
    std::string GetNexReservationIndex();
    // Advances the reservation counter past the number GetNexReservationIndex gives,
    // creating the counter record when missing, in a transaction of its own when the caller
    // has none (so the counter never loses a step). Returns a status. Only inside the
    // caller's transaction is the pair safe from another workstation taking the same number
    // between the two calls; TakeReservationIndex is the pair as one step.
    int UpdateNext();

    // Takes the next reservation number: "%010d", as GetNexReservationIndex gives it, into
    // *number, with the counter advanced past it, as one step no other workstation can split,
    // so no number is handed out twice. Inside the caller's transaction it becomes part of
    // it (a lock status then means the caller rolls back and runs its transaction again);
    // otherwise it runs in a transaction of its own, tried again while another workstation
    // holds the counter. Returns a status; *number is set only on 0. REQUIRES: open.
    int TakeReservationIndex(std::string* number);
    // The same for the patient key counter ("PATIENT"): never below one above the highest
    // all-digit key of PATIENT1.BTR in the same folder.
    int TakePatientIndex(std::string* number);

private:
    // Reads the highest number in use in the table the counter serves (0 when none).
    using HighestInUse = std::function<int(const std::string& folder, int64_t* highest)>;

    // The number the counter `name` hands out next; *stored tells whether its record exists
    // (it is then positioned and in m_Data). Returns a status.
    int NextValue(const char* name, const HighestInUse& highestInUse, int32_t* next, bool* stored);
    // Reads the counter's next number and stores the one after it. REQUIRES: in a transaction
    // for the two to be one step.
    int TakeNextValue(const char* name, const HighestInUse& highestInUse, int32_t* taken);
    int Take(const char* name, const HighestInUse& highestInUse, std::string* number);
};
