// Counting the records that the status page reports.
#include "hoststatus.h"

#include <cstring>

#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"

namespace {

// Walks a whole table in key 0 order and counts the records `wanted` accepts.
template <typename Table, typename Predicate>
CHostCount CountAll(CVeloDBSys* db, Predicate wanted) {
    CHostCount result;
    Table table;
    result.status = table.SetAssociatedDB(db);
    if (result.status != recman::kOk) return result;
    table.SetKey(0);
    int status = table.GetFIRST();
    while (status == recman::kOk) {
        if (wanted(table.m_Data)) ++result.count;
        status = table.GetNEXT();
    }
    result.status = status == recman::kEndOfFile ? recman::kOk : status;
    return result;
}

CHostCount CountReservationsOfDay(CVeloDBSys* db, const std::string& ymd) {
    CHostCount result;
    CReservationDB table;
    result.status = table.SetAssociatedDB(db);
    if (result.status != recman::kOk) return result;

    // Key 6 is the day followed by the start time: position at the day's first
    // reservation and read on while the day stays the same.
    char key[sizeof table.m_Data.ResDate + sizeof table.m_Data.StartTime] = {};
    SetField(key, sizeof table.m_Data.ResDate, ymd.c_str());
    table.SetKey(CReservationDB::kKeyTime);
    table.SetKeyBuffer(key, sizeof key);
    int status = table.GetGREQ();
    while (status == recman::kOk) {
        const tagRESERVATIONDB& r = table.m_Data;
        if (std::strncmp(r.ResDate, ymd.c_str(), sizeof r.ResDate) != 0) break;
        const bool live = r.Status == 0 || r.Status == 1;
        const bool blockedTime = r.PatientID[0] == '\0';
        if (live && !blockedTime) ++result.count;
        status = table.GetNEXT();
    }
    result.status =
        (status == recman::kOk || status == recman::kEndOfFile || status == recman::kKeyNotFound)
            ? recman::kOk
            : status;
    return result;
}

}  // namespace

CHostSummary SummariseDatabase(CVeloDBSys* db, const std::string& ymd) {
    CHostSummary summary;
    summary.folder = db->GetDatabaseFolder();
    // The first patient file alone carries the deleted mark; the second need not be read.
    summary.patients =
        CountAll<CPatient1DB>(db, [](const tagPATIENT1DB& p) { return p.InactiveFlag == 0; });
    summary.reservations = CountReservationsOfDay(db, ymd);
    summary.labItems = CountAll<CMaterialDB>(db, [](const tagMATERIALDB&) { return true; });
    summary.labPending =
        CountAll<CMaterialDB>(db, [](const tagMATERIALDB& m) { return m.FinishedDate[0] == '\0'; });
    return summary;
}
