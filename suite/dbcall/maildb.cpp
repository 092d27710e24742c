// Table classes of maildb.h.
#include "suite/dbcall/maildb.h"

CSentAndReceivedDB::CSentAndReceivedDB(const char*) : CTableDB("SENTANDRECEIVED.BTR") {}

int CSentAndReceivedDB::GetSentAndReceivedData(const char* mailId) {
    return GetEqualByParts(0, {{mailId, sizeof m_Data.MailID}});
}
