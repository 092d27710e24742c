// Reads a patient's sales through the sale file's patient key and writes the received flag.
#include "suite/core/saleledger.h"

#include <cstring>

#include "recman/recman.h"
#include "suite/dbcall/saledb.h"
#include "suite/dbcall/velodbsys.h"

namespace {

int OpenTable(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty())
        return table.Open(db->GetDatabaseFolder());
    return table.Open();
}

}  // namespace

int LoadPatientSales(CVeloDBSys* db, const char* patientId, std::vector<CSaleRow>* rows) {
    if (rows == nullptr) return recman::kInvalidOperation;
    rows->clear();
    if (patientId == nullptr || patientId[0] == '\0') return 0;
    CSaleDB sales;
    int status = OpenTable(sales, db);
    if (status != 0) return status;
    // Key 1 is PatientID (21) then SaleDate (9): start at the patient with the lowest day.
    char key[sizeof(tagSALEDB::PatientID) + sizeof(tagSALEDB::SaleDate)] = {};
    SetField(key, sizeof(tagSALEDB::PatientID), patientId);
    sales.SetKey(CSaleDB::kKeyPatientDate);
    sales.SetKeyBuffer(key, sizeof key);
    const tagSALEDB& r = sales.m_Data;
    for (status = sales.GetGREQ(); status == 0; status = sales.GetNEXT()) {
        if (std::strncmp(r.PatientID, patientId, sizeof r.PatientID) != 0) break;
        CSaleRow row;
        row.saleNo = FieldText(r.SaleNo);
        row.saleDate = FieldText(r.SaleDate);
        row.amount = r.Amount;
        row.amountWithTax = r.AmountWithTax;
        row.tax = r.Tax;
        row.received = r.ReceivedFlag != 0;
        row.receivedDate = FieldText(r.ReceivedDate);
        rows->push_back(std::move(row));
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) status = 0;
    return status;
}

int SetSaleReceived(CVeloDBSys* db, const char* saleNo, bool received, const std::string& today) {
    if (saleNo == nullptr || saleNo[0] == '\0') return recman::kKeyNotFound;
    CSaleDB sales;
    int status = OpenTable(sales, db);
    if (status != 0) return status;
    const bool ownTransaction = !CBaseDBCall::InTransaction();
    if (ownTransaction) {
        status = CBaseDBCall::BeginTran();
        if (status != 0) return status;
    }
    status = sales.GetSaleData(saleNo);
    if (status == 0 && (sales.m_Data.ReceivedFlag != 0) != received) {
        sales.m_Data.ReceivedFlag = received ? 1 : 0;
        SetField(sales.m_Data.ReceivedDate, received ? today.c_str() : "");
        status = sales.Update();
    }
    if (ownTransaction) {
        if (status == 0) {
            status = CBaseDBCall::EndTran();
        } else {
            CBaseDBCall::AbortTran();
        }
    }
    return status;
}
