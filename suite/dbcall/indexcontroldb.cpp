// The reservation number counter.
#include "suite/dbcall/indexcontroldb.h"

#include <cstdio>

namespace {
constexpr char kReservationCounter[] = "RESERVATION";
}

CIndexControlDB::CIndexControlDB(const char*) : CTableDB("INDEXCONTROL.BTR") {}

std::string CIndexControlDB::GetNexReservationIndex() {
    int32_t next = 1;
    const int status =
        GetEqualByParts(kKeyIndexName, {{kReservationCounter, sizeof m_Data.IndexName}});
    if (status == recman::kOk) {
        next = m_Data.NextValue > 0 ? m_Data.NextValue : 1;
    } else if (status != recman::kKeyNotFound) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof text, "%010d", static_cast<int>(next));
    return text;
}

int CIndexControlDB::UpdateNext() {
    const int status =
        GetEqualByParts(kKeyIndexName, {{kReservationCounter, sizeof m_Data.IndexName}});
    if (status == recman::kOk) {
        m_Data.NextValue = (m_Data.NextValue > 0 ? m_Data.NextValue : 1) + 1;
        return Update();
    }
    if (status != recman::kKeyNotFound) {
        return status;
    }
    ClearData();
    SetField(m_Data.IndexName, kReservationCounter);
    m_Data.NextValue = 2;
    return Insert();
}
