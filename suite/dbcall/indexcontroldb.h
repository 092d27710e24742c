// Number counters (INDEXCONTROL.BTR): one record per numbered table, holding the next number
// to hand out. New reservations take their number here. A counter can fall behind the
// numbers in use (a restored or merged database, a repaired counter file); a number at or
// below the highest reservation number in use is never handed out, or every booking after
// it would fail on the taken key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// One counter, 64 bytes.
//
// OFFSET SIZE FIELD       MEANING
//      0   21 IndexName   what is counted: "RESERVATION" (key 0)
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
    // read (GetLastStatus tells why). Takes nothing: call UpdateNext before inserting the
    // reservation, inside the same transaction.
    std::string GetNexReservationIndex();
    // Advances the reservation counter past the number GetNexReservationIndex gives,
    // creating the counter record when missing. Returns a status.
    int UpdateNext();

private:
    // The number GetNexReservationIndex gives; *stored tells whether the counter record
    // exists (it is then positioned and in m_Data). Returns a status.
    int NextReservationValue(int32_t* next, bool* stored);
};
