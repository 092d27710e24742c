// Sent and received mail records of the reminder run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "suite/dbcall/fielddesc.h"
#include "suite/dbcall/tabledb.h"

#pragma pack(push, 1)
// Sent and received mail (SENTANDRECEIVED.BTR), 260 bytes.
//
// OFFSET SIZE FIELD        MEANING
//      0   11 MailID       "%010d": highest in the file plus one (key 0)
//     11    1 Direction    0 sent, 1 received
//     12   30 SentDateTime YYYYMMDDHHMMSS
//     42   11 MailNo       "%010d": highest of its direction plus one
//     53   21 PatientID    patient key
//     74    4 SenderCode   "%03d" sender
//     78   81 Subject      subject
//    159  101 Reserved159  zero
struct tagSENTANDRECEIVEDDB {
    char MailID[11];
    uint8_t Direction;
    char SentDateTime[30];
    char MailNo[11];
    char PatientID[21];
    char SenderCode[4];
    char Subject[81];
    char Reserved159[101];
};
#pragma pack(pop)

static_assert(sizeof(tagSENTANDRECEIVEDDB) == 260);
static_assert(offsetof(tagSENTANDRECEIVEDDB, Direction) == 11);
static_assert(offsetof(tagSENTANDRECEIVEDDB, SentDateTime) == 12);
static_assert(offsetof(tagSENTANDRECEIVEDDB, MailNo) == 42);
static_assert(offsetof(tagSENTANDRECEIVEDDB, PatientID) == 53);
static_assert(offsetof(tagSENTANDRECEIVEDDB, SenderCode) == 74);
static_assert(offsetof(tagSENTANDRECEIVEDDB, Subject) == 78);

inline constexpr FieldDesc kSentAndReceivedFields[] = {
    VELO_FIELD(tagSENTANDRECEIVEDDB, MailID, kText),
    VELO_FIELD(tagSENTANDRECEIVEDDB, Direction, kByte),
    VELO_FIELD(tagSENTANDRECEIVEDDB, SentDateTime, kText),
    VELO_FIELD(tagSENTANDRECEIVEDDB, MailNo, kText),
    VELO_FIELD(tagSENTANDRECEIVEDDB, PatientID, kText),
    VELO_FIELD(tagSENTANDRECEIVEDDB, SenderCode, kText),
    VELO_FIELD(tagSENTANDRECEIVEDDB, Subject, kText),
};

class CSentAndReceivedDB final : public CTableDB<tagSENTANDRECEIVEDDB> {
public:
    enum Key : int {
        kKeyMailID = 0,           // MailID (11), unique
        kKeyDirectionMailNo = 1,  // Direction (1 byte), MailNo (11): 12
        kKeyPatient = 2,          // PatientID (21), MailID (11): 32
    };

    explicit CSentAndReceivedDB(const char* unused = nullptr);

    // Reads the mail record (key 0); 4 when there is none.
    int GetSentAndReceivedData(const char* mailId);
};
